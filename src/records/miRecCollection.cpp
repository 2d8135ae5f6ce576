#include "records/miRecCollection.h"

#include <functional>

#include "core/mErrorHandling.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/RowsRecordset.h"
#include "siblings/records/RecordFactory.h"

namespace qv::miRecCollection {

namespace {

using records::QvRecordPtr;
using records::RecordFactory;

enum class FactoryOp { kGetRecord, kGetLoadedRecord };

// The key of an identifier in a keyed collection.
std::string KeyOf(double id) {
  return "_" + CStr(Variant(id));
}

// Calls `each` with the identifier of every row, first to last.
void ForEachId(dao::Recordset& rs, const std::string& column,
               const std::function<void(const Variant&)>& each) {
  int32_t field = rs.FieldIndex(column);
  if (field < 0) rs.FieldValue(column);  // raises the recordset's "no such field"
  if (rs.IsBOF() && rs.IsEOF()) return;
  rs.MoveFirst();
  for (; !rs.IsEOF(); rs.MoveNext()) each(rs.FieldValue(field));
}

// An empty collection with room for an item per row of `rs` when it knows
// its rows (a statement's rows are all read when it opens): a list of
// thousands grown by doubling moved every entry and faulted in fresh pages
// at each step.
CollectionPtr CollectionFor(dao::Recordset& rs, bool keyed) {
  auto out = std::make_shared<Collection>();
  if (rs.IsOpen() && dynamic_cast<dao::RowsRecordset*>(&rs))
    out->Reserve(static_cast<size_t>(rs.RecordCount()), keyed);
  return out;
}

CollectionPtr Records(dao::Recordset& rs, const std::string& column, std::string_view progId,
                      FactoryOp op) {
  auto out = CollectionFor(rs, false);
  auto factory = RecordFactory::ForThisThread();
  const records::RecordClass& cls = records::QvRecord::ClassOf(progId);
  ForEachId(rs, column, [&](const Variant& v) {
    Variant id(CDblOr(v, 0));
    QvRecordPtr rec = op == FactoryOp::kGetRecord ? factory->GetRecordOf(cls, id)
                                                  : factory->GetLoadedRecordOf(cls, id);
    out->Add(Variant(ObjectPtr(rec)));
  });
  return out;
}

// New records given their identifier with SetID; with `loadOnSetId` each
// reads itself at once.
QvRecordPtr NewWithId(std::string_view progId, double id, bool loadOnSetId) {
  QvRecordPtr rec = RecordFactory::ForThisThread()->NewRecord(std::string(progId));
  rec->SetLoadOnSetID(loadOnSetId);
  rec->SetID(Variant(id));
  return rec;
}

constexpr std::string_view kQr = "Qv_Records.";
constexpr std::string_view kPfr = "Qv_PfrRecords.";

std::string Qr(std::string_view name) {
  return std::string(kQr) + std::string(name);
}
std::string Pfr(std::string_view name) {
  return std::string(kPfr) + std::string(name);
}

}  // namespace

CollectionPtr GetIDCollection(dao::Recordset& aRs, const std::string& aColumn, bool aUnique) {
  return Guard(QV_HERE, [&] {
    auto out = std::make_shared<Collection>();
    ForEachId(aRs, aColumn, [&](const Variant& v) {
      if (!aUnique) {
        out->Add(Variant(CDblOr(v, 0)));
        return;
      }
      if (v.IsNull()) ThrowVb(vberr::kInvalidUseOfNull, aColumn + " is Null");
      double id = CDbl(v);
      std::string key = KeyOf(id);
      if (!out->FindByKey(key)) out->Add(Variant(id), key);
    });
    return out;
  });
}

#define QV_REC_COLLECTION(Name, progId, op)                                                \
  CollectionPtr GetRecCollection_##Name(dao::Recordset& aRs, const std::string& aColumn) { \
    return Guard(QV_HERE, [&] { return Records(aRs, aColumn, progId, op); });              \
  }

QV_REC_COLLECTION(QvPerson, Qr("QvPerson"), FactoryOp::kGetRecord)
QV_REC_COLLECTION(QvAccStream, Qr("QvAccStream"), FactoryOp::kGetRecord)
QV_REC_COLLECTION(QvConsStream, Qr("QvConsStream"), FactoryOp::kGetRecord)
QV_REC_COLLECTION(QvWorker, Qr("QvWorker"), FactoryOp::kGetRecord)
QV_REC_COLLECTION(QvTimePeriod, Qr("QvTimePeriod"), FactoryOp::kGetRecord)
QV_REC_COLLECTION(QvPfrSubDoc, Pfr("QvPfrSubDoc"), FactoryOp::kGetRecord)
QV_REC_COLLECTION(QvPfrSubDocPreloaded, Pfr("QvPfrSubDoc"), FactoryOp::kGetLoadedRecord)
QV_REC_COLLECTION(QvPfrAddress, Pfr("QvPfrAddress"), FactoryOp::kGetRecord)
QV_REC_COLLECTION(QvWarrant, Qr("QvWarrant"), FactoryOp::kGetRecord)
QV_REC_COLLECTION(QvAttachmentDoc, Qr("QvAttachmentDoc"), FactoryOp::kGetRecord)
QV_REC_COLLECTION(QvStoredFile, Qr("QvStoredFile"), FactoryOp::kGetRecord)
QV_REC_COLLECTION(QvTemplate, Qr("QvTemplate"), FactoryOp::kGetRecord)
QV_REC_COLLECTION(QvTemplType, Qr("QvTemplType"), FactoryOp::kGetRecord)
QV_REC_COLLECTION(QvAccProfile, Qr("QvAccProfile"), FactoryOp::kGetRecord)
QV_REC_COLLECTION(QvPfrManualSheaf, Pfr("QvPfrManualSheaf"), FactoryOp::kGetRecord)
QV_REC_COLLECTION(QvPfrPerson, Pfr("QvPfrPerson"), FactoryOp::kGetRecord)
QV_REC_COLLECTION(QvPfrPersonWithNonLazyFields, Pfr("QvPfrPerson"), FactoryOp::kGetLoadedRecord)
QV_REC_COLLECTION(QvStdProfile, Qr("QvStdProfile"), FactoryOp::kGetRecord)
QV_REC_COLLECTION(QvWjEvent, Pfr("QvWjEvent"), FactoryOp::kGetRecord)

#undef QV_REC_COLLECTION

CollectionPtr GetRecCollection_QvDocument(dao::Recordset& aRs, const std::string& aColumn,
                                          bool aNewLoadOnSetID) {
  return Guard(QV_HERE, [&] {
    if (!aNewLoadOnSetID) return Records(aRs, aColumn, Qr("QvDocument"), FactoryOp::kGetRecord);
    auto out = CollectionFor(aRs, false);
    ForEachId(aRs, aColumn, [&](const Variant& v) {
      out->Add(Variant(ObjectPtr(NewWithId(Qr("QvDocument"), CDblOr(v, 0), true))));
    });
    return out;
  });
}

CollectionPtr GetRecCollection_QvWjEvent_Ex(dao::Recordset& aRs, const std::string& aColumn,
                                            bool aBareIds, bool aKeyed, bool aLoadOnSetID) {
  return Guard(QV_HERE, [&] {
    auto out = std::make_shared<Collection>();
    ForEachId(aRs, aColumn, [&](const Variant& v) {
      double id = CDblOr(v, 0);
      std::string key = aKeyed ? KeyOf(id) : std::string();
      if (aKeyed && out->FindByKey(key)) return;
      Variant item = aBareIds ? Variant(id)
                              : Variant(ObjectPtr(NewWithId(Pfr("QvWjEvent"), id, aLoadOnSetID)));
      out->Add(std::move(item), key);
    });
    return out;
  });
}

}  // namespace qv::miRecCollection
