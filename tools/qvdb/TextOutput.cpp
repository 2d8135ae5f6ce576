// The table and tab-separated forms of Output.h.

#include <algorithm>
#include <ostream>
#include <unordered_set>

#include "AdoCopy.h"
#include "Output.h"
#include "ResultWriter.h"
#include "TextWidth.h"
#include "platform/automation/Collection.h"
#include "siblings/records/QvRecord.h"

namespace qvdb {

using qv::Variant;
using qv::records::QvRecord;

namespace {

constexpr size_t kMaxCellWidth = 60;

size_t Width(std::string_view s) {
  return DisplayWidth(s);
}

std::string Cut(const std::string& s, size_t width) {
  return CutToWidth(s, width);
}

void Pad(std::ostream& out, const std::string& s, size_t width) {
  out << s;
  for (size_t w = Width(s); w < width; ++w) out << ' ';
}

std::string Summary(QvRecord& rec) {
  return std::string(rec.Type().progId) + " ID=" + ValueText(rec.IdValue()) + " (RState " +
         std::to_string(rec.State()) + ")";
}

class LineWriter {
 public:
  using Lines = std::vector<std::pair<std::string, std::string>>;

  void Record(QvRecord& rec, const std::string& prefix, Lines& lines) {
    path_.insert(&rec);
    lines.emplace_back(prefix + "ID", ValueText(rec.IdValue()));
    if (rec.State() != qv::records::kReference) {
      const auto& cls = rec.RecordClassOf();
      for (int i = 0; i < cls.PropertyCount(); ++i) {
        const auto& p = cls.Property(i);
        if (p.group != qv::records::kBase && !rec.GroupLoaded(p.group)) continue;
        Value(Shown(p.name, rec.Value(i)), prefix + std::string(p.name), lines);
      }
    }
    path_.erase(&rec);
  }

 private:
  void Value(const Variant& v, const std::string& name, Lines& lines) {
    if (auto sub = v.ObjectAs<QvRecord>()) {
      const int32_t s = sub->State();
      if (s == qv::records::kNew || s == qv::records::kReference || path_.contains(sub.get()))
        lines.emplace_back(name, Summary(*sub));
      else
        Record(*sub, name + ".", lines);
    } else if (auto c = v.ObjectAs<qv::Collection>()) {
      lines.emplace_back(name + ".Count", std::to_string(c->Count()));
      for (int32_t i = 1; i <= c->Count(); ++i) {
        std::string item = name + "(" + std::to_string(i) + ")";
        if (!c->KeyAt(i).empty()) item = name + "(\"" + c->KeyAt(i) + "\")";
        Value(c->At(i), item, lines);
      }
    } else {
      lines.emplace_back(name, ValueText(v));
    }
  }

  std::unordered_set<const qv::Object*> path_;
};

void PrintLines(std::ostream& out, const LineWriter::Lines& lines, Format format) {
  size_t width = 0;
  for (const auto& [name, text] : lines) width = std::max(width, Width(name));
  for (const auto& [name, text] : lines) {
    if (format == Format::kCsv) {
      out << CsvField(name) << ',' << CsvField(text) << "\r\n";
    } else if (format == Format::kTsv) {
      out << Escaped(name) << '\t' << Escaped(text) << '\n';
    } else {
      Pad(out, name, width + 2);
      out << Cut(Escaped(text), kMaxCellWidth * 2) << '\n';
    }
  }
}

}  // namespace

std::vector<std::pair<std::string, std::string>> RecordLines(const Variant& record) {
  LineWriter::Lines lines;
  auto rec = record.ObjectAs<QvRecord>();
  if (!rec) return lines;
  lines.emplace_back("record", std::string(rec->Type().progId));
  lines.emplace_back("RState", std::to_string(rec->State()));
  LineWriter().Record(*rec, "", lines);
  return lines;
}

namespace {

// Rows of texts under a header row (cells[0]) as a table, or tab-separated.
void PrintCells(std::ostream& out, const std::vector<std::vector<std::string>>& cells,
                Format format) {
  if (format == Format::kCsv) {
    for (const auto& row : cells) {
      for (size_t c = 0; c < row.size(); ++c) out << (c ? "," : "") << CsvField(row[c]);
      out << "\r\n";
    }
    return;
  }
  if (format == Format::kTsv) {
    for (const auto& row : cells) {
      for (size_t c = 0; c < row.size(); ++c) out << (c ? "\t" : "") << row[c];
      out << '\n';
    }
    return;
  }
  const size_t cols = cells[0].size();
  std::vector<size_t> width(cols, 0);
  for (const auto& row : cells)
    for (size_t c = 0; c < cols; ++c) width[c] = std::max(width[c], Width(row[c]));
  for (size_t r = 0; r < cells.size(); ++r) {
    for (size_t c = 0; c < cols; ++c) {
      if (c) out << "  ";
      if (c + 1 == cols)
        out << cells[r][c];
      else
        Pad(out, cells[r][c], width[c]);
    }
    out << '\n';
    if (r == 0) {
      for (size_t c = 0; c < cols; ++c) out << (c ? "  " : "") << std::string(width[c], '-');
      out << '\n';
    }
  }
  const size_t rows = cells.size() - 1;
  out << "(" << rows << (rows == 1 ? " row)\n" : " rows)\n");
}

// A collection whose items are all records as a table: a row per record, a
// column per property line (a key column first when the items have keys).
// False when an item is not a record or the collection is empty.
bool PrintRecordTable(std::ostream& out, const qv::Collection& c, Format format) {
  if (c.Count() == 0) return false;
  bool keyed = false;
  for (int32_t i = 1; i <= c.Count(); ++i) {
    if (!c.At(i).ObjectAs<QvRecord>()) return false;
    keyed = keyed || !c.KeyAt(i).empty();
  }
  std::vector<std::string> columns;
  if (keyed) columns.push_back("Key");
  std::vector<std::vector<std::pair<std::string, std::string>>> rows;
  for (int32_t i = 1; i <= c.Count(); ++i) {
    auto& lines = rows.emplace_back(RecordLines(c.At(i)));
    if (keyed) lines.insert(lines.begin(), {"Key", c.KeyAt(i)});
    for (const auto& [name, text] : lines)
      if (std::find(columns.begin(), columns.end(), name) == columns.end()) columns.push_back(name);
  }
  std::vector<std::vector<std::string>> cells{columns};
  for (const auto& lines : rows) {
    auto& row = cells.emplace_back(columns.size());
    for (const auto& [name, text] : lines) {
      const std::string flat = format == Format::kCsv ? text : Escaped(text);
      row[std::find(columns.begin(), columns.end(), name) - columns.begin()] =
          format == Format::kTable ? Cut(flat, kMaxCellWidth) : flat;
    }
  }
  PrintCells(out, cells, format);
  return true;
}

}  // namespace

void PrintRecordset(std::ostream& out, const qv::ado::Recordset& rs, Format format) {
  ResultWriter writer(out, format, rs.RowCount());
  std::vector<ResultColumn> columns;
  for (size_t c = 0; c < rs.FieldCount(); ++c)
    columns.push_back({rs.FieldAt(c).name, rs.FieldAt(c).type});
  writer.Begin(std::move(columns));
  std::vector<Variant> row(rs.FieldCount());
  for (size_t r = 0; r < rs.RowCount(); ++r) {
    for (size_t c = 0; c < rs.FieldCount(); ++c) row[c] = rs.Value(r, c);
    writer.Row(row);
  }
  writer.End();
}

void PrintValue(std::ostream& out, const Variant& v, Format format) {
  if (format == Format::kJson) {
    out << ToJson(v) << '\n';
  } else if (auto rs = v.ObjectAs<qv::ado::Recordset>()) {
    PrintRecordset(out, *rs, format);
  } else if (auto drs = v.ObjectAs<qv::dao::Recordset>()) {
    PrintRecordset(out, *DaoToAdo(*drs), format);
  } else if (v.ObjectAs<QvRecord>()) {
    PrintLines(out, RecordLines(v), format);
  } else if (auto c = v.ObjectAs<qv::Collection>()) {
    if (PrintRecordTable(out, *c, format)) return;
    // An empty collection says so, where a Sub's missing result prints nothing.
    if (c->Count() == 0 && format == Format::kTable) out << "(0 rows)\n";
    for (int32_t i = 1; i <= c->Count(); ++i) {
      if (!c->KeyAt(i).empty())
        out << Escaped(c->KeyAt(i)) << (format == Format::kCsv ? ',' : '\t');
      const Variant& item = c->At(i);
      if (auto rec = item.ObjectAs<QvRecord>())
        out << Summary(*rec) << '\n';
      else
        out << Escaped(ValueText(item)) << '\n';
    }
  } else if (format == Format::kCsv) {
    out << CsvField(CsvText(v)) << "\r\n";
  } else {
    out << ValueText(v) << '\n';
  }
}

}  // namespace qvdb
