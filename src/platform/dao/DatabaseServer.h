#pragma once
// What the data-access objects share about databases on a server (for
// their own .cpp files only).

#include <string_view>

namespace qv::dao {

// Raises 3251 for an operation a database file has and a server database
// does not have yet; `operation` names it ("Database.SchemaVersion" ...).
[[noreturn]] void RaiseNotOnServer(std::string_view operation);

}  // namespace qv::dao
