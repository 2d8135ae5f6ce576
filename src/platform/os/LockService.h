#pragma once
// The lock service: an exclusive lock between processes on a database,
// through a lock file beside it (the database path + ".lock") locked with
// flock(2). Attach(path, 1) names the database; Lock() waits up to the
// service's timeout and returns a HeldLock; the lock is freed when the last
// reference to that object is dropped.
//
// Within one process: nested Lock() calls of one thread on one service are
// counted and succeed at once (the file is freed when the outermost hold
// ends). Another thread, or another LockService on the same database, waits
// as another process does: each thread's hold has its own open file
// description, and flock excludes descriptions, not processes.
//
// Created by name as "Qv_DBLock.LockService" (Attach, Lock, TimeoutMs,
// LockFilePath, HoldCount). The lock file is created when missing and never
// deleted (deleting it would let two holders lock two different files); its
// first 64 bytes, mapped by every holder, hold the counts of SyncCommitted
// and a count of the lock's releases: a waiter sleeps on it until a holder
// frees the lock and wakes it, and tries again at least every 20 ms (a
// holder that dies frees the lock without waking anyone). A child made by
// fork() while a lock is held shares that hold.
//
// A server location (a postgresql:// URI or a libpq connection string, as
// jet::IsServerLocation tells) locks on the server instead: a
// session-level advisory lock held by a session of the service's own (not
// the database's), keyed by the database, its schema and kServerLockName
// (jet::AdvisoryLockKey), so every workstation takes the same lock. The
// server frees it when the holder's session ends: a client that dies loses
// its lock at once. Nesting, waiting and 3050 are as with the file; each
// thread's hold has its own session, and the session of the last hold to
// end is kept for the next. The wait is the server's (its lock_timeout):
// a waiter is woken when the lock is freed. There is no lock file
// (LockFilePath is ""), SyncCommitted does nothing (the server makes its
// commits durable), and a child made by fork() neither frees nor uses its
// parent's session.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "platform/automation/Object.h"

namespace qv::jet {
class PgLockSession;
}

namespace qv::os {

// Jet's "Could not lock file." number: the lock stayed held by another
// holder for the whole wait, or the lock file could not be opened or
// locked. The description names the lock file and the wait in seconds.
inline constexpr int32_t kCouldNotLockFile = 3050;
inline constexpr int32_t kDefaultLockTimeoutMs = 30000;
inline constexpr std::string_view kLockServiceProgId = "Qv_DBLock.LockService";
// The name the database lock's key on a server is derived from.
inline constexpr std::string_view kServerLockName = "Qv_DBLock";

namespace detail {
struct LockFileState;
}

// One hold of the lock; not creatable by name. Releasing never throws.
class HeldLock : public Object {
  QV_DECLARE_CLASS(HeldLock)

 public:
  // For LockService only: takes over one counted hold of `holder`.
  HeldLock(std::shared_ptr<detail::LockFileState> state, std::thread::id holder);
  ~HeldLock() override;
  HeldLock(const HeldLock&) = delete;
  HeldLock& operator=(const HeldLock&) = delete;

  std::string LockFilePath() const;

 private:
  std::shared_ptr<detail::LockFileState> state_;
  std::thread::id holder_;
};

class LockService : public Object {
  QV_DECLARE_CLASS(LockService)

 public:
  // The timeout starts as $QV_LOCK_TIMEOUT_MS when that is a whole number
  // of milliseconds (0 or more), else kDefaultLockTimeoutMs.
  LockService();

  // Attaches to the database at `aPath` (a file's path or a server
  // location; the server is not reached before Lock). `aMode` 1 (exclusive
  // lock) is the only mode. Error 5 for an empty path, another mode, or while this
  // service's locks are held.
  void Attach(const std::string& aPath, int32_t aMode);

  // Takes the lock, waiting up to TimeoutMs() while another process, thread
  // or service holds it (0: one try). Error 3050 when it stays held or the
  // lock file cannot be opened (or the server cannot be reached or fails);
  // error 5 before Attach.
  std::shared_ptr<HeldLock> Lock();

  // On a server, for a thread holding no lock of this service: a hold
  // taken by a database session's transaction instead of a session of the
  // service's, so that the lock goes with that transaction's first request.
  // `takeWithBegin(key, timeoutMs, busyMessage)` asks the transaction to
  // take the service's key (jet::Engine::LockWithBegin); the server frees
  // it when the transaction ends, which must come before this hold's end.
  // A nested Lock of the thread calls `sendBegin` first (the key taken
  // then, its errors raised there) and is counted. Null, nothing done, on
  // a file, with a timeout of 0, while the thread holds a lock, before a
  // session of the service has taken the key (which the database's session
  // must name alike), or when `takeWithBegin` declines.
  std::shared_ptr<HeldLock> LockWithTransaction(
      const std::function<bool(int64_t, int32_t, const std::string&)>& takeWithBegin,
      std::function<void()> sendBegin);

  int32_t TimeoutMs() const { return timeoutMs_; }
  // Error 5 for a negative value.
  void SetTimeoutMs(int32_t ms);
  // The lock file; "" before Attach and on a server.
  std::string LockFilePath() const;
  // The calling thread's nested holds on this service (0 when it holds none).
  int32_t HoldCount() const;

  // Group commit, for C++ callers: makes a commit of the attached database
  // that has just ended reach the disk, where `sync` syncs its log. When
  // another process (or service on the file) began a sync of the log after
  // this call started, that sync holds this commit too: the call waits for
  // it to end instead of syncing again. Otherwise it runs `sync` and tells
  // the waiters. The counts of syncs begun and ended live in the lock file,
  // shared by every process; a sync that does not end within `waitMs` (its
  // process died) is not waited for. Errors: those of `sync`; without
  // Attach, or when the lock file cannot be shared, it runs `sync`; on a
  // server it does nothing.
  static constexpr int64_t kSyncWaitMs = 500;
  void SyncCommitted(const std::function<void()>& sync, int64_t waitMs = kSyncWaitMs);

 private:
  std::shared_ptr<HeldLock> LockOnServer(std::unique_ptr<jet::PgLockSession> spareSession);

  std::shared_ptr<detail::LockFileState> state_;
  int32_t timeoutMs_;
};

}  // namespace qv::os
