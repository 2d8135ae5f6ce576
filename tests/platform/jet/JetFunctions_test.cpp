#include "platform/jet/JetFunctions.h"

#include "JetTestSupport.h"

namespace qv::jet::testing {
namespace {

// The values, errors and Null rules of each function, the aggregates
// included, are checked in tests/sql/native_functions.test; here the
// registration of every entry.
using JetFunctionsTest = JetTest;

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
