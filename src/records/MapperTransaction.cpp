#include "records/MapperTransaction.h"

#include <utility>
#include <vector>

#include "core/DBLockKeeper.h"
#include "core/miLocks.h"
#include "platform/dao/Database.h"
#include "platform/jet/JetConnection.h"

namespace qv::records {

namespace {

struct ActiveWrite {
  dao::Database* db = nullptr;
  std::vector<std::function<void()>> undo;
};

thread_local ActiveWrite* tActive = nullptr;

void RollbackQuietly(dao::Database& db) noexcept {
  try {
    db.RollbackLevel();
  } catch (...) {
  }
}

void RunUndo(std::vector<std::function<void()>>& undo) noexcept {
  for (auto it = undo.rbegin(); it != undo.rend(); ++it) {
    try {
      (*it)();
    } catch (...) {
    }
  }
}

}  // namespace

void MapperWrite(dao::Database& db, const std::function<void()>& body) {
  if (tActive && tActive->db == &db) {
    body();
    return;
  }
  ActiveWrite active{&db, {}};
  ActiveWrite* outer = tActive;
  // Restores the enclosing write (of another database) however we leave.
  struct Restore {
    ActiveWrite* outer;
    ~Restore() { tActive = outer; }
  } restore{outer};
  db.BeginLevel(true);
  tActive = &active;
  try {
    body();
  } catch (...) {
    tActive = outer;
    RollbackQuietly(db);
    RunUndo(active.undo);
    throw;
  }
  tActive = outer;
  try {
    db.CommitLevel(false);
  } catch (...) {
    RollbackQuietly(db);
    RunUndo(active.undo);
    throw;
  }
}

void MapperWriteLocked(dao::Database& db, const std::function<void()>& body) {
  std::shared_ptr<DBLockKeeper> keeper = miLocks::LockUserDataBase();
  try {
    MapperWrite(db, body);
  } catch (...) {
    try {
      keeper->Rollback();
    } catch (...) {
    }
    throw;
  }
  keeper->Commit();
}

void MapperRead(dao::Database& db, const std::function<void()>& body) {
  if (tActive || db.Connection().TransactionDepth() > 0) {
    body();
    return;
  }
  db.BeginLevel(false);
  try {
    body();
  } catch (...) {
    RollbackQuietly(db);
    throw;
  }
  db.CommitLevel(false);
}

void OnMapperRollback(std::function<void()> undo) {
  if (tActive) tActive->undo.push_back(std::move(undo));
}

}  // namespace qv::records
