#include "ResultWriter.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

#include "TextWidth.h"
#include "platform/automation/VbaDate.h"

namespace qvdb {

namespace {

constexpr size_t kMaxCellWidth = 60;

}  // namespace

std::string Escaped(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    if (c == '\n')
      out += "\\n";
    else if (c == '\t')
      out += "\\t";
    else if (c == '\r')
      out += "\\r";
    else if (c == '\\')
      out += "\\\\";
    else
      out += c;
  }
  return out;
}

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string out = "\"";
  for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

std::string CsvText(const qv::Variant& value) {
  if (value.IsNull() || value.IsEmpty()) return "";
  if (value.Type() == qv::VarType::kDate) {
    const qv::DateParts p = qv::SplitDate(qv::OleDate{value.AsDateSerial()});
    char buf[40];
    if (p.hour == 0 && p.minute == 0 && p.second == 0)
      std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", p.year, p.month, p.day);
    else
      std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day,
                    p.hour, p.minute, p.second);
    return buf;
  }
  return ValueText(value);
}

ResultWriter::ResultWriter(std::ostream& out, Format format, size_t alignRows)
    : out_(out), format_(format), alignRows_(std::max<size_t>(alignRows, 1)) {}

void ResultWriter::Begin(std::vector<ResultColumn> columns) {
  columns_.clear();
  for (ResultColumn& c : columns) {
    std::string name = c.name;
    auto taken = [&](const std::string& n) {
      return std::any_of(columns_.begin(), columns_.end(),
                         [&](const ResultColumn& x) { return x.name == n; });
    };
    for (int k = 2; taken(name); ++k) name = c.name + "_" + std::to_string(k);
    columns_.push_back({name, c.adoType});
  }
  rows_ = 0;
  held_.clear();
  widths_.clear();
  switch (format_) {
    case Format::kJson:
      out_ << "{\"fields\":[";
      for (size_t i = 0; i < columns_.size(); ++i)
        out_ << (i ? ",{\"name\":" : "{\"name\":") << JsonString(columns_[i].name)
             << ",\"type\":" << columns_[i].adoType << "}";
      out_ << "],\"rows\":[";
      break;
    case Format::kTsv:
      for (size_t i = 0; i < columns_.size(); ++i)
        out_ << (i ? "\t" : "") << Escaped(columns_[i].name);
      out_ << '\n';
      break;
    case Format::kCsv:
      for (size_t i = 0; i < columns_.size(); ++i)
        out_ << (i ? "," : "") << CsvField(columns_[i].name);
      out_ << "\r\n";
      break;
    case Format::kTable: {
      auto& header = held_.emplace_back();
      for (const ResultColumn& c : columns_) header.push_back(Escaped(c.name));
      break;
    }
  }
}

std::string ResultWriter::Text(size_t column, const qv::Variant& value) const {
  const qv::Variant shown = Shown(columns_[column].name, value);
  switch (format_) {
    case Format::kJson:
      return ToJson(shown);
    case Format::kCsv:
      return CsvField(CsvText(shown));
    case Format::kTsv:
      return Escaped(ValueText(shown));
    case Format::kTable:
      break;
  }
  return CutToWidth(Escaped(ValueText(shown)), kMaxCellWidth);
}

void ResultWriter::Row(std::span<const qv::Variant> values) {
  const size_t n = columns_.size();
  switch (format_) {
    case Format::kJson:
      out_ << (rows_ ? ",[" : "[");
      for (size_t i = 0; i < n; ++i) out_ << (i ? "," : "") << Text(i, values[i]);
      out_ << ']';
      break;
    case Format::kTsv:
    case Format::kCsv:
      for (size_t i = 0; i < n; ++i)
        out_ << (i ? (format_ == Format::kCsv ? "," : "\t") : "") << Text(i, values[i]);
      out_ << (format_ == Format::kCsv ? "\r\n" : "\n");
      break;
    case Format::kTable: {
      std::vector<std::string> cells;
      cells.reserve(n);
      for (size_t i = 0; i < n; ++i) cells.push_back(Text(i, values[i]));
      if (widths_.empty()) {
        held_.push_back(std::move(cells));
        if (held_.size() > alignRows_) Flush();
      } else {
        TableRow(cells);
      }
      break;
    }
  }
  ++rows_;
}

void ResultWriter::Flush() {
  widths_.assign(columns_.size(), 0);
  for (const auto& row : held_)
    for (size_t c = 0; c < columns_.size(); ++c)
      widths_[c] = std::max(widths_[c], DisplayWidth(row[c]));
  for (size_t r = 0; r < held_.size(); ++r) {
    TableRow(held_[r]);
    if (r == 0) {
      for (size_t c = 0; c < columns_.size(); ++c)
        out_ << (c ? "  " : "") << std::string(widths_[c], '-');
      out_ << '\n';
    }
  }
  held_.clear();
  held_.shrink_to_fit();
}

void ResultWriter::TableRow(const std::vector<std::string>& cells) {
  // A cell wider than its column takes what it needs; the next cell starts
  // two columns after it.
  size_t at = 0, start = 0;
  for (size_t c = 0; c < cells.size(); ++c) {
    if (c) {
      start += widths_[c - 1] + 2;
      const size_t gap = at + 2 > start ? 2 : start - at;
      out_ << std::string(gap, ' ');
      at += gap;
    }
    out_ << cells[c];
    at += DisplayWidth(cells[c]);
  }
  out_ << '\n';
}

size_t ResultWriter::End() {
  switch (format_) {
    case Format::kJson:
      out_ << "]}\n";
      break;
    case Format::kTable:
      if (widths_.empty()) Flush();
      out_ << "(" << rows_ << (rows_ == 1 ? " row)\n" : " rows)\n");
      break;
    default:
      break;
  }
  out_.flush();
  return rows_;
}

}  // namespace qvdb
