#include "queries/BlankQueries.h"

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "queries/BlankSql.h"
#include "queries/IntAddBlanksContext.h"
#include "queries/mCommonLookups.h"
#include "records/miRecCollection.h"

namespace qv::queries {

using namespace mQvDaoDataBase;
using namespace blanksql;

QV_DEFINE_CLASS(
    BlankQueries, "Qv_DBProvider.BlankQueries", QV_CREATABLE(BlankQueries),
    Method("GetBlanksByPeriod(aAccStreamID, aTPCategory1, aTimePeriodID)",
           &BlankQueries::GetBlanksByPeriod),
    Method("GetBlanksByPeriodEx(aAccStreamID, aTimePeriodID, aWithProfiles)",
           &BlankQueries::GetBlanksByPeriodEx),
    Method("GetConsBlanksByPeriod(aConsStreamID, aTPCategory, aTimePeriodID)",
           &BlankQueries::GetConsBlanksByPeriod),
    Method("GetAllBlanksInDateRange(aDateBeg, aDateEnd, aReturnTemplTypes)",
           &BlankQueries::GetAllBlanksInDateRange),
    Method("GetDocsAndArchivesByTemplate(aAccStreamID, aTemplateID, aTimePeriodID)",
           &BlankQueries::GetDocsAndArchivesByTemplate),
    Method("GetDocumentsWithBadVisibility(aAccStreamID, aTimePeriodID, aVisibleDocsIDList)",
           &BlankQueries::GetDocumentsWithBadVisibility),
    Method("GetTemplateIDByDateAndTemplateClass(aTemplateClassID, aDate)",
           &BlankQueries::GetTemplateIDByDateAndTemplateClass),
    Method("GetTemplateIDByTimeID(aTemplateID, aTimeID)", &BlankQueries::GetTemplateIDByTimeID),
    Method("GetTemplateIDByTimeIDAndTemplateClass(aTemplateClassID, aTimeID)",
           &BlankQueries::GetTemplateIDByTimeIDAndTemplateClass),
    Method("GetAllTemplatesOfClass(aTemplateClassID)", &BlankQueries::GetAllTemplatesOfClass),
    Method("IsPeriodContainsBlanks(aAccStreamID, aTPCategory1, aTimePeriodID)",
           &BlankQueries::IsPeriodContainsBlanks),
    Method("IsPeriodContainsComplexDocuments(aAccStreamID, aTimePeriodID)",
           &BlankQueries::IsPeriodContainsComplexDocuments),
    Method("IsPeriodContainsConsBlanks(aConsStreamID, aTPCategory, aTimePeriodID)",
           &BlankQueries::IsPeriodContainsConsBlanks),
    Method("GetDocsAndArchivesByTemplateClass(aAccStreamID, aTemplateClassID, aTimePeriodID)",
           &BlankQueries::GetDocsAndArchivesByTemplateClass),
    Method("GetBranchesBlanksForGroup4(aMainOrgPersonID, aMainTemplateID, aTimePeriodID, "
           "aAccStreamType, aSortMode, aSortDirection)",
           &BlankQueries::GetBranchesBlanksForGroup4),
    Method("GetBranchBlanksForGroup(aBranchAccStreamID, aMainTemplateID, aTimePeriodID)",
           &BlankQueries::GetBranchBlanksForGroup),
    Method("IsMultiInstancesAllowedInBranchesGroup(aMainTemplateID)",
           &BlankQueries::IsMultiInstancesAllowedInBranchesGroup),
    Method("IsTemplateReady(aTemplateID, aTimeID, aDefaultAnswer)", &BlankQueries::IsTemplateReady),
    Method("GetDocsAndArchivesByPeriod(aAccStreamID, aTimePeriodID, aSortMode, aSortDirection)",
           &BlankQueries::GetDocsAndArchivesByPeriod),
    Method("GetRegistryTermByTemplateAndTime(aTemplateID, aTimeID)",
           &BlankQueries::GetRegistryTermByTemplateAndTime),
    Method("GetRegistryTermByTemplateAndTime2(aTemplateID, aTimeID, aPersonType)",
           &BlankQueries::GetRegistryTermByTemplateAndTime2),
    Method("GetLastTemplateData(aTemplTypeID)", &BlankQueries::GetLastTemplateData),
    Method("GetTemplateVisibilityInfo(aType, aID, rCategoryInfo, rTimeInfo)",
           &BlankQueries::GetTemplateVisibilityInfo),
    Method("GetAllTemplatesByTemplateType(aTemplateType)",
           &BlankQueries::GetAllTemplatesByTemplateType),
    Method("GetBlanksByPeriod3(aAccStreamID, aTimePeriodID, aWithProfiles, aFolderIDs)",
           &BlankQueries::GetBlanksByPeriod3),
    Method("GetDocFoldersByPeriod(aAccStreamID, aTimePeriodID, aWithProfiles)",
           &BlankQueries::GetDocFoldersByPeriod),
    Method("GetDocsAndArchivesByPeriod2(aAccStreamID, aTimePeriodID, aFolderIDs, aSortMode, "
           "aSortDirection)",
           &BlankQueries::GetDocsAndArchivesByPeriod2),
    Method("GetDocumentsWithBadVisibility2(aAccStreamID, aTimePeriodID, aFolderIDs, "
           "aVisibleDocsIDList)",
           &BlankQueries::GetDocumentsWithBadVisibility2),
    Method("GetActualAdjustmentByTemplateAndInstance(aAccStreamID, aTemplateID, aTimePeriodID, "
           "aInstanceNumber)",
           &BlankQueries::GetActualAdjustmentByTemplateAndInstance),
    Method("GetAttachmentTypesForDocument(aTemplateID, aDate)",
           &BlankQueries::GetAttachmentTypesForDocument),
    Method("GetTemplatesInFolder(aFolder)", &BlankQueries::GetTemplatesInFolder),
    Method("GetTemplateTypesInFolder(aFolder)", &BlankQueries::GetTemplateTypesInFolder),
    Method("GetDocsByTemplateAndInstance(aAccStreamID, aTemplateID, aTimePeriodID, "
           "aInstanceNumber, aAscending)",
           &BlankQueries::GetDocsByTemplateAndInstance),
    Method("GetProfileDocTypes(aAccStreamID, aTimePeriodID)", &BlankQueries::GetProfileDocTypes))

namespace {

struct Owner {
  int32_t category = 0, streamType = 0;
  bool branch = false;
};
Owner OwnerOf(double aAccStreamID) {
  Owner o;
  GetAccStreamOwnerInfo(aAccStreamID, o.category, o.streamType, o.branch);
  return o;
}

// The profile list L of a stream in a period ("-1" for no doc type), or
// nothing when profiles do not apply.
std::optional<std::string> ProfileList(BlankQueries& q, double aAccStreamID, double aTimePeriodID,
                                       bool aWithProfiles) {
  if (!aWithProfiles) return std::nullopt;
  ado::RecordsetPtr types = q.GetProfileDocTypes(aAccStreamID, aTimePeriodID);
  if (!types) return std::nullopt;
  std::string list;
  const size_t id = types->FieldIndex("ID");
  for (size_t r = 0; r < types->RowCount(); ++r)
    if (const Variant& type = types->Value(r, id); !type.IsNull())  // a profile row without one
      list += (list.empty() ? "" : ", ") + CStr(type);
  return list.empty() ? "-1" : list;
}

// The stream's documents in the period in list order, as document records.
CollectionPtr DocumentsByPeriod(double aAccStreamID, double aTimePeriodID,
                                const std::string& aFolderIDs) {
  std::string sql =
      "select d.document_id AS id from "
      "( select d.document_id, d.template_id, c.list_order, d.instance_number, d.doc_type "
      "from ( doc_registry AS d "
      "LEFT JOIN doc_templates AS t ON t.template_id = d.template_id) "
      "LEFT JOIN doc_type_class AS c ON c.doc_type_id = t.doc_type_id "
      "where d.taxpayer_id = " +
      Number2DaoSql(aAccStreamID) + " and d.time_id = " + Number2DaoSql(aTimePeriodID) + " ";
  if (!aFolderIDs.empty()) sql += " and t.FolderID in (" + FolderList(aFolderIDs) + ") ";
  sql += ") order by list_order, template_id, instance_number, doc_type ";
  auto rs = QvQuerySqlStatic(sql);
  CollectionPtr docs = miRecCollection::GetRecCollection_QvDocument(*rs, "id");
  rs->Close();
  return docs;
}

const char* kDocColumns =
    "select reg.document_id As Document_id, reg.bottom_next_id As bottom_next_id,"
    " reg.instance_number As instance_number, reg.top_doc_id As top_doc_id,"
    " reg.doc_type As adj_number";

}  // namespace

ado::RecordsetPtr BlankQueries::GetBlanksByPeriod(double aAccStreamID, double,
                                                  double aTimePeriodID) {
  return Guard(QV_HERE, [&] { return GetBlanksByPeriodEx(aAccStreamID, aTimePeriodID, false); });
}

ado::RecordsetPtr BlankQueries::GetBlanksByPeriodEx(double aAccStreamID, double aTimePeriodID,
                                                    bool aWithProfiles) {
  return Guard(QV_HERE,
               [&] { return GetBlanksByPeriod3(aAccStreamID, aTimePeriodID, aWithProfiles, ""); });
}

ado::RecordsetPtr BlankQueries::GetBlanksByPeriod3(double aAccStreamID, double aTimePeriodID,
                                                   bool aWithProfiles,
                                                   const std::string& aFolderIDs) {
  return Guard(QV_HERE, [&] {
    const Owner o = OwnerOf(aAccStreamID);
    const auto profiles = ProfileList(*this, aAccStreamID, aTimePeriodID, aWithProfiles);
    return QvQuerySqlA(BlanksByPeriodSql(aAccStreamID, aTimePeriodID, o.category, o.streamType,
                                         o.branch, profiles, aFolderIDs));
  });
}

ado::RecordsetPtr BlankQueries::GetProfileDocTypes(double aAccStreamID, double aTimePeriodID) {
  return Guard(QV_HERE, [&]() -> ado::RecordsetPtr {
    int32_t year = 0, month = 0, type = 0;
    // The period as a Long: 6 for a NaN, an infinity or beyond the range.
    const int32_t period = CLng(Variant(Number2DaoValue(aTimePeriodID)));
    if (!GetPeriodMonthAndType(period, year, month, type)) return nullptr;
    const std::string y = Number2DaoSql(year), m = Number2DaoSql(month);
    return QvQuerySqlA(
        "select Doc_Type_ID AS ID from "
        "( select ap.Profile_ID, iif (ap.Profile_ID < 100000000, up.PeriodType,"
        " dp.PeriodType) AS PeriodType, iif (ap.Profile_ID < 100000000, up.Doc_type_ID,"
        " dp.Doc_Type_ID) AS Doc_Type_ID "
        "from (AccStreamProfiles AS ap "
        "LEFT JOIN DictProfData AS dp ON dp.Profile_ID = ap.Profile_ID) "
        "LEFT JOIN UserProfData AS up ON up.Profile_ID = ap.Profile_ID "
        "where ap.AccStream_ID = " +
        Number2DaoSql(aAccStreamID) + " and ((ap.BegYear = 0) or (ap.BegYear < " + y +
        ") or ((ap.BegYear = " + y + ") and (ap.BegMonth <= " + m +
        "))) and ((ap.EndYear = 0) or (ap.EndYear > " + y + ") or ((ap.EndYear = " + y +
        ") and (ap.EndMonth >= " + m + "))) ) where PeriodType = " + Number2DaoSql(type) + " ");
  });
}

ado::RecordsetPtr BlankQueries::GetDocFoldersByPeriod(double aAccStreamID, double aTimePeriodID,
                                                      bool aWithProfiles) {
  return Guard(QV_HERE, [&] {
    const Owner o = OwnerOf(aAccStreamID);
    const auto profiles = ProfileList(*this, aAccStreamID, aTimePeriodID, aWithProfiles);
    std::string sql =
        "select distinct * "
        "from (select te.FolderID As FolderID, tf.Name As FolderName "
        "from ((( doc_templates As te "
        "LEFT JOIN doc_templates_folders AS tf ON te.FolderID = tf.ID) "
        "INNER JOIN doc_type_class AS ty ON te.doc_type_id=ty.doc_type_id) "
        "INNER JOIN template_dates AS td ON te.template_id=td.template_id) "
        "INNER JOIN time_by_month AS tm ON td.time_id=tm.time_id "
        "Where " +
        Available(aTimePeriodID, o.category, o.streamType, o.branch) + " and te.FolderID <> 0 ";
    if (profiles) sql += " and ty.doc_type_id in (" + *profiles + ") ";
    sql +=
        " "
        "Union All select dt.FolderID AS FolderID, df.Name AS FolderName "
        "From (Doc_Registry AS dd "
        "LEFT JOIN doc_templates AS dt ON dt.Template_ID = dd.Template_ID) "
        "LEFT JOIN doc_templates_folders AS df ON df.ID = dt.FolderID "
        "Where dd.taxpayer_id=" +
        Number2DaoSql(aAccStreamID) + " and dd.time_id=" + Number2DaoSql(aTimePeriodID) + " )";
    return QvQuerySqlA(sql);
  });
}

ado::RecordsetPtr BlankQueries::GetConsBlanksByPeriod(double aConsStreamID, int32_t aTPCategory,
                                                      double aTimePeriodID) {
  return Guard(QV_HERE, [&] {
    const int32_t category = aTPCategory < 0 ? GetConsStreamLPCategory(aConsStreamID) : aTPCategory;
    std::string sql =
        "select te.template_id AS template_id, (select top 1 reg0.ID "
        "from ConsDocs AS reg0 Where reg0.ConsStream_ID=" +
        Number2DaoSql(aConsStreamID) + " and reg0.time_id=" + Number2DaoSql(aTimePeriodID) +
        " and reg0.template_id in " + SameDocTypeOfColumn() + ") As DocumentID " + kAvailableJoins +
        "Where tm.time_id=" + Number2DaoSql(aTimePeriodID) +
        " and not IsNull (td.date_to_registry) and te.enable=1 and ";
    if (category != 0)
      sql +=
          "te.template_id in (select tc.template_id "
          "from TemplateByTPCategory AS tc Where tc.TPCategory_ID = " +
          Number2DaoSql(category) + " and tc.AccStreamType = 1 ) and ";
    return QvQuerySqlA(sql + "te.Payments_List in (0, 2) Order By ty.list_order, te.template_id; ");
  });
}

bool BlankQueries::IsPeriodContainsBlanks(double aAccStreamID, double, double aTimePeriodID) {
  return Guard(QV_HERE, [&] {
    if (QvQueryExistence("select top 1 Document_ID from doc_registry where Taxpayer_ID = " +
                         Number2DaoSql(aAccStreamID) +
                         " and Time_ID = " + Number2DaoSql(aTimePeriodID)))
      return true;
    const Owner o = OwnerOf(aAccStreamID);
    return QvQueryExistence(
        "select top 1 td.template_id from ( (select template_id "
        "from template_dates where time_id=" +
        Number2DaoSql(aTimePeriodID) +
        " and not IsNull (date_to_registry)) AS td "
        "INNER JOIN doc_templates As te ON td.template_id=te.template_id) "
        "INNER JOIN TemplateByTPCategory AS tc ON te.template_id=tc.template_id "
        "Where tc.TPCategory_ID = " +
        Number2DaoSql(o.category) + " and tc.AccStreamType = " + Number2DaoSql(o.streamType) +
        " and " + AllowedFor(o.branch) + " and te.enable=1 and te.Payments_List in (0, 2) ");
  });
}

bool BlankQueries::IsPeriodContainsComplexDocuments(double aAccStreamID, double aTimePeriodID) {
  return Guard(QV_HERE, [&] {
    return QvQueryExistence(
        "select top 1 r.document_id from doc_registry as r where r.Taxpayer_ID = " +
        Number2DaoSql(aAccStreamID) + " and r.Time_ID = " + Number2DaoSql(aTimePeriodID) +
        " and r.EditorType in (4, 5) ");
  });
}

bool BlankQueries::IsPeriodContainsConsBlanks(double aConsStreamID, int32_t aTPCategory,
                                              double aTimePeriodID) {
  return Guard(QV_HERE, [&] {
    const int32_t category = aTPCategory < 0 ? GetConsStreamLPCategory(aConsStreamID) : aTPCategory;
    return QvQueryExistence(
        "select top 1 te.template_id from (( doc_templates As te "
        "INNER JOIN template_dates AS td ON te.template_id=td.template_id) "
        "INNER JOIN time_by_month AS tm ON td.time_id=tm.time_id) "
        "INNER JOIN TemplateByTPCategory AS tc ON te.template_id=tc.template_id "
        "Where tm.time_id=" +
        Number2DaoSql(aTimePeriodID) +
        " and not IsNull (td.date_to_registry) and te.enable=1 and " +
        (category != 0 ? "tc.TPCategory_ID = " + Number2DaoSql(category) + " and "
                       : std::string()) +
        "tc.AccStreamType = 1 and te.Payments_List in (0, 2) ");
  });
}

ado::RecordsetPtr BlankQueries::GetDocsAndArchivesByTemplate(double aAccStreamID,
                                                             double aTemplateID,
                                                             double aTimePeriodID) {
  return Guard(QV_HERE, [&] {
    return QvQuerySqlA(
        std::string(kDocColumns) +
        " from doc_registry AS reg Where reg.taxpayer_id=" + Number2DaoSql(aAccStreamID) +
        " and reg.time_id=" + Number2DaoSql(aTimePeriodID) + " and reg.template_id in " +
        SameDocTypeOf(aTemplateID) + "order by reg.instance_number, reg.doc_type desc; ");
  });
}

ado::RecordsetPtr BlankQueries::GetDocsAndArchivesByTemplateClass(double aAccStreamID,
                                                                  double aTemplateClassID,
                                                                  double aTimePeriodID) {
  return Guard(QV_HERE, [&] {
    return QvQuerySqlA(
        "select reg.document_id As Document_id "
        "from doc_registry AS reg "
        "INNER JOIN doc_templates AS t ON reg.template_id = t.template_id "
        "Where reg.taxpayer_id=" +
        Number2DaoSql(aAccStreamID) + " and reg.time_id=" + Number2DaoSql(aTimePeriodID) +
        " and t.doc_type_id=" + Number2DaoSql(aTemplateClassID) +
        " order by reg.instance_number, reg.doc_type desc; ");
  });
}

ado::RecordsetPtr BlankQueries::GetDocumentsWithBadVisibility(
    double aAccStreamID, double aTimePeriodID, const std::string& aVisibleDocsIDList) {
  return Guard(QV_HERE, [&] {
    return GetDocumentsWithBadVisibility2(aAccStreamID, aTimePeriodID, "", aVisibleDocsIDList);
  });
}

ado::RecordsetPtr BlankQueries::GetDocumentsWithBadVisibility2(
    double aAccStreamID, double aTimePeriodID, const std::string& aFolderIDs,
    const std::string& aVisibleDocsIDList) {
  return Guard(QV_HERE, [&] {
    std::string sql = std::string(kDocColumns) +
                      ", reg.template_id As template_id from doc_registry AS reg "
                      "left join doc_templates AS t ON t.template_id = reg.template_id "
                      "Where reg.taxpayer_id=" +
                      Number2DaoSql(aAccStreamID) +
                      " and reg.time_id=" + Number2DaoSql(aTimePeriodID) + " ";
    if (!aVisibleDocsIDList.empty())
      sql += "and reg.document_id not in (" +
             IdList2DaoSql(aVisibleDocsIDList, "the list of visible documents", ",") + ") ";
    if (!aFolderIDs.empty()) sql += " and t.FolderID in (" + FolderList(aFolderIDs) + ") ";
    return QvQuerySqlA(sql + "order by reg.instance_number, reg.doc_type desc; ");
  });
}

ado::RecordsetPtr BlankQueries::GetDocsByTemplateAndInstance(double aAccStreamID,
                                                             double aTemplateID,
                                                             double aTimePeriodID,
                                                             int32_t aInstanceNumber,
                                                             bool aAscending) {
  return Guard(QV_HERE, [&] {
    return QvQuerySqlA(
        "select reg.document_id As Document_id, reg.bottom_next_id As bottom_next_id,"
        " reg.top_doc_id As top_doc_id, reg.doc_type As adj_number "
        "from doc_registry AS reg Where reg.taxpayer_id=" +
        Number2DaoSql(aAccStreamID) + " and reg.time_id=" + Number2DaoSql(aTimePeriodID) +
        " and reg.template_id in " + SameDocTypeOf(aTemplateID) +
        "and reg.instance_number = " + Number2DaoSql(aInstanceNumber) + " order by reg.doc_type " +
        (aAscending ? "asc" : "desc") + " ");
  });
}

CollectionPtr BlankQueries::GetDocsAndArchivesByPeriod(double aAccStreamID, double aTimePeriodID,
                                                       const std::string&, int32_t) {
  return Guard(QV_HERE, [&] { return DocumentsByPeriod(aAccStreamID, aTimePeriodID, ""); });
}

CollectionPtr BlankQueries::GetDocsAndArchivesByPeriod2(double aAccStreamID, double aTimePeriodID,
                                                        const std::string& aFolderIDs,
                                                        const std::string&, int32_t) {
  return Guard(QV_HERE, [&] { return DocumentsByPeriod(aAccStreamID, aTimePeriodID, aFolderIDs); });
}

double BlankQueries::GetActualAdjustmentByTemplateAndInstance(double aAccStreamID,
                                                              double aTemplateID,
                                                              double aTimePeriodID,
                                                              int32_t aInstanceNumber) {
  return Guard(QV_HERE, [&] {
    const Variant id = QvQueryFirstValueSafe(
        "select reg.document_id As Document_id from doc_registry AS reg Where reg.taxpayer_id=" +
            Number2DaoSql(aAccStreamID) + " and reg.time_id=" + Number2DaoSql(aTimePeriodID) +
            " and reg.template_id in " + SameDocTypeOf(aTemplateID) + "and reg.instance_number = " +
            Number2DaoSql(aInstanceNumber) + " and reg.top_doc_id = 0 order by reg.doc_type desc ",
        Variant(0.0));
    return id.IsNull() ? 0.0 : CDbl(id);
  });
}

ado::RecordsetPtr BlankQueries::GetBranchesBlanksForGroup4(
    double aMainOrgPersonID, double aMainTemplateID, double aTimePeriodID, int32_t aAccStreamType,
    const std::string& aSortMode, int32_t aSortDirection) {
  return Guard(QV_HERE, [&] {
    IntAddBlanksContext context;
    return context.FillForGroup(aMainOrgPersonID, aMainTemplateID, aTimePeriodID, aAccStreamType,
                                aSortMode, aSortDirection, true);
  });
}

ado::RecordsetPtr BlankQueries::GetBranchBlanksForGroup(double aBranchAccStreamID,
                                                        double aMainTemplateID,
                                                        double aTimePeriodID) {
  return Guard(QV_HERE, [&] {
    IntAddBlanksContext context;
    return context.FillForBranch(aBranchAccStreamID, aMainTemplateID, aTimePeriodID, true);
  });
}

}  // namespace qv::queries
