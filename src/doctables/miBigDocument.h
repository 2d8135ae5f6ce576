#pragma once
// The files of big documents: a big document keeps its cells outside the
// user database, in shard files of its own under the data folder's BigDocs
// folder:
//   BigDocs/<n mod 100>/<(n div 100) mod 100>/<n>_<k>.mdb
// with n the document's identifier and k the shard (both folder parts two
// digits: document 1234567 lies in BigDocs/67/45). Shard 0 holds the
// directory (Volumes, SubDocs) and the cells of sub-documents 0 ..
// ShardSize - 1; shard k those of k * ShardSize .. (k + 1) * ShardSize - 1.
// Every shard holds StatCells, DynCells, WideCells and one StorageInfo row
// (VerNum 1, ShardSize, DocumentID, ShardIndex). ShardSize is fixed when
// shard 0 is made: 250000 unless a size of 1 or more is given.
//
// A shard appears at once or not at all: it is built under a temporary name
// in its folder and then linked to its own name, so a reader never sees a
// half-made file, and two connections making the same shard end with one.
//
// On a server data folder (miDataBase::IsServerDataFolder) each shard is a
// schema of the folder's database, named by miDataBase::DataFolderLocation
// of its relative file name ("acme_bigdocs_67_45_1234567_0"), with the same
// tables, each cell table keyed there by its address index "SubDoc" (made
// unique: a server row has no lasting rowid). The file name of a shard is
// then that schema's location, the folder the data folder's location, the
// mask the schemas' common name and "*". A shard is built in a schema of a
// temporary name and renamed into place, as a file is linked; a document's
// shards are removed together, all or none, with DROP SCHEMA ... CASCADE.
// "In use" there is another session's transaction holding a lock on a
// shard's table (3045); a connection open elsewhere with no transaction
// does not hold the removal back, and its next statement fails.
//
// Errors of opening or making a shard name the file ("FileName: <path>"
// after the location): a file that is not a database is 3343, one whose
// tables are missing 3078. A folder that cannot be made is error 1001 with
// the file-system object's message.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace qv::dao {
class Database;
}

namespace qv::miBigDocument {

inline constexpr std::string_view kModule = "miBigDocument";
inline constexpr std::string_view kFileSystemProgId = "Qv_Storages.QvFileSystem";
inline constexpr std::string_view kBigDocsFolder = "BigDocs";
inline constexpr int32_t kDefaultShardSize = 250000;
inline constexpr int32_t kStorageVersion = 1;
// Failures of the folder of a new shard.
inline constexpr int32_t kFolderError = 1001;

// The folder of a document's shards. Error 5 for an identifier below 1 or
// beyond 2^53 (no whole number names it).
std::string GetBigDocFolder(double aDocID);
// The file of shard `aShard` of the document.
std::string GetBigDocFileName(double aDocID, int32_t aShard);
// The shard's file below a data folder ("BigDocs/67/45/1234567_0.mdb"),
// for tools that look at a folder the library is not pointed at.
std::string BigDocRelativeFileName(double aDocID, int32_t aShard);
// The wildcard pattern of every shard of the document ("<folder>/<n>_*.mdb").
std::string GetBigDocFilesMask(double aDocID);

// A shard size as stored: `aShardSize`, or the default below 1.
int32_t EffectiveShardSize(int32_t aShardSize);

// Makes shard 0 of a new document. Error 3204 naming the file, with
// nothing removed or made, when the document's shard 0 exists.
void CreateBigDocDataBase(double aDocID, int32_t aShardSize);
// Makes shard 0 of a document whose identifier was just given to a new
// registry row, so that no document owns files of that identifier: any
// left by an earlier document or an interrupted creation are removed first.
void ReplaceBigDocDataBase(double aDocID, int32_t aShardSize);
// For a document other than 0: closes its tables open on this thread.
// Error 3045 naming the file while a shard is open on another thread or in
// another process (removing it would take the file from under them).
void ReleaseBigDocDataBase(double aDocID);
// ReleaseBigDocDataBase, then removes the document's shard files with the
// engine's side files; nothing is removed when the release fails.
void DeleteBigDocDataBase(double aDocID);
// Closes the document's open tables on this thread, removes its shards
// and makes an empty shard 0 of the default size; for a document without
// shard 0 (none of that identifier) it makes no file.
void ZeroBigDocCells(double aDocID);

// The shard opened shared and read-write in the workspace of the user
// database ("qvz", miDataBase::GetWorkspace). When the
// file does not exist: null without `aCreate`; with it, shard 0 is error
// 3024 naming the file (only a document's creation makes shard 0) and a
// later shard is made (CreateBigDocShard) and opened.
std::shared_ptr<dao::Database> OpenOrCreateBigDocShard(double aDocID, int32_t aShard,
                                                       int32_t aShardSize, bool aCreate);
// Makes the shard's folder and file with its tables and StorageInfo row.
// A file already there is left as it is.
void CreateBigDocShard(double aDocID, int32_t aShard, int32_t aShardSize);

}  // namespace qv::miBigDocument
