// The cell-storage session: the value kinds and their stored texts, empty
// values never stored, unchanged values not written, tolerant reads, a long
// mixed run against a model, two sessions on one sub-document, compound
// values, the clearing of repeating tables, and misuse.

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <tuple>

#include "PfrFixture.h"
#include "pfr/IntPfrCellValuesTable.h"
#include "pfr/mPfrInternal.h"
#include "platform/automation/VbaDate.h"

namespace qv::pfr::testing {
namespace {

using CellSession = PfrTest;
using Session = std::shared_ptr<IntPfrCellValuesTable>;

Session Open(double subDoc) {
  Session s = IntPfrCellValuesTable::OpenSession();
  s->SetSubDocID(subDoc);
  return s;
}

// "type:text" of the stored cell, or "absent".
std::string Stored(CellSession& t, double subDoc, int32_t key, int32_t line = 0,
                   int32_t table = 0) {
  const std::string text =
      t.Rows("select ValueType & ':' & Value from PfrCellValues where SubDocID = " +
             CStr(Variant(subDoc)) + " and Key = " + std::to_string(key) +
             " and LineNum = " + std::to_string(line) + " and TableNum = " + std::to_string(table));
  return text.empty() ? "absent" : text;
}

TEST_F(CellSession, KindsStoreTheirTextsAndEmptyValuesRemoveTheCell) {
  Session s = Open(1);
  const Variant march5(DateSerial(2024, 3, 5));
  const struct {
    const char* what;
    std::function<void()> set, clear;
    std::function<std::string()> get;
    std::string stored, got;
  } cases[] = {
      {"string", [&] { s->SetString(1, "Иванов", 0, 0); }, [&] { s->SetString(1, "", 0, 0); },
       [&] { return s->GetString(1, 0, 0); }, "1:Иванов", "Иванов"},
      {"long", [&] { s->SetLong(1, -42, 0, 0); }, [&] { s->SetLong(1, 0, 0, 0); },
       [&] { return std::to_string(s->GetLong(1, 0, 0)); }, "2:-42", "-42"},
      {"double, invariant point; as a long, halves go to even",
       [&] { s->SetDouble(1, 1234.5, 0, 0); }, [&] { s->SetDouble(1, 0, 0, 0); },
       [&] {
         return CStr(Variant(s->GetDouble(1, 0, 0))) + " " + std::to_string(s->GetLong(1, 0, 0));
       },
       "3:1234.5", "1234.5 1234"},
      {"money", [&] { s->SetMoney(1, 1235.5, 0, 0); }, [&] { s->SetMoney(1, 0, 0, 0); },
       [&] {
         return CStr(Variant(s->GetMoney(1, 0, 0))) + " " + std::to_string(s->GetLong(1, 0, 0));
       },
       "4:1235.5", "1235.5 1236"},
      {"date", [&] { s->SetDate(1, march5, 0, 0); }, [&] { s->SetDate(1, Variant(), 0, 0); },
       [&] { return CStr(s->GetDate(1, 0, 0)); }, "5:05.03.2024", "05.03.2024"},
      {"date cleared by Null", [&] { s->SetDate(1, march5, 0, 0); },
       [&] { s->SetDate(1, Variant::Null(), 0, 0); }, [&] { return CStr(s->GetDate(1, 0, 0)); },
       "5:05.03.2024", "05.03.2024"},
      {"boolean", [&] { s->SetBoolean(1, true, 0, 0); }, [&] { s->SetBoolean(1, false, 0, 0); },
       [&] { return std::string(s->GetBoolean(1, 0, 0) ? "True" : "False"); }, "6:1", "True"},
      {"a text of 300 characters keeps 255", [&] { s->SetString(1, std::string(300, 'x'), 0, 0); },
       [&] { s->SetString(1, "", 0, 0); },
       [&] { return std::to_string(s->GetString(1, 0, 0).size()); }, "1:" + std::string(255, 'x'),
       "255"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    c.set();
    EXPECT_EQ(Stored(*this, 1, 1), c.stored);
    EXPECT_EQ(c.get(), c.got);
    c.clear();
    EXPECT_EQ(Stored(*this, 1, 1), "absent");
    EXPECT_EQ(s->GetString(1, 0, 0), "");
    EXPECT_EQ(s->GetDouble(1, 0, 0), 0);
    EXPECT_TRUE(s->GetDate(1, 0, 0).IsEmpty());
    EXPECT_FALSE(s->GetBoolean(1, 0, 0));
  }
}

TEST_F(CellSession, StoredTextsReadTolerantly) {
  const struct {
    const char* text;  // stored as kind 1, key 7
    const char* read;  // as a date, a double and a boolean
  } cases[] = {{"5.3.2024", "05.03.2024|5.3|0"},
               {"2024-03-05", "|2024|0"},
               {"31.02.2024", "02.03.2024|31.02|0"},  // rolls over as DateSerial does
               {"0.3.2024", "|0.3|0"},
               {"x.3.2024", "|0|0"},
               {"12abc", "|12|0"},
               {"true", "|0|0"},
               {"1", "|1|1"}};
  Session s = Open(2);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Sql("delete from PfrCellValues");
    CellRow(2, 7, c.text);
    EXPECT_EQ(CStr(s->GetDate(7, 0, 0)) + "|" + CStr(Variant(s->GetDouble(7, 0, 0))) + "|" +
                  std::to_string(s->GetBoolean(7, 0, 0)),
              c.read);
  }
  Sql("update PfrCellValues set Value = Null");
  EXPECT_EQ(s->GetString(7, 0, 0), "");
  Sql("update PfrCellValues set Value = '99999999999'");
  EXPECT_EQ(s->GetLong(7, 0, 0), 0);  // does not fit a Long: 0, not an error
}

// Another program may store an address twice: a get reads the copy stored
// first (as a seek on index "SubDoc" finds it), whatever the identifiers.
TEST_F(CellSession, OfACellStoredTwiceTheFirstCopyIsRead) {
  for (const char* row : {"9, 4, 7, 1, 2, 1, 'first'", "3, 4, 7, 1, 2, 1, 'second'",
                          "5, 4, 7, 2, 1, 1, 'line and table swapped'"})
    Sql(std::string("insert into PfrCellValues (ID, SubDocID, Key, LineNum, TableNum, ValueType, "
                    "Value) values (") +
        row + ")");
  // The first copy is the first stored on a file (its rowid); a server row
  // has no lasting order of storing, and there it is the lowest ID, the row
  // a seek of the server's table cursor finds.
  EXPECT_EQ(Open(4)->GetString(7, 1, 2), OnServer() ? "second" : "first");
}

TEST_F(CellSession, OnlyChangesAreWritten) {
  Sql("insert into PfrCellValues (ID, SubDocID, Key) values (41, 9, 1)");  // another sub-document
  Session s = Open(3);
  CountWrites();
  s->SetLong(5, 7, 0, 0);
  s->SetLong(5, 7, 0, 0);
  s->SetLong(6, 0, 0, 0);  // empty and absent: nothing
  EXPECT_EQ(Writes(), "PfrCellValues: 1 INSERT");
  EXPECT_EQ(Number("select ID from PfrCellValues where SubDocID = 3"), 42);  // last + 1
  s->SetDouble(5, 7, 0, 0);  // the same text, another kind
  EXPECT_EQ(Writes(), "PfrCellValues: 1 UPDATE");
  s->SetString(5, std::string(300, 'y'), 0, 0);
  s->SetString(5, std::string(300, 'y'), 0, 0);  // what it would store is stored already
  s->SetDouble(5, 0, 0, 0);
  EXPECT_EQ(Writes(), "PfrCellValues: 1 DELETE, 1 UPDATE");
}

// 10 000 gets and sets on two sub-documents, each checked against a model;
// at the end the table holds exactly the model's non-empty cells.
TEST_F(CellSession, MixedRunMatchesAModel) {
  using Address = std::tuple<double, int32_t, int32_t, int32_t>;  // sub-doc, key, line, table
  std::map<Address, std::string> model;
  std::mt19937 random(20240305);
  auto pick = [&](int n) { return static_cast<int32_t>(random() % static_cast<unsigned>(n)); };
  Session s = Open(0);
  const char* kTexts[] = {"", "a", "b", "Ж", "0"};
  int writes = 0;
  for (int i = 0; i < 10000; ++i) {
    const double subDoc = 1 + pick(2);
    const int32_t key = 100 + pick(40), line = pick(4), table = pick(3);
    s->SetSubDocID(subDoc);
    std::string& expected = model[{subDoc, key, line, table}];
    switch (pick(4)) {
      case 0: {
        const int32_t v = pick(5) - 2;
        s->SetLong(key, v, line, table);
        expected = v == 0 ? "" : std::to_string(v);
        ++writes;
        break;
      }
      case 1: {
        const std::string v = kTexts[pick(5)];
        s->SetString(key, v, line, table);
        expected = v;
        ++writes;
        break;
      }
      default:
        ASSERT_EQ(s->GetString(key, line, table), expected) << i;
    }
  }
  EXPECT_GT(writes, 4000);
  int32_t stored = 0;
  for (const auto& [a, text] : model) {
    if (text.empty()) continue;
    ++stored;
    s->SetSubDocID(std::get<0>(a));
    ASSERT_EQ(s->GetString(std::get<1>(a), std::get<2>(a), std::get<3>(a)), text);
  }
  EXPECT_EQ(Count("PfrCellValues"), stored);
  EXPECT_EQ(Count("PfrCellValues where Value = '' or Value is null"), 0);
}

TEST_F(CellSession, SessionsAndTheMapperSeeEachOthersWrites) {
  Sql("insert into PfrSubDocs (ID, DocumentID) values (1, 500)");
  Session reader = Open(1);
  EXPECT_EQ(reader->GetLong(10, 0, 0), 0);
  Session writer = Open(1);
  writer->SetLong(10, 5, 0, 0);
  writer->SetString(11, "text", 2, 1);
  EXPECT_EQ(reader->GetLong(10, 0, 0), 5);  // no cache: the next get sees it
  reader->SetLong(10, 6, 0, 0);
  EXPECT_EQ(writer->GetLong(10, 0, 0), 6);

  auto sub = NewPfr("QvPfrSubDoc");
  DBPfrSubDoc().ReadRecord(1, Obj(sub));
  ASSERT_EQ(List(sub, "Cells")->Count(), 2);
  EXPECT_EQ(CStr(Item(List(sub, "Cells"), 1)->Get("Value")), "6");
  Item(List(sub, "Cells"), 2)->Let("Value", Variant("from the record"));
  sub->Let("CellsModified", Variant(true));
  DBPfrSubDoc().SaveRecord(Obj(sub), false, true);
  EXPECT_EQ(reader->GetString(11, 2, 1), "from the record");
}

TEST_F(CellSession, MisuseGetsClearErrors) {
  auto closed = std::make_shared<IntPfrCellValuesTable>();
  ExpectError(vberr::kObjectNotSet, "IntPfrCellValuesTable.GetString",
              [&] { closed->GetString(1, 0, 0); });
  Session s = Open(1);
  s->SetLong(1, 5, 0, 0);
  s->CloseTable();
  ExpectError(vberr::kObjectNotSet, "", [&] { s->SetLong(1, 6, 0, 0); });
  s->OpenTable();
  // Late-bound: a key that does not fit the key column, and the defaults.
  ExpectError(vberr::kOverflow, "", [&] { s->CallV("SetLong", 3e9, int32_t{1}); });
  s->CallV("SetLong", int32_t{2}, int32_t{8});
  EXPECT_EQ(CLng(s->CallV("GetLong", int32_t{2})), 8);
  EXPECT_EQ(Count("PfrCellValues"), 2);
  ExpectError(vberr::kCannotCreateObject, "",
              [] { CreateObject("Qv_DBProvider.IntPfrCellValuesTable"); });
}

TEST_F(CellSession, ClearDynamicRest) {
  const struct {
    int32_t lastTable, lastLine;
    const char* left;  // table.line of key 5 that remain
  } cases[] = {
      {0, 3, "1.1; 1.2; 1.3; 2.1; 2.2; 2.3; 3.1; 3.2; 3.3"},
      {2, 0, "1.1; 1.2; 1.3; 1.4; 2.1; 2.2; 2.3; 2.4"},
      {2, 3, "1.1; 1.2; 1.3; 1.4; 2.1; 2.2; 2.3; 2.4; 3.1; 3.2; 3.3; 3.4"},
  };
  Session s = Open(1);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.left);
    Sql("delete from PfrCellValues");
    for (int32_t table = 1; table <= 3; ++table)
      for (int32_t line = 1; line <= 4; ++line) {
        s->SetLong(5, 1, line, table);
        s->SetLong(6, 1, line, table);  // another key: never touched
      }
    s->ClearDynamicRest(5, c.lastTable, c.lastLine);
    EXPECT_EQ(Rows("select TableNum & '.' & LineNum from PfrCellValues where Key = 5 order by "
                   "TableNum, LineNum"),
              c.left);
    EXPECT_EQ(Count("PfrCellValues where Key = 6"), 12);
  }
  s->ClearDynamics(3, 2, 1, 5);  // table 2, lines after 1
  EXPECT_EQ(Count("PfrCellValues where Key = 5"), 9);
}

TEST_F(CellSession, AddressesAndPassportsOverConsecutiveKeys) {
  Session s = Open(1);
  auto empty = std::static_pointer_cast<records::QvRecord>(s->LoadAddress(1000, 0, 0));
  EXPECT_EQ(CLng(empty->Get("AddressType")), 0);
  EXPECT_EQ(CStr(empty->Get("PostIndex")), "");

  auto a = NewPfr("QvPfrAddress");
  a->Let("AddressType", Variant(int32_t{1}));
  a->Let("PostIndex", Variant("170000"));
  Sub(a, "Region")->SetID(Variant(69.0));
  a->Let("City", Variant("Тверь"));
  a->Let("AbCity", Variant("г"));
  a->Let("Flat", Variant("12"));
  a->Let("NonStruct", Variant("not written for kind 1"));
  s->SaveAddress(a, 1000, 1, 2);
  EXPECT_EQ(Stored(*this, 1, 1005, 1, 2) + " " + Stored(*this, 1, 1105, 1, 2) + " " +
                Stored(*this, 1, 1003, 1, 2) + " " + Stored(*this, 1, 1011, 1, 2),
            "1:Тверь 1:г 3:69 absent");
  auto back = std::static_pointer_cast<records::QvRecord>(s->LoadAddress(1000, 1, 2));
  EXPECT_EQ(CStr(Variant(Sub(back, "Region")->Id())) + " " + CStr(back->Get("Flat")) + " " +
                CStr(back->Get("PostIndex")),
            "69 12 170000");

  s->SetLong(1000, 7, 1, 2);  // a kind the layout does not know reads as free text
  s->SetString(1011, "Тверь, ул. Советская", 1, 2);
  back = std::static_pointer_cast<records::QvRecord>(s->LoadAddress(1000, 1, 2));
  EXPECT_EQ(CLng(back->Get("AddressType")), 3);
  EXPECT_EQ(CStr(back->Get("NonStruct")), "Тверь, ул. Советская");
  s->ClearAddress(1000, 1, 2);
  EXPECT_EQ(Count("PfrCellValues"), 0);

  auto p = New("QvIdentity");
  Sub(p, "Type")->SetID(Variant(21.0));
  p->Let("Series", Variant("28 04"));
  p->Let("Number", Variant("123456"));
  p->Let("IssueOrg", Variant("ОВД"));
  s->SavePassport(p, 2000, 0, 0);
  EXPECT_EQ(Count("PfrCellValues"), 4);  // no issue date: no cell
  p->Let("IssueDate", Variant(DateSerial(2010, 1, 9)));
  s->SavePassport(p, 2000, 0, 0);
  auto q = std::static_pointer_cast<records::QvRecord>(s->LoadPassport(2000, 0, 0));
  EXPECT_EQ(Sub(q, "Type")->Id(), 21);
  EXPECT_EQ(CStr(q->Get("Number")), "123456");
  EXPECT_EQ(CStr(q->Get("IssueDate")), "09.01.2010");
  s->ClearPassport(2000, 0, 0);
  EXPECT_EQ(Count("PfrCellValues"), 0);
}

TEST(PfrInternal, KindsOfIndividualData) {
  const struct {
    const char* text;
    int32_t code;
  } cases[] = {
      {"исходная", 1}, {"Корр.", 4}, {"КОРРЕКТИРУЮЩАЯ", 4}, {"н.п.", 2},   {"доп.", 6},
      {"исходные", 0}, {"", 0},      {" отм.", 0},          {"особая", 7}, {"отменяющая", 5}};
  for (const auto& c : cases) EXPECT_EQ(mPfrInternal::GetIndDataType(c.text), c.code) << c.text;
  EXPECT_EQ(mPfrInternal::GetIndDataTypeText(4), "корректирующая");
  EXPECT_EQ(mPfrInternal::GetIndDataTypeText(3), "");
  EXPECT_EQ(mPfrInternal::GetIndDataTypeText(8), "");
}

}  // namespace
}  // namespace qv::pfr::testing
