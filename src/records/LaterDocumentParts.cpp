#include "records/LaterDocumentParts.h"

#include <string>

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/Transaction.h"
#include "records/MapperSession.h"
#include "records/miDocument.h"
#include "records/miRecCollection.h"

namespace qv::records {

namespace {
constexpr std::string_view kModule = "LaterDocumentParts";
using mQvDaoDataBase::Number2DaoSql;

BigDocStorage* theBigDocStorage = nullptr;  // constant-initialized: set at load time

BigDocStorage& Storage() {
  if (!theBigDocStorage) ThrowVb(vberr::kCannotCreateObject, "no big-document storage");
  return *theBigDocStorage;
}

}  // namespace

void InstallBigDocStorage(BigDocStorage* storage) {
  theBigDocStorage = storage;
}

void DeletePfrSubDocsOfDocument(dao::Database& db, double aDocumentID) {
  Guard(QV_HERE, [&] {
    if (!mQvDaoDataBase::QvQueryExistence(
            "select top 1 ID from PfrSubDocs where DocumentID = " + Number2DaoSql(aDocumentID),
            SharedDatabase(db)))
      return;
    mErrorHandling::CreateObjectErr(kPfrSubDocProgId)
        ->CallV("DeleteRecordsInDocument", aDocumentID, "*", "");
  });
}

CollectionPtr GetPfrEndDocsByMasterDocID(dao::Database& db, double aMasterDocID) {
  return Guard(QV_HERE, [&] {
    if (aMasterDocID == 0) return std::make_shared<Collection>();
    return miDocument::DocumentsWhere(db, "PfrMasterDocID = " + Number2DaoSql(aMasterDocID));
  });
}

void CreateBigDocDataBase(dao::Database& db, double aDocumentID, int32_t aShardSize) {
  Guard(QV_HERE, [&] {
    BigDocStorage& storage = Storage();
    storage.Create(aDocumentID, aShardSize);
    dao::Transaction::OnRollback(db, [&storage, aDocumentID] { storage.Delete(aDocumentID); });
  });
}

void DeleteBigDocDataBase(dao::Database& db, double aDocumentID) {
  Guard(QV_HERE, [&] {
    if (aDocumentID == 0) return;
    BigDocStorage& storage = Storage();
    storage.Release(aDocumentID);
    dao::Transaction::AfterCommit(db, [&storage, aDocumentID] { storage.Delete(aDocumentID); });
  });
}

void ZeroBigDocCells(double aDocumentID) {
  Guard(QV_HERE, [&] {
    if (aDocumentID == 0) return;
    Storage().Zero(aDocumentID);
  });
}

void DeleteAttachmentsOfDocument(dao::Database& db, double aDocumentID) {
  Guard(QV_HERE, [&] {
    auto rs = mQvDaoDataBase::QvQuerySqlStatic(
        "select ID from Doc_Attachments where DocumentID = " + Number2DaoSql(aDocumentID),
        SharedDatabase(db));
    CollectionPtr attachments = miRecCollection::GetRecCollection_QvAttachmentDoc(*rs, "ID");
    rs->Close();
    if (attachments->Count() == 0) return;
    ObjectPtr mapper = mErrorHandling::CreateObjectErr(kAttachmentDocProgId);
    for (int32_t i = 1; i <= attachments->Count(); ++i)
      mapper->CallV("DeleteRecord", attachments->At(i));
  });
}

}  // namespace qv::records
