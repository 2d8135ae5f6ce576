#include "platform/dao/Database.h"

#include <array>
#include <iterator>

#include "platform/automation/VbaText.h"
#include "platform/dao/DaoCollections.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/DatabaseServer.h"
#include "platform/dao/Property.h"
#include "platform/dao/QueryDef.h"
#include "platform/dao/RowsRecordset.h"
#include "platform/dao/TableDef.h"
#include "platform/dao/TableDefs.h"
#include "platform/dao/TableRecordset.h"
#include "platform/dao/Workspace.h"
#include "platform/jet/JetConnection.h"
#include "platform/jet/JetEngine.h"
#include "platform/jet/JetTableSql.h"

namespace qv::dao {

namespace {

bool IsLockError(int32_t number) {
  return number == daoerr::kLocked || number == daoerr::kLockedByUser;
}

// Raises `e` again as the object that opened the file reports it, a lock
// as 3045 naming the file.
[[noreturn]] void RaiseOpenError(const Error& e, const std::string& path, std::string_view source) {
  if (IsLockError(e.Number())) ThrowDao(daoerr::kFileInUse, source, {path});
  throw Error(e.Number(), e.Description(), std::string(source));
}

// The file's lock, held until the connection closes: exclusive for a
// writable file, shared (no writer) for a read-only one.
void TakeExclusiveLock(jet::Connection& conn, bool readOnly) {
  conn.ExecuteNative(readOnly
                         ? "PRAGMA locking_mode = EXCLUSIVE; SELECT count(*) FROM sqlite_master"
                         : "PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE; COMMIT");
}

// Whether a table of the connection has a name that starts like a statement
// (checked on its folded name, the form look-ups compare): only then can a
// statement's text name a table, so that most connections skip the look-up
// of every statement's text. The catalogue is refreshed first; the answer is
// kept per connection and schema generation, which moves with every change
// of the tables it has seen. REQUIRES: the catalogue refreshed by the caller.
bool SomeTableNameIsStatement(jet::Connection& conn) {
  struct Answer {
    uint64_t serial = 0;  // no connection has serial 0
    uint64_t generation = 0;
    bool statementLike = false;
  };
  thread_local std::array<Answer, 4> answers;
  thread_local size_t next = 0;
  const uint64_t serial = conn.Serial(), generation = conn.SchemaGeneration();
  for (const Answer& a : answers)
    if (a.serial == serial && a.generation == generation) return a.statementLike;
  Answer& a = answers[next++ % answers.size()];
  a = {serial, generation, false};
  for (const std::string& name : conn.Schema().TableNames())
    if (jet::ddl::IsStatement(FoldCase(name))) a.statementLike = true;
  return a.statementLike;
}

// Whether `text`, which starts like a statement (jet::ddl::IsStatement), is the name
// of a table of the connection. The kept answer first: the name's check
// reads the whole text, and is needed only when some table is so named.
bool StatementNamesTable(jet::Connection& conn, std::string_view text) {
  conn.Schema().Refresh();
  return SomeTableNameIsStatement(conn) && jet::ddl::IsValidName(text) &&
         conn.Schema().FindTable(text);
}

}  // namespace

// A source without the brackets around a table's name.
std::string_view Unbracketed(std::string_view text) {
  if (text.size() >= 2 && text.front() == '[' && text.back() == ']')
    return text.substr(1, text.size() - 2);
  return text;
}

QV_DEFINE_CLASS(Database, "DAO.Database", nullptr, Method("Name", &Database::Name),
                Method("Connect", &Database::Connect), Method("Version", &Database::Version),
                Method("Updatable", &Database::Updatable),
                Method("Transactions", &Database::Transactions),
                Method("RecordsAffected", &Database::RecordsAffected),
                Method("Execute(sql, options)", &Database::Execute, {Variant()}),
                Method("OpenRecordset(Name, Type, Options, LockEdit)", &Database::OpenRecordset,
                       {Variant(), Variant(), Variant()}),
                CollectionMember("TableDefs", &Database::TableDefsCollection),
                Method("CreateTableDef(name)", &Database::CreateTableDef, {Variant()}),
                Method("CreateQueryDef(name, sql)", &Database::CreateQueryDef,
                       {Variant(), Variant()}),
                CollectionMember("Properties", &Database::PropertiesCollection),
                Method("Close", &Database::Close))

std::shared_ptr<Database> Database::Open(const std::string& path, const DatabaseOptions& options,
                                         std::weak_ptr<Workspace> workspace,
                                         std::string_view source) {
  if (jet::IsServerLocation(path))
    return OpenServer(path, options, false, std::move(workspace), source);
  jet::OpenOptions o;
  o.readOnly = options.readOnly;
  o.busyTimeoutMs = options.lockTimeoutMs;
  std::shared_ptr<jet::Connection> conn;
  try {
    conn = jet::Connection::Open(path, o);
    if (options.exclusive) TakeExclusiveLock(*conn, options.readOnly);
  } catch (const Error& e) {
    RaiseOpenError(e, path, source);
  }
  return std::make_shared<Database>(Private{}, std::move(conn), options, std::move(workspace));
}

std::shared_ptr<Database> Database::Create(const std::string& path, std::string_view locale,
                                           const DatabaseOptions& options,
                                           std::weak_ptr<Workspace> workspace,
                                           std::string_view source) {
  if (jet::IsServerLocation(path)) {
    DatabaseOptions writable = options;
    writable.readOnly = false;
    return OpenServer(path, writable, true, std::move(workspace), source);
  }
  jet::OpenOptions o;
  o.busyTimeoutMs = options.lockTimeoutMs;
  std::shared_ptr<jet::Connection> conn;
  try {
    conn = jet::Connection::Create(path, locale.empty() ? jet::kLocaleGeneral : locale, o);
    if (options.exclusive) TakeExclusiveLock(*conn, false);
  } catch (const Error& e) {
    RaiseOpenError(e, path, source);
  }
  DatabaseOptions writable = options;
  writable.readOnly = false;
  return std::make_shared<Database>(Private{}, std::move(conn), writable, std::move(workspace));
}

Database::Database(Private, std::shared_ptr<jet::Connection> conn, const DatabaseOptions& options,
                   std::weak_ptr<Workspace> workspace)
    : name_(conn->Path()),
      options_(options),
      conn_(std::move(conn)),
      workspace_(std::move(workspace)) {}

Database::~Database() {
  CloseNoThrow();
}

jet::Connection& Database::Connection(std::string_view operation) const {
  if (!conn_) [[unlikely]] {
    if (engine_) RaiseNotOnServer(operation.empty() ? "Database.Connection" : operation);
    ThrowDao(daoerr::kObjectInvalid, kSourceDatabase);
  }
  return *conn_;
}

void Database::Track(const std::shared_ptr<Recordset>& rs) {
  if (recordsets_.size() >= 16 && recordsets_.size() == recordsets_.capacity())
    std::erase_if(recordsets_, [](const std::weak_ptr<Recordset>& w) { return w.expired(); });
  recordsets_.push_back(rs);
}

void Database::Execute(const std::string& sql, const Variant& options) {
  (void)options;  // dbFailOnError and the others: a statement is atomic anyway
  recordsAffected_ = static_cast<int32_t>(ExecuteSql(sql));
}

int64_t Database::ExecuteSql(std::string_view sql) {
  if (engine_) return ServerExecute(sql);
  jet::Statement st = Connection().Prepare(sql);
  if (st.Jet()->kind == jet::StatementKind::kSelect)
    ThrowDao(daoerr::kCannotExecuteSelect, kSourceDatabase);
  st.SetSource(kSourceDatabase);
  int64_t rows = st.Run();
  recordsAffected_ = static_cast<int32_t>(rows);
  return rows;
}

int32_t Database::SchemaVersion() {
  if (engine_) return ServerSchemaVersion();
  jet::Statement st = Connection("Database.SchemaVersion").PrepareNative("PRAGMA user_version");
  return st.Step() ? static_cast<int32_t>(st.Int64(0)) : 0;
}

void Database::SetSchemaVersion(int32_t version) {
  if (engine_) return SetServerSchemaVersion(version);
  Connection("Database.SetSchemaVersion")
      .ExecuteNative("PRAGMA user_version = " + std::to_string(version));
}

std::optional<std::string_view> Database::TableNameOf(std::string_view text) {
  std::string_view name = Unbracketed(text);
  // A text that starts like a statement is still a table's name when a table
  // of that name exists; only a valid name can be one, so most statements
  // (longer than a name, or with a period or a line break) skip the look-up.
  if (IsServer()) return NamesServerTable(*this, text) ? std::optional(name) : std::nullopt;
  if (jet::ddl::IsStatement(text) && !StatementNamesTable(Connection(), name)) return std::nullopt;
  return name;
}

std::shared_ptr<Recordset> Database::OpenRecordset(const std::string& source, const Variant& type,
                                                   const Variant& options, const Variant&) {
  std::string_view text = TrimWhitespace(source);
  int32_t t = CLngOr(type, -1);
  int32_t o = CLngOr(options, 0);
  if (auto table = TableNameOf(text)) return OpenTable(*table, t == -1 ? dbOpenTable : t, o);
  return OpenStatement(text, t == -1 ? dbOpenDynaset : t, o);
}

std::optional<jet::Statement> Database::PrepareQuery(const std::string& source) {
  // A server's select is the engine's statement (PrepareServerQuery).
  if (engine_) return std::nullopt;
  jet::Connection& conn = Connection("Database.PrepareQuery");
  std::string_view text = TrimWhitespace(source);
  if (!jet::ddl::IsStatement(text)) return std::nullopt;
  const std::string_view name = Unbracketed(text);
  // Only when some table's name starts like a statement can the text be a
  // table's name (the answer is kept per schema generation, asked after the
  // prepare, whose refresh of the catalogue it needs); only a valid name
  // can be one.
  auto mayNameTable = [&] { return SomeTableNameIsStatement(conn) && jet::ddl::IsValidName(name); };
  // A statement that is also a valid name is the table of that name when
  // one exists (TableNameOf). Asked after the statement's first step, the
  // catalogue checks its definitions inside the statement's read snapshot,
  // with no read transaction (and file locks) of its own, and sees the
  // state of the file the rows come from.
  // Every return gives `st` (reset when the text names a table), so that it
  // is made where the caller's result is.
  std::optional<jet::Statement> st;
  try {
    st.emplace(PrepareSelect(text));
    if (!mayNameTable()) return st;
    st->StepAhead();
  } catch (const Error& e) {
    if (!st) {
      conn.Schema().Refresh();  // a prepare that failed may not have
      if (!mayNameTable()) throw;
    }
    // A locked file would keep the look-up waiting as long, to fail alike.
    if (IsLockError(e.Number())) throw;
    if (StatementNamesTable(conn, name)) {
      st.reset();
      return st;
    }
    if (!st) throw;
    st->Reset();  // the caller's step fails as it would have
    return st;
  }
  if (StatementNamesTable(conn, name)) st.reset();
  return st;
}

jet::Statement Database::PrepareSelect(std::string_view sql) {
  jet::Statement st = Connection().Prepare(sql);
  if (st.Jet()->kind != jet::StatementKind::kSelect)
    ThrowDao(daoerr::kInvalidOperation, kSourceDatabase);
  return st;
}

std::shared_ptr<Recordset> Database::OpenTable(std::string_view table, int32_t type,
                                               int32_t options) {
  if (engine_) return ServerOpenTable(table, type, options);
  jet::Connection& conn = Connection();
  auto spec = conn.Schema().FindTable(table);
  if (!spec) ThrowDao(daoerr::kNoInputTable, kSourceDatabase, {table});
  auto self = std::static_pointer_cast<Database>(shared_from_this());
  bool updatable = !options_.readOnly && (options & dbReadOnly) == 0;
  std::shared_ptr<Recordset> rs;
  switch (type) {
    case dbOpenTable:
    case dbOpenDynaset:
      rs = TableRecordset::Open(self, spec, type, updatable);
      break;
    case dbOpenSnapshot:
    case dbOpenForwardOnly:
      rs = RowsRecordset::OfTable(self, *spec, type);
      break;
    default:
      ThrowDao(daoerr::kInvalidArgument, kSourceDatabase);
  }
  Track(rs);
  return rs;
}

std::shared_ptr<Recordset> Database::OpenStatement(std::string_view sql, int32_t type,
                                                   int32_t options) {
  (void)options;  // statements give read-only recordsets whatever the options
  if (!engine_) Connection();
  if (type != dbOpenDynaset && type != dbOpenSnapshot && type != dbOpenForwardOnly)
    ThrowDao(type == dbOpenTable ? daoerr::kInvalidOperation : daoerr::kInvalidArgument,
             kSourceDatabase);
  if (engine_) return ServerOpenStatement(sql, type);
  jet::Statement st = PrepareSelect(sql);
  auto self = std::static_pointer_cast<Database>(shared_from_this());
  auto rs = RowsRecordset::OfStatement(self, sql, type, std::move(st));
  Track(rs);
  return rs;
}

std::shared_ptr<TableDefs> Database::TableDefsCollection() {
  if (!IsOpen()) ThrowDao(daoerr::kObjectInvalid, kSourceDatabase);
  if (!tableDefs_)
    tableDefs_ =
        std::make_shared<TableDefs>(std::static_pointer_cast<Database>(shared_from_this()));
  return tableDefs_;
}

std::shared_ptr<TableDef> Database::CreateTableDef(const Variant& name) {
  if (!IsOpen()) ThrowDao(daoerr::kObjectInvalid, kSourceDatabase);
  return std::make_shared<TableDef>(name.IsEmpty() ? std::string() : CStr(name));
}

std::shared_ptr<QueryDef> Database::CreateQueryDef(const Variant& name, const Variant& sql) {
  if (!IsOpen()) ThrowDao(daoerr::kObjectInvalid, kSourceDatabase);
  auto q = std::make_shared<QueryDef>(name.IsEmpty() ? std::string() : CStr(name),
                                      sql.IsEmpty() ? std::string() : CStr(sql));
  q->Bind(std::static_pointer_cast<Database>(shared_from_this()));
  return q;
}

std::shared_ptr<Properties> Database::PropertiesCollection() {
  if (properties_) return properties_;
  properties_ = std::make_shared<Properties>();
  std::weak_ptr<Database> weak = std::static_pointer_cast<Database>(shared_from_this());
  auto self = [weak] {
    auto d = weak.lock();
    if (!d) ThrowDao(daoerr::kObjectInvalid, kSourceDatabase);
    return d;
  };
  using J = jet::JetType;
  auto add = [&](const char* name, J type, Property::Getter get) {
    properties_->Add(Property::BuiltIn(name, static_cast<int32_t>(type), std::move(get)));
  };
  add("Name", J::kText, [self] { return Variant(self()->Name()); });
  add("Connect", J::kText, [self] { return Variant(self()->Connect()); });
  add("Version", J::kText, [self] { return Variant(self()->Version()); });
  add("Updatable", J::kBoolean, [self] { return Variant(self()->Updatable()); });
  add("Transactions", J::kBoolean, [self] { return Variant(self()->Transactions()); });
  add("RecordsAffected", J::kLong, [self] { return Variant(self()->RecordsAffected()); });
  properties_->SetHooks(nullptr, [](const std::shared_ptr<Property>& p) {
    if (p->IsBuiltIn()) ThrowDao(daoerr::kBuiltInProperty, kSourceProperties);
  });
  return properties_;
}

void Database::BeginLevel(bool immediate, bool lockWithFirstStatement) {
  if (engine_)
    engine_->BeginTrans(immediate, lockWithFirstStatement ? jet::LockTaking::kWithFirstRequest
                                                          : jet::LockTaking::kAtBegin);
  else
    Connection().BeginTrans(immediate);
  const bool outermost = levels_.empty();
  levels_.emplace_back();
  levels_.back().writeLocked = immediate && outermost && !IsReadOnly();
}

void Database::CommitLevel(bool flush) {
  if (engine_) {
    engine_->CommitTrans();  // the server makes its commit durable itself
  } else {
    jet::Connection& conn = Connection();
    conn.CommitTrans();
    if (flush && conn.TransactionDepth() == 0) conn.SyncLog();
  }
  if (levels_.empty()) return;
  LevelSteps ended = std::move(levels_.back());
  levels_.pop_back();
  if (!levels_.empty()) {
    LevelSteps& around = levels_.back();
    std::move(ended.undo.begin(), ended.undo.end(), std::back_inserter(around.undo));
    std::move(ended.afterCommit.begin(), ended.afterCommit.end(),
              std::back_inserter(around.afterCommit));
    return;
  }
  for (auto& step : ended.afterCommit) {
    try {
      step();
    } catch (...) {
      // The rows are committed; what a step leaves behind stays.
    }
  }
}

void Database::SyncCommitted() {
  if (conn_ && conn_->TransactionDepth() == 0) conn_->SyncLog();
}

void Database::RollbackLevel() {
  // The level ends whether or not the engine's rollback succeeds (one that
  // fails goes with the connection): its undo steps run either way.
  struct Undo {
    Database* self;
    ~Undo() { self->UndoLevel(); }
  } undo{this};
  if (engine_)
    engine_->Rollback();
  else
    Connection().Rollback();
  RefreshRecordsets();
}

void Database::UndoLevel() noexcept {
  if (levels_.empty()) return;
  LevelSteps ended = std::move(levels_.back());
  levels_.pop_back();
  for (auto it = ended.undo.rbegin(); it != ended.undo.rend(); ++it) {
    try {
      (*it)();
    } catch (...) {
      // An undo step restores what it can; the others still run.
    }
  }
}

void Database::RefreshRecordsets() {
  for (const auto& w : recordsets_)
    if (auto rs = w.lock(); rs && rs->IsOpen()) rs->Refresh();
}

void Database::FreeLocks() {
  if (conn_) conn_->EndReadSnapshot();
  if (engine_) engine_->EndReadSnapshot();
}

void Database::Close() {
  if (!IsOpen()) return;
  for (const auto& w : recordsets_)
    if (auto rs = w.lock()) rs->Close();
  recordsets_.clear();
  if (engine_) {
    while (engine_->TransactionDepth() > 0) engine_->Rollback();
  } else {
    while (conn_->TransactionDepth() > 0) conn_->Rollback();
  }
  while (!levels_.empty()) UndoLevel();
  kept_.clear();  // they hold the session
  fileEngine_.reset();
  conn_.reset();
  engine_.reset();
  tableDefs_.reset();
}

void Database::CloseNoThrow() noexcept {
  try {
    Close();
  } catch (...) {
    // The connection goes with its pending transaction; the engine rolls it back.
    kept_.clear();
    fileEngine_.reset();
    conn_.reset();
    engine_.reset();
  }
}

}  // namespace qv::dao
