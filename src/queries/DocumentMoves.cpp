// DocumentQueries: deleting a form's documents and moving documents between
// streams and periods.

#include <algorithm>

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "core/miDataBase.h"
#include "platform/automation/VbaText.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/Transaction.h"
#include "queries/DocumentQueries.h"
#include "queries/mDocumentLookups.h"
#include "records/DBDocument.h"
#include "records/miDocument.h"
#include "records/miRecCollection.h"
#include "siblings/records/RecordFactory.h"

namespace qv::queries {

using namespace mQvDaoDataBase;
using records::QvRecord;
using records::QvRecordPtr;

namespace {

// The documents of a doc type in a stream and period, for the sub-selects
// of the group moves: their identifiers, or `item` of each.
std::string GroupOf(std::string_view alias, double stream, double period, double docType,
                    const std::string& item = {}) {
  const std::string r(alias);
  const std::string t = r == "r" ? "t" : "t0";
  return "select " + (item.empty() ? r + ".document_id" : item) + " from doc_registry AS " + r +
         " LEFT JOIN doc_templates AS " + t + " ON " + t + ".template_id = " + r +
         ".template_id where " + r + ".taxpayer_id = " + Number2DaoSql(stream) + " and " + r +
         ".time_id = " + Number2DaoSql(period) + " and " + t +
         ".doc_type_id = " + Number2DaoSql(docType);
}

// The conditions shared by the destination lookups of a new adjustment.
std::string DestinationOfDocType(double stream, double period, double docType) {
  return " from doc_registry as r "
         "left join doc_templates as t ON t.template_id = r.template_id "
         "where r.taxpayer_id = " +
         Number2DaoSql(stream) + " and r.time_id = " + Number2DaoSql(period) +
         " and t.doc_type_id = " + Number2DaoSql(docType) + " ";
}

// An instance number as the chains count it: Null is 0.
std::string InstanceOf(std::string_view alias) {
  const std::string r(alias);
  return "iif(IsNull(" + r + ".instance_number), 0, " + r + ".instance_number)";
}

// The document leaves its chain: its older and newer neighbours name each
// other. Errors: 40090 when the document does not exist.
void UnlinkFromChain(double aDocID) {
  Variant bottom, top;
  QvQuery2Values("select bottom_next_id, top_doc_id from doc_registry where document_id = " +
                     Number2DaoSql(aDocID),
                 bottom, top);
  const double b = CDblOr(bottom, 0), t = CDblOr(top, 0);
  if (b != 0)
    QvExecuteSql("update doc_registry set top_doc_id = " + Number2DaoSql(t) +
                 " where document_id = " + Number2DaoSql(b));
  if (t != 0)
    QvExecuteSql("update doc_registry set bottom_next_id = " + Number2DaoSql(b) +
                 " where document_id = " + Number2DaoSql(t));
}

void DeleteRegistryRow(double aDocID) {
  QvExecuteSql("delete from doc_registry where document_id = " + Number2DaoSql(aDocID));
}

QvRecordPtr LoadedDocument(double aDocID) {
  QvRecordPtr doc = records::RecordFactory::ForThisThread()->GetLoadedRecord(
      "Qv_Records.QvDocument", Variant(aDocID));
  if (doc->State() != records::kLoaded)
    ThrowVb(vberr::kInvalidProcedureCall,
            "the document " + Number2DaoSql(aDocID) + " does not exist");
  return doc;
}

void SetReference(QvRecord& doc, std::string_view property, double id) {
  doc.Get(property).AsObject()->CallV("SetID", id);
}

// The columns a document keeps when another one's fields are merged into
// it: its place (stream, period, instance, adjustment, chain) and its
// registration.
bool KeepsOwn(std::string_view column) {
  constexpr std::string_view kOwn[] = {"Taxpayer_ID", "Time_ID",       "Instance_Number",
                                       "Doc_Type",    "Top_Doc_ID",    "Bottom_Next_ID",
                                       "Reg_Number",  "DeliveryNumber"};
  return std::any_of(std::begin(kOwn), std::end(kOwn),
                     [&](std::string_view c) { return NamesEqual(c, column); });
}

// `to` takes every document field of `from` but its own place.
void TakeOverFields(QvRecord& to, QvRecord& from) {
  for (const records::ColumnDef& c : records::DBDocument::Def().map.columns) {
    if (KeepsOwn(c.column)) continue;
    const std::string_view property = records::PropertyNameOf(c);
    if (c.kind == records::ColKind::kRef)
      SetReference(to, property, CDbl(from.Get(property).AsObject()->Get("ID")));
    else
      to.Let(property, from.Get(property));
  }
}

// ---- the move types of MoveDocument

// What a move works on: the source document and its attributes, the
// destination stream and period, the document merged into (type 4).
struct Move {
  double src;
  DocAttributes from;
  double stream, period, destDoc;
};

bool IsGroupMove(int32_t aMoveType) {
  using namespace movetype;
  return aMoveType == kGroup || aMoveType == kGroupInstances || aMoveType == kGroupReplacing;
}

// Error 5, before anything is written, for a move that has nowhere to go
// or would break the destination's chains.
void RefuseBadMove(int32_t aMoveType, const Move& m) {
  using namespace movetype;
  if (aMoveType == kMerge) {
    RequireRow("doc_registry", "document_id", m.destDoc, "the document");
    if (m.destDoc == m.src)
      ThrowVb(vberr::kInvalidProcedureCall, "a document cannot be merged into itself");
    // The destination takes the source's template: of another doc type, it
    // would move into another instance, which may have its current version.
    if (DocAttributesOf(m.destDoc).docType != m.from.docType)
      ThrowVb(vberr::kInvalidProcedureCall,
              "a document can be merged only into one of its doc type");
    return;
  }
  RequireRow("AccStream", "ID", m.stream, "the accounting stream");
  RequireRow("time_by_month", "time_id", m.period, "the period");
  if (!IsGroupMove(aMoveType)) return;
  if (m.stream == m.from.stream && m.period == m.from.period)
    ThrowVb(vberr::kInvalidProcedureCall,
            "a group of documents cannot move onto its own stream and period");
  // Moved as they are, the group's instances must be free in the
  // destination: an instance with two current versions is a broken chain.
  if (aMoveType == kGroup &&
      QvQueryExistence(
          "select r.document_id" + DestinationOfDocType(m.stream, m.period, m.from.docType) +
          " and " + InstanceOf("r") + " in (" +
          GroupOf("r0", m.from.stream, m.from.period, m.from.docType, InstanceOf("r0")) + ")"))
    ThrowVb(vberr::kInvalidProcedureCall,
            "the destination has an instance of the documents moved (move them as new "
            "instances or replacing the destination's)");
}

// Type 1: the document leaves its chain and becomes the first version of
// the next free instance of its doc type in the destination.
double MoveAlone(const Move& m) {
  UnlinkFromChain(m.src);
  QvRecordPtr doc = LoadedDocument(m.src);
  SetReference(*doc, "Taxpayer", m.stream);
  SetReference(*doc, "Time", m.period);
  doc->Let("Instance_Number",
           Variant(miDocument::GetNextInstanceNumber(m.stream, m.period, m.from.templateId)));
  doc->Let("Doc_Type", Variant(int32_t{0}));
  doc->Let("Top_Doc_ID", Variant(0.0));
  doc->Let("Bottom_Next_ID", Variant(0.0));
  doc->SaveToStore(false);
  return m.src;
}

// Types 2 and 6: the group goes to the destination, links and numbers as
// they are; 6 deletes the destination's documents of the doc type first.
void MoveGroup(const Move& m, bool replacing) {
  if (replacing)
    miDocument::DeleteDocumentsWhere(
        *miDataBase::GetUserDataBase(),
        "document_id in ( " + GroupOf("r", m.stream, m.period, m.from.docType) + " ) ");
  QvExecuteSql("update doc_registry AS r set r.taxpayer_id = " + Number2DaoSql(m.stream) +
               ", r.time_id = " + Number2DaoSql(m.period) + " where r.document_id in ( " +
               GroupOf("r0", m.from.stream, m.from.period, m.from.docType) + " ) ");
}

// Type 3: the group, its instance numbers raised past the destination's.
void MoveGroupAsInstances(const Move& m) {
  const double next = CDblOr(QvQueryValue("select max(" + InstanceOf("r") + "+1)" +
                                          DestinationOfDocType(m.stream, m.period, m.from.docType)),
                             0);
  QvExecuteSql("update doc_registry AS r0 set r0.taxpayer_id = " + Number2DaoSql(m.stream) +
               ", r0.time_id = " + Number2DaoSql(m.period) + ", r0.instance_number = " +
               InstanceOf("r0") + " + " + Number2DaoSql(next) + " where r0.document_id in ( " +
               GroupOf("r", m.from.stream, m.from.period, m.from.docType) + " ) ");
}

// Type 4: the destination takes the source's cells (the source's value of
// a key both have) and fields but its place; the source row goes.
double Merge(const Move& m) {
  miDocument::MoveDocumentCells(*miDataBase::GetUserDataBase(), m.src, m.destDoc);
  QvRecordPtr to = LoadedDocument(m.destDoc);
  TakeOverFields(*to, *LoadedDocument(m.src));
  to->SaveToStore(false);
  UnlinkFromChain(m.src);
  DeleteRegistryRow(m.src);
  return m.destDoc;
}

// Type 5: a new adjustment of the destination's newest version of the doc
// type takes the source's cells; the source row goes. Nothing (-1 kept)
// when the destination has no document of the doc type.
double MoveAsAdjustment(DocumentQueries& q, const Move& m, double unchanged) {
  const std::string dest = DestinationOfDocType(m.stream, m.period, m.from.docType);
  const double next = CDblOr(QvQueryValue("select max (r.doc_type+1)" + dest), 0);
  if (next == 0) return unchanged;
  const double latest = CDblOr(QvQueryValue("select max (r.document_id)" + dest +
                                            " and r.doc_type = " + Number2DaoSql(next - 1)),
                               0);
  QvRecordPtr adjustment =
      q.CreateNewAdjustment2(m.stream, m.period, m.from.templateId, false, latest, -1, -1, 1, 0);
  miDocument::MoveDocumentCells(*miDataBase::GetUserDataBase(), m.src, adjustment->Id());
  UnlinkFromChain(m.src);
  DeleteRegistryRow(m.src);
  return adjustment->Id();
}

}  // namespace

void DocumentQueries::DeleteDocumentsWithTemplateAndTimeInAccStream(double aAccStreamID,
                                                                    double aTemplateID,
                                                                    double aTimeID) {
  Guard(QV_HERE, [&] {
    miDocument::DeleteDocumentsWhere(*miDataBase::GetUserDataBase(),
                                     "taxpayer_id=" + Number2DaoSql(aAccStreamID) +
                                         " and template_id=" + Number2DaoSql(aTemplateID) +
                                         " and time_id=" + Number2DaoSql(aTimeID));
  });
}

int32_t DocumentQueries::CanMoveDocumentToAnotherAccStream(double aDocumentID,
                                                           double aDestAccStreamID) {
  return Guard(QV_HERE, [&] {
    const std::optional<DocAttributes> a = FindDocAttributes(aDocumentID);
    if (!a) return kMoveNoDocument;
    return IsExistsDocumentWithAttributesInAccStream(aDestAccStreamID, a->templateId, a->period, -1,
                                                     -1)
               ? kMoveDestinationHasForm
               : kMoveAllowed;
  });
}

void DocumentQueries::PrepareMovingDociumentToAnotherAccStream(double aDocumentID,
                                                               double aDestAccStreamID) {
  Guard(QV_HERE, [&] {
    if (const std::optional<DocAttributes> a = FindDocAttributes(aDocumentID))
      DeleteDocumentsWithTemplateAndTimeInAccStream(aDestAccStreamID, a->templateId, a->period);
  });
}

void DocumentQueries::MoveDocumentToAnotherAccStream(double aDocumentID, double aDestAccStreamID) {
  Guard(QV_HERE, [&] {
    RequireRow("doc_registry", "document_id", aDocumentID, "the document");
    RequireRow("AccStream", "ID", aDestAccStreamID, "the accounting stream");
    dao::Transaction tx(*miDataBase::GetUserDataBase(), dao::kWriteLock);
    const DocAttributes a = DocAttributesOf(aDocumentID);
    if (a.stream != aDestAccStreamID) {
      // Every version of the instance goes, so that its chain stays whole;
      // an instance number the destination has is replaced by its next free one.
      std::string ids;
      for (double id : miDocument::GetCorrectionChain(aDocumentID))
        ids += (ids.empty() ? "" : ", ") + Number2DaoSql(id);
      const double instance =
          CDblOr(QvQueryValue("select instance_number from doc_registry where document_id = " +
                              Number2DaoSql(aDocumentID)),
                 0);
      std::string renumber;
      if (QvQueryExistence("select r.document_id" +
                           DestinationOfDocType(aDestAccStreamID, a.period, a.docType) + " and " +
                           InstanceOf("r") + " = " + Number2DaoSql(instance)))
        renumber = ", instance_number = " + Number2DaoSql(miDocument::GetNextInstanceNumber(
                                                aDestAccStreamID, a.period, a.templateId));
      QvExecuteSql("update doc_registry set taxpayer_id=" + Number2DaoSql(aDestAccStreamID) +
                   renumber + " where document_id in (" + ids + ")");
    }
    tx.Commit();
  });
}

CollectionPtr DocumentQueries::GetMovingDocsInSrcAccStream(double aSrcAccStreamID) {
  return Guard(QV_HERE, [&] {
    return DocumentRecords(
        "select r.document_id AS id from doc_registry AS r "
        "LEFT JOIN doc_templates AS t ON t.template_id = r.template_id "
        "where r.taxpayer_id = " +
        Number2DaoSql(aSrcAccStreamID) +
        " order by r.time_id, t.doc_type_id, r.instance_number, r.doc_type, r.document_id ");
  });
}

CollectionPtr DocumentQueries::GetAppropriateDocsInDestAccStream(double aSrcDocumentID,
                                                                 double aDestAccStreamID) {
  return Guard(QV_HERE, [&] {
    const std::optional<DocAttributes> a = FindDocAttributes(aSrcDocumentID);
    if (!a) return std::make_shared<Collection>();
    return DocumentRecords(
        "select r.document_id AS id from doc_registry AS r "
        "LEFT JOIN doc_templates AS t ON t.template_id = r.template_id "
        "where r.taxpayer_id = " +
        Number2DaoSql(aDestAccStreamID) + " and r.time_id = " + Number2DaoSql(a->period) +
        " and t.doc_type_id = " + Number2DaoSql(a->docType) +
        " order by r.instance_number, r.doc_type, r.document_id ");
  });
}

void DocumentQueries::MoveDocument(double aSrcDocumentID, int32_t aMoveType,
                                   double aDestAccStreamID, double aDestTimePeriodID,
                                   double aDestDocumentID, double& rResDocumentID) {
  Guard(QV_HERE, [&] {
    using namespace movetype;
    if (aMoveType < kAlone || aMoveType > kGroupReplacing) return;
    dao::Transaction tx(*miDataBase::GetUserDataBase(), dao::kWriteLock);
    const Move m{aSrcDocumentID, DocAttributesOf(aSrcDocumentID), aDestAccStreamID,
                 aDestTimePeriodID, aDestDocumentID};
    RefuseBadMove(aMoveType, m);
    switch (aMoveType) {
      case kAlone:
        rResDocumentID = MoveAlone(m);
        break;
      case kGroup:
      case kGroupReplacing:
        MoveGroup(m, aMoveType == kGroupReplacing);
        break;
      case kGroupInstances:
        MoveGroupAsInstances(m);
        break;
      case kMerge:
        rResDocumentID = Merge(m);
        break;
      case kAdjustment:
        rResDocumentID = MoveAsAdjustment(*this, m, rResDocumentID);
        break;
      default:
        break;
    }
    tx.Commit();
  });
}

}  // namespace qv::queries
