#pragma once
// DBLockManager: the calling thread's database locking (one per session,
// made by miDataBase::GetUserLockManager). DoLock takes, as its action
// asks, the exclusive lock of the lock component between processes and a
// transaction in the workspace "qvz", and hands both to a DBLockKeeper,
// whose release ends the transaction, lowers the nesting depth and then
// frees the lock, in that order.
//
// Lock action bits: 1 take the exclusive lock, 2 begin a transaction, 4 a
// plain release rolls it back instead of committing. The default
// 0x40000001 means 3 (lock and transaction, commit on release). When the
// options file leaves locking off, DoLock hands out an inert keeper: no
// lock and no transaction whatever the action. On a read-only user
// database it takes no lock (its writes fail with 3027).
//
// The transaction is a dao::Transaction over the workspace, held by the
// keeper; its outermost level takes the database's write lock at once, so
// that what a locked multi-step write reads cannot change under it before
// it writes.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/automation/Object.h"

namespace qv {

namespace dao {
class Transaction;
}

class DBLockKeeper;

namespace lockaction {
inline constexpr int32_t kLock = 1;
inline constexpr int32_t kTransaction = 2;
inline constexpr int32_t kRollbackOnRelease = 4;
inline constexpr int32_t kDefault = 0x40000001;  // means kLock | kTransaction
}  // namespace lockaction

// The ProgID the lock component is created by.
inline constexpr std::string_view kLockComponentProgId = "Qv_DBLock.LockService";

class DBLockManager : public Object {
  QV_DECLARE_CLASS(DBLockManager)

 public:
  // Errors: those of the lock component (3050 the lock stays held
  // elsewhere) and of BeginTrans, raised before the keeper is handed out
  // and before the depth changes.
  std::shared_ptr<DBLockKeeper> DoLock(int32_t aAction);
  // C++ callers: DoLock whose transaction's write lock goes, on a server,
  // with its first statement (dao::TxOptions::lockWithFirstStatement).
  std::shared_ptr<DBLockKeeper> Lock(int32_t aAction, bool lockWithFirstStatement);
  // Engine idle with dbRefreshCache.
  void RenewRead();
  // Engine idle with dbFreeLocks.
  void FlushUpdates();

  // ---- library-internal
  // When locking is enabled, creates the lock component and attaches it to
  // the database file `aPath` (mode 1). Depth becomes 0.
  void Init(const std::string& aPath);
  // As Init, with a lock component supplied by the caller (anything with
  // Attach(path, mode) and Lock() by name), attached whatever the options.
  void InitWith(const std::string& aPath, ObjectPtr lockService);
  // Commits a keeper's transaction. True at the outermost level, whose
  // commit must reach the disk: the keeper calls SyncCommitted once it has
  // freed the lock between processes, so that other processes do not wait
  // for this one's disk write (the log keeps commits in order, so a later
  // commit's sync also holds every earlier one).
  bool DoCommit(dao::Transaction& tx);
  // Syncs the workspace's logs to the disk (dbForceOSFlush on its own).
  void SyncCommitted();
  void DoRollback(dao::Transaction& tx);
  // Lowers the depth; at 0 the engine frees its cached locks (idle
  // dbFreeLocks). Nothing below 1.
  void Undive();
  int32_t Depth() const { return depth_; }

 private:
  ObjectPtr lockService_;
  int32_t depth_ = 0;
};

}  // namespace qv
