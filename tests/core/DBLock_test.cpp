// Database locking: inert keepers when the options leave it off, nesting
// of locks and transactions with the order of release, the release modes,
// and two processes contending for the lock.

#include <gtest/gtest.h>

#include "CoreTestSupport.h"
#include "core/DBCommon.h"
#include "core/DBLockKeeper.h"
#include "core/DBLockManager.h"
#include "core/mQvDaoDataBase.h"
#include "core/miDataBase.h"
#include "core/miLocks.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/Workspace.h"
#include "platform/os/LockService.h"

namespace qv {
namespace {

using coretest::ExpectError;

using mQvDaoDataBase::QvExecuteSql;

// What the fake lock component saw, in order.
std::vector<std::string>& Events() {
  static std::vector<std::string> events;
  return events;
}

// The rows of Counters another connection sees: what is committed.
std::string Committed() {
  auto ws =
      dao::DBEngine::ForThread()->CreateWorkspace("committed", "admin", "", Variant(dao::dbUseJet));
  auto rs = ws->Open(miDataBase::GetUserDBFileName(), {})
                ->OpenStatement("SELECT CounterType FROM Counters ORDER BY CounterType",
                                dao::dbOpenSnapshot);
  std::string text;
  for (; !rs->IsEOF(); rs->MoveNext()) text += (text.empty() ? "" : ",") + CStr(rs->FieldValue(0));
  return text;
}

// A held lock that records, when it is dropped, the workspace's depth and
// what was committed by then.
class FakeHeld : public Object {
  QV_DECLARE_CLASS(FakeHeld)

 public:
  explicit FakeHeld(int number) : number_(number) {}
  FakeHeld() = default;
  ~FakeHeld() override {
    Events().push_back("unlock " + std::to_string(number_) + " at depth " +
                       std::to_string(miDataBase::GetWorkspace()->TransactionDepth()) +
                       ", committed [" + Committed() + "]");
  }

 private:
  int number_ = 0;
};
QV_DEFINE_CLASS(FakeHeld, "QvCoreTest.FakeHeld", nullptr)

class FakeLockService : public Object {
  QV_DECLARE_CLASS(FakeLockService)

 public:
  void Attach(const std::string& path, int32_t mode) {
    Events().push_back("attach " + path.substr(path.rfind('/') + 1) + " " + std::to_string(mode));
  }
  ObjectPtr Lock() {
    Events().push_back("lock " + std::to_string(++locks_));
    return std::make_shared<FakeHeld>(locks_);
  }

 private:
  int locks_ = 0;
};
QV_DEFINE_CLASS(FakeLockService, "QvCoreTest.FakeLockService", QV_CREATABLE(FakeLockService),
                Method("Attach", &FakeLockService::Attach), Method("Lock", &FakeLockService::Lock))

class Locking : public coretest::DataFolderTest {
 protected:
  std::shared_ptr<DBLockManager> FakeManager() {
    auto manager = std::make_shared<DBLockManager>();
    manager->InitWith(miDataBase::GetUserDBFileName(), std::make_shared<FakeLockService>());
    Events().clear();
    return manager;
  }
  static void Add(int type) {
    QvExecuteSql("insert into Counters values (" + std::to_string(type) + ", 0, 1)");
  }
  int32_t Depth() { return miDataBase::GetWorkspace()->TransactionDepth(); }
};

TEST_F(Locking, DisabledLockingHandsOutInertKeepers) {
  auto manager = miDataBase::GetUserLockManager();
  EXPECT_EQ(miDataBase::GetUserLockManager(), manager);
  for (int32_t action : {lockaction::kDefault, 3, 2, 6}) {
    auto keeper = manager->DoLock(action);
    EXPECT_FALSE(keeper->IsLive());
    EXPECT_EQ(Depth(), 0);
    Add(action);
    keeper->Rollback();  // nothing to roll back: the row stays
    keeper->Commit();
    keeper->Release();
  }
  EXPECT_EQ(manager->Depth(), 0);
  EXPECT_EQ(Committed(), "2,3,6,1073741825");
  EXPECT_FALSE(std::filesystem::exists(miDataBase::GetUserDBFileName() + ".lock"));
}

// Release order: the transaction ends, the depth drops, then the lock goes;
// an inner commit is seen by others only when the outer one commits.
TEST_F(Locking, NestedLocksEndTheirTransactionsBeforeTheLock) {
  EnableLocking();
  auto manager = FakeManager();
  auto outer = manager->DoLock(lockaction::kDefault);
  Add(1);
  auto inner = manager->DoLock(lockaction::kDefault);
  EXPECT_EQ(manager->Depth(), 2);
  EXPECT_EQ(Depth(), 2);
  Add(2);
  inner->Commit();
  inner->Commit();  // a second end does nothing
  EXPECT_EQ(manager->Depth(), 1);
  auto rolled = manager->DoLock(lockaction::kDefault);
  Add(3);
  rolled->Rollback();
  outer->Commit();
  outer->Release();
  EXPECT_EQ(manager->Depth(), 0);
  EXPECT_EQ(Depth(), 0);
  EXPECT_EQ(Events(), (std::vector<std::string>{
                          "lock 1",
                          "lock 2",
                          "unlock 2 at depth 1, committed []",
                          "lock 3",
                          "unlock 3 at depth 1, committed []",
                          "unlock 1 at depth 0, committed [1,2]",
                      }));
}

TEST_F(Locking, ActionsAndReleaseModes) {
  EnableLocking();
  enum How { kCommit, kRollback, kRelease, kDrop };
  const struct {
    int32_t action;
    How how;
    bool locked;     // the lock component was asked
    int32_t depth;   // the workspace's depth while held
    bool committed;  // the row written under it stays
  } cases[] = {
      {lockaction::kDefault, kRelease, true, 1, true},
      {lockaction::kDefault, kDrop, true, 1, true},  // a forgotten keeper commits
      {lockaction::kDefault, kRollback, true, 1, false},
      {3, kRelease, true, 1, true},
      {6, kRelease, false, 1, false},  // roll back on a plain release
      {6, kCommit, false, 1, true},
      {7, kDrop, true, 1, false},
      {2, kRollback, false, 1, false},
      {1, kRollback, true, 0, true},  // no transaction: nothing to roll back
      {0, kRelease, false, 0, true},
  };
  int type = 100;
  for (const auto& c : cases) {
    auto manager = FakeManager();
    ++type;
    {
      auto keeper = manager->DoLock(c.action);
      EXPECT_EQ(Depth(), c.depth) << c.action;
      EXPECT_EQ(manager->Depth(), 1);
      Add(type);
      if (c.how == kCommit) keeper->Commit();
      if (c.how == kRollback) keeper->Rollback();
      if (c.how == kRelease) keeper->Release();
    }
    EXPECT_EQ(manager->Depth(), 0);
    EXPECT_EQ(Depth(), 0);
    EXPECT_EQ(Events().size(), c.locked ? 2u : 0u) << c.action;
    const bool stays = mQvDaoDataBase::QvQueryExistence(
        "select * from Counters where CounterType = " + std::to_string(type));
    EXPECT_EQ(stays, c.committed) << c.action << " " << c.how;
  }
}

TEST_F(Locking, ByNameThroughTheSessionAndDBCommon) {
  EnableLocking();
  ObjectPtr manager = DBCommon().GetUserDBLockManager();
  EXPECT_EQ(manager, miDataBase::GetUserLockManager());
  ObjectPtr keeper = manager->CallV("DoLock").AsObject();  // the default action
  // On a file folder the lock is a file beside the database; on a server
  // it is an advisory lock of the server, with no file anywhere.
  EXPECT_EQ(std::filesystem::exists(miDataBase::GetUserDBFileName() + ".lock"), !OnServer());
  EXPECT_EQ(Depth(), 1);
  Add(1);
  keeper->CallV("Rollback");
  keeper = miLocks::LockUserDataBase(2);
  Add(2);
  keeper->CallV("Commit");
  manager->CallV("RenewRead");
  manager->CallV("FlushUpdates");
  EXPECT_EQ(Committed(), "2");
  ExpectError(429, "", [] { CreateObject("Qv_DBProvider.DBLockKeeper"); });  // not creatable
}

// A lock held by another process makes DoLock wait and fail with 3050
// without starting anything; once it is gone the lock is taken and the
// other's committed writes are read.
TEST_F(Locking, TwoProcessesContendForTheLock) {
  EnableLocking();
  const testsupport::ScopedEnv timeout("QV_LOCK_TIMEOUT_MS", "200");
  coretest::Signal held, go;
  coretest::Child child([&] {
    auto keeper = miLocks::LockUserDataBase(lockaction::kDefault);
    Add(42);
    held.Send();
    go.Wait();
    keeper->Commit();
    return std::string("done");
  });
  held.Wait();
  Error e = ExpectError(os::kCouldNotLockFile, "",
                        [] { miLocks::LockUserDataBase(lockaction::kDefault); });
  EXPECT_EQ(e.Description().rfind("[Qv_DBProvider::miLocks.LockUserDataBase]\r\n"
                                  "[Qv_DBProvider::DBLockManager.DoLock]\r\n",
                                  0),
            0u)
      << e.Description();
  EXPECT_EQ(miDataBase::GetUserLockManager()->Depth(), 0);
  EXPECT_EQ(Depth(), 0);
  go.Send();
  EXPECT_EQ(child.Join(), "done");
  auto keeper = miLocks::LockUserDataBase(lockaction::kDefault);
  EXPECT_TRUE(mQvDaoDataBase::QvQueryExistence("select * from Counters where CounterType = 42"));
  keeper->Commit();
}

}  // namespace
}  // namespace qv
