#include "perms/miPerms.h"

#include "core/mErrorHandling.h"
#include "core/miDBProviderFactory.h"
#include "core/miDataBase.h"
#include "platform/dao/Database.h"
#include "platform/jet/JetConnection.h"

namespace qv::miPerms {
namespace {

struct LastUser {
  uint64_t connection = 0;  // jet::Connection::Serial of the user database
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

}  // namespace

void ForgetUserName() {
  Kept() = LastUser{};
}

std::string GetUserName(double aUserID) {
  return Guard(QV_HERE, [&] {
    if (aUserID == 0) return std::string();
    LastUser& kept = Kept();
    // A server database tells no data generation (another workstation's
    // commit is not signalled): there the login is read every time.
    const auto db = miDataBase::GetUserDataBase();
    jet::Connection* conn = db->IsServer() ? nullptr : &db->Connection();
    const uint64_t generation = conn ? conn->DataGeneration() : 0;
    if (conn && kept.id == aUserID && kept.connection == conn->Serial() &&
        kept.generation == generation)
      return kept.login;
    const Variant user = miDBProviderFactory::IntGetDBPermissions()->CallV("LoadUser", aUserID);
    if (!user.IsObject() || user.IsNothing()) return std::string();
    std::string login = CStr(user.AsObject()->Get("Login"));
    if (!conn) return login;
    kept = LastUser{conn->Serial(), generation, aUserID, std::move(login)};
    return kept.login;
  });
}

}  // namespace qv::miPerms
