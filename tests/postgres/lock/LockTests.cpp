// The database lock service on the PostgreSQL server QV_TEST_PG names (an
// advisory lock of a session of the service's own), in a schema of its
// own. The rules a file keeps run as one table on the server; the server's
// own rules (its key, its messages, sessions the server ends, fork()) and
// the workstations test (processes of qv_pg_lock_worker, the first
// argument) follow. Without QV_TEST_PG the program says so and exits 77
// (skipped).

#include <fcntl.h>
#include <libpq-fe.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/automation/Error.h"
#include "platform/jet/JetEngine.h"
#include "platform/jet/PgConnection.h"
#include "platform/jet/PgLockSession.h"
#include "platform/os/LockService.h"
#include "support/PgTestProcess.h"
#include "support/TestSupport.h"

namespace qv::os {
namespace {

using Clock = std::chrono::steady_clock;
using testsupport::RaisedError;

std::string gConninfo;  // QV_TEST_PG
std::string gWorker;    // the worker program

int64_t ElapsedMs(Clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

int64_t MonotonicMs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return int64_t{t.tv_sec} * 1000 + t.tv_nsec / 1000000;
}

using Admin = testsupport::PgAdmin;

// A worker process of qv_pg_lock_worker whose lock waits `timeoutMs`.
class Worker : public testsupport::WorkerProcess {
 public:
  Worker(const std::vector<std::string>& args, int32_t timeoutMs)
      : WorkerProcess(gWorker, args, {"QV_LOCK_TIMEOUT_MS=" + std::to_string(timeoutMs)}) {}
};

class ServerLockTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    admin_ = new Admin(gConninfo);
    schema_ = "qv_lock_" + std::to_string(::getpid());
    admin_->Value("DROP SCHEMA IF EXISTS " + schema_ + " CASCADE");
    admin_->Value("CREATE SCHEMA " + schema_);
    admin_->Value("DROP SCHEMA IF EXISTS " + schema_ + "_b CASCADE");
    admin_->Value("CREATE SCHEMA " + schema_ + "_b");
    database_ = admin_->Value("SELECT current_database()");
    // The sessions are named by the schema: the test ends its own only.
    server_ =
        gConninfo + " application_name=" + schema_ + " options='-c search_path=" + schema_ + "'";
  }
  static void TearDownTestSuite() {
    admin_->Value("DROP SCHEMA " + schema_ + " CASCADE");
    admin_->Value("DROP SCHEMA " + schema_ + "_b CASCADE");
    delete admin_;
  }

  static std::shared_ptr<LockService> Service(const std::string& where, int32_t timeoutMs) {
    auto s = std::make_shared<LockService>();
    s->SetTimeoutMs(timeoutMs);
    s->Attach(where, 1);
    return s;
  }
  // Whether a separate holder (a service of its own) gets the lock at once
  // (or within `timeoutMs`).
  static std::string Probe(const std::string& where, int32_t timeoutMs = 0) {
    const Error e = RaisedError([&] { Service(where, timeoutMs)->Lock(); });
    return e.Number() == 0 ? "free" : e.Number() == kCouldNotLockFile ? "busy" : e.Description();
  }
  // A server's release sends its unlock without waiting for it: a probe
  // right after may reach the server first and find the lock held, so a
  // probe that must find it freed waits for it a while (no time when free).
  static constexpr int32_t kFreed = 5000;
  static int64_t Key() { return jet::AdvisoryLockKey(database_, schema_, kServerLockName); }

  testsupport::TempFolder dir_;
  const std::string file_ = dir_.File("Quivane.mdb");
  static inline Admin* admin_ = nullptr;
  static inline std::string schema_, database_, server_;
};

// The rules a database file keeps (tests/platform/os/LockService_test.cpp),
// each case run on the server. A case's trace renders what it saw in one
// line.
TEST_F(ServerLockTest, TheServerKeepsTheFilesRules) {
  const struct {
    const char* what;
    std::function<std::string()> run;
    std::string expected;
  } cases[] = {
      {"nested holds of one thread are counted; the last frees the lock",
       [] {
         auto s = Service(server_, 0);
         std::string t = Probe(server_);
         auto outer = s->Lock();
         auto inner = s->Lock();
         t += " " + std::to_string(s->HoldCount()) + " " + Probe(server_);
         outer.reset();
         t += " " + std::to_string(s->HoldCount()) + " " + Probe(server_);
         inner.reset();
         return t + " " + std::to_string(s->HoldCount()) + " " + Probe(server_, kFreed);
       },
       "free 2 busy 1 busy 0 free"},
      {"a lock outlives its service",
       [] {
         auto s = Service(server_, 0);
         auto held = s->Lock();
         s.reset();
         const std::string t = Probe(server_);
         held.reset();
         return t + " " + Probe(server_, kFreed);
       },
       "busy free"},
      {"holds one after another each exclude others and free the lock",
       [] {
         auto s = Service(server_, 0);
         int busy = 0;
         for (int i = 0; i < 20; ++i) {
           auto held = s->Lock();
           busy += Probe(server_) == "busy";
         }
         return std::to_string(busy) + " " + Probe(server_, kFreed);
       },
       "20 free"},
      {"the wait runs out with 3050 after the timeout",
       [] {
         auto held = Service(server_, 0)->Lock();
         const auto start = Clock::now();
         const Error e = RaisedError([&] { Service(server_, 150)->Lock(); });
         // Both clocks count whole milliseconds: the wait may end within 1 ms of 150.
         const int64_t ms = ElapsedMs(start);
         return std::to_string(e.Number()) + " " + e.Source() + " " +
                (e.Description().starts_with("Could not lock file. ") ? "text" : e.Description()) +
                " " + (e.Description().ends_with("; waited 0.15 s.") ? "wait" : "") + " " +
                (ms >= 149 && ms < 10000 ? "in time" : std::to_string(ms) + " ms");
       },
       "3050 Qv_DBLock.LockService text wait in time"},
      {"timeout 0 is one try",
       [] {
         auto held = Service(server_, 0)->Lock();
         const Error e = RaisedError([&] { Service(server_, 0)->Lock(); });
         return std::to_string(e.Number()) +
                (e.Description().ends_with("; waited 0 s.") ? " wait" : " " + e.Description());
       },
       "3050 wait"},
      {"another thread of the service waits as another process would",
       [] {
         auto s = Service(server_, 0);
         auto held = s->Lock();
         int32_t quick = 0;
         std::thread([&] { quick = RaisedError([&] { s->Lock(); }).Number(); }).join();
         return std::to_string(quick) + " " + std::to_string(s->HoldCount());
       },
       "3050 1"},
      {"a waiter gets the lock once the holder frees it",
       [] {
         auto holder = Service(server_, 0);
         auto held = holder->Lock();
         std::atomic<int64_t> gotAt = 0;
         std::string error;
         std::thread waiter([&] {
           error = RaisedError([&] {
                     auto mine = Service(server_, 20000)->Lock();
                     gotAt = MonotonicMs();
                   }).Description();
         });
         [] { ASSERT_TRUE(admin_->AwaitWaiters(Key(), 1)); }();
         const int64_t freedAt = MonotonicMs();
         held.reset();
         waiter.join();
         std::cout << "a waiter got the lock " << gotAt - freedAt << " ms after it was freed\n";
         return error + (gotAt >= freedAt ? "after" : "before");
       },
       "after"},
      {"a holder process that dies loses the lock",
       [] {
         int ready[2], stay[2];
         if (::pipe(ready) != 0 || ::pipe(stay) != 0) return std::string("pipe failed");
         const pid_t pid = ::fork();
         if (pid == 0) {
           auto held = Service(server_, 0)->Lock();
           ::write(ready[1], "h", 1);
           char c;
           ::read(stay[0], &c, 1);  // killed before anything comes
           ::_exit(0);
         }
         char c = 0;
         ::read(ready[0], &c, 1);
         std::string t = std::string(c == 'h' ? "held" : "not held") + " " + Probe(server_);
         ::kill(pid, SIGKILL);
         ::waitpid(pid, nullptr, 0);
         for (int fd : {ready[0], ready[1], stay[0], stay[1]}) ::close(fd);
         const Error e = RaisedError([&] { Service(server_, 10000)->Lock(); });
         return t + " " + (e.Number() == 0 ? "taken" : e.Description());
       },
       "held busy taken"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.run(), c.expected);
  }
}

TEST_F(ServerLockTest, TheServerLockIsKeyedByDatabaseSchemaAndName) {
  // The documented derivation, pinned: every client must compute these.
  EXPECT_EQ(jet::AdvisoryLockKey("postgres", "public", "Qv_DBLock"), -8819039320698154076);
  EXPECT_EQ(jet::AdvisoryLockKey("", "", ""), 610775443798759267);
  EXPECT_EQ(jet::AdvisoryLockKey("офис", "папка", "Qv_DBLock"), 11001281210828513);

  // Held through a location that names no application: the session is
  // named Qv_DBLock, and pg_locks shows the key.
  auto held = Service(gConninfo + " options='-c search_path=" + schema_ + "'", 0)->Lock();
  const std::string shown = admin_->Value(
      "SELECT l.objsubid || ' ' || a.application_name FROM pg_locks l "
      "JOIN pg_stat_activity a ON a.pid = l.pid "
      "WHERE l.locktype = 'advisory' AND l.granted "
      "AND l.database = (SELECT oid FROM pg_database WHERE datname = current_database()) "
      "AND ((l.classid::bigint << 32) | l.objid::bigint) = " +
      std::to_string(Key()));
  EXPECT_EQ(shown, "1 Qv_DBLock");
  // Another schema (another data folder) has a lock of its own; the same
  // schema written in another way is the same lock.
  const std::string other = gConninfo + " options='-c search_path=" + schema_ + "_b'";
  const std::string same = gConninfo + " options='-c search_path=" + schema_ + ",public'";
  EXPECT_EQ(Probe(other), "free");
  EXPECT_EQ(Probe(same), "busy");
}

TEST_F(ServerLockTest, ServerMessagesAndMisuse) {
  auto holder = Service(server_, 0);
  auto held = holder->Lock();
  const std::string unreachable = "host=/nonexistent/qv port=1 dbname=x password=secret";
  const std::string shownServer = jet::ShownLocation(server_);
  // Where libpq looks for a server's socket, one that takes connections
  // (the kernel's backlog) and never answers.
  const int silent = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const std::string socketPath = dir_.File(".s.PGSQL.5999");
  ASSERT_LT(socketPath.size(), sizeof addr.sun_path);
  socketPath.copy(addr.sun_path, socketPath.size());
  ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::listen(silent, 8), 0);
  const std::string mute = "host=" + dir_.Path().string() + " port=5999 dbname=x";
  int64_t muteMs = 0;
  const struct {
    const char* what;
    std::function<void()> call;
    int32_t number;
    std::string text;
  } cases[] = {
      {"busy", [&] { Service(server_, 30)->Lock(); }, kCouldNotLockFile,
       "Could not lock file. The lock of the database at '" + shownServer +
           "' is held by another workstation, process or thread; waited 0.03 s."},
      {"unreachable, the password masked", [&] { Service(unreachable, 0)->Lock(); },
       kCouldNotLockFile,
       "Could not lock file. The server at 'host=/nonexistent/qv port=1 dbname=x "
       "password=********' cannot be reached: "},
      {"a server that does not answer: the connect's bound",
       [&] {
         const auto start = Clock::now();
         try {
           Service(mute, 0)->Lock();
         } catch (...) {
           muteMs = ElapsedMs(start);
           throw;
         }
       },
       kCouldNotLockFile,
       "Could not lock file. The server at '" + mute + "' gave no answer in time."},
      {"attach while held", [&] { holder->Attach(file_, 1); }, 5,
       "Attach while a lock on '" + shownServer + "' is held"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Error e = testsupport::ExpectError(c.number, c.text, c.call);
    EXPECT_EQ(e.Description().find("secret"), std::string::npos);
  }
  ::close(silent);
  EXPECT_GE(muteMs, jet::PgLockSession::kAnswerWaitMs);
  EXPECT_LT(muteMs, jet::PgLockSession::kAnswerWaitMs + 5000);
  EXPECT_EQ(holder->LockFilePath(), "");
  EXPECT_EQ(held->LockFilePath(), "");
  EXPECT_EQ(holder->HoldCount(), 1);
}

// The server makes its commits durable: SyncCommitted runs no sync there.
TEST_F(ServerLockTest, SyncCommittedRunsNoSync) {
  int syncs = 0;
  Service(server_, 0)->SyncCommitted([&] { ++syncs; });
  EXPECT_EQ(syncs, 0);
}

// Sessions the server ends (a restart, an administrator): a hold whose
// session ended is lost (others get the lock) and its release raises
// nothing; a kept session that ended is replaced at the next hold.
TEST_F(ServerLockTest, SessionsTheServerEnds) {
  auto s = Service(server_, 0);
  auto held = s->Lock();
  // (A session another service just closed may still be ending: counted too.)
  EXPECT_GE(admin_->EndSessions(schema_), 1);
  EXPECT_EQ(Probe(server_), "free");
  held.reset();
  held = s->Lock();
  EXPECT_EQ(Probe(server_), "busy");
  held.reset();
  EXPECT_GE(admin_->EndSessions(schema_), 1);  // the kept one
  held = s->Lock();
  EXPECT_EQ(Probe(server_), "busy");
  EXPECT_EQ(s->HoldCount(), 1);
}

// A hold taken by a database session's transaction: the key goes with the
// transaction's first request; a nested hold of the thread sends it first and
// is counted (its session would wait on the transaction).
TEST_F(ServerLockTest, AHoldInATransactionCountsANestedHold) {
  auto s = Service(server_, 5000);
  s->Lock().reset();  // a session of the service shows the key
  auto engine = jet::OpenEngine(server_, {.create = true, .busyTimeoutMs = 1000});
  engine->Execute("CREATE TABLE held_t (a LONG)");
  engine->Execute("INSERT INTO held_t VALUES (1)");  // prepared: then sent with the begin
  auto inTransaction = [&] {
    engine->BeginTrans(true, jet::LockTaking::kWithFirstRequest);
    return s->LockWithTransaction(
        [&](int64_t key, int32_t ms, const std::string& busy) {
          return engine->LockWithBegin(kServerLockName, key, ms, busy);
        },
        [&] { engine->SendPending(); });
  };
  auto held = inTransaction();
  ASSERT_TRUE(held);
  EXPECT_EQ(Probe(server_, kFreed), "free");
  auto nested = s->Lock();
  EXPECT_EQ(Probe(server_), "busy");
  EXPECT_EQ(s->HoldCount(), 2);
  nested.reset();
  engine->CommitTrans();
  held.reset();
  EXPECT_EQ(Probe(server_, kFreed), "free");
  // Held elsewhere: the transaction's first request (the pending commands
  // alone, or before a statement) waits the service's timeout and raises
  // the service's error; the write lock held elsewhere, the session's busy
  // timeout (put back after the key's wait) and 3218.
  s->SetTimeoutMs(150);
  const std::function<void()> pendingAlone = [&] { engine->SendPending(); },
                              statement = [&] { engine->Execute("INSERT INTO held_t VALUES (1)"); };
  const std::string busy = "3050 Could not lock file. The lock of the database at, waited ";
  const struct {
    bool keyHeld;
    const std::function<void()>& request;
    std::string want;
  } rows[] = {{true, pendingAlone, busy + "<1 s"},
              {true, statement, busy + "<1 s"},
              {false, pendingAlone, "3218 Could not update; currently locked., waited 1 s"},
              {false, statement, "3218 Could not update; currently locked., waited 1 s"}};
  for (const auto& r : rows) {
    auto other = r.keyHeld ? Service(server_, 0)->Lock() : nullptr;
    auto writer = jet::OpenEngine(server_);
    if (!r.keyHeld) writer->BeginTrans(true);
    held = inTransaction();
    ASSERT_TRUE(held);
    const auto start = Clock::now();
    const Error e = RaisedError(r.request);
    const int64_t ms = ElapsedMs(start);
    const std::string text = std::to_string(e.Number()) + " " + e.Description();
    EXPECT_EQ(text.substr(0, r.want.find(',')) + ", waited " +
                  (ms < 149   ? "<0.15 s"
                   : ms < 999 ? "<1 s"
                              : "1 s"),
              r.want);
    engine->Rollback();
    held.reset();
  }
}

// A child made by fork() while the parent holds the lock shares the hold:
// its nested hold succeeds, and its release neither frees the parent's lock
// nor disturbs the parent's session.
TEST_F(ServerLockTest, AForkedChildLeavesTheParentsSessionAlone) {
  auto s = Service(server_, 0);
  auto held = s->Lock();
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    auto nested = s->Lock();
    const char c = s->HoldCount() == 2 ? '2' : '?';
    nested.reset();
    held.reset();  // the child's copy of the parent's hold
    s.reset();
    ::write(out[1], &c, 1);
    ::_exit(0);
  }
  char c = 0;
  ::read(out[0], &c, 1);
  ::waitpid(pid, nullptr, 0);
  ::close(out[0]);
  ::close(out[1]);
  EXPECT_EQ(c, '2');
  EXPECT_EQ(Probe(server_), "busy");
  held.reset();
  EXPECT_EQ(Probe(server_), "free");
  held = s->Lock();  // the parent's kept session still serves
  EXPECT_EQ(Probe(server_), "busy");
}

// Workstations: worker processes each take the lock (half of them in the
// engine's write-locked transaction) and raise a counter
// row through the engine many times, while first a holder process keeps
// them all waiting until it is killed. No increment is lost, no two hold
// the lock at once, and the waiters get it within their wait.
TEST_F(ServerLockTest, WorkersCountUnderTheLockAndAKilledHolderFreesIt) {
  constexpr int kWorkers = 4, kTimes = 40;
  constexpr int32_t kTimeoutMs = 20000;
  {
    auto engine = jet::OpenEngine(server_, {.create = true});
    engine->Execute(
        "CREATE TABLE Tally (ID LONG CONSTRAINT pk PRIMARY KEY, Total LONG, Holders LONG, "
        "MaxHolders LONG)");
    engine->Execute("INSERT INTO Tally VALUES (1, 0, 0, 0)");
  }
  Worker holder({server_, "hold"}, kTimeoutMs);
  ASSERT_EQ(holder.ReadLine(), "held");
  std::vector<std::unique_ptr<Worker>> workers;
  for (int i = 0; i < kWorkers; ++i)
    workers.push_back(std::make_unique<Worker>(
        std::vector<std::string>{server_, i % 2 ? "count-in-transaction" : "count",
                                 std::to_string(kTimes)},
        kTimeoutMs));
  ASSERT_TRUE(admin_->AwaitWaiters(Key(), kWorkers));
  const int64_t killedAt = MonotonicMs();
  holder.Kill();
  EXPECT_EQ(holder.Join(), "killed");
  int64_t firstAt = INT64_MAX;
  for (auto& w : workers) {
    const std::string result = w->Join();
    int overlaps = -1;
    int64_t first = 0;
    std::istringstream in(result);
    std::string exitWord, status, word1, word2;
    in >> exitWord >> status >> word1 >> overlaps >> word2 >> first;
    EXPECT_EQ(status + word1 + std::to_string(overlaps), "0:overlaps0") << result;
    if (first > 0) firstAt = std::min(firstAt, first);
  }
  EXPECT_LT(firstAt - killedAt, kTimeoutMs);
  std::cout << "the first waiter got the lock " << firstAt - killedAt
            << " ms after its holder was killed\n";
  auto engine = jet::OpenEngine(server_);
  auto st = engine->Prepare("SELECT Total, Holders, MaxHolders FROM Tally WHERE ID = 1");
  ASSERT_TRUE(st->Step());
  EXPECT_EQ(CStr(st->Value(0)) + " " + CStr(st->Value(1)) + " " + CStr(st->Value(2)),
            std::to_string(kWorkers * kTimes) + " 0 1");
}

// The round trips of holds and releases on the server: a release sends its
// unlock and does not wait; the session's next hold reads the unlock's
// answer in its own round trip. The lock is free (or held) for the others
// after each step; one try and a wait alike.
TEST_F(ServerLockTest, AReleaseCostsNoRoundTrip) {
  for (const int32_t timeoutMs : {0, 1000}) {
    SCOPED_TRACE("timeout " + std::to_string(timeoutMs));
    auto s = Service(server_, timeoutMs);
    std::shared_ptr<HeldLock> outer, inner;
    const struct {
      const char* what;
      std::function<void()> step;
      uint64_t roundTrips;
      const char* then;
    } steps[] = {
        {"the first hold (the session's names read, then the lock)", [&] { outer = s->Lock(); }, 2,
         "busy"},
        {"its release", [&] { outer.reset(); }, 0, "free"},
        {"the next hold, the release's answer with it", [&] { outer = s->Lock(); }, 1, "busy"},
        {"a nested hold", [&] { inner = s->Lock(); }, 0, "busy"},
        {"the outer release", [&] { outer.reset(); }, 0, "busy"},
        {"the last release", [&] { inner.reset(); }, 0, "free"},
        {"two holds one after another", [&] { s->Lock().reset(), s->Lock().reset(); }, 2, "free"},
    };
    for (const auto& step : steps) {
      const uint64_t before = jet::ServerRoundTrips();
      step.step();
      EXPECT_EQ(jet::ServerRoundTrips() - before, step.roundTrips) << step.what;
      // An unlock sent a moment ago may not have been read by the server
      // yet: the probe for a free lock waits for it (the server wakes it).
      EXPECT_EQ(Probe(server_, std::string_view(step.then) == "free" ? 5000 : 0), step.then)
          << step.what;
    }
  }
}

// What a hold and its release cost, each kind: printed, for the docs.
TEST_F(ServerLockTest, TimesAHoldAndItsRelease) {
  for (const std::string& where : {file_, server_}) {
    auto s = Service(where, 0);
    s->Lock().reset();  // the session (or file) made once
    constexpr int kHolds = 200;
    const auto start = Clock::now();
    for (int i = 0; i < kHolds; ++i) s->Lock().reset();
    const auto us =
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
    std::cout << (where == file_ ? "file" : "server") << ": a hold and its release " << us / kHolds
              << " us\n";
    EXPECT_EQ(Probe(where), "free");
  }
}

}  // namespace
}  // namespace qv::os

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const char* conninfo = qv::testsupport::TestServerOrSkip();
  if (conninfo == nullptr) return 77;
  if (argc != 2) {
    std::cerr << "usage: qv_pg_lock WORKER_PROGRAM\n";
    return 2;
  }
  qv::os::gConninfo = conninfo;
  qv::os::gWorker = argv[1];
  return RUN_ALL_TESTS();
}
