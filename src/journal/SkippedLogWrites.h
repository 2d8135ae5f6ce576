#pragma once
// Log writes skipped where the database cannot keep their count (a
// read-only folder refuses the Counters row as it refused the entry): the
// count goes to a file of the user's state folder, one per user database,
// which `qvdb check` adds to the database's own count.
//
// The file is $XDG_STATE_HOME/Qv_DBProvider/skipped-log-writes/<key> (or
// ~/.local/state/...; the system temporary folder without a home), <key>
// naming the user database's absolute path: each append is one line with
// a count, written in one call, so processes appending together lose none.

#include <cstdint>
#include <string>

namespace qv::journal {

// The file that keeps the skipped count of the user database `dbFile`.
std::string SkippedWritesFile(const std::string& dbFile);
// Adds `count` to it; false when that fails too (the count is then lost,
// and nothing else can keep it). Never raises.
bool KeepSkippedWrites(const std::string& dbFile, int32_t count) noexcept;
// The sum of the counts kept for `dbFile`; 0 without a file.
int64_t KeptSkippedWrites(const std::string& dbFile);

}  // namespace qv::journal
