#include <algorithm>
#include <string>
#include <vector>

#include "core/mQvCommonCalc.h"
#include "core/mQvDaoDataBase.h"
#include "pfr/PfrMappers.h"
#include "pfr/PfrSubDocItems.h"
#include "pfr/mPfrInternal.h"
#include "platform/automation/VbaText.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/ServerQuery.h"
#include "platform/dao/TableRecordset.h"
#include "platform/dao/Transaction.h"

namespace qv::pfr {
namespace {
using namespace records::col;
using mQvDaoDataBase::Number2DaoSql;
using records::QvRecordPtr;

// DocumentID is the report document that owns the sub-document; the person
// is saved first when the save asks for it (option 1).
constexpr ColumnDef kPfrSubDocColumns[] = {
    Ref("PfrPersonID"),      Long("SubDocType"),    Bool("Disabled"),     Num("EndDocumentID"),
    Long("EndPersonNumber"), Long("MaxErrorLevel"), Num("ManualSheafID"), Lazy(Num("DocumentID")),
};
constexpr ColumnMap kPfrSubDocMap{"PfrSubDocs", kPfrSubDocColumns};

int32_t Options(const Variant& extra) {
  return extra.IsMissing() || extra.IsEmpty() ? 0 : CLng(extra);
}

bool FlagOf(QvRecord& rec, std::string_view name) {
  return CBool(rec.Value(rec.PropertyIndex(name)));
}

// One column of the row `id` of `table` (index "Id"), a stored Null as 0;
// Null when there is no such row. Read by one point select, as a seek on the
// index finds the row (a table recordset opened per owner was a few percent
// of a save).
Variant StoredValue(dao::Database& db, std::string_view table, double id,
                    const std::string_view (&field)[1]) {
  Variant v;
  if (db.IsServer()) {
    const auto row = dao::SeekServerRow(db, table, "Id", id, {&field, field});
    if (!row) return Variant::Null();
    v = (*row)[0];
  } else {
    const auto st = dao::TableRecordset::SeekFields(db, table, "Id", id, {&field, field});
    if (!st) return Variant::Null();
    v = st->Value(0);
  }
  return v.IsNull() ? Variant(0.0) : v;
}

constexpr std::string_view kDocumentId[] = {"DocumentID"};
constexpr std::string_view kTaxpayerId[] = {"Taxpayer_ID"};
constexpr std::string_view kPersonId[] = {"Person_ID"};
constexpr std::string_view kStreamPersonId[] = {"PersonID"};

[[noreturn]] void Refuse(const std::string& why) {
  ThrowVb(vberr::kInvalidProcedureCall, why);
}

// The row just written must name an existing document, and its person one
// of the document's taxpayer (the person of the document's accounting
// stream); a person or stream without a taxpayer is not compared.
void CheckOwners(dao::Database& db, QvRecord& rec) {
  const double documentId = CDbl(StoredValue(db, "PfrSubDocs", rec.Id(), kDocumentId));
  const Variant streamId = StoredValue(db, "Doc_Registry", documentId, kTaxpayerId);
  if (streamId.IsNull())
    Refuse("the document " + Number2DaoSql(documentId) + " of the sub-document does not exist");
  QvRecordPtr person = rec.SubRecord(rec.PropertyIndex("PfrPerson"));
  const double personId = person->State() == records::kDeleted ? 0 : person->Id();
  if (personId == 0) return;
  const Variant taxpayer = StoredValue(db, "PfrPersons", personId, kPersonId);
  if (taxpayer.IsNull())
    Refuse("the person " + Number2DaoSql(personId) + " of the sub-document does not exist");
  const Variant owner = StoredValue(db, "AccStream", CDbl(streamId), kStreamPersonId);
  if (CDbl(taxpayer) != 0 && !owner.IsNull() && CDbl(owner) != 0 && CDbl(taxpayer) != CDbl(owner))
    Refuse("the person " + Number2DaoSql(personId) + " is an employee of the taxpayer " +
           Number2DaoSql(CDbl(taxpayer)) + ", the document " + Number2DaoSql(documentId) +
           " belongs to the taxpayer " + Number2DaoSql(CDbl(owner)));
}

// Written with the row: the highest level among the errors being saved.
void WriteMaxErrorLevel(dao::Recordset& rs, QvRecord& rec, const Variant& extra) {
  if (!(Options(extra) & kPfrSaveErrors) || !FlagOf(rec, "ErrorsModified")) return;
  int32_t level = 0;
  CollectionPtr errors = rec.CollectionAt(rec.PropertyIndex("Errors"));
  for (int32_t i = 1; i <= errors->Count(); ++i) {
    auto error = errors->At(i).ObjectAs<QvRecord>();
    const int index = error ? error->PropertyIndex("ErrorLevel") : -1;
    if (index >= 0) level = std::max(level, CLng(error->Value(index)));
  }
  rec.SetValue(rec.PropertyIndex("MaxErrorLevel"), Variant(level));
  rs.SetField("MaxErrorLevel", Variant(level));
}

void WriteItems(dao::Database& db, QvRecord& rec, bool, const Variant& extra) {
  CheckOwners(db, rec);
  const int32_t options = Options(extra);
  if ((options & kPfrSaveCells) && FlagOf(rec, "CellsModified"))
    SaveSubDocItems(db, CellItems(), rec);
  if ((options & kPfrSaveErrors) && FlagOf(rec, "ErrorsModified"))
    SaveSubDocItems(db, ErrorItems(), rec);
}

bool Notifies(const Variant& extra) {
  return !(Options(extra) & kPfrSaveKeepFlags);
}

void DeleteItems(dao::Database& db, QvRecord& rec) {
  const std::string id = Number2DaoSql(rec.Id());
  mQvDaoDataBase::QvExecuteSql("delete from PfrCellValues where SubDocID = " + id,
                               records::SharedDatabase(db));
  mQvDaoDataBase::QvExecuteSql("delete from PfrErrors where SubDocID = " + id,
                               records::SharedDatabase(db));
}

}  // namespace

const MapperDef& DBPfrSubDoc::Def() {
  static const MapperDef def{"Qv_PfrRecords.QvPfrSubDoc",
                             kPfrSubDocMap,
                             true,
                             {.beforeUpdate = &WriteMaxErrorLevel,
                              .afterWrite = &WriteItems,
                              .notifies = &Notifies,
                              .beforeDelete = &DeleteItems}};
  return def;
}

void DBPfrSubDoc::SaveRecord(const Variant& aRecord, bool aRecursive, bool aSaveCells) {
  Guard(QV_HERE, [&] {
    SaveRecord3(aRecord, (aRecursive ? kPfrSavePerson : 0) | (aSaveCells ? kPfrSaveCells : 0),
                Variant());
  });
}

void DBPfrSubDoc::SaveRecordEx(const Variant& aRecord, bool aRecursive, bool aSaveCells,
                               bool aSaveErrors) {
  Guard(QV_HERE, [&] {
    SaveRecord3(aRecord,
                (aRecursive ? kPfrSavePerson : 0) | (aSaveCells ? kPfrSaveCells : 0) |
                    (aSaveErrors ? kPfrSaveErrors : 0),
                Variant());
  });
}

void DBPfrSubDoc::SaveRecord3(const Variant& aRecord, int32_t aOptions, const Variant&) {
  Guard(QV_HERE, [&] {
    auto rec = records::RecordArg(Def(), aRecord);
    records::SaveRow(*records::MapperUserDatabase(), Def(), *rec, (aOptions & kPfrSavePerson) != 0,
                     Variant(aOptions));
  });
}

void DBPfrSubDoc::ReadCells(const Variant& aRecord) {
  Guard(QV_HERE, [&] {
    auto rec = records::RecordArg(Def(), aRecord);
    auto db = records::MapperUserDatabase();
    dao::Transaction tx(*db, dao::kRead);
    if (rec->State() == records::kReference) records::ReadRow(*db, Def(), rec->Id(), *rec);
    ReadSubDocItems(*db, CellItems(), *rec);
    tx.Commit();
  });
}

void DBPfrSubDoc::ReadErrors(const Variant& aRecord) {
  Guard(QV_HERE, [&] {
    auto rec = records::RecordArg(Def(), aRecord);
    auto db = records::MapperUserDatabase();
    dao::Transaction tx(*db, dao::kRead);
    if (rec->State() == records::kReference) records::ReadRow(*db, Def(), rec->Id(), *rec);
    ReadSubDocItems(*db, ErrorItems(), *rec);
    tx.Commit();
  });
}

Variant DBPfrSubDoc::ReadOneCell(double aSubDocID, int32_t aKey, int32_t aLineNum,
                                 int32_t aTableNum) {
  return Guard(QV_HERE, [&] {
    if (aSubDocID == 0) return Variant::Nothing();
    auto rs =
        mQvDaoDataBase::QvGetTableRS("PfrCellValues", "SubDoc", records::MapperUserDatabase());
    const Variant key[4] = {Variant(aSubDocID), Variant(aKey), Variant(aTableNum),
                            Variant(aLineNum)};
    rs->Seek("=", key);
    Variant cell =
        rs->NoMatch() ? Variant::Nothing() : Variant(ObjectPtr(ItemFromRow(CellItems(), *rs)));
    rs->Close();
    return cell;
  });
}

void DBPfrSubDoc::DeleteRecordsByIDs(const CollectionPtr& aPfrSubDocsIDs) {
  Guard(QV_HERE, [&] {
    std::vector<double> ids;
    // 0 names no sub-document (the cells of sub-documents 0 are orphans).
    for (int32_t i = 1; aPfrSubDocsIDs && i <= aPfrSubDocsIDs->Count(); ++i)
      if (const double id = CDbl(aPfrSubDocsIDs->At(i)); id != 0) ids.push_back(id);
    auto db = records::MapperUserDatabase();
    dao::Transaction tx(*db, dao::kWriteLock);
    records::ForEachIdBatch(ids, [&](const std::string& list) {
      mQvDaoDataBase::QvExecuteSql("delete from PfrCellValues where SubDocID in (" + list + ")",
                                   db);
      mQvDaoDataBase::QvExecuteSql("delete from PfrErrors where SubDocID in (" + list + ")", db);
      mQvDaoDataBase::QvExecuteSql("delete from PfrSubDocs where ID in (" + list + ")", db);
    });
    tx.Commit();
  });
}

void DBPfrSubDoc::DeleteRecordsInDocument(double aDocumentID, const std::string& aSubDocTypes,
                                          const std::string& aExcludeSubDocTypes) {
  Guard(QV_HERE, [&] {
    std::string condition =
        " from PfrSubDocs AS s where s.DocumentID = " + Number2DaoSql(aDocumentID);
    const std::string include = Trim(aSubDocTypes), exclude = Trim(aExcludeSubDocTypes);
    if (!exclude.empty())
      condition += " and s.SubDocType not in (" +
                   mPfrInternal::CommaList2DaoSql(exclude, "aExcludeSubDocTypes") + ")";
    else if (!include.empty() && include != "*")
      condition +=
          " and s.SubDocType in (" + mPfrInternal::CommaList2DaoSql(include, "aSubDocTypes") + ")";
    if (aDocumentID == 0) return;  // the sub-documents of no document are not this call's
    auto db = records::MapperUserDatabase();
    dao::Transaction tx(*db, dao::kWriteLock);
    mQvDaoDataBase::QvExecuteSql(
        "delete from PfrCellValues AS a where a.SubDocID in (select s.ID " + condition + ")", db);
    mQvDaoDataBase::QvExecuteSql(
        "delete from PfrErrors AS a where a.SubDocID in (select s.ID " + condition + ")", db);
    mQvDaoDataBase::QvExecuteSql("delete " + condition, db);
    tx.Commit();
  });
}

void FillPfrSubDocFromRow(dao::Recordset& rs, QvRecord& rec, bool aFillPerson) {
  records::FillFromRow(DBPfrSubDoc::Def(), rs, CDbl(rs.FieldValue("ID")), rec);
  const double personId = mQvCommonCalc::VarToDoubleDef(rs.FieldValue("PfrPersonID"), 0);
  if (!aFillPerson || personId == 0) return;
  QvRecordPtr person = rec.SubRecord(rec.PropertyIndex("PfrPerson"));
  if (rs.FieldValue(kJoinedPersonId).IsNull())
    person->MarkNotFound(Variant(personId));
  else
    FillPfrPersonFromRow(rs, personId, *person);
}

QV_DEFINE_CLASS(DBPfrSubDoc, "Qv_DBProvider.DBPfrSubDoc", QV_CREATABLE(DBPfrSubDoc),
                Method("ReadRecord(aID, aRecord)", &DBPfrSubDoc::ReadRecord),
                Method("ReadLazyFields(aRecord)", &DBPfrSubDoc::ReadLazyFields),
                Method("SaveRecord(aRecord, aRecursive, aSaveCells)", &DBPfrSubDoc::SaveRecord,
                       {Variant(false), Variant(true)}),
                Method("SaveRecordEx(aRecord, aRecursive, aSaveCells, aSaveErrors)",
                       &DBPfrSubDoc::SaveRecordEx),
                Method("SaveRecord3(aRecord, aOptions, aParams)", &DBPfrSubDoc::SaveRecord3,
                       {Variant()}),
                Method("ReadCells(aRecord)", &DBPfrSubDoc::ReadCells),
                Method("ReadOneCell(aSubDocID, aKey, aLineNum, aTableNum)",
                       &DBPfrSubDoc::ReadOneCell),
                Method("ReadErrors(aRecord)", &DBPfrSubDoc::ReadErrors),
                Method("DeleteRecord(aRecord)", &DBPfrSubDoc::DeleteRecord),
                Method("DeleteRecordsByIDs(aPfrSubDocsIDs)", &DBPfrSubDoc::DeleteRecordsByIDs),
                Method("DeleteRecordsInDocument(aDocumentID, aSubDocTypes, aExcludeSubDocTypes)",
                       &DBPfrSubDoc::DeleteRecordsInDocument, {Variant("*"), Variant("")}),
                Method("IsRecordExists(aID)", &DBPfrSubDoc::IsRecordExists))

}  // namespace qv::pfr
