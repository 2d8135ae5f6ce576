#include "records/MapperSession.h"

#include <mutex>

#include "core/miDataBase.h"
#include "platform/automation/Error.h"

namespace qv::records {

namespace {

std::mutex& ProviderMutex() {
  static std::mutex m;
  return m;
}

// The thread's session database unless a test or tool replaced it.
UserDatabaseProvider& Provider() {
  static UserDatabaseProvider p = [] { return miDataBase::GetUserDataBase(); };
  return p;
}

}  // namespace

UserDatabaseProvider SetUserDatabaseProvider(UserDatabaseProvider provider) {
  std::lock_guard lock(ProviderMutex());
  UserDatabaseProvider previous = std::move(Provider());
  Provider() = std::move(provider);
  return previous;
}

std::shared_ptr<dao::Database> MapperUserDatabase() {
  UserDatabaseProvider provider;
  {
    std::lock_guard lock(ProviderMutex());
    provider = Provider();
  }
  std::shared_ptr<dao::Database> db = provider ? provider() : nullptr;
  if (!db) throw Error(vberr::kObjectNotSet, "the user database is not open");
  return db;
}

}  // namespace qv::records
