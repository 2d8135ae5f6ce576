#include "platform/dao/QueryDef.h"

#include "platform/dao/DaoError.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"

namespace qv::dao {

QV_DEFINE_CLASS(QueryDef, "DAO.QueryDef", QV_CREATABLE(QueryDef),
                qv::Property("Name", &QueryDef::Name, &QueryDef::SetName),
                qv::Property("SQL", &QueryDef::Sql, &QueryDef::SetSql),
                Method("Execute(Options)", &QueryDef::Execute, {Variant()}),
                Method("OpenRecordset(type, options)", &QueryDef::OpenRecordset,
                       {Variant(), Variant()}),
                Method("RecordsAffected", &QueryDef::RecordsAffected),
                Method("Close", &QueryDef::Close))

[[maybe_unused]] static const bool kQueryDef36 =
    (ProgIdRegistry::Register("DAO.QueryDef.36", &QueryDef::StaticClass), true);

std::shared_ptr<Database> QueryDef::LiveDatabase() const {
  auto db = db_.lock();
  if (!db || !db->IsOpen()) ThrowDao(daoerr::kObjectInvalid, kSourceQueryDef);
  return db;
}

void QueryDef::Execute(const Variant&) {
  recordsAffected_ = static_cast<int32_t>(LiveDatabase()->ExecuteSql(sql_));
}

std::shared_ptr<Recordset> QueryDef::OpenRecordset(const Variant& type, const Variant& options) {
  return LiveDatabase()->OpenRecordset(sql_, type, options, Variant());
}

}  // namespace qv::dao
