#pragma once
// A database on a PostgreSQL server as an Engine: Jet SQL translated by the
// emitter's PostgreSQL dialect, prepared once per statement shape on the
// server (named statements, per connection), its literals bound as
// parameters; nested transactions over savepoints; the server's SQLSTATE
// codes mapped onto Jet's error numbers; and a catalogue of Jet types,
// rules and index names kept in tables of the database's schema
// (_jet_tables, _jet_fields, _jet_indexes, _jet_info), which schema
// statements keep up to date. libpq-fe.h stays out of this header.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/automation/Error.h"
#include "platform/jet/JetEngine.h"

namespace qv::jet {

class PgConnection final : public Engine, public std::enable_shared_from_this<PgConnection> {
  struct Private {};

 public:
  // Connects with a libpq connection string or postgresql:// URI. Errors:
  // 3051 the server cannot be reached or refuses the connection (the
  // server's message follows Jet's text), 3343 the database has no
  // catalogue (and `create` is false). `create` makes the catalogue's
  // tables in the current schema when they are missing (when the location
  // sets a search path, in its first schema, made when missing), and the
  // collation
  // JETRU there when the server has none (an ICU approximation: case and
  // Ё/Е alike, Latin before Cyrillic). `readOnly`: every transaction of
  // the session is read-only, so a write fails with 3027. A write waits
  // for another session's lock `busyTimeoutMs` (the server's lock_timeout),
  // then fails with 3218; so does a write-locked level's begin (BeginTrans)
  // while another session's write-locked level of the same database and
  // schema is open. `exclusive`: the session's open lock (kOpenLockClass)
  // is exclusive. An open fails at once with 3218 while another session's
  // open lock keeps it out (any open an exclusive one, an exclusive one
  // any); so does a reconnect that finds it so.
  static std::shared_ptr<PgConnection> Open(const std::string& conninfo,
                                            const EngineOptions& options = {});
  PgConnection(Private, const std::string& conninfo, const EngineOptions& options);
  ~PgConnection() override;
  PgConnection(const PgConnection&) = delete;
  PgConnection& operator=(const PgConnection&) = delete;

  // The connection string with its password masked (ShownLocation).
  const std::string& Location() const override { return location_; }
  bool IsServer() const override { return true; }
  bool IsReadOnly() const override { return readOnly_; }
  std::unique_ptr<EngineStatement> Prepare(std::string_view jetSql) override;
  int64_t Execute(std::string_view jetSql) override;
  // Every run in one pipeline: between a savepoint and its release inside
  // a transaction, else in the pipeline's own transaction.
  using Engine::RunEach;
  std::vector<int64_t> RunEach(EngineStatement& st, size_t runs,
                               std::span<const Variant* const> values) override;
  std::shared_ptr<const Translation> Translate(std::string_view jetSql) override;
  void BeginTrans(bool writeLock = false, LockTaking taking = LockTaking::kAtBegin) override;
  void CommitTrans() override;
  void Rollback() override;
  int TransactionDepth() const override;
  bool LockWithBegin(std::string_view name, int64_t key, int timeoutMs,
                     std::string_view busyMessage) override;
  void SendPending() override;
  void SendHeld() override;
  void HoldReadSnapshot() override;
  void ReleaseReadSnapshot() noexcept override;
  void EndReadSnapshot() noexcept override;
  uint64_t Serial() const override { return serial_; }
  uint64_t DataGeneration() override;
  uint64_t SchemaGeneration() override;
  int64_t Changes() const override;
  int64_t LastInsertId() override;
  std::vector<std::string> TableNames() override;
  std::shared_ptr<const TableSpec> FindTable(std::string_view table) override;
  void CreateTable(const TableSpec& table) override;
  void AddField(std::string_view table, const FieldSpec& field) override;
  void ChangeFieldRules(std::string_view table, std::span<const FieldSpec> fields) override;
  void SetUnicodeCompression(std::string_view table, std::string_view field, bool on) override;

  // The schema version the library's builder records in the catalogue
  // (0 until set), as a file keeps it in its header.
  int32_t SchemaVersion();
  void SetSchemaVersion(int32_t version);

  struct Impl;

 private:
  friend class PgStatement;
  std::string location_;
  bool readOnly_;
  uint64_t serial_ = NewConnectionSerial();
  std::unique_ptr<Impl> impl_;
};

// Every session of a database holds, from its open to its end, a shared
// (an exclusive open: exclusive) session-level advisory lock of the
// two-number kind: this class and the OID of the database's schema. A
// schema is dropped (DropServerSchemas) only when it can take that lock
// exclusively, so that a database another session has open is not removed
// under it, as a file in use is not.
inline constexpr int32_t kOpenLockClass = 0x51760001;

// Round trips this process has made to PostgreSQL servers, over every
// session of the library (the engines' and the lock service's): each time a
// session sends a request and waits for the server's answer. A pipeline of
// several statements ended by one sync is one; the connect is not counted.
// Always on (a relaxed atomic increment beside a network wait); a benchmark
// or a test reads the difference across the calls it measures.
inline std::atomic<uint64_t> serverRoundTrips{0};
inline uint64_t ServerRoundTrips() {
  return serverRoundTrips.load(std::memory_order_relaxed);
}
// Library-internal: a session is about to wait for the server's answer.
inline void CountServerRoundTrip() {
  serverRoundTrips.fetch_add(1, std::memory_order_relaxed);
}

// Rows of selects this process read ahead into memory: rows a statement had
// still to read when its session had to send something else (another
// statement among its rows). For tests and measurements, as above.
inline std::atomic<uint64_t> rowsReadAhead{0};
inline uint64_t ServerRowsReadAhead() {
  return rowsReadAhead.load(std::memory_order_relaxed);
}

// `conninfo` with the value of its password (password=..., or the
// user:password@ of a URI, or ?password=... in one) replaced by "********",
// for messages and titles: what the library shows of a location.
std::string ShownLocation(std::string_view conninfo);

// The Jet error for a failed server call: `sqlstate` the five-character
// code, `message` the server's primary message, `table`, `column` and
// `constraint` its diagnostic fields (empty when it gave none). Unique
// violations become 3022, Null in a NOT NULL column 3314 ("Table.Field"),
// the catalogue's named checks 3163, 3315 and 3464, lock conflicts and
// deadlocks 3218, writes in a read-only session 3027, an unknown table
// 3078, an unknown column 3061, an unknown function 3085; anything else
// keeps the server's message under number 3000.
Error PgToJetError(std::string_view sqlstate, std::string_view message, std::string_view table,
                   std::string_view column, std::string_view constraint,
                   std::string_view source = kSourceDatabase);

}  // namespace qv::jet
