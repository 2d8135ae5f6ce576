#pragma once
// The columns and rows of a disconnected recordset: column descriptions with
// a case-insensitive name index built as columns are appended, and the values
// of every row in one flat vector (row r, column c at r * columns + c).
// Rows are identified by their physical number; a deleted row keeps its
// number and its place until the table is cleared.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/ado/AdoTypes.h"
#include "platform/automation/Variant.h"

namespace qv::ado {

// Column descriptions and their name index (folded name -> column). Tables
// may share one list: it is never changed while shared (RowTable copies it
// before a change), so a recordset's columns stay its own.
struct ColumnList {
  std::vector<FieldInfo> fields;
  std::unordered_map<std::string, size_t> byName;
};

class RowTable {
 public:
  // Error 3367 when a column of that name (ignoring case) exists.
  void AppendField(FieldInfo field);
  // REQUIRES: no rows.
  void RemoveField(size_t col);
  size_t FieldCount() const { return width_; }
  const FieldInfo& Field(size_t col) const { return columns_->fields[col]; }
  FieldInfo& MutableField(size_t col) { return OwnColumns().fields[col]; }
  // The column named `name`, ignoring case (Russian letters included).
  std::optional<size_t> Find(std::string_view name) const;
  // The columns, to be shared by other tables of the same columns (null
  // when there are none).
  std::shared_ptr<const ColumnList> SharedColumns() const { return columns_; }
  // Takes `columns` (made by SharedColumns) in place of the table's own.
  // REQUIRES: no rows.
  void UseColumns(std::shared_ptr<const ColumnList> columns);

  // Physical rows, deleted ones included.
  size_t RowCount() const { return deleted_.size(); }
  const Variant& Cell(size_t row, size_t col) const { return cells_[row * width_ + col]; }
  Variant& MutableCell(size_t row, size_t col) { return cells_[row * width_ + col]; }
  std::span<Variant> Row(size_t row);

  // Room for `rows` more rows without reallocating.
  void Reserve(size_t rows);
  // A row of Nulls; returns its number.
  uint32_t AddBlankRow();
  // A row of the given values, already converted, moved out of `values`.
  // REQUIRES: one per column.
  uint32_t AddRow(std::span<Variant> values);
  // Drops the last physical row (an addition that was cancelled).
  void RemoveLastRow();
  void MarkDeleted(size_t row) { deleted_[row] = true; }
  bool IsDeleted(size_t row) const { return deleted_[row]; }
  // Drops every row; the columns stay.
  void ClearRows();

 private:
  // The columns to change: copied first when another table shares them.
  ColumnList& OwnColumns();

  // Always made non-const (OwnColumns may change a list it holds alone).
  std::shared_ptr<const ColumnList> columns_;
  size_t width_ = 0;  // columns_->fields.size()
  std::vector<Variant> cells_;
  std::vector<bool> deleted_;
};

}  // namespace qv::ado
