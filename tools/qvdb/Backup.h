#pragma once
// `qvdb backup`: a consistent copy of a data folder that may be in use. Each
// database file (the three files and the big-document shards under BigDocs/)
// is copied with SQLite's online backup (jet::BackupDatabase): the copy of a
// file holds one committed state of it, the commits still in its log
// included. The options file is copied as it is. Files are copied one after
// the other, so two files may show states from different moments.
//
// Each copy is checked at once (SQLite's quick check: every page, record and
// index entry well formed): a damaged file stops the backup, unless the
// caller keeps damaged files, when the copy is kept and listed.

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

namespace qvdb {

// The database files of a data folder that exist, relative to it: the
// user, Kladr and Okato files, then the big-document shards in name order.
std::vector<std::filesystem::path> DatabaseFiles(const std::filesystem::path& folder);

struct BackupResult {
  int files = 0;                     // database files copied
  std::vector<std::string> damaged;  // "FILE: first problem", when kept
};

// The problems SQLite's quick check finds in a database file, none when it
// is sound (a file that does not open: the error's report).
std::vector<std::string> QuickCheck(const std::filesystem::path& file);

// Copies the folder's database files and options file into `target`, which
// is created and must not exist or be empty; prints a line per file (a
// damaged one kept: with "DAMAGED: " and its first problem). Errors: 3044 no
// folder, 3024 no user database in it, 3204 `target` is not empty, 3049 a
// damaged file (unless `keepDamaged`); after a failure the files copied so
// far are removed.
BackupResult BackupDataFolder(const std::filesystem::path& folder,
                              const std::filesystem::path& target, std::ostream& out,
                              bool keepDamaged = false);

}  // namespace qvdb
