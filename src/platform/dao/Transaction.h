#pragma once
// Transaction: the one scope for a write (or a consistent read) of several
// statements. It begins in its constructor and, unless Commit is called,
// rolls back in its destructor; the rollback goes through the DAO layer, so
// the open recordsets of the database re-read their current rows.
//
//   dao::Transaction tx(db, dao::kWriteLock);
//   ... read, then write ...
//   tx.Commit();
//
// Join rule. A scope on a database that already has a scope open joins it
// (TxJoin::kJoin): it begins no level of its own, its Commit does nothing
// and the enclosing scope decides; so nested mapper calls, a cascade and
// the lookups inside them all commit or roll back as one. A transaction
// begun otherwise (the workspace's, a DBLockKeeper's, the application's) is
// not a scope: a scope inside it is a savepoint of it, so a failed write
// inside a caller's transaction undoes itself and the caller's work stays.
// TxJoin::kNested always begins a level of its own (a savepoint inside an
// open transaction) that can roll back alone.
//
// Immediate. An outermost level begun `immediate` takes the file's write
// lock at once (jet::Connection::BeginTrans): what the scope reads cannot
// change before it writes, so read-modify-write steps (the next identifier
// as last + 1, counters) never hand out a number twice. Ignored for inner
// levels and on a read-only database. On a server database every level
// begun `immediate` takes the database's transaction-scoped advisory lock
// instead (jet::Engine::BeginTrans), held until the outermost transaction
// ends or the client dies; other workstations' such levels wait for it.
//
// Undo and after-commit steps. What a rolled-back write did outside the
// database (a record object's new identifier or state) is put back by steps
// registered with OnRollback; they run, last registered first, when the
// level that holds them rolls back. What must follow a commit and cannot be
// undone (removing the files deleted rows named) is registered with
// AfterCommit. The steps belong to the database's innermost open level,
// whoever began it (a scope, the workspace, the application): a level that
// commits inside another hands its steps to that one, so a scope that is a
// savepoint of the application's transaction removes nothing until the
// application commits, and the application's rollback still undoes. The
// outermost commit runs the after-commit steps and drops the undo steps.

#include <functional>
#include <memory>

namespace qv::dao {

class Database;
class Workspace;

enum class TxJoin {
  kJoin,    // join the database's open scope, if any
  kNested,  // always a level of its own
};

struct TxOptions {
  bool immediate = false;
  TxJoin join = TxJoin::kJoin;
  // With `immediate`, on a server: the lock goes with the scope's first
  // statement (which raises 3218 then) instead of a round trip of the
  // begin's own; a scope that runs none takes none. Only for a scope whose
  // statements are all that needs the lock (nothing else it does is
  // serialised by it). A file takes the lock at the begin either way.
  bool lockWithFirstStatement = false;
};

// A read of several statements: one snapshot, one read lock.
inline constexpr TxOptions kRead{};
// A read-modify-write: the write lock from the start.
inline constexpr TxOptions kWriteLock{.immediate = true};
// The same, the lock taken on a server with the first statement.
inline constexpr TxOptions kWriteLockWithFirstStatement{.immediate = true,
                                                        .lockWithFirstStatement = true};

class Transaction {
 public:
  // A scope on one database. Errors: those of beginning a level (3218 the
  // write lock stays held by another connection, 3420 a closed database).
  explicit Transaction(Database& db, TxOptions options = {});
  // A level on every database open in `ws` (databases opened inside it join
  // it); always a level of its own. Errors: those of Workspace::BeginTrans.
  explicit Transaction(Workspace& ws, TxOptions options = {});
  // Rolls back unless committed or rolled back already; never raises.
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  // Commits the level (nothing for a joined scope). `flush` after the
  // outermost level syncs the log to the disk. When the
  // commit fails the level stays for the destructor to roll back (a
  // workspace level is rolled back by the workspace at once).
  // Errors: 3034 the scope has ended.
  void Commit(bool flush = false);
  // Rolls back now, as the destructor would. Errors: 3034 the scope has
  // ended or joined another (a joined scope cannot roll back alone).
  void Rollback();
  // True when this scope joined another and began no level.
  bool Joined() const { return owner_ != this; }

  // Registers `undo` with the innermost level open on `db`; nothing when no
  // level is open there.
  static void OnRollback(Database& db, std::function<void()> undo);
  // Registers `step` to run once the outermost level open on `db` has
  // committed; runs it at once when no level is open there. For what must follow the write and
  // cannot be undone, such as removing files that the deleted rows named. Steps run in the order
  // registered; a step that fails after the commit is ignored (the rows are
  // written), and a rollback drops the steps.
  static void AfterCommit(Database& db, std::function<void()> step);
  // True when a write-locked scope covers `db`: the innermost scope open on
  // it is, or joined, an outermost scope begun with kWriteLock, or the
  // file's write lock is held already (a lock keeper's transaction, or one
  // that has written). An outermost scope begun with kWriteLock inside a
  // transaction that is no scope (the application's) counts, though as a
  // savepoint it takes the lock only at its first write; a level nested in
  // a scope that holds no lock does not. Read-modify-write steps check it
  // (the next identifier as last + 1).
  static bool WriteLocked(Database& db);

 private:
  void Detach() noexcept;

  Database* db_ = nullptr;
  std::shared_ptr<Workspace> ws_;
  Transaction* outer_ = nullptr;  // the scope open on db_ before this one
  Transaction* owner_ = this;     // the scope whose level this one is part of
  bool open_ = false;             // a level begun and not yet ended
  bool immediate_ = false;        // an outermost scope begun with kWriteLock
};

}  // namespace qv::dao
