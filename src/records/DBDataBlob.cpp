#include "records/FileMappers.h"
#include "records/miBlobs.h"
#include "siblings/records/QvByteStream.h"

namespace qv::records {
namespace {
using namespace col;
constexpr ColumnDef kDataBlobColumns[] = {Long("DesiredCompressionType"), Long("ContentLength")};
constexpr ColumnMap kDataBlobMap{"CourBlobs", kDataBlobColumns};

// The record's property indexes, resolved once.
struct BlobProps {
  int content, contentModified, contentLength, desired, contentGroup;
};
const BlobProps& Props(const QvRecord& rec) {
  static const BlobProps p{rec.PropertyIndex("Content"), rec.PropertyIndex("ContentModified"),
                           rec.PropertyIndex("ContentLength"),
                           rec.PropertyIndex("DesiredCompressionType"),
                           rec.RecordClassOf().GroupIndexByFlag("ContentLoaded")};
  return p;
}
}  // namespace

const MapperDef& DBDataBlob::Def() {
  static const MapperDef def{"Qv_Records.QvDataBlob", kDataBlobMap, true};
  return def;
}

void DBDataBlob::LoadContent(const Variant& aRecord) {
  Guard(QV_HERE, [&] {
    auto rec = RecordArg(Def(), aRecord);
    const BlobProps& p = Props(*rec);
    auto stream = std::make_shared<QvByteStream>();
    miBlobs::LoadCourBlobTo(rec->Id(), *stream);
    // Handed over as the mapper's own load: the content is present and
    // not changed by a caller.
    rec->BeginGroupLoad(p.contentGroup);
    rec->SetValue(p.content, Variant(ObjectPtr(stream)));
    rec->EndGroupLoad(p.contentGroup);
  });
}

void DBDataBlob::SaveRecord(const Variant& aRecord, bool) {
  Guard(QV_HERE, [&] {
    auto rec = RecordArg(Def(), aRecord);
    const int32_t state = rec->State();
    if (state == kNew || state == kReference || state == kDeleted) return;
    if (rec->IsReadOnlyRecord()) return;
    const BlobProps& p = Props(*rec);
    if (!rec->GroupLoaded(p.contentGroup) || !CBool(rec->Value(p.contentModified))) return;
    const Variant& content = rec->Value(p.content);
    auto stream =
        content.IsObject() ? std::dynamic_pointer_cast<QvByteStream>(content.AsObject()) : nullptr;
    static const std::vector<uint8_t> kNoBytes;
    const std::vector<uint8_t>& bytes = stream ? stream->Data() : kNoBytes;

    const double before = rec->Id();
    double id = before;
    auto db = MapperUserDatabase();
    dao::Transaction tx(*db, dao::kWriteLock);
    const miBlobs::SavedBlob saved = miBlobs::SaveDataBlob(id, bytes, CLng(rec->Value(p.desired)));
    switch (saved.outcome) {
      case miBlobs::BlobWrite::kNothing:
        break;
      case miBlobs::BlobWrite::kDeleted:
        UndoOnRollback(*db, *rec);
        rec->AfterDelete();
        break;
      case miBlobs::BlobWrite::kWritten:
        rec->SetValue(p.contentLength, Variant(saved.storedLength));
        UndoOnRollback(*db, *rec);
        if (before == 0) {
          rec->AssignNewID(Variant(id));
          rec->AfterInsert();
        } else {
          rec->AfterUpdate();
        }
        break;
    }
    tx.Commit();
  });
}

QV_DEFINE_CLASS(DBDataBlob, "Qv_DBProvider.DBDataBlob", QV_CREATABLE(DBDataBlob),
                Method("ReadRecord(aID, aRecord)", &DBDataBlob::ReadRecord),
                Method("LoadContent(aRecord)", &DBDataBlob::LoadContent),
                Method("SaveRecord(aRecord, aRecursive)", &DBDataBlob::SaveRecord,
                       {Variant(false)}),
                Method("DeleteRecord(aRecord)", &DBDataBlob::DeleteRecord),
                Method("IsRecordExists(aID)", &DBDataBlob::IsRecordExists))

}  // namespace qv::records
