#pragma once
// The run-time side of a record type: its class information for late binding
// and creation by ProgID, and its property index by name, built once when the
// type is registered. Every type of the built-in tables is registered when
// the library loads, by one loop.

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/automation/Object.h"
#include "siblings/records/RecordType.h"

namespace qv::records {

// The value a property of this definition holds in a new record.
Variant DefaultValueOf(const PropertyDef& p);

class RecordClass {
 public:
  explicit RecordClass(const RecordType& type);
  RecordClass(const RecordClass&) = delete;
  RecordClass& operator=(const RecordClass&) = delete;

  const RecordType& Type() const { return type_; }
  const ClassInfo& Info() const { return info_; }
  std::string_view Name() const { return info_.Name(); }  // "QvPerson"
  bool HasMapper() const { return !type_.mapperProgId.empty(); }

  // The index of the property `name` (case-insensitive) in Type().properties,
  // -1 when the type has none of that name.
  int PropertyIndex(std::string_view name) const;
  const PropertyDef& Property(int index) const { return type_.properties[index]; }
  int PropertyCount() const { return static_cast<int>(type_.properties.size()); }
  // The index of the group whose loaded flag is `name`, -1 when none.
  int GroupIndexByFlag(std::string_view name) const;
  // For each property, the index of the property its assignment marks, or -1.
  int MarkedBy(int index) const { return marks_[index]; }
  // Each property's value in a new record ("", 0, the zero date, False;
  // Empty for variants and for objects, which are made on first read).
  const std::vector<Variant>& Defaults() const { return defaults_; }

 private:
  std::vector<Member> BuildMembers() const;

  const RecordType& type_;
  std::unordered_map<std::string, int> byLowerName_;
  std::vector<int> marks_;
  std::vector<Variant> defaults_;
  ClassInfo info_;
};

// Registers `type` under its ProgID (creatable by CreateObject) and returns
// its class. REQUIRES: `type` and all it refers to have static storage; call
// at load time (static initialisation), before records are used.
const RecordClass& RegisterRecordType(const RecordType& type);

// The class registered for `progId` (case-insensitive); null when none.
const RecordClass* FindRecordClass(std::string_view progId);

}  // namespace qv::records
