#include "platform/dao/Transaction.h"

#include <utility>

#include "platform/automation/Variant.h"
#include "platform/dao/DaoConstants.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/Database.h"
#include "platform/dao/Workspace.h"
#include "platform/jet/JetConnection.h"

namespace qv::dao {

Transaction::Transaction(Database& db, TxOptions options) : db_(&db), outer_(db.scope_) {
  if (outer_ && options.join == TxJoin::kJoin) {
    owner_ = outer_->owner_;
  } else {
    db.BeginLevel(options.immediate, options.lockWithFirstStatement);
    open_ = true;
    immediate_ = options.immediate && !outer_;
  }
  db.scope_ = this;
}

Transaction::Transaction(Workspace& ws, TxOptions options)
    : ws_(std::static_pointer_cast<Workspace>(ws.shared_from_this())) {
  if (options.immediate)
    ws.BeginTransImmediate(options.lockWithFirstStatement);
  else
    ws.BeginTrans();
  open_ = true;
}

Transaction::~Transaction() {
  if (open_) {
    open_ = false;
    try {
      if (ws_)
        ws_->Rollback();
      else
        db_->RollbackLevel();
    } catch (...) {
      // A level that cannot be rolled back goes with its connection; its
      // undo steps have run.
    }
  }
  Detach();
}

void Transaction::Detach() noexcept {
  if (db_ && db_->scope_ == this) db_->scope_ = outer_;
}

void Transaction::Commit(bool flush) {
  if (Joined()) {
    // The enclosing scope commits; a joined scope only leaves.
    Detach();
    return;
  }
  if (!open_) ThrowDao(daoerr::kNoTransaction, kSourceWorkspace);
  if (ws_) {
    // The workspace ends the level whether or not every file committed.
    open_ = false;
    ws_->CommitTrans(flush ? Variant(dbForceOSFlush) : Variant());
  } else {
    // The database hands the level's steps to the level around it, or
    // runs the after-commit steps when this was the outermost.
    db_->CommitLevel(flush);
    open_ = false;
    Detach();
  }
}

void Transaction::Rollback() {
  if (Joined() || !open_) ThrowDao(daoerr::kNoTransaction, kSourceWorkspace);
  open_ = false;
  struct After {
    Transaction* self;
    ~After() { self->Detach(); }
  } after{this};
  if (ws_)
    ws_->Rollback();
  else
    db_->RollbackLevel();
}

bool Transaction::WriteLocked(Database& db) {
  if (db.scope_ && db.scope_->owner_->immediate_) return true;
  if (!db.IsOpen()) return false;
  // A server takes its row locks as rows are written: no lock of the whole
  // database is held for a level that did not ask for one, and the one
  // asked for (a workspace's write-locked transaction too) is held by the
  // outermost level to its end.
  if (db.IsServer()) return !db.levels_.empty() && db.levels_.front().writeLocked;
  return db.Connection().HoldsWriteLock();
}

void Transaction::OnRollback(Database& db, std::function<void()> undo) {
  if (!db.levels_.empty()) db.levels_.back().undo.push_back(std::move(undo));
}

void Transaction::AfterCommit(Database& db, std::function<void()> step) {
  if (db.levels_.empty())
    step();
  else
    db.levels_.back().afterCommit.push_back(std::move(step));
}

}  // namespace qv::dao
