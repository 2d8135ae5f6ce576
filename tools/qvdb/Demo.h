#pragma once
// `qvdb demo`: a user's first steps on the default data folder (or --data):
// creates the folder when it has no database (as `qvdb init` does, recording
// it in the registry), generates a small sample when it has no documents,
// then runs a few queries through the DAO layer, uses record objects by
// ProgID, and calls the library's public classes when they are registered
// (skipping them otherwise), printing what each returns.

#include <iosfwd>
#include <optional>
#include <string>

namespace qvdb {

// Returns 0, or 1 when a step failed (its error is printed and the walk
// goes on).
int RunDemo(const std::optional<std::string>& data, std::ostream& out);

}  // namespace qvdb
