#include "core/DBLockKeeper.h"

#include "core/DBLockManager.h"
#include "core/mErrorHandling.h"
#include "platform/dao/Transaction.h"

namespace qv {

QV_DEFINE_CLASS(DBLockKeeper, "Qv_DBProvider.DBLockKeeper", nullptr,
                Method("Commit", &DBLockKeeper::Commit),
                Method("Rollback", &DBLockKeeper::Rollback),
                Method("Release", &DBLockKeeper::Release))

namespace {
constexpr int32_t kEndNone = 0;
constexpr int32_t kEndCommit = 1;
constexpr int32_t kEndRollback = 2;
}  // namespace

DBLockKeeper::~DBLockKeeper() {
  try {
    IntDefaultRelease();
  } catch (...) {
    // A destructor does not raise; the lock and the depth were released.
  }
}

void DBLockKeeper::Init(std::shared_ptr<DBLockManager> manager, ObjectPtr heldLock, int32_t mode,
                        std::unique_ptr<dao::Transaction> tx) {
  manager_ = std::move(manager);
  heldLock_ = std::move(heldLock);
  mode_ = mode;
  tx_ = std::move(tx);
}

void DBLockKeeper::Commit() {
  Guard(QV_HERE, [&] { IntForcedRelease(true); });
}

void DBLockKeeper::Rollback() {
  Guard(QV_HERE, [&] { IntForcedRelease(false); });
}

void DBLockKeeper::Release() {
  Guard(QV_HERE, [&] { IntDefaultRelease(); });
}

void DBLockKeeper::IntForcedRelease(bool commit) {
  Guard(QV_HERE,
        [&] { End(mode_ == kNoTransaction ? kEndNone : (commit ? kEndCommit : kEndRollback)); });
}

void DBLockKeeper::IntDefaultRelease() {
  Guard(QV_HERE, [&] {
    End(mode_ == kCommitOnRelease ? kEndCommit
                                  : (mode_ == kRollbackOnRelease ? kEndRollback : kEndNone));
  });
}

void DBLockKeeper::End(int32_t how) {
  std::shared_ptr<DBLockManager> manager = std::move(manager_);
  manager_ = nullptr;
  mode_ = kNoTransaction;
  // Ended below; should that fail, the workspace has ended the level.
  std::unique_ptr<dao::Transaction> tx = std::move(tx_);
  // The lock goes last, whatever happens to the transaction.
  struct DropLock {
    ObjectPtr& held;
    ~DropLock() { held = nullptr; }
  } dropLock{heldLock_};
  if (!manager) return;
  struct Undive {
    DBLockManager& manager;
    bool armed = true;
    ~Undive() {
      if (!armed) return;
      try {
        manager.Undive();
      } catch (...) {
      }
    }
  } undive{*manager};
  bool sync = false;
  if (tx && how == kEndCommit) sync = manager->DoCommit(*tx);
  if (tx && how == kEndRollback) manager->DoRollback(*tx);
  undive.armed = false;
  manager->Undive();
  // The outermost commit reaches the disk before Commit returns, but after
  // the lock is free: the commit is in the log already, and the other
  // processes need not wait for this one's disk.
  heldLock_ = nullptr;
  if (sync) manager->SyncCommitted();
}

}  // namespace qv
