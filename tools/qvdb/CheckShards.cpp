#include "CheckShards.h"

#include <set>
#include <string>
#include <system_error>

#include "DataFolder.h"
#include "FolderCopy.h"
#include "platform/automation/Error.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/Workspace.h"
#include "platform/jet/JetError.h"
#include "platform/jet/ServerLocation.h"

namespace qvdb {

namespace fs = std::filesystem;

namespace {

// The document a shard file's name "<document>_<shard>.mdb" gives; 0 for
// any other name.
double DocumentOfShard(const fs::path& file) {
  const std::string stem = file.stem().string();
  const size_t sep = stem.rfind('_');
  if (sep == std::string::npos || sep == 0) return 0;
  for (size_t i = 0; i < stem.size(); ++i)
    if (i != sep && (stem[i] < '0' || stem[i] > '9')) return 0;
  try {
    return std::stod(stem.substr(0, sep));
  } catch (const std::exception&) {
    return 0;
  }
}

std::set<double> BigDocuments(const fs::path& folder) {
  std::set<double> ids;
  qv::dao::DatabaseOptions options;
  options.readOnly = true;
  auto db = qv::dao::DBEngine::ForThread()->DefaultWorkspace()->Open(
      UserDatabasePath(folder).string(), options);
  auto rs = db->OpenStatement("select document_id from doc_registry where EditorType = 6",
                              qv::dao::dbOpenSnapshot);
  for (; !rs->IsEOF(); rs->MoveNext()) ids.insert(qv::CDbl(rs->FieldValue(0)));
  rs->Close();
  db->Close();
  return ids;
}

}  // namespace

std::vector<fs::path> UnownedShardFiles(const fs::path& folder) {
  // The shards before their owners: a document whose row is committed
  // between the two is not taken for none.
  const std::vector<std::string> names = FolderDatabases(folder.string());
  const std::set<double> owners = BigDocuments(folder);
  std::vector<fs::path> unowned;
  for (const std::string& name : names) {
    const fs::path file(name);
    if (*file.begin() != "BigDocs") continue;
    const double doc = DocumentOfShard(file);
    // A file of another name is reported with the file's own problems.
    if (doc != 0 && !owners.contains(doc)) unowned.push_back(file);
  }
  return unowned;
}

bool RemoveShardFile(const fs::path& folder, const fs::path& relative) {
  if (IsServerFolder(folder.string())) {
    const std::string shard = DatabaseLocation(folder.string(), relative.generic_string());
    try {
      qv::jet::DropServerSchemas(shard, {qv::jet::ServerFolderSchema(shard)});
    } catch (const qv::Error& e) {
      if (e.Number() == qv::jet::jeterr::kLocked) return false;
      throw;
    }
    return true;
  }
  const fs::path file = folder / relative;
  try {
    qv::dao::DatabaseOptions exclusive;
    exclusive.exclusive = true;
    exclusive.lockTimeoutMs = 0;
    auto probe = qv::dao::Database::Open(file.string(), exclusive, {}, "DAO.Workspace");
    probe->Close();
  } catch (const qv::Error& e) {
    if (e.Number() == 3045) return false;  // open elsewhere; a damaged file may go
  }
  std::error_code ec;
  fs::remove(file, ec);
  if (ec) return false;
  for (const char* side : {"-wal", "-shm"}) fs::remove(file.string() + side, ec);
  return true;
}

std::vector<qv::jet::TemporarySchema> ShardBuildSchemas(const std::string& location, bool remove) {
  // "<folder>_bigdocs_NN_NN_<document>_" is a family (RelativeNameOfSchema).
  return qv::jet::SweepTemporarySchemas(
      location, qv::jet::ServerFolderSchema(location) + "_bigdocs_",
      "[0-9]{2}_[0-9]{2}_[0-9]+_" + qv::jet::FamilyBuildPattern(), remove);
}

}  // namespace qvdb
