#pragma once
// Where qvdb finds the data folder, how it tells the library about it, and
// how `qvdb init` creates one.
//
// The folder of a command: --data when given; else "DataBasePath" of the
// registry store; else ~/.local/share/qvdb. The library reads the folder from
// the registry store only, so a command that uses another folder than the
// registry names (PointLibraryAt) gives the process a registry file of its
// own: a copy of the user's file with DataBasePath replaced, named by
// QV_REGISTRY and removed when the process ends. The user's file is not
// touched.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qvdb {

inline constexpr const char* kGeneralKey = "SOFTWARE\\Kestrane\\Quivane\\General";
inline constexpr const char* kDataBasePathValue = "DataBasePath";
inline constexpr const char* kOptionsFileName = "Qv_DBOptions.xml";

// "DataBasePath" as the registry store holds it, without a trailing "/";
// nullopt when absent or empty.
std::optional<std::string> RegisteredDataFolder();

// ~/.local/share/qvdb ($XDG_DATA_HOME/qvdb when that is an absolute path).
std::filesystem::path FallbackDataFolder();

// The folder of a command, as an absolute path (see above); a server
// location (a postgresql:// URI or a libpq connection string) as it is.
std::filesystem::path ResolveDataFolder(const std::optional<std::string>& fromCommandLine);

// The folder of a command that works on its data: as ResolveDataFolder, and
// a folder without a user database is a UserError naming the folder and
// `qvdb init`.
std::filesystem::path ExistingDataFolder(const std::optional<std::string>& fromCommandLine);

// The folder of `qvdb check`, which reports the files a folder lacks: as
// ResolveDataFolder, and a path that is a file or is not there (a folder
// on disk) is the UserError ExistingDataFolder raises for it.
std::filesystem::path CheckedDataFolder(const std::optional<std::string>& fromCommandLine);

// A folder named on the command line: a server location as it is, a
// directory as an absolute path.
std::string FolderArgument(const std::string& text);

// A folder as messages show it (a server location's password masked).
std::string ShownFolder(const std::string& folder);

// The user database of a folder (Quivane.mdb; on a server its location).
std::filesystem::path UserDatabasePath(const std::filesystem::path& folder);

// Makes the library of this process read `folder` as its data folder; does
// nothing when the registry already names it. The calling thread's database
// session is closed, so that it reopens on `folder`. Error 75 when the
// temporary registry file cannot be written.
void PointLibraryAt(const std::filesystem::path& folder);

struct InitResult {
  std::filesystem::path folder;
  std::vector<std::string> files;  // the database files built
  size_t referenceRows = 0;
  int64_t classifierObjects = 0;  // the address classifier's sample
  bool optionsWritten = false;
  // The law's reference data loaded (core/schema/RefData.h); the directory is
  // empty when the library's was not found.
  std::filesystem::path refDataDirectory;
  std::string refDataEdition;
  int64_t refDataRows = 0;
  std::filesystem::path registryFile;
};

// Creates `folder` (and its parents) with the three database files, the
// reference data, the law's reference data the library ships (read before
// anything is created, so a fault of it leaves no folder), the sample of the address classifier
// (SampleKladr.h) and an options file with locking off, then records the folder as DataBasePath in
// the registry store. An existing database file is error 3204 unless `force`, which first removes
// the database files, their journals, the options file and the big-document folder. When building
// fails, the files made so far are removed and the error is raised.
InitResult InitDataFolder(const std::filesystem::path& folder, bool force);

// `qvdb init --server`: creates a data folder on a server. The Jet functions
// (InstallServerFunctions: the extension, or `functionsScript`), the
// schemas of the folder's three databases, their tables
// (schema::BuildDataFolder), the reference data, the law's reference data
// and the address classifier's sample, as InitDataFolder writes them; then
// records the location as DataBasePath. No options file: locking is always
// on on a server. Errors: 3204 the folder has a user database already; 3051
// the server cannot be reached; 3251 the server has no extension.
InitResult InitServerFolder(const std::string& location, const std::string& functionsScript);

// The outermost of `folder` and its parents that does not exist (empty when
// `folder` exists or cannot be told): what creating `folder` makes, and what
// a failure after it removes again.
std::filesystem::path OutermostMissing(const std::filesystem::path& folder);

// Error 75 when `target` is `source` or lies inside it (both folders on
// disk): a copy there would be copied into itself, and its files, under
// BigDocs, taken for the folder's shards.
void RefuseCopyIntoItself(const std::filesystem::path& source, const std::filesystem::path& target,
                          const std::string& errorSource);

// True when the folder holds a user database (on a server: its schema with
// the engine's catalogue).
bool HasDatabase(const std::filesystem::path& folder);

}  // namespace qvdb
