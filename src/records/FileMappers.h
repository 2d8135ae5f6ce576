#pragma once
// The mappers of files and blobs kept with documents:
//
//   DBStoredFile     StoredFiles: a file held in the application's store
//                    (its names and format; the bytes are not in the
//                    database)
//   DBAttachmentDoc  Doc_Attachments: a stored file attached to a document.
//                    A recursive save saves the stored file first; a delete
//                    deletes the stored file (when it is not read-only),
//                    then the attachment, in one transaction
//   DBDataBlob       CourBlobs: a block of bytes kept in the database,
//                    compressed or not (miBlobs)

#include "records/PlainMapper.h"

namespace qv::records {

class DBStoredFile : public PlainMapper<DBStoredFile> {
  QV_DECLARE_CLASS(DBStoredFile)

 public:
  static const MapperDef& Def();
};

class DBAttachmentDoc : public PlainMapper<DBAttachmentDoc> {
  QV_DECLARE_CLASS(DBAttachmentDoc)

 public:
  static const MapperDef& Def();
};

// ReadRecord reads DesiredCompressionType and ContentLength (the bytes as
// stored), not the content; LoadContent reads the content (the record asks
// for it on first use of Content). DeleteRecord and IsRecordExists follow
// the pattern.
class DBDataBlob : public PlainMapper<DBDataBlob> {
  QV_DECLARE_CLASS(DBDataBlob)

 public:
  static const MapperDef& Def();

  // Hands the record a new byte stream holding its blob's bytes, as they
  // were before compression (none for identifier 0 or a blob without a
  // row). Errors: 1001 for a stored compression type other than 0 and 1 or
  // for content that is not valid compressed data; the record keeps what it
  // had.
  void LoadContent(const Variant& aRecord);
  // Writes the record's content (miBlobs::SaveDataBlob with its identifier
  // and desired compression) when it is stored or new with data (state 2 or
  // 3), not read-only, and its content is both present (ContentLoaded) and
  // assigned by a caller (ContentModified). A new blob gets its identifier
  // (AssignNewID, AfterInsert), a stored one AfterUpdate, one saved with no
  // bytes is deleted (AfterDelete); a blob whose row is gone is not
  // recreated and hears nothing. ContentLength becomes the stored length.
  // `aRecursive` changes nothing. Errors: 1001 for a desired compression
  // other than 0 and 1, nothing written.
  void SaveRecord(const Variant& aRecord, bool aRecursive);
};

}  // namespace qv::records
