#include "queries/BlankSql.h"

#include <algorithm>

#include "core/mQvDaoDataBase.h"

namespace qv::queries::blanksql {
using mQvDaoDataBase::Number2DaoSql;

namespace {
std::string Same(const std::string& templateText) {
  return "(select t2.template_id From doc_templates As t1 "
         "INNER JOIN doc_templates AS t2 ON t1.doc_type_id=t2.doc_type_id "
         "Where t1.template_id = " +
         templateText + " ) ";
}
}  // namespace

std::string AllowedFor(bool aBranch) {
  return aBranch ? "tc.AllowedForBranch = 1 " : "tc.AllowedForMainOrg = 1 ";
}

std::string Available(double aTimePeriodID, int32_t aCategory, int32_t aStreamType, bool aBranch) {
  return "tm.time_id=" + Number2DaoSql(aTimePeriodID) +
         " and not IsNull (td.date_to_registry) and te.enable=1 "
         "and te.template_id in (select tc.template_id "
         "from TemplateByTPCategory AS tc Where tc.TPCategory_ID = " +
         Number2DaoSql(aCategory) + " and tc.AccStreamType = " + Number2DaoSql(aStreamType) +
         " and " + AllowedFor(aBranch) + ") and te.Payments_List in (0, 2) ";
}

std::string SameDocTypeOf(double aTemplateID) {
  return Same(Number2DaoSql(aTemplateID));
}

std::string SameDocTypeOfColumn() {
  return Same("te.template_id");
}

std::string BlanksByPeriodSql(double aAccStreamID, double aTimePeriodID, int32_t aCategory,
                              int32_t aStreamType, bool aBranch,
                              const std::optional<std::string>& aProfiles,
                              const std::string& aFolderIDs) {
  std::string sql =
      "select te.template_id AS template_id, ty.instance_permission AS instance_permission,"
      " te.no_utoch as no_utoch, te.Creatable as Creatable, te.FolderID as FolderID,"
      " (select count (*) "
      "from doc_registry AS reg0 Where reg0.taxpayer_id=" +
      Number2DaoSql(aAccStreamID) + " and reg0.time_id=" + Number2DaoSql(aTimePeriodID) +
      " and reg0.template_id in " + SameDocTypeOfColumn() + ") As DocsCount, ";
  sql += aProfiles ? "Iif (ty.doc_type_id in (" + *aProfiles + "), 1, 0) AS Prof " : "1 AS Prof ";
  sql += kAvailableJoins + "Where " + Available(aTimePeriodID, aCategory, aStreamType, aBranch);
  if (!aFolderIDs.empty()) sql += " and te.FolderID in (" + FolderList(aFolderIDs) + ") ";
  return sql + "Order By ty.list_order, te.template_id; ";
}

std::string FolderList(const std::string& aFolderIDs) {
  return mQvDaoDataBase::IdList2DaoSql(aFolderIDs, "the folder list");
}

}  // namespace qv::queries::blanksql
