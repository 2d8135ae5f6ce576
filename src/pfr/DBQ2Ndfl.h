#pragma once
// DBQ2Ndfl ("Qv_DBProvider.DBQ2Ndfl"): the editor of the yearly income
// statements (2-NDFL) and the related tax-agent reports: which income and
// deduction codes a rate, residence status and date allow, the code lists
// with their names, statement (sheet) and correction numbers, the KPP and
// OKATO codes of a document, and the budget classification codes (KBK) of
// the tax. It only reads and keeps no state.
//
// Dates: a date is missing when Empty, Null or not given; dates enter SQL
// through Date2DaoSql. Identifier lists (aIDs) are numbers separated by ","
// (error 5 otherwise). Residence: the caller's status 1..5 becomes the code
// of TndflDict_IncomesRates by the year of the date (this year without
// one): before 2025 status 1 is 1 and 2..5 are 2, from 2025 all are 3; any
// other status is 0, which matches no rate.

#include <cstdint>
#include <string>

#include "platform/ado/Recordset.h"
#include "platform/automation/Object.h"

namespace qv::pfr {

class DBQ2Ndfl : public Object {
  QV_DECLARE_CLASS(DBQ2Ndfl)

 public:
  // ID, Code, Name, SeekName (and TaxCode without aIDs) of the incomes
  // allowed with the residence and rate (a negative rate is -1) at the
  // date; without a date the default names and no period check.
  ado::RecordsetPtr GetIncomesDictEx(int32_t aResidentship, double aRate, const Variant& aDate,
                                     const std::string& aIDs);
  bool IsIncomeAllowed(int32_t aIncomeID, int32_t aResidentship, double aRate);
  bool IsIncomeAllowedEx(int32_t aIncomeID, int32_t aResidentship, double aRate,
                         const Variant& aDate);
  // ID, Code, ShortName, FullName, SeekName of the deductions of an income.
  ado::RecordsetPtr GetMonthDeductsDictEx(int32_t aIncomeID, const Variant& aDate,
                                          const std::string& aIDs);
  bool IsMonthDeductAllowed(int32_t aDeductID, int32_t aIncomeID);
  bool IsMonthDeductAllowedEx(int32_t aDeductID, int32_t aIncomeID, const Variant& aDate);
  // Nothing.
  ObjectPtr GetYearDeductsDict(const std::string& aIDs);
  // ID, Code, ShortName, FullName, Category, CatName, SeekName, Summa of the
  // yearly deductions valid at aTermDate; "{s}" and "{s2}" in the names
  // become the amount followed by " руб. " and " руб. - " (removed for 0).
  ado::RecordsetPtr GetYearDeductsDict2(const Variant& aTermDate, const std::string& aIDs);
  ado::RecordsetPtr GetYearDeductsList(Variant& aParams);
  // Field V: the stream's own code and every one written in the document's
  // statements, each once, ordered.
  ado::RecordsetPtr GetKppListInDocument(double aDocID);
  ado::RecordsetPtr GetOkatoListInDocument(double aDocID);
  // The largest statement number used in a document (0 for none); the
  // 2015, 2021 and 2024 forms count initial statements only.
  int32_t GetMaxSheetNum(double aDocID);
  int32_t GetMaxSheetNum2015(double aDocID);
  int32_t GetMaxSheetNum2021(double aDocID);
  int32_t GetMaxSheetNum2024(double aDocID);
  // Template 638: the sheet numbers of the contribution report; else 0.
  int32_t GetMaxSheetNumEx(double aDocID, double aTemplateID);
  // True when two or more deductions go with the income at the date
  // (false without a date).
  bool IsMultiDeductsAllowedForIncome(int32_t aIncomeID, const Variant& aDate);
  // The person's latest statement (templates 825 and 994) in the
  // document's correction chain, newest version first (the document
  // itself included), that is not a cancelling one; 0 for none.
  double GetNdflPreceededCorrectedSubDoc(double aDocID, double aPfrPersonID, double aTemplateID);
  // True when there is such a statement: rSheetNum its number,
  // rCorrectionNum one above its correction number (1 after an initial
  // one). Both are 0 otherwise.
  bool GetNdflSheetNumForCorrection(double aDocID, double aPfrPersonID, double aTemplateID,
                                    int32_t& rSheetNum, int32_t& rCorrectionNum);
  // Field Code (text, 250): the codes offered in the year of aDate.
  ado::RecordsetPtr GetNdflKbkList(const Variant& aDate);
  // The code's name in the year of aDate; "" for an unknown code.
  std::string GetNdflKbkName(const std::string& aCode, const Variant& aDate);
};

}  // namespace qv::pfr
