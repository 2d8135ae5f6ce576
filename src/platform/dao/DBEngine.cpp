#include "platform/dao/DBEngine.h"

#include "platform/dao/DaoCollections.h"
#include "platform/dao/DaoError.h"

namespace qv::dao {

QV_DEFINE_CLASS(
    DBEngine, "DAO.DBEngine", +[]() -> ObjectPtr { return DBEngine::ForThread(); },
    Method("Version", &DBEngine::Version), Method("Idle(action)", &DBEngine::Idle, {Variant()}),
    Method("OpenDatabase(name, options, readOnly, connect)", &DBEngine::OpenDatabase,
           {Variant(false), Variant(false), Variant("")}),
    Method("CreateDatabase(name, locale, options)", &DBEngine::CreateDatabase,
           {Variant(std::string(dbLangGeneral)), Variant(int32_t{0})}),
    Method("CreateWorkspace(name, user, password, type)", &DBEngine::CreateWorkspace,
           {Variant(""), Variant(""), Variant(dbUseJet)}),
    CollectionMember("Workspaces", &DBEngine::WorkspacesCollection),
    Method("BeginTrans", &DBEngine::BeginTrans),
    Method("CommitTrans(options)", &DBEngine::CommitTrans, {Variant(int32_t{0})}),
    Method("Rollback", &DBEngine::Rollback))

[[maybe_unused]] static const bool kDBEngine36 =
    (ProgIdRegistry::Register("DAO.DBEngine.36", &DBEngine::StaticClass), true);

std::shared_ptr<DBEngine> DBEngine::ForThread() {
  thread_local std::shared_ptr<DBEngine> engine = std::make_shared<DBEngine>(Private{});
  return engine;
}

std::string DBEngine::Version() const {
  return std::string(kEngineVersion);
}

std::shared_ptr<Workspaces> DBEngine::WorkspacesCollection() {
  if (!workspaces_) {
    workspaces_ = std::make_shared<Workspaces>();
    auto self = std::static_pointer_cast<DBEngine>(shared_from_this());
    auto def =
        std::make_shared<Workspace>(std::string(kDefaultWorkspaceName), "admin", dbUseJet, self);
    created_.push_back(def);
    workspaces_->Add(std::move(def));
  }
  return workspaces_;
}

std::shared_ptr<Workspace> DBEngine::DefaultWorkspace() {
  return WorkspacesCollection()->Items().front();
}

std::shared_ptr<Workspace> DBEngine::CreateWorkspace(const std::string& name,
                                                     const std::string& user,
                                                     const std::string& password,
                                                     const Variant& type) {
  (void)password;  // the files have no user-level security
  int32_t t = type.IsEmptyOrNull() ? dbUseJet : CLng(type);
  if (t != dbUseJet) ThrowDao(daoerr::kNotSupported, kSourceEngine);
  auto ws = std::make_shared<Workspace>(name, user, t,
                                        std::static_pointer_cast<DBEngine>(shared_from_this()));
  std::erase_if(created_, [](const std::weak_ptr<Workspace>& w) { return w.expired(); });
  created_.push_back(ws);
  return ws;
}

void DBEngine::Idle(const Variant& action) {
  int32_t a = action.IsEmptyOrNull() ? 0 : CLng(action);
  WorkspacesCollection();
  // Each live one held while it is walked, by index: not copied into a
  // vector per call (a lock's end idles the engine).
  for (size_t i = 0; i < created_.size(); ++i)
    if (auto ws = created_[i].lock())
      ws->ForEachDatabase([a](Database& db) {
        if (a & dbFreeLocks) db.FreeLocks();
        if (a & dbRefreshCache) db.RefreshRecordsets();
      });
}

std::shared_ptr<Database> DBEngine::OpenDatabase(const std::string& name, const Variant& options,
                                                 const Variant& readOnly, const Variant& connect) {
  return DefaultWorkspace()->OpenDatabase(name, options, readOnly, connect);
}

std::shared_ptr<Database> DBEngine::CreateDatabase(const std::string& name, const Variant& locale,
                                                   const Variant& options) {
  return DefaultWorkspace()->CreateDatabase(name, locale, options);
}

void DBEngine::BeginTrans() {
  DefaultWorkspace()->BeginTrans();
}
void DBEngine::CommitTrans(const Variant& options) {
  DefaultWorkspace()->CommitTrans(options);
}
void DBEngine::Rollback() {
  DefaultWorkspace()->Rollback();
}

}  // namespace qv::dao
