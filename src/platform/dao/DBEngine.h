#pragma once
// DBEngine: the data-access engine of the calling thread (ForThread; the
// ProgIDs "DAO.DBEngine" and "DAO.DBEngine.36" hand out the same object).
// It holds the workspaces (the default one, "#Default Workspace#", first),
// opens and creates databases in the default workspace, and runs Idle:
//   dbRefreshCache: every open recordset of every workspace re-reads its
//     current record, so reads show what other connections have committed
//     (statements are never left open between calls, so each read starts a
//     fresh snapshot of the file outside a transaction);
//   dbFreeLocks: every database outside a transaction ends the read
//     snapshot a statement still stepping holds, so that its next read shows
//     what other connections have committed. Committed changes move from the
//     log into the file by SQLite's own checkpoints only (the log's size
//     threshold, the close of the last connection to the file).
// Version is "3.6", the object model's version this engine follows.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/automation/Object.h"
#include "platform/dao/Workspace.h"

namespace qv::dao {

class Workspaces;

class DBEngine : public Object {
  QV_DECLARE_CLASS(DBEngine)
  struct Private {};

 public:
  // The engine of the calling thread, made on first use.
  static std::shared_ptr<DBEngine> ForThread();
  explicit DBEngine(Private) {}

  std::string Version() const;
  void Idle(const Variant& action);
  std::shared_ptr<Database> OpenDatabase(const std::string& name, const Variant& options,
                                         const Variant& readOnly, const Variant& connect);
  std::shared_ptr<Database> CreateDatabase(const std::string& name, const Variant& locale,
                                           const Variant& options);
  // CreateWorkspace(name, user, password, type): a new workspace, not yet
  // in Workspaces (Workspaces.Append adds it). Errors: 3251 for ODBC.
  std::shared_ptr<Workspace> CreateWorkspace(const std::string& name, const std::string& user,
                                             const std::string& password, const Variant& type);
  std::shared_ptr<Workspaces> WorkspacesCollection();
  // The default workspace's transactions.
  void BeginTrans();
  void CommitTrans(const Variant& options);
  void Rollback();

  // ---- C++ callers
  std::shared_ptr<Workspace> DefaultWorkspace();
  // How long a write (or an open) waits for a lock held elsewhere before
  // it fails; for databases opened afterwards. 5000 by default.
  int LockTimeoutMs() const { return lockTimeoutMs_; }
  void SetLockTimeoutMs(int ms) { lockTimeoutMs_ = ms; }

 private:
  std::shared_ptr<Workspaces> workspaces_;
  std::vector<std::weak_ptr<Workspace>> created_;  // every workspace made here
  int lockTimeoutMs_ = 5000;
};

using DBEnginePtr = std::shared_ptr<DBEngine>;

}  // namespace qv::dao
