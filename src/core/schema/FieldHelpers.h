#pragma once
// Short constexpr constructors for the column and index definitions, so that a
// table reads as one line per column. Only the schema tables include this.

#include <string_view>

#include "core/schema/SchemaDef.h"

namespace qv::schema::fields {

// Every member spelled out: the defaults of FieldDef, for an optional column.
constexpr FieldDef Column(std::string_view name, JetType type, int32_t size = 0) {
  return {name, type, size, false, true, {}};
}

constexpr FieldDef Long(std::string_view name) {
  return Column(name, JetType::kLong);
}
constexpr FieldDef Int(std::string_view name) {
  return Column(name, JetType::kInteger);
}
constexpr FieldDef Byte(std::string_view name) {
  return Column(name, JetType::kByte);
}
constexpr FieldDef Dbl(std::string_view name) {
  return Column(name, JetType::kDouble);
}
constexpr FieldDef Money(std::string_view name) {
  return Column(name, JetType::kCurrency);
}
constexpr FieldDef Date(std::string_view name) {
  return Column(name, JetType::kDate);
}
// A Yes/No column: never Null, False (0) unless written, as Jet keeps one.
constexpr FieldDef Bool(std::string_view name) {
  FieldDef f = Column(name, JetType::kBoolean);
  f.required = true;
  f.defaultValue = "0";
  return f;
}
// A flag stored as a Long 1 or 0 (statements compare it with 1, which a
// Yes/No column's True, -1, would never equal): never Null, 0 unless written.
constexpr FieldDef Flag(std::string_view name) {
  FieldDef f = Column(name, JetType::kLong);
  f.required = true;
  f.defaultValue = "0";
  return f;
}
constexpr FieldDef Guid(std::string_view name) {
  return Column(name, JetType::kGUID);
}
constexpr FieldDef Blob(std::string_view name) {
  return Column(name, JetType::kLongBinary);
}
constexpr FieldDef Memo(std::string_view name) {
  return Column(name, JetType::kMemo);
}
// Text(n); most texts of the application are cut to 255 characters on writing.
constexpr FieldDef Text(std::string_view name, int32_t size = 255) {
  return Column(name, JetType::kText, size);
}

// A key column: required, whatever its type.
constexpr FieldDef Key(FieldDef f) {
  f.required = true;
  return f;
}
// A column that must hold a value, with a Jet default expression ("0", "\"\"").
constexpr FieldDef RequiredWithDefault(FieldDef f, std::string_view defaultValue) {
  f.required = true;
  f.defaultValue = defaultValue;
  return f;
}

// The primary key index of a table (unique), e.g. PrimaryKey("Id", "ID").
constexpr IndexDef PrimaryKey(std::string_view name, std::string_view fields) {
  return {name, fields, true, true};
}
constexpr IndexDef UniqueIndex(std::string_view name, std::string_view fields) {
  return {name, fields, false, true};
}
constexpr IndexDef Index(std::string_view name, std::string_view fields) {
  return {name, fields, false, false};
}

// The index of a table whose key is its ID column, as most tables have.
inline constexpr IndexDef kIdIdx[] = {PrimaryKey("Id", "ID")};

}  // namespace qv::schema::fields
