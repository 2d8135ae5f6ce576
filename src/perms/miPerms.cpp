#include "perms/miPerms.h"

#include "core/mErrorHandling.h"
#include "core/miDBProviderFactory.h"
#include "core/miDataBase.h"
#include "platform/dao/Database.h"
#include "platform/jet/JetEngine.h"

namespace qv::miPerms {
namespace {

struct LastUser {
  uint64_t connection = 0;  // dao::Database::ConnectionSerial of the user database
  uint64_t generation = 0;  // its DataGeneration when the login was read
  double id = 0;
  std::string login;
};

LastUser& Kept() {
  thread_local LastUser kept;
  return kept;
}

// Another data folder has other users.
[[maybe_unused]] const bool kForgetsUserOnReset =
    (miDataBase::AddSessionResetListener(&ForgetUserName), true);
// The login kept is read again when another workstation changes the users.
const jet::CommitsWatch kUsers{"PermUsers"};

}  // namespace

void ForgetUserName() {
  Kept() = LastUser{};
}

std::string GetUserName(double aUserID) {
  return Guard(QV_HERE, [&] {
    if (aUserID == 0) return std::string();
    LastUser& kept = Kept();
    const auto db = miDataBase::GetUserDataBase();
    const uint64_t connection = db->ConnectionSerial(), generation = db->DataGeneration(kUsers);
    if (kept.id == aUserID && kept.connection == connection && kept.generation == generation)
      return kept.login;
    const Variant user = miDBProviderFactory::IntGetDBPermissions()->CallV("LoadUser", aUserID);
    if (!user.IsObject() || user.IsNothing()) return std::string();
    std::string login = CStr(user.AsObject()->Get("Login"));
    kept = LastUser{connection, generation, aUserID, std::move(login)};
    return kept.login;
  });
}

}  // namespace qv::miPerms
