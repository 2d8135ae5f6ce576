#include "MapperDatabase.h"

#include <memory>
#include <string>

#include "core/mQvRegistryParams.h"
#include "core/schema/SchemaBuilder.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/Database.h"
#include "platform/dao/Workspace.h"
#include "records/MapperSession.h"

namespace qvdb {

namespace {

std::shared_ptr<qv::dao::Database> DataFolderDatabase() {
  thread_local std::shared_ptr<qv::dao::Database> db;
  const std::string path = qv::mQvRegistryParams::GetDataBasePath() +
                           std::string(qv::schema::DbFileName(qv::schema::DbFile::kUser));
  if (!db || !db->IsOpen() || db->Name() != path)
    db = qv::dao::DBEngine::ForThread()->DefaultWorkspace()->Open(path, {});
  return db;
}

}  // namespace

bool ProvideUserDatabaseIfMissing() {
  qv::records::UserDatabaseProvider previous =
      qv::records::SetUserDatabaseProvider(&DataFolderDatabase);
  if (!previous) return true;
  qv::records::SetUserDatabaseProvider(std::move(previous));
  return false;
}

}  // namespace qvdb
