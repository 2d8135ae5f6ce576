#include "platform/jet/JetError.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

namespace qv::jet {
namespace {

TEST(JetError, TextsFillPlaceholdersInOrder) {
  EXPECT_EQ(JetErrorText(jeterr::kFileNotFound, {"/d/Quivane.mdb"}),
            "Could not find file '/d/Quivane.mdb'.");
  EXPECT_EQ(JetErrorText(jeterr::kLockedByUser, {"HOST", "admin"}),
            "Could not update; currently locked by user 'admin' on machine 'HOST'.");
  EXPECT_EQ(JetErrorText(jeterr::kNoCurrentRecord), "No current record.");
  EXPECT_EQ(JetErrorText(4242), "Reserved error (4242)");
  const Error e = testsupport::ExpectError(3015, "'Idx' isn't an index in this table.", [&] {
    ThrowJet(jeterr::kNotAnIndex, {"Idx"}, kSourceRecordset);
  });
  EXPECT_EQ(e.Source(), "DAO.Recordset");
}

TEST(JetError, SqliteFailuresMapToJetNumbers) {
  struct Case {
    int code;
    const char* message;
    int32_t number;
    const char* text;  // a part of the description
  };
  const Case cases[] = {
      {SQLITE_CONSTRAINT_UNIQUE, "UNIQUE constraint failed: T.a", 3022, "duplicate values"},
      {SQLITE_CONSTRAINT_PRIMARYKEY, "UNIQUE constraint failed: T.rowid", 3022, "duplicate"},
      {SQLITE_CONSTRAINT_NOTNULL, "NOT NULL constraint failed: Persons.Name", 3314,
       "The field 'Persons.Name' cannot contain a Null value"},
      {SQLITE_CONSTRAINT_CHECK, "CHECK constraint failed: jet_size:T.Name", 3163,
       "The field is too small"},
      {SQLITE_CONSTRAINT_CHECK, "CHECK constraint failed: jet_zls:T.Name", 3315,
       "Field 'T.Name' cannot be a zero-length string."},
      {SQLITE_CONSTRAINT_CHECK, "CHECK constraint failed: jet_type:T.N", 3464,
       "Data type mismatch"},
      {SQLITE_CONSTRAINT_CHECK, "CHECK constraint failed: jet_pk:T.Id", 3058, "Null value"},
      {SQLITE_CONSTRAINT_CHECK, "CHECK constraint failed: other", 3000,
       "CHECK constraint failed: other"},
      {SQLITE_ERROR, "no such table: main.Docs", 3078, "input table or query 'Docs'."},
      {SQLITE_ERROR, "no such table: Docs", 3078, "input table or query 'Docs'."},
      {SQLITE_ERROR, "no such column: x", 3061, "Too few parameters. Expected 1."},
      {SQLITE_ERROR, "no such function: Foo", 3085, "Undefined function 'Foo' in expression."},
      {SQLITE_BUSY, "database is locked", 3218, "Could not update; currently locked."},
      {SQLITE_BUSY_SNAPSHOT, "database is locked", 3218, "currently locked"},
      {SQLITE_READONLY, "attempt to write a readonly database", 3027, "read-only"},
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
