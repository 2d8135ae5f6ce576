#pragma once
// Workspace: a session of the engine holding open databases and their
// transactions. BeginTrans, CommitTrans and Rollback nest; each level is a
// savepoint in every database open in the workspace (a database opened
// inside a transaction joins it at the current depth), so one transaction
// spans all of them. Commits go database by database in the order they were
// opened: a database whose commit fails is rolled back at that level and
// the error is raised after the others committed.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/automation/Object.h"
#include "platform/dao/Database.h"

namespace qv::dao {

class DBEngine;
class Databases;

class Workspace : public Object {
  QV_DECLARE_CLASS(Workspace)

 public:
  Workspace() = default;  // for late binding only
  Workspace(std::string name, std::string user, int32_t type, std::weak_ptr<DBEngine> engine);
  ~Workspace() override;

  std::string Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }
  std::string UserName() const { return user_; }
  int32_t Type() const { return type_; }

  void BeginTrans();
  // C++ callers: BeginTrans whose outermost level takes each writable
  // database's write lock at once, waiting up to the lock timeout (3218
  // when it stays held), so that a read-modify-write inside it cannot
  // interleave with another connection's. Inner levels are plain ones.
  // `lockWithFirstStatement`: on a server each database's lock goes with
  // its first statement (TxOptions).
  void BeginTransImmediate(bool lockWithFirstStatement = false);
  // Errors: 3034 without a transaction. dbForceOSFlush makes the outermost
  // commit sync each file's log to the disk.
  void CommitTrans(const Variant& options);
  // What dbForceOSFlush adds to the outermost commit, on its own: each
  // database's log synced to the disk (none while a level is open). The
  // lock manager commits without the flag and syncs after it has freed
  // the lock between processes.
  void SyncCommitted();
  void Rollback();
  int32_t TransactionDepth() const { return depth_; }

  // OpenDatabase(name, options, readOnly, connect): options True (or
  // dbOpenExclusive) opens exclusively. Errors: those of Database::Open.
  std::shared_ptr<Database> OpenDatabase(const std::string& name, const Variant& options,
                                         const Variant& readOnly, const Variant& connect);
  // CreateDatabase(name, locale, options): a new file, opened shared.
  std::shared_ptr<Database> CreateDatabase(const std::string& name, const Variant& locale,
                                           const Variant& options);
  std::shared_ptr<Databases> DatabasesCollection();
  // Closes every database (rolling back what is not committed).
  void Close();

  // C++ callers.
  std::shared_ptr<Database> Open(const std::string& path, DatabaseOptions options);
  std::shared_ptr<Database> Create(const std::string& path, std::string_view locale);
  void ForEachDatabase(const std::function<void(Database&)>& fn);

 private:
  void Begin(bool immediate, bool lockWithFirstStatement = false);
  std::shared_ptr<Database> Join(std::shared_ptr<Database> db);
  int LockTimeoutMs() const;

  std::string name_;
  std::string user_;
  int32_t type_ = 2;
  std::weak_ptr<DBEngine> engine_;
  std::vector<std::weak_ptr<Database>> databases_;  // in opening order
  int32_t depth_ = 0;
};

using WorkspacePtr = std::shared_ptr<Workspace>;

}  // namespace qv::dao
