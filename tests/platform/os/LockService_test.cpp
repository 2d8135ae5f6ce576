#include "platform/os/LockService.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

#include "core/CoreTestSupport.h"
#include "platform/os/HostServices.h"
#include "support/TestSupport.h"

namespace qv::os {
namespace {

namespace fs = std::filesystem;
using testsupport::RaisedError;

class LockServiceTest : public ::testing::Test {
 protected:
  LockServiceTest() : db_(dir_.File("Quivane.mdb")) {}

  // A service attached to the test database (or `db`) with the given wait.
  std::shared_ptr<LockService> Service(int32_t timeoutMs, const std::string& db = {}) const {
    auto s = std::make_shared<LockService>();
    s->SetTimeoutMs(timeoutMs);
    s->Attach(db.empty() ? db_ : db, 1);
    return s;
  }
  // True when a separate holder (its own service) gets the lock at once.
  bool FreeForOthers() const {
    const Error e = RaisedError([&] { Service(0)->Lock(); });
    EXPECT_TRUE(e.Number() == 0 || e.Number() == kCouldNotLockFile) << e.Description();
    return e.Number() == 0;
  }

  testsupport::TempFolder dir_;
  std::string db_;
};

TEST_F(LockServiceTest, NestedHoldsOfOneThreadAreCountedAndOutliveTheService) {
  auto service = Service(0);
  EXPECT_EQ(service->LockFilePath(), db_ + ".lock");
  EXPECT_TRUE(FreeForOthers());
  auto outer = service->Lock();
  auto inner = service->Lock();  // would time out at once if it contended with itself
  EXPECT_EQ(service->HoldCount(), 2);
  EXPECT_TRUE(fs::exists(db_ + ".lock"));
  EXPECT_FALSE(FreeForOthers());
  outer.reset();  // holds end in any order; the file is freed with the last
  EXPECT_EQ(service->HoldCount(), 1);
  EXPECT_FALSE(FreeForOthers());
  inner.reset();
  EXPECT_EQ(service->HoldCount(), 0);
  EXPECT_TRUE(FreeForOthers());
  EXPECT_TRUE(fs::exists(db_ + ".lock"));  // kept for the next holder
  // A lock outlives its service.
  auto held = service->Lock();
  service.reset();
  EXPECT_FALSE(FreeForOthers());
  EXPECT_EQ(held->LockFilePath(), db_ + ".lock");
  held.reset();
  EXPECT_TRUE(FreeForOthers());
}

TEST_F(LockServiceTest, ReportsMisuseAndTimeouts) {
  auto holder = Service(0);
  auto held = holder->Lock();
  const std::string locked =
      "Could not lock file. '" + db_ + ".lock' is locked by another process or thread; waited ";
  const struct {
    const char* what;
    std::function<void()> call;
    int32_t number;
    std::string text;
  } cases[] = {
      {"timeout", [&] { Service(50)->Lock(); }, kCouldNotLockFile, locked + "0.05 s."},
      {"one try", [&] { Service(0)->Lock(); }, kCouldNotLockFile, locked + "0 s."},
      {"no folder", [&] { Service(0, (dir_ / "none" / "x.mdb").string())->Lock(); },
       kCouldNotLockFile,
       "Could not lock file. '" + (dir_ / "none" / "x.mdb.lock").string() +
           "' cannot be opened: No such file or directory"},
      {"lock before attach", [] { LockService().Lock(); }, 5, "Lock before Attach"},
      {"other mode", [&] { LockService().Attach(db_, 2); }, 5, "mode 1 (exclusive) only, not 2"},
      {"empty path", [] { LockService().Attach("", 1); }, 5, "Attach needs a path"},
      {"attach while held", [&] { holder->Attach(db_ + "2", 1); }, 5,
       "Attach while a lock on '" + db_ + ".lock' is held"},
      {"negative timeout", [] { LockService().SetTimeoutMs(-1); }, 5, "cannot be negative"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Error e = testsupport::ExpectError(c.number, c.text, c.call);
    if (c.number == kCouldNotLockFile) {
      EXPECT_EQ(e.Source(), "Qv_DBLock.LockService");
    }
  }
  EXPECT_EQ(holder->HoldCount(), 1);  // the failed attach left the hold alone
}

TEST_F(LockServiceTest, TimeoutComesFromTheEnvironment) {
  const testsupport::ScopedEnv env("QV_LOCK_TIMEOUT_MS", nullptr);
  const struct {
    const char* value;
    int32_t expected;
  } cases[] = {{nullptr, 30000}, {"250", 250},          {"0", 0}, {"", 30000}, {"-5", 30000},
               {"12ms", 30000},  {"99999999999", 30000}};
  for (const auto& c : cases) {
    env.Set(c.value);
    EXPECT_EQ(LockService().TimeoutMs(), c.expected) << (c.value ? c.value : "(unset)");
  }
}

TEST_F(LockServiceTest, AnotherThreadWaitsAsAnotherProcessWould) {
  auto service = Service(0);
  auto held = service->Lock();
  int32_t quickError = 0;
  std::thread([&] { quickError = RaisedError([&] { service->Lock(); }).Number(); }).join();
  EXPECT_EQ(quickError, kCouldNotLockFile);

  // A waiting thread takes the lock once this one lets go; its hold is its own.
  service->SetTimeoutMs(5000);
  int32_t holdsThere = 0;
  std::thread waiter([&] {
    auto mine = service->Lock();
    holdsThere = service->HoldCount();
  });
  EXPECT_EQ(service->HoldCount(), 1);
  held.reset();
  waiter.join();
  EXPECT_EQ(holdsThere, 1);
  EXPECT_TRUE(FreeForOthers());
}

// Another process holds the lock until the parent tells it to let go; a
// waiting holder here gets it then. A child forked while the parent holds the
// lock is excluded by it, and its exit does not free the parent's hold.
TEST_F(LockServiceTest, AnotherProcessHoldsThenReleases) {
  coretest::Signal ready, go;
  coretest::Child holder([&] {
    auto held = Service(0)->Lock();
    ready.Send();
    go.Wait();
    return std::string("released");
  });
  ready.Wait();
  const auto start = std::chrono::steady_clock::now();
  testsupport::ExpectError(kCouldNotLockFile, "", [&] { Service(30)->Lock(); });
  // The wait lasts its timeout (counted in whole milliseconds: within 1 ms).
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(29));
  go.Send();
  auto held = Service(5000)->Lock();
  EXPECT_EQ(holder.Join(), "released");

  const std::string child = coretest::Child([&] {
                              return RaisedError([&] { Service(20)->Lock(); }).Description();
                            }).Join();
  EXPECT_TRUE(child.starts_with("Could not lock file.")) << child;
  EXPECT_FALSE(FreeForOthers());
  held.reset();
  EXPECT_TRUE(FreeForOthers());
}

// The number of descriptors this process has open.
size_t OpenDescriptors() {
  size_t n = 0;
  for (const auto& e : fs::directory_iterator("/proc/self/fd")) n += e.exists() ? 1 : 0;
  return n;
}

// A hold that ends leaves its description open for the next hold of the
// process: repeated holds keep one descriptor and exclude others as
// before. A child forked while the parent has that spare description does
// not lock through it (one description would not exclude the other
// holder): each step says whether the child gets the lock at once.
TEST_F(LockServiceTest, TheNextHoldReusesTheLastDescriptionOfItsProcessOnly) {
  auto service = Service(0);
  service->Lock().reset();
  const size_t open = OpenDescriptors();
  for (int i = 0; i < 50; ++i) {
    auto held = service->Lock();
    EXPECT_FALSE(FreeForOthers()) << i;
  }
  EXPECT_EQ(OpenDescriptors(), open);
  EXPECT_TRUE(FreeForOthers());

  coretest::Signal parentHolds, childTried, parentReleased;
  coretest::Child child([&] {
    std::string seen;
    parentHolds.Wait();
    seen += RaisedError([&] { service->Lock(); }).Number() == 0 ? "locked" : "refused";
    childTried.Send();
    parentReleased.Wait();
    seen += RaisedError([&] { service->Lock(); }).Number() == 0 ? " locked" : " refused";
    return seen;
  });
  {
    auto held = service->Lock();  // through the spare the child has a copy of
    parentHolds.Send();
    childTried.Wait();
  }
  parentReleased.Send();
  EXPECT_EQ(child.Join(), "refused locked");
  EXPECT_TRUE(FreeForOthers());
  auto again = service->Lock();  // the child's exit left the parent's spare usable
  EXPECT_FALSE(FreeForOthers());
}

// Group commit through the lock file's counts, three services on one
// file standing for three processes. While a's sync runs (it ends only
// once b and c have come), b and c either wait for it and then share one
// sync (a sync under way is waited for), or, when a sync under way is not
// waited for (its process died), each syncs on its own and returns while
// a's sync still runs.
TEST_F(LockServiceTest, CommitsEndingDuringASyncShareTheNextOne) {
  int plain = 0;
  LockService().SyncCommitted([&] { ++plain; });  // not attached: syncs
  auto a = Service(0), b = Service(0), c = Service(0);
  a->SyncCommitted([&] { ++plain; });  // nobody else: syncs at once
  EXPECT_EQ(plain, 2);

  const struct {
    int64_t waitMs;  // how long b and c wait for a sync under way
    // How long a's sync goes on once b and c have come, unless both have
    // returned: a moment for them to read the counts, or for them to end.
    int lingerMs;
    int others;    // syncs b and c run between them
    bool beforeA;  // b and c returned before a's sync ended
  } cases[] = {{60000, 20, 1, false}, {0, 10000, 2, true}};
  for (const auto& k : cases) {
    std::atomic<bool> aInSync = false, aDone = false;
    std::atomic<int> others = 0, came = 0, returned = 0, returnedBeforeA = 0;
    std::thread ta([&] {
      a->SyncCommitted([&] {
        aInSync = true;
        while (came < 2) std::this_thread::yield();
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(k.lingerMs);
        while (returned < 2 && std::chrono::steady_clock::now() < until) std::this_thread::yield();
        aDone = true;
      });
    });
    while (!aInSync) std::this_thread::yield();
    auto other = [&](const std::shared_ptr<LockService>& s) {
      return std::thread([&, s] {
        ++came;
        s->SyncCommitted([&] { ++others; }, k.waitMs);
        if (!aDone) ++returnedBeforeA;
        ++returned;
      });
    };
    std::thread tb = other(b), tc = other(c);
    tb.join();
    tc.join();
    ta.join();
    EXPECT_EQ(others, k.others) << k.waitMs;
    EXPECT_EQ(returnedBeforeA == 2, k.beforeA) << k.waitMs;
  }
}

// A waiter takes the lock as soon as its holder lets go: woken by the
// holder, a thread of this process or another process, not by a pause of
// its own (pauses between tries, up to 20 ms after a wait of 100 ms, would
// make the median wait after the release about 11 ms). A holder that dies
// holding the lock wakes nobody: the waiter finds it free on a later try,
// long before its own timeout.
TEST_F(LockServiceTest, AWaiterTakesTheLockWhenItsHolderLetsGo) {
  enum class Holder { kThread, kProcess, kDyingProcess };
  const struct {
    const char* what;
    Holder holder;
    int rounds;
    int64_t maxMedianUs;  // of the waits from the release to the waiter's hold
  } cases[] = {
      {"a thread of this process", Holder::kThread, 7, 5000},
      {"another process", Holder::kProcess, 7, 5000},
      {"a process that dies holding it", Holder::kDyingProcess, 1, 1000000},
  };
  const auto nowUs = [] {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<int64_t> waits;
    for (int round = 0; round < c.rounds; ++round) {
      coretest::Signal held;
      // The holder's side: takes the lock, keeps it 100 ms, then notes the
      // time and lets go (or ends the process still holding it).
      auto hold = [&] {
        auto lock = Service(0)->Lock();
        held.Send();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const int64_t at = nowUs();
        if (c.holder == Holder::kDyingProcess)
          new std::shared_ptr<HeldLock>(lock);  // never freed: the process ends holding it
        return at;
      };
      int64_t releasedUs = 0;
      std::thread holderThread;
      std::unique_ptr<coretest::Child> holderProcess;
      if (c.holder == Holder::kThread)
        holderThread = std::thread([&] { releasedUs = hold(); });
      else
        holderProcess = std::make_unique<coretest::Child>([&] { return std::to_string(hold()); });
      held.Wait();
      auto mine = Service(5000)->Lock();
      const int64_t heldUs = nowUs();
      if (holderThread.joinable())
        holderThread.join();
      else
        releasedUs = std::stoll(holderProcess->Join());
      waits.push_back(heldUs - releasedUs);
    }
    std::sort(waits.begin(), waits.end());
    EXPECT_LT(waits[waits.size() / 2], c.maxMedianUs)
        << "waits from " << waits.front() << " to " << waits.back() << " us";
    EXPECT_TRUE(FreeForOthers());
  }
}

TEST_F(LockServiceTest, WorksThroughLateBinding) {
  ObjectPtr service = CreateObject("qv_dblock.lockservice");
  ASSERT_TRUE(service);
  service->Let("TimeoutMs", Variant("0"));
  EXPECT_EQ(service->Get("TimeoutMs"), Variant(int32_t{0}));
  service->CallV("Attach", db_, 1);
  Variant held = service->CallV("Lock");
  ASSERT_TRUE(held.IsObject());
  EXPECT_EQ(held.AsObject()->Class().ProgId(), "Qv_DBLock.HeldLock");
  EXPECT_EQ(held.AsObject()->CallV("LockFilePath"), Variant(db_ + ".lock"));
  EXPECT_EQ(service->CallV("HoldCount"), Variant(int32_t{1}));
  EXPECT_FALSE(FreeForOthers());
  held = Variant();
  EXPECT_EQ(service->CallV("HoldCount"), Variant(int32_t{0}));
  EXPECT_TRUE(FreeForOthers());
  testsupport::ExpectError(429, "", [] { CreateObject("Qv_DBLock.HeldLock"); });
}

}  // namespace
}  // namespace qv::os
