#pragma once
// Descriptors of the record types: constant data, one entry per type, from
// which the generic record QvRecord takes its properties and its behaviour.
// A new record type is one RecordType entry in a table (QvRecordsTypes.cpp,
// QvPfrRecordsTypes.cpp) or, outside those, one RegisterRecordType call.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "platform/automation/Object.h"

namespace qv::records {

class QvRecord;

// How a property holds its value. Values are converted on assignment with the
// VBA conversion of the kind (CStr, CLng, CDbl, CDate, CBool).
enum class Kind : uint8_t {
  kText,        // String, "" when new
  kLong,        // Long (int32), 0
  kDouble,      // Double, 0 (identifiers kept as plain numbers)
  kDate,        // Date, the zero date
  kBoolean,     // Boolean, False
  kVariant,     // any value, Empty
  kRecord,      // a sub-record of the record type `progId`, made on first read
  kObject,      // an object of the class `progId` (not a record), made on first read
  kCollection,  // a Collection of `progId` records, or of plain values when `progId` is empty
};

// The properties read before any lazy group: the ones ReadRecord assigns.
inline constexpr int8_t kBase = -1;

struct PropertyDef {
  std::string_view name;
  Kind kind;
  std::string_view progId = {};  // see Kind
  int8_t group = kBase;          // index into RecordType::groups
  // A Boolean property of the same type set True when a caller assigns this
  // one (not when a mapper fills it): "the cells were changed".
  std::string_view marks = {};
  // A change flag: False again after EndLoad, AfterInsert, AfterUpdate, Clear.
  bool resetOnSave = false;
};

// The most lazy groups a type may have (a record keeps a bit per group).
inline constexpr size_t kMaxGroups = 64;

// A part of a record read separately from the base properties, on first use.
struct LazyGroupDef {
  std::string_view name;
  std::string_view loader;      // the mapper operation that fills it: loader(aRecord)
  std::string_view loadedFlag;  // the record's Boolean member telling it is present
  // Operations bracketing the mapper's assignments ("BeginLazyLoad"); empty
  // when the mapper hands the group over in one assignment (a collection).
  std::string_view beginOp = {};
  std::string_view endOp = {};
};

// An operation or computed property particular to one record type.
struct ExtraDef {
  std::string_view name;
  Variant (*call)(QvRecord& record, Args args);
  // What help and error 449 name: its parameters and result.
  std::shared_ptr<const Signature> (*signature)() = nullptr;
};

struct RecordType {
  std::string_view progId = {};        // "Qv_Records.QvPerson"
  std::string_view mapperProgId = {};  // the class whose ReadRecord fills it; empty: none
  // The mapper saves and deletes nothing; the record lacks AfterInsert,
  // AfterUpdate, AfterDelete.
  bool readOnly = false;
  std::span<const PropertyDef> properties = {};
  std::span<const LazyGroupDef> groups = {};
  std::span<const ExtraDef> extras = {};
  bool textId = false;  // ID is a text ("" when new), not a number (0 when new)
};

// Constructors that keep the tables one line per property.
namespace decl {
constexpr PropertyDef Text(std::string_view n, int8_t g = kBase) {
  return {n, Kind::kText, {}, g};
}
constexpr PropertyDef Long(std::string_view n, int8_t g = kBase) {
  return {n, Kind::kLong, {}, g};
}
constexpr PropertyDef Num(std::string_view n, int8_t g = kBase) {
  return {n, Kind::kDouble, {}, g};
}
constexpr PropertyDef Date(std::string_view n, int8_t g = kBase) {
  return {n, Kind::kDate, {}, g};
}
constexpr PropertyDef Bool(std::string_view n, int8_t g = kBase) {
  return {n, Kind::kBoolean, {}, g};
}
constexpr PropertyDef Var(std::string_view n, int8_t g = kBase) {
  return {n, Kind::kVariant, {}, g};
}
constexpr PropertyDef Sub(std::string_view n, std::string_view progId, int8_t g = kBase) {
  return {n, Kind::kRecord, progId, g};
}
constexpr PropertyDef Obj(std::string_view n, std::string_view progId, int8_t g = kBase) {
  return {n, Kind::kObject, progId, g};
}
constexpr PropertyDef List(std::string_view n, std::string_view itemProgId, int8_t g = kBase) {
  return {n, Kind::kCollection, itemProgId, g};
}
// A change flag (see PropertyDef::resetOnSave).
constexpr PropertyDef Flag(std::string_view n) {
  return {n, Kind::kBoolean, {}, kBase, {}, true};
}
// A property whose assignment by a caller sets the change flag `flag`.
constexpr PropertyDef Marking(PropertyDef p, std::string_view flag) {
  p.marks = flag;
  return p;
}
}  // namespace decl

// The lazy group of persons, streams and the like: filled by the mapper's
// ReadLazyFields between BeginLazyLoad and EndLazyLoad, told by LazyLoaded.
inline constexpr LazyGroupDef kLazyFields{"Lazy", "ReadLazyFields", "LazyLoaded", "BeginLazyLoad",
                                          "EndLazyLoad"};
// The first lazy group of a type, and the groups of a type whose lazy
// fields are one group.
inline constexpr int8_t kL = 0;
inline constexpr LazyGroupDef kLazyOnly[] = {kLazyFields};

// The two built-in tables.
std::span<const RecordType> QvRecordsTypes();
std::span<const RecordType> QvPfrRecordsTypes();

}  // namespace qv::records
