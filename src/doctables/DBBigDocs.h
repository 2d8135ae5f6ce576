#pragma once
// The public entry to big documents: the open table of a document, found
// again while some caller on this thread holds it, else opened anew.

#include <memory>

#include "platform/automation/Object.h"

namespace qv::doctables {

class DBBigDocTable;

class DBBigDocs : public Object {
  QV_DECLARE_CLASS(DBBigDocs)

 public:
  // The table of the document open on this thread, or a new one opened on
  // it (DBBigDocTable::OpenDoc, which makes shard 0 when it is missing).
  // Error 5 for an identifier below 1; errors of the shard name its file.
  std::shared_ptr<DBBigDocTable> GetBigDocTable(double aDocID);
  // Has no effect.
  void CopyBigDocContent(double aSrcDocID, double aDestDocID);
};

// The document storage as the document mappers reach it, by ProgID
// ("Qv_DBProvider.IntBigDocStorage"): the operations of miBigDocument.h of
// the same names.
class IntBigDocStorage : public Object {
  QV_DECLARE_CLASS(IntBigDocStorage)

 public:
  void CreateBigDocDataBase(double aDocID, int32_t aShardSize);
  void ReleaseBigDocDataBase(double aDocID);
  void DeleteBigDocDataBase(double aDocID);
  void ZeroBigDocCells(double aDocID);
};

}  // namespace qv::doctables
