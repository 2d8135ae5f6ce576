#include "records/DBDocument.h"

#include <algorithm>
#include <string>
#include <vector>

#include "core/DBGlobalParams.h"
#include "core/mQvCommonCalc.h"
#include "core/mQvDaoDataBase.h"
#include "platform/automation/VbaText.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/Transaction.h"
#include "records/LaterDocumentParts.h"
#include "records/miDocument.h"
#include "records/miRecCollection.h"
#include "siblings/records/RecordFactory.h"

namespace qv::records {

namespace {
using namespace col;
using mQvDaoDataBase::Number2DaoSql;

// Every column of Doc_Registry in reading order. The master document is a
// reference a recursive save leaves alone; the template and period are
// read-only records, so only the stream, the signers and the courier
// objects are ever saved first.
constexpr ColumnDef kDocumentColumns[] = {
    Ref("Template_ID"),
    Ref("Time_ID"),
    Ref("Taxpayer_ID"),
    Date("Registry_Date"),
    Long("Less"),
    Long("Currency_ID"),
    Date("Accept_Date"),
    Date("Payment_Date"),
    Num("Reg_Number"),
    Text("Notes"),
    Long("Delivery_Type"),
    Long("Doc_Type"),
    Num("Top_Doc_ID"),
    Num("Bottom_Next_ID"),
    Long("Deleted"),
    Date("Accept_Term"),
    Date("Payment_Term"),
    Long("Instance_Number"),
    Long("Status_Qv"),
    Long("DeliveryNumber"),
    Flag("FLS_IsSigned"),
    Flag("SLS_IsSigned"),
    Flag("ELS_IsSigned"),
    Flag("Exec_IsSigned"),
    Ref("FLS_SignerID"),
    Ref("SLS_SignerID"),
    Ref("ELS_SignerID"),
    Ref("Exec_SignerID"),
    Date("SignDate"),
    Long("KonStatus"),
    Text("KonDC_GUID"),
    Ref("CourDocCircle_ID"),
    Long("Status"),
    Long("EditorType"),
    Text("FileName"),
    Ref("FileContent_ID"),
    Long("EpistolaFileType"),
    Bool("Unreaded"),
    NotSavedFirst(Ref("PfrMasterDocID")),
    Long("PfrPersonsCount"),
    Text("PfrMarks"),
    Long("PfrNumberingType"),
    Long("PfrStartNumber"),
    Num("FssDocCircleID"),
    Long("IsChecked"),
    Long("IsXsdChecked"),
    Long("IsCalculated"),
    Long("SenderEngine"),
    Text("IdentifierOfSend"),
    Long("StatusOfSend"),
    Date("Registry_Term"),
    Long("Mtks_Status"),
    Date("Mtks_Status_Date"),
    Text("Mtks_Service"),
    Text("Mtks_Comment"),
};
constexpr ColumnMap kDocumentMap{"Doc_Registry", kDocumentColumns, "Document_ID"};

// ---- field groups

struct FieldGroup {
  int32_t bits;
  std::initializer_list<std::string_view> columns;
};
const FieldGroup kSignatureColumns{
    docfields::kSignatures,
    {"FLS_IsSigned", "SLS_IsSigned", "ELS_IsSigned", "Exec_IsSigned", "FLS_SignerID",
     "SLS_SignerID", "ELS_SignerID", "Exec_SignerID", "SignDate"}};
const FieldGroup kGroups[] = {
    {docfields::kStatus, {"Status"}},
    {docfields::kStatusQv, {"Status_Qv"}},
    {docfields::kTemplate, {"Template_ID"}},
    kSignatureColumns,
    {docfields::kKonStatus, {"KonStatus", "KonDC_GUID"}},
    {docfields::kIsChecked, {"IsChecked"}},
    {docfields::kExportCounters, {"Reg_Number", "DeliveryNumber"}},
    {docfields::kCourDocCircle, {"CourDocCircle_ID"}},
    {docfields::kChainLinks, {"Top_Doc_ID", "Bottom_Next_ID"}},
    {docfields::kFile, {"FileName", "FileContent_ID", "EpistolaFileType"}},
    {docfields::kPfrNumbering, {"PfrNumberingType", "PfrStartNumber"}},
    {docfields::kFssDocCircle, {"FssDocCircleID"}},
    {docfields::kAcceptance, {"Accept_Date", "Status"}},
    {docfields::kIsXsdChecked, {"IsXsdChecked"}},
    {docfields::kIsCalculated, {"IsCalculated"}},
    {docfields::kSending, {"SenderEngine", "IdentifierOfSend", "StatusOfSend"}},
    {docfields::kScale, {"Less"}},
    {docfields::kNotes, {"Notes"}},
    {docfields::kMtks, {"Mtks_Status", "Mtks_Status_Date", "Mtks_Service", "Mtks_Comment"}},
};

bool InGroup(const FieldGroup& g, std::string_view column) {
  return std::any_of(g.columns.begin(), g.columns.end(),
                     [&](std::string_view c) { return NamesEqual(c, column); });
}

// Whether `aFields` selects `column`; 1 alone is the statuses, the
// acceptance date and the signatures.
bool Selected(int32_t aFields, std::string_view column) {
  if (aFields == docfields::kStatusesAndSignatures)
    return NamesEqual(column, "Status_Qv") || NamesEqual(column, "Status") ||
           NamesEqual(column, "Accept_Date") || InGroup(kSignatureColumns, column);
  for (const FieldGroup& g : kGroups)
    if ((aFields & g.bits) && InGroup(g, column)) return true;
  return false;
}

// ---- the delete cascade

QvRecordPtr Doc(const CollectionPtr& c, int32_t i) {
  return std::static_pointer_cast<QvRecord>(c->At(i).AsObject());
}

// The documents being deleted on this thread: a master whose end documents
// lead back to it (damaged data) is not deleted twice.
thread_local std::vector<double> tDocumentsDeleting;

// The versions that named `id` in `link` name `replacement` instead, each
// saved as the chain-link group.
void Relink(dao::Database& db, double id, std::string_view link, double replacement) {
  CollectionPtr versions =
      miDocument::DocumentsWhere(db, std::string(link) + " = " + Number2DaoSql(id));
  for (int32_t i = 1; i <= versions->Count(); ++i) {
    QvRecordPtr v = Doc(versions, i);
    v->Let(link, Variant(replacement));
    v->CallV("SaveFields", docfields::kChainLinks);
  }
}

void DeleteDocumentDependents(dao::Database& db, QvRecord& rec) {
  const double id = rec.Id();
  const std::string sid = Number2DaoSql(id);
  const auto target = SharedDatabase(db);
  tDocumentsDeleting.push_back(id);
  struct Pop {
    ~Pop() { tDocumentsDeleting.pop_back(); }
  } pop;

  miDocument::DeleteDocumentCells(db, id);
  // The chain as stored (the record may be older than the row): the older
  // version takes over this one's newer neighbour and the other way round,
  // so no version names a deleted one.
  Variant top, bottom;
  if (mQvDaoDataBase::QvQuery2ValuesSafe(
          "select top_doc_id, bottom_next_id from doc_registry where document_id = " + sid, top,
          bottom, target)) {
    Relink(db, id, "Top_Doc_ID", top.IsNull() ? 0.0 : CDbl(top));
    Relink(db, id, "Bottom_Next_ID", bottom.IsNull() ? 0.0 : CDbl(bottom));
  }

  QvRecordPtr blob = std::static_pointer_cast<QvRecord>(rec.Get("FileContent").AsObject());
  if (blob && blob->Id() != 0 && !blob->IsReadOnlyRecord()) {
    UndoOnRollback(db, *blob);  // the courier library cannot take its notice back
    blob->DeleteFromStore();
  }

  DeletePfrSubDocsOfDocument(db, id);
  QvRecordPtr master = std::static_pointer_cast<QvRecord>(rec.Get("PfrMasterDoc").AsObject());
  if (master && master->Id() != 0)
    mQvDaoDataBase::QvExecuteSql(
        "update PfrSubDocs set EndDocumentID = 0, EndPersonNumber = 0 where DocumentID = " +
            Number2DaoSql(master->Id()) + " and " + "EndDocumentID = " + sid,
        target);

  CollectionPtr ends = GetPfrEndDocsByMasterDocID(db, id);
  for (int32_t i = 1; i <= ends->Count(); ++i) {
    QvRecordPtr end = Doc(ends, i);
    if (std::find(tDocumentsDeleting.begin(), tDocumentsDeleting.end(), end->Id()) ==
        tDocumentsDeleting.end())
      end->DeleteFromStore();
  }
  mQvDaoDataBase::QvExecuteSql("delete from PfrManualSheafs where DocumentID = " + sid, target);
  if (CDbl(rec.Get("FssDocCircleID")) != 0)
    mQvDaoDataBase::QvExecuteSql(
        "Update FssDocCircles Set DocumentID = 0 where DocumentID = " + sid, target);

  if (CLng(rec.Get("EditorType")) == miDocument::kBigDocumentEditor) DeleteBigDocDataBase(db, id);
  DeleteAttachmentsOfDocument(db, id);
}

}  // namespace

const MapperDef& DBDocument::Def() {
  static const MapperDef def{
      "Qv_Records.QvDocument", kDocumentMap, true, {.beforeDelete = &DeleteDocumentDependents}};
  return def;
}

void DBDocument::SaveDocumentFields(int32_t aFields, const Variant& aRecord, bool aPerformNotify) {
  Guard(QV_HERE, [&] {
    auto rec = RecordArg(Def(), aRecord);
    if (rec->State() != kLoaded || rec->Id() == 0) return;
    auto db = MapperUserDatabase();
    dao::Transaction tx(*db, dao::kWriteLock);
    if (aFields != docfields::kStatusesAndSignatures && (aFields & docfields::kFile)) {
      QvRecordPtr blob = std::static_pointer_cast<QvRecord>(rec->Get("FileContent").AsObject());
      if (blob && !blob->IsReadOnlyRecord() && blob->State() != kReference) {
        UndoOnRollback(*db, *blob);
        blob->SaveToStore(true);
      }
    }
    const bool found = UpdateColumns(
        *db, Def(), *rec, [aFields](std::string_view c) { return Selected(aFields, c); });
    tx.Commit();
    if (found && aPerformNotify) rec->AfterUpdate();
  });
}

void DBDocument::IncreaseExportCounters(const Variant& aRecord) {
  Guard(QV_HERE, [&] {
    auto rec = RecordArg(Def(), aRecord);
    auto db = MapperUserDatabase();
    // The largest number is read and the new one written under one write lock.
    dao::Transaction tx(*db, dao::kWriteLock);
    rec->Let("DeliveryNumber", Variant(int32_t{0}));
    rec->Let("Reg_Number", Variant(DBGlobalParams::NextRegNumber(db)));
    SaveDocumentFields(docfields::kExportCounters, aRecord, true);
    tx.Commit();
  });
}

void DBDocument::SetIsCheckedFlags(double aDocID, int32_t aIsCalculated, int32_t aIsChecked,
                                   int32_t aIsXsdChecked, bool aNotify) {
  Guard(QV_HERE, [&] {
    const int32_t states[] = {aIsChecked, aIsXsdChecked, aIsCalculated};
    constexpr std::string_view kColumnsOf[] = {"IsChecked", "IsXsdChecked", "IsCalculated"};
    if (aDocID == 0 || std::all_of(std::begin(states), std::end(states),
                                   [](int32_t s) { return s == kCheckStateUnchanged; }))
      return;
    auto db = MapperUserDatabase();
    dao::Transaction tx(*db, dao::kWriteLock);
    auto rs = OpenMapTable(*db, kDocumentMap);
    const Variant key[1] = {Variant(aDocID)};
    rs->Seek("=", key);
    if (!rs->NoMatch()) {
      rs->Edit();
      for (size_t i = 0; i < std::size(states); ++i)
        if (states[i] != kCheckStateUnchanged) rs->SetField(kColumnsOf[i], Variant(states[i]));
      rs->Update();
    }
    rs->Close();
    tx.Commit();
    if (aNotify) {
      QvRecordPtr doc = RecordFactory::ForThisThread()->NewRecord(std::string(Def().recordProgId));
      doc->SetID(Variant(aDocID));
      doc->AfterUpdate();
    }
  });
}

CollectionPtr DBDocument::ReadManualSheafs(double aDocumentID) {
  return Guard(QV_HERE, [&] {
    if (aDocumentID == 0) return std::make_shared<Collection>();
    auto rs = mQvDaoDataBase::QvQuerySqlStatic(
        "select ID from PfrManualSheafs where DocumentID = " + Number2DaoSql(aDocumentID),
        MapperUserDatabase());
    CollectionPtr sheafs = miRecCollection::GetRecCollection_QvPfrManualSheaf(*rs, "ID");
    rs->Close();
    return sheafs;
  });
}

void DBDocument::SaveManualSheafs(double aDocumentID, const Variant& aSheafs) {
  Guard(QV_HERE, [&] {
    if (!aSheafs.IsObject()) ThrowVb(vberr::kTypeMismatch, "a collection of sheafs was expected");
    auto sheafs = std::dynamic_pointer_cast<Collection>(aSheafs.AsObject());
    if (!sheafs) ThrowVb(vberr::kTypeMismatch, "a collection of sheafs was expected");
    std::vector<QvRecordPtr> items;
    std::vector<double> kept;
    for (int32_t i = 1; i <= sheafs->Count(); ++i) {
      auto item = std::dynamic_pointer_cast<QvRecord>(sheafs->At(i).AsObject());
      if (!item || !EqualsAsciiNoCase(item->Type().progId, "Qv_PfrRecords.QvPfrManualSheaf"))
        ThrowVb(vberr::kTypeMismatch, "item " + std::to_string(i) + " is not a manual sheaf");
      items.push_back(item);
      if (item->Id() != 0) kept.push_back(item->Id());
    }
    auto db = MapperUserDatabase();
    const std::string doc = Number2DaoSql(aDocumentID);
    dao::Transaction tx(*db, dao::kWriteLock);
    {
      auto stored = mQvDaoDataBase::QvQuerySqlStatic(
          "select ID from PfrManualSheafs where DocumentID = " + doc, db);
      std::vector<double> gone;
      for (stored->IsEOF() ? void() : stored->MoveFirst(); !stored->IsEOF(); stored->MoveNext())
        if (double id = CDbl(stored->FieldValue(0));
            std::find(kept.begin(), kept.end(), id) == kept.end())
          gone.push_back(id);
      stored->Close();
      DeleteByIdList(*db, "PfrManualSheafs", "DocumentID = " + doc, "ID", gone);

      auto rs = db->OpenTable("PfrManualSheafs");
      rs->SetIndex("Id");
      for (const QvRecordPtr& item : items) {
        const std::string caption = Truncate16(CStr(item->Get("Caption")), 255);
        const Variant key[1] = {Variant(item->Id())};
        if (item->Id() != 0) rs->Seek("=", key);
        if (item->Id() == 0 || rs->NoMatch()) {
          const double id = mQvDaoDataBase::NextId(*rs, "ID");
          rs->AddNew();
          rs->SetField("ID", Variant(id));
          rs->SetField("DocumentID", Variant(aDocumentID));
          rs->SetField("Caption", Variant(caption));
          rs->Update();
          UndoOnRollback(*db, *item);
          item->AssignNewID(Variant(id));
          continue;
        }
        if (mQvCommonCalc::VarToDoubleDef(rs->FieldValue("DocumentID"), 0) != aDocumentID)
          ThrowVb(vberr::kInvalidProcedureCall,
                  "sheaf " + Number2DaoSql(item->Id()) + " belongs to another document");
        if (mQvCommonCalc::VarToStr(rs->FieldValue("Caption")) != caption) {
          rs->Edit();
          rs->SetField("Caption", Variant(caption));
          rs->Update();
        }
      }
      rs->Close();
    }
    tx.Commit();
  });
}

QV_DEFINE_CLASS(
    DBDocument, "Qv_DBProvider.DBDocument", QV_CREATABLE(DBDocument), QV_MAPPER_MEMBERS(DBDocument),
    Method("SaveDocumentFields(aFields, aRecord, aPerformNotify)", &DBDocument::SaveDocumentFields,
           {Variant(false)}),
    Method("IncreaseExportCounters(aRecord)", &DBDocument::IncreaseExportCounters),
    Method("ReadCells(aDocumentID)", &DBDocument::ReadCells),
    Method("ReadManualSheafs(aDocumentID)", &DBDocument::ReadManualSheafs),
    Method("SaveManualSheafs(aDocumentID, aSheafs)", &DBDocument::SaveManualSheafs),
    Method("SetIsCheckedFlags(aDocID, aIsCalculated, aIsChecked, aIsXsdChecked, aNotify)",
           &DBDocument::SetIsCheckedFlags,
           {Variant(kCheckStateUnchanged), Variant(kCheckStateUnchanged),
            Variant(kCheckStateUnchanged), Variant(false)}),
    Method("SaveCells(aDocID, aCellsRs)", &DBDocument::SaveCells))

}  // namespace qv::records
