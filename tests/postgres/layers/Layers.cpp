// Workstations on one data folder on the PostgreSQL server QV_TEST_PG
// names: worker processes (qv_pg_layers_worker, the first argument) draw
// counters and identifiers at once, and no value may be handed out twice.
// (Each caller's single-session results on a server folder are checked by
// the subsystem suites' server runs.) Without QV_TEST_PG the program says
// so and exits 77 (skipped).

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/CoreTestSupport.h"
#include "core/DBCommon.h"
#include "core/mQvDaoDataBase.h"
#include "core/miDataBase.h"
#include "core/schema/SchemaBuilder.h"
#include "platform/os/RegistryStore.h"
#include "support/PgTestProcess.h"

namespace qv::pgtest {
namespace {

namespace fs = std::filesystem;

std::string gConninfo;          // QV_TEST_PG
std::string gWorker;            // the worker program
const char* gScript = nullptr;  // the Jet functions' script of the build

// Points the thread's session at `folder` through a registry file of the
// test's own (QV_REGISTRY).
void UseFolder(const fs::path& registry, const std::string& folder) {
  os::RegistryStore(registry).SetValue(os::RegistryRoot::kLocalMachine, coretest::kGeneralKey,
                                       "DataBasePath", os::RegistryValue::String(folder));
  miDataBase::ResetSessionForThread();
}

class LayersTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_.emplace(gConninfo, "qv_layers_", gScript);
    schema::BuildDataFolder(server_->Location());
  }
  static void TearDownTestSuite() {
    miDataBase::ResetSessionForThread();
    server_.reset();
  }
  void TearDown() override { miDataBase::ResetSessionForThread(); }

  static inline std::optional<testsupport::ServerFolder> server_;
  static inline testsupport::TempFolder registryFolder_{"qvlayers-registry"};
  const fs::path registry_ = registryFolder_.Path() / "registry.ini";
  testsupport::ScopedEnv env_{"QV_REGISTRY", registry_.c_str()};
};

// The numbers after `word` in a worker's line "word N N ...".
std::vector<int64_t> Numbers(const std::string& line, const std::string& word) {
  std::istringstream in(line);
  std::string first;
  in >> first;
  std::vector<int64_t> out;
  if (first != word) return out;
  for (int64_t n; in >> n;) out.push_back(n);
  return out;
}

// Workstations drawing at once: every counter value and every identifier
// is handed out once, and the counter ends at the number of draws.
TEST_F(LayersTest, WorkstationsDrawingAtOnceNeverGetTheSameValue) {
  constexpr int kWorkers = 4, kDraws = 25;
  UseFolder(registry_, server_->Location());
  const double before = mQvDaoDataBase::QvGetMaximumFromTable("WjSoftDicts", "ID");
  miDataBase::ResetSessionForThread();
  std::vector<std::unique_ptr<testsupport::WorkerProcess>> workers;
  for (int w = 0; w < kWorkers; ++w)
    workers.push_back(std::make_unique<testsupport::WorkerProcess>(
        gWorker, std::vector<std::string>{std::to_string(kDraws)},
        std::vector<std::string>{"QV_REGISTRY=" + registry_.string()}));
  std::vector<int64_t> counters, ids;
  for (auto& w : workers) {
    const std::vector<int64_t> c = Numbers(w->ReadLine(), "counters");
    const std::vector<int64_t> i = Numbers(w->ReadLine(), "ids");
    EXPECT_EQ(c.size(), size_t{kDraws}) << w->Join();
    EXPECT_EQ(i.size(), size_t{kDraws});
    counters.insert(counters.end(), c.begin(), c.end());
    ids.insert(ids.end(), i.begin(), i.end());
  }
  for (auto& w : workers) EXPECT_EQ(w->Join(), "exit 0: ");
  const std::set<int64_t> distinctCounters(counters.begin(), counters.end());
  const std::set<int64_t> distinctIds(ids.begin(), ids.end());
  EXPECT_EQ(distinctCounters.size(), counters.size());
  EXPECT_EQ(distinctIds.size(), ids.size());
  EXPECT_EQ(counters.size(), size_t{kWorkers * kDraws});
  EXPECT_EQ(*distinctCounters.rbegin(), kWorkers * kDraws);
  EXPECT_EQ(*distinctIds.rbegin(), static_cast<int64_t>(before) + kWorkers * kDraws);
  EXPECT_EQ(DBCommon().GetCurrCounter(9, 2030), kWorkers * kDraws);
}

}  // namespace
}  // namespace qv::pgtest

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const char* conninfo = qv::testsupport::TestServerOrSkip();
  if (conninfo == nullptr) return 77;
  if (argc < 2) {
    std::cerr << "usage: qv_pg_layers WORKER_PROGRAM [JET_FUNCTIONS_SCRIPT]\n";
    return 2;
  }
  qv::pgtest::gConninfo = conninfo;
  qv::pgtest::gWorker = argv[1];
  qv::pgtest::gScript = qv::testsupport::FunctionsScriptOrSkip(
      argc, argv, 2, "a server folder's defaults are written through them");
  if (qv::pgtest::gScript == nullptr) return 77;
  return RUN_ALL_TESTS();
}
