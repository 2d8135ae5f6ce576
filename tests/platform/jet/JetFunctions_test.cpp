#include "platform/jet/JetFunctions.h"

#include "JetTestSupport.h"

namespace qv::jet::testing {
namespace {

// The values, errors and Null rules of each function are checked in
// tests/sql/native_functions.test; here the aggregates and the registration.
using JetFunctionsTest = JetTest;

TEST_F(JetFunctionsTest, FirstAndLastFollowRowOrder) {
  db_->ExecuteNative(
      "CREATE TABLE t (g INTEGER, v); INSERT INTO t VALUES (1, 'a'), (1, NULL), (1, 'c'), "
      "(2, NULL), (2, 'e')");
  Statement s = db_->PrepareNative(
      "SELECT g, jet_first(v), jet_last(v) FROM (SELECT * FROM t ORDER BY rowid) GROUP BY g "
      "ORDER BY g");
  std::string out;
  while (s.Step())
    out += s.Value(0).Describe() + " " + s.Value(1).Describe() + " " + s.Value(2).Describe() + ";";
  EXPECT_EQ(out, "Long 1 String \"a\" String \"c\";Long 2 Null String \"e\";");
  EXPECT_EQ(Native("SELECT jet_first(v) FROM t WHERE 0"), "Null");
}

// Every entry but the choices is registered under its SQLite name
// and takes as many arguments as the table says.
TEST_F(JetFunctionsTest, EveryEntryIsRegistered) {
  for (const JetFunction& f : JetFunctionTable()) {
    if (f.lazy) continue;  // written as a CASE: nothing registered
    if (!f.impl && !f.aggregate) ADD_FAILURE() << f.name << " has no implementation";
    for (int n : {static_cast<int>(f.minArgs), static_cast<int>(f.maxArgs)}) {
      if (n < 0) n = f.minArgs + 3;
      std::string sql = "SELECT " + std::string(f.sqliteName) + "(";
      for (int i = 0; i < n; ++i) sql += i ? ", NULL" : "NULL";
      sql += ")";
      const int32_t number = testsupport::RaisedError([&] { Native(sql); }).Number();
      EXPECT_NE(number, jeterr::kUndefinedFunction) << sql;
      EXPECT_NE(number, jeterr::kReserved) << sql;  // e.g. a wrong argument count
    }
  }
}

}  // namespace
}  // namespace qv::jet::testing
