// Reading and checking the reference files (RefData.h): one table per
// file, typed by the schema, every fault named by file, line and column.

#include <algorithm>
#include <charconv>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <variant>

#include "core/schema/RefData.h"
#include "core/schema/Schema.h"
#include "platform/automation/Error.h"
#include "platform/automation/VbaDate.h"
#include "platform/automation/VbaText.h"
#include "platform/jet/JetError.h"

namespace qv::schema {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSourceColumn = "Source";
constexpr std::string_view kDefaultColumn = "IsDefault";
constexpr std::string_view kErrorSource = "RefData";

RefTableSpec CodeDictionary(std::string_view table) {
  return {table, {"Code", "BegDate"}, "BegDate", "EndDate", {}};
}

[[noreturn]] void Fail(const fs::path& file, int line, int column, const std::string& what) {
  throw Error(kRefDataFormatError,
              file.filename().string() + ":" + std::to_string(line) + ":" + std::to_string(column) +
                  ": " + what,
              std::string(kErrorSource));
}

// The number of characters (code points) of a valid UTF-8 text.
int CharCount(std::string_view s) {
  return static_cast<int>(
      std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

// The byte offset of the first byte that breaks UTF-8, or npos.
size_t InvalidUtf8At(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    const size_t n = c < 0x80           ? 1
                     : (c >> 5) == 0x6  ? 2
                     : (c >> 4) == 0xE  ? 3
                     : (c >> 3) == 0x1E ? 4
                                        : 0;
    if (n == 0 || i + n > s.size()) return i;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return i;
    i += n;
  }
  return std::string_view::npos;
}

struct Cell {
  std::string_view text;
  int column;  // characters from the start of the line, from 1
};

std::vector<Cell> SplitCells(std::string_view line) {
  std::vector<Cell> cells;
  int column = 1;
  while (true) {
    const size_t tab = line.find('\t');
    const std::string_view text = line.substr(0, tab);
    cells.push_back({text, column});
    if (tab == std::string_view::npos) break;
    column += CharCount(text) + 1;
    line.remove_prefix(tab + 1);
  }
  return cells;
}

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<int64_t> ParseInteger(std::string_view s) {
  const std::string_view digits = s.starts_with('-') ? s.substr(1) : s;
  if (!AllDigits(digits) || digits.size() > 12) return std::nullopt;
  int64_t v = 0;
  std::from_chars(s.data(), s.data() + s.size(), v);
  return v;
}

// Digits with at most one point between digits, an optional minus first.
std::optional<double> ParseDecimal(std::string_view s) {
  std::string_view body = s.starts_with('-') ? s.substr(1) : s;
  const size_t point = body.find('.');
  if (!AllDigits(body.substr(0, point)) ||
      (point != std::string_view::npos && !AllDigits(body.substr(point + 1))))
    return std::nullopt;
  double v = 0;
  std::from_chars(s.data(), s.data() + s.size(), v);
  return v;
}

std::optional<OleDate> ParseDate(std::string_view s) {
  if (s.size() != 10 || s[4] != '-' || s[7] != '-' || !AllDigits(s.substr(0, 4)) ||
      !AllDigits(s.substr(5, 2)) || !AllDigits(s.substr(8, 2)))
    return std::nullopt;
  const int y = std::stoi(std::string(s.substr(0, 4)));
  const int m = std::stoi(std::string(s.substr(5, 2)));
  const int d = std::stoi(std::string(s.substr(8, 2)));
  if (y < 1900 || m < 1 || m > 12 || d < 1) return std::nullopt;
  const OleDate date = DateSerial(y, m, d);
  const DateParts back = SplitDate(date);
  if (back.year != y || back.month != m || back.day != d) return std::nullopt;  // 31 April
  return date;
}

// A cell as a value of its column's type, or a description of the fault.
std::variant<Variant, std::string> ParseCell(const FieldDef& f, std::string_view text) {
  switch (f.type) {
    case JetType::kByte:
    case JetType::kInteger:
    case JetType::kLong: {
      const int64_t lo = f.type == JetType::kByte      ? 0
                         : f.type == JetType::kInteger ? -32768
                                                       : INT32_MIN;
      const int64_t hi = f.type == JetType::kByte      ? 255
                         : f.type == JetType::kInteger ? 32767
                                                       : INT32_MAX;
      const auto v = ParseInteger(text);
      if (!v || *v < lo || *v > hi)
        return "\"" + std::string(text) + "\" is not a whole number from " + std::to_string(lo) +
               " to " + std::to_string(hi);
      return Variant(static_cast<int32_t>(*v));
    }
    case JetType::kDouble:
    case JetType::kCurrency:
      if (const auto v = ParseDecimal(text)) return Variant(*v);
      return "\"" + std::string(text) + "\" is not a number (digits, \".\" as the point)";
    case JetType::kDate:
      if (const auto v = ParseDate(text)) return Variant(*v);
      return "\"" + std::string(text) + "\" is not a date YYYY-MM-DD";
    case JetType::kText:
    case JetType::kMemo: {
      const int size = f.type == JetType::kMemo ? INT32_MAX : f.size > 0 ? f.size : 255;
      if (CharCount(text) > size)
        return "the text has " + std::to_string(CharCount(text)) + " characters, the column " +
               std::to_string(size);
      return Variant(std::string(text));
    }
    default:
      return "a column of type " + std::to_string(static_cast<int>(f.type)) +
             " is not read from reference files";
  }
}

// One text per key, values of equal keys equal.
std::string KeyText(const RefDataRow& row, const std::vector<int>& positions) {
  std::string key;
  for (int p : positions) {
    const Variant& v = row.values[p];
    key += v.IsString() ? CStr(v) : std::to_string(CDbl(v));
    key += '\x1f';
  }
  return key;
}

int Position(const TableDef& def, std::string_view column) {
  for (size_t i = 0; i < def.fields.size(); ++i)
    if (NamesEqual(def.fields[i].name, column)) return static_cast<int>(i);
  return -1;
}

// Keys once; validity periods in order and not overlapping; one default name.
void CheckRows(const RefDataTable& t) {
  const RefTableSpec& spec = *t.spec;
  std::vector<int> key, group;
  for (std::string_view k : spec.key) {
    key.push_back(Position(*t.def, k));
    if (k != spec.validFrom) group.push_back(Position(*t.def, k));
  }
  const int from = spec.validFrom.empty() ? -1 : Position(*t.def, spec.validFrom);
  const int to = spec.validTo.empty() ? -1 : Position(*t.def, spec.validTo);
  const int isDefault = Position(*t.def, kDefaultColumn);
  std::map<std::string, const RefDataRow*> seen, defaults;
  std::map<std::string, std::vector<const RefDataRow*>> periods;
  for (const RefDataRow& r : t.rows) {
    if (auto [it, added] = seen.emplace(KeyText(r, key), &r); !added)
      Fail(t.file, r.line, r.columns[key[0]],
           "the key of line " + std::to_string(it->second->line) + " again");
    if (from >= 0 && to >= 0 && CDbl(r.values[to]) < CDbl(r.values[from]))
      Fail(t.file, r.line, r.columns[to],
           std::string(spec.validTo) + " before " + std::string(spec.validFrom));
    if (from >= 0 && spec.key.back() == spec.validFrom) periods[KeyText(r, group)].push_back(&r);
    if (isDefault >= 0) {
      const int32_t d = CLng(r.values[isDefault]);
      if (d != 0 && d != 1) Fail(t.file, r.line, r.columns[isDefault], "IsDefault is 0 or 1");
      if (d == 1)
        if (auto [it, added] = defaults.emplace(KeyText(r, group), &r); !added)
          Fail(
              t.file, r.line, r.columns[isDefault],
              "a second default name (the first on line " + std::to_string(it->second->line) + ")");
    }
  }
  for (auto& [_, rows] : periods) {
    std::sort(rows.begin(), rows.end(), [&](const RefDataRow* a, const RefDataRow* b) {
      return CDbl(a->values[from]) < CDbl(b->values[from]);
    });
    for (size_t i = 1; i < rows.size(); ++i)
      if (to >= 0 && CDbl(rows[i]->values[from]) <= CDbl(rows[i - 1]->values[to]))
        Fail(t.file, rows[i]->line, rows[i]->columns[from],
             "the period overlaps the one of line " + std::to_string(rows[i - 1]->line));
  }
}

std::string ReadWholeFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) jet::ThrowJet(jet::jeterr::kFileNotFound, {file.string()});
  std::ostringstream text;
  text << in.rdbuf();
  std::string s = text.str();
  if (s.starts_with("\xEF\xBB\xBF")) s.erase(0, 3);
  return s;
}

}  // namespace

const std::vector<RefTableSpec>& RefTableSpecs() {
  static const std::vector<RefTableSpec> specs = {
      {"PfrDict_Limits", {"TheYear"}, {}, {}, {}},
      {"PfrDict_Tariffs", {"TheYear", "Category"}, {}, {}, {}},
      {"PfrDict_AddTariffs", {"Code", "BegDate"}, "BegDate", "EndDate", {}},
      CodeDictionary("PfrDict_MainRates"),
      CodeDictionary("PfrDict_TerrConds"),
      CodeDictionary("PfrDict_SpecConds"),
      CodeDictionary("PfrDict_StageCalcs"),
      CodeDictionary("PfrDict_StageCalcAdds"),
      CodeDictionary("PfrDict_EarlyConds"),
      CodeDictionary("PfrDict_FeeMainRates"),
      CodeDictionary("PfrDict_AddRates"),
      {"PfrDict_EndForms", {"ID"}, {}, {}, {}},
      {"TndflDict_Incomes", {"ID"}, {}, {}, {}},
      {"TndflDict_IncomesNames",
       {"IncomeID", "DateBeg"},
       "DateBeg",
       "DateEnd",
       {{"IncomeID", "TndflDict_Incomes"}}},
      {"TndflDict_IncomesRates",
       {"IncomeID", "Residentship", "Rate", "DateBeg"},
       "DateBeg",
       "DateEnd",
       {{"IncomeID", "TndflDict_Incomes"}}},
      {"TndflDict_MDeducts", {"ID"}, {}, {}, {}},
      {"TndflDict_MDeductsNames",
       {"DeductID", "DateBeg"},
       "DateBeg",
       "DateEnd",
       {{"DeductID", "TndflDict_MDeducts"}}},
      {"TndflDict_DeductsToIncomes",
       {"DeductID", "IncomeID", "DateBeg"},
       "DateBeg",
       "DateEnd",
       {{"DeductID", "TndflDict_MDeducts"}, {"IncomeID", "TndflDict_Incomes"}}},
      {"TndflDict_YDeducts", {"ID"}, "DateBeg", "DateEnd", {}},
      {"TndflDict_YDeductsNames",
       {"DeductID", "DateBeg"},
       "DateBeg",
       "DateEnd",
       {{"DeductID", "TndflDict_YDeducts"}}},
      {"TndflDict_DeductsSumms",
       {"DeductID", "DateBeg"},
       "DateBeg",
       "DateEnd",
       {{"DeductID", "TndflDict_YDeducts"}}},
      {"WarDict_Permissions", {"ID"}, {}, {}, {}},
  };
  return specs;
}

RefDataTable ReadRefTable(const fs::path& file) {
  RefDataTable t;
  t.file = file;
  // Read first: a path that names no file is reported as such, not by its name.
  const std::string text = ReadWholeFile(file);
  const std::string stem = file.stem().string();
  for (const RefTableSpec& s : RefTableSpecs())
    if (NamesEqual(s.table, stem)) t.spec = &s;
  if (!t.spec) Fail(file, 0, 0, "no reference table is called " + stem);
  t.def = FindTable(DbFile::kUser, t.spec->table);

  std::vector<int> header;  // per cell: the table's column, or -1 for Source
  int lineNo = 0;
  for (std::string_view rest = text; !rest.empty();) {
    const size_t nl = rest.find('\n');
    std::string_view line = rest.substr(0, nl);
    rest.remove_prefix(nl == std::string_view::npos ? rest.size() : nl + 1);
    ++lineNo;
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (const size_t bad = InvalidUtf8At(line); bad != std::string_view::npos)
      Fail(file, lineNo, CharCount(line.substr(0, bad)) + 1, "not UTF-8");
    if (TrimBlanks(line).empty() || line.starts_with('#')) continue;
    const std::vector<Cell> cells = SplitCells(line);
    if (header.empty()) {
      for (const Cell& c : cells) {
        const int p = NamesEqual(c.text, kSourceColumn) ? -1 : Position(*t.def, c.text);
        if (p < 0 && !NamesEqual(c.text, kSourceColumn))
          Fail(file, lineNo, c.column,
               std::string(t.spec->table) + " has no column " + std::string(c.text));
        if (std::find(header.begin(), header.end(), p) != header.end())
          Fail(file, lineNo, c.column, "the column " + std::string(c.text) + " again");
        header.push_back(p);
      }
      for (size_t i = 0; i < t.def->fields.size(); ++i)
        if (std::find(header.begin(), header.end(), static_cast<int>(i)) == header.end())
          Fail(file, lineNo, 1, "no column " + std::string(t.def->fields[i].name));
      if (std::find(header.begin(), header.end(), -1) == header.end())
        Fail(file, lineNo, 1, "no column Source");
      continue;
    }
    if (cells.size() != header.size()) {
      const int column =
          cells.size() > header.size() ? cells[header.size()].column : CharCount(line) + 1;
      Fail(
          file, lineNo, column,
          std::to_string(cells.size()) + " cells, the header has " + std::to_string(header.size()));
    }
    RefDataRow row;
    row.line = lineNo;
    row.values.resize(t.def->fields.size());
    row.columns.resize(t.def->fields.size());
    for (size_t i = 0; i < cells.size(); ++i) {
      const Cell& c = cells[i];
      if (header[i] < 0) {
        row.source = std::string(TrimBlanks(c.text));
        if (row.source.empty()) Fail(file, lineNo, c.column, "no source");
        continue;
      }
      const FieldDef& f = t.def->fields[header[i]];
      const bool isKey = std::any_of(t.spec->key.begin(), t.spec->key.end(),
                                     [&](std::string_view k) { return NamesEqual(k, f.name); });
      if (isKey && TrimBlanks(c.text).empty())
        Fail(file, lineNo, c.column, std::string(f.name) + " is empty");
      auto value = ParseCell(f, c.text);
      if (auto* fault = std::get_if<std::string>(&value))
        Fail(file, lineNo, c.column, std::string(f.name) + ": " + *fault);
      row.values[header[i]] = std::get<Variant>(std::move(value));
      row.columns[header[i]] = c.column;
    }
    t.rows.push_back(std::move(row));
  }
  if (header.empty()) Fail(file, lineNo, 0, "no header row");
  CheckRows(t);
  return t;
}

RefDataSet ReadRefData(const fs::path& fileOrDirectory) {
  RefDataSet set;
  std::error_code ec;
  std::vector<fs::path> files;
  if (fs::is_directory(fileOrDirectory, ec)) {
    for (const auto& entry : fs::directory_iterator(fileOrDirectory, ec))
      if (entry.path().extension() == ".tsv") files.push_back(entry.path());
    const fs::path editionFile = fileOrDirectory / "EDITION";
    const std::string text(TrimWhitespace(ReadWholeFile(editionFile)));
    if (!ParseDate(text)) Fail(editionFile, 1, 1, "the edition is one date YYYY-MM-DD");
    set.edition = text;
  } else {
    files.push_back(fileOrDirectory);
  }
  std::vector<RefDataTable> tables;
  for (const fs::path& f : files) tables.push_back(ReadRefTable(f));
  for (const RefTableSpec& spec : RefTableSpecs()) {
    for (RefDataTable& t : tables) {
      if (t.spec != &spec) continue;
      if (!set.tables.empty() && set.tables.back().spec == &spec)
        Fail(t.file, 0, 0, "a second file of " + std::string(spec.table));
      set.tables.push_back(std::move(t));
    }
  }
  return set;
}

}  // namespace qv::schema
