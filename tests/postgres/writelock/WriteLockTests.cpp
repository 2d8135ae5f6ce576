// Write-locked scopes (dao::Transaction with kWriteLock) on a database on the
// PostgreSQL server QV_TEST_PG names, in a schema of its own: such a scope
// excludes every other connection's write-locked scope of that database
// from its begin to its end, a wait that runs out gives 3218, and a client
// that dies inside one leaves no lock behind. Worker processes
// (qv_pg_writelock_worker, the first argument) stand for workstations.
// Without QV_TEST_PG the program says so and exits 77 (skipped).

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/automation/Error.h"
#include "platform/automation/Variant.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/Database.h"
#include "platform/dao/Transaction.h"
#include "platform/dao/Workspace.h"
#include "platform/jet/JetEngine.h"
#include "platform/jet/PgLockSession.h"
#include "support/PgTestProcess.h"
#include "support/TestSupport.h"

namespace qv::dao {
namespace {

using Clock = std::chrono::steady_clock;
using testsupport::RaisedError;

std::string gConninfo;  // QV_TEST_PG
std::string gWorker;    // the worker program

using Admin = testsupport::PgAdmin;

// A worker process of qv_pg_writelock_worker.
class Worker : public testsupport::WorkerProcess {
 public:
  explicit Worker(const std::vector<std::string>& args) : WorkerProcess(gWorker, args) {}
};

constexpr int kTimeoutMs = 300;

class ServerWriteLockTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    admin_ = new Admin(gConninfo);
    schema_ = "qv_wlock_" + std::to_string(::getpid());
    admin_->Value("DROP SCHEMA IF EXISTS " + schema_ + " CASCADE");
    admin_->Value("CREATE SCHEMA " + schema_);
    server_ = gConninfo + " options='-c search_path=" + schema_ + "'";
    key_ =
        jet::AdvisoryLockKey(admin_->Value("SELECT current_database()"), schema_, "Qv_WriteLock");
    DBEngine::ForThread()->SetLockTimeoutMs(kTimeoutMs);
    auto db = DBEngine::ForThread()->CreateDatabase(server_, Variant(), Variant());
    db->ExecuteSql("CREATE TABLE Drawn (ID LONG PRIMARY KEY, Worker LONG)");
    db->Close();
  }
  static void TearDownTestSuite() {
    admin_->Value("DROP SCHEMA " + schema_ + " CASCADE");
    delete admin_;
  }
  void SetUp() override { admin_->Value("DELETE FROM " + schema_ + ".\"Drawn\""); }

  static DatabasePtr Open(bool readOnly = false) {
    return DBEngine::ForThread()->OpenDatabase(server_, Variant(false), Variant(readOnly),
                                               Variant());
  }
  static int Count(const std::string& what) {
    return std::stoi(admin_->Value("SELECT " + what + " FROM " + schema_ + ".\"Drawn\""));
  }

  static inline Admin* admin_ = nullptr;
  static inline std::string schema_, server_;
  static inline int64_t key_ = 0;
};

// A second connection's begin while the first connection's scope is open:
// the error it gets (0 none), and whether, after the first scope ends, the
// second one writes under a write-locked scope (an aborted begin left no
// transaction open behind it).
TEST_F(ServerWriteLockTest, BeginsWhileAnotherScopeIsOpen) {
  struct Case {
    const char* name;
    TxOptions first;
    TxOptions second;
    bool secondReadOnly;
    bool commitFirst;  // the first scope commits (else rolls back) before the retry
    int32_t error;
  };
  const Case cases[] = {
      {"write lock against write lock", kWriteLock, kWriteLock, false, true, 3218},
      {"write lock after a rollback", kWriteLock, kWriteLock, false, false, 3218},
      {"read scope takes no lock", kRead, kWriteLock, false, true, 0},
      {"a plain scope beside a write lock", kWriteLock, kRead, false, true, 0},
      {"a read-only database takes none", kWriteLock, kWriteLock, true, true, 0},
      {"a nested write lock inside a read scope",
       {.immediate = true, .join = TxJoin::kNested},
       kWriteLock,
       false,
       true,
       3218},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto a = Open();
    auto b = Open(c.secondReadOnly);
    std::optional<Transaction> outer;
    // The nested case: a read scope first, the write lock a level inside it.
    if (c.first.join == TxJoin::kNested) outer.emplace(*a, kRead);
    {
      auto first = std::make_unique<Transaction>(*a, c.first);
      EXPECT_EQ(admin_->AdvisoryLocks(key_, true), c.first.immediate ? 1 : 0);
      const auto began = Clock::now();
      const Error e = RaisedError([&] { Transaction second(*b, c.second); });
      EXPECT_EQ(e.Number(), c.error) << e.Description();
      const auto waited =
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - began).count();
      if (c.error == 3218) {
        EXPECT_GE(waited, kTimeoutMs - 20);
      }
      if (c.commitFirst)
        first->Commit();
      else
        first->Rollback();
    }
    if (outer) outer->Commit();
    EXPECT_EQ(admin_->AdvisoryLocks(key_, true), 0);
    if (!c.secondReadOnly) {
      Transaction retry(*b, kWriteLock);
      EXPECT_TRUE(Transaction::WriteLocked(*b));
      EXPECT_EQ(b->ExecuteSql("INSERT INTO Drawn (ID, Worker) VALUES (1, 0)"), 1);
      retry.Commit();
      EXPECT_EQ(Count("count(*)"), 1);
      b->ExecuteSql("DELETE FROM Drawn");
    }
    EXPECT_EQ(admin_->AdvisoryLocks(key_, true), 0);
  }
}

// A scope whose lock goes with its first statement (the log's entries):
// nothing is taken at its begin, the statement (or a statement held for
// the commit: the commit) takes it in its own round trip and raises 3218
// when another scope holds it past the timeout, writing nothing; a scope
// that runs nothing takes nothing; and the lock is held to the end.
TEST_F(ServerWriteLockTest, ALockTakenWithTheFirstStatement) {
  enum class Body { kNothing, kStatement, kHeld };
  struct Case {
    const char* name;
    bool otherHolds;  // another connection's write-locked scope is open meanwhile
    Body body;
    int32_t error;  // of the body or the commit; 0 none
    int rows;       // written
  };
  const Case cases[] = {
      {"a statement takes the lock", false, Body::kStatement, 0, 1},
      {"a statement held for the commit", false, Body::kHeld, 0, 1},
      {"nothing run, nothing taken", true, Body::kNothing, 0, 0},
      {"a statement waits for the holder", true, Body::kStatement, 3218, 0},
      {"the held statement's commit waits", true, Body::kHeld, 3218, 0},
  };
  const std::string insert = "INSERT INTO Drawn (ID, Worker) VALUES (1, 0)";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto a = Open();
    auto b = Open();
    // Prepared on the server before (as a log's insert is after its first).
    const std::shared_ptr<jet::EngineStatement> held = b->KeptServerStatement(insert);
    std::optional<Transaction> holder;
    if (c.otherHolds) holder.emplace(*a, kWriteLock);
    const int others = c.otherHolds ? 1 : 0;
    const Error e = RaisedError([&] {
      Transaction tx(*b, kWriteLockWithFirstStatement);
      EXPECT_EQ(admin_->AdvisoryLocks(key_, true), others);
      if (c.body == Body::kStatement) {
        b->ExecuteSql(insert);
        // Held from the statement on, while the scope is open.
        EXPECT_EQ(admin_->AdvisoryLocks(key_, true), 1);
        EXPECT_EQ(RaisedError([&] { Transaction other(*a, kWriteLock); }).Number(), 3218);
      } else if (c.body == Body::kHeld) {
        held->RunAtCommit();
        EXPECT_EQ(admin_->AdvisoryLocks(key_, true), others);
      }
      tx.Commit();
    });
    EXPECT_EQ(e.Number(), c.error) << e.Description();
    holder.reset();
    EXPECT_EQ(Count("count(*)"), c.rows);
    EXPECT_EQ(admin_->AdvisoryLocks(key_, true), 0);
    // The connection goes on: the same scope writes once the lock is free.
    if (c.rows == 0) {
      Transaction tx(*b, kWriteLockWithFirstStatement);
      held->RunAtCommit();
      tx.Commit();
      EXPECT_EQ(Count("count(*)"), 1);
    }
    admin_->Value("DELETE FROM " + schema_ + ".\"Drawn\"");
  }
}

// Workstations: a holder process inserts its row inside a write-locked
// scope and is killed there while the draw workers wait behind it; then
// each draws NextId and inserts its row kDraws times. Every identifier is
// distinct and the rows are every draw's (the holder's row rolled back
// with its session), and no lock is left.
TEST_F(ServerWriteLockTest, WorkersDrawDistinctIdsAndAKilledHolderLeavesNoLock) {
  constexpr int kWorkers = 4, kDraws = 40;
  Worker holder({server_, "hold", "99"});
  ASSERT_EQ(holder.ReadLine(), "held");
  // The workers wait the default busy timeout (5 s) of their own engine.
  std::vector<std::unique_ptr<Worker>> workers;
  for (int w = 1; w <= kWorkers; ++w)
    workers.push_back(std::make_unique<Worker>(
        std::vector<std::string>{server_, "draw", std::to_string(w), std::to_string(kDraws)}));
  ASSERT_TRUE(admin_->AwaitWaiters(key_, 1));
  EXPECT_EQ(Count("count(*)"), 0);  // the holder's row is not committed
  holder.Kill();
  EXPECT_EQ(holder.Join(), "killed");
  for (auto& w : workers) EXPECT_EQ(w->Join(), "exit 0: drew " + std::to_string(kDraws) + "\n");
  EXPECT_EQ(Count("count(*)"), kWorkers * kDraws);
  EXPECT_EQ(Count("count(DISTINCT \"ID\")"), kWorkers * kDraws);
  EXPECT_EQ(Count("max(\"ID\")"), kWorkers * kDraws);
  for (int w = 1; w <= kWorkers; ++w)
    EXPECT_EQ(Count("count(*) FILTER (WHERE \"Worker\" = " + std::to_string(w) + ")"), kDraws);
  EXPECT_EQ(admin_->AdvisoryLocks(key_, true) + admin_->AdvisoryLocks(key_, false), 0);
}

}  // namespace
}  // namespace qv::dao

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const char* conninfo = qv::testsupport::TestServerOrSkip();
  if (conninfo == nullptr) return 77;
  if (argc != 2) {
    std::cerr << "usage: qv_pg_writelock WORKER_PROGRAM\n";
    return 2;
  }
  qv::dao::gConninfo = conninfo;
  qv::dao::gWorker = argv[1];
  return RUN_ALL_TESTS();
}
