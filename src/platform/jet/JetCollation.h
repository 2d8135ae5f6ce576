#pragma once
// The collation of every Jet text column: Russian order, case-insensitive.

struct sqlite3;

namespace qv::jet {

inline constexpr const char* kJetCollation = "JETRU";

// Registers kJetCollation on a connection (CompareTextRu of the automation
// layer, so that SQL and VBA's text comparisons agree).
void RegisterJetCollation(sqlite3* db);

}  // namespace qv::jet
