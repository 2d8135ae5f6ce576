#pragma once
// The engine seam: what a caller needs from a database engine to run Jet
// SQL, whichever engine holds the data. One implementation is the file
// engine (Connection, Statement), the other a PostgreSQL server reached
// through libpq (PgConnection.h). A caller opens an engine by its location
// (OpenEngine) and prepares, binds, steps, reads, executes and nests
// transactions through these two interfaces only.
//
// The seam sits at the level of the connection and the prepared
// statement: one virtual call per statement operation and per row read
// (Values), none per column of a row. The data-access objects and the
// layers above them still hold the file engine's Connection directly, so
// their reads pay nothing for the seam (docs/postgres.md).

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/Variant.h"
#include "platform/jet/JetCatalog.h"
#include "platform/jet/JetStatement.h"
#include "platform/jet/JetTranslator.h"

namespace qv::jet {

class Connection;
struct OpenOptions;

// A prepared Jet statement of an Engine. A Jet text's number and text
// literals are its parameters (1-based, in the text's order), bound from
// the text when it is prepared; Bind gives one of them another value for
// the next run, so that one prepared statement serves every text of the
// same shape.
class EngineStatement {
 public:
  virtual ~EngineStatement() = default;

  virtual StatementKind Kind() const = 0;
  virtual int ParameterCount() const = 0;
  // Binds a Variant as the column will store it (Boolean -1/0, Date the
  // day number, Null NULL). Errors: 3265 no such parameter, 3421 an object.
  virtual void Bind(int index, const Variant& value) = 0;
  // Advances to the next row: true when there is one. Errors are Jet's
  // (3022, 3163, 3218, 3314 ...), whichever engine raised them.
  virtual bool Step() = 0;
  // Runs the statement to its end; returns the rows an action changed.
  virtual int64_t Run() = 0;
  // Back before the first row; bindings are kept.
  virtual void Reset() = 0;

  // The visible result columns with their Jet types.
  virtual int ColumnCount() const = 0;
  virtual const ColumnMeta& Column(int i) const = 0;
  // The current row's value typed by its column's Jet type.
  virtual Variant Value(int i) const = 0;
  // Every visible column of the current row. REQUIRES: out.size() >= ColumnCount().
  virtual void Values(std::span<Variant> out) const = 0;
  // The engine's text that runs.
  virtual std::string_view Sql() const = 0;
  // Says that the caller reads every row of the select's next runs: a
  // server then sends them as one result, held whole until the rows are
  // read or the statement reset, instead of a result per row (which costs
  // a copy of the result's description per row). A file reads its rows as
  // it steps either way.
  virtual void ReadsEveryRow() {}
  // Says that this select, bound as it will run, is read by the caller
  // after the next select it starts, and does not depend on it: a server
  // sends it in that select's round trip (a pipeline; its rows come whole,
  // a failure of its own waits for its first Step), or, in a transaction,
  // in the round trip of the next RunEach's pipeline (after the level's
  // begin and lock, before the runs: read even when a run fails).
  // Elsewhere, or when the connection's next request is neither, it runs
  // at its first Step as it would without. A Reset or a Bind before that
  // Step takes it back.
  virtual void StartWithNextSelect() {}
  // Runs an action as Run does, or on a server, when that saves a round
  // trip, with the commit that ends the transaction: in a write-locked
  // transaction no other statement has reached yet (its failure then
  // leaves nothing else to keep). Its failure is then raised by that
  // commit (the transaction left aborted, for the caller's Rollback), or,
  // when another request of the session comes first, by that request (it
  // is sent first, as Run sends it, and the request is not made). Changes
  // and LastInsertId count it once it is sent. The statement may be
  // destroyed before.
  virtual void RunAtCommit() { Run(); }
  // Runs an UPDATE or DELETE that must change a row (one the caller read)
  // as Run does, returning the rows it changed; or, on a server at the
  // outermost level of a transaction whose commands have all been sent, or
  // whose begin and write lock alone wait for its first request (nor a
  // select's rows still coming), holds it for the session's next request
  // and returns nothing. The held statements go first in that request,
  // after that begin and lock, in the order held (a commit's: with its
  // COMMIT, one round trip), each one failing on the server when it changes no row, so that
  // nothing after it runs, the COMMIT neither. The first failure (3167 for
  // no row, else the statement's own) is raised by that request, which is
  // then not made: a commit leaves the transaction open and aborted for
  // the caller's Rollback; before another request the held statements are
  // undone together. A rollback drops them unsent; Engine::SendHeld sends
  // them at once. Only for a caller whose transaction ends at its first
  // failure (held statements that succeeded go with the one that failed).
  // Changes counts them once sent; the statement may be destroyed before.
  virtual std::optional<int64_t> RunWithNextRequest() { return Run(); }
};

// When a write-locked level takes the lock on a server.
enum class LockTaking {
  // In the begin's own round trip: the begin raises 3218, and the lock is
  // held from it even while the level sends nothing.
  kAtBegin,
  // With the level's first request, in its round trip (a statement held
  // for the commit: in the commit's): that request raises 3218, and a
  // level that sends nothing takes nothing. Only for a scope whose
  // statements are all it needs the lock for.
  kWithFirstRequest,
};

class Engine {
 public:
  virtual ~Engine() = default;

  // Where the data is: the file's path or the server's connection string.
  virtual const std::string& Location() const = 0;
  // True for a server database (several workstations at once).
  virtual bool IsServer() const = 0;
  virtual bool IsReadOnly() const = 0;

  // Prepares a Jet statement (translated for this engine and cached per
  // connection). A schema statement prepares to one that only runs.
  // Raises the translator's errors (syntax, 3078, 3061 ...).
  virtual std::unique_ptr<EngineStatement> Prepare(std::string_view jetSql) = 0;
  // Runs an action or schema statement; returns the rows it changed.
  virtual int64_t Execute(std::string_view jetSql) = 0;
  // Runs the action statement `st` (prepared here) once per entry of
  // `runs`, each entry its values bound as Bind(1), Bind(2) ... in turn;
  // returns the rows each run changed, in order. Raises the first failure.
  // A server sends every run in one round trip, all or nothing: a failure
  // undoes the call's other runs (a file keeps the runs before the failure
  // unless a transaction around the call undoes them). The bindings of
  // `st` afterwards are unspecified. Errors, before any run: 3061 for a run
  // with fewer values than `st` has parameters, 3265 for one with more;
  // then those of Bind and Run.
  std::vector<int64_t> RunEach(EngineStatement& st, const std::vector<std::vector<Variant>>& runs);
  // The same for `runs` runs whose values are `values`, each run's in
  // parameter order one after another, read where they are (not copied):
  // 3061 when a run has fewer values than `st` has parameters, 3265 more.
  virtual std::vector<int64_t> RunEach(EngineStatement& st, size_t runs,
                                       std::span<const Variant* const> values);
  // The translation of a Jet statement for this engine (not cached).
  virtual std::shared_ptr<const Translation> Translate(std::string_view jetSql) = 0;

  // Nested transactions: the outermost level is the engine's transaction,
  // inner levels savepoints. A statement that fails inside a transaction
  // undoes its own changes only; the transaction goes on. Errors: 3034
  // commit or rollback without a transaction. `writeLock`: the level holds
  // the database's write lock from its begin to the end of the outermost
  // transaction, so what it reads cannot change before it writes (the next
  // identifier as last + 1): on a file the file's write lock (outermost
  // level only), on a server a transaction-scoped advisory lock every
  // workstation's write-locked levels of that database and schema share.
  // Ignored on a read-only database. Errors: 3218 when another holds it
  // past the busy timeout. `taking`: when a server takes that lock (a file
  // takes it at the begin either way).
  virtual void BeginTrans(bool writeLock = false, LockTaking taking = LockTaking::kAtBegin) = 0;
  virtual void CommitTrans() = 0;
  virtual void Rollback() = 0;
  virtual int TransactionDepth() const = 0;
  // On a server, just after an outermost BeginTrans(true, kWithFirstRequest)
  // that sent nothing yet: the transaction also takes the advisory lock
  // `key` (AdvisoryLockKey of the session's database and schema and `name`)
  // before its write lock, with the level's first request, waiting up to
  // `timeoutMs` (the session's lock_timeout put back after it); when that
  // wait runs out the request raises 3050 with `busyMessage`. The server
  // frees it when the transaction ends. False, and nothing done, when the
  // level is not such a level, `timeoutMs` is 0 or the key is not the
  // session's (a file: always).
  virtual bool LockWithBegin(std::string_view /*name*/, int64_t /*key*/, int /*timeoutMs*/,
                             std::string_view /*busyMessage*/) {
    return false;
  }
  // Sends the commands a transaction's levels left for their first request
  // (their begins and locks) now, in a round trip of their own; nothing
  // when there are none (a file: always).
  virtual void SendPending() {}
  // Sends the statements held for the next request
  // (EngineStatement::RunWithNextRequest) now, in a round trip of their
  // own, and raises their first failure; nothing when none are held (a
  // file: always).
  virtual void SendHeld() {}

  // A read snapshot outside a transaction, held for a walk whose reads
  // meanwhile must agree with it (no-op on a file, whose stepping statement
  // holds its own). On a server the session reads in one REPEATABLE READ
  // READ ONLY transaction from the first statement after the first hold
  // (the begin goes in that statement's round trip) until the last
  // release; it does not block writers. It ends early, the holds kept, at
  // EndReadSnapshot (the engine's dbFreeLocks), before a write or a
  // transaction's begin of this session, and after a failed read; a later
  // HoldReadSnapshot begins a fresh one. Inside a transaction a hold is
  // only counted.
  virtual void HoldReadSnapshot() {}
  virtual void ReleaseReadSnapshot() noexcept {}
  virtual void EndReadSnapshot() noexcept {}

  // What a cache of rows read through this engine keys on. Serial: a
  // number no other connection of the process has had (a file's
  // Connection::Serial; a server session's from the same count).
  // DataGeneration moves at every rollback, with the schema (a change of
  // this session's or another's), and when another connection commits rows
  // or this one writes outside a transaction; a commit of this connection's
  // transaction does not move it (a cache that keeps rows it writes drops
  // them at those writes). On a file Connection::DataGeneration; on a
  // server the commits of other sessions are the notices of the triggers
  // of the tables TellCommitsOf names (another session's commit to another
  // table does not move it there), read without a round trip: one arrives
  // a moment after its commit, so a read in between may keep the rows of
  // before, as a file's reader may before the other's commit is seen.
  virtual uint64_t Serial() const = 0;
  virtual uint64_t DataGeneration() = 0;
  // What an object that keeps what it read of the schema (the table names,
  // a table's definition) keys on, with Serial: it moves at this
  // connection's schema statements and catalogue calls, at a rollback of a
  // transaction that ran one (on a server: of any level of it), at another
  // connection's change of the schema (on a file found by the catalogue,
  // which this call refreshes; on a server its notice, read without a round
  // trip, a moment after its commit) and when a server's session connects
  // again. On a file Connection::SchemaGeneration.
  virtual uint64_t SchemaGeneration() = 0;

  // The rows the last action statement changed.
  virtual int64_t Changes() const = 0;
  // The row address the last INSERT of this connection gave a row (0
  // before any): on a file its rowid (a counter's value when the table has
  // one); on a server the counter's value, or for a table without a
  // primary key its hidden row key (`_jet_row`).
  virtual int64_t LastInsertId() = 0;

  // The catalogue: user tables in creation order, and a table's Jet
  // definition (null when there is none).
  virtual std::vector<std::string> TableNames() = 0;
  virtual std::shared_ptr<const TableSpec> FindTable(std::string_view table) = 0;

  // Definitions given whole, as the data-access objects append them: a
  // table with its indexes, a field of an existing table. Every Jet type
  // the catalogue knows can be given, those Jet's DDL has no word for too
  // (BigInt, Char, VarBinary, Numeric, Float, Time). All or nothing; the
  // catalogue's errors (3010 a table that exists, 3259 a bad type, 3191 a
  // field twice ...).
  virtual void CreateTable(const TableSpec& table) = 0;
  virtual void AddField(std::string_view table, const FieldSpec& field) = 0;
  // The rules of existing fields (Required, AllowZeroLength, DefaultValue)
  // and a field's UnicodeCompression flag, as Catalog::ChangeFieldRules and
  // Catalog::SetUnicodeCompression give them, with their errors: all or
  // nothing, a stored value the new rules refuse failing the change.
  virtual void ChangeFieldRules(std::string_view table, std::span<const FieldSpec> fields) = 0;
  virtual void SetUnicodeCompression(std::string_view table, std::string_view field, bool on) = 0;
};

// A number no connection of the process (a file's or a server session's)
// has had before.
uint64_t NewConnectionSerial();

// The tables whose commits of rows a server tells the other sessions of
// (moving their DataGeneration): those whose rows a cache of the process
// keeps, named (in any case) by the cache's module when the library loads.
// A table gets the trigger that tells when it is made, and an open for
// writing adds it to such a table that lacks it and drops it from the
// others: every commit that tells passes the server's lock of its
// notification queue one at a time and wakes every listening session,
// which then reads the queue in a transaction of its own, so commits of
// tables no cache keeps are not told. A file's generation moves at any
// other connection's commit whatever this names.
void TellCommitsOf(std::initializer_list<std::string_view> tables);
// Whether TellCommitsOf named `table`, and the names it was given, folded.
bool CommitsTold(std::string_view table);
std::vector<std::string> TablesTold();

// The tables a cache of rows keeps, told to TellCommitsOf when the watch is
// made: a constant of the cache's module, made when the library loads.
// dao::Database::DataGeneration takes one, so a cache keyed on the
// generation names what it reads where it asks for it (a cache of a table
// not named would keep another workstation's old rows on a server).
class CommitsWatch {
 public:
  explicit CommitsWatch(std::initializer_list<std::string_view> tables) { TellCommitsOf(tables); }
  CommitsWatch(const CommitsWatch&) = delete;
  CommitsWatch& operator=(const CommitsWatch&) = delete;
};

// RunEach's check of `values`, `runs` runs of them, against `st`'s
// parameters (its errors, before any run), for the engines that send the
// runs their own way.
void CheckRunValues(const EngineStatement& st, size_t runs, size_t values);

// True when `location` names a server database rather than a file: a
// postgresql:// or postgres:// URI, or a libpq connection string of
// key=value words whose first key is one of libpq's ("host=/run/pg
// dbname=office"); "a=b.mdb" is a file.
bool IsServerLocation(std::string_view location);

// How OpenEngine opens. `create`: make the database's catalogue (a new
// file with the Russian locale; on a server, the catalogue's tables in the
// database's current schema when they are missing). `readOnly`: writes
// fail with 3027. `busyTimeoutMs`: how long a write waits for another
// connection's lock before it fails with 3218. `exclusive` (a server's
// only; a file is locked by the data-access objects' open, and refuses it
// with 3251): no other session may open the database until this one ends,
// and the open fails with 3218 while another has it open.
struct EngineOptions {
  bool readOnly = false;
  bool create = false;
  bool exclusive = false;
  int busyTimeoutMs = 5000;
};

// Opens the engine `location` names: a server database (IsServerLocation)
// or a database file. Errors of Connection::Open / Create, or of
// PgConnection::Open.
std::shared_ptr<Engine> OpenEngine(const std::string& location, const EngineOptions& options = {});

// The file engine over an open connection.
std::shared_ptr<Engine> FileEngine(std::shared_ptr<Connection> connection);

}  // namespace qv::jet
