#pragma once
// The write of one cell: an update of its address and an insert when no row
// changed (a removal: a seek and a delete or an edit). Outside any
// transaction the steps are one unit under the file's write lock, so two
// connections adding the same cell cannot both find it missing (the cell
// indexes are not unique). Inside a transaction the steps already share one
// snapshot: a write after another connection's commit fails instead, and
// no level of its own is begun.

#include <optional>

#include "platform/dao/Database.h"
#include "platform/dao/Transaction.h"
#include "platform/jet/JetConnection.h"
#include "platform/jet/JetEngine.h"

namespace qv::doctables {

class CellWrite {
 public:
  explicit CellWrite(dao::Database& db) {
    const int depth =
        db.IsServer() ? db.ServerEngine().TransactionDepth() : db.Connection().TransactionDepth();
    if (depth == 0) tx_.emplace(db, dao::kWriteLock);
  }
  void Commit() {
    if (tx_) tx_->Commit();
  }

 private:
  std::optional<dao::Transaction> tx_;
};

}  // namespace qv::doctables
