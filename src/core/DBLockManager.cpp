#include "core/DBLockManager.h"

#include "core/DBLockKeeper.h"
#include "core/mErrorHandling.h"
#include "core/miDataBase.h"
#include "platform/dao/DaoConstants.h"
#include "platform/dao/Database.h"
#include "platform/dao/Transaction.h"
#include "platform/dao/Workspace.h"
#include "platform/jet/JetEngine.h"
#include "platform/os/LockService.h"

namespace qv {

QV_DEFINE_CLASS(DBLockManager, "Qv_DBProvider.DBLockManager", nullptr,
                Method("DoLock(aAction)", &DBLockManager::DoLock, {Variant(lockaction::kDefault)}),
                Method("RenewRead", &DBLockManager::RenewRead),
                Method("FlushUpdates", &DBLockManager::FlushUpdates))

void DBLockManager::Init(const std::string& aPath) {
  Guard(QV_HERE, [&] {
    lockService_ = nullptr;
    if (miDataBase::IsDBLockingEnabled()) {
      ObjectPtr service = mErrorHandling::CreateObjectErr(kLockComponentProgId);
      service->CallV("Attach", aPath, int32_t{1});
      lockService_ = std::move(service);
    }
    depth_ = 0;
  });
}

void DBLockManager::InitWith(const std::string& aPath, ObjectPtr lockService) {
  Guard(QV_HERE, [&] {
    if (!lockService) ThrowVb(vberr::kObjectNotSet, "no lock component");
    lockService->CallV("Attach", aPath, int32_t{1});
    lockService_ = std::move(lockService);
    depth_ = 0;
  });
}

std::shared_ptr<DBLockKeeper> DBLockManager::DoLock(int32_t aAction) {
  return Lock(aAction, false);
}

std::shared_ptr<DBLockKeeper> DBLockManager::Lock(int32_t aAction, bool lockWithFirstStatement) {
  // Named in an error's trace as the caller's method.
  return Guard(kModule, "DoLock", [&] {
    auto keeper = std::make_shared<DBLockKeeper>();
    if (!miDataBase::IsDBLockingEnabled()) {
      keeper->Init(nullptr, nullptr, DBLockKeeper::kNoTransaction, nullptr);
      return keeper;
    }
    const int32_t action =
        aAction == lockaction::kDefault ? lockaction::kLock | lockaction::kTransaction : aAction;
    ObjectPtr held;
    const std::shared_ptr<dao::Database> db = miDataBase::GetUserDataBase();
    // A read-only user database (a read-only data folder) takes no lock:
    // no lock file can be made beside it, and what the lock guards, a
    // write, fails there with 3027 anyway.
    const bool locks = (action & lockaction::kLock) && !db->IsReadOnly();
    if (locks && !lockService_) ThrowVb(vberr::kObjectNotSet, "the lock component is not attached");
    // On a server, an outermost scope whose statements are all the lock
    // guards takes the service's key in its own transaction, with its
    // first statement (no round trip of the service's session), when the
    // service can count that hold (LockService::LockWithTransaction).
    const bool candidate = locks && lockWithFirstStatement && (action & lockaction::kTransaction) &&
                           depth_ == 0 && db->IsServer();
    const auto service =
        candidate ? std::dynamic_pointer_cast<os::LockService>(lockService_) : nullptr;
    const bool inTransaction = service && miDataBase::GetWorkspace()->TransactionDepth() == 0;
    if (locks && !inTransaction) held = lockService_->CallV("Lock").AsObject();
    if (depth_ == 0) miDataBase::GetDBEngine()->Idle(Variant(dao::dbRefreshCache));
    int32_t mode = DBLockKeeper::kNoTransaction;
    std::unique_ptr<dao::Transaction> tx;
    if (action & lockaction::kTransaction) {
      // The transaction is for the user database: open it first, so that
      // the outermost level takes its write lock from the start.
      const auto begin = [&] {
        tx = std::make_unique<dao::Transaction>(
            *miDataBase::GetWorkspace(),
            lockWithFirstStatement ? dao::kWriteLockWithFirstStatement : dao::kWriteLock);
      };
      begin();
      if (inTransaction) {
        held = service->LockWithTransaction(
            [&](int64_t key, int32_t timeoutMs, const std::string& busyMessage) {
              return db->ServerEngine().LockWithBegin(os::kServerLockName, key, timeoutMs,
                                                      busyMessage);
            },
            [db] { db->ServerEngine().SendPending(); });
        if (!held) {
          // Declined: the service's lock first, then the level again (the
          // one begun has sent nothing on the server).
          tx->Rollback();
          tx.reset();
          held = lockService_->CallV("Lock").AsObject();
          begin();
        }
      }
      mode = (action & lockaction::kRollbackOnRelease) ? DBLockKeeper::kRollbackOnRelease
                                                       : DBLockKeeper::kCommitOnRelease;
    }
    keeper->Init(std::static_pointer_cast<DBLockManager>(shared_from_this()), std::move(held), mode,
                 std::move(tx));
    ++depth_;
    return keeper;
  });
}

void DBLockManager::RenewRead() {
  Guard(QV_HERE, [] { miDataBase::GetDBEngine()->Idle(Variant(dao::dbRefreshCache)); });
}

void DBLockManager::FlushUpdates() {
  Guard(QV_HERE, [] { miDataBase::GetDBEngine()->Idle(Variant(dao::dbFreeLocks)); });
}

bool DBLockManager::DoCommit(dao::Transaction& tx) {
  return Guard(QV_HERE, [&] {
    tx.Commit(false);
    return depth_ < 2;
  });
}

void DBLockManager::SyncCommitted() {
  Guard(QV_HERE, [&] {
    std::shared_ptr<dao::Workspace> ws = miDataBase::GetWorkspace();
    const auto service = std::dynamic_pointer_cast<os::LockService>(lockService_);
    if (!service || ws->TransactionDepth() != 0) return ws->SyncCommitted();
    // The lock file's counts stand for the database it locks: its log's
    // sync may be shared with the other processes' (group commit); any
    // other database of the workspace syncs its own.
    const std::string path = service->LockFilePath();
    // The lock file's name is the database's with ".lock" after it.
    constexpr std::string_view kSuffix = ".lock";
    const bool named = std::string_view(path).ends_with(kSuffix);
    const std::string_view locked = std::string_view(path).substr(0, path.size() - kSuffix.size());
    ws->ForEachDatabase([&](dao::Database& db) {
      if (named && db.Name() == locked)
        service->SyncCommitted([&] { db.SyncCommitted(); });
      else
        db.SyncCommitted();
    });
  });
}

void DBLockManager::DoRollback(dao::Transaction& tx) {
  Guard(QV_HERE, [&] { tx.Rollback(); });
}

void DBLockManager::Undive() {
  Guard(QV_HERE, [&] {
    if (depth_ < 1) return;
    if (--depth_ == 0) miDataBase::GetDBEngine()->Idle(Variant(dao::dbFreeLocks));
  });
}

}  // namespace qv
