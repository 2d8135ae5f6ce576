#pragma once
// Prints the rows of a result as they come, in any Format: `qvdb sql`
// writes each row it reads, so a large result is never held whole.
//
//   table  an aligned table under a header; the widths are those of the
//          first `alignRows` rows (then those rows print); a later cell
//          wider than its column prints whole and moves the rest of its row
//          to the right. Cells are cut to 60 columns; "(N rows)" at the end.
//   tsv    a header line, then tab-separated rows (tabs, line breaks and
//          backslashes written as \t \n \\).
//   csv    RFC 4180: a header record, then one record per row, CRLF after
//          each; a field holding a comma, a quote or a line break quoted
//          with its quotes doubled; Null an empty field; dates as
//          YYYY-MM-DD, or YYYY-MM-DD HH:MM:SS when they have a time.
//   json   {"fields":[{"name":..,"type":<ADO type code>}],"rows":[[..],..]}.
// A column named "Password" prints masked in every form (Output.h).

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <vector>

#include "Output.h"
#include "platform/automation/Variant.h"

namespace qvdb {

struct ResultColumn {
  std::string name;
  int32_t adoType = 0;
};

class ResultWriter {
 public:
  static constexpr size_t kAlignRows = 1000;

  ResultWriter(std::ostream& out, Format format, size_t alignRows = kAlignRows);
  // Starts the result. A name used by an earlier column gets "_2", "_3" ...
  void Begin(std::vector<ResultColumn> columns);
  // REQUIRES: values.size() == the number of columns.
  void Row(std::span<const qv::Variant> values);
  // Ends the result; the rows written.
  size_t End();

 private:
  void Flush();  // prints the rows held for the table's widths
  void TableRow(const std::vector<std::string>& cells);
  std::string Text(size_t column, const qv::Variant& value) const;

  std::ostream& out_;
  Format format_;
  size_t alignRows_;
  std::vector<ResultColumn> columns_;
  std::vector<std::vector<std::string>> held_;  // table: rows before the widths are set
  std::vector<size_t> widths_;
  size_t rows_ = 0;
};

// A text on one line: line breaks, tabs and backslashes written as \n, \t,
// \r and \\ (the tab-separated and table forms).
std::string Escaped(std::string_view s);

// A value as a CSV field (quoted when it must be) and as the text of one.
std::string CsvField(std::string_view text);
std::string CsvText(const qv::Variant& value);

}  // namespace qvdb
