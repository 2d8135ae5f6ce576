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
inline constexpr std::string_view kBigDocsProgId = "Qv_DBProvider.DBBigDocs";
inline constexpr std::string_view kAttachmentDocProgId = "Qv_DBProvider.DBAttachmentDoc";

// Deletes the pension-fund sub-documents of the document with their cells
// and errors (DeleteRecordsInDocument of the sub-document mapper, by
// ProgID, with every type). Nothing when the document has none.
void DeletePfrSubDocsOfDocument(dao::Database& db, double aDocumentID);

// The pension-fund end documents whose master is `aMasterDocID`, as
// document records (references); empty for master 0.
CollectionPtr GetPfrEndDocsByMasterDocID(dao::Database& db, double aMasterDocID);

// Creates shard 0 of a big document's cell storage (`aShardSize` below 1:
// the default size) and, for DeleteBigDocDataBase, removes every shard file
// of the document, through the big-document class by ProgID.
void CreateBigDocDataBase(double aDocumentID, int32_t aShardSize);
void DeleteBigDocDataBase(double aDocumentID);

// Deletes each attachment of the document through the attachment mapper
// (by ProgID), which also deletes its stored file. Nothing when the
// document has none.
void DeleteAttachmentsOfDocument(dao::Database& db, double aDocumentID);

}  // namespace qv::records
