#pragma once
// One open database file: the Jet engine on SQLite. Opens or creates the
// file (WAL journal, busy timeout, the Jet functions and collation on the
// connection), prepares Jet statements through the translator and native
// SQLite statements for internal use (both cached per connection by their
// text), runs nested transactions over savepoints, and owns the catalogue.
// Used from one thread at a time; sqlite3.h stays out of this header.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/jet/JetCatalog.h"
#include "platform/jet/JetError.h"
#include "platform/jet/JetStatement.h"
#include "platform/jet/JetTranslator.h"

namespace qv::jet {

// Locale strings of CreateDatabase. The Russian one selects the Russian
// sort order; the catalogue records whichever was given.
inline constexpr std::string_view kLocaleRussian = ";LANGID=0x0419;CP=1251;COUNTRY=0";
inline constexpr std::string_view kLocaleGeneral = ";LANGID=0x0409;CP=1252;COUNTRY=0";

struct OpenOptions {
  bool readOnly = false;
  int busyTimeoutMs = 5000;  // how long a write waits for another writer
};

class Connection : public std::enable_shared_from_this<Connection> {
  struct Private {};

 public:
  // Opens an existing file. Errors: 3044 the folder does not exist, 3024 the
  // file does not exist, 3343 it is not a database of ours (no bytes, not
  // SQLite, or without the catalogue; nothing is written to it), 3051 it
  // cannot be opened. A read-only open of a file nobody can write (its
  // folder takes no files, and no write-ahead log is there) reads it as
  // immutable, so a read-only folder can be read and nothing is left in it.
  static std::shared_ptr<Connection> Open(const std::string& path, const OpenOptions& options = {});
  // Creates a new file with a Jet locale string. Errors: 3044 the folder does
  // not exist, 3204 the file exists.
  static std::shared_ptr<Connection> Create(const std::string& path,
                                            std::string_view locale = kLocaleRussian,
                                            const OpenOptions& options = {});
  Connection(Private, const std::string& path, const OpenOptions& options, bool create);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  const std::string& Path() const { return path_; }
  bool IsReadOnly() const { return options_.readOnly; }
  // The locale recorded when the file was created ("" if none was).
  std::string Locale() const;
  Catalog& Schema();

  // ---- Jet SQL
  // Prepares a Jet statement. Statements that differ only in the values of
  // their number and text literals (the identifiers, codes and names callers
  // write into them) share one translation and one prepared statement: the
  // literals become parameters, bound from the text here. Raises the
  // translator's syntax errors and 3078/3061 ...
  Statement Prepare(std::string_view jetSql);
  // A schema statement (CREATE TABLE, CREATE [UNIQUE] INDEX, DROP TABLE,
  // DROP INDEX, ALTER TABLE, SELECT ... INTO) prepares to a Statement that
  // only runs: Run has the catalogue carry it out (Catalog::Apply, with its
  // errors: 3010, 3022 for a unique index over duplicates, 3376, 3371 ...;
  // 3027 read-only). Inside a transaction it is part of it and a rollback
  // undoes it; every cached statement and translation is dropped whenever
  // the schema changes or a rollback changed it back, so a statement
  // prepared afterwards sees the schema as it is (a dropped table: 3078).
  //
  // Runs an action or schema statement; returns rows affected.
  int64_t Execute(std::string_view jetSql);
  // The translation of a Jet statement with its literals as they stand, for
  // the shell and tests (translated on each call).
  std::shared_ptr<const Translation> Translate(std::string_view jetSql);

  // ---- native SQLite SQL (for the layers above: seeks, writes by rowid)
  // Prepares one SQLite statement, cached by its text. Column types come from
  // the catalogue for columns of tables, else from the value read.
  Statement PrepareNative(std::string_view sql);
  // The same for a caller that runs one text again and again: `kept` holds
  // the text's cache entry, so the text is looked up only when `kept` is
  // empty, holds another connection's entry or one the cache has dropped
  // (ClearCaches). REQUIRES: `kept` was last used with this same text.
  class NativeText {
    friend class Connection;
    const Connection* owner_ = nullptr;
    std::shared_ptr<StatementCacheEntry> entry_;
  };
  Statement PrepareNative(std::string_view sql, NativeText& kept);
  // Runs SQLite text of one or more statements without results; returns
  // the rows the last one changed.
  int64_t ExecuteNative(std::string_view sql);

  // ---- transactions: nested, over savepoints
  // An outermost level begun `immediate` takes the file's write lock at
  // once (waiting up to the busy timeout), so that what it reads cannot be
  // changed by another connection before it writes: read-modify-write steps
  // use it. Otherwise the write lock is taken at the first write, and a
  // write after another connection's commit fails with 3218. `immediate` is
  // ignored for inner levels and on a read-only connection.
  void BeginTrans(bool immediate = false);
  // Errors: 3034 without a transaction.
  void CommitTrans();
  void Rollback();
  int TransactionDepth() const { return depth_; }
  // True while a transaction of this connection holds the file's write lock
  // (begun immediate, or written to).
  bool HoldsWriteLock() const;

  int64_t Changes() const;
  int64_t LastInsertRowId() const;

  // ---- snapshots and the log
  // Outside a transaction: resets every read statement of this connection
  // still stepping, so the next read starts a snapshot that shows what other
  // connections have committed since. A Statement reset here starts over at
  // its next Step. Inside a transaction it does nothing.
  void EndReadSnapshot();
  // Writes the log to the disk (fsync), so that every commit made so far
  // survives a power loss as well as a crash of the process; without it a
  // commit survives the process but a power loss may take the last ones.
  // Committed changes move from the log into the file by SQLite's own
  // checkpoints (when the log grows past its threshold and when the last
  // connection to the file closes), never here.
  void SyncLog();
  // Makes the statement running on this connection stop at its next step
  // with error 3059, for a user who stops it (Ctrl-C). Safe to call from a
  // signal handler or another thread; a statement started after the
  // running ones have ended is not affected.
  void Interrupt() noexcept;

  // Drops the cached statements and translations (the schema changed; a
  // full cache drops its oldest text per new one instead); SchemaChanged
  // also drops the catalogue's tables.
  void ClearCaches();
  // Counts the changes of the schema seen on this connection (its own
  // statements and catalogue calls, native DDL, rollbacks that undid one),
  // so that objects that keep what they read of it know when to read again.
  uint64_t SchemaGeneration() const { return schemaGeneration_; }
  // What a cache of rows read through this connection keys on (with
  // Serial): it moves with the schema generation, at every rollback, and
  // when the catalogue finds a commit in the file that this connection did
  // not note as its own (Catalog::CommitsSeen: another connection's or
  // process's). Refreshes the catalogue first, so it costs what a look-up
  // of a definition costs when nothing changed. A cache that keeps rows
  // this connection itself writes drops them at those writes.
  uint64_t DataGeneration();
  // A number no other connection of the process has had, so that what is
  // kept per connection is not taken for another's made at the same address.
  uint64_t Serial() const { return serial_; }

 private:
  friend class Statement;
  struct Impl;
  Statement FromEntry(std::shared_ptr<StatementCacheEntry> entry);
  int64_t ApplySchemaChange(const SchemaChange& change);
  void SchemaChanged();
  void CheckSchemaVersion();
  // `boundFrom`: the Statement's count of those bound from a kept text's
  // bytes (Statement::boundFrom_), given back too.
  void Return(sqlite3_stmt* stmt, StatementCacheEntry* entry, uint32_t* boundFrom) noexcept;

  std::string path_;
  OpenOptions options_;
  int depth_ = 0;
  bool explicitOuter_ = false;  // the outermost level is BEGIN IMMEDIATE, not a savepoint
  uint64_t schemaGeneration_ = 0;
  uint64_t rollbacks_ = 0;
  uint64_t serial_;
  std::unique_ptr<Impl> impl_;
};

// Copies the database file `source` into the new file `target` with SQLite's
// online backup: one consistent state of the file, the commits still in its
// log included and no uncommitted change, while other connections and
// processes go on reading and writing it. A copy of the file alone is no
// such copy: it lacks what is still in the log. Errors: 3024 no such source
// (3343 not a database), 3204 the target exists, 3044 its folder does not;
// a failed copy leaves no target behind.
void BackupDatabase(const std::string& source, const std::string& target, int busyTimeoutMs = 5000);

}  // namespace qv::jet
