#pragma once
// The column map of one entity: which table, key and index a mapper works
// on, and which record property each column fills and is written from.
// Constant data; the engine (MapperEngine.h) drives every mapper from it.

#include <span>
#include <string_view>

namespace qv::dao {
class Recordset;
}

namespace qv::records {

class QvRecord;

// How a column is read into its property and written back.
enum class ColKind : unsigned char {
  kText,    // CStr; Null gives ""
  kLong,    // CLng; Null or unconvertible gives 0
  kDouble,  // CDbl; the same
  kDate,    // CDate; the zero date
  kBool,    // CBool; False
  kFlag,    // read as kBool, written as 1 or 0 (a Long column compared with 1)
  kRef,     // a sub-record's identifier: read with SetID, written as its ID
            // (0 when the sub-record is deleted, state 4)
};

// Which read fills a column: the base read (ReadRecord) or the lazy one
// (ReadLazyFields).
enum class ColGroup : unsigned char { kBase, kLazy };

struct ColumnDef {
  std::string_view column;
  ColKind kind;
  // The record property; empty: the column's name, or for a reference the
  // column without its "_ID"/"ID"/"Id" suffix (Template_ID -> Template).
  std::string_view property = {};
  ColGroup group = ColGroup::kBase;
  bool write = true;  // false: read only (a second property filled from one column)
  // Applied to a text column's value before it reaches the record.
  std::string (*readText)(std::string_view) = nullptr;
  // Applied to a text before it is written (then cut to the column's size).
  std::string (*writeText)(std::string_view) = nullptr;
  // A base column written only while the record holds its lazy group (a
  // record read without it cannot tell whether the column was changed).
  bool writeWithLazy = false;
  // A reference whose sub-record belongs to the row: deleting the row
  // deletes it first, through its own mapper.
  bool owned = false;
  // False: a recursive save leaves the reference's sub-record alone (its
  // identifier is written all the same).
  bool saveFirst = true;
};

struct ColumnMap {
  std::string_view table;
  std::span<const ColumnDef> columns;
  std::string_view key = "ID";    // the numeric key column
  std::string_view index = "Id";  // the unique index on it
};

// Column constructors for the tables of maps.
namespace col {
constexpr ColumnDef Text(std::string_view c, std::string_view p = {}) {
  return {c, ColKind::kText, p};
}
constexpr ColumnDef Long(std::string_view c, std::string_view p = {}) {
  return {c, ColKind::kLong, p};
}
constexpr ColumnDef Num(std::string_view c, std::string_view p = {}) {
  return {c, ColKind::kDouble, p};
}
constexpr ColumnDef Date(std::string_view c, std::string_view p = {}) {
  return {c, ColKind::kDate, p};
}
constexpr ColumnDef Bool(std::string_view c, std::string_view p = {}) {
  return {c, ColKind::kBool, p};
}
constexpr ColumnDef Flag(std::string_view c, std::string_view p = {}) {
  return {c, ColKind::kFlag, p};
}
constexpr ColumnDef Ref(std::string_view c, std::string_view p = {}) {
  return {c, ColKind::kRef, p};
}
// Marks a column as lazy, read-only, converted on reading (and writing),
// written only with the lazy group, or owning its sub-record.
constexpr ColumnDef Lazy(ColumnDef d) {
  d.group = ColGroup::kLazy;
  return d;
}
constexpr ColumnDef ReadOnly(ColumnDef d) {
  d.write = false;
  return d;
}
constexpr ColumnDef Converted(ColumnDef d, std::string (*f)(std::string_view),
                              std::string (*onWrite)(std::string_view) = nullptr) {
  d.readText = f;
  d.writeText = onWrite;
  return d;
}
constexpr ColumnDef WrittenAs(ColumnDef d, std::string (*onWrite)(std::string_view)) {
  d.writeText = onWrite;
  return d;
}
constexpr ColumnDef WrittenWithLazy(ColumnDef d) {
  d.writeWithLazy = true;
  return d;
}
constexpr ColumnDef Owned(ColumnDef d) {
  d.owned = true;
  return d;
}
constexpr ColumnDef NotSavedFirst(ColumnDef d) {
  d.saveFirst = false;
  return d;
}
}  // namespace col

}  // namespace qv::records
