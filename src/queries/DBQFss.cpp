#include "queries/DBQFss.h"

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"

namespace qv::queries {
using namespace mQvDaoDataBase;

QV_DEFINE_CLASS(DBQFss, "Qv_DBProvider.DBQFss", QV_CREATABLE(DBQFss),
                Method("GetDocsNeedToBeCheckedAtServer(aParams)",
                       &DBQFss::GetDocsNeedToBeCheckedAtServer))

ado::RecordsetPtr DBQFss::GetDocsNeedToBeCheckedAtServer(Variant& /*aParams*/) {
  return Guard(QV_HERE, [&] {
    return QvQuerySqlA(
        "select r.Document_ID AS ID "
        "FROM doc_registry AS r "
        "INNER JOIN FssDocCircles AS f ON r.FssDocCircleID = f.ID "
        "where r.FssDocCircleID <> 0 AND f.Status in (20 , 40) "
        "Order by r.Document_ID ");
  });
}

}  // namespace qv::queries
