// Structured cell keys over the user database's cell table: the offset
// codes, single cells, and the prefix scans that count, test and clear
// tables and rows of one document without touching its neighbours.

#include <string>

#include "core/CoreTestSupport.h"
#include "core/mQvCommonCalc.h"
#include "core/mQvDaoDataBase.h"
#include "doctables/DBKprDocTable.h"
#include "doctables/mQvKprCells.h"
#include "support/TestSupport.h"

namespace qv::doctables::testing {
namespace {

using qv::testsupport::ExpectError;

class KprDocTable : public coretest::DataFolderTest {
 protected:
  // "key=value/type" of a document's cells in key order, "; " between.
  static std::string Cells(double doc) {
    auto rs = mQvDaoDataBase::QvQuerySql(
        "select cell_key, first_value, first_type from doc_cell_values where document_id = " +
        mQvDaoDataBase::Number2DaoSql(doc) + " order by cell_key");
    std::string text;
    for (; !rs->IsEOF(); rs->MoveNext())
      text += (text.empty() ? "" : "; ") + CStr(rs->FieldValue(0)) + "=" +
              mQvCommonCalc::VarToStr(rs->FieldValue(1)) + "/" + CStr(rs->FieldValue(2));
    return text;
  }
  static void Set(DBKprDocTable& t, const std::string& key, std::string value, int32_t type = 1) {
    t.SetCell(key, value, type);
  }
};

TEST(KprCells, OffsetCodesDecodeByWidth) {
  const struct {
    const char* code;
    int32_t width, offset;
  } cases[] = {
      {"07", 1, 7},       {"99", 1, 99},   {"AA", 1, 100},   {"BA", 1, 159},
      {"ЁЁ", 1, 3580},    {" A", 1, 3581}, {"!B", 1, 3677},  {"¤¤", 1, 35 * 95 + 94 + 3581},
      {"000", 2, 0},      {"005", 2, 5},   {"AAA", 2, 1000}, {"ABA", 2, 1059},
      {"ЁЁЁ", 2, 206378}, {" AA", 2, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(mQvKprCells::OfToN(c.code, c.width), c.offset) << c.code << " width " << c.width;
}

TEST_F(KprDocTable, CellsRoundTripOneByOne) {
  DBKprDocTable t;
  t.OpenDoc(7);
  for (int i = 0; i < 300; ++i) Set(t, "01AA001" + std::to_string(100 + i), std::to_string(i), i);
  int wrong = 0;
  for (int i = 0; i < 300; ++i) {
    std::string value;
    int32_t type = -1;
    wrong += !t.GetCell("01AA001" + std::to_string(100 + i), value, type) ||
             value != std::to_string(i) || type != i;
  }
  EXPECT_EQ(wrong, 0);

  // A key written twice keeps one row with the last value and type; a
  // missing cell leaves the out-values alone.
  Set(t, "X1", "first", 3);
  Set(t, "X1", "second", 4);
  EXPECT_EQ(Cells(7).substr(Cells(7).rfind(';') + 2), "X1=second/4");
  std::string value = "kept";
  int32_t type = 9;
  EXPECT_FALSE(t.GetCell("X2", value, type));
  EXPECT_EQ(value + "/" + std::to_string(type), "kept/9");
  t.RemoveCell("X1");
  EXPECT_FALSE(t.HasCell("X1"));

  // After the session closes the recordset opens again on the next call.
  CreateObject("Qv_DBProvider.DBCommon")->CallV("CloseDatabase");
  EXPECT_TRUE(t.HasCell("01AA001100"));
  t.CloseDoc();
  ExpectError(91, "", [&] { t.HasCell("01AA001100"); });
}

TEST_F(KprDocTable, PrefixScansStayWithinTheDocumentAndThePrefix) {
  // Neighbours on both sides in key order: a document before and after,
  // and keys of other sections and lines of the same document.
  DBKprDocTable other;
  other.OpenDoc(4);
  Set(other, "0200001000", "x");
  other.OpenDoc(6);
  Set(other, "0200001000", "x");
  Set(other, "0205001999", "x");

  DBKprDocTable t;
  t.OpenDoc(5);
  EXPECT_FALSE(t.IsAnyCellPresent());
  Set(t, "010000100001", "a");
  Set(t, "020000100001", "a");
  Set(t, "020000100102", "b");
  Set(t, "020000100503", " ");  // blank: counts only without aIgnoreEmptyCells
  Set(t, "02BA001AAA04", "c");  // table 159, row 1000
  Set(t, "0201002000", "d");
  Set(t, "03", "e");

  const struct {
    const char* what;
    int32_t got, expected;
  } counts[] = {
      {"rows of line 001 of table 00", t.GetDynamicRowsCount("0200001", false), 6},
      {"rows, blank cells ignored", t.GetDynamicRowsCount("0200001", true), 2},
      {"rows from a longer key", t.GetDynamicRowsCount("02000010050", false), 6},
      {"tables of section 02", t.GetDynamicTablesCount("02", false), 160},
      {"tables of a section without cells", t.GetDynamicTablesCount("04", false), 0},
  };
  for (const auto& c : counts) EXPECT_EQ(c.got, c.expected) << c.what;

  const struct {
    const char* what;
    bool got, expected;
  } presence[] = {
      {"table 00", t.IsTablePresent("0200", false), true},
      {"table 02 of section 02", t.IsTablePresent("0202", false), false},
      {"a key of length 3", t.IsTablePresent("020", false), false},
      {"section 03 alone", t.IsTablePresent("03", true), true},
      {"row 005, blank", t.IsRowPresent("0200001005", true), false},
      {"row 005, blank counted", t.IsRowPresent("0200001005", false), true},
      {"columns 01-01 of line 001", t.IsRowReallyPresentInColumnsRange("0200001", 1, 1), true},
      {"columns 03-09 (only a blank one)", t.IsRowReallyPresentInColumnsRange("0200001", 3, 9),
       false},
      {"columns of a 4-character key", t.IsRowReallyPresentInColumnsRange("0200", 1, 99), false},
  };
  for (const auto& c : presence) EXPECT_EQ(c.got, c.expected) << c.what;

  const std::string before = Cells(5);
  t.ClearRow("0200");       // not a row key: nothing
  t.ClearTable("0200001");  // not a table key: nothing
  EXPECT_EQ(Cells(5), before);
  t.ClearRow("0200001001");
  EXPECT_EQ(Cells(5),
            "010000100001=a/1; 020000100001=a/1; 020000100503= /1; 0201002000=d/1; "
            "02BA001AAA04=c/1; 03=e/1");
  t.ClearTable("02");
  EXPECT_EQ(Cells(5), "010000100001=a/1; 03=e/1");
  EXPECT_EQ(Cells(4) + " | " + Cells(6), "0200001000=x/1 | 0200001000=x/1; 0205001999=x/1");
  t.ClearAllCells();
  EXPECT_EQ(Cells(5), "");
  EXPECT_FALSE(t.IsAnyCellPresent());
  EXPECT_EQ(Cells(6), "0200001000=x/1; 0205001999=x/1");
}

}  // namespace
}  // namespace qv::doctables::testing
