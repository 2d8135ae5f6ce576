// DBQ2Ndfl: statement numbers across a correction chain and the forms of
// several years, codes allowed at the edges of their validity, the amounts
// filled into deduction names, and the budget codes of a year.

#include "pfr/DBQ2Ndfl.h"

#include <gtest/gtest.h>

#include "PfrFixture.h"
#include "platform/automation/VbaDate.h"

namespace qv::pfr::testing {
namespace {

using DBQ2NdflTest = PfrTest;

std::string N(double v) {
  return CStr(Variant(v));
}

class NdflSheets : public PfrTest {
 protected:
  // A statement sub-document with its number, kind and correction number
  // cells ("" leaves a cell out).
  void Statement(int id, int doc, int person, int type, const std::string& number,
                 const std::string& kind, const std::string& correction = "") {
    SubDocRow(id, doc, person, type);
    for (const auto& [key, value] :
         {std::pair{800013, number}, {820014, kind}, {820015, correction}})
      if (!value.empty()) CellRow(id, key, value);
  }
};

TEST_F(NdflSheets, NumbersFollowTheCorrectionChainAndCountOnlyInitialStatements) {
  // Document 801 and its adjustment 802.
  Sql("insert into doc_registry (document_id, taxpayer_id, top_doc_id) values (801, 50, 802)");
  Sql("insert into doc_registry (document_id, taxpayer_id, bottom_next_id) values (802, 50, 801)");
  Statement(1, 801, 1, 66, "1", "0");
  Statement(2, 801, 2, 66, "2", "");
  Statement(3, 802, 1, 66, "1", "1", "2");  // corrective, second correction
  Statement(4, 802, 2, 66, "2", "2");       // cancelling
  Statement(5, 802, 3, 66, "5", "0");
  Statement(6, 801, 1, 23, "9", "1");  // the 2015 form
  Statement(7, 801, 2, 23, "4", "0");
  Statement(8, 801, 3, 43, "6", "");  // the 2021 form
  Statement(9, 801, 3, 14, "", "");   // the oldest form numbers by key 820001
  CellRow(9, 820001, "12");

  DBQ2Ndfl q;
  const struct {
    const char* what;
    int32_t got, want;
  } numbers[] = {
      {"2024 form in 801", q.GetMaxSheetNum2024(801), 2},
      {"2024 form in 802", q.GetMaxSheetNum2024(802), 5},
      {"2015 form ignores corrective", q.GetMaxSheetNum2015(801), 4},
      {"2021 form", q.GetMaxSheetNum2021(801), 6},
      {"2021 form in 802", q.GetMaxSheetNum2021(802), 0},
      {"oldest form", q.GetMaxSheetNum(801), 12},
      {"template 638 has no type 26 here", q.GetMaxSheetNumEx(801, 638), 0},
  };
  for (const auto& c : numbers) EXPECT_EQ(c.got, c.want) << c.what;

  const struct {
    double person, templ;
    bool found;
    int32_t sheet, correction;
  } corrections[] = {
      {1, 994, true, 1, 3},   // the latest is corrective no. 2
      {2, 994, true, 2, 1},   // the cancelling one is passed over, the initial one found
      {3, 994, true, 5, 1},   // an initial statement in the adjustment itself
      {4, 994, false, 0, 0},  // no statement
      {1, 825, false, 0, 0},  // the 2021 form's types
      {1, 700, false, 0, 0},  // another template
  };
  for (const auto& c : corrections) {
    int32_t sheet = -1, correction = -1;
    EXPECT_EQ(q.GetNdflSheetNumForCorrection(802, c.person, c.templ, sheet, correction), c.found)
        << c.person << " " << c.templ;
    EXPECT_EQ(sheet, c.sheet) << c.person << " " << c.templ;
    EXPECT_EQ(correction, c.correction) << c.person << " " << c.templ;
  }
  EXPECT_EQ(q.GetNdflPreceededCorrectedSubDoc(801, 1, 994), 1);  // older versions only
}

TEST_F(DBQ2NdflTest, CodesAreAllowedExactlyWithinTheirPeriodsAndResidence) {
  Sql("insert into TndflDict_Incomes (ID, Code) values (1, '2000')");
  Sql("insert into TndflDict_IncomesNames (IncomeID, Name, IsDefault, DateBeg, DateEnd) values "
      "(1, 'Salary', 1, DateSerial(2020,1,1), DateSerial(2099,12,31))");
  InsertRows(
      "insert into TndflDict_IncomesRates (IncomeID, Residentship, Rate, TaxCode, DateBeg, "
      "DateEnd)",
      {"(1, 2, 13, '', DateSerial(2020,1,1), DateSerial(2024,12,31))",
       "(1, 3, 13, '', DateSerial(2025,1,1), DateSerial(2099,12,31))"});
  Sql("insert into TndflDict_MDeducts (ID, Code) values (7, '403')");
  InsertRows("insert into TndflDict_DeductsToIncomes (DeductID, IncomeID, DateBeg, DateEnd)",
             {"(7, 1, DateSerial(2021,1,1), DateSerial(2023,12,31))",
              "(8, 1, DateSerial(2023,12,31), DateSerial(2030,1,1))"});

  const auto d = [](int y, int m, int day) { return Variant(DateSerial(y, m, day)); };
  DBQ2Ndfl q;
  const struct {
    const char* what;
    bool got, want;
  } cases[] = {
      {"status 2 on the last day of code 2", q.IsIncomeAllowedEx(1, 2, 13, d(2024, 12, 31)), true},
      {"status 2 on the first day of code 3", q.IsIncomeAllowedEx(1, 2, 13, d(2025, 1, 1)), true},
      {"before the first day", q.IsIncomeAllowedEx(1, 2, 13, d(2019, 12, 31)), false},
      {"status 1 before 2025", q.IsIncomeAllowedEx(1, 1, 13, d(2024, 6, 1)), false},
      {"status 1 in 2025", q.IsIncomeAllowedEx(1, 1, 13, d(2025, 6, 1)), true},
      {"unknown status", q.IsIncomeAllowedEx(1, 6, 13, d(2024, 6, 1)), false},
      {"another rate", q.IsIncomeAllowedEx(1, 2, 30, d(2024, 6, 1)), false},
      {"deduction on its first day", q.IsMonthDeductAllowedEx(7, 1, d(2021, 1, 1)), true},
      {"deduction on its last day", q.IsMonthDeductAllowedEx(7, 1, d(2023, 12, 31)), true},
      {"deduction after it", q.IsMonthDeductAllowedEx(7, 1, d(2024, 1, 1)), false},
      {"deduction without a date", q.IsMonthDeductAllowed(7, 1), true},
      {"two deductions on the shared day", q.IsMultiDeductsAllowedForIncome(1, d(2023, 12, 31)),
       true},
      {"one the next day", q.IsMultiDeductsAllowedForIncome(1, d(2024, 1, 1)), false},
      {"none without a date", q.IsMultiDeductsAllowedForIncome(1, Variant()), false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want) << c.what;

  EXPECT_EQ(Column(q.GetIncomesDictEx(2, 13, d(2024, 3, 1), ""), "SeekName"), "2000 Salary");
  EXPECT_EQ(Column(q.GetIncomesDictEx(2, -5, Variant(), ""), "ID"), "");  // rate -1
  EXPECT_EQ(Column(q.GetIncomesDictEx(0, 0, Variant(), "1"), "Name"), "Salary");
}

TEST_F(DBQ2NdflTest, DeductionNamesGetTheirAmountAndBudgetCodesFollowTheYear) {
  const std::string always = "DateSerial(2000,1,1), DateSerial(2099,12,31)";
  for (int id : {1, 2}) {
    Sql("insert into TndflDict_YDeducts (ID, Code, Category, DateBeg, DateEnd) values (" + N(id) +
        ", '10" + N(id) + "', " + N(id) + ", " + always + ")");
    Sql("insert into TndflDict_YDeductsNames (DeductID, ShortName, FullName, DateBeg, DateEnd) "
        "values (" +
        N(id) + ", 'Child {s}', 'From {s2}to', " + always + ")");
    Sql("insert into TndflDict_DeductsSumms (DeductID, Summa, DateBeg, DateEnd) values (" + N(id) +
        ", " + N(id == 1 ? 1400 : 0) + ", " + always + ")");
  }
  DBQ2Ndfl q;
  auto rs = q.GetYearDeductsDict2(Variant(DateSerial(2024, 5, 1)), "");
  EXPECT_EQ(Column(rs, "ShortName"), "Child 1400 руб. |Child ");
  EXPECT_EQ(Column(rs, "FullName"), "From 1400 руб. - to|From to");
  EXPECT_EQ(Column(rs, "SeekName"), "101 Child 1400 руб. |102 Child ");
  EXPECT_EQ(Column(rs, "CatName"), "станд.|соц.");

  const auto year = [](int y) { return Variant(DateSerial(y, 6, 1)); };
  EXPECT_EQ(q.GetNdflKbkList(year(2023))->RecordCount(), 6);
  EXPECT_EQ(Column(q.GetNdflKbkList(year(2024)), "Code").substr(6 * 21),
            "18210102010011010110|18210102080011010110");
  EXPECT_EQ(q.GetNdflKbkList(year(2025))->RecordCount(), 15);
  EXPECT_EQ(q.GetNdflKbkName("18210102060011000110", year(2025)).rfind("(удалён) НДФЛ на", 0), 0u);
  EXPECT_EQ(q.GetNdflKbkName("18210102060011000110", year(2024)).rfind("НДФЛ на", 0), 0u);
  EXPECT_EQ(q.GetNdflKbkName("18210102070011000110", year(2025)),
            q.GetNdflKbkName("18210102070011000110", year(2020)));
  EXPECT_EQ(q.GetNdflKbkName("1821", year(2025)), "");
}

}  // namespace
}  // namespace qv::pfr::testing
