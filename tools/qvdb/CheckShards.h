#pragma once
// `qvdb check`, the shard files of big documents against the registry:
// files under BigDocs/ whose document has no row of editor type 6 (left by
// a run stopped between writing a document's files and committing its
// row, or between committing a delete and removing the files).

#include <filesystem>
#include <vector>

namespace qvdb {

// The shard files (paths below the data folder, as DatabaseFiles gives
// them) whose document is no document of editor type 6 in the user
// database of `folder`. Errors of the user database are raised.
std::vector<std::filesystem::path> UnownedShardFiles(const std::filesystem::path& folder);

// Removes a shard file below `folder` with the engine's side files (-wal,
// -shm); false, with nothing removed, when another connection has it open
// (a file some process still writes is not left to a check to take).
bool RemoveShardFile(const std::filesystem::path& folder, const std::filesystem::path& relative);

}  // namespace qvdb
