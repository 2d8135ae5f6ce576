#include "queries/DBQAccStream.h"

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "queries/mCommonLookups.h"
#include "queries/mQueryLists.h"
#include "queries/mSortDirection.h"

namespace qv::queries {
using namespace mQvDaoDataBase;

QV_DEFINE_CLASS(DBQAccStream, "Qv_DBProvider.DBQAccStream", QV_CREATABLE(DBQAccStream),
                Method("GetAccStreamsByPerson", &DBQAccStream::GetAccStreamsByPerson))

namespace {

// The orders of the plain stream lists (no table alias).
std::string PlainOrder(const std::string& aSortMode) {
  if (aSortMode == "name") return " order by DisplayName {dir}, Kpp {dir}";
  if (aSortMode == "kpp") return " order by Kpp {dir}";
  if (aSortMode == "imns") return " order by TaxOfficeID {dir}, Kpp {dir}";
  return {};
}

}  // namespace

CollectionPtr DBQAccStream::GetAccStreamsByPerson(double aPersonID, const std::string& aSortMode,
                                                  int32_t aSortDirection) {
  return Guard(QV_HERE, [&] {
    return AccStreamsOf(ApplySortDirection(
        "SELECT ID FROM AccStream Where PersonID = " + SqlNum(aPersonID) + PlainOrder(aSortMode),
        aSortDirection));
  });
}

}  // namespace qv::queries
