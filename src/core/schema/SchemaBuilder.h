#pragma once
// Builds the database files of a data folder from the declarative schema,
// through the data-access objects.
//
// Versions. Every step of the schema carries the version that introduces
// it; a file holds the tables of all its steps up to its version. Each file
// records its version (Database::SchemaVersion), and the user database
// also shows it in its one DBVersion row: MajorVersion 1, MinorVersion 0
// (the library's data format generation) and BuildNumber = the schema
// version. Building an existing folder runs, per file and in one
// transaction, the steps newer than the file's version: a step creates its
// tables, or, for a table the file already has, adds the fields and indexes
// it lacks. Reference rows come with the version that introduces them.
// Steps are never edited once released: later versions only add.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/schema/ReferenceData.h"
#include "core/schema/SchemaDef.h"

namespace qv::dao {
class Database;
}

namespace qv::schema {

// The rows a version adds to the tables of one file.
struct RowStep {
  DbFile file;
  int32_t version;
  std::vector<RefRow> (*rows)();
};

// What the builder builds: the schema steps and the row steps. The target
// version is the highest version among them.
struct SchemaSource {
  std::span<const SchemaStep> steps;
  std::span<const RowStep> rows;
};

// AllSchemaSteps() with the reference rows of ReferenceData at version 1,
// the steps and rows up to `upToVersion`: a folder built with it is at that
// version, and building it again with the whole schema runs the later ones
// (an import fills a folder at its source's version before migrating it).
SchemaSource DefaultSchema(int32_t upToVersion = INT32_MAX);

// The file name of a database of a data folder ("Quivane.mdb" ...).
std::string_view DbFileName(DbFile file);

// What the builder did to one file.
struct FileBuildResult {
  DbFile file;
  std::string path;
  bool created = false;
  int32_t fromVersion = 0;  // 0 for a new file
  int32_t toVersion = 0;
  std::vector<size_t> stepsRun;  // positions in SchemaSource::steps
  size_t rowsInserted = 0;
};

// Where the database `file` of the data folder `folder` is: a file of the
// folder, or on a server (a postgresql:// URI or libpq connection string as
// `folder`) the schema that stands for it (jet::ServerDatabaseLocation).
std::string DatabaseLocation(const std::string& folder, DbFile file);

// Creates the three databases of `folder` (Quivane.mdb, Kladr.mdb,
// Okato.mdb; on a server their schemas, and the catalogue in each) or
// brings them up to the source's version. A result's `path` shows a
// server's location with its password masked. Errors: 3044 the folder does
// not exist; 3343 naming the file when a file's version is newer than the
// source's (checked for every file before any is changed); any error of a
// step, after that file's transaction is rolled back.
std::vector<FileBuildResult> BuildDataFolder(const std::string& folder,
                                             const SchemaSource& source = DefaultSchema());

// Creates the tables of a big-document shard file in `db`, in one
// transaction: the directory tables (Volumes, SubDocs) when `withDirectory`
// (shard 0), and the cell tables and StorageInfo always; Text and Memo
// fields get UnicodeCompression after their table is appended.
void CreateBigDocTables(dao::Database& db, bool withDirectory);

// Whether `db` has a table of that name.
bool HasTable(dao::Database& db, std::string_view name);

}  // namespace qv::schema
