#include "platform/dao/Workspace.h"

#include <algorithm>
#include <array>

#include "platform/dao/DBEngine.h"
#include "platform/dao/DaoCollections.h"
#include "platform/dao/DaoError.h"

namespace qv::dao {

QV_DEFINE_CLASS(Workspace, "DAO.Workspace", nullptr,
                qv::Property("Name", &Workspace::Name, &Workspace::SetName),
                Method("UserName", &Workspace::UserName), Method("Type", &Workspace::Type),
                Method("BeginTrans", &Workspace::BeginTrans),
                Method("CommitTrans(options)", &Workspace::CommitTrans, {Variant(int32_t{0})}),
                Method("Rollback", &Workspace::Rollback),
                Method("OpenDatabase(Name, Options, ReadOnly, Connect)", &Workspace::OpenDatabase,
                       {Variant(false), Variant(false), Variant("")}),
                Method("CreateDatabase(Name, Locale, Options)", &Workspace::CreateDatabase,
                       {Variant(std::string(dbLangGeneral)), Variant(int32_t{0})}),
                CollectionMember("Databases", &Workspace::DatabasesCollection),
                Method("Close", &Workspace::Close))

Workspace::Workspace(std::string name, std::string user, int32_t type,
                     std::weak_ptr<DBEngine> engine)
    : name_(std::move(name)), user_(std::move(user)), type_(type), engine_(std::move(engine)) {}

Workspace::~Workspace() = default;

int Workspace::LockTimeoutMs() const {
  auto engine = engine_.lock();
  return engine ? engine->LockTimeoutMs() : 5000;
}

void Workspace::ForEachDatabase(const std::function<void(Database&)>& fn) {
  // The open ones held first (each looked at once), the closed dropped:
  // `fn` may open or close databases of this workspace. A few are held
  // here, without a vector made per walk (a transaction walks four times).
  constexpr size_t kFew = 4;
  std::array<std::shared_ptr<Database>, kFew> few;
  std::vector<std::shared_ptr<Database>> more;
  size_t count = 0;
  std::erase_if(databases_, [&](const std::weak_ptr<Database>& w) {
    auto db = w.lock();
    if (!db || !db->IsOpen()) return true;
    if (count < kFew)
      few[count] = std::move(db);
    else
      more.push_back(std::move(db));
    ++count;
    return false;
  });
  for (size_t i = 0; i < std::min(count, kFew); ++i)
    if (few[i]->IsOpen()) fn(*few[i]);
  for (const auto& db : more)
    if (db->IsOpen()) fn(*db);
}

void Workspace::BeginTrans() {
  Begin(false);
}

void Workspace::BeginTransImmediate(bool lockWithFirstStatement) {
  Begin(true, lockWithFirstStatement);
}

void Workspace::Begin(bool immediate, bool lockWithFirstStatement) {
  std::vector<Database*> begun;
  try {
    ForEachDatabase([&](Database& db) {
      db.BeginLevel(immediate && depth_ == 0 && !db.IsReadOnly(), lockWithFirstStatement);
      begun.push_back(&db);
    });
  } catch (...) {
    for (Database* db : begun) db->RollbackLevel();
    throw;
  }
  ++depth_;
}

void Workspace::CommitTrans(const Variant& options) {
  if (depth_ == 0) ThrowDao(daoerr::kNoTransaction, kSourceWorkspace);
  bool flush = depth_ == 1 && !options.IsEmptyOrNull() && (CLng(options) & dbForceOSFlush) != 0;
  std::optional<Error> failure;
  ForEachDatabase([&](Database& db) {
    try {
      db.CommitLevel(flush);
    } catch (const Error& e) {
      if (!failure) failure = e;
      try {
        db.RollbackLevel();
      } catch (const Error&) {
        // The level stays open; closing the database rolls it back.
      }
    }
  });
  --depth_;
  if (failure) throw *failure;
}

void Workspace::SyncCommitted() {
  if (depth_ != 0) return;
  ForEachDatabase([](Database& db) { db.SyncCommitted(); });
}

void Workspace::Rollback() {
  if (depth_ == 0) ThrowDao(daoerr::kNoTransaction, kSourceWorkspace);
  std::optional<Error> failure;
  ForEachDatabase([&](Database& db) {
    try {
      db.RollbackLevel();
    } catch (const Error& e) {
      if (!failure) failure = e;
    }
  });
  --depth_;
  if (failure) throw *failure;
}

std::shared_ptr<Database> Workspace::Join(std::shared_ptr<Database> db) {
  for (int32_t i = 0; i < depth_; ++i) db->BeginLevel();
  std::erase_if(databases_, [](const std::weak_ptr<Database>& w) { return w.expired(); });
  databases_.push_back(db);
  return db;
}

std::shared_ptr<Database> Workspace::Open(const std::string& path, DatabaseOptions options) {
  options.lockTimeoutMs = LockTimeoutMs();
  auto self = std::static_pointer_cast<Workspace>(shared_from_this());
  return Join(Database::Open(path, options, self, kSourceWorkspace));
}

std::shared_ptr<Database> Workspace::Create(const std::string& path, std::string_view locale) {
  DatabaseOptions options;
  options.lockTimeoutMs = LockTimeoutMs();
  auto self = std::static_pointer_cast<Workspace>(shared_from_this());
  return Join(Database::Create(path, locale, options, self, kSourceWorkspace));
}

std::shared_ptr<Database> Workspace::OpenDatabase(const std::string& name, const Variant& options,
                                                  const Variant& readOnly, const Variant&) {
  DatabaseOptions o;
  o.exclusive = !options.IsEmptyOrNull() && CBool(options);
  o.readOnly = !readOnly.IsEmptyOrNull() && CBool(readOnly);
  return Open(name, o);
}

std::shared_ptr<Database> Workspace::CreateDatabase(const std::string& name, const Variant& locale,
                                                    const Variant&) {
  return Create(name, locale.IsEmptyOrNull() ? std::string() : CStr(locale));
}

std::shared_ptr<Databases> Workspace::DatabasesCollection() {
  auto coll = std::make_shared<Databases>();
  ForEachDatabase(
      [&](Database& db) { coll->Add(std::static_pointer_cast<Database>(db.shared_from_this())); });
  coll->SetEditable(false);
  return coll;
}

void Workspace::Close() {
  ForEachDatabase([](Database& db) { db.Close(); });
  databases_.clear();
  depth_ = 0;
}

}  // namespace qv::dao
