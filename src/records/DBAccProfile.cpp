#include "core/mQvDaoDataBase.h"
#include "records/EntityMappers.h"
#include "records/MapperSession.h"

namespace qv::records {
namespace {
using namespace col;

// Profile_ID names a profile, or another assignment of which this one is a
// part (deleting that one deletes this one).
constexpr ColumnDef kAccProfileColumns[] = {Num("AccStream_ID"), Ref("Profile_ID"),
                                            Long("BegYear"),     Long("BegMonth"),
                                            Long("EndYear"),     Long("EndMonth")};
constexpr ColumnMap kAccProfileMap{"AccStreamProfiles", kAccProfileColumns};

void DeleteParts(dao::Database& db, QvRecord& rec) {
  mQvDaoDataBase::QvExecuteSql(
      "delete from AccStreamProfiles where Profile_ID = " + mQvDaoDataBase::Number2DaoSql(rec.Id()),
      SharedDatabase(db));
}
}  // namespace

const MapperDef& DBAccProfile::Def() {
  static const MapperDef def{
      "Qv_Records.QvAccProfile", kAccProfileMap, true, {.beforeDelete = &DeleteParts}};
  return def;
}

QV_DEFINE_CLASS(DBAccProfile, "Qv_DBProvider.DBAccProfile", QV_CREATABLE(DBAccProfile),
                QV_MAPPER_MEMBERS(DBAccProfile))

}  // namespace qv::records
