#pragma once
// The collation of Jet text: case-insensitive, in Russian alphabetical order.
// The engine registers it with SQLite and declares every text column with it;
// the translator adds it to text expressions that are not plain columns.

namespace qv::jet {

inline constexpr const char* kJetCollation = "JETRU";

}  // namespace qv::jet
