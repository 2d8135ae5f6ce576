#pragma once
// The write of one cell: a seek, then an add or an edit of the row found.
// Outside any transaction the two are one unit under the file's write lock,
// so two connections adding the same cell cannot both find it missing (the
// cell indexes are not unique). Inside a transaction the seek and the write
// already share one snapshot: a write after another connection's commit
// fails instead, and no level of its own is begun.

#include <optional>

#include "platform/dao/Database.h"
#include "platform/dao/Transaction.h"
#include "platform/jet/JetConnection.h"

namespace qv::doctables {

class CellWrite {
 public:
  explicit CellWrite(dao::Database& db) {
    if (db.Connection().TransactionDepth() == 0) tx_.emplace(db, dao::kWriteLock);
  }
  void Commit() {
    if (tx_) tx_->Commit();
  }

 private:
  std::optional<dao::Transaction> tx_;
};

}  // namespace qv::doctables
