#pragma once
// Lookups of the rights system other subsystems need.

#include <string>
#include <string_view>

namespace qv::miPerms {

inline constexpr std::string_view kModule = "miPerms";

// The login of the user `aUserID` ("" for 0 and for an unknown user),
// loaded through the factory's DBPermissions. The last identifier found and
// its login are kept per thread, so a run of entries by one user asks once.
// They are read again after the user database's data generation moved
// (another connection's or workstation's commit, a rollback;
// dao::Database::DataGeneration, on a file and on a server alike),
// after ForgetUserName and after a reset of the session.
std::string GetUserName(double aUserID);
// Drops the kept login; the writers of PermUsers call it.
void ForgetUserName();

}  // namespace qv::miPerms
