#include "platform/jet/JetCollation.h"

#include "platform/automation/VbaText.h"
#include "platform/jet/JetFunctionImpl.h"
#include "platform/jet/Sqlite.h"

namespace qv::jet {

namespace {

int CompareRu(void*, int na, const void* a, int nb, const void* b) {
  // A collation cannot report failure; CompareTextRu does not throw.
  return CompareTextRu(std::string_view(static_cast<const char*>(a), static_cast<size_t>(na)),
                       std::string_view(static_cast<const char*>(b), static_cast<size_t>(nb)));
}

}  // namespace

void RegisterJetCollation(sqlite3* db) {
  sqlite::Check(
      sqlite3_create_collation_v2(db, kJetCollation, SQLITE_UTF8, nullptr, CompareRu, nullptr), db);
}

}  // namespace qv::jet
