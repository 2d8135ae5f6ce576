// The tables the platform/jet tests define, shared by the file's and the
// engine seam's tests: the catalogue tests' two (a person with a field of
// every property the catalogue keeps, and a plain document table) with their
// definitions rendered as one line each, and the statement tests' table of
// every type.

#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/jet/JetCatalog.h"

namespace qv::jet::testing {

inline IndexSpec Index(std::string name, std::string_view fields, bool primary = false,
                       bool unique = false) {
  return {std::move(name), IndexSpec::ParseFields(fields), primary, unique};
}

// Persons and Docs, in that order.
inline std::vector<TableSpec> CatalogTestTables() {
  TableSpec persons{"Persons", {}, {}};
  persons.fields = {{"Id", JetType::kLong},
                    {.name = "Name", .type = JetType::kText, .size = 10, .required = true},
                    {.name = "Code", .type = JetType::kText, .size = 5, .allowZeroLength = false},
                    {"Born", JetType::kDate},
                    {.name = "Active", .type = JetType::kBoolean, .defaultValue = "No"},
                    {.name = "Amount", .type = JetType::kCurrency, .defaultValue = "0"},
                    {"Small", JetType::kByte},
                    {"Uid", JetType::kGUID},
                    {.name = "Notes", .type = JetType::kMemo, .unicodeCompression = true}};
  persons.indexes = {Index("PrimaryKey", "Id", true), Index("Id", "Id", false, true),
                     Index("ByName", "Name;-Born")};
  TableSpec docs{"Docs",
                 {FieldSpec{"Id", JetType::kLong}, FieldSpec{"Title", JetType::kText, 50}},
                 {Index("Id", "Id", true)}};
  return {persons, docs};
}

// T: Id and a field of each other type values round-trip through.
inline TableSpec EveryTypeTable() {
  return {"T",
          {{"Id", JetType::kLong},
           {"Flag", JetType::kBoolean},
           {"B", JetType::kByte},
           {"I", JetType::kInteger},
           {"Cur", JetType::kCurrency},
           {"Sng", JetType::kSingle},
           {"Dbl", JetType::kDouble},
           {"D", JetType::kDate},
           {"Txt", JetType::kText, 20},
           {"Bin", JetType::kLongBinary},
           {"G", JetType::kGUID}},
          {}};
}

// A table's fields with their properties as one line.
inline std::string RenderFields(const TableSpec& t) {
  std::string out = t.name + ":";
  for (const FieldSpec& f : t.fields) {
    out += " " + f.name + " " + std::string(JetTypeName(f.type));
    if (f.size) out += "(" + std::to_string(f.size) + ")";
    if (f.required) out += " required";
    if (!f.allowZeroLength) out += " nozls";
    if (!f.defaultValue.empty()) out += " default=" + f.defaultValue;
    if (f.unicodeCompression) out += " compressed";
    out += ";";
  }
  return out;
}

// A table's indexes as one line.
inline std::string RenderIndexes(const TableSpec& t) {
  std::string out;
  for (const IndexSpec& x : t.indexes) {
    out += "[" + x.name + " ";
    for (const IndexField& f : x.fields) out += (f.descending ? "-" : "") + f.name + ",";
    out += x.primary ? " primary" : "";
    out += x.unique ? " unique" : "";
    out += "]";
  }
  return out;
}

}  // namespace qv::jet::testing
