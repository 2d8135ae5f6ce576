#include "core/mQvDaoDataBase.h"
#include "platform/automation/VbaText.h"
#include "records/EntityMappers.h"
#include "records/MapperSession.h"
#include "records/miRecCollection.h"

namespace qv::records {
using namespace mQvDaoDataBase;

namespace {
CollectionPtr ProfilesOf(const std::string& sql) {
  auto rs = QvQuerySqlStatic(sql, MapperUserDatabase());
  return miRecCollection::GetRecCollection_QvStdProfile(*rs, "ID");
}
}  // namespace

CollectionPtr DBQProfiles::GetAllDictProfiles() {
  return Guard(QV_HERE, [&] { return ProfilesOf("select ID from DictProfiles"); });
}

CollectionPtr DBQProfiles::GetAllUserProfiles() {
  return Guard(QV_HERE, [&] { return ProfilesOf("select ID from UserProfiles"); });
}

ado::RecordsetPtr DBQProfiles::GetDocClassesForSelecting(const std::string& aExcludeIDs) {
  return Guard(QV_HERE, [&] {
    std::string sql =
        "select doc_type_id as ID, name_short as Name, Knd "
        "from doc_type_class "
        "where ((instance_permission = 0) or IsNull (instance_permission)) ";
    if (!aExcludeIDs.empty())
      sql += " and doc_type_id not in (" + IdList2DaoSql(aExcludeIDs, "GetDocClassesForSelecting") +
             ") ";
    return QvQuerySqlA(sql + "order by name_short ");
  });
}

bool DBQProfiles::IsProfileInUsing(double aStdProfileID) {
  return Guard(QV_HERE, [&] {
    if (aStdProfileID == 0) return false;
    return CDbl(QvQueryValue("select count(*) from ( select top 1 ID "
                             "from AccStreamProfiles where Profile_ID = " +
                                 Number2DaoSql(aStdProfileID) + " ) ",
                             Variant(), MapperUserDatabase())) > 0;
  });
}

QV_DEFINE_CLASS(DBQProfiles, "Qv_DBProvider.DBQProfiles", QV_CREATABLE(DBQProfiles),
                Method("GetAllDictProfiles", &DBQProfiles::GetAllDictProfiles),
                Method("GetAllUserProfiles", &DBQProfiles::GetAllUserProfiles),
                Method("GetDocClassesForSelecting(aExcludeIDs)",
                       &DBQProfiles::GetDocClassesForSelecting),
                Method("IsProfileInUsing(aStdProfileID)", &DBQProfiles::IsProfileInUsing))

}  // namespace qv::records
