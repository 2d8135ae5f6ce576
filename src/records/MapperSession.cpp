#include "records/MapperSession.h"

#include <atomic>
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

std::shared_ptr<dao::Database> SessionDatabase() {
  return miDataBase::GetUserDataBase();
}
using SessionDatabaseFn = std::shared_ptr<dao::Database> (*)();

// The thread's session database unless a test or tool replaced it.
UserDatabaseProvider& Provider() {
  static UserDatabaseProvider p = &SessionDatabase;
  return p;
}

// True while the provider is the session's database (the default, or
// given back): a mapper call asks the session directly, taking no lock and
// copying no provider.
std::atomic<bool> gSessionProvider{true};

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
  const SessionDatabaseFn* fn = Provider().target<SessionDatabaseFn>();
  gSessionProvider.store(fn && *fn == &SessionDatabase, std::memory_order_release);
  return previous;
}

std::shared_ptr<dao::Database> MapperUserDatabase() {
  std::shared_ptr<dao::Database> db;
  if (gSessionProvider.load(std::memory_order_acquire)) {
    db = SessionDatabase();
  } else {
    UserDatabaseProvider provider;
    {
      std::lock_guard lock(ProviderMutex());
      provider = Provider();
    }
    if (provider) db = provider();
  }
  if (!db) throw Error(vberr::kObjectNotSet, "the user database is not open");
  return db;
}

}  // namespace qv::records

namespace qv::records {

std::shared_ptr<dao::Database> SharedDatabase(dao::Database& db) {
  return std::static_pointer_cast<dao::Database>(db.shared_from_this());
}

}  // namespace qv::records
