#include "doctables/miBigDocument.h"

#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <system_error>
#include <thread>
#include <vector>

#include "core/mErrorHandling.h"
#include "core/mQvCommonCalc.h"
#include "core/mQvDaoDataBase.h"
#include "core/mQvRegistryParams.h"
#include "core/miDataBase.h"
#include "core/schema/SchemaBuilder.h"
#include "doctables/mThingManager.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/Database.h"
#include "platform/dao/Workspace.h"
#include "platform/jet/JetConnection.h"
#include "platform/jet/JetError.h"
#include "platform/jet/PgConnection.h"
#include "platform/jet/ServerLocation.h"
#include "platform/jet/ServerSchemas.h"
#include "siblings/storages/QvFileSystem.h"
#include "siblings/things/ThingManager.h"

namespace qv::miBigDocument {

namespace {

namespace fs = std::filesystem;
using mQvCommonCalc::ConcatenatePath;
using mQvDaoDataBase::Number2DaoSql;

// The largest identifier a double still counts exactly.
constexpr double kMaxExactId = 9007199254740992.0;

// The whole part of a document identifier, checked.
double WholeDocId(double aDocID) {
  const double n = std::floor(aDocID);
  if (!(n >= 1 && n <= kMaxExactId))
    ThrowVb(vberr::kInvalidProcedureCall, "no big document has the identifier " +
                                              Number2DaoSql(std::isfinite(aDocID) ? aDocID : 0));
  return n;
}

std::string TwoDigits(double n) {
  char buf[4];
  std::snprintf(buf, sizeof buf, "%02d", static_cast<int>(std::fmod(n, 100)));
  return buf;
}

// "BigDocs/<n mod 100>/<(n div 100) mod 100>" of the whole identifier n.
std::string SubFolder(double n) {
  return std::string(kBigDocsFolder) + "/" + TwoDigits(n) + "/" + TwoDigits(std::floor(n / 100));
}

std::string ShardName(double n, int32_t shard) {
  return Number2DaoSql(n) + "_" + std::to_string(shard) + ".mdb";
}

std::string FileNameExtra(const std::string& file) {
  return "FileName: " + file;
}

// What the engine keeps beside an open database file.
constexpr std::string_view kSideFiles[] = {"-wal", "-shm"};

// Where tables open their shards: the workspace of the user database
// ("qvz"), so that one transaction of that workspace (a caller's, or the
// lock keeper's) spans the user database and the shards, as a DAO
// workspace's transaction spans every database open in it.
std::shared_ptr<dao::Workspace> LibraryWorkspace() {
  return miDataBase::GetWorkspace();
}

// Where shards are made: a workspace of their own, outside any
// transaction of the caller's, which would otherwise take in the new file
// and roll it back when the file closes.
std::shared_ptr<dao::Workspace> PrivateWorkspace() {
  return miDataBase::GetDBEngine()->CreateWorkspace("bigdocs", "admin", "", Variant(dao::dbUseJet));
}

ObjectPtr FileSystem() {
  return mErrorHandling::CreateObjectErr(kFileSystemProgId);
}

void EnsureFolder(const std::string& folder) {
  std::vector<Variant> args{Variant(folder), Variant(std::string())};
  if (!CBool(FileSystem()->Call("ForceFolder", args))) throw Error(kFolderError, CStr(args[1]));
}

// A name in the shard's folder that no pattern of shard files matches.
std::string TemporaryName(const std::string& file) {
  static std::atomic<uint64_t> counter{0};
  const size_t thread = std::hash<std::thread::id>{}(std::this_thread::get_id());
  return file + ".new-" + std::to_string(getpid()) + "-" + std::to_string(thread % 1000000) + "-" +
         std::to_string(counter.fetch_add(1));
}

void RemoveWithSideFiles(const std::string& file) noexcept {
  std::error_code ec;
  fs::remove(file, ec);
  for (std::string_view side : kSideFiles) fs::remove(file + std::string(side), ec);
}

// Builds the shard's file under `temp`: its tables and its StorageInfo row.
void BuildShardFile(const std::string& temp, double docId, int32_t shard, int32_t shardSize) {
  auto db = PrivateWorkspace()->Create(temp, jet::kLocaleRussian);
  struct Closer {
    std::shared_ptr<dao::Database>& db;
    ~Closer() {
      if (db->IsOpen()) db->Close();
    }
  } closer{db};
  schema::CreateBigDocTables(*db, shard == 0);
  mQvDaoDataBase::QvExecuteSql(
      "insert into StorageInfo (VerNum, ShardSize, DocumentID, ShardIndex) values (" +
          Number2DaoSql(kStorageVersion) + ", " + Number2DaoSql(shardSize) + ", " +
          Number2DaoSql(docId) + ", " + Number2DaoSql(shard) + ")",
      db);
  db->Close();
}

// Gives the built file its own name unless a shard of that name appeared
// meanwhile (made by another connection), which then stays.
void Publish(const std::string& temp, const std::string& file) {
  std::error_code ec;
  fs::create_hard_link(temp, file, ec);
  if (ec && ec != std::errc::file_exists) {
    // A file system without links: a rename, which replaces nothing that
    // exists when checked just before.
    std::error_code exists;
    if (!fs::exists(file, exists)) fs::rename(temp, file, ec);
    if (ec) throw fs::filesystem_error("cannot name the shard", temp, file, ec);
  }
  RemoveWithSideFiles(temp);
}

// Closes every table of the document open on this thread.
void CloseOpenTables(double aDocID) {
  mThingManager::GetBigDocManager()->CloseBigDocTable(aDocID);
}

// Error 3045 naming the file when a shard of the document is open.
void RefuseWhileInUse(double aDocID) {
  const fs::path mask(GetBigDocFilesMask(aDocID));
  std::error_code ec;
  for (fs::directory_iterator it(mask.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!storages::MatchesWildcard(name, mask.filename().string())) continue;
    dao::DatabaseOptions exclusive;
    exclusive.exclusive = true;
    exclusive.lockTimeoutMs = 0;  // a file in use is known at once
    std::shared_ptr<dao::Database> probe;
    try {
      probe = dao::Database::Open(it->path().string(), exclusive, {}, jet::kSourceWorkspace);
    } catch (const Error& e) {
      if (e.Number() == dao::daoerr::kFileInUse) throw;
      continue;  // not a database: nobody can have it open as one
    }
    probe->Close();
  }
}

// ---- shards on a server folder: each a schema of the folder's database,
// named by DataFolderLocation of the shard's relative file name.

bool OnServer() {
  return miDataBase::IsServerDataFolder();
}

// The shard schemas' common name: the name of shard 0's without its "0".
std::string ServerShardPrefix(double aDocID) {
  std::string schema =
      jet::ServerFolderSchema(miDataBase::DataFolderLocation(BigDocRelativeFileName(aDocID, 0)));
  schema.pop_back();
  return schema;
}

std::vector<std::string> ServerShards(double aDocID, bool* builds = nullptr) {
  return jet::ServerSchemasNumbered(mQvRegistryParams::GetDataBasePath(), ServerShardPrefix(aDocID),
                                    builds);
}

// As a shard file is made: built under a name of its own, then given the
// shard's name unless a shard of that name appeared meanwhile (made by
// another workstation), which then stays. The build first removes what
// builds of any shard of the document cut off left (ServerSchemaBuild): a
// shard made meanwhile by another build is never built again here.
void CreateServerShard(const std::string& location, double docId, int32_t shard,
                       int32_t shardSize) {
  if (jet::ServerSchemaExists(location)) return;
  jet::ServerSchemaBuild build(location, ServerShardPrefix(docId));
  BuildShardFile(build.Location(), docId, shard, shardSize);
  build.Publish();
}

// Removes the document's shard schemas, all or none, or (`probe`) checks
// that it could: 3045 naming the shard's location while another session's
// transaction uses them.
void DropServerShards(double aDocID, bool probe, bool* builds = nullptr) {
  try {
    jet::DropServerSchemas(mQvRegistryParams::GetDataBasePath(), ServerShards(aDocID, builds),
                           probe);
  } catch (const Error& e) {
    if (e.Number() != jet::jeterr::kLocked) throw;
    dao::ThrowDao(dao::daoerr::kFileInUse, jet::kSourceWorkspace,
                  {jet::ShownLocation(GetBigDocFileName(aDocID, 0))});
  }
}

}  // namespace

std::string GetBigDocFolder(double aDocID) {
  return Guard(QV_HERE, [&] {
    if (OnServer()) {
      WholeDocId(aDocID);
      return mQvRegistryParams::GetDataBasePath();
    }
    return ConcatenatePath(mQvRegistryParams::GetDataBasePath(), SubFolder(WholeDocId(aDocID)));
  });
}

std::string GetBigDocFileName(double aDocID, int32_t aShard) {
  return Guard(QV_HERE, [&] {
    if (OnServer()) return miDataBase::DataFolderLocation(BigDocRelativeFileName(aDocID, aShard));
    return ConcatenatePath(GetBigDocFolder(aDocID), ShardName(WholeDocId(aDocID), aShard));
  });
}

std::string BigDocRelativeFileName(double aDocID, int32_t aShard) {
  return Guard(QV_HERE, [&] {
    const double n = WholeDocId(aDocID);
    return SubFolder(n) + "/" + ShardName(n, aShard);
  });
}

std::string GetBigDocFilesMask(double aDocID) {
  return Guard(QV_HERE, [&] {
    if (OnServer()) return ServerShardPrefix(aDocID) + "*";
    return ConcatenatePath(GetBigDocFolder(aDocID),
                           Number2DaoSql(WholeDocId(aDocID)) + "_*" + ".mdb");
  });
}

int32_t EffectiveShardSize(int32_t aShardSize) {
  return aShardSize < 1 ? kDefaultShardSize : aShardSize;
}

void CreateBigDocShard(double aDocID, int32_t aShard, int32_t aShardSize) {
  std::string file;
  GuardX(
      QV_HERE, [&] { return FileNameExtra(file); },
      [&] {
        file = GetBigDocFileName(aDocID, aShard);
        if (OnServer()) {
          CreateServerShard(file, WholeDocId(aDocID), aShard, EffectiveShardSize(aShardSize));
          return;
        }
        EnsureFolder(GetBigDocFolder(aDocID));
        std::error_code ec;
        if (fs::exists(file, ec)) return;
        const std::string temp = TemporaryName(file);
        try {
          BuildShardFile(temp, WholeDocId(aDocID), aShard, EffectiveShardSize(aShardSize));
          Publish(temp, file);
        } catch (...) {
          RemoveWithSideFiles(temp);
          throw;
        }
      });
}

std::shared_ptr<dao::Database> OpenOrCreateBigDocShard(double aDocID, int32_t aShard,
                                                       int32_t aShardSize, bool aCreate) {
  std::string file;
  return GuardX(
      QV_HERE, [&] { return FileNameExtra(file); },
      [&]() -> std::shared_ptr<dao::Database> {
        file = GetBigDocFileName(aDocID, aShard);
        std::error_code ec;
        if (OnServer() ? !jet::ServerSchemaExists(file) : !fs::exists(file, ec)) {
          if (!aCreate) return nullptr;
          // A later shard is made by the write that needs it; shard 0 only
          // by the document's creation: a document without it has lost it.
          if (aShard == 0) jet::ThrowJet(jet::jeterr::kFileNotFound, {file});
          CreateBigDocShard(aDocID, aShard, aShardSize);
        }
        return LibraryWorkspace()->Open(file, {});
      });
}

void CreateBigDocDataBase(double aDocID, int32_t aShardSize) {
  std::string file;
  GuardX(
      QV_HERE, [&] { return FileNameExtra(file); },
      [&] {
        file = GetBigDocFileName(aDocID, 0);
        std::error_code ec;
        if (OnServer() ? jet::ServerSchemaExists(file) : fs::exists(file, ec))
          jet::ThrowJet(jet::jeterr::kDatabaseExists, {}, jet::kSourceWorkspace);
        CreateBigDocShard(aDocID, 0, aShardSize);
      });
}

void ReplaceBigDocDataBase(double aDocID, int32_t aShardSize) {
  Guard(QV_HERE, [&] {
    DeleteBigDocDataBase(aDocID);
    CreateBigDocShard(aDocID, 0, aShardSize);
  });
}

void ReleaseBigDocDataBase(double aDocID) {
  Guard(QV_HERE, [&] {
    if (aDocID == 0) return;
    CloseOpenTables(aDocID);
    if (OnServer())
      DropServerShards(aDocID, true);
    else
      RefuseWhileInUse(aDocID);
  });
}

void DeleteBigDocDataBase(double aDocID) {
  Guard(QV_HERE, [&] {
    if (aDocID == 0) return;
    if (OnServer()) {
      CloseOpenTables(aDocID);
      bool builds = false;
      DropServerShards(aDocID, false, &builds);
      // And what builds of its shards cut off left (the shards' list shows them).
      if (builds)
        jet::DropLeftoverBuilds(mQvRegistryParams::GetDataBasePath(), ServerShardPrefix(aDocID));
      return;
    }
    ReleaseBigDocDataBase(aDocID);
    const std::string mask = GetBigDocFilesMask(aDocID);
    ObjectPtr files = FileSystem();
    files->CallV("DeleteFiles", mask);
    for (std::string_view side : kSideFiles) files->CallV("DeleteFiles", mask + std::string(side));
  });
}

void ZeroBigDocCells(double aDocID) {
  Guard(QV_HERE, [&] {
    if (aDocID == 0) return;
    // A document without shard 0 has nothing to empty: no file is made for it.
    std::error_code ec;
    const std::string shard0 = GetBigDocFileName(aDocID, 0);
    const bool existed = OnServer() ? jet::ServerSchemaExists(shard0) : fs::exists(shard0, ec);
    DeleteBigDocDataBase(aDocID);
    if (existed) CreateBigDocShard(aDocID, 0, kDefaultShardSize);
  });
}

}  // namespace qv::miBigDocument
