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

double Or0(const Variant& v) {
  return v.IsNull() || v.IsEmpty() ? 0.0 : CDbl(v);
}

// The documents of a doc type in a stream and period, for the sub-selects
// of the group moves.
std::string GroupOf(std::string_view alias, double stream, double period, double docType) {
  const std::string r(alias);
  const std::string t = r == "r" ? "t" : "t0";
  return "select " + r + ".document_id from doc_registry AS " + r + " LEFT JOIN doc_templates AS " +
         t + " ON " + t + ".template_id = " + r + ".template_id where " + r +
         ".taxpayer_id = " + Number2DaoSql(stream) + " and " + r +
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

// The document leaves its chain: its older and newer neighbours name each
// other. Errors: 40090 when the document does not exist.
void UnlinkFromChain(double aDocID) {
  Variant bottom, top;
  QvQuery2Values("select bottom_next_id, top_doc_id from doc_registry where document_id = " +
                     Number2DaoSql(aDocID),
                 bottom, top);
  const double b = Or0(bottom), t = Or0(top);
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

void RepointCells(double aFrom, double aTo) {
  QvExecuteSql("update doc_cell_values set document_id = " + Number2DaoSql(aTo) +
               " where document_id = " + Number2DaoSql(aFrom));
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
                     [&](std::string_view c) { return EqualsAsciiNoCase(c, column); });
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

}  // namespace

void DocumentQueries::DeleteDocumentsWithTemplateAndTimeInAccStream(double aAccStreamID,
                                                                    double aTemplateID,
                                                                    double aTimeID) {
  Guard(QV_HERE, [&] {
    const std::string where = "taxpayer_id=" + Number2DaoSql(aAccStreamID) +
                              " and template_id=" + Number2DaoSql(aTemplateID) +
                              " and time_id=" + Number2DaoSql(aTimeID);
    dao::Transaction tx(*miDataBase::GetUserDataBase(), dao::kWriteLock);
    QvExecuteSql(
        "delete from doc_cell_values "
        "where document_id in (select document_id from doc_registry "
        "where " +
        where + ") ");
    QvExecuteSql("delete from doc_registry where " + where);
    tx.Commit();
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
    QvExecuteSql("update doc_registry set taxpayer_id=" + Number2DaoSql(aDestAccStreamID) +
                 " where document_id=" + Number2DaoSql(aDocumentID));
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
    auto db = miDataBase::GetUserDataBase();
    dao::Transaction tx(*db, dao::kWriteLock);
    const DocAttributes src = DocAttributesOf(aSrcDocumentID);
    const double s2 = aDestAccStreamID, p2 = aDestTimePeriodID;
    if (aMoveType == kMerge) {
      RequireRow("doc_registry", "document_id", aDestDocumentID, "the document");
      if (aDestDocumentID == aSrcDocumentID)
        ThrowVb(vberr::kInvalidProcedureCall, "a document cannot be merged into itself");
    } else {
      RequireRow("AccStream", "ID", s2, "the accounting stream");
      RequireRow("time_by_month", "time_id", p2, "the period");
    }
    const bool group =
        aMoveType == kGroup || aMoveType == kGroupInstances || aMoveType == kGroupReplacing;
    if (group && s2 == src.stream && p2 == src.period)
      ThrowVb(vberr::kInvalidProcedureCall,
              "a group of documents cannot move onto its own stream and period");

    switch (aMoveType) {
      case kAlone: {
        UnlinkFromChain(aSrcDocumentID);
        QvRecordPtr doc = LoadedDocument(aSrcDocumentID);
        SetReference(*doc, "Taxpayer", s2);
        SetReference(*doc, "Time", p2);
        doc->Let("Instance_Number",
                 Variant(miDocument::GetNextInstanceNumber(s2, p2, src.templateId)));
        doc->Let("Doc_Type", Variant(int32_t{0}));
        doc->Let("Top_Doc_ID", Variant(0.0));
        doc->Let("Bottom_Next_ID", Variant(0.0));
        doc->SaveToStore(false);
        rResDocumentID = aSrcDocumentID;
        break;
      }
      case kGroupReplacing:
        QvExecuteSql("delete from doc_cell_values AS c where c.document_id in ( " +
                     GroupOf("r", s2, p2, src.docType) + " ) ");
        QvExecuteSql("delete from doc_registry AS r0 where r0.document_id in ( " +
                     GroupOf("r", s2, p2, src.docType) + " ) ");
        [[fallthrough]];
      case kGroup:
        QvExecuteSql("update doc_registry AS r set r.taxpayer_id = " + Number2DaoSql(s2) +
                     ", r.time_id = " + Number2DaoSql(p2) + " where r.document_id in ( " +
                     GroupOf("r0", src.stream, src.period, src.docType) + " ) ");
        break;
      case kGroupInstances: {
        const double next = Or0(QvQueryValue("select max(r.instance_number+1)" +
                                             DestinationOfDocType(s2, p2, src.docType)));
        QvExecuteSql("update doc_registry AS r0 set r0.taxpayer_id = " + Number2DaoSql(s2) +
                     ", r0.time_id = " + Number2DaoSql(p2) +
                     ", r0.instance_number = r0.instance_number + " + Number2DaoSql(next) +
                     " where r0.document_id in ( " +
                     GroupOf("r", src.stream, src.period, src.docType) + " ) ");
        break;
      }
      case kMerge: {
        RepointCells(aSrcDocumentID, aDestDocumentID);
        QvRecordPtr to = LoadedDocument(aDestDocumentID);
        TakeOverFields(*to, *LoadedDocument(aSrcDocumentID));
        to->SaveToStore(false);
        UnlinkFromChain(aSrcDocumentID);
        DeleteRegistryRow(aSrcDocumentID);
        rResDocumentID = aDestDocumentID;
        break;
      }
      case kAdjustment: {
        const std::string dest = DestinationOfDocType(s2, p2, src.docType);
        const double next = Or0(QvQueryValue("select max (r.doc_type+1)" + dest));
        if (next == 0) break;
        const double latest = Or0(QvQueryValue("select max (r.document_id)" + dest +
                                               " and r.doc_type = " + Number2DaoSql(next - 1)));
        QvRecordPtr adjustment =
            CreateNewAdjustment2(s2, p2, src.templateId, false, latest, -1, -1, 1, 0);
        RepointCells(aSrcDocumentID, adjustment->Id());
        UnlinkFromChain(aSrcDocumentID);
        DeleteRegistryRow(aSrcDocumentID);
        rResDocumentID = adjustment->Id();
        break;
      }
      default:
        break;
    }
    tx.Commit();
  });
}

}  // namespace qv::queries
