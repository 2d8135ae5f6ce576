#pragma once
// The database session of the calling thread: where the files of the data
// folder are, the data-access engine's workspace "qvz" and the databases
// opened in it, flushing and closing them, the lock manager, and the
// options file that switches database locking on.
//
// Everything here is per thread (thread_local): a second thread gets its
// own workspace, databases, lock manager and cached settings. Databases
// open lazily on first use and stay open until CloseDatabase or the end of
// the thread; after a close the next use opens them again.
//
// Paths use "/"; the data folder (mQvRegistryParams::GetDataBasePath) ends
// in one "/", and is "/" when the registry names none.

#include <memory>
#include <string>
#include <string_view>

#include "platform/dao/DBEngine.h"
#include "platform/dao/Database.h"
#include "platform/dao/Workspace.h"

namespace qv {

class DBLockManager;

namespace miDataBase {

inline constexpr std::string_view kModule = "miDataBase";

inline constexpr std::string_view kUserDBFileName = "Quivane.mdb";
inline constexpr std::string_view kKladrDBFileName = "Kladr.mdb";
inline constexpr std::string_view kOkatoDBFileName = "Okato.mdb";
inline constexpr std::string_view kOptionsFileName = "Qv_DBOptions.xml";
inline constexpr std::string_view kWorkspaceName = "qvz";

// The calling thread's data-access engine.
std::shared_ptr<dao::DBEngine> GetDBEngine();
// The workspace "qvz" (user "admin", empty password, Jet type), created and
// appended to the engine's Workspaces on first use.
std::shared_ptr<dao::Workspace> GetWorkspace();

// Whether the data folder is a server location (a postgresql:// URI or a
// libpq connection string) rather than a folder on disk: its databases are
// then schemas of one server database, and every workstation of an office
// uses them at once.
bool IsServerDataFolder();

// Where the folder's database `relativeName` ("Quivane.mdb", "Kladr.mdb", a
// big document's "sub/123_0.mdb") is. On disk the folder + the name; on a
// server the location in the schema that stands for it
// (jet::ServerDatabaseLocation): the user database "Quivane.mdb" is the
// folder's own schema, any other that schema + "_" + its name ("Kladr.mdb"
// -> "acme_kladr", "12/1200_3.mdb" -> "acme_12_1200_3"); 3044 when that is
// longer than a server allows (63 bytes).
std::string DataFolderLocation(std::string_view relativeName);

// DataFolderLocation of the folder's three databases.
std::string GetUserDBFileName();
std::string GetKladrDBFileName();
std::string GetOkatoDBFileName();

// The user database, opened in "qvz" (shared, read-write) on first use;
// read-only when the file or its folder cannot be written (every write then
// fails with 3027). Errors of the open (3024 no such file, 3044 no such
// folder, 3343 a file that is no database of ours, left as it is ...) leave
// nothing held, so the next call tries again.
std::shared_ptr<dao::Database> GetUserDataBase();
// Opens the user database anew (the held one is not changed).
std::shared_ptr<dao::Database> OpenUserDataBase();

// The classifier databases, opened read-only through the engine's default
// workspace (not "qvz") on first use, whether or not they were probed.
std::shared_ptr<dao::Database> GetKladrDataBase();
std::shared_ptr<dao::Database> GetOkatoDataBase();
std::shared_ptr<dao::Database> OpenKladrDataBase();
std::shared_ptr<dao::Database> OpenOkatoDataBase();

// Whether the classifier file can be opened for reading; asked of the disk
// once per thread, later calls repeat the first answer. Never raises.
bool IsKladrFilePresents();
bool IsOkatoFilePresents();

// Engine idle with dbFreeLocks, then with dbRefreshCache: before reads that
// must see other processes' commits (a commit is visible to them at once).
void FlushObstacles();
// Engine idle with dbRefreshCache only.
void RenewRead();
// FlushObstacles, then closes and forgets the Okato, Kladr and user
// databases (closing the last connection to a file moves its log into the
// file). The workspace, the lock manager and cached settings stay.
void CloseDatabase();

// The thread's lock manager, made and attached to the user database file
// (on a server folder, its location: an advisory lock of the server) on
// first use.
std::shared_ptr<DBLockManager> GetUserLockManager();

// What the options file at `path` says: locking is on when the element
// /DBOptions/Locking has Enable "yes", "1" or "true" (trimmed, any case).
// `problem` tells why a file that is there says nothing usable: it cannot
// be read, it is not well-formed XML, or Enable is a word other than the
// six; it is empty for a missing file, a missing element or attribute, and
// a recognised word. Never raises.
struct DBOptionsFile {
  bool lockingEnabled = false;
  std::string problem;
};
DBOptionsFile ReadDBOptionsFile(const std::string& path);

// Reads the data folder's options file once per thread. A server folder has
// no options file: its database locking is always on, since several
// workstations using it at once is what a server folder is for. Whatever is wrong
// with it leaves locking off and raises nothing, but a file with a problem
// is shown to the user (ShowError), once per thread: a mistyped file would
// otherwise turn locking off unnoticed.
void EnsureDBOptionsLoaded();
bool IsDBLockingEnabled();

// For tests and tools that switch data folders or registry files within
// one thread: closes the thread's databases, removes "qvz" from the engine,
// and forgets the lock manager, the probes, the options and the registry
// caches, so the next use starts as a new thread would. Open transactions
// are rolled back. Never raises.
void ResetSessionForThread();

// A routine that forgets the calling thread's state kept by a module above
// the core (a cache of rows read from the data folder). It must not raise.
using SessionResetListener = void (*)();
// Adds a routine that ResetSessionForThread calls, in the order added, after
// the session is closed. Meant for load-time registration; process-wide.
void AddSessionResetListener(SessionResetListener listener);

}  // namespace miDataBase
}  // namespace qv
