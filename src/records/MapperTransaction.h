#pragma once
// One transaction per top-level write of the mappers. A save or delete may
// call other mappers (sub-records saved first, cascades, child collections);
// the first of those calls on a thread opens a transaction level on the
// database and every call made inside it joins that level, so a failure
// anywhere leaves nothing of the whole operation written.
//
// The outermost level is BEGIN IMMEDIATE when the connection has no
// transaction (the write lock is taken before the first read of the
// operation, so identifiers chosen as last + 1 cannot be taken by another
// writer in between); inside a caller's transaction (DBLockKeeper, a
// workspace transaction) it is a savepoint of that transaction.
//
// Record objects are not part of the database: what a rolled-back write did
// to them (a new identifier, a deleted state, a detail link) is put back by
// the undo steps registered with OnMapperRollback. Notices already sent to
// the application (AfterInsert ...) are not recalled.

#include <functional>

namespace qv::dao {
class Database;
}

namespace qv::records {

// Runs `body` inside the thread's mapper transaction on `db`, opening it
// when this is the outermost call and committing (or, when `body` raises,
// rolling back and re-raising) at its end.
void MapperWrite(dao::Database& db, const std::function<void()>& body);

// MapperWrite under the database lock (miLocks::LockUserDataBase with its
// default action): the writes of `body` are one unit whether locking is on
// (the lock's transaction, rolled back when `body` raises) or off (the
// mapper transaction alone).
void MapperWriteLocked(dao::Database& db, const std::function<void()>& body);

// Runs the statements of one read (a record's row and what goes with it)
// in one read transaction when none is open, so that they see one state of
// the file and take the file's read lock once instead of per statement.
void MapperRead(dao::Database& db, const std::function<void()>& body);

// Inside MapperWrite: `undo` runs if the outermost level rolls back (undo
// steps run last registered first). Outside: nothing happens.
void OnMapperRollback(std::function<void()> undo);

}  // namespace qv::records
