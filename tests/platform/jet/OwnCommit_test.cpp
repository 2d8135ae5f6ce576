#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "JetTestSupport.h"

namespace qv::jet::testing {
namespace {

void Exec(sqlite3* db, const std::string& sql) {
  char* error = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
  const std::string message = error ? error : "";
  sqlite3_free(error);
  ASSERT_EQ(rc, SQLITE_OK) << sql << ": " << message;
}

// After a commit of its own the catalogue may skip reading the schema
// version (Catalog::NoteCommitStart, NoteCommitEnd), but a table that
// another connection made, or that the transaction made without the
// catalogue, is found by the next look-up all the same. The catalogue runs
// on a connection of the test's, so that the other connection's commit can
// land between the commit's step, which lets go of the write lock, and the
// catalogue's note of it.
TEST_F(JetTest, LookupsAfterAnOwnCommitSeeEveryCommitSinceTheLastLookup) {
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open_v2(folder_.File("Test.mdb").c_str(), &raw,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr),
            SQLITE_OK);
  sqlite3_busy_timeout(raw, 5000);
  db_->ExecuteNative("CREATE TABLE rows (x INTEGER)");
  int changes = 0;
  {
    Catalog catalog(raw, [&] { ++changes; });
    const struct {
      const char* ownStatement;  // run in the transaction; "" for none
      const char* othersTable;   // made by the other connection ...
      bool beforeNote;           // ... after the commit's step, before NoteCommitEnd
      bool inSnapshot;           // look it up inside a read transaction
      const char* table;         // looked up then
    } steps[] = {
        {"INSERT INTO rows VALUES (1)", "", false, false, "rows"},
        {"INSERT INTO rows VALUES (2)", "after_own_rows", true, false, "after_own_rows"},
        // Committing nothing writes nothing to the log: the other commit is
        // then the only one since the transaction began.
        {"", "after_nothing", true, false, "after_nothing"},
        {"CREATE TABLE made_inside (y INTEGER)", "", false, false, "made_inside"},
        {"INSERT INTO rows VALUES (3)", "after_note", false, false, "after_note"},
        {"INSERT INTO rows VALUES (4)", "in_snapshot", false, true, "in_snapshot"},
    };
    for (const auto& step : steps) {
      SCOPED_TRACE(std::string(step.ownStatement) + " / " + step.othersTable);
      ASSERT_NE(catalog.FindTable("rows"), nullptr);  // the version as it stands
      const std::string others =
          *step.othersTable ? std::string("CREATE TABLE ") + step.othersTable + " (z INTEGER)" : "";
      Exec(raw, "BEGIN IMMEDIATE");
      if (*step.ownStatement) Exec(raw, step.ownStatement);
      catalog.NoteCommitStart();
      Exec(raw, "COMMIT");
      if (step.beforeNote && !others.empty()) db_->ExecuteNative(others);
      catalog.NoteCommitEnd();
      if (!step.beforeNote && !others.empty()) db_->ExecuteNative(others);
      if (step.inSnapshot) Exec(raw, "BEGIN; SELECT count(*) FROM rows");
      EXPECT_NE(catalog.FindTable(step.table), nullptr);
      if (step.inSnapshot) Exec(raw, "COMMIT");
    }
  }
  // Every change came from elsewhere than the catalogue's own calls.
  EXPECT_EQ(changes, 5);
  sqlite3_close(raw);
}

}  // namespace
}  // namespace qv::jet::testing
