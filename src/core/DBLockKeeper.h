#pragma once
// DBLockKeeper: one lock handed out by DBLockManager::DoLock. Commit,
// Rollback and Release end it (a second end does nothing); destroying a
// live keeper releases it as Release does, ignoring errors, so a forgotten
// default lock is committed, not rolled back.
//
// Release order, always: end the transaction (if one was begun), lower the
// manager's depth (freeing the engine's cached locks at the outermost
// level), then drop the exclusive lock. An outermost commit is then synced
// to the disk before Commit returns (the lock is not held for the disk's
// wait). When ending the transaction fails, the depth is still lowered and
// the lock dropped before the error goes on.

#include <cstdint>
#include <memory>

#include "platform/automation/Object.h"

namespace qv {

namespace dao {
class Transaction;
}

class DBLockManager;

class DBLockKeeper : public Object {
  QV_DECLARE_CLASS(DBLockKeeper)

 public:
  // Transaction modes.
  static constexpr int32_t kNoTransaction = 0;
  static constexpr int32_t kCommitOnRelease = 1;
  static constexpr int32_t kRollbackOnRelease = 2;

  DBLockKeeper() = default;
  ~DBLockKeeper() override;

  // End the transaction by committing (Commit) or rolling back (Rollback)
  // whatever the mode chosen at DoLock, or as that mode says (Release).
  void Commit();
  void Rollback();
  void Release();

  // ---- library-internal
  // `tx`: the transaction the keeper ends (null for kNoTransaction).
  void Init(std::shared_ptr<DBLockManager> manager, ObjectPtr heldLock, int32_t mode,
            std::unique_ptr<dao::Transaction> tx);
  void IntDefaultRelease();
  void IntForcedRelease(bool commit);
  bool IsLive() const { return manager_ != nullptr || heldLock_ != nullptr; }
  int32_t Mode() const { return mode_; }

 private:
  // 0 nothing, 1 commit, 2 roll back.
  void End(int32_t how);

  std::shared_ptr<DBLockManager> manager_;
  ObjectPtr heldLock_;
  std::unique_ptr<dao::Transaction> tx_;
  int32_t mode_ = kNoTransaction;
};

}  // namespace qv
