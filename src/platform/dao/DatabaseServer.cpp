// The server side of Database: a database on a server reached through the
// engine seam (jet::Engine). The file side (Database.cpp) keeps its
// Connection and pays one pointer test per statement for this.

#include "platform/dao/DatabaseServer.h"

#include <string>

#include "platform/dao/DaoError.h"
#include "platform/dao/Database.h"
#include "platform/dao/RowsRecordset.h"
#include "platform/dao/ServerTableRecordset.h"
#include "platform/jet/JetConnection.h"
#include "platform/jet/JetEngine.h"

namespace qv::dao {

void RaiseNotOnServer(std::string_view operation) {
  throw Error(daoerr::kNotSupported,
              std::string(operation) + " is not available on a server database yet.",
              std::string(kSourceDatabase));
}

std::shared_ptr<Database> Database::OpenServer(const std::string& location,
                                               const DatabaseOptions& options, bool create,
                                               std::weak_ptr<Workspace> workspace,
                                               std::string_view source) {
  // Several workstations share a server database by design: a lock that
  // keeps the others out has no server counterpart yet.
  if (options.exclusive) RaiseNotOnServer("An exclusive open");
  jet::EngineOptions o;
  o.readOnly = options.readOnly;
  o.create = create;
  o.busyTimeoutMs = options.lockTimeoutMs;
  std::shared_ptr<jet::Engine> engine;
  try {
    engine = jet::OpenEngine(location, o);
  } catch (const Error& e) {
    throw Error(e.Number(), e.Description(), std::string(source));
  }
  return std::make_shared<Database>(Private{}, std::move(engine), options, std::move(workspace));
}

Database::Database(Private, std::shared_ptr<jet::Engine> engine, const DatabaseOptions& options,
                   std::weak_ptr<Workspace> workspace)
    : name_(engine->Location()),
      options_(options),
      engine_(std::move(engine)),
      workspace_(std::move(workspace)) {}

jet::Engine& Database::ServerEngine() const {
  if (!engine_) {
    if (conn_) ThrowDao(daoerr::kNotSupported, kSourceDatabase);
    ThrowDao(daoerr::kObjectInvalid, kSourceDatabase);
  }
  return *engine_;
}

std::vector<std::string> Database::TableNames() {
  if (engine_) return engine_->TableNames();
  return Connection().Schema().TableNames();
}

std::shared_ptr<const jet::TableSpec> Database::FindTableSpec(std::string_view table) {
  if (engine_) return engine_->FindTable(table);
  return Connection().Schema().FindTable(table);
}

int64_t Database::ServerExecute(std::string_view sql) {
  std::unique_ptr<jet::EngineStatement> st = ServerEngine().Prepare(sql);
  if (st->Kind() == jet::StatementKind::kSelect)
    ThrowDao(daoerr::kCannotExecuteSelect, kSourceDatabase);
  const int64_t rows = st->Run();
  recordsAffected_ = static_cast<int32_t>(rows);
  return rows;
}

std::shared_ptr<Recordset> Database::ServerOpenTable(std::string_view table, int32_t type,
                                                     int32_t options) {
  std::shared_ptr<const jet::TableSpec> spec = ServerEngine().FindTable(table);
  if (!spec) ThrowDao(daoerr::kNoInputTable, kSourceDatabase, {table});
  auto self = std::static_pointer_cast<Database>(shared_from_this());
  const bool updatable = !options_.readOnly && (options & dbReadOnly) == 0;
  std::shared_ptr<Recordset> rs;
  switch (type) {
    case dbOpenTable:
    case dbOpenDynaset:
      rs = ServerTableRecordset::Open(self, spec, type, updatable);
      break;
    case dbOpenSnapshot:
    case dbOpenForwardOnly:
      rs = RowsRecordset::OfServerTable(self, *spec, type);
      break;
    default:
      ThrowDao(daoerr::kInvalidArgument, kSourceDatabase);
  }
  Track(rs);
  return rs;
}

std::shared_ptr<Recordset> Database::ServerOpenStatement(std::string_view sql, int32_t type) {
  std::unique_ptr<jet::EngineStatement> st = ServerEngine().Prepare(sql);
  if (st->Kind() != jet::StatementKind::kSelect)
    ThrowDao(daoerr::kInvalidOperation, kSourceDatabase);
  auto self = std::static_pointer_cast<Database>(shared_from_this());
  auto rs = RowsRecordset::OfServerStatement(self, sql, type, std::move(st));
  Track(rs);
  return rs;
}

}  // namespace qv::dao
