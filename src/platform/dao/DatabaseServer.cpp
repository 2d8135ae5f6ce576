// The server side of Database: a database on a server reached through the
// engine seam (jet::Engine). The file side (Database.cpp) keeps its
// Connection and pays one pointer test per statement for this.

#include "platform/dao/DatabaseServer.h"

#include <algorithm>
#include <string>

#include "platform/automation/VbaText.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/Database.h"
#include "platform/dao/RowsRecordset.h"
#include "platform/dao/ServerQuery.h"
#include "platform/dao/ServerTableRecordset.h"
#include "platform/jet/JetConnection.h"
#include "platform/jet/JetEngine.h"
#include "platform/jet/JetTableSql.h"
#include "platform/jet/PgConnection.h"
#include "platform/jet/sql/JetPostgres.h"

namespace qv::dao {

void RaiseNotOnServer(std::string_view operation) {
  throw Error(daoerr::kNotSupported,
              std::string(operation) + " is not available on a server database yet.",
              std::string(kSourceDatabase));
}

bool HasServerRowKey(Database& db, const std::string& table) {
  try {
    db.ServerEngine().Translate("SELECT [" + std::string(jet::sql::kServerRowKey) + "] FROM [" +
                                table + "]");
    return true;
  } catch (const Error& e) {
    // An unknown name is a parameter, and a select with one fails so.
    if (e.Number() == jet::jeterr::kTooFewParameters) return false;
    throw;
  }
}

namespace {

// A name the caller checked with jet::ddl::CheckName, in brackets.
std::string Bracketed(std::string_view name) {
  return "[" + std::string(name) + "]";
}

std::string IndexColumns(const jet::IndexSpec& index) {
  std::string out = " (";
  for (size_t i = 0; i < index.fields.size(); ++i)
    out += (i ? ", " : "") + Bracketed(index.fields[i].name) +
           (index.fields[i].descending ? " DESC" : "");
  return out + ")";
}

}  // namespace

std::string CreateIndexJetSql(std::string_view table, const jet::IndexSpec& index) {
  jet::ddl::CheckName(table);
  jet::ddl::CheckName(index.name);
  if (index.fields.empty()) ThrowDao(jet::jeterr::kNoFieldDefined, kSourceDatabase);
  for (const jet::IndexField& f : index.fields) jet::ddl::CheckName(f.name);
  return std::string(index.unique && !index.primary ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") +
         Bracketed(index.name) + " ON " + Bracketed(table) + IndexColumns(index) +
         (index.primary ? " WITH PRIMARY" : "");
}

std::string DropIndexJetSql(std::string_view table, std::string_view index) {
  jet::ddl::CheckName(table);
  jet::ddl::CheckName(index);
  return "DROP INDEX " + Bracketed(index) + " ON " + Bracketed(table);
}

std::shared_ptr<Database> Database::OpenServer(const std::string& location,
                                               const DatabaseOptions& options, bool create,
                                               std::weak_ptr<Workspace> workspace,
                                               std::string_view source) {
  jet::EngineOptions o;
  o.readOnly = options.readOnly;
  o.create = create;
  o.exclusive = options.exclusive;
  o.busyTimeoutMs = options.lockTimeoutMs;
  std::shared_ptr<jet::Engine> engine;
  try {
    engine = jet::OpenEngine(location, o);
  } catch (const Error& e) {
    // Kept out by another session's open lock, as a file in use is.
    if (e.Number() == jet::jeterr::kLocked)
      ThrowDao(daoerr::kFileInUse, source, {jet::ShownLocation(location)});
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

jet::Engine& Database::Engine() const {
  if (engine_) return *engine_;
  if (!conn_) ThrowDao(daoerr::kObjectInvalid, kSourceDatabase);
  if (!fileEngine_) fileEngine_ = jet::FileEngine(conn_);
  return *fileEngine_;
}

jet::Engine& Database::ServerEngine() const {
  if (!engine_) {
    if (conn_) ThrowDao(daoerr::kNotSupported, kSourceDatabase);
    ThrowDao(daoerr::kObjectInvalid, kSourceDatabase);
  }
  return *engine_;
}

std::shared_ptr<jet::EngineStatement> Database::KeptServerStatement(std::string_view jetSql) {
  jet::Engine& engine = ServerEngine();
  const uint64_t generation = engine.SchemaGeneration();
  auto it = std::find_if(kept_.begin(), kept_.end(),
                         [&](const KeptStatement& k) { return k.address == jetSql.data(); });
  if (it == kept_.end()) {
    // Texts of shapes made and let go: past a few, they all go (a caller
    // holding one keeps it).
    if (kept_.size() >= kMaxKeptStatements) kept_.clear();
    it = kept_.insert(kept_.end(), {jetSql.data(), std::string(jetSql), generation, nullptr});
  } else if (it->statement && it->schemaGeneration == generation && it->text == jetSql) {
    return it->statement;
  }
  // Emptied first: a failure leaves no statement of another text or schema.
  it->statement.reset();
  it->text = jetSql;
  it->statement = engine.Prepare(jetSql);
  it->schemaGeneration = generation;
  return it->statement;
}

uint64_t Database::ConnectionSerial() const {
  return engine_ ? engine_->Serial() : Connection().Serial();
}

uint64_t Database::DataGeneration(const jet::CommitsWatch&) {
  return engine_ ? engine_->DataGeneration() : Connection().DataGeneration();
}

std::vector<std::string> Database::TableNames() {
  if (engine_) return engine_->TableNames();
  return Connection().Schema().TableNames();
}

std::shared_ptr<const jet::TableSpec> Database::FindTableSpec(std::string_view table) {
  if (engine_) return engine_->FindTable(table);
  return Connection().Schema().FindTable(table);
}

namespace {

jet::PgConnection& PgOf(jet::Engine& engine, std::string_view operation) {
  auto* pg = dynamic_cast<jet::PgConnection*>(&engine);
  if (!pg) RaiseNotOnServer(operation);
  return *pg;
}

}  // namespace

int32_t Database::ServerSchemaVersion() {
  return PgOf(ServerEngine(), "Database.SchemaVersion").SchemaVersion();
}

void Database::SetServerSchemaVersion(int32_t version) {
  PgOf(ServerEngine(), "Database.SetSchemaVersion").SetSchemaVersion(version);
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

bool NamesServerTable(Database& db, std::string_view text) {
  const std::string_view name = Unbracketed(text);
  return !jet::ddl::IsStatement(text) || (jet::ddl::IsValidName(name) && db.FindTableSpec(name));
}

std::optional<std::vector<Variant>> SeekServerRow(Database& db, std::string_view table,
                                                  std::string_view index, double key,
                                                  const TableRecordset::FieldList& fields) {
  std::shared_ptr<const jet::TableSpec> spec = db.ServerEngine().FindTable(table);
  if (!spec) ThrowDao(daoerr::kNoInputTable, kSourceDatabase, {table});
  return ServerTableRecordset::PointRead(db, spec, index, key, fields);
}

std::unique_ptr<jet::EngineStatement> PrepareServerQuery(Database& db, const std::string& source) {
  jet::Engine& engine = db.ServerEngine();
  const std::string_view text = TrimWhitespace(source);
  if (NamesServerTable(db, text)) return nullptr;
  std::unique_ptr<jet::EngineStatement> st = engine.Prepare(text);
  if (st->Kind() != jet::StatementKind::kSelect)
    ThrowDao(daoerr::kInvalidOperation, kSourceDatabase);
  return st;
}

}  // namespace qv::dao
