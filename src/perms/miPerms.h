#pragma once
// Lookups of the rights system other subsystems need.

#include <string>
#include <string_view>

namespace qv::miPerms {

inline constexpr std::string_view kModule = "miPerms";

// The login of the user `aUserID` ("" for 0 and for an unknown user),
// loaded through the factory's DBPermissions. The last identifier found and
// its login are kept per thread (forgotten when the session is reset), so a
// run of entries by one user asks once.
std::string GetUserName(double aUserID);

}  // namespace qv::miPerms
