#pragma once
// `qvdb copy SRC DEST` and `qvdb backup` of a server folder: a whole data
// folder (the user database, the classifiers, the big-document shards)
// copied between a folder on disk and a server folder, either way.
//
// DEST is built as the library builds a folder (schema::BuildDataFolder,
// CreateBigDocTables for the shards), so it has every table, index, rule
// and the schema version a new folder of this library has; then each of its
// databases gets its source's rows in one transaction: each table emptied
// (the reference rows the build wrote) and filled with the source's rows,
// every value bound to a statement parameter of its column's kind, counter
// values kept (bytes too). On a server the counters' sequences are then
// moved past the copied values. A server SRC is read in one transaction: one
// instant of all its databases. A DEST that holds a database already is refused (3204);
// nothing of SRC is changed.

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "ServerFolder.h"
#include "platform/automation/Variant.h"
#include "platform/jet/JetTypes.h"

namespace qvdb {

// A folder as a command names it: a directory or a server location.
bool IsServerFolder(const std::string& folder);

// The relative names of the databases a folder holds (ServerFolder.h); for
// a directory the files of Backup.h's DatabaseFiles.
std::vector<std::string> FolderDatabases(const std::string& folder);

// Where the database `relativeName` of `folder` is: a file's path, or the
// server location of its schema.
std::string DatabaseLocation(const std::string& folder, std::string_view relativeName);

struct CopyOptions {
  // The Jet functions' script for a server DEST (InstallServerFunctions);
  // empty: the extension.
  std::string functionsScript;
  // A server SRC is always read in one read-only transaction over all its
  // databases (one instant of the folder); this makes it serializable and
  // deferrable, waiting for a state no serializable transaction's commit
  // can upset (what `qvdb backup` of a server folder asks for).
  bool snapshot = false;
  // Written to `out` once SRC and DEST have passed their checks, so that a
  // refused copy writes nothing there.
  std::string heading;
};

struct DatabaseCopied {
  std::string name;  // relative name
  int tables = 0;
  int64_t rows = 0;
};

// A value as a server's parameter takes it and its text result gives it
// (ServerFolder.h's ServerText): Yes/No -1 and 0, dates their day number,
// Currency its amount, numbers their shortest exact digits, bytes "\\x" and
// hex digits; Null and Empty nullopt. Error 3421 for an object or an array
// other than bytes.
ServerText ServerValueText(const qv::Variant& value);

// The value of a server's text result of a column of Jet type `type`,
// typed as the engine reads it back. Error 3421 for a text that is not of
// the type's form.
qv::Variant ValueOfServerText(const ServerText& text, qv::jet::JetType type);

// Copies the folder SRC into DEST (see above), printing a line per database.
// Errors: 3024 SRC holds no user database; 3204 DEST holds a database; 3051
// a server cannot be reached; any error of a database's copy, after its
// transaction is rolled back.
std::vector<DatabaseCopied> CopyDataFolder(const std::string& source, const std::string& dest,
                                           std::ostream& out, const CopyOptions& options = {});

}  // namespace qvdb
