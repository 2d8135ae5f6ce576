#include "queries/DBQKontur.h"

#include <optional>

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "platform/automation/VbaDate.h"
#include "platform/automation/VbaText.h"
#include "queries/mDocumentLookups.h"

namespace qv::queries {
using namespace mQvDaoDataBase;

QV_DEFINE_CLASS(DBQKontur, "Qv_DBProvider.DBQKontur", QV_CREATABLE(DBQKontur),
                Method("GetDocumentIDByGuid(aGuid)", &DBQKontur::GetDocumentIDByGuid),
                Method("GetDocumentsForSyncronyzation", &DBQKontur::GetDocumentsForSyncronyzation),
                Method("FindDocumentsForLinking(aInn, aKpp, aImns, aKnd, aPeriodBeg, aPeriodEnd)",
                       &DBQKontur::FindDocumentsForLinking))

namespace {

// The form whose pension-fund sub-documents are linked with it.
constexpr std::string_view kPfrKnd = "1151100";

// A date the caller gave; nothing for Null, Empty or the empty date.
std::optional<OleDate> GivenDate(const Variant& v) {
  if (v.IsEmptyOrNull()) return std::nullopt;
  const OleDate d = CDate(v);
  if (static_cast<int64_t>(d.serial) == 0) return std::nullopt;
  return d;
}

// The streams of type 1 or 2 at the office whose owner (an accounted
// person or a branch) has the INN (and KPP), joined by ", "; "-1" when none.
std::string StreamsOf(const std::string& aInn, const std::string& aKpp, const std::string& aImns) {
  const bool legal = Len(aInn) == 10;
  std::string sql =
      "select ac.ID AS AccStreamID "
      "from (((( select p.PersonID AS PersonID "
      "from AccPerson AS p union select b.ChildPersonID AS PersonID "
      "from Branches AS b INNER JOIN AccPerson AS pp ON pp.PersonID = b.ParentPersonID ) AS pid "
      "left join AccStream AS ac ON pid.PersonID = ac.PersonID) "
      "left join Person AS per ON per.ID = pid.PersonID) left join " +
      std::string(legal ? "LegalPerson" : "NaturalPerson") +
      " AS pdata ON pdata.ID = per.PersonRealID) "
      "left join TaxOffice AS tax ON tax.ID = ac.TaxOfficeID "
      "where per.Type = " +
      std::string(legal ? "2" : "1") + " and pdata.INN = " + DaoQString(aInn);
  if (legal) sql += " and ac.KPP= " + DaoQString(aKpp);
  sql += " and ac.AccStreamType in (1, 2) and tax.Code = " + DaoQString(aImns) + " ";
  return GetDelimitedNumberFieldValuesFromDaoRS(QvQuerySqlStatic(sql), "AccStreamID", 0, ", ",
                                                "-1");
}

}  // namespace

double DBQKontur::GetDocumentIDByGuid(const std::string& aGuid) {
  return Guard(QV_HERE, [&] {
    return CDbl(QvQueryFirstValueSafe(
        "select top 1 document_id from Doc_Registry where KonDC_GUID = " + DaoQString(aGuid),
        Variant(0.0)));
  });
}

ado::RecordsetPtr DBQKontur::GetDocumentsForSyncronyzation() {
  return Guard(QV_HERE, [&] {
    return QvQuerySqlA(
        "select Document_ID, Status_Qv, KonDC_GUID, KonStatus "
        "from doc_registry "
        "where KonDC_GUID<>\"\" "
        "order by Document_ID desc");
  });
}

CollectionPtr DBQKontur::FindDocumentsForLinking(const std::string& aInn, const std::string& aKpp,
                                                 const std::string& aImns, const std::string& aKnd,
                                                 const Variant& aPeriodBeg,
                                                 const Variant& aPeriodEnd) {
  return Guard(QV_HERE, [&]() -> CollectionPtr {
    const int32_t innLength = Len(aInn), kppLength = Len(aKpp);
    const auto beg = GivenDate(aPeriodBeg), end = GivenDate(aPeriodEnd);
    const bool accepted =
        ((innLength == 10 && kppLength == 9) || (innLength == 12 && kppLength == 0)) &&
        Len(aImns) == 4 && !aKnd.empty() && beg && end &&
        SplitDate(*beg).year == SplitDate(*end).year;
    if (!accepted) return std::make_shared<Collection>();
    // The periods lying within the range (months, quarters and longer).
    const std::string periods = GetDelimitedNumberFieldValuesFromDaoRS(
        QvQuerySqlStatic("select time_id from time_by_month "
                         "where beg_date >= " +
                         Date2DaoSql(Variant(*beg), "Null") + " and end_date <= " +
                         Date2DaoSql(Variant(*end), "Null") + " order by time_id"),
        "time_id", 0, ", ", "");
    if (periods.empty()) return std::make_shared<Collection>();
    const std::string streams = StreamsOf(aInn, aKpp, aImns);
    if (aKnd != kPfrKnd)
      return DocumentRecords(
          "select doc.Document_ID AS ID "
          "from (Doc_Registry AS doc "
          "left join Doc_Templates AS te ON te.Template_ID = doc.Template_ID) "
          "left join Doc_Type_Class AS tt ON tt.Doc_Type_ID = te.Doc_Type_ID "
          "where doc.Taxpayer_ID in (" +
          streams + ") and doc.Time_ID in (" + periods + ") and tt.knd = " + DaoQString(aKnd) +
          " and doc.Status_Qv in (2, 3) and doc.Top_Doc_ID = 0 and doc.KonDC_GUID = '' ");
    return DocumentRecords(
        "select doc.Document_ID AS ID "
        "from Doc_Registry AS doc "
        "left join Doc_Templates AS te ON te.Template_ID = doc.Template_ID "
        "where doc.Taxpayer_ID in (" +
        streams + ") and doc.Time_ID in (" + periods +
        ") and te.doc_type_id = 435 and doc.Status_Qv in (2, 3) and doc.Top_Doc_ID = 0 "
        "and doc.KonDC_GUID = '' "
        "Union All select doc2.Document_ID as ID "
        "from (doc_registry AS doc2 "
        "left join doc_registry AS mdoc2 ON mdoc2.document_id = doc2.PfrMasterDocID) "
        "left join Doc_Templates AS te2 ON te2.Template_ID = doc2.Template_ID "
        "where doc2.Time_ID = 246 and mdoc2.Taxpayer_ID in (" +
        streams + ") and mdoc2.Time_ID in (" + periods +
        ") and te2.doc_type_id = 437 and doc2.Status_Qv in (2, 3) and mdoc2.Top_Doc_ID = 0 "
        "and doc2.KonDC_GUID = '' ");
  });
}

}  // namespace qv::queries
