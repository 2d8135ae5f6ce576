// Every Jet function of the table is there to call, by its Jet name through
// the translator, on a file and on the test server (where the extension
// made from the same table provides it).

#include <cctype>
#include <string>

#include "EngineTestSupport.h"
#include "platform/jet/JetError.h"
#include "platform/jet/JetFunctions.h"

namespace qv::jet::testing {
namespace {

using EngineFunctions = EngineTest;

// Each function with Null arguments, as many as it takes at least and at
// most: its own outcome (a value, 94 for Null ...) but never an undefined
// function or an engine's failure of its own.
TEST_F(EngineFunctions, EveryFunctionRunsByItsJetName) {
  engine_->Execute("CREATE TABLE One (Id LONG)");
  engine_->Execute("INSERT INTO One (Id) VALUES (1)");
  int called = 0;
  for (const JetFunction& f : JetFunctionTable()) {
    if (!std::isalpha(static_cast<unsigned char>(f.name.front()))) continue;  // an operator
    for (int n : {static_cast<int>(f.minArgs), static_cast<int>(f.maxArgs)}) {
      if (n < 0) n = f.minArgs + 3;
      std::string sql = "SELECT " + std::string(f.name) + "(";
      for (int i = 0; i < n; ++i) sql += i ? ", Null" : "Null";
      sql += ") FROM One";
      SCOPED_TRACE(sql);
      const Error e = testsupport::RaisedError([&] { Value(sql); });
      EXPECT_NE(e.Number(), jeterr::kUndefinedFunction) << e.Description();
      EXPECT_NE(e.Number(), jeterr::kReserved) << e.Description();
      ++called;
    }
  }
  EXPECT_GT(called, 150);
}

}  // namespace
}  // namespace qv::jet::testing
