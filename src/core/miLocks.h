#pragma once
// Locking the user database for a multi-step write.

#include <cstdint>
#include <memory>
#include <string_view>

#include "core/DBLockManager.h"

namespace qv::miLocks {

inline constexpr std::string_view kModule = "miLocks";

// GetUserLockManager()->DoLock(aAction).
std::shared_ptr<DBLockKeeper> LockUserDataBase(int32_t aAction = lockaction::kDefault);

}  // namespace qv::miLocks
