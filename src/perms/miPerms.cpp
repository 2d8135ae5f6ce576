#include "perms/miPerms.h"

#include "core/mErrorHandling.h"
#include "core/miDBProviderFactory.h"
#include "core/miDataBase.h"

namespace qv::miPerms {
namespace {

struct LastUser {
  double id = 0;
  std::string login;
};

LastUser& Kept() {
  thread_local LastUser kept;
  return kept;
}

void ForgetUser() {
  Kept() = LastUser{};
}

// Another data folder has other users.
[[maybe_unused]] const bool kForgetsUserOnReset =
    (miDataBase::AddSessionResetListener(&ForgetUser), true);

}  // namespace

std::string GetUserName(double aUserID) {
  return Guard(QV_HERE, [&] {
    if (aUserID == 0) return std::string();
    LastUser& kept = Kept();
    if (kept.id == aUserID) return kept.login;
    const Variant user = miDBProviderFactory::IntGetDBPermissions()->CallV("LoadUser", aUserID);
    if (!user.IsObject() || user.IsNothing()) return std::string();
    kept = LastUser{aUserID, CStr(user.AsObject()->Get("Login"))};
    return kept.login;
  });
}

}  // namespace qv::miPerms
