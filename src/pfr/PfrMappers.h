#pragma once
// The record mappers of the pension-fund data, each a MapperDef over the
// shared engine (records/MapperEngine.h) in its own .cpp file:
//
//   DBPfrPerson       PfrPersons: an insured person of a taxpayer; owns its
//                     passport and its two addresses
//   DBPfrSubDoc       PfrSubDocs: a per-person part of a report document,
//                     with its cells (PfrCellValues) and check errors
//                     (PfrErrors) saved as a difference against the stored rows
//   DBPfrAddress      PfrAddress
//   DBPfrManualSheaf  PfrManualSheafs: a pack of sub-documents made by hand
//   DBFssDocCircle    FssDocCircles: one exchange of a social-insurance
//                     document with the insurer's server; owns its three blobs

#include <string>
#include <string_view>

#include "platform/automation/Collection.h"
#include "records/PlainMapper.h"

namespace qv::dao {
class Recordset;
}

namespace qv::pfr {

using records::ColumnDef;
using records::ColumnMap;
using records::MapperDef;
using records::QvRecord;

class DBPfrPerson : public records::PlainMapper<DBPfrPerson> {
  QV_DECLARE_CLASS(DBPfrPerson)

 public:
  static const MapperDef& Def();
  // True when a sub-document is about the person (false for 0).
  bool HasReferences(double aID);
};

class DBPfrAddress : public records::PlainMapper<DBPfrAddress> {
  QV_DECLARE_CLASS(DBPfrAddress)

 public:
  static const MapperDef& Def();
};

class DBPfrManualSheaf : public records::PlainMapper<DBPfrManualSheaf> {
  QV_DECLARE_CLASS(DBPfrManualSheaf)

 public:
  static const MapperDef& Def();
};

class DBFssDocCircle : public records::PlainMapper<DBFssDocCircle> {
  QV_DECLARE_CLASS(DBFssDocCircle)

 public:
  static const MapperDef& Def();
};

// What a sub-document save writes besides its row (a bit set).
enum PfrSaveOptions : int32_t {
  kPfrSavePerson = 1,     // save the person record first
  kPfrSaveCells = 2,      // write the cells, when the record marks them changed
  kPfrSaveErrors = 4,     // write the errors and MaxErrorLevel, likewise
  kPfrSaveKeepFlags = 8,  // no AfterInsert/AfterUpdate: state and change flags stay
};

// A sub-document is saved, with its person, cells and errors, in one
// transaction: a failure anywhere leaves the rows as they were. Its
// document (a Doc_Registry row) must exist, and its person, when it has
// one, must be a person of the document's taxpayer (error 5 otherwise).
class DBPfrSubDoc : public records::PlainMapper<DBPfrSubDoc> {
  QV_DECLARE_CLASS(DBPfrSubDoc)

 public:
  static const MapperDef& Def();

  // Option 1 when aRecursive, 2 when aSaveCells.
  void SaveRecord(const Variant& aRecord, bool aRecursive, bool aSaveCells);
  // And 4 when aSaveErrors.
  void SaveRecordEx(const Variant& aRecord, bool aRecursive, bool aSaveCells, bool aSaveErrors);
  // aOptions: PfrSaveOptions; aParams is not used.
  void SaveRecord3(const Variant& aRecord, int32_t aOptions, const Variant& aParams);

  // The cells (errors) of the sub-document into a new collection of the
  // record, in the order of index "SubDoc"; Nothing for identifier 0. The
  // record is read first when it is not.
  void ReadCells(const Variant& aRecord);
  void ReadErrors(const Variant& aRecord);
  // A new cell record for one stored cell, or Nothing (also for 0, without
  // touching the database).
  Variant ReadOneCell(double aSubDocID, int32_t aKey, int32_t aLineNum, int32_t aTableNum);

  // The sub-documents with their cells and errors, in batches of 100
  // identifiers, in one transaction; 0 is passed over. Items that are not
  // numbers: error 13.
  void DeleteRecordsByIDs(const CollectionPtr& aPfrSubDocsIDs);
  // The sub-documents of a document: of the types in aSubDocTypes ("*" or
  // empty: every type) or, when aExcludeSubDocTypes is given, of every type
  // but those. Type lists are numbers separated by "," (error 5 otherwise).
  // Document 0 deletes nothing.
  void DeleteRecordsInDocument(double aDocumentID, const std::string& aSubDocTypes,
                               const std::string& aExcludeSubDocTypes);
};

// Fill a record as ReadRecord does from the current row of a recordset that
// carries the mapper's base columns (a joined statement of the queries).
// The person's identifier is aID, or the row's ID column when aID is -1.
void FillPfrPersonFromRow(dao::Recordset& rs, double aID, QvRecord& rec);
// The sub-document's identifier is the row's ID column; with aFillPerson
// and a PfrPersonID other than 0, its person record is filled from the
// same row, or marked not found when the row's kJoinedPersonId is Null (no
// person has that identifier); else only the person's identifier is set.
// Null columns read as ReadRecord reads them.
void FillPfrSubDocFromRow(dao::Recordset& rs, QvRecord& rec, bool aFillPerson);
// The column a statement joining PfrSubDocs to PfrPersons names p.ID by.
inline constexpr std::string_view kJoinedPersonId = "JoinedPersonID";

}  // namespace qv::pfr
