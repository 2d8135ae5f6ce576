#pragma once
// Database: one open database (a file through a jet::Connection, or a
// database on a server through a jet::Engine) in a workspace:
// statements (Execute), recordsets (OpenRecordset), the table definitions
// (TableDefs, CreateTableDef) and its part of the workspace's transactions.
// Closing it closes its recordsets and rolls back what its workspace has not
// committed; so does releasing the last reference to it.
//
// Opening: shared by default (several connections and processes read and
// write the file; a writer waits up to the engine's lock timeout for
// another). Exclusive holds the file's lock from the open to the close: the
// open fails with 3045 while another connection has the file open, and any
// later open elsewhere fails with 3045 too. Read-only refuses every write
// (3027).
//
// A server database (a location jet::IsServerLocation accepts) is reached
// through the engine seam: statements, recordsets of statements and of
// tables, the table definitions and the transaction levels work on it; the
// file's own facilities (Connection(), the schema version, an exclusive
// open) raise 3251 naming the operation.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/Object.h"
#include "platform/dao/DaoConstants.h"
#include "platform/jet/JetStatement.h"

namespace qv::jet {
class CommitsWatch;
class Connection;
class Engine;
class EngineStatement;
struct TableSpec;
}  // namespace qv::jet

namespace qv::dao {

class Properties;
class QueryDef;
class Recordset;
class TableDef;
class TableDefs;
class Transaction;
class Workspace;

struct DatabaseOptions {
  bool exclusive = false;
  bool readOnly = false;
  int lockTimeoutMs = 5000;  // how long a write waits for another writer
};

class Database : public Object {
  QV_DECLARE_CLASS(Database)
  struct Private {};

 public:
  // Errors name the file: 3024 no such file, 3044 no such folder, 3343 not a
  // database, 3045 locked by an exclusive user (or, opening exclusively, in
  // use). `source` is the object that opens it ("DAO.Workspace" ...).
  static std::shared_ptr<Database> Open(const std::string& path, const DatabaseOptions& options,
                                        std::weak_ptr<Workspace> workspace,
                                        std::string_view source);
  // Creates a new file with a locale string (3204 it exists, 3044 no folder).
  static std::shared_ptr<Database> Create(const std::string& path, std::string_view locale,
                                          const DatabaseOptions& options,
                                          std::weak_ptr<Workspace> workspace,
                                          std::string_view source);
  // A database on a server: `create` makes its catalogue when it has none.
  // An exclusive open keeps every other session out until it closes.
  // Errors: those of jet::OpenEngine (3051 no connection, 3343 no
  // catalogue), 3045 naming the location while another session's open
  // keeps this one out (an exclusive open any other).
  static std::shared_ptr<Database> OpenServer(const std::string& location,
                                              const DatabaseOptions& options, bool create,
                                              std::weak_ptr<Workspace> workspace,
                                              std::string_view source);
  Database(Private, std::shared_ptr<jet::Connection> conn, const DatabaseOptions& options,
           std::weak_ptr<Workspace> workspace);
  Database(Private, std::shared_ptr<jet::Engine> engine, const DatabaseOptions& options,
           std::weak_ptr<Workspace> workspace);
  ~Database() override;

  // The path of the file, or the server's location (its password masked).
  const std::string& Name() const { return name_; }
  std::string Connect() const { return {}; }
  // The file format version ("4.0").
  std::string Version() const { return std::string(kFileFormatVersion); }
  bool Updatable() const { return !options_.readOnly; }
  bool Transactions() const { return true; }
  int32_t RecordsAffected() const { return recordsAffected_; }

  // Runs an action statement (INSERT, UPDATE, DELETE) in Jet SQL; its rows
  // are RecordsAffected. A statement fails or changes nothing, whatever the
  // options. Errors: 3065 a SELECT, the translator's syntax errors, the
  // table's rules (3022, 3163, 3314 ...), 3027 read-only.
  void Execute(const std::string& sql, const Variant& options);
  // OpenRecordset(source, type, options): `source` is a table name (a
  // table-type recordset by default) or a Jet SELECT (a dynaset by default).
  // Errors: 3078 no such table, 3219 a table-type recordset of a statement
  // or a recordset of an action statement.
  std::shared_ptr<Recordset> OpenRecordset(const std::string& source, const Variant& type,
                                           const Variant& options, const Variant& lockEdits);
  std::shared_ptr<TableDefs> TableDefsCollection();
  std::shared_ptr<TableDef> CreateTableDef(const Variant& name);
  // A query definition of this database; named ones are not stored in the file.
  std::shared_ptr<QueryDef> CreateQueryDef(const Variant& name, const Variant& sql);
  std::shared_ptr<Properties> PropertiesCollection();
  void Close();

  // ---- C++ callers
  bool IsOpen() const { return conn_ != nullptr || engine_ != nullptr; }
  bool IsReadOnly() const { return options_.readOnly; }
  // True for a database on a server (ServerEngine), false for a file.
  bool IsServer() const { return engine_ != nullptr; }
  // The file's connection. Errors: 3420 after Close, 3251 on a server
  // database (`operation` names what needed it).
  jet::Connection& Connection(std::string_view operation = {}) const;
  // The server's engine. Errors: 3420 after Close, 3251 on a file.
  jet::Engine& ServerEngine() const;
  // The engine seam on a file and on a server alike: the server's engine,
  // or the file's over its connection (made at the first call). Errors:
  // 3420 after Close.
  jet::Engine& Engine() const;
  // What a cache of rows read through this database keys on, on a file and
  // on a server alike (jet::Engine::Serial and DataGeneration; the watch
  // names the tables the cache keeps). Errors: 3420 after Close.
  uint64_t ConnectionSerial() const;
  uint64_t DataGeneration(const jet::CommitsWatch& watch);
  // A server statement a caller runs again and again with other values (a
  // log entry's insert), kept with the database: prepared at the first call
  // for `jetSql`, then the same statement, its values bound before kept,
  // while the engine's schema generation stays (a schema change, a
  // reconnect, a rollback that dropped the prepared statements make it be
  // prepared again, as is one whose text at that address is another); it
  // goes at Close, with the session. Keyed by the text's address (a
  // constant, a text a cached shape holds): the caller resets it before
  // another request's rows come. The caller shares the statement: one let
  // go by the database (past 16 texts kept, or prepared again) lasts while
  // the caller holds it. Errors: 3420 after Close, 3251 on a file, then
  // Prepare's.
  std::shared_ptr<jet::EngineStatement> KeptServerStatement(std::string_view jetSql);
  // The user tables in creation order, and a table's definition (null when
  // there is none), from the file's or the server's catalogue.
  std::vector<std::string> TableNames();
  std::shared_ptr<const jet::TableSpec> FindTableSpec(std::string_view table);
  std::shared_ptr<Recordset> OpenTable(std::string_view table, int32_t type = dbOpenTable,
                                       int32_t options = 0);
  std::shared_ptr<Recordset> OpenStatement(std::string_view sql, int32_t type = dbOpenDynaset,
                                           int32_t options = 0);
  // The prepared SELECT whose rows OpenRecordset(source) of the default
  // type would hold, for callers that copy the rows elsewhere and need no
  // recordset; nullopt when `source` names a table (OpenRecordset opens the
  // table then). Errors as OpenRecordset's: the translator's, 3219 for an
  // action statement.
  std::optional<jet::Statement> PrepareQuery(const std::string& source);
  // Execute for C++ callers: returns the rows affected.
  int64_t ExecuteSql(std::string_view sql);
  // A number the file keeps for its owner (SQLite's user_version; on a
  // server a column of the catalogue's _jet_info), 0 in a new database; the
  // schema builder records the database's schema version in it. Setting it
  // takes part in the workspace's transaction.
  int32_t SchemaVersion();
  void SetSchemaVersion(int32_t version);

  // ---- the engine's idle
  // Re-reads the current record of every open recordset.
  void RefreshRecordsets();
  // Outside a transaction: ends the read snapshot a statement still
  // stepping holds (jet::Connection::EndReadSnapshot), on a server the
  // session's held one (jet::Engine::EndReadSnapshot), so the next read
  // shows other connections' commits. It moves nothing into the file.
  void FreeLocks();
  // Syncs the log to the disk when no transaction is open (what a commit
  // with dbForceOSFlush does after the outermost level); nothing on a
  // read-only or closed database.
  void SyncCommitted();

 private:
  // Transaction levels, for the workspace and for Transaction (the one
  // scope callers use). `immediate`: an outermost level takes the file's
  // write lock at once (jet::Connection::BeginTrans). CommitLevel commits
  // the innermost level; `flush` after the outermost one syncs the log to
  // the disk (jet::Connection::SyncLog). RollbackLevel re-reads the current
  // record of every open recordset.
  friend class Transaction;
  friend class Workspace;
  void BeginLevel(bool immediate = false, bool lockWithFirstStatement = false);
  void CommitLevel(bool flush);
  void RollbackLevel();
  // Pops the innermost level's steps and runs its undo steps, last first.
  void UndoLevel() noexcept;
  void Track(const std::shared_ptr<Recordset>& rs);
  void CloseNoThrow() noexcept;
  // The table a trimmed OpenRecordset source names, or nullopt for a statement.
  std::optional<std::string_view> TableNameOf(std::string_view text);
  // `sql` prepared; 3219 unless it is a SELECT.
  jet::Statement PrepareSelect(std::string_view sql);
  // The server's side of ExecuteSql, OpenTable and OpenStatement.
  int64_t ServerExecute(std::string_view sql);
  int32_t ServerSchemaVersion();
  void SetServerSchemaVersion(int32_t version);
  std::shared_ptr<Recordset> ServerOpenTable(std::string_view table, int32_t type, int32_t options);
  std::shared_ptr<Recordset> ServerOpenStatement(std::string_view sql, int32_t type);

  std::string name_;
  DatabaseOptions options_;
  std::shared_ptr<jet::Connection> conn_;
  std::shared_ptr<jet::Engine> engine_;              // a server database's; null for a file
  mutable std::shared_ptr<jet::Engine> fileEngine_;  // Engine() of a file, over conn_
  static constexpr size_t kMaxKeptStatements = 16;
  struct KeptStatement {
    const char* address;
    std::string text;
    uint64_t schemaGeneration;
    std::shared_ptr<jet::EngineStatement> statement;
  };
  std::vector<KeptStatement> kept_;  // KeptServerStatement's, on a server
  std::weak_ptr<Workspace> workspace_;
  int32_t recordsAffected_ = 0;
  std::vector<std::weak_ptr<Recordset>> recordsets_;
  std::shared_ptr<TableDefs> tableDefs_;
  std::shared_ptr<Properties> properties_;
  Transaction* scope_ = nullptr;  // the innermost Transaction open on this database
  // The steps of each level begun through BeginLevel, outermost first
  // (Transaction::OnRollback, Transaction::AfterCommit).
  struct LevelSteps {
    std::vector<std::function<void()>> undo;
    std::vector<std::function<void()>> afterCommit;
    // An outermost level begun with the database's write lock (a
    // workspace's write-locked transaction too), which it holds to its end.
    bool writeLocked = false;
  };
  std::vector<LevelSteps> levels_;
};

using DatabasePtr = std::shared_ptr<Database>;

}  // namespace qv::dao
