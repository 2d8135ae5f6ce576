#pragma once
// The public entry to big documents: the open table of a document, found
// again while some caller on this thread holds it, else opened anew.

#include <memory>

#include "platform/automation/Object.h"
#include "records/LaterDocumentParts.h"

namespace qv::doctables {

class DBBigDocTable;

class DBBigDocs : public Object {
  QV_DECLARE_CLASS(DBBigDocs)

 public:
  // The table of the document open on this thread, or a new one opened on
  // it (DBBigDocTable::OpenDoc). Error 5 for an identifier below 1; errors
  // of the shard name its file, 3024 when the document has no shard 0:
  // opening makes no file.
  std::shared_ptr<DBBigDocTable> GetBigDocTable(double aDocID);
  // Has no effect.
  void CopyBigDocContent(double aSrcDocID, double aDestDocID);
};

// The document storage as the document mappers reach it
// (records::BigDocStorage, installed when the library loads): the
// operations of miBigDocument.h. It has no ProgID: no caller outside the
// library creates or removes a document's files.
class IntBigDocStorage : public records::BigDocStorage {
 public:
  void Create(double aDocID, int32_t aShardSize) override;
  void Release(double aDocID) override;
  void Delete(double aDocID) override;
  void Zero(double aDocID) override;
};

}  // namespace qv::doctables
