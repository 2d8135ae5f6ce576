#pragma once
// What documents reach in subsystems that are not built yet: one function
// each, so that each subsystem completes its own part in one place. The
// functions called inside a document delete or creation run inside the
// caller's transaction scope (dao::Transaction): a failure undoes the whole
// operation.
//
// Until a class is registered, the operations that would need it fail with
// 429 naming it, and only those: a document without pension-fund
// sub-documents or attachments deletes normally, a document that is no big
// document creates and deletes no shard files.

#include <cstdint>

#include "platform/automation/Collection.h"

namespace qv::dao {
class Database;
}

namespace qv::records {

inline constexpr std::string_view kPfrSubDocProgId = "Qv_DBProvider.DBPfrSubDoc";
inline constexpr std::string_view kAttachmentDocProgId = "Qv_DBProvider.DBAttachmentDoc";

// Deletes the pension-fund sub-documents of the document with their cells
// and errors (DeleteRecordsInDocument of the sub-document mapper, by
// ProgID, with every type). Nothing when the document has none.
void DeletePfrSubDocsOfDocument(dao::Database& db, double aDocumentID);

// The pension-fund end documents whose master is `aMasterDocID`, as
// document records (references); empty for master 0.
CollectionPtr GetPfrEndDocsByMasterDocID(dao::Database& db, double aMasterDocID);

// A big document's cell storage (its shard files) as the document tables
// implement it. It is installed when the library loads and has no ProgID:
// an internal service, which no caller outside the library may create
// (it removes and replaces a document's files).
class BigDocStorage {
 public:
  virtual ~BigDocStorage() = default;
  // Shard 0 of a document whose registry row was just added: files of
  // that identifier, which no document owns, are removed first.
  virtual void Create(double aDocID, int32_t aShardSize) = 0;
  virtual void Release(double aDocID) = 0;
  virtual void Delete(double aDocID) = 0;
  virtual void Zero(double aDocID) = 0;
};
// Called once when the library loads. REQUIRES: `storage` outlives every call.
void InstallBigDocStorage(BigDocStorage* storage);

// A big document's cell storage (its shard files), through the installed
// storage (error 429 without one).
// CreateBigDocDataBase makes shard 0 (`aShardSize` below 1: the default
// size); when the transaction open on `db` rolls back, the files go again.
void CreateBigDocDataBase(dao::Database& db, double aDocumentID, int32_t aShardSize);
// For a document other than 0: closes its tables open on this thread and
// checks that no other connection has a shard open (3045 naming the file,
// so the delete around it rolls back); the files are removed once the
// transaction open on `db` commits (at once without one).
void DeleteBigDocDataBase(dao::Database& db, double aDocumentID);
// Empties a big document: its tables closed, its shards removed and an
// empty shard 0 made. Nothing for document 0.
void ZeroBigDocCells(double aDocumentID);

// Deletes each attachment of the document through the attachment mapper
// (by ProgID), which also deletes its stored file. Nothing when the
// document has none.
void DeleteAttachmentsOfDocument(dao::Database& db, double aDocumentID);

}  // namespace qv::records
