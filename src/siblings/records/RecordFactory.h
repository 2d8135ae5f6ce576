#pragma once
// RecordFactory: hands out record objects by record type and identifier.
// Registered as "Qv_Records.RecordFactory" and "Qv_PfrRecords.RecordFactory"
// (the same operations for every record type); ForThisThread is the one
// instance a thread keeps.
//
// Each call returns a new object: there is no cache, so two lists never share
// a record a caller is editing, and a record never outlives a change of its
// row made by another process. A record for an identifier starts as a
// reference (state 1) and reads itself through its mapper on first use.
//
// Late-bound: GetRecord(aProgID, aID), GetLoadedRecord(aProgID, aID),
// NewRecord(aProgID). An unknown record type is error 429.

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/automation/Object.h"
#include "siblings/records/QvRecord.h"

namespace qv::records {

class RecordFactory : public Object {
  QV_DECLARE_CLASS(RecordFactory)

 public:
  // The calling thread's factory, made on first use and kept until the
  // thread ends.
  static std::shared_ptr<RecordFactory> ForThisThread();

  // The record of the stored row `id`, not read yet; for identifier 0 (or
  // "" for a type with text identifiers) a new empty record.
  QvRecordPtr GetRecord(const std::string& progId, const Variant& id) const;
  // The same, read at once through the mapper (its base properties; lazy
  // parts still on first use).
  QvRecordPtr GetLoadedRecord(const std::string& progId, const Variant& id) const;
  // A new empty record (state 0, identifier 0).
  QvRecordPtr NewRecord(const std::string& progId) const;

  // GetRecord and GetLoadedRecord for a class looked up once
  // (QvRecord::ClassOf), for callers making a record per row.
  QvRecordPtr GetRecordOf(const RecordClass& cls, const Variant& id) const;
  QvRecordPtr GetLoadedRecordOf(const RecordClass& cls, const Variant& id) const;
};

class PfrRecordFactory : public RecordFactory {
  QV_DECLARE_CLASS(PfrRecordFactory)
};

// An object created by ProgID with the given properties set in order, as a
// caller outside the library describes a record: "ID" goes through SetID
// where the class has it (a record's identifier is read-only and SetID makes
// it a reference to the stored row), every other name through its property
// let. Errors 429 for the ProgID, 438 for a property the class lacks.
ObjectPtr CreateWithProperties(std::string_view progId,
                               const std::vector<std::pair<std::string, Variant>>& props);

}  // namespace qv::records
