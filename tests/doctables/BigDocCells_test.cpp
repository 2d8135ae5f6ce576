// The cells of a big document as the shard files hold them: where each
// address lives, how values are written and read back, and what is refused.

#include <functional>
#include <string>

#include "doctables/BigDocFixture.h"
#include "platform/automation/VbaDate.h"

namespace qv::doctables::testing {
namespace {

constexpr double kDoc = 1234567;

class BigDocCells : public BigDocTest {};

TEST_F(BigDocCells, ShardFilesLieInTwoLevelsOfFoldersByTheDocumentNumber) {
  EXPECT_EQ(miBigDocument::GetBigDocFolder(kDoc), Folder() + "BigDocs/67/45");
  EXPECT_EQ(miBigDocument::GetBigDocFileName(kDoc, 3), Folder() + "BigDocs/67/45/1234567_3.mdb");
  EXPECT_EQ(miBigDocument::GetBigDocFilesMask(kDoc), Folder() + "BigDocs/67/45/1234567_*.mdb");
  EXPECT_EQ(miBigDocument::GetBigDocFolder(7.9), Folder() + "BigDocs/07/00");
  for (double bad : {0.0, -3.0, 0.5, 1e300})
    ExpectError(5, "", [&] { miBigDocument::GetBigDocFolder(bad); });
}

TEST_F(BigDocCells, EachAddressHasOnePlace) {
  auto t = Open(kDoc);
  const std::string wide255(255, 'w'), wide256(256, 'w');
  const struct {
    const char* what;
    std::function<void(DBBigDocTable&)> step;
    const char* cells;
  } steps[] = {
      {"line 1 of table 1 is the static cell",
       [](auto& t) { t.SetString(1, 10, Variant("a"), 1, 1); }, "stat 1|10|a| / dyn  / wide "},
      {"keys 2n and 2n+1 share a row", [](auto& t) { t.SetString(1, 11, Variant("b"), 0, 0); },
       "stat 1|10|a|b / dyn  / wide "},
      {"removing one keeps the other", [](auto& t) { t.RemoveValue(1, 10, 0, 0); },
       "stat 1|10||b / dyn  / wide "},
      {"removing both removes the row", [](auto& t) { t.SetString(1, 11, Variant(""), 0, 0); },
       "stat  / dyn  / wide "},
      {"line 2 is tabular", [](auto& t) { t.SetLong(1, 10, Variant(int32_t{-7}), 2, 1); },
       "stat  / dyn 1|10|0|2|-7 / wide "},
      {"table 2 line 1 is tabular", [](auto& t) { t.SetBoolean(1, 10, Variant(true), 1, 2); },
       "stat  / dyn 1|10|0|2|-7; 1|10|2|0|1 / wide "},
      {"255 characters stay narrow",
       [&](auto& t) { t.SetWideString(1, 20, Variant(wide255), 0, 0); },
       "stat 1|20|#255| / dyn 1|10|0|2|-7; 1|10|2|0|1 / wide "},
      {"256 characters are wide and take the narrow value's place",
       [&](auto& t) { t.SetWideString(1, 20, Variant(wide256), 0, 0); },
       "stat  / dyn 1|10|0|2|-7; 1|10|2|0|1 / wide 1|20|0|0|#256"},
      {"a shorter text makes it narrow again",
       [&](auto& t) { t.SetWideString(1, 20, Variant("short"), 0, 0); },
       "stat 1|20|short| / dyn 1|10|0|2|-7; 1|10|2|0|1 / wide "},
      {"a wide tabular cell", [&](auto& t) { t.SetWideString(1, 10, Variant(wide256), 2, 0); },
       "stat 1|20|short| / dyn 1|10|2|0|1 / wide 1|10|0|2|#256"},
      {"RemoveValue leaves a wide value", [](auto& t) { t.RemoveValue(1, 10, 2, 0); },
       "stat 1|20|short| / dyn 1|10|2|0|1 / wide 1|10|0|2|#256"},
      {"RemoveWideString takes both", [](auto& t) { t.RemoveWideString(1, 10, 2, 0); },
       "stat 1|20|short| / dyn 1|10|2|0|1 / wide "},
      {"a counter of 0 removes the cell", [](auto& t) { t.SetCounter(1, 10, Variant(0.0), 1, 2); },
       "stat 1|20|short| / dyn  / wide "},
  };
  for (const auto& s : steps) {
    s.step(*t);
    EXPECT_EQ(Cells(ShardFile(kDoc, 0)), s.cells) << s.what;
  }
  EXPECT_EQ(t->GetString(1, 20, 1, 1, "none"), "short");
  t->SetWideString(1, 30, Variant(wide256), 0, 0);
  EXPECT_EQ(t->GetString(1, 30, 0, 0, "none"), "none");
  EXPECT_EQ(t->GetWideString(1, 30, 0, 0).size(), 256u);
  EXPECT_EQ(t->GetWideString(1, 20, 0, 0), "short");
  EXPECT_EQ(t->GetCounter(1, 99, 0, 0), 0);
}

// A write updates the row of its address and adds one only when there is
// none: writing every kind of address twice leaves one row per address
// with the last value.
TEST_F(BigDocCells, RewritingACellKeepsItsRow) {
  auto t = Open(kDoc);
  for (const char* v : {"first", "second"}) {
    t->SetString(3, 6, Variant(v), 0, 0);
    t->SetString(3, 7, Variant(std::string(v) + "7"), 1, 1);
    t->SetString(3, 6, Variant(v), 2, 0);
    t->SetString(3, 6, Variant(v), 0, 2);
  }
  EXPECT_EQ(Cells(ShardFile(kDoc, 0)),
            "stat 3|6|second|second7 / dyn 3|6|0|2|second; 3|6|2|0|second / wide ");
  EXPECT_EQ(t->GetString(3, 7, 0, 0, ""), "second7");
  EXPECT_EQ(t->GetString(3, 6, 2, 0, ""), "second");
  EXPECT_EQ(t->GetString(3, 6, 0, 2, ""), "second");
}

// No cell table's address index is unique, on any engine: a row another
// writer adds for an address stored already is kept beside it, and the
// table reads the first copy.
TEST_F(BigDocCells, AnAddressStoredTwiceIsKept) {
  auto t = Open(kDoc);
  const std::string wide(256, 'w');
  t->SetString(4, 2, Variant("first"), 0, 0);
  t->SetString(4, 2, Variant("first"), 2, 0);
  t->SetWideString(4, 8, Variant(wide), 0, 0);
  const struct {
    const char* insert;
    const char* count;
    std::function<std::string()> read;
  } copies[] = {
      {"insert into StatCells (SubDocID, Key, Value0, Value1) values (4, 2, 'copy', '')",
       "select count(*) from StatCells where SubDocID = 4 and Key = 2",
       [&] { return t->GetString(4, 2, 0, 0, ""); }},
      {"insert into DynCells (SubDocID, Key, TableNum, LineNum, Value) values (4, 2, 0, 2, "
       "'copy')",
       "select count(*) from DynCells where SubDocID = 4 and Key = 2",
       [&] { return t->GetString(4, 2, 2, 0, ""); }},
      {"insert into WideCells (SubDocID, Key, TableNum, LineNum, Value) values (4, 8, 0, 0, "
       "'copy')",
       "select count(*) from WideCells where SubDocID = 4 and Key = 8",
       [&] { return std::to_string(t->GetWideString(4, 8, 0, 0).size()); }},
  };
  auto ws = dao::DBEngine::ForThread()->CreateWorkspace("other", "admin", "", Variant(2));
  auto other = ws->Open(ShardFile(kDoc, 0).string(), {});
  for (const auto& c : copies) {
    SCOPED_TRACE(c.insert);
    other->ExecuteSql(c.insert);
    EXPECT_EQ(Rows(ShardFile(kDoc, 0), c.count), "2");
  }
  other->Close();
  EXPECT_EQ(copies[0].read(), "first");
  EXPECT_EQ(copies[1].read(), "first");
  EXPECT_EQ(copies[2].read(), "256");
}

TEST_F(BigDocCells, ValuesReadBackAsTheyWereWritten) {
  auto t = Open(kDoc);
  t->SetDouble(2, 1, Variant(0.5), 0, 0);
  t->SetString(2, 2, Variant("0,5"), 0, 0);
  t->SetMoney(2, 3, Variant(-1234.25), 0, 0);
  t->SetDate(2, 4, Variant(DateSerial(2007, 3, 5)), 0, 0);
  t->SetString(2, 5, Variant("00.03.2007"), 0, 0);
  t->SetString(2, 6, Variant("12a"), 0, 0);
  t->SetBoolean(2, 7, Variant(int32_t{0}), 0, 0);
  EXPECT_EQ(Rows(ShardFile(kDoc, 0), "select Value0, Value1 from StatCells order by Key"),
            "|.5; 0,5|-1234.25; 05.03.2007|00.03.2007; 12a|0");
  EXPECT_EQ(t->GetCDouble(2, 1, 0, 0, 9), 0.5);
  EXPECT_EQ(t->GetCDouble(2, 2, 0, 0, 9), 0.5);
  EXPECT_EQ(t->GetVMoney(2, 3, 0, 0), Variant(-1234.25));
  EXPECT_EQ(t->GetDate(2, 4, 0, 0), Variant(DateSerial(2007, 3, 5)));
  EXPECT_EQ(t->GetDate(2, 5, 0, 0), Variant());
  EXPECT_EQ(t->GetCLong(2, 6, 0, 0, 42), 42);
  EXPECT_EQ(t->GetVLong(2, 6, 0, 0), Variant::Null());
  EXPECT_EQ(t->GetVDouble(2, 99, 0, 0), Variant::Null());
  EXPECT_EQ(t->GetVBoolean(2, 7, 0, 0), Variant(false));
  EXPECT_EQ(t->GetVBoolean(2, 6, 0, 0), Variant::Null());
  EXPECT_FALSE(t->GetCBoolean(2, 7, 0, 0));
}

TEST_F(BigDocCells, OutOfRangeAddressesWriteNothing) {
  auto t = Open(kDoc);
  const struct {
    double subDoc;
    int32_t key, line, table;
  } bad[] = {{1, -1, 0, 0},     {1, 32768, 0, 0}, {1, 5, 32768, 0},
             {1, 5, 0, -32769}, {-1, 5, 0, 0},    {3e9, 5, 0, 0}};
  for (const auto& b : bad) {
    ExpectError(6, "", [&] { t->SetString(b.subDoc, b.key, Variant("x"), b.line, b.table); });
    ExpectError(6, "", [&] { t->GetString(b.subDoc, b.key, b.line, b.table, ""); });
  }
  EXPECT_EQ(Cells(ShardFile(kDoc, 0)), "stat  / dyn  / wide ");
  // The largest key and the 16-bit extremes are addresses like any other.
  t->SetString(1, 32767, Variant("k"), 32767, -32768);
  EXPECT_EQ(t->GetString(1, 32767, 32767, -32768, ""), "k");
  // A text too long for a narrow cell is refused whole.
  ExpectError(3163, "", [&] { t->SetString(1, 4, Variant(std::string(300, 'x')), 0, 0); });
  EXPECT_EQ(t->GetString(1, 4, 0, 0, "none"), "none");
}

TEST_F(BigDocCells, SubDocumentsBeyondTheShardSizeGoToTheNextFile) {
  auto t = Open(kDoc);
  EXPECT_EQ(t->ShardSize(), 250000);
  t->SetString(249999, 1, Variant("last of 0"), 0, 0);
  EXPECT_FALSE(fs::exists(ShardFile(kDoc, 1)));
  t->SetString(250000, 1, Variant("first of 1"), 0, 0);
  EXPECT_EQ(Rows(ShardFile(kDoc, 0), "select SubDocID, Value1 from StatCells"), "249999|last of 0");
  EXPECT_EQ(Rows(ShardFile(kDoc, 1), "select SubDocID, Value1 from StatCells"),
            "250000|first of 1");
  EXPECT_EQ(Rows(ShardFile(kDoc, 1), "select * from StorageInfo"), "1|250000|1234567|1");
  // Shard 1 holds cells only.
  ExpectError(3078, "", [&] { Rows(ShardFile(kDoc, 1), "select * from SubDocs"); });
}

TEST_F(BigDocCells, AMatrixColumnKeepsItsRowCountRight) {
  auto t = Open(kDoc);
  constexpr int32_t kCount = 100, kColumn = 101, kOther = 102, kTable = 3;
  std::vector<Variant> ten;
  for (int i = 1; i <= 10; ++i) ten.emplace_back("v" + std::to_string(i));
  const Variant keys(VariantArray::Of({Variant(kColumn), Variant(kOther)}));
  t->SaveMatrixColumn(1, 10, Variant(VariantArray::Of(ten, 1)), 1, kCount, keys, kColumn, kTable);
  EXPECT_EQ(t->GetCounter(1, kCount, 0, kTable), 10);
  EXPECT_EQ(t->GetString(1, kColumn, 10, kTable, ""), "v10");
  t->SetString(1, kOther, Variant("still here"), 7, kTable);
  t->SaveMatrixColumn(
      1, 4, Variant(VariantArray::Of({Variant(1), Variant(2.5), Variant(""), Variant(true)})), 2,
      kCount, keys, kColumn, kTable);
  EXPECT_EQ(t->GetCounter(1, kCount, 0, kTable), 7);
  EXPECT_EQ(Rows(ShardFile(kDoc, 0),
                 "select LineNum, Value from DynCells where Key = 101 order by LineNum"),
            "0|1; 2|2.5");
  EXPECT_EQ(t->GetString(1, kColumn, 1, kTable, ""), "1");
  // More values asked for than given: nothing is written.
  ExpectError(9, "", [&] {
    t->SaveMatrixColumn(1, 3, Variant(VariantArray::Of({Variant("x")})), 1, kCount, keys, kColumn,
                        kTable);
  });
  EXPECT_EQ(t->GetCounter(1, kCount, 0, kTable), 7);
}

}  // namespace
}  // namespace qv::doctables::testing
