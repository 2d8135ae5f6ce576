#include "queries/DBQSolver.h"

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "queries/mQueryLists.h"

namespace qv::queries {
using namespace mQvDaoDataBase;

QV_DEFINE_CLASS(DBQSolver, "Qv_DBProvider.DBQSolver", QV_CREATABLE(DBQSolver),
                Method("GetDocCountInPeriod(aAccStreamID, aTimePeriodID, aExcludeTemplTypes)",
                       &DBQSolver::GetDocCountInPeriod),
                Method("GetTaxmonDocCountInPeriod(aAccStreamID, aTimePeriodID, aExcludeTemplTypes)",
                       &DBQSolver::GetTaxmonDocCountInPeriod))

namespace {

std::string StreamAndPeriod(double aAccStreamID, int32_t aTimePeriodID) {
  return "where d.Taxpayer_ID = " + Number2DaoSql(aAccStreamID) +
         " and d.Time_ID = " + Number2DaoSql(aTimePeriodID);
}

std::string Exclusion(const std::string& aExcludeTemplTypes) {
  if (aExcludeTemplTypes.empty()) return {};
  return " and t.doc_type_id not in (" + IdList2DaoSql(aExcludeTemplTypes, "aExcludeTemplTypes") +
         ") ";
}

}  // namespace

int32_t DBQSolver::GetDocCountInPeriod(double aAccStreamID, int32_t aTimePeriodID,
                                       const std::string& aExcludeTemplTypes) {
  return Guard(QV_HERE, [&] {
    return CLng(QvQueryValue(
        "select count(*) AS a From Doc_Registry AS d "
        "left join doc_templates AS t ON t.template_id = d.template_id " +
        StreamAndPeriod(aAccStreamID, aTimePeriodID) +
        " and d.Top_Doc_ID = 0 and t.FolderID not in (3, 4) " + Exclusion(aExcludeTemplTypes)));
  });
}

int32_t DBQSolver::GetTaxmonDocCountInPeriod(double aAccStreamID, int32_t aTimePeriodID,
                                             const std::string& aExcludeTemplTypes) {
  return Guard(QV_HERE, [&] {
    return CLng(
        QvQueryValue("select count(*) AS aaa from ( select distinct t.Doc_Type_ID "
                     "from doc_registry as d "
                     "left join doc_templates as t ON t.template_id = d.template_id " +
                     StreamAndPeriod(aAccStreamID, aTimePeriodID) + " and t.FolderID = 3 " +
                     Exclusion(aExcludeTemplTypes) + ") "));
  });
}

}  // namespace qv::queries
