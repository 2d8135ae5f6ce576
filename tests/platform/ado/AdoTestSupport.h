#pragma once
// Helpers shared by the recordset tests: building a recordset in a few lines,
// rendering it whole as one text, and catching an error's number.

#include <string>
#include <vector>

#include "platform/ado/Recordset.h"
#include "support/TestSupport.h"

namespace qv::ado::test {

using testsupport::ExpectError;
using testsupport::kAnyError;

struct Column {
  const char* name;
  int32_t type;
  int32_t size = 0;
  int32_t attributes = adFldIsNullable;
};

// An open recordset with the columns and rows given.
inline RecordsetPtr MakeRecordset(const std::vector<Column>& columns,
                                  std::vector<std::vector<Variant>> rows = {}) {
  auto rs = std::make_shared<Recordset>();
  for (const Column& c : columns) rs->AppendField(c.name, c.type, c.size, c.attributes);
  rs->Open();
  for (auto& row : rows) rs->AppendRow(std::move(row));
  if (rs->RowCount() > 0) rs->MoveFirst();
  return rs;
}

// The whole recordset as text: a header of name:type(size) and one line per
// visible row of Describe()d values, the current row marked with ">".
inline std::string Render(const Recordset& rs) {
  std::string out;
  for (size_t c = 0; c < rs.FieldCount(); ++c) {
    const FieldInfo& f = rs.FieldAt(c);
    out += (c ? " | " : "") + f.name + ":" + std::to_string(f.type) + "(" +
           std::to_string(f.definedSize) + ")";
  }
  out += "\n";
  const int32_t current = rs.AbsolutePosition();
  for (size_t r = 0; r < rs.RowCount(); ++r) {
    out += static_cast<int32_t>(r + 1) == current ? "> " : "  ";
    for (size_t c = 0; c < rs.FieldCount(); ++c)
      out += (c ? " | " : "") + rs.Value(r, c).Describe();
    out += "\n";
  }
  return out;
}

// The values of one column in the visible order, as CStr gives them (Null as "Null").
inline std::string ColumnText(const Recordset& rs, size_t col) {
  std::string out;
  for (size_t r = 0; r < rs.RowCount(); ++r) {
    const Variant& v = rs.Value(r, col);
    out += (r ? "," : "") + (v.IsNull() ? std::string("Null") : CStr(v));
  }
  return out;
}

}  // namespace qv::ado::test
