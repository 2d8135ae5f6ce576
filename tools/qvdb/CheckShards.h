#pragma once
// `qvdb check`, the shard files of big documents against the registry:
// files under BigDocs/ (a server folder's shard schemas) whose document has
// no row of editor type 6 (left by a run stopped between writing a
// document's files and committing its row, or between committing a delete
// and removing the files); on a server also the temporary schemas of shard
// builds that were cut off.

#include <filesystem>
#include <string>
#include <vector>

#include "platform/jet/ServerSchemas.h"

namespace qvdb {

// The shard databases (names below the data folder, as FolderDatabases gives
// them) whose document is no document of editor type 6 in the user database
// of `folder`, a folder on disk or a server's. Errors of the user database
// are raised.
std::vector<std::filesystem::path> UnownedShardFiles(const std::filesystem::path& folder);

// Removes a shard file below `folder` with the engine's side files (-wal,
// -shm), or a server folder's shard schema; false, with nothing removed,
// when another connection has it open (a file some process still writes is
// not left to a check to take), on a server also while another session's
// transaction holds a lock on one of its tables.
bool RemoveShardFile(const std::filesystem::path& folder, const std::filesystem::path& relative);

// The temporary schemas of builds of a server folder's shards (any
// document, any shard; jet::ServerSchemaBuild): those cut-off builds left
// and those of builds under way in other sessions (`building`); with
// `remove`, those no other session holds are removed.
std::vector<qv::jet::TemporarySchema> ShardBuildSchemas(const std::string& location, bool remove);

}  // namespace qvdb
