#pragma once
// `qvdb backup`: a consistent copy of a data folder that may be in use. Each
// database file (the three files and the big-document shards under BigDocs/)
// is copied with SQLite's online backup (jet::BackupDatabase): the copy of a
// file holds one committed state of it, the commits still in its log
// included. The options file is copied as it is. Files are copied one after
// the other, so two files may show states from different moments.

#include <filesystem>
#include <iosfwd>
#include <vector>

namespace qvdb {

// The database files of a data folder that exist, relative to it: the
// user, Kladr and Okato files, then the big-document shards in name order.
std::vector<std::filesystem::path> DatabaseFiles(const std::filesystem::path& folder);

// Copies the folder's database files and options file into `target`, which
// is created and must not exist or be empty; prints a line per file; returns
// the number of database files copied. Errors: 3044 no folder, 3024 no user
// database in it, 3204 `target` is not empty; after a failure the files
// copied so far are removed.
int BackupDataFolder(const std::filesystem::path& folder, const std::filesystem::path& target,
                     std::ostream& out);

}  // namespace qvdb
