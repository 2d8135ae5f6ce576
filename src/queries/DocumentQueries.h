#pragma once
// DocumentQueries ("Qv_DBProvider.DocumentQueries"): the operations on
// report documents that work on sets of rows: a stream's documents, cell
// copies and single cells, the documents of the neighbouring periods and
// the month or quarter analogues of a form, documents deleted or moved
// between streams and periods, the creation services of miDocument, counts,
// attachments, references to pension-fund manual packs, and the structured
// search (PerformDocQuery, IntDocQuerySession.h). Stateless.
//
// Writes of several statements (deletes of a form's documents, every move,
// the creations) run in one dao::Transaction: a failure leaves the
// documents, their chains and cells as they were. Identifier lists from
// callers are numbers separated by ";"; anything else is error 5.
//
// "Document attributes" below: the template, period, doc type and stream
// of a document.

#include <cstdint>
#include <string>

#include "platform/ado/Recordset.h"
#include "platform/automation/Collection.h"
#include "platform/automation/Object.h"
#include "siblings/records/QvRecord.h"

namespace qv::queries {

// How MoveDocument moves (aMoveType).
namespace movetype {
inline constexpr int32_t kAlone = 1;           // the document alone, as a new document
inline constexpr int32_t kGroup = 2;           // every document of its doc type
inline constexpr int32_t kGroupInstances = 3;  // the group, numbered after the destination's
inline constexpr int32_t kMerge = 4;           // into a given destination document
inline constexpr int32_t kAdjustment = 5;      // as a new adjustment of the destination's
inline constexpr int32_t kGroupReplacing = 6;  // the group, replacing the destination's
}  // namespace movetype

// CanMoveDocumentToAnotherAccStream's answers.
inline constexpr int32_t kMoveAllowed = 0;
inline constexpr int32_t kMoveDestinationHasForm = 7;
inline constexpr int32_t kMoveNoDocument = 8;

// CheckForMonthOrQuartAnalogs' results.
inline constexpr int32_t kAnalogMonthsOfQuarter = 1;
inline constexpr int32_t kAnalogQuarterOfMonth = 2;

// Pension-fund end documents are made in this period.
inline constexpr double kPfrEndDocumentsPeriod = 246;

class DocumentQueries : public Object {
  QV_DECLARE_CLASS(DocumentQueries)

 public:
  // ---- lists and counts
  // document_id, status_qv, template_id, top_doc_id of the stream's
  // documents in the period (no order) or in every period (by period,
  // template, instance, newest version last).
  ado::RecordsetPtr GetDocumentsInPeriodAndAccStream(double aAccStreamID, double aTimeID);
  ado::RecordsetPtr GetDocumentsInAccStream(double aAccStreamID);
  // Whether the stream has a document of the template, period, instance and
  // adjustment number; -1 leaves a criterion out, a Null instance or
  // adjustment number counts as 0.
  bool IsExistsDocumentWithAttributesInAccStream(double aAccStreamID, double aTemplateID,
                                                 double aTimeID, int32_t aInstanceNumber,
                                                 int32_t aUtochNumber);
  // The same documents as records, newest identifier first.
  CollectionPtr GetDocumentsWithAttributesInAccStream(double aAccStreamID, double aTemplateID,
                                                      double aTimeID, int32_t aInstanceNumber,
                                                      int32_t aUtochNumber);
  // Current versions of the stream in the period (all of them, or without
  // the doc types of `aExcludeTemplTypes`, "3;5"). Errors: 40090 never
  // (a count has one row); 5 for a list that is not numbers.
  int32_t GetDocCountForSolverInPeriod(double aAccStreamID, int32_t aTimePeriodID);
  int32_t GetDocCountForSolverInPeriod2(double aAccStreamID, int32_t aTimePeriodID,
                                        const std::string& aExcludeTemplTypes);
  int32_t GetTotalDocsCount();
  // Documents of the document's stream, period and template (every
  // instance and version); 0 for a document that does not exist.
  int32_t GetDocInstancesCount(double aDocID);
  // Current versions of the doc type of `aTemplateID` in the period in the
  // streams of type 1 of the stream's owner, as records. Errors: 40090 for
  // a stream that does not exist.
  CollectionPtr GetTaxDocsAnalogs(double aAccStreamID, double aTimePeriodID, double aTemplateID);
  // The document's attachment records; empty for document 0.
  CollectionPtr GetDocumentAttachments(double aDocID);

  // ---- cells
  // Copies every cell of aDocIDFrom to aDocIDTo, which keeps one row per
  // key: a key both have takes aDocIDFrom's value, the target's other
  // cells stay; nothing for a copy into itself. True.
  bool CopyDocumentCells(double aDocIDFrom, double aDocIDTo);
  // Deletes every cell of the document. True.
  bool ZeroDocumentCells(double aDocID);
  // A big document's cell storage made empty again (its shard files
  // removed and made anew); nothing for document 0.
  void ZeroBigDocCells(double aDocID);
  // Writes one cell: nothing unless the document is not 0 and the key is
  // 12 characters long; an empty value deletes the cell (and never stores
  // one), other values are cut to 250 characters.
  void SaveDocCellValue(double aDocID, const std::string& aCellKey, const std::string& aValue,
                        int32_t aType);
  // cell_key, first_value, first_type of the document's cells.
  ado::RecordsetPtr LoadDocCellValues(double aDocumentID);
  // An empty client-side recordset with cell_key (text 12), first_type
  // (Long), first_value (text 250), for SaveCells and UpdateDocCellValues.
  ado::RecordsetPtr CreateRecordsetForCellValues();
  // Hands the cells to the package service "Qv_KPRSrv.KPRDocsPackageSrv"
  // (UpdateDocumentCellValues), which writes them.
  void UpdateDocCellValues(double aDocumentID, Variant& aCells);

  // ---- neighbouring periods
  // The same form of the same stream and instance in the period before
  // (after) the document's; 0 when there is none. Forwards finds a document
  // whenever backwards from one of the next period's finds this one.
  // Always true.
  bool GetPrevPeriodDocID(double aDocID, double& resDocID);
  bool GetNextPeriodDocID(double aDocID, double& resDocID);
  // For a month: whether the stream has a document of the template in the
  // month's quarter (resResult 2, resBadPeriodsNames the quarter's name);
  // for a quarter: in one of its months (1, the months' names joined by
  // ", "). The results stay as passed when there is none. False only for a
  // period that does not exist.
  bool CheckForMonthOrQuartAnalogs(double aAccStreamID, double aTimeID, double aTemplateID,
                                   int32_t& resResult, std::string& resBadPeriodsNames);
  // The name of a report code ("I квартал" ...); "" for codes without one.
  static std::string GetReportName(int32_t aReportID);

  // ---- deleting and moving
  // Deletes the stream's documents of exactly this template and period,
  // each through DBDocument's delete (its chain joined again, its cells and
  // what else it owns with it), in one transaction.
  void DeleteDocumentsWithTemplateAndTimeInAccStream(double aAccStreamID, double aTemplateID,
                                                     double aTimeID);
  // 8 (kMoveNoDocument) for a document that does not exist, 7 when the
  // destination stream has a document of the same template and period,
  // else 0.
  int32_t CanMoveDocumentToAnotherAccStream(double aDocumentID, double aDestAccStreamID);
  // Clears the way: deletes the destination's documents of the document's
  // template and period.
  void PrepareMovingDociumentToAnotherAccStream(double aDocumentID, double aDestAccStreamID);
  // The document and every version of its instance now belong to the
  // destination stream; when the destination has that instance number of
  // the doc type in the period, they take its next free one. Errors: 5 for
  // a document or destination stream that does not exist.
  void MoveDocumentToAnotherAccStream(double aDocumentID, double aDestAccStreamID);
  // The source stream's documents as records, by period, doc type,
  // instance, adjustment.
  CollectionPtr GetMovingDocsInSrcAccStream(double aSrcAccStreamID);
  // The destination's documents of the source's period and doc type, as
  // records; empty when the source does not exist.
  CollectionPtr GetAppropriateDocsInDestAccStream(double aSrcDocumentID, double aDestAccStreamID);
  // Moves by movetype, in one transaction; rResDocumentID is the moved or
  // new document (types 1, 4, 5). Type 1: the document leaves its chain
  // (its neighbours name each other) and becomes the first version of a new
  // instance in the destination. 2: its doc type's documents of its stream
  // and period go to the destination stream and period, chains intact. 3:
  // the same, instance numbers (Null as 0) raised past the destination's.
  // 4: its cells (a key both have: the source's value) and document
  // fields go to aDestDocumentID, which keeps its stream,
  // period, instance, adjustment number, chain and registration number; the
  // source row leaves its chain and is deleted. 5: a new adjustment of the
  // destination's newest version of the doc type (CreateNewAdjustment2)
  // takes the source's cells; the source row leaves its chain and is
  // deleted; nothing when the destination has no document of the doc type.
  // 6: as 2, the destination's documents of the doc type and period deleted
  // first (through DBDocument's delete). Other types: nothing. Errors:
  // 40090 for a source that does not exist; 5 for a destination stream,
  // period or document that does not exist, a group moved onto its own
  // stream and period, a group moved as it is (2) onto an instance number
  // the destination has, or a document merged into itself or into one of
  // another doc type; nothing is moved then.
  void MoveDocument(double aSrcDocumentID, int32_t aMoveType, double aDestAccStreamID,
                    double aDestTimePeriodID, double aDestDocumentID, double& rResDocumentID);

  // ---- creation (miDocument::CreateDocument); each returns the new
  // document's record.
  records::QvRecordPtr CreateDocument2(double aAccStreamID, double aTimePeriodID,
                                       double aTemplateID, int32_t aFlags,
                                       double aArchivedDocumentID, int32_t aInstanceNumber,
                                       int32_t aScaleIndex, int32_t aStatusQv,
                                       double aCopyCellsFromDocID);
  // A first version (instance 0), with the cells of aCopyCellsFromDocID
  // when not 0.
  records::QvRecordPtr CreateNewDocument2(double aAccStreamID, double aTimePeriodID,
                                          double aTemplateID, int32_t aScaleIndex,
                                          int32_t aStatusQv, double aCopyCellsFromDocID);
  // A new instance: aInstanceNumber, or the next free one for -1.
  records::QvRecordPtr CreateNewInstance2(double aAccStreamID, double aTimePeriodID,
                                          double aTemplateID, int32_t aScaleIndex,
                                          int32_t aStatusQv, int32_t aInstanceNumber,
                                          double aCopyCellsFromDocID);
  // The next adjustment of aArchivedDocumentID, or of the latest version of
  // instance aInstanceNumber; with aCopyCellsFromArchive its cells come
  // along (the cells of aCopyCellsFromDocID instead when not 0).
  records::QvRecordPtr CreateNewAdjustment2(double aAccStreamID, double aTimePeriodID,
                                            double aTemplateID, bool aCopyCellsFromArchive,
                                            double aArchivedDocumentID, int32_t aInstanceNumber,
                                            int32_t aScaleIndex, int32_t aStatusQv,
                                            double aCopyCellsFromDocID);
  // An end document of a pension-fund master, in the master's stream and
  // period 246, as the next instance of its form there. Errors: 5 for a
  // master that does not exist.
  records::QvRecordPtr CreatePfrEndDocument(double aMasterDocID, double aTemplateID,
                                            int32_t aStatusQv);
  // A document with the caller's instance and adjustment number, put in
  // its place in the instance's chain.
  records::QvRecordPtr CreateImportingDocument(double aAccStreamID, double aTimePeriodID,
                                               double aTemplateID, int32_t aInstanceNumber,
                                               int32_t aUtochNumber, int32_t aScaleIndex,
                                               int32_t aStatusQv);

  // ---- pension-fund manual packs
  bool IsPfrManualSheafReferencesExists(double aManualSheafID, double aDocumentID);
  // The document's sub-documents in the pack leave it (ManualSheafID 0) and
  // are read again, in one transaction.
  void ClearReferencesToPfrManualSheaf(double aManualSheafID, double aDocumentID);

  // ---- the structured search (IntDocQuerySession.h)
  CollectionPtr PerformDocQuery(const ObjectPtr& aQuery, Variant& aAdditionalInfo);
};

}  // namespace qv::queries
