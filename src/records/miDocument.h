#pragma once
// The document services: creation of documents (a first version, a new
// instance, an adjustment, a pension-fund end document, an imported
// version placed in its chain), instance numbering, walks along adjustment
// chains, the combined status of a pension-fund master document, and the
// cell copies and deletes of whole documents.
//
// Creation runs in one mapper transaction: a failure leaves no document, no
// changed base and no copied cells behind. The dates of a new document come
// from the date service "KS_KPRApplied.Document" (CalcDates with the
// template, the period's year and report code and the stream; then
// AcceptDate, AcceptTerm, PaymentTerm); a pension-fund end document takes
// 1 March of its master's year instead.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/Collection.h"
#include "siblings/records/QvRecord.h"

namespace qv::dao {
class Database;
class Recordset;
}  // namespace qv::dao

namespace qv::miDocument {

inline constexpr std::string_view kModule = "miDocument";

// EditorType of big documents (cells in shard files of their own).
inline constexpr int32_t kBigDocumentEditor = 6;
// A cell value of Doc_Cell_Values is stored with at most this many
// characters.
inline constexpr int32_t kCellValueLength = 250;
// Currency_ID of every created document (roubles).
inline constexpr int32_t kCurrencyRouble = 157;
inline constexpr std::string_view kDateServiceProgId = "KS_KPRApplied.Document";

// Creation flags (bits).
namespace createflags {
inline constexpr int32_t kNewInstance = 1;
inline constexpr int32_t kAdjustment = 2;
inline constexpr int32_t kCopyFromArchive = 4;   // with kAdjustment: the base's cells
inline constexpr int32_t kCopyFromDocument = 8;  // the cells of aCopyCellsFromDocID
inline constexpr int32_t kPfrEndDocument = 16;
}  // namespace createflags

// A new saved document of stream, period and template.
//   base:      with kAdjustment, the current version of the chain of
//              aArchivedDocumentID when not 0, else the current version
//              GetBottomDocumentIDForNewDocument finds for aInstanceNumber
//              (0 or more); none with kPfrEndDocument. The new document is
//              the base's next adjustment in the base's instance, and the
//              base's Top_Doc_ID names it: a chain keeps one current version.
//   instance:  the base's; without one aInstanceNumber, and when that is
//              below 0 the next instance number with kNewInstance, else 0.
//   scale:     aScaleIndex; -1 takes the base's, or the template class's.
// Big documents get their shard storage; cells are copied from
// aCopyCellsFromDocID (kCopyFromDocument), else from the archived document
// (kAdjustment | kCopyFromArchive; an older version when the caller names
// one). `aMasterDoc` (kPfrEndDocument) becomes PfrMasterDoc. Error 5 for a
// stream, period, template or base that does not exist.
records::QvRecordPtr CreateDocument(double aAccStreamID, double aTimePeriodID, double aTemplateID,
                                    int32_t aFlags, double aArchivedDocumentID,
                                    int32_t aInstanceNumber, int32_t aScaleIndex, int32_t aStatusQv,
                                    double aCopyCellsFromDocID,
                                    const records::QvRecordPtr& aMasterDoc);

// A new saved document with the caller's instance and adjustment number,
// put between the versions of that instance whose adjustment numbers are
// the last not above and the first above it, under the database lock.
// Error 5 when the instance has a version of that number already.
records::QvRecordPtr CreateImportingDocument(double aAccStreamID, double aTimePeriodID,
                                             double aTemplateID, int32_t aInstanceNumber,
                                             int32_t aAdjustmentNumber, int32_t aScaleIndex,
                                             int32_t aStatusQv);

// The instance number of a new instance of the template's document class
// in the stream and period: the largest used + 1, or 0 when there is none
// (also for a template without a class).
int32_t GetNextInstanceNumber(double aAccStreamID, double aTimePeriodID, double aTemplateID);

// Chain walks. They follow Bottom_Next_ID (older versions) or Top_Doc_ID
// (newer ones) from document to document and stop at 0, at a document
// that does not exist, or after 100 steps (a damaged chain that loops).
// The identifiers, the start first when `aIncludeStart`, as numbers...
CollectionPtr GetOlderVersions(double aDocID, bool aIncludeStart);
// ... or as text joined by ", ".
std::string GetOlderVersionsList(double aDocID, bool aIncludeStart);
// The correction chain of a document: every version of its instance, newest
// first (the newer versions along Top_Doc_ID, the document, the older ones
// along Bottom_Next_ID). A link to a document that does not exist ends that
// side, a link back to a version already listed ends it too (a damaged
// chain that loops), and each side stops after 100 steps. Empty when the
// document does not exist.
std::vector<double> GetCorrectionChain(double aDocID);
// The chain of a document class in a stream and period: newest to oldest
// from the version whose Top_Doc_ID is 0, or oldest to newest from the one
// whose Bottom_Next_ID is 0; empty when there is none.
CollectionPtr GetDocClassChain(double aAccStreamID, double aTimePeriodID, double aDocClassID,
                               bool aNewestFirst);

// The combined status of the end documents of a pension-fund master: 0 for
// master 0; 3 (delivered) when it has end documents and all are delivered,
// else 2 (completed) when one is completed or delivered, else 1 (in work;
// also without end documents). Statuses other than 1, 2 and 3 count for
// nothing. `rRs`: a table-type recordset of DOC_REGISTRY on its index
// "PfrMaster" to reuse across calls; opened on the user database when null,
// closed and cleared afterwards when `aCloseRs`.
int32_t IntGetPfrMasterStatus_Dao(double aMasterDocID, std::shared_ptr<dao::Recordset>& rRs,
                                  bool aCloseRs);
int32_t IntGetPfrMasterStatus_Dao(double aMasterDocID);

// The documents "where" `aCondition` holds (a condition on Doc_Registry's
// columns), as document records (references), in the statement's order.
CollectionPtr DocumentsWhere(dao::Database& db, const std::string& aCondition);

// Deletes every cell of a document.
void DeleteDocumentCells(dao::Database& db, double aDocID);
// Copies (Copy...) or moves (Move...) every cell of aDocIDFrom to aDocIDTo,
// in one transaction scope. aDocIDTo keeps one row per key: its cells of a
// key aDocIDFrom has too are replaced by aDocIDFrom's, the others stay.
// Nothing when both are the same document.
void CopyDocumentCells(dao::Database& db, double aDocIDFrom, double aDocIDTo);
void MoveDocumentCells(dao::Database& db, double aDocIDFrom, double aDocIDTo);
// Deletes the documents "where" `aCondition` holds (as DocumentsWhere),
// each through DBDocument's delete (its chain joined again, its cells,
// sub-documents, attachments and files with it), in one transaction scope.
void DeleteDocumentsWhere(dao::Database& db, const std::string& aCondition);

}  // namespace qv::miDocument
