#include "records/MapperSession.h"

#include <mutex>

#include "core/miDataBase.h"
#include "platform/automation/Error.h"
#include "platform/dao/Database.h"
#include "siblings/courier/CourierMappers.h"

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

// The courier library's blobs live in the user database and join the
// mappers' transaction: they use the mappers' database.
[[maybe_unused]] const bool kCourierDatabaseSet = [] {
  courier::SetCourierDatabaseProvider([] { return MapperUserDatabase(); });
  return true;
}();

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

namespace qv::records {

std::shared_ptr<dao::Database> SharedDatabase(dao::Database& db) {
  return std::static_pointer_cast<dao::Database>(db.shared_from_this());
}

}  // namespace qv::records
