#include "core/miLocks.h"

#include "core/DBLockKeeper.h"
#include "core/mErrorHandling.h"
#include "core/miDataBase.h"

namespace qv::miLocks {

std::shared_ptr<DBLockKeeper> LockUserDataBase(int32_t aAction) {
  return Guard(QV_HERE, [&] { return miDataBase::GetUserLockManager()->DoLock(aAction); });
}

}  // namespace qv::miLocks
