#pragma once
// Locking the user database for a multi-step write.
//
// WriteUnderLock: the one shape of a write under the database lock.
//
//   miLocks::WriteUnderLock(*db, [&] {
//     ... read, then write ...
//   });
//
// It takes the lock (LockUserDataBase(aAction): by default the exclusive
// lock between processes and a transaction in the workspace;
// lockaction::kTransaction: the transaction alone, as the event log takes
// it), opens a dao::Transaction(db, dao::kWriteLock) inside it and runs
// `body` there.
// - `body` returns: the scope commits, then the keeper commits (the
//   outermost keeper flushes the log to the disk).
// - `body` raises, or a commit fails: the scope rolls back, the keeper
//   rolls back (its own errors ignored) and the first error goes on; none
//   of body's writes stays.
// With locking off (the options file) the keeper does nothing and the
// scope alone makes body's writes one unit. Inside an open scope on `db`
// the scope joins it, so the enclosing scope decides the outcome.
// A write that needs no lock between processes opens the dao::Transaction
// itself; nothing else wraps the scope.

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "core/DBLockManager.h"

namespace qv::dao {
class Database;
}

namespace qv::miLocks {

inline constexpr std::string_view kModule = "miLocks";

// GetUserLockManager()->Lock(aAction, lockWithFirstStatement).
std::shared_ptr<DBLockKeeper> LockUserDataBase(int32_t aAction = lockaction::kDefault,
                                               bool lockWithFirstStatement = false);

// Runs `body` under the lock of `aAction` in one write-locked transaction
// scope on `db` (above); `lockWithFirstStatement`: on a server the scope's
// write lock goes with body's first statement (dao::TxOptions). Errors:
// those of taking the lock (3050) and of beginning the scope, then body's.
void WriteUnderLock(dao::Database& db, const std::function<void()>& body,
                    int32_t aAction = lockaction::kDefault, bool lockWithFirstStatement = false);

}  // namespace qv::miLocks
