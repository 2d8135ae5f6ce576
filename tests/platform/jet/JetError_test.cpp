#include "platform/jet/JetError.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

namespace qv::jet {
namespace {

TEST(JetError, TextsFillPlaceholdersInOrder) {
  EXPECT_EQ(JetErrorText(jeterr::kLockedByUser, {"HOST", "admin"}),
            "Could not update; currently locked by user 'admin' on machine 'HOST'.");
  EXPECT_EQ(JetErrorText(4242), "Reserved error (4242)");
  const Error e = testsupport::ExpectError(3015, "'Idx' isn't an index in this table.", [&] {
    ThrowJet(jeterr::kNotAnIndex, {"Idx"}, kSourceRecordset);
  });
  EXPECT_EQ(e.Source(), "DAO.Recordset");
}

// The constraint, lock and read-only failures a write meets are checked where
// the writes are (CatalogTest, tests/sql, TwoConnections, ReadOnlyFolder).
TEST(JetError, SqliteFailuresMapToJetNumbers) {
  struct Case {
    int code;
    const char* message;
    int32_t number;
    const char* text;  // a part of the description
  };
  const Case cases[] = {
      {SQLITE_CONSTRAINT_PRIMARYKEY, "UNIQUE constraint failed: T.rowid", 3022, "duplicate"},
      {SQLITE_CONSTRAINT_CHECK, "CHECK constraint failed: other", 3000,
       "CHECK constraint failed: other"},
      {SQLITE_ERROR, "no such table: main.Docs", 3078, "input table or query 'Docs'."},
      {SQLITE_ERROR, "no such table: Docs", 3078, "input table or query 'Docs'."},
      {SQLITE_ERROR, "no such column: x", 3061, "Too few parameters. Expected 1."},
      {SQLITE_ERROR, "no such function: Foo", 3085, "Undefined function 'Foo' in expression."},
      {SQLITE_BUSY_SNAPSHOT, "database is locked", 3218, "currently locked"},
      {SQLITE_ERROR, "near \"x\": syntax error", 3000, "near \"x\": syntax error"},
  };
  for (const Case& c : cases) {
    Error e = SqliteToJetError(c.code, c.message);
    EXPECT_EQ(e.Number(), c.number) << c.message;
    EXPECT_NE(e.Description().find(c.text), std::string::npos) << e.Description();
    EXPECT_EQ(e.Source(), "DAO.Database");
  }
}

}  // namespace
}  // namespace qv::jet
