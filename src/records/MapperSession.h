#pragma once
// The user database of the calling thread, as the public mapper classes see
// it. The mappers take it from here on every call and keep nothing.
//
// By default it is the thread's session database (miDataBase::GetUserDataBase);
// tests and tools may register another. With the provider cleared (null) a
// mapper call fails with error 91.

#include <functional>
#include <memory>

namespace qv::dao {
class Database;
}

namespace qv::records {

using UserDatabaseProvider = std::function<std::shared_ptr<dao::Database>()>;

// Replaces the provider (process-wide) and returns the previous one. The
// provider is called on the mapper's thread and must return that thread's
// database.
UserDatabaseProvider SetUserDatabaseProvider(UserDatabaseProvider provider);

// The calling thread's user database. Error 91 when no provider is set or it
// gives none.
std::shared_ptr<dao::Database> MapperUserDatabase();

// The shared pointer of a database the engine hands out by reference, for
// the toolkit's routines that take one.
std::shared_ptr<dao::Database> SharedDatabase(dao::Database& db);

}  // namespace qv::records
