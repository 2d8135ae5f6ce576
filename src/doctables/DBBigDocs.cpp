#include "doctables/DBBigDocs.h"

#include "core/mErrorHandling.h"
#include "doctables/DBBigDocTable.h"
#include "doctables/mThingManager.h"
#include "doctables/miBigDocument.h"
#include "siblings/things/ThingManager.h"

namespace qv::doctables {

std::shared_ptr<DBBigDocTable> DBBigDocs::GetBigDocTable(double aDocID) {
  return Guard(QV_HERE, [&] {
    // The identifier is checked before anything is looked up or made.
    miBigDocument::GetBigDocFolder(aDocID);
    auto open = std::dynamic_pointer_cast<DBBigDocTable>(
        mThingManager::GetBigDocManager()->FindBigDocTable(aDocID));
    if (open) return open;
    auto table = std::make_shared<DBBigDocTable>();
    table->OpenDoc(aDocID);
    return table;
  });
}

void DBBigDocs::CopyBigDocContent(double, double) {}

void IntBigDocStorage::CreateBigDocDataBase(double aDocID, int32_t aShardSize) {
  Guard(QV_HERE, [&] { miBigDocument::CreateBigDocDataBase(aDocID, aShardSize); });
}

void IntBigDocStorage::ReleaseBigDocDataBase(double aDocID) {
  Guard(QV_HERE, [&] { miBigDocument::ReleaseBigDocDataBase(aDocID); });
}

void IntBigDocStorage::DeleteBigDocDataBase(double aDocID) {
  Guard(QV_HERE, [&] { miBigDocument::DeleteBigDocDataBase(aDocID); });
}

void IntBigDocStorage::ZeroBigDocCells(double aDocID) {
  Guard(QV_HERE, [&] { miBigDocument::ZeroBigDocCells(aDocID); });
}

QV_DEFINE_CLASS(DBBigDocs, "Qv_DBProvider.DBBigDocs", QV_CREATABLE(DBBigDocs),
                Method("GetBigDocTable(aDocID)", &DBBigDocs::GetBigDocTable),
                Method("CopyBigDocContent(aSrcDocID, aDestDocID)", &DBBigDocs::CopyBigDocContent))

QV_DEFINE_CLASS(IntBigDocStorage, "Qv_DBProvider.IntBigDocStorage", QV_CREATABLE(IntBigDocStorage),
                Method("CreateBigDocDataBase(aDocID, aShardSize)",
                       &IntBigDocStorage::CreateBigDocDataBase, {Variant(int32_t{0})}),
                Method("ReleaseBigDocDataBase(aDocID)", &IntBigDocStorage::ReleaseBigDocDataBase),
                Method("DeleteBigDocDataBase(aDocID)", &IntBigDocStorage::DeleteBigDocDataBase),
                Method("ZeroBigDocCells(aDocID)", &IntBigDocStorage::ZeroBigDocCells))

}  // namespace qv::doctables
