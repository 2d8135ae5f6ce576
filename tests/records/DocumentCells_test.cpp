// The cells of a document: ReadCells and SaveCells, the cut of long values,
// deletion by an empty value, and the all-or-nothing replacement whether
// the database lock is on or off.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform/ado/AdoConstants.h"
#include "platform/automation/Object.h"
#include "platform/automation/VbaText.h"
#include "records/DocumentFixture.h"

namespace qv::records::testing {
namespace {

using DocumentCells = DocumentTest;

struct Cell {
  const char* key;
  Variant value;
  int32_t type;
};

// The recordset the application hands to SaveCells.
Variant CellsRs(std::initializer_list<Cell> cells,
                std::vector<std::string> fields = {"cell_key", "first_value", "first_type"}) {
  auto rs = std::make_shared<ado::Recordset>();
  for (const std::string& f : fields)
    rs->AppendField(f, f == "first_type" ? ado::adInteger : ado::adVarWChar,
                    f == "first_type" ? 4 : 300, ado::adFldIsNullable);
  rs->Open();
  for (const Cell& c : cells) {
    std::vector<Variant> row{Variant(c.key), c.value, Variant(c.type)};
    row.resize(fields.size());
    rs->AppendRow(std::move(row));
  }
  return Variant(ObjectPtr(rs));
}

// "key=value/type" of a collection of cell records, in its order.
std::string Render(const CollectionPtr& cells) {
  std::string text;
  for (int32_t i = 1; i <= cells->Count(); ++i) {
    QvRecordPtr c = EntityTest::Item(cells, i);
    text += (text.empty() ? "" : "; ") + CStr(c->Get("Cell_Key")) + "=" +
            CStr(c->Get("First_Value")) + "/" + CStr(c->Get("First_Type"));
  }
  return text;
}

TEST_F(DocumentCells, SaveAndReadRoundTrip) {
  AddDoc(7);
  AddDoc(8);
  AddCell(7, "010000100001", "old");
  AddCell(7, "010000200001", "gone");
  AddCell(7, "010000500001", "both");
  AddCell(8, "010000200001", "other document");
  const std::string longValue = "Ж" + std::string(299, 'x');
  ObjectPtr mapper = CreateObject("Qv_DBProvider.DBDocument");
  // A key given with a value and empty is deleted when it was stored, kept
  // when the call adds it.
  mapper->CallV("SaveCells", 7.0,
                CellsRs({{"010000100001", Variant("Сумма"), 200},
                         {"010000200001", Variant(""), 129},
                         {"020000300003", Variant(longValue), 129},
                         {"ИНН000100001", Variant("7701234567"), 200},
                         {"020000400003", Variant::Null(), 129},
                         {"010000500001", Variant("v"), 129},
                         {"010000500001", Variant(""), 129},
                         {"030000100001", Variant("new"), 129},
                         {"030000100001", Variant(""), 129}}));
  EXPECT_EQ(Cells(7), "010000100001=Сумма/200; 020000300003=" + Truncate16(longValue, 250) +
                          "/129; 030000100001=new/129; ИНН000100001=7701234567/200");
  EXPECT_EQ(Number("select len(first_value) from doc_cell_values where cell_key = "
                   "'020000300003'"),
            250);
  EXPECT_EQ(Cells(8), "010000200001=other document/129");

  const Variant read = mapper->CallV("ReadCells", 7.0);
  CollectionPtr cells = read.ObjectAs<Collection>();
  EXPECT_EQ(Render(cells), "010000100001=Сумма/200; 020000300003=" + Truncate16(longValue, 250) +
                               "/129; 030000100001=new/129; ИНН000100001=7701234567/200");
  EXPECT_EQ(CStr(cells->Item(Variant("инн000100001")).ObjectAs<QvRecord>()->Get("First_Value")),
            "7701234567");  // keyed by the cell key
  EXPECT_EQ(DBDocument().ReadCells(0)->Count(), 0);
}

// The cells come in key order as texts compare (case aside, Latin before
// Cyrillic; digits as their bytes, a key before the longer ones it starts),
// whatever order they were stored in; of a key stored again (its value
// "copy") the first copy.
TEST_F(DocumentCells, ReadInKeyOrder) {
  const struct {
    std::vector<const char*> stored;
    const char* read;
  } cases[] = {
      {{"b1", "Б1", "A2", "а2", "a1"}, "a1=a1; A2=A2; b1=b1; а2=а2; Б1=Б1"},
      {{"020000100001", "010000200001", "010000100001"},
       "010000100001=010000100001; 010000200001=010000200001; 020000100001=020000100001"},
      {{"x1"}, "x1=x1"},
      {{"b1", "B1", "a1"}, "a1=a1; b1=b1"},
      {{"2", "10", "1", "01", "2"}, "01=01; 1=1; 10=10; 2=2"},
  };
  double doc = 20;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.read);
    AddDoc(++doc);
    std::set<std::string> stored;
    for (const char* key : c.stored) AddCell(doc, key, stored.insert(key).second ? key : "copy");
    std::string read = Render(DBDocument().ReadCells(doc));
    for (size_t at; (at = read.find("/129")) != std::string::npos;) read.erase(at, 4);
    EXPECT_EQ(read, c.read);
  }
}

// A key stored twice: read once (the first copy), written into its first
// copy only, deleted with every copy, wherever a server keeps the copies.
TEST_F(DocumentCells, ARepeatedKey) {
  for (const std::string key : {"010000100001", "a1"}) {
    SCOPED_TRACE(key);
    AddDoc(7);
    AddCell(7, key.c_str(), "first");
    AddCell(7, key.c_str(), "copy");
    // The first copy's key changed and put back: a server stores the row
    // anew, after the other in its table and in the key's index.
    for (const std::string& to : {std::string("x"), key})
      Sql("update doc_cell_values set cell_key = '" + to + "' where first_value = 'first'");
    EXPECT_EQ(Render(DBDocument().ReadCells(7)), key + "=first/129");
    // Saved alone, and with another key (a server writes the cells of a
    // save together).
    DBDocument().SaveCells(7, CellsRs({{key.c_str(), Variant("new"), 200}}));
    DBDocument().SaveCells(
        7, CellsRs({{key.c_str(), Variant("newer"), 200}, {"b2", Variant("other"), 200}}));
    // The first copy took the value (a read meets it first); the other is as
    // it was. Ordered by value: equal keys have no order on every engine.
    EXPECT_EQ(Render(DBDocument().ReadCells(7)), key + "=newer/200; b2=other/200");
    EXPECT_EQ(Rows("select first_value & '/' & first_type from doc_cell_values where "
                   "document_id = 7 order by first_value"),
              "copy/129; newer/200; other/200");
    DBDocument().SaveCells(7, CellsRs({{key.c_str(), Variant(""), 129}, {"b2", Variant(""), 129}}));
    EXPECT_EQ(Count("doc_cell_values"), 0);
    Sql("delete from doc_registry");
  }
}

// A write that fails half-way leaves the cells as they were, with the
// database lock on (its transaction) and off (the mapper transaction).
TEST_F(DocumentCells, AFailedSaveLeavesThePreviousCells) {
  LockingOffAndOn([&] {
    Sql("delete from doc_registry");
    Sql("delete from doc_cell_values");
    AddDoc(7);
    AddCell(7, "010000100001", "1");
    AddCell(7, "010000200001", "2");
    Refuse("fail_cell", "BEFORE INSERT ON doc_cell_values WHEN NEW.cell_key = '090000100001'");
    const std::string before = Cells(7);
    ExpectError(kAnyError, "", [&] {
      DBDocument().SaveCells(7, CellsRs({{"010000100001", Variant("changed"), 129},
                                         {"010000200001", Variant(""), 129},
                                         {"030000100001", Variant("added"), 129},
                                         {"090000100001", Variant("fails"), 129}}));
    });
    EXPECT_EQ(Cells(7), before);
    EXPECT_EQ(miDataBase::GetWorkspace()->TransactionDepth(), 0);
    Allow("fail_cell");
    // The next save goes through.
    DBDocument().SaveCells(7, CellsRs({{"010000100001", Variant("3"), 129}}));
    EXPECT_EQ(Cells(7), "010000100001=3/129; 010000200001=2/129");
  });
}

TEST_F(DocumentCells, BadInputIsRefusedAndNothingWritten) {
  AddDoc(7);
  AddCell(7, "010000100001", "kept");
  const Variant good = CellsRs({{"010000100001", Variant("new"), 129}});
  const struct {
    const char* what;
    double doc;
    Variant cells;
    int32_t error;
  } cases[] = {
      {"a document that does not exist", 8, good, 5},
      {"a document that does not exist, cells a server sends together", 8,
       CellsRs({{"010000100001", Variant("new"), 129}, {"010000200001", Variant("x"), 129}}), 5},
      {"a record instead of a recordset", 7, Obj(New("QvDocCell")), 13},
      {"a text instead of a recordset", 7, Variant("cells"), 13},
      {"no first_type field", 7,
       CellsRs({{"010000100001", Variant("new"), 129}}, {"cell_key", "first_value"}), 5},
      {"a Null key", 7, CellsRs({{"010000200001", Variant("x"), 129}, {"", Variant("y"), 129}}),
       94},
      {"a key longer than its column", 7, CellsRs({{"0100001000010", Variant("x"), 129}}), 3163},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Variant cells = c.cells;
    if (std::string(c.what) == "a Null key") {
      auto rs = cells.ObjectAs<ado::Recordset>();
      rs->MoveLast();
      rs->SetValue(0, Variant::Null());
      rs->Update();
    }
    ExpectError(c.error, "", [&] { DBDocument().SaveCells(c.doc, cells); });
    EXPECT_EQ(Cells(7), "010000100001=kept/129");
    EXPECT_EQ(Count("doc_cell_values"), 1);
  }
  // A document record of the wrong class.
  ExpectError(13, "", [&] { DBDocument().ReadRecord(7, Obj(New("QvPerson"))); });
}

}  // namespace
}  // namespace qv::records::testing
