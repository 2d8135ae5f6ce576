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

void IntBigDocStorage::Create(double aDocID, int32_t aShardSize) {
  miBigDocument::ReplaceBigDocDataBase(aDocID, aShardSize);
}

void IntBigDocStorage::Release(double aDocID) {
  miBigDocument::ReleaseBigDocDataBase(aDocID);
}

void IntBigDocStorage::Delete(double aDocID) {
  miBigDocument::DeleteBigDocDataBase(aDocID);
}

void IntBigDocStorage::Zero(double aDocID) {
  miBigDocument::ZeroBigDocCells(aDocID);
}

namespace {
IntBigDocStorage theStorage;
[[maybe_unused]] const bool installed = (records::InstallBigDocStorage(&theStorage), true);
}  // namespace

QV_DEFINE_CLASS(DBBigDocs, "Qv_DBProvider.DBBigDocs", QV_CREATABLE(DBBigDocs),
                Method("GetBigDocTable(aDocID)", &DBBigDocs::GetBigDocTable),
                Method("CopyBigDocContent(aSrcDocID, aDestDocID)", &DBBigDocs::CopyBigDocContent))

}  // namespace qv::doctables
