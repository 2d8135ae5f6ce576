#pragma once
// The documents: one row of Doc_Registry per document (a filled-in report
// form) and its cells, one row of Doc_Cell_Values per non-empty cell.
//
// Versions of one form of one stream and period make an adjustment chain:
// for an older version A and the next newer B, A.Top_Doc_ID = B and
// B.Bottom_Next_ID = A; the current version has Top_Doc_ID 0, the first one
// Bottom_Next_ID 0. Doc_Type is the adjustment number (0 for the first).
//
// DBDocument ("Qv_DBProvider.DBDocument") is the plain mapper pattern on
// Doc_Registry (records "Qv_Records.QvDocument") with operations of its own.
// Every write runs in the thread's mapper transaction: a failure leaves
// nothing of it written.

#include <cstdint>

#include "platform/ado/Recordset.h"
#include "records/PlainMapper.h"

namespace qv::records {

// The document fields SaveDocumentFields writes, by bit. 1 alone is a group
// of its own (statuses, acceptance date, signatures).
namespace docfields {
inline constexpr int32_t kStatusesAndSignatures = 1;
inline constexpr int32_t kStatus = 0x2;
inline constexpr int32_t kStatusQv = 0x4;
inline constexpr int32_t kTemplate = 0x8;
inline constexpr int32_t kSignatures = 0x10;
inline constexpr int32_t kKonStatus = 0x20;
inline constexpr int32_t kIsChecked = 0x40;
inline constexpr int32_t kExportCounters = 0x80;
inline constexpr int32_t kCourDocCircle = 0x100;
inline constexpr int32_t kChainLinks = 0x200;
inline constexpr int32_t kFile = 0x400;
inline constexpr int32_t kPfrNumbering = 0x800;
inline constexpr int32_t kFssDocCircle = 0x1000;
inline constexpr int32_t kAcceptance = 0x2000;
inline constexpr int32_t kIsXsdChecked = 0x4000;
inline constexpr int32_t kIsCalculated = 0x8000;
inline constexpr int32_t kSending = 0x10000;
inline constexpr int32_t kScale = 0x20000;
inline constexpr int32_t kNotes = 0x40000;
inline constexpr int32_t kMtks = 0x80000;
}  // namespace docfields

// A check state argument that leaves its column as it is.
inline constexpr int32_t kCheckStateUnchanged = -1;

class DBDocument : public PlainMapper<DBDocument> {
  QV_DECLARE_CLASS(DBDocument)

 public:
  static const MapperDef& Def();

  // ReadRecord, SaveRecord, DeleteRecord, IsRecordExists: the pattern. A
  // recursive save saves the stream, the signers and the courier objects
  // first (never the master document). DeleteRecord removes, in one
  // transaction, the cells, the document's place in its chain (the next
  // older version takes over its Top_Doc_ID, the next newer one its
  // Bottom_Next_ID), its file blob, pension-fund sub-documents and end
  // documents, manual sheafs, its mark on a social-insurance exchange, its
  // big-document files and attachments, then the row.

  // Writes the field groups `aFields` (docfields) of a stored record (state
  // 3, ID not 0) into its row; nothing when the row is gone. Group 0x400
  // saves the file blob first. `aPerformNotify`: AfterUpdate afterwards.
  void SaveDocumentFields(int32_t aFields, const Variant& aRecord, bool aPerformNotify);
  // The record's DeliveryNumber becomes 0 and its Reg_Number the largest
  // registration number + 1; both are written (group 0x80), with notice.
  void IncreaseExportCounters(const Variant& aRecord);
  // The cells of a document ("Qv_Records.QvDocCell", keyed by their cell
  // key; a repeated key is kept once); empty for identifier 0.
  CollectionPtr ReadCells(double aDocumentID);
  // The document's manual sheafs ("Qv_PfrRecords.QvPfrManualSheaf"
  // references); empty for identifier 0.
  CollectionPtr ReadManualSheafs(double aDocumentID);
  // Makes the document's rows of PfrManualSheafs equal to `aSheafs`: new
  // sheafs (ID 0 or no row) are inserted and get their identifier, the
  // others get their Caption, rows of the document absent from the
  // collection are deleted. Error 5 for a sheaf of another document, 13 for
  // an item that is not a sheaf record.
  void SaveManualSheafs(double aDocumentID, const Variant& aSheafs);
  // Writes the check states that are not kCheckStateUnchanged. Nothing for
  // document 0 or when all three are unchanged; otherwise, with `aNotify`,
  // a document record for aDocID is told AfterUpdate.
  void SetIsCheckedFlags(double aDocID, int32_t aIsCalculated, int32_t aIsChecked,
                         int32_t aIsXsdChecked, bool aNotify);
  // Replaces cells of a stored document from a recordset with the fields
  // cell_key, first_value, first_type: a row with an empty value deletes
  // its cell when it was stored before the call (a key the call gives with
  // a value too is then kept when new), the others are written (values cut
  // to 250 characters). One unit under the database lock: a failure leaves
  // the previous cells.
  // Errors: 5 for a document that does not exist or a recordset without one
  // of the fields, 94 for a Null key, 13 for an object that is no recordset.
  void SaveCells(double aDocID, const Variant& aCellsRs);
};

// The cells of consolidated documents (ConsCellValues of ConsDocs rows):
// "Qv_DBProvider.DBConsDocCells".
class DBConsDocCells : public Object {
  QV_DECLARE_CLASS(DBConsDocCells)

 public:
  void RemoveDocCells(double aConsDocID);
  // Adds the sums of the current versions of the member streams' documents
  // of the consolidated document's template and period, per cell with the
  // repetition counters of the keys zeroed. Callers remove the old cells
  // first. Error 40090 when the consolidated document does not exist.
  void RecalculateDocument(double aConsDocID);
  // cell_key, first_value, second_value (""), first_type, second_type (0).
  ado::RecordsetPtr ReadCellValues(double aConsDocID);
};

}  // namespace qv::records
