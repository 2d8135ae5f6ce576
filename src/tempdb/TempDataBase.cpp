#include "tempdb/TempDataBase.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <set>

#include "core/mErrorHandling.h"
#include "core/mQvRegistryParams.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/Database.h"
#include "platform/dao/TableDef.h"
#include "platform/os/HostServices.h"
#include "tempdb/TempDBTable.h"

namespace qv::tempdb {

namespace fs = std::filesystem;

namespace {

// The engine's files beside a database: the lock file ("x.mdb" -> "x.ldb")
// and the journal files.
std::vector<fs::path> FilesOf(const std::string& path) {
  std::vector<fs::path> files{path, path.substr(0, path.size() - 4) + ".ldb"};
  for (const char* suffix : {"-wal", "-shm", "-journal"}) files.emplace_back(path + suffix);
  return files;
}

// Removes the files; the first that stays, or an empty path.
fs::path RemoveFiles(const std::string& path) {
  for (const fs::path& f : FilesOf(path)) {
    std::error_code ec;
    fs::remove(f, ec);
    if (fs::exists(f, ec)) return f;
  }
  return {};
}

// The temporary files of this process that are not removed yet. What is
// still here when the process ends normally is removed then.
class LiveFiles {
 public:
  static LiveFiles& Instance() {
    // Never destroyed: databases may be closed after static destructors ran.
    static LiveFiles* live = [] {
      auto* l = new LiveFiles;
      std::atexit([] { Instance().RemoveAll(); });
      return l;
    }();
    return *live;
  }
  // False when the path is already one of them.
  bool Claim(const std::string& path) {
    std::lock_guard lock(m_);
    return paths_.insert(path).second;
  }
  void Release(const std::string& path) {
    std::lock_guard lock(m_);
    paths_.erase(path);
  }

 private:
  void RemoveAll() {
    std::lock_guard lock(m_);
    for (const std::string& p : paths_) RemoveFiles(p);
    paths_.clear();
  }
  std::mutex m_;
  std::set<std::string> paths_;
};

// True when another connection holds the database open (the exclusive open
// of a temporary database keeps everyone else out).
bool InUseElsewhere(const std::string& path) {
  std::error_code ec;
  if (!fs::exists(path, ec)) return false;
  try {
    dao::DBEngine::ForThread()
        ->OpenDatabase(path, Variant(true), Variant(false), Variant(std::string()))
        ->Close();
  } catch (const Error& e) {
    return e.Number() == dao::daoerr::kFileInUse;
  }
  return false;
}

void CheckPrefix(const std::string& prefix) {
  for (unsigned char c : prefix)
    if (c < 32 || c == '/' || c == '\\')
      ThrowVb(
          vberr::kInvalidProcedureCall,
          "the name prefix of a temporary database must be a file name, not \"" + prefix + "\"");
}

constexpr int kMaxNameTries = 1000;

}  // namespace

TempDataBase::~TempDataBase() {
  try {
    CloseDB();
  } catch (...) {
  }
}

void TempDataBase::CloseDB() {
  Guard(QV_HERE, [&] {
    if (db_) {
      std::shared_ptr<dao::Database> db = std::move(db_);
      db->Close();
    }
    if (fileName_.empty()) return;
    if (const fs::path stays = RemoveFiles(fileName_); !stays.empty())
      ThrowVb(vberr::kPathFileAccessError, "the file " + stays.string() + " cannot be deleted");
    LiveFiles::Instance().Release(fileName_);
    fileName_.clear();
  });
}

void TempDataBase::CreateMdb(const std::string& aNamePrefix) {
  Guard(QV_HERE, [&] {
    const std::string prefix = aNamePrefix.empty() ? std::string(kDefaultPrefix) : aNamePrefix;
    CheckPrefix(prefix);
    const fs::path folder = mQvRegistryParams::GetBigFilesTempPath(true);
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec))
      ThrowVb(vberr::kPathNotFound, "the folder " + folder.string() + " cannot be made");

    uint32_t tick = os::GetTickCount();
    std::string path;
    LiveFiles& live = LiveFiles::Instance();
    for (int tries = 0;; ++tries, ++tick) {
      if (tries == kMaxNameTries)
        ThrowVb(vberr::kPathFileAccessError,
                "no free name for a temporary database in " + folder.string());
      path = (folder / (prefix + "-" + std::to_string(tick) + ".mdb")).string();
      if (!live.Claim(path)) continue;
      if (!InUseElsewhere(path)) break;
      live.Release(path);
    }
    try {
      RemoveFiles(path);
      auto engine = dao::DBEngine::ForThread();
      engine->CreateDatabase(path, Variant(std::string(kTempLocale)), Variant())->Close();
      db_ = engine->OpenDatabase(path, Variant(true), Variant(false), Variant(std::string()));
    } catch (...) {
      RemoveFiles(path);
      live.Release(path);
      throw;
    }
    fileName_ = path;
  });
}

std::shared_ptr<TempDBTable> TempDataBase::CreateTable(const std::string& aName) {
  return Guard(QV_HERE, [&] {
    if (!db_) ThrowVb(vberr::kObjectNotSet, "no temporary database is open");
    ++tableCounter_;
    std::string name;
    for (char c : aName)
      if (c == '@')
        name += std::to_string(tableCounter_);
      else
        name += c;
    auto table = std::make_shared<TempDBTable>();
    table->Bind(std::static_pointer_cast<TempDataBase>(shared_from_this()), std::move(name));
    return table;
  });
}

QV_DEFINE_CLASS(TempDataBase, "Qv_DBProvider.TempDataBase", QV_CREATABLE(TempDataBase),
                Method("DaoDataBase", &TempDataBase::DaoDataBase),
                Method("FileName", &TempDataBase::FileName),
                Method("CloseDB", &TempDataBase::CloseDB),
                Method("CreateMdb(aNamePrefix)", &TempDataBase::CreateMdb,
                       {Variant(std::string())}),
                Method("CreateTable(aName)", &TempDataBase::CreateTable))

}  // namespace qv::tempdb
