#pragma once
// `qvdb import-mdb`: brings the Jet files of an installation over into a
// new data folder, or copies any one Jet file into a database file of ours.
//
// A folder: the Jet files Quivane.mdb (required), Kladr.mdb and Okato.mdb
// and the shards under BigDocs/ (names matched without regard to case, as
// Windows does). The new folder is built by the schema builder at the
// schema version the source's DBVersion tells (SourceSchemaVersion); for
// each table the built file has, the rows of the source table of the same
// name replace the built file's rows (reference rows included), columns
// matched by name without regard to case; a column the source lacks takes
// its default. Then the builder brings the folder up to the current schema
// version, running the migrations on the imported rows. DBVersion itself is
// not copied: the builder keeps its one row. A source table or column the
// schema does not know is listed, and created with its Jet type (and the
// table with its indexes) when `keepUnknown` is set. Qv_DBOptions.xml is
// copied; a classifier file the source lacks is left out of the new folder.
//
// A single file: every table with its Jet types and the indexes libmdb
// reads, into a new database file.
//
// Atomic: everything is written into a temporary folder beside DEST, which
// is renamed to DEST at the end; a failure or an interruption removes it,
// so there is no DEST, and the error names the file, table and row. The
// sources are opened read-only.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "JetSource.h"

namespace qvdb {

struct ImportOptions {
  bool keepUnknown = false;
  // Called as the rows of a file are copied: the file (a name, or
  // "BigDocs" counting files), what is done and the total.
  std::function<void(const std::string& file, int64_t done, int64_t total)> progress;
  // When it becomes true (a signal handler sets it) the import stops at
  // the next row with error 18.
  const std::atomic<bool>* cancel = nullptr;
  // Opens a source file; OpenJetFile unless a test gives its own.
  std::function<std::unique_ptr<JetSource>(const std::filesystem::path&)> open;
};

struct TableSummary {
  std::string name;
  bool known = true;    // the schema (or, for a single file, the file) has it
  bool copied = false;  // false: an unknown table left out
  int64_t read = 0;     // rows read (for a table left out: as its header counts)
  int64_t written = 0;
  std::map<std::string, int64_t> lossy;       // column -> values converted with loss
  std::vector<std::string> unknownColumns;    // the source's, not in the schema
  std::vector<std::string> defaultedColumns;  // the schema's, not in the source
  bool unknownColumnsKept = false;
};

struct FileSummary {
  std::string file;    // "Quivane.mdb", "BigDocs (12 files)", or the single file's name
  std::string format;  // "Jet 4" ...
  std::vector<TableSummary> tables;
  // What the reader reported while reading without failing (libmdb's
  // warnings), which the summary prints instead of libmdb itself.
  std::vector<std::string> readerMessages;
};

struct ImportSummary {
  std::vector<FileSummary> files;
  std::optional<std::string> sourceVersion;  // the source's DBVersion, "2.5.117"
  int32_t importedAt = 0;                    // the schema version the rows went in at
  int32_t migratedTo = 0;                    // the schema version of the new folder
  std::vector<std::string> skippedFiles;     // files of the source not imported
  std::vector<std::string> missingFiles;     // Kladr.mdb or Okato.mdb the source lacks
};

// The schema version of a source user database from its DBVersion row:
// a row written by our own builder (MajorVersion 1, MinorVersion 0) names
// it in BuildNumber; an installation's own version numbers, or no row,
// mean version 1, the layout the first version of the schema reproduces.
// Error 3343 when BuildNumber names a version newer than the library's.
int32_t SourceSchemaVersion(int32_t major, int32_t minor, int32_t build);

// Imports the folder `src` into the new folder `dest` (see above). Errors:
// 3044 `src` or the folder of `dest` does not exist, 3024 no Quivane.mdb
// in `src`, 3204 `dest` exists, 18 interrupted, any error of reading or
// writing with the file, table and row in its description.
ImportSummary ImportDataFolder(const std::filesystem::path& src, const std::filesystem::path& dest,
                               const ImportOptions& options);

// Copies the Jet file `src` into the new database file `dest`.
ImportSummary ImportJetFile(const std::filesystem::path& src, const std::filesystem::path& dest,
                            const ImportOptions& options);

// The summary as a person reads it: per file a table of rows read and
// written and values converted with loss, then what was left out.
void PrintImportSummary(const ImportSummary& summary, std::ostream& out);

}  // namespace qvdb
