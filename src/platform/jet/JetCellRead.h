#pragma once
// Statement::CellAt's reading of a cell, inlined into the loops that read
// every cell of a row (the statement's own row readers, the mapper's record
// loads): no call and no Cell returned through memory per cell.

#include <sqlite3.h>

#include <climits>
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/jet/JetStatement.h"
#include "platform/jet/JetTypes.h"

namespace qv::jet {

// Cell i of the current row of `stmt` typed by `type`, as CellAt describes.
[[gnu::always_inline]] inline Statement::Cell ReadCell(sqlite3_stmt* stmt, int i, JetType type) {
  // One typed call per value (what sqlite3_column_* do after looking the
  // value up; the connection has no mutex to take).
  sqlite3_value* v = sqlite3_column_value(stmt, i);
  Statement::Cell c;
  using Kind = Statement::Cell::Kind;
  switch (sqlite3_value_type(v)) {
    case SQLITE_NULL:
      c.kind = Kind::kNull;
      break;
    case SQLITE_INTEGER: {
      // Typed as ColumnToVariant types it: an integer out of its column's
      // range is kOther.
      const sqlite3_int64 x = sqlite3_value_int64(v);
      if (type == JetType::kLong) {
        if (x >= INT32_MIN && x <= INT32_MAX) c.kind = Kind::kLong;
      } else if (type == JetType::kInteger) {
        if (x >= INT16_MIN && x <= INT16_MAX) c.kind = Kind::kInteger;
      } else if (type == JetType::kByte) {
        if (x >= 0 && x <= UINT8_MAX) c.kind = Kind::kByte;
      }
      c.number = static_cast<double>(x);
      break;
    }
    case SQLITE_FLOAT:
      if (type == JetType::kDouble || type == JetType::kDate) {
        c.kind = type == JetType::kDouble ? Kind::kDouble : Kind::kDate;
        c.number = sqlite3_value_double(v);
      }
      break;
    case SQLITE_TEXT:
      if (type == JetType::kText || type == JetType::kMemo) {
        c.kind = Kind::kText;
        const char* text = reinterpret_cast<const char*>(sqlite3_value_text(v));
        c.text = std::string_view(text, static_cast<size_t>(sqlite3_value_bytes(v)));
      }
      break;
    default:
      break;
  }
  return c;
}

// Cell i of the row `row` (Statement::Cells) as CellAt gives it.
// REQUIRES: 0 <= i < the statement's ColumnCount().
[[gnu::always_inline]] inline Statement::Cell ReadCell(const Statement::RowCells& row, int i) {
  return ReadCell(row.stmt, i, row.columns[i].type);
}

// The Boolean Statement::Value gives for cell i of `row` when its column is
// a Boolean one holding a number (True for any number but 0), which CellAt
// leaves kOther; nullopt for any other cell.
[[gnu::always_inline]] inline std::optional<bool> ReadBooleanCell(const Statement::RowCells& row,
                                                                  int i) {
  if (row.columns[i].type != JetType::kBoolean) return std::nullopt;
  sqlite3_value* v = sqlite3_column_value(row.stmt, i);
  const int storage = sqlite3_value_type(v);
  if (storage != SQLITE_INTEGER && storage != SQLITE_FLOAT) return std::nullopt;
  return sqlite3_value_double(v) != 0;
}

}  // namespace qv::jet
