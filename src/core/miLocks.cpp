#include "core/miLocks.h"

#include "core/DBLockKeeper.h"
#include "core/mErrorHandling.h"
#include "core/miDataBase.h"
#include "platform/dao/Transaction.h"

namespace qv::miLocks {

std::shared_ptr<DBLockKeeper> LockUserDataBase(int32_t aAction, bool lockWithFirstStatement) {
  return Guard(QV_HERE, [&] {
    return miDataBase::GetUserLockManager()->Lock(aAction, lockWithFirstStatement);
  });
}

void WriteUnderLock(dao::Database& db, const std::function<void()>& body, int32_t aAction,
                    bool lockWithFirstStatement) {
  std::shared_ptr<DBLockKeeper> keeper = LockUserDataBase(aAction, lockWithFirstStatement);
  try {
    dao::Transaction tx(
        db, lockWithFirstStatement ? dao::kWriteLockWithFirstStatement : dao::kWriteLock);
    body();
    tx.Commit();
  } catch (...) {
    try {
      keeper->Rollback();
    } catch (...) {
      // The body's error is the one the caller needs.
    }
    throw;
  }
  keeper->Commit();
}

}  // namespace qv::miLocks
