#include "records/miDocument.h"

#include <array>
#include <cmath>
#include <unordered_set>
#include <vector>

#include "core/DBGlobalParams.h"
#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "core/miDBProviderFactory.h"
#include "core/miLocks.h"
#include "platform/ado/Recordset.h"
#include "platform/automation/VbaDate.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/ServerQuery.h"
#include "platform/dao/TableRecordset.h"
#include "platform/dao/Transaction.h"
#include "records/DBDocument.h"
#include "records/LaterDocumentParts.h"
#include "records/MapperSession.h"
#include "records/mQvDocumentSrv.h"
#include "records/miRecCollection.h"
#include "siblings/records/RecordFactory.h"

namespace qv::miDocument {

namespace {
using namespace mQvDaoDataBase;
using records::QvRecord;
using records::QvRecordPtr;
using records::RecordFactory;

QvRecordPtr Sub(QvRecord& r, std::string_view property) {
  return std::static_pointer_cast<QvRecord>(r.Get(property).AsObject());
}

// The stored record `id` of a type, read at once; error 5 naming `what`
// when there is no such row.
QvRecordPtr Existing(std::string_view type, double id, std::string_view what) {
  QvRecordPtr r = RecordFactory::ForThisThread()->GetLoadedRecord(std::string(type), Variant(id));
  if (r->State() != records::kLoaded)
    ThrowVb(vberr::kInvalidProcedureCall,
            std::string(what) + " " + Number2DaoSql(id) + " does not exist");
  return r;
}

// What a new document is made of.
struct NewDocument {
  QvRecordPtr stream, period, tmpl, master;
  int32_t instance = 0, adjustment = 0, scale = 0, statusQv = 0;
  double older = 0, newer = 0;  // Bottom_Next_ID, Top_Doc_ID
};

// Accept_Date, Accept_Term and Payment_Term of a new document.
void SetDates(QvRecord& doc, const NewDocument& d) {
  Variant accept, acceptTerm, paymentTerm;
  if (d.master) {
    // An end document of a pension-fund pack: 1 March of its master's year.
    const int32_t year = CLng(Sub(*d.master, "Time")->Get("The_Year"));
    if (year <= 0) return;
    accept = acceptTerm = paymentTerm = Variant(DateSerial(year, 3, 1));
  } else {
    ObjectPtr service = mErrorHandling::CreateObjectErr(kDateServiceProgId);
    service->CallV("CalcDates", Variant(ObjectPtr(d.tmpl)), d.period->Get("The_Year"),
                   d.period->Get("Report_ID"), Variant(ObjectPtr(d.stream)));
    accept = service->Get("AcceptDate");
    acceptTerm = service->Get("AcceptTerm");
    paymentTerm = service->Get("PaymentTerm");
  }
  doc.Let("Accept_Date", accept);
  doc.Let("Accept_Term", acceptTerm);
  doc.Let("Payment_Term", paymentTerm);
}

// A new document record filled from `d` and saved.
QvRecordPtr SaveNewDocument(dao::Database& db, const NewDocument& d) {
  QvRecordPtr doc = RecordFactory::ForThisThread()->NewRecord("Qv_Records.QvDocument");
  doc->Let("Template", Variant(ObjectPtr(d.tmpl)));
  doc->Let("Time", Variant(ObjectPtr(d.period)));
  doc->Let("Taxpayer", Variant(ObjectPtr(d.stream)));
  doc->Let("EditorType", d.tmpl->Get("EditorType"));
  doc->Let("Registry_Date", Variant(Today()));
  SetDates(*doc, d);
  doc->Let("Reg_Number", Variant(DBGlobalParams::NextRegNumber(records::SharedDatabase(db))));
  doc->Let("Instance_Number", Variant(d.instance));
  doc->Let("Doc_Type", Variant(d.adjustment));
  doc->Let("Less", Variant(d.scale));
  doc->Let("Currency_ID", Variant(kCurrencyRouble));
  doc->Let("Status", Variant(int32_t{1}));
  doc->Let("Status_Qv", Variant(d.statusQv));
  doc->Let("Bottom_Next_ID", Variant(d.older));
  doc->Let("Top_Doc_ID", Variant(d.newer));
  if (d.master) doc->Let("PfrMasterDoc", Variant(ObjectPtr(d.master)));
  records::SaveRow(db, records::DBDocument::Def(), *doc, false);
  return doc;
}

// A version's Top_Doc_ID or Bottom_Next_ID now names `id`, saved as the
// chain-link group.
void Link(const QvRecordPtr& version, std::string_view link, double id) {
  version->Let(link, Variant(id));
  records::DBDocument().SaveDocumentFields(records::docfields::kChainLinks,
                                           Variant(ObjectPtr(version)), false);
}

int32_t TemplateClassScale(QvRecord& tmpl) {
  return CLng(Sub(tmpl, "Doc_Type")->Get("scale_index"));
}

// The next identifier along `link` ("top_doc_id" or "bottom_next_id") from
// `id`; 0 at the end of the chain, for a document that does not exist, or
// when the read fails. One point read of the row on the primary key, with
// no statement text to build and translate per step.
double NextAlong(dao::Database& db, double id, std::string_view link) {
  static constexpr std::string_view kTop[] = {"top_doc_id"};
  static constexpr std::string_view kBottom[] = {"bottom_next_id"};
  const std::string_view(&field)[1] = link == kTop[0] ? kTop : kBottom;
  if (link != field[0])
    throw Error(vberr::kInvalidProcedureCall, "no chain link " + std::string(link));
  // No document_id equals a fraction (the seek would round it).
  if (id != std::floor(id)) return 0;
  Variant next(0.0);
  try {
    if (db.IsServer()) {
      if (auto row = dao::SeekServerRow(db, "Doc_Registry", "Id", id, {&field, field}))
        next = std::move((*row)[0]);
    } else if (auto st =
                   dao::TableRecordset::SeekFields(db, "Doc_Registry", "Id", id, {&field, field})) {
      next = st->Value(0);
    }
  } catch (...) {
    next = Variant(0.0);
  }
  return CDblOr(next, 0);
}

constexpr int kMaxChainSteps = 100;

// The current version of a document's chain: the last one along
// Top_Doc_ID (at most 100 steps), the document itself when it is current.
double CurrentVersion(dao::Database& db, double id) {
  for (int step = 0; step < kMaxChainSteps; ++step) {
    const double newer = NextAlong(db, id, "top_doc_id");
    if (newer == 0) break;
    id = newer;
  }
  return id;
}

std::vector<double> Walk(dao::Database& db, double start, std::string_view link,
                         bool includeStart) {
  std::vector<double> ids;
  if (includeStart) ids.push_back(start);
  double id = start;
  for (int step = 0; step < kMaxChainSteps && id != 0; ++step) {
    id = NextAlong(db, id, link);
    if (id != 0) ids.push_back(id);
  }
  return ids;
}

// The cells of `to` whose key `from` has too are deleted, so that the
// cells `from` brings replace them: one row per key.
// A document without cells (a new one, which every copy into a new
// document is) has none to delete: the delete would still gather the keys
// of all of `from`'s cells and seek each of them (1M instructions for 500
// cells), so its first cell is looked for first (one seek of the index).
void DropKeysOf(dao::Database& db, double from, double to) {
  auto first =
      db.OpenStatement("select top 1 c.cell_key from doc_cell_values AS c where c.document_id = " +
                           Number2DaoSql(to),
                       dao::dbOpenForwardOnly);
  const bool none = first->IsEOF();
  first->Close();
  if (none) return;
  QvExecuteSql("delete from doc_cell_values where document_id = " + Number2DaoSql(to) +
                   " and cell_key in (select s.cell_key from doc_cell_values AS s "
                   "where s.document_id = " +
                   Number2DaoSql(from) + ")",
               records::SharedDatabase(db));
}

CollectionPtr AsCollection(const std::vector<double>& ids) {
  auto c = std::make_shared<Collection>();
  for (double id : ids) c->Add(Variant(id));
  return c;
}

// The rows of one instance's documents (alias r, its template t): the
// stream, the period and the template's doc type, or the template alone
// when it has none; `instance` 0 also takes an instance that is Null.
std::string InstanceRows(const std::shared_ptr<dao::Database>& db, double stream, double period,
                         double templ) {
  const double docClass =
      CDblOr(QvQueryFirstValueSafe("select doc_type_id from doc_templates where template_id = " +
                                       Number2DaoSql(templ),
                                   Variant(0.0), db),
             0);
  return "from doc_registry AS r left join doc_templates AS t ON t.template_id = r.template_id "
         "where r.taxpayer_id = " +
         Number2DaoSql(stream) + " and r.time_id = " + Number2DaoSql(period) + " and " +
         (docClass != 0 ? "t.doc_type_id = " + Number2DaoSql(docClass)
                        : "r.template_id = " + Number2DaoSql(templ));
}

// The instance a new chain takes: `wanted` while no current version of
// the stream, period and doc type has it, else the one after the largest
// used, so that an instance never has two current versions.
int32_t FreeInstance(const std::shared_ptr<dao::Database>& db, double stream, double period,
                     double templ, int32_t wanted) {
  const std::string rows = InstanceRows(db, stream, period, templ);
  if (!QvQueryExistence("select top 1 r.document_id " + rows +
                            " and iif(IsNull(r.instance_number), 0, r.instance_number) = " +
                            Number2DaoSql(wanted) +
                            " and (IsNull(r.top_doc_id) or r.top_doc_id = 0)",
                        db))
    return wanted;
  return CLng(QvQueryValue(
             "select max(iif(IsNull(r.instance_number), 0, r.instance_number)) " + rows, Variant(),
             db)) +
         1;
}

}  // namespace

QvRecordPtr CreateDocument(double aAccStreamID, double aTimePeriodID, double aTemplateID,
                           int32_t aFlags, double aArchivedDocumentID, int32_t aInstanceNumber,
                           int32_t aScaleIndex, int32_t aStatusQv, double aCopyCellsFromDocID,
                           const QvRecordPtr& aMasterDoc) {
  return Guard(QV_HERE, [&] {
    using namespace createflags;
    auto db = records::MapperUserDatabase();
    QvRecordPtr doc;
    dao::Transaction tx(*db, dao::kWriteLock);
    {
      NewDocument d;
      d.stream = Existing("Qv_Records.QvAccStream", aAccStreamID, "the accounting stream");
      d.period = Existing("Qv_Records.QvTimePeriod", aTimePeriodID, "the period");
      d.tmpl = Existing("Qv_Records.QvTemplate", aTemplateID, "the template");
      d.statusQv = aStatusQv;
      QvRecordPtr base;     // the current version of the archived document's chain
      double archived = 0;  // the version named or found
      if (aFlags & kPfrEndDocument) {
        if (!aMasterDoc) ThrowVb(vberr::kObjectRequired, "an end document needs its master");
        d.master = aMasterDoc;
      } else if (aFlags & kAdjustment) {
        archived = aArchivedDocumentID;
        if (archived == 0 && aInstanceNumber >= 0)
          archived = mQvDocumentSrv::GetBottomDocumentIDForNewDocument(
              aAccStreamID, aTimePeriodID, aTemplateID, aInstanceNumber, kCurrencyRouble);
        if (archived != 0) {
          Existing("Qv_Records.QvDocument", archived, "the document");
          base = Existing("Qv_Records.QvDocument", CurrentVersion(*db, archived), "the document");
        }
      }
      d.instance = aInstanceNumber;
      if (base) {
        d.adjustment = CLng(base->Get("Doc_Type")) + 1;
        d.instance = CLng(base->Get("Instance_Number"));
        d.older = base->Id();
      } else {
        if (d.instance < 0)
          d.instance = (aFlags & kNewInstance)
                           ? GetNextInstanceNumber(aAccStreamID, aTimePeriodID, aTemplateID)
                           : 0;
        // A new chain never becomes a second current version of an
        // instance (docs/documents.md).
        d.instance = FreeInstance(db, aAccStreamID, aTimePeriodID, aTemplateID, d.instance);
      }
      d.scale = aScaleIndex != -1 ? aScaleIndex
                : base            ? CLng(base->Get("Less"))
                                  : TemplateClassScale(*d.tmpl);
      doc = SaveNewDocument(*db, d);
      if (base) Link(base, "Top_Doc_ID", doc->Id());
      if (CLng(doc->Get("EditorType")) == kBigDocumentEditor)
        records::CreateBigDocDataBase(*db, doc->Id(), 0);
      if ((aFlags & kCopyFromDocument) && aCopyCellsFromDocID != 0)
        CopyDocumentCells(*db, aCopyCellsFromDocID, doc->Id());
      else if ((aFlags & kAdjustment) && (aFlags & kCopyFromArchive) && base)
        CopyDocumentCells(*db, archived, doc->Id());
    }
    tx.Commit();
    return doc;
  });
}

QvRecordPtr CreateImportingDocument(double aAccStreamID, double aTimePeriodID, double aTemplateID,
                                    int32_t aInstanceNumber, int32_t aAdjustmentNumber,
                                    int32_t aScaleIndex, int32_t aStatusQv) {
  return Guard(QV_HERE, [&] {
    NewDocument d;
    d.stream = Existing("Qv_Records.QvAccStream", aAccStreamID, "the accounting stream");
    d.period = Existing("Qv_Records.QvTimePeriod", aTimePeriodID, "the period");
    d.tmpl = Existing("Qv_Records.QvTemplate", aTemplateID, "the template");
    d.instance = aInstanceNumber;
    d.adjustment = aAdjustmentNumber;
    d.scale = aScaleIndex != -1 ? aScaleIndex : TemplateClassScale(*d.tmpl);
    d.statusQv = aStatusQv;
    auto db = records::MapperUserDatabase();
    QvRecordPtr doc;
    miLocks::WriteUnderLock(*db, [&] {
      // The versions of the instance in ascending adjustment order.
      const Variant found = miDBProviderFactory::IntGetBlankQueries()->CallV(
          "GetDocsByTemplateAndInstance", aAccStreamID, aTemplateID, aTimePeriodID, aInstanceNumber,
          true);
      auto versions = std::dynamic_pointer_cast<ado::Recordset>(found.AsObject());
      const size_t idCol = versions->FieldIndex("Document_id");
      const size_t adjCol = versions->FieldIndex("adj_number");
      for (size_t r = 0; r < versions->RowCount(); ++r) {
        const Variant& adj = versions->Value(r, adjCol);
        const int32_t number = adj.IsNull() ? 0 : CLng(adj);
        const double id = CDblOr(versions->Value(r, idCol), 0);
        // Two versions of one number would make the chain go back.
        if (number == aAdjustmentNumber)
          ThrowVb(vberr::kInvalidProcedureCall, "the instance already has adjustment " +
                                                    std::to_string(aAdjustmentNumber) +
                                                    " (document " + Number2DaoSql(id) + ")");
        if (number <= aAdjustmentNumber)
          d.older = id;
        else if (d.newer == 0)
          d.newer = id;
      }
      doc = SaveNewDocument(*db, d);
      auto& factory = *RecordFactory::ForThisThread();
      if (d.newer != 0)
        Link(factory.GetRecord("Qv_Records.QvDocument", Variant(d.newer)), "Bottom_Next_ID",
             doc->Id());
      if (d.older != 0)
        Link(factory.GetRecord("Qv_Records.QvDocument", Variant(d.older)), "Top_Doc_ID", doc->Id());
    });
    return doc;
  });
}

int32_t GetNextInstanceNumber(double aAccStreamID, double aTimePeriodID, double aTemplateID) {
  return Guard(QV_HERE, [&] {
    auto db = records::MapperUserDatabase();
    const double docClass =
        CDblOr(QvQueryFirstValueSafe("select doc_type_id from doc_templates where template_id = " +
                                         Number2DaoSql(aTemplateID),
                                     Variant(0.0), db),
               0);
    if (docClass == 0) return int32_t{0};
    Variant inst, cnt;
    QvQuery2Values(
        "select max(r.instance_number) AS inst, count(*) AS cnt "
        "from doc_registry AS r "
        "left join doc_templates AS t ON t.template_id = r.template_id "
        "where r.taxpayer_id=" +
            Number2DaoSql(aAccStreamID) + " and r.time_id=" + Number2DaoSql(aTimePeriodID) +
            " and t.doc_type_id=" + Number2DaoSql(docClass) + ";",
        inst, cnt, db);
    return CLng(cnt) > 0 ? (inst.IsNull() ? 0 : CLng(inst)) + 1 : 0;
  });
}

CollectionPtr GetOlderVersions(double aDocID, bool aIncludeStart) {
  return Guard(QV_HERE, [&] {
    return AsCollection(
        Walk(*records::MapperUserDatabase(), aDocID, "bottom_next_id", aIncludeStart));
  });
}

std::string GetOlderVersionsList(double aDocID, bool aIncludeStart) {
  return Guard(QV_HERE, [&] {
    std::string text;
    for (double id : Walk(*records::MapperUserDatabase(), aDocID, "bottom_next_id", aIncludeStart))
      text += (text.empty() ? "" : ", ") + Number2DaoSql(id);
    return text;
  });
}

std::vector<double> GetCorrectionChain(double aDocID) {
  return Guard(QV_HERE, [&] {
    auto db = records::MapperUserDatabase();
    const auto exists = [&](double id) {
      return QvIsKeyExists(db, "Doc_Registry", "Id", Variant(id));
    };
    std::vector<double> chain;
    if (aDocID == 0 || !exists(aDocID)) return chain;
    std::unordered_set<double> seen{aDocID};
    // One side of the chain from the document, in walking order.
    const auto side = [&](std::string_view link) {
      std::vector<double> ids;
      double id = aDocID;
      for (int step = 0; step < kMaxChainSteps; ++step) {
        id = NextAlong(*db, id, link);
        if (id == 0 || !seen.insert(id).second || !exists(id)) break;
        ids.push_back(id);
      }
      return ids;
    };
    const std::vector<double> newer = side("top_doc_id");
    chain.assign(newer.rbegin(), newer.rend());
    chain.push_back(aDocID);
    for (double id : side("bottom_next_id")) chain.push_back(id);
    return chain;
  });
}

CollectionPtr GetDocClassChain(double aAccStreamID, double aTimePeriodID, double aDocClassID,
                               bool aNewestFirst) {
  return Guard(QV_HERE, [&] {
    auto db = records::MapperUserDatabase();
    const std::string_view end = aNewestFirst ? "top_doc_id" : "bottom_next_id";
    const std::string_view follow = aNewestFirst ? "bottom_next_id" : "top_doc_id";
    const double start = CDblOr(
        QvQueryFirstValueSafe("select d.document_id from Doc_Registry AS d "
                              "left join Doc_Templates AS t ON t.template_id = d.template_id "
                              "where d.Taxpayer_ID = " +
                                  Number2DaoSql(aAccStreamID) +
                                  " and d.Time_ID = " + Number2DaoSql(aTimePeriodID) +
                                  " and t.doc_type_id = " + Number2DaoSql(aDocClassID) + " and d." +
                                  std::string(end) + " = 0 ",
                              Variant(0.0), db),
        0);
    return AsCollection(start == 0 ? std::vector<double>{} : Walk(*db, start, follow, true));
  });
}

int32_t IntGetPfrMasterStatus_Dao(double aMasterDocID, std::shared_ptr<dao::Recordset>& rRs,
                                  bool aCloseRs) {
  if (aMasterDocID == 0) return 0;
  return Guard(QV_HERE, [&] {
    if (!rRs) rRs = QvGetTableRS("DOC_REGISTRY", "PfrMaster", records::MapperUserDatabase());
    const Variant key[] = {Variant(aMasterDocID)};
    rRs->Seek("=", key);
    bool allDelivered = true, anyDone = false;
    int32_t seen = 0;
    // The index keeps a master's end documents together from the first match.
    for (; !rRs->NoMatch() && !rRs->IsEOF() &&
           GetDaoDoubleDef(*rRs, "PfrMasterDocID", 0) == aMasterDocID;
         rRs->MoveNext()) {
      ++seen;
      switch (GetDaoLong(*rRs, "Status_Qv")) {
        case 1:
          allDelivered = false;
          break;
        case 2:
          allDelivered = false;
          anyDone = true;
          break;
        case 3:
          anyDone = true;
          break;
        default:
          break;
      }
    }
    if (aCloseRs) {
      rRs->Close();
      rRs.reset();
    }
    if (allDelivered && seen > 0) return 3;
    return anyDone ? 2 : 1;
  });
}

int32_t IntGetPfrMasterStatus_Dao(double aMasterDocID) {
  std::shared_ptr<dao::Recordset> rs;
  return IntGetPfrMasterStatus_Dao(aMasterDocID, rs, true);
}

CollectionPtr DocumentsWhere(dao::Database& db, const std::string& aCondition) {
  return Guard(QV_HERE, [&] {
    auto rs = QvQuerySqlStatic("select Document_ID AS ID from Doc_Registry where " + aCondition,
                               records::SharedDatabase(db));
    CollectionPtr docs = miRecCollection::GetRecCollection_QvDocument(*rs, "ID");
    rs->Close();
    return docs;
  });
}

void DeleteDocumentCells(dao::Database& db, double aDocID) {
  Guard(QV_HERE, [&] {
    QvExecuteSql("delete from doc_cell_values where document_id = " + Number2DaoSql(aDocID),
                 records::SharedDatabase(db));
  });
}

void CopyDocumentCells(dao::Database& db, double aDocIDFrom, double aDocIDTo) {
  Guard(QV_HERE, [&] {
    if (aDocIDFrom == aDocIDTo) return;
    dao::Transaction tx(db, dao::kWriteLock);
    DropKeysOf(db, aDocIDFrom, aDocIDTo);
    QvExecuteSql(
        "insert into doc_cell_values (document_id, cell_key, first_value, first_type) select " +
            Number2DaoSql(aDocIDTo) +
            ", cell_key, first_value, first_type from doc_cell_values "
            "where document_id = " +
            Number2DaoSql(aDocIDFrom),
        records::SharedDatabase(db));
    tx.Commit();
  });
}

void MoveDocumentCells(dao::Database& db, double aDocIDFrom, double aDocIDTo) {
  Guard(QV_HERE, [&] {
    if (aDocIDFrom == aDocIDTo) return;
    dao::Transaction tx(db, dao::kWriteLock);
    DropKeysOf(db, aDocIDFrom, aDocIDTo);
    QvExecuteSql("update doc_cell_values set document_id = " + Number2DaoSql(aDocIDTo) +
                     " where document_id = " + Number2DaoSql(aDocIDFrom),
                 records::SharedDatabase(db));
    tx.Commit();
  });
}

void DeleteDocumentsWhere(dao::Database& db, const std::string& aCondition) {
  Guard(QV_HERE, [&] {
    dao::Transaction tx(db, dao::kWriteLock);
    CollectionPtr docs = DocumentsWhere(db, aCondition);
    for (int32_t i = 1; i <= docs->Count(); ++i)
      std::static_pointer_cast<QvRecord>(docs->At(i).AsObject())->DeleteFromStore();
    tx.Commit();
  });
}

}  // namespace qv::miDocument
