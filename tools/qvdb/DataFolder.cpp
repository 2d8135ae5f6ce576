#include "DataFolder.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "Commands.h"
#include "FolderCopy.h"
#include "SampleKladr.h"
#include "SampleReference.h"
#include "ServerFolder.h"
#include "core/mQvRegistryParams.h"
#include "core/miDataBase.h"
#include "core/schema/RefData.h"
#include "core/schema/SchemaBuilder.h"
#include "platform/automation/Error.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/Transaction.h"
#include "platform/jet/JetEngine.h"
#include "platform/jet/JetError.h"
#include "platform/jet/PgConnection.h"
#include "platform/jet/ServerLocation.h"
#include "platform/os/HostServices.h"
#include "platform/os/RegistryStore.h"

namespace qvdb {

namespace fs = std::filesystem;
using qv::os::RegistryRoot;
using qv::os::RegistryStore;
using qv::os::RegistryValue;

namespace {

[[noreturn]] void ThrowFileError(const std::string& what, const fs::path& path) {
  throw qv::Error(qv::vberr::kPathFileAccessError,
                  "Path/File access error: " + what + " " + path.string());
}

std::string EnvOrEmpty(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// A database file and the files SQLite keeps beside it.
std::vector<fs::path> FileWithJournals(const fs::path& db) {
  return {db, db.string() + "-wal", db.string() + "-shm", db.string() + "-journal"};
}

void RemoveDatabaseFiles(const fs::path& folder, bool withOptionsAndBigDocs) {
  std::error_code ec;
  for (auto file : qv::schema::kDbFiles)
    for (const fs::path& p : FileWithJournals(folder / qv::schema::DbFileName(file)))
      fs::remove(p, ec);
  if (withOptionsAndBigDocs) {
    fs::remove(folder / kOptionsFileName, ec);
    fs::remove_all(folder / "BigDocs", ec);
  }
}

// The temporary registry file of this process, removed at exit.
struct TemporaryRegistry {
  fs::path path;
  ~TemporaryRegistry() {
    if (path.empty()) return;
    std::error_code ec;
    fs::remove(path, ec);
  }
};

TemporaryRegistry& ProcessRegistry() {
  static TemporaryRegistry registry;
  return registry;
}

std::string WithSlash(const fs::path& folder) {
  std::string s = folder.string();
  if (qv::jet::IsServerLocation(s)) return s;
  if (s.empty() || s.back() != '/') s += '/';
  return s;
}

// Builds the folder's databases and writes the reference data, the law's
// reference data and the address classifier's sample.
void BuildAndFill(const std::string& folder, const qv::schema::RefDataSet& refData,
                  InitResult& result) {
  for (const auto& built : qv::schema::BuildDataFolder(folder)) {
    result.files.push_back(qv::jet::IsServerLocation(folder)
                               ? qv::jet::ServerFolderSchema(built.path)
                               : fs::path(built.path).filename().string());
    result.referenceRows += built.rowsInserted;
  }
  auto ws = qv::dao::DBEngine::ForThread()->CreateWorkspace("qvdb init", "admin", "",
                                                            qv::Variant(qv::dao::dbUseJet));
  auto kladr =
      ws->Open(DatabaseLocation(folder, qv::schema::DbFileName(qv::schema::DbFile::kKladr)), {});
  result.classifierObjects = sample::WriteSampleKladr(*kladr);
  // The country classifier, so that countries are found before any sample
  // data is generated.
  auto user =
      ws->Open(DatabaseLocation(folder, qv::schema::DbFileName(qv::schema::DbFile::kUser)), {});
  qv::dao::Transaction tx(*user);
  result.referenceRows += sample::EnsureCountries(*user);
  if (!result.refDataDirectory.empty()) {
    const qv::schema::RefLoadResult loaded = qv::schema::LoadRefData(*user, refData);
    result.refDataEdition = loaded.edition;
    result.refDataRows = loaded.Added();
  }
  tx.Commit();
  ws->Close();
}

void RecordDataFolder(const std::string& folder, InitResult& result) {
  RegistryStore& store = RegistryStore::ForThread();
  store.SetValue(RegistryRoot::kLocalMachine, kGeneralKey, kDataBasePathValue,
                 RegistryValue::String(WithSlash(folder)));
  qv::mQvRegistryParams::ResetRegistryCachesForThread();
  result.registryFile = store.Path();
}

}  // namespace

InitResult InitServerFolder(const std::string& location, const std::string& functionsScript) {
  InitResult result;
  result.folder = location;
  if (HasDatabase(location))
    throw qv::Error(qv::jet::jeterr::kDatabaseExists,
                    "Database already exists: " + qv::jet::ShownLocation(location) +
                        " (a server folder is not replaced: drop its schemas first)",
                    "qvdb init");
  result.refDataDirectory = qv::schema::ShippedRefDataDirectory();
  qv::schema::RefDataSet refData;
  if (!result.refDataDirectory.empty()) refData = qv::schema::ReadRefData(result.refDataDirectory);
  InstallServerFunctions(location, functionsScript);
  std::vector<std::string> made;
  for (auto file : qv::schema::kDbFiles) {
    const std::string schemaLocation = DatabaseLocation(location, qv::schema::DbFileName(file));
    if (ServerSchemaExists(schemaLocation)) continue;
    CreateServerSchema(schemaLocation);
    made.push_back(schemaLocation);
  }
  try {
    BuildAndFill(location, refData, result);
  } catch (...) {
    // The schemas made here go again; those there before are left alone.
    for (const std::string& schemaLocation : made) {
      try {
        DropServerSchema(schemaLocation);
      } catch (...) {
      }
    }
    throw;
  }
  RecordDataFolder(location, result);
  return result;
}

std::optional<std::string> RegisteredDataFolder() {
  const auto value =
      RegistryStore::ForThread().Read(RegistryRoot::kLocalMachine, kGeneralKey, kDataBasePathValue);
  if (!value || value->type != qv::os::RegistryType::kString) return std::nullopt;
  std::string text = value->text;
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  if (text.empty()) return std::nullopt;
  return text;
}

fs::path FallbackDataFolder() {
  const fs::path xdg = EnvOrEmpty("XDG_DATA_HOME");
  if (xdg.is_absolute()) return xdg / "qvdb";
  return fs::path(EnvOrEmpty("HOME")) / ".local" / "share" / "qvdb";
}

fs::path ResolveDataFolder(const std::optional<std::string>& fromCommandLine) {
  fs::path folder;
  if (fromCommandLine && !fromCommandLine->empty()) {
    folder = *fromCommandLine;
  } else if (auto registered = RegisteredDataFolder()) {
    folder = *registered;
  } else {
    folder = FallbackDataFolder();
  }
  if (qv::jet::IsServerLocation(folder.string())) return folder;
  std::error_code ec;
  fs::path absolute = fs::absolute(folder, ec);
  if (ec) absolute = folder;
  return absolute.lexically_normal();
}

namespace {

// The folder on disk without a user database: a file, or no data folder.
[[noreturn]] void NoDataFolderAt(const fs::path& folder,
                                 const std::optional<std::string>& fromCommandLine) {
  const std::string where = fromCommandLine && !fromCommandLine->empty() ? "given by --data"
                            : RegisteredDataFolder() ? "named by the registry file"
                                                     : "the default, no registry file names one";
  std::error_code ec;
  if (fs::exists(folder, ec) && !fs::is_directory(folder, ec))
    throw UserError(folder.string() + " is a file, not a data folder (" + where +
                    "): name a data folder with --data DIR");
  throw UserError("no data folder at " + folder.string() + " (" + where + "; no " +
                  UserDatabasePath(folder).filename().string() +
                  " there): create one with `qvdb init " + folder.string() +
                  "`, or name another with --data DIR");
}

}  // namespace

fs::path ExistingDataFolder(const std::optional<std::string>& fromCommandLine) {
  const fs::path folder = ResolveDataFolder(fromCommandLine);
  if (qv::jet::IsServerLocation(folder.string()) && !HasDatabase(folder))
    throw UserError("no data folder at " + qv::jet::ShownLocation(folder.string()) +
                    " (no user database's schema with the library's catalogue there): create "
                    "one with `qvdb init --server LOCATION`");
  if (!HasDatabase(folder)) NoDataFolderAt(folder, fromCommandLine);
  return folder;
}

fs::path CheckedDataFolder(const std::optional<std::string>& fromCommandLine) {
  const fs::path folder = ResolveDataFolder(fromCommandLine);
  std::error_code ec;
  if (!qv::jet::IsServerLocation(folder.string()) && !fs::is_directory(folder, ec))
    NoDataFolderAt(folder, fromCommandLine);
  return folder;
}

fs::path UserDatabasePath(const fs::path& folder) {
  if (qv::jet::IsServerLocation(folder.string()))
    return DatabaseLocation(folder.string(), qv::schema::DbFileName(qv::schema::DbFile::kUser));
  return folder / qv::schema::DbFileName(qv::schema::DbFile::kUser);
}

std::string FolderArgument(const std::string& text) {
  return ResolveDataFolder(text).string();
}

std::string ShownFolder(const std::string& folder) {
  return qv::jet::IsServerLocation(folder) ? qv::jet::ShownLocation(folder) : folder;
}

void RefuseCopyIntoItself(const fs::path& source, const fs::path& target,
                          const std::string& errorSource) {
  std::error_code ec;
  const fs::path from = fs::weakly_canonical(source, ec);
  const fs::path to = fs::weakly_canonical(target, ec);
  if (ec || from.empty()) return;
  auto f = from.begin(), t = to.begin();
  while (f != from.end() && t != to.end() && *f == *t) ++f, ++t;
  if (f == from.end() || (f->empty() && std::next(f) == from.end()))
    throw qv::Error(qv::vberr::kPathFileAccessError,
                    "Path/File access error: " + target.string() + " lies inside the folder " +
                        source.string() + " it would copy: choose a folder outside it",
                    errorSource);
}

fs::path OutermostMissing(const fs::path& folder) {
  std::error_code ec;
  fs::path made;
  for (fs::path p = folder; !p.empty() && !fs::exists(p, ec) && !ec && p != p.parent_path();
       p = p.parent_path())
    made = p;
  return made;
}

bool HasDatabase(const fs::path& folder) {
  if (qv::jet::IsServerLocation(folder.string())) {
    const auto names = ServerFolderDatabases(folder.string());
    return !names.empty() && names.front() == qv::schema::DbFileName(qv::schema::DbFile::kUser);
  }
  std::error_code ec;
  return fs::exists(UserDatabasePath(folder), ec);
}

void PointLibraryAt(const fs::path& folder) {
  const std::string wanted = WithSlash(folder);
  if (auto registered = RegisteredDataFolder(); registered && WithSlash(*registered) == wanted)
    return;
  TemporaryRegistry& tmp = ProcessRegistry();
  const fs::path user = RegistryStore::DefaultPath();
  if (tmp.path.empty() || user != tmp.path) {
    if (tmp.path.empty()) {
      std::string pattern = qv::os::SystemTempPath() + "qvdb-registry-XXXXXX";
      const int fd = ::mkstemp(pattern.data());
      if (fd < 0) ThrowFileError("cannot create", pattern);
      ::close(fd);
      tmp.path = pattern;
    }
    // Start from the user's settings, so that only the data folder differs.
    std::error_code ec;
    fs::remove(tmp.path, ec);
    if (fs::exists(user, ec)) {
      fs::copy_file(user, tmp.path, fs::copy_options::overwrite_existing, ec);
      if (ec) ThrowFileError("cannot copy", user);
    }
    ::setenv("QV_REGISTRY", tmp.path.c_str(), 1);
  }
  RegistryStore::ForThread().SetValue(RegistryRoot::kLocalMachine, kGeneralKey, kDataBasePathValue,
                                      RegistryValue::String(wanted));
  qv::mQvRegistryParams::ResetRegistryCachesForThread();
  // Databases of another folder this thread's session holds are closed; the
  // next operation opens the ones of `folder`.
  qv::miDataBase::CloseDatabase();
}

InitResult InitDataFolder(const fs::path& folder, bool force) {
  InitResult result;
  result.folder = folder;
  std::error_code ec;
  for (auto file : qv::schema::kDbFiles) {
    const fs::path p = folder / qv::schema::DbFileName(file);
    if (fs::exists(p, ec) && !force)
      throw qv::Error(qv::jet::jeterr::kDatabaseExists,
                      "Database already exists: " + p.string() + " (use --force to replace it)",
                      "qvdb init");
  }
  // The registry file holds one value a line: the name is refused before
  // anything is built, not after.
  if (folder.string().find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
    throw UserError(
        "the folder's name holds a line break, which the registry file cannot "
        "record: choose another name",
        2);
  result.refDataDirectory = qv::schema::ShippedRefDataDirectory();
  qv::schema::RefDataSet refData;
  if (!result.refDataDirectory.empty()) refData = qv::schema::ReadRefData(result.refDataDirectory);
  const fs::path made = OutermostMissing(folder);
  fs::create_directories(folder, ec);
  if (ec || !fs::is_directory(folder, ec))
    ThrowFileError("cannot create the folder", folder.string() + (ec ? ": " + ec.message() : ""));
  if (force) RemoveDatabaseFiles(folder, true);

  try {
    BuildAndFill(folder.string() + "/", refData, result);
    const fs::path options = folder / kOptionsFileName;
    if (!fs::exists(options, ec)) {
      std::ofstream out(options);
      out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<DBOptions><Locking Enable=\"no\"/></DBOptions>\n";
      out.close();
      if (!out) ThrowFileError("cannot write", options);
      result.optionsWritten = true;
    }
    RecordDataFolder(folder.string(), result);
  } catch (...) {
    RemoveDatabaseFiles(folder, false);
    if (result.optionsWritten) fs::remove(folder / kOptionsFileName, ec);
    if (!made.empty()) fs::remove_all(made, ec);
    throw;
  }
  return result;
}

}  // namespace qvdb
