#include "pfr/DBQ2Ndfl.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "core/miDataBase.h"
#include "pfr/mNdflKbk.h"
#include "pfr/mPfrInternal.h"
#include "pfr/mPfrQueries.h"
#include "platform/ado/AdoConstants.h"
#include "platform/automation/VbaDate.h"
#include "platform/automation/VbaText.h"
#include "platform/dao/Database.h"
#include "platform/jet/JetConnection.h"
#include "records/miDocument.h"

namespace qv::pfr {
using namespace mQvDaoDataBase;
using namespace mPfrQueries;

QV_DEFINE_CLASS(
    DBQ2Ndfl, "Qv_DBProvider.DBQ2Ndfl", QV_CREATABLE(DBQ2Ndfl),
    Method("GetIncomesDictEx(aResidentship, aRate, aDate, aIDs)", &DBQ2Ndfl::GetIncomesDictEx,
           {Variant("")}),
    Method("IsIncomeAllowed(aIncomeID, aResidentship, aRate)", &DBQ2Ndfl::IsIncomeAllowed),
    Method("IsIncomeAllowedEx(aIncomeID, aResidentship, aRate, aDate)",
           &DBQ2Ndfl::IsIncomeAllowedEx),
    Method("GetMonthDeductsDictEx(aIncomeID, aDate, aIDs)", &DBQ2Ndfl::GetMonthDeductsDictEx,
           {Variant("")}),
    Method("IsMonthDeductAllowed(aDeductID, aIncomeID)", &DBQ2Ndfl::IsMonthDeductAllowed),
    Method("IsMonthDeductAllowedEx(aDeductID, aIncomeID, aDate)",
           &DBQ2Ndfl::IsMonthDeductAllowedEx),
    Method("GetYearDeductsDict(aIDs)", &DBQ2Ndfl::GetYearDeductsDict, {Variant("")}),
    Method("GetYearDeductsDict2(aTermDate, aIDs)", &DBQ2Ndfl::GetYearDeductsDict2, {Variant("")}),
    Method("GetYearDeductsList(aParams)", &DBQ2Ndfl::GetYearDeductsList, {Variant()}),
    Method("GetKppListInDocument(aDocID)", &DBQ2Ndfl::GetKppListInDocument),
    Method("GetOkatoListInDocument(aDocID)", &DBQ2Ndfl::GetOkatoListInDocument),
    Method("GetMaxSheetNum(aDocID)", &DBQ2Ndfl::GetMaxSheetNum),
    Method("GetMaxSheetNum2015(aDocID)", &DBQ2Ndfl::GetMaxSheetNum2015),
    Method("GetMaxSheetNum2021(aDocID)", &DBQ2Ndfl::GetMaxSheetNum2021),
    Method("GetMaxSheetNum2024(aDocID)", &DBQ2Ndfl::GetMaxSheetNum2024),
    Method("GetMaxSheetNumEx(aDocID, aTemplateID)", &DBQ2Ndfl::GetMaxSheetNumEx),
    Method("IsMultiDeductsAllowedForIncome(aIncomeID, aDate)",
           &DBQ2Ndfl::IsMultiDeductsAllowedForIncome),
    Method("GetNdflPreceededCorrectedSubDoc(aDocID, aPfrPersonID, aTemplateID)",
           &DBQ2Ndfl::GetNdflPreceededCorrectedSubDoc),
    Method("GetNdflSheetNumForCorrection(aDocID, aPfrPersonID, aTemplateID, rSheetNum, "
           "rCorrectionNum)",
           &DBQ2Ndfl::GetNdflSheetNumForCorrection),
    Method("GetNdflKbkList(aDate)", &DBQ2Ndfl::GetNdflKbkList),
    Method("GetNdflKbkName(aCode, aDate)", &DBQ2Ndfl::GetNdflKbkName))

namespace {

// Cell keys of the statements.
constexpr int32_t kNdflSheetNumKey = 800013;
constexpr int32_t kKindKey = 820014;  // "" or "0" initial, "1" corrective, "2" cancelling
constexpr int32_t kCorrectionNumKey = 820015;

bool Missing(const Variant& aDate) {
  return aDate.IsEmpty() || aDate.IsNull() || aDate.IsMissing();
}
std::string DateSql(const Variant& aDate) {
  return Date2DaoSql(aDate, "DateSerial(1899,12,31)");
}
int32_t YearOf(const Variant& aDate) {
  return SplitDate(Missing(aDate) ? Today() : CDate(aDate)).year;
}

int32_t ResidenceCode(int32_t aResidentship, const Variant& aDate) {
  if (aResidentship < 1 || aResidentship > 5) return 0;
  if (YearOf(aDate) >= 2025) return 3;
  return aResidentship == 1 ? 1 : 2;
}

std::string IdsIn(const std::string& aIDs) {
  return "a.ID in (" + mPfrInternal::CommaList2DaoSql(aIDs, "aIDs") + ") ";
}

// The identifiers of the person's statements of `types` ("66" or "43, 48")
// in a document, as IdsOf(PersonSubDocsSql(...)) lists them (in key order).
// On a file the select of the same terms the Jet text translates to, its
// rows sorted (the index gives them in the order they were stored, which a
// folder copied from a server does not keep), is one native statement bound
// per document (the text built and translated per version was a tenth of a
// correction's look-up); its cache entry is kept for the thread (NativeText:
// looked up again for another connection or after the cache dropped it).
std::vector<double> PersonStatementIds(double aDocID, double aPfrPersonID,
                                       const std::string& types) {
  std::vector<double> ids;
  auto db = miDataBase::GetUserDataBase();
  const bool whole = aDocID == std::floor(aDocID) && aPfrPersonID == std::floor(aPfrPersonID) &&
                     std::fabs(aDocID) < 1e15 && std::fabs(aPfrPersonID) < 1e15;
  if (db->IsServer() || !whole || (types != "66" && types != "43, 48")) {
    CollectionPtr list = IdsOf(PersonSubDocsSql(aDocID, aPfrPersonID, types, false));
    for (int32_t j = 1; j <= list->Count(); ++j) ids.push_back(CDbl(list->At(j)));
    return ids;
  }
  thread_local jet::Connection::NativeText kept[2];
  const bool one = types == "66";
  jet::Statement st = db->Connection().PrepareNative(
      one ? "SELECT \"ID\" FROM \"PfrSubDocs\" "
            "WHERE \"PfrPersonID\" = ? AND \"DocumentID\" = ? AND \"SubDocType\" IN (66)"
          : "SELECT \"ID\" FROM \"PfrSubDocs\" "
            "WHERE \"PfrPersonID\" = ? AND \"DocumentID\" = ? AND \"SubDocType\" IN (43, 48)",
      kept[one ? 0 : 1]);
  st.BindInt(1, static_cast<int64_t>(aPfrPersonID));
  st.BindInt(2, static_cast<int64_t>(aDocID));
  while (st.Step()) ids.push_back(CDblOr(st.Value(0), 0));
  // Sorted here: an ORDER BY made SQLite sort the one or two rows (4.4k
  // instructions a version by callgrind).
  std::sort(ids.begin(), ids.end());
  return ids;
}

int32_t MaxOrZero(const std::string& aSql) {
  const Variant v = QvQueryValue(aSql);
  return v.IsNull() ? 0 : CLng(v);
}

// The largest number (key 800013) of the document's initial statements of
// the types.
int32_t MaxInitialSheetNum(double aDocID, const std::string& aTypeCondition) {
  return MaxOrZero(
      "select max (Num) "
      "from ( select SubDocID, "
      "(select top 1 Val(c1.Value) from PfrCellValues AS c1 "
      "where c1.SubDocID = s1.SubDocID AND c1.Key = 800013) AS Num, "
      "(select top 1 Val(c2.Value) from PfrCellValues AS c2 "
      "where c2.SubDocID = s1.SubDocID AND c2.Key = 820014) AS CorrType "
      "from ( select s.ID as SubDocID from PfrSubDocs AS s "
      "where s.DocumentID = " +
      Number2DaoSql(aDocID) + " AND " + aTypeCondition +
      " ) AS s1 ) where CorrType = 0 or CorrType is null ");
}

// The largest value of a key in the document's sub-documents of a type.
int32_t MaxKeyValue(double aDocID, int32_t aSubDocType, int32_t aKey) {
  return MaxOrZero(
      "select max (V) "
      "from ( select Val (c.Value) AS V from PfrCellValues AS c "
      "where c.SubDocID in ( select s.ID from PfrSubDocs AS s where s.DocumentID = " +
      Number2DaoSql(aDocID) + " and s.SubDocType = " + Number2DaoSql(aSubDocType) +
      " ) and c.Key = " + Number2DaoSql(aKey) + " )");
}

// The stream's own code (column of AccStream) and the statements' (key).
ado::RecordsetPtr CodesInDocument(double aDocID, const std::string& aColumn, int32_t aKey) {
  const std::string doc = Number2DaoSql(aDocID);
  return QvQuerySqlA("select V from ( select top 1 a." + aColumn +
                     " AS V "
                     "from Doc_Registry as d "
                     "LEFT JOIN AccStream AS a ON a.ID = d.Taxpayer_ID "
                     "where d.Document_ID = " +
                     doc +
                     " Union select distinct c.Value AS V from PfrCellValues AS c "
                     "where c.SubDocID in ( select p.ID from PfrSubDocs AS p "
                     "Where p.DocumentID = " +
                     doc + ") and c.Key = " + Number2DaoSql(aKey) + " ) Order by V ");
}

// "{s}" and "{s2}" filled with the amount, or removed for 0.
std::string FillAmount(std::string text, double amount) {
  if (text.find('{') == std::string::npos) return text;
  const std::string a = CStr(Variant(amount));
  text = Replace(text, "{s2}", amount == 0 ? "" : a + " руб. - ");
  return Replace(text, "{s}", amount == 0 ? "" : a + " руб. ");
}

std::string CategoryName(int32_t aCategory) {
  static constexpr const char* kNames[] = {"станд.", "соц.", "имущ.", "инвест."};
  return aCategory >= 1 && aCategory <= 4 ? kNames[aCategory - 1] : "";
}

}  // namespace

ado::RecordsetPtr DBQ2Ndfl::GetIncomesDictEx(int32_t aResidentship, double aRate,
                                             const Variant& aDate, const std::string& aIDs) {
  return Guard(QV_HERE, [&] {
    const double rate = aRate < 0 ? -1 : aRate;
    const bool dated = !Missing(aDate);
    const std::string date = DateSql(aDate);
    std::string sql;
    if (!aIDs.empty()) {
      sql =
          "select a.ID, a.Code, n.Name, a.Code + ' ' + n.Name AS SeekName "
          "from TndflDict_Incomes AS a "
          "LEFT JOIN TndflDict_IncomesNames AS n ON n.IncomeID = a.ID "
          "where " +
          IdsIn(aIDs) +
          (dated ? "and n.DateBeg <= " + date + " and n.DateEnd >= " + date + " "
                 : "and n.IsDefault = 1 ");
      return QvQuerySqlA(sql);
    }
    sql =
        "select a.ID, a.Code, n.Name, a.Code + ' ' + n.Name AS SeekName, r.TaxCode "
        "from (TndflDict_IncomesRates AS r LEFT JOIN TndflDict_Incomes AS a ON a.ID = r.IncomeID) "
        "LEFT JOIN TndflDict_IncomesNames AS n ON n.IncomeID = a.ID "
        "where r.Residentship = " +
        Number2DaoSql(ResidenceCode(aResidentship, aDate)) +
        " AND (r.Rate = " + Number2DaoSql(rate) + " ) ";
    sql += dated ? "and r.DateBeg <= " + date + " and r.DateEnd >= " + date +
                       " and n.DateBeg <= " + date + " and n.DateEnd >= " + date + " "
                 : "and n.IsDefault = 1 ";
    return QvQuerySqlA(sql + "Order by Code ");
  });
}

bool DBQ2Ndfl::IsIncomeAllowed(int32_t aIncomeID, int32_t aResidentship, double aRate) {
  return Guard(QV_HERE,
               [&] { return IsIncomeAllowedEx(aIncomeID, aResidentship, aRate, Variant::Null()); });
}

bool DBQ2Ndfl::IsIncomeAllowedEx(int32_t aIncomeID, int32_t aResidentship, double aRate,
                                 const Variant& aDate) {
  return Guard(QV_HERE, [&] {
    std::string sql =
        "select top 1 a.ID "
        "from TndflDict_Incomes AS a "
        "INNER JOIN TndflDict_IncomesRates AS r ON a.ID = r.IncomeID "
        "where a.ID = " +
        Number2DaoSql(aIncomeID) +
        " and r.Residentship = " + Number2DaoSql(ResidenceCode(aResidentship, aDate)) +
        " AND (r.Rate = " + Number2DaoSql(aRate) + ") ";
    if (!Missing(aDate))
      sql += "and r.DateBeg <= " + DateSql(aDate) + " and r.DateEnd >= " + DateSql(aDate) + " ";
    return QvQueryExistence(sql);
  });
}

ado::RecordsetPtr DBQ2Ndfl::GetMonthDeductsDictEx(int32_t aIncomeID, const Variant& aDate,
                                                  const std::string& aIDs) {
  return Guard(QV_HERE, [&] {
    const bool dated = !Missing(aDate);
    const std::string date = DateSql(aDate);
    const std::string columns =
        "select a.ID, a.Code, n.ShortName, n.FullName, a.Code + ' ' + n.ShortName AS SeekName ";
    const std::string nameCondition =
        dated ? "and " + date + " between n.DateBeg and n.DateEnd " : "and n.IsDefault = 1 ";
    if (!aIDs.empty())
      return QvQuerySqlA(columns +
                         "from TndflDict_MDeducts AS a LEFT JOIN TndflDict_MDeductsNames AS n "
                         "ON n.DeductID = a.ID where " +
                         IdsIn(aIDs) + nameCondition);
    return QvQuerySqlA(columns +
                       "from (TndflDict_DeductsToIncomes AS r LEFT JOIN TndflDict_MDeducts AS a "
                       "ON a.ID = r.DeductID) "
                       "LEFT JOIN TndflDict_MDeductsNames AS n ON n.DeductID = a.ID "
                       "where r.IncomeID = " +
                       Number2DaoSql(aIncomeID) + " " +
                       (dated ? "and " + date + " between r.DateBeg and r.DateEnd " : "") +
                       nameCondition + "Order by Code ");
  });
}

bool DBQ2Ndfl::IsMonthDeductAllowed(int32_t aDeductID, int32_t aIncomeID) {
  return Guard(QV_HERE,
               [&] { return IsMonthDeductAllowedEx(aDeductID, aIncomeID, Variant::Null()); });
}

bool DBQ2Ndfl::IsMonthDeductAllowedEx(int32_t aDeductID, int32_t aIncomeID, const Variant& aDate) {
  return Guard(QV_HERE, [&] {
    std::string sql =
        "select top 1 a.ID "
        "from TndflDict_MDeducts AS a "
        "INNER JOIN TndflDict_DeductsToIncomes AS r ON a.ID = r.DeductID "
        "where a.ID = " +
        Number2DaoSql(aDeductID) + " and r.IncomeID = " + Number2DaoSql(aIncomeID) + " ";
    if (!Missing(aDate)) sql += "and " + DateSql(aDate) + " between r.DateBeg and r.DateEnd ";
    return QvQueryExistence(sql);
  });
}

bool DBQ2Ndfl::IsMultiDeductsAllowedForIncome(int32_t aIncomeID, const Variant& aDate) {
  return Guard(QV_HERE, [&] {
    if (Missing(aDate)) return false;
    return CLng(QvQueryValue(
               "select count (*) AS aaa from TndflDict_DeductsToIncomes where IncomeID = " +
               Number2DaoSql(aIncomeID) + " and " + DateSql(aDate) +
               " between DateBeg and DateEnd ")) >= 2;
  });
}

ObjectPtr DBQ2Ndfl::GetYearDeductsDict(const std::string&) {
  return nullptr;
}

ado::RecordsetPtr DBQ2Ndfl::GetYearDeductsDict2(const Variant& aTermDate, const std::string& aIDs) {
  return Guard(QV_HERE, [&] {
    const std::string date = DateSql(aTermDate);
    DaoRecordsetPtr rs = QvQuerySqlStatic(
        "select a.ID, a.Code, n.ShortName, n.FullName, a.Category, ' ' AS CatName, "
        "a.Code + ' ' + n.ShortName AS SeekName, "
        "(select top 1 s.Summa from TndflDict_DeductsSumms AS s "
        "where s.DeductID = a.ID and " +
        date +
        " between s.DateBeg and s.DateEnd) AS Summa "
        "from TndflDict_YDeducts AS a "
        "LEFT JOIN TndflDict_YDeductsNames AS n ON n.DeductID = a.ID "
        "where " +
        (aIDs.empty() ? "" : IdsIn(aIDs) + "and ") + date +
        " between a.DateBeg and a.DateEnd and " + date +
        " between n.DateBeg and n.DateEnd Order by a.Code ");
    auto out = std::make_shared<ado::Recordset>();
    const int32_t nullable = ado::adFldIsNullable;
    out->AppendField("ID", ado::adInteger, 0, nullable);
    out->AppendField("Code", ado::adVarWChar, 255, nullable);
    out->AppendField("ShortName", ado::adLongVarWChar, 0, nullable);
    out->AppendField("FullName", ado::adLongVarWChar, 0, nullable);
    out->AppendField("Category", ado::adInteger, 0, nullable);
    out->AppendField("CatName", ado::adVarWChar, 50, nullable);
    out->AppendField("SeekName", ado::adLongVarWChar, 0, nullable);
    out->AppendField("Summa", ado::adDouble, 0, nullable);
    out->Open();
    for (DaoSafeMoveFirst(*rs); !rs->IsEOF(); rs->MoveNext()) {
      const Variant summa = rs->FieldValue("Summa");
      const double amount = summa.IsNull() ? 0 : CDbl(summa);
      const std::string code = GetDaoString(*rs, "Code");
      const std::string shortName = FillAmount(GetDaoString(*rs, "ShortName"), amount);
      const int32_t category = GetDaoLong(*rs, "Category");
      out->AppendRow({rs->FieldValue("ID"), Variant(code), Variant(shortName),
                      Variant(FillAmount(GetDaoString(*rs, "FullName"), amount)), Variant(category),
                      Variant(CategoryName(category)), Variant(code + " " + shortName), summa});
    }
    rs->Close();
    if (out->RecordCount() > 0) out->MoveFirst();
    return out;
  });
}

ado::RecordsetPtr DBQ2Ndfl::GetYearDeductsList(Variant&) {
  return Guard(QV_HERE, [&] {
    return QvQuerySqlA(
        "select a.ID, a.Code, a.Category from TndflDict_YDeducts AS a "
        "Order by a.Code ");
  });
}

ado::RecordsetPtr DBQ2Ndfl::GetKppListInDocument(double aDocID) {
  return Guard(QV_HERE, [&] { return CodesInDocument(aDocID, "Kpp", 820003); });
}

ado::RecordsetPtr DBQ2Ndfl::GetOkatoListInDocument(double aDocID) {
  return Guard(QV_HERE, [&] { return CodesInDocument(aDocID, "Ocato", 820004); });
}

int32_t DBQ2Ndfl::GetMaxSheetNum(double aDocID) {
  return Guard(QV_HERE, [&] { return MaxKeyValue(aDocID, 14, 820001); });
}

int32_t DBQ2Ndfl::GetMaxSheetNum2015(double aDocID) {
  return Guard(QV_HERE, [&] { return MaxInitialSheetNum(aDocID, "s.SubDocType = 23"); });
}

int32_t DBQ2Ndfl::GetMaxSheetNum2021(double aDocID) {
  return Guard(QV_HERE, [&] { return MaxInitialSheetNum(aDocID, "s.SubDocType in (43, 48)"); });
}

int32_t DBQ2Ndfl::GetMaxSheetNum2024(double aDocID) {
  return Guard(QV_HERE, [&] { return MaxInitialSheetNum(aDocID, "s.SubDocType = 66"); });
}

int32_t DBQ2Ndfl::GetMaxSheetNumEx(double aDocID, double aTemplateID) {
  return Guard(QV_HERE, [&] { return aTemplateID == 638 ? MaxKeyValue(aDocID, 26, 1021001) : 0; });
}

double DBQ2Ndfl::GetNdflPreceededCorrectedSubDoc(double aDocID, double aPfrPersonID,
                                                 double aTemplateID) {
  return Guard(QV_HERE, [&]() -> double {
    const std::string types = aTemplateID == 825 ? "43, 48" : aTemplateID == 994 ? "66" : "";
    if (types.empty() || aDocID == 0) return 0;
    CollectionPtr chain = miDocument::GetOlderVersions(aDocID, true);
    for (int32_t i = 1; i <= chain->Count(); ++i)
      for (double id : PersonStatementIds(CDbl(chain->At(i)), aPfrPersonID, types))
        if (CellText(id, kKindKey) != "2") return id;
    return 0;
  });
}

bool DBQ2Ndfl::GetNdflSheetNumForCorrection(double aDocID, double aPfrPersonID, double aTemplateID,
                                            int32_t& rSheetNum, int32_t& rCorrectionNum) {
  return Guard(QV_HERE, [&] {
    rSheetNum = 0;
    rCorrectionNum = 0;
    const double id = GetNdflPreceededCorrectedSubDoc(aDocID, aPfrPersonID, aTemplateID);
    if (id == 0) return false;
    const std::string kind = CellText(id, kKindKey);
    rSheetNum = static_cast<int32_t>(Val(CellText(id, kNdflSheetNumKey)));
    if (kind == "1")
      rCorrectionNum = static_cast<int32_t>(Val(CellText(id, kCorrectionNumKey))) + 1;
    else if (kind == "0" || kind.empty())
      rCorrectionNum = 1;
    return true;
  });
}

ado::RecordsetPtr DBQ2Ndfl::GetNdflKbkList(const Variant& aDate) {
  return Guard(QV_HERE, [&] {
    auto out = std::make_shared<ado::Recordset>();
    out->AppendField("Code", ado::adVarWChar, 250, ado::adFldIsNullable);
    out->Open();
    for (std::string_view code : mNdflKbk::CodesOfYear(YearOf(aDate)))
      out->AppendRow({Variant(std::string(code))});
    out->MoveFirst();
    return out;
  });
}

std::string DBQ2Ndfl::GetNdflKbkName(const std::string& aCode, const Variant& aDate) {
  return Guard(QV_HERE, [&] { return mNdflKbk::NameInYear(aCode, YearOf(aDate)); });
}

}  // namespace qv::pfr
