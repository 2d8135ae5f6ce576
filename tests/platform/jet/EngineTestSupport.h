#pragma once
// A new database per test reached through the engine seam (jet::Engine):
// a file of a folder of its own, or, when QV_JET_TEST_SERVER is set (the
// program's second run, `platform_jet_server`), a schema of the test server
// (QV_TEST_PG) made with the Jet functions of the script QV_JET_TEST_SQL
// names and dropped after the test. In that run without QV_TEST_PG the
// program exits 77 (skipped).
//
// Only the suites whose fixture derives from EngineTest (named Engine...)
// run on the server: the others are about the file connection itself (its
// write-ahead log, file locks, native SQLite statements, the SQLite
// emitter's text, the functions' SQLite registration) or touch no database.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/jet/JetEngine.h"
#include "support/PgTestProcess.h"
#include "support/ServerRun.h"
#include "support/TestSupport.h"

namespace qv::jet::testing {

using testsupport::ExpectError;
using testsupport::TempFolder;

class EngineTest : public ::testing::Test {
 protected:
  static bool OnServer() {
    static const bool onServer = testsupport::RunsOnServer("QV_JET_TEST_SERVER");
    return onServer;
  }

  EngineTest() : location_(MakeLocation()) { engine_ = OpenEngine(location_, {.create = true}); }

  // Another connection to the test's database.
  std::shared_ptr<Engine> OpenOther(const EngineOptions& options = {}) {
    return OpenEngine(location_, options);
  }

  // The single value of a Jet statement, as Variant::Describe renders it.
  std::string Value(const std::string& jetSql, Engine* on = nullptr) {
    auto s = (on ? on : engine_.get())->Prepare(jetSql);
    if (!s->Step()) return "(no row)";
    return s->Value(0).Describe();
  }

  // Whether `done` holds within a second: another session's change of the
  // schema reaches a server session a moment after the commit returns.
  static bool Eventually(const std::function<bool()>& done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (!done()) {
      if (std::chrono::steady_clock::now() > until) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

  TempFolder folder_;
  std::unique_ptr<testsupport::TestSchema> schema_;
  std::string location_;
  std::shared_ptr<Engine> engine_;

 private:
  std::string MakeLocation() {
    if (!OnServer()) return folder_.File("Test.mdb");
    const char* functions = std::getenv("QV_JET_TEST_SQL");
    schema_ = std::make_unique<testsupport::TestSchema>(
        std::getenv("QV_TEST_PG"), "qv_jett_",
        functions != nullptr && *functions != '\0' ? functions : nullptr);
    return schema_->Location();
  }
};

}  // namespace qv::jet::testing
