#include "core/miDataBase.h"

#include <filesystem>
#include <vector>

#include "core/DBLockManager.h"
#include "core/mErrorHandling.h"
#include "core/mQvCommonCalc.h"
#include "core/mQvRegistryParams.h"
#include "core/mQvXmlToolsErr.h"
#include "platform/dao/DaoCollections.h"
#include "platform/dao/DaoConstants.h"
#include "platform/jet/JetEngine.h"
#include "platform/jet/JetError.h"
#include "platform/jet/ServerLocation.h"
#include "platform/jet/ServerSchemas.h"
#include "platform/os/HostServices.h"

namespace qv::miDataBase {

namespace {

// The number an options file with a problem is shown with: VB's "Path/File
// access error", the file being there but of no use.
constexpr int32_t kOptionsFileProblem = 75;

struct Probe {
  bool probed = false;
  bool present = false;
};

struct Session {
  std::shared_ptr<dao::DBEngine> engine;
  std::shared_ptr<dao::Workspace> workspace;
  std::shared_ptr<dao::Database> user, kladr, okato;
  Probe kladrProbe, okatoProbe;
  std::shared_ptr<DBLockManager> lockManager;
  bool optionsLoaded = false;
  bool lockingEnabled = false;
};

// Filled at load time by the modules' static registrations, read-only after.
std::vector<SessionResetListener>& ResetListeners() {
  static std::vector<SessionResetListener> listeners;
  return listeners;
}

Session& ThreadSession() {
  thread_local Session session;
  return session;
}

// Opens the folder's database `name` read-only. A server folder without
// its schema lacks it as a folder on disk lacks the file: 3024 naming it
// (the schema is looked for only after a failed open).
std::shared_ptr<dao::Database> OpenReadOnly(std::string_view name) {
  const std::string location = DataFolderLocation(name);
  try {
    return GetDBEngine()->OpenDatabase(location, Variant(false), Variant(true), Variant(""));
  } catch (const Error& e) {
    if (e.Number() != jet::jeterr::kBadDatabaseFormat || !jet::IsServerLocation(location) ||
        jet::ServerSchemaExists(location))
      throw;
  }
  jet::ThrowJet(jet::jeterr::kFileNotFound,
                {std::string(name) + " (schema " + jet::ServerFolderSchema(location) + ")"},
                jet::kSourceWorkspace);
}

// A file is present when it can be read; a server schema when it opens as
// a database of ours.
bool ProbeOnce(Probe& probe, std::string_view name) {
  if (!probe.probed) {
    const std::string location = DataFolderLocation(name);
    if (jet::IsServerLocation(location)) {
      try {
        OpenReadOnly(name)->Close();
        probe.present = true;
      } catch (const Error&) {
        probe.present = false;
      }
    } else {
      probe.present = os::IsFileReadable(location);
    }
    probe.probed = true;
  }
  return probe.present;
}

void CloseAndForget(std::shared_ptr<dao::Database>& db) {
  if (!db) return;
  auto held = std::move(db);
  held->Close();
}

}  // namespace

std::shared_ptr<dao::DBEngine> GetDBEngine() {
  Session& s = ThreadSession();
  if (!s.engine) s.engine = dao::DBEngine::ForThread();
  return s.engine;
}

std::shared_ptr<dao::Workspace> GetWorkspace() {
  return Guard(QV_HERE, [] {
    Session& s = ThreadSession();
    if (!s.workspace) {
      auto engine = GetDBEngine();
      auto ws =
          engine->CreateWorkspace(std::string(kWorkspaceName), "admin", "", Variant(dao::dbUseJet));
      engine->WorkspacesCollection()->Append(ws);
      s.workspace = std::move(ws);
    }
    return s.workspace;
  });
}

bool IsServerDataFolder() {
  return jet::IsServerLocation(mQvRegistryParams::GetDataBasePath());
}

std::string DataFolderLocation(std::string_view relativeName) {
  const std::string folder = mQvRegistryParams::GetDataBasePath();
  if (!jet::IsServerLocation(folder)) return folder + std::string(relativeName);
  return jet::ServerDatabaseLocation(folder, relativeName, kUserDBFileName);
}

std::string GetUserDBFileName() {
  return DataFolderLocation(kUserDBFileName);
}
std::string GetKladrDBFileName() {
  return DataFolderLocation(kKladrDBFileName);
}
std::string GetOkatoDBFileName() {
  return DataFolderLocation(kOkatoDBFileName);
}

std::shared_ptr<dao::Database> GetUserDataBase() {
  Session& s = ThreadSession();
  if (s.user && s.user->IsOpen()) return s.user;
  return Guard(QV_HERE, [&] {
    s.user = OpenUserDataBase();
    return s.user;
  });
}

std::shared_ptr<dao::Database> OpenUserDataBase() {
  return Guard(QV_HERE, [] {
    const std::string path = GetUserDBFileName();
    const bool readOnly = !jet::IsServerLocation(path) && os::OpensReadOnly(path);
    return GetWorkspace()->OpenDatabase(path, Variant(false), Variant(readOnly), Variant(""));
  });
}

std::shared_ptr<dao::Database> GetKladrDataBase() {
  return Guard(QV_HERE, [] {
    Session& s = ThreadSession();
    if (!s.kladr) s.kladr = OpenKladrDataBase();
    return s.kladr;
  });
}

std::shared_ptr<dao::Database> GetOkatoDataBase() {
  return Guard(QV_HERE, [] {
    Session& s = ThreadSession();
    if (!s.okato) s.okato = OpenOkatoDataBase();
    return s.okato;
  });
}

std::shared_ptr<dao::Database> OpenKladrDataBase() {
  return Guard(QV_HERE, [] { return OpenReadOnly(kKladrDBFileName); });
}

std::shared_ptr<dao::Database> OpenOkatoDataBase() {
  return Guard(QV_HERE, [] { return OpenReadOnly(kOkatoDBFileName); });
}

bool IsKladrFilePresents() {
  try {
    return ProbeOnce(ThreadSession().kladrProbe, kKladrDBFileName);
  } catch (...) {
    return false;
  }
}

bool IsOkatoFilePresents() {
  try {
    return ProbeOnce(ThreadSession().okatoProbe, kOkatoDBFileName);
  } catch (...) {
    return false;
  }
}

void FlushObstacles() {
  Guard(QV_HERE, [] {
    auto engine = GetDBEngine();
    engine->Idle(Variant(dao::dbFreeLocks));
    engine->Idle(Variant(dao::dbRefreshCache));
  });
}

void RenewRead() {
  Guard(QV_HERE, [] { GetDBEngine()->Idle(Variant(dao::dbRefreshCache)); });
}

void CloseDatabase() {
  Guard(QV_HERE, [] {
    FlushObstacles();
    Session& s = ThreadSession();
    CloseAndForget(s.okato);
    CloseAndForget(s.kladr);
    CloseAndForget(s.user);
  });
}

std::shared_ptr<DBLockManager> GetUserLockManager() {
  return Guard(QV_HERE, [] {
    Session& s = ThreadSession();
    if (!s.lockManager) {
      auto manager = std::make_shared<DBLockManager>();
      manager->Init(GetUserDBFileName());
      s.lockManager = std::move(manager);
    }
    return s.lockManager;
  });
}

DBOptionsFile ReadDBOptionsFile(const std::string& path) {
  DBOptionsFile options;
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return options;
  const std::string intro = "The options file '" + path + "' ";
  try {
    std::string errorText;
    mQvXmlToolsErr::XmlDocument doc = mQvXmlToolsErr::XmlLoadDocumentSafe(path, errorText);
    if (!doc) {
      options.problem = intro + "cannot be read; database locking stays off.\r\n" + errorText;
      return options;
    }
    const pugi::xml_node locking = doc->select_node("/DBOptions/Locking").node();
    const std::string word = mQvXmlToolsErr::XmlGetStringAttributeDef(locking, "Enable", "");
    options.lockingEnabled = mQvXmlToolsErr::XmlGetBooleanAttributeDef(locking, "Enable", false);
    // A word is one of the six when the default does not decide it.
    const bool recognised = options.lockingEnabled ==
                            mQvXmlToolsErr::XmlGetBooleanAttributeDef(locking, "Enable", true);
    if (!word.empty() && !recognised)
      options.problem = intro + "has Locking Enable=\"" + word +
                        "\", which is none of yes, no, true, false, 1, 0; database locking "
                        "stays off.";
  } catch (const std::exception& e) {
    options = {false, intro + "cannot be read; database locking stays off.\r\n   Reason: " +
                          std::string(e.what())};
  }
  return options;
}

void EnsureDBOptionsLoaded() {
  Session& s = ThreadSession();
  if (s.optionsLoaded) return;
  s.optionsLoaded = true;
  s.lockingEnabled = false;
  DBOptionsFile options;
  try {
    if (IsServerDataFolder()) {
      s.lockingEnabled = true;
      return;
    }
    options = ReadDBOptionsFile(
        mQvCommonCalc::ConcatenatePath(mQvRegistryParams::GetDataBasePath(), kOptionsFileName));
  } catch (...) {
    return;  // no data folder to read it from: the open of the database says so
  }
  s.lockingEnabled = options.lockingEnabled;
  if (options.problem.empty()) return;
  try {
    throw Error(kOptionsFileProblem, options.problem);
  } catch (const Error&) {
    mErrorHandling::ProcessErrorAndShow(kModule, __func__);
  }
}

bool IsDBLockingEnabled() {
  EnsureDBOptionsLoaded();
  return ThreadSession().lockingEnabled;
}

void ResetSessionForThread() {
  Session& s = ThreadSession();
  for (auto* db : {&s.okato, &s.kladr, &s.user}) {
    try {
      CloseAndForget(*db);
    } catch (...) {
      db->reset();
    }
  }
  s.lockManager.reset();
  if (s.workspace) {
    try {
      s.workspace->Close();
      if (s.engine) s.engine->WorkspacesCollection()->Delete(std::string(kWorkspaceName));
    } catch (...) {
    }
    s.workspace.reset();
  }
  s.kladrProbe = {};
  s.okatoProbe = {};
  s.optionsLoaded = false;
  s.lockingEnabled = false;
  mQvRegistryParams::ResetRegistryCachesForThread();
  for (SessionResetListener listener : ResetListeners()) {
    try {
      listener();
    } catch (...) {
    }
  }
}

void AddSessionResetListener(SessionResetListener listener) {
  if (listener) ResetListeners().push_back(listener);
}

}  // namespace qv::miDataBase
