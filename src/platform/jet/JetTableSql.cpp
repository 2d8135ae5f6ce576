#include "platform/jet/JetTableSql.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "platform/automation/VbaText.h"
#include "platform/jet/JetCollation.h"
#include "platform/jet/JetError.h"
#include "platform/jet/Sqlite.h"

namespace qv::jet::ddl {

namespace {

using sqlite::AppendLiteral;
using sqlite::AppendQuoted;

struct TypeSql {
  JetType type;
  std::string_view decl;
  std::string_view check;  // "$" stands for the quoted column; "" for none
};

// Integer columns take a fraction too (what writes them rounds it first, as
// Jet rounds a Double written to a Long); the range is checked on the value
// written.
// No IN lists: SQLite compiles a longer one into a temporary table built on
// every execution, and even a list of two tests its left side for Null
// through an arithmetic operation, which reads a text such as 'integer' as a
// number on every write.
constexpr const char* kNumber = "$ IS NULL OR typeof($) = 'integer' OR typeof($) = 'real'";
constexpr const char* kText = "$ IS NULL OR typeof($) = 'text'";
constexpr auto kTypes = std::to_array<TypeSql>({
    {JetType::kBoolean, "INTEGER", kNumber},
    {JetType::kByte, "INTEGER",
     "$ IS NULL OR ((typeof($) = 'integer' OR typeof($) = 'real') AND $ > -0.5 AND $ < 255.5)"},
    {JetType::kInteger, "INTEGER",
     "$ IS NULL OR ((typeof($) = 'integer' OR typeof($) = 'real') AND $ > -32768.5 AND $ < "
     "32767.5)"},
    {JetType::kLong, "INTEGER",
     "$ IS NULL OR ((typeof($) = 'integer' OR typeof($) = 'real') AND $ > -2147483648.5 "
     "AND $ < 2147483647.5)"},
    {JetType::kBigInt, "INTEGER", kNumber},
    {JetType::kCurrency, "REAL", kNumber},
    {JetType::kSingle, "REAL", kNumber},
    {JetType::kDouble, "REAL", kNumber},
    {JetType::kNumeric, "REAL", kNumber},
    {JetType::kDecimal, "REAL", kNumber},
    {JetType::kFloat, "REAL", kNumber},
    {JetType::kDate, "REAL", kNumber},
    {JetType::kTime, "REAL", kNumber},
    {JetType::kText, "TEXT", kText},
    {JetType::kChar, "TEXT", kText},
    {JetType::kMemo, "TEXT", kText},
    {JetType::kGUID, "TEXT",
     "$ IS NULL OR (typeof($) = 'text' AND length($) = 38 AND substr($, 1, 1) = '{' AND "
     "substr($, 38, 1) = '}')"},
    {JetType::kBinary, "BLOB", ""},
    {JetType::kVarBinary, "BLOB", ""},
    {JetType::kLongBinary, "BLOB", ""},
});

const TypeSql* FindType(JetType t) {
  for (const TypeSql& s : kTypes)
    if (s.type == t) return &s;
  return nullptr;
}

// `pattern` with every "$" replaced by `column` quoted.
std::string Substitute(std::string_view pattern, std::string_view column) {
  std::string quoted;
  AppendQuoted(quoted, column);
  std::string out;
  for (char c : pattern) {
    if (c == '$')
      out += quoted;
    else
      out += c;
  }
  return out;
}

void AppendCheck(std::string& out, std::string_view prefix, std::string_view table,
                 std::string_view column, const std::string& condition) {
  out += " CONSTRAINT ";
  AppendQuoted(out, std::string(prefix) + std::string(table) + "." + std::string(column));
  out += " CHECK (" + condition + ")";
}

bool IsNumberLiteral(std::string_view s) {
  size_t i = (!s.empty() && (s[0] == '-' || s[0] == '+')) ? 1 : 0;
  bool digits = false, point = false;
  for (; i < s.size(); ++i) {
    if (s[i] >= '0' && s[i] <= '9')
      digits = true;
    else if (s[i] == '.' && !point)
      point = true;
    else
      return false;
  }
  return digits;
}

// The bytes no name holds: a period, !, `, brackets and control characters.
constexpr std::array<bool, 256> kNotInName = [] {
  std::array<bool, 256> bad{};
  for (int c = 0; c < 0x20; ++c) bad[c] = true;
  for (unsigned char c : {'.', '!', '`', '[', ']'}) bad[c] = true;
  return bad;
}();

}  // namespace

bool IsStatement(std::string_view text) {
  if (!text.empty() && text.front() == '(') return true;
  // The words are lower-case ASCII letters: a byte with bit 0x20 set is one
  // of them exactly when it is that letter in either case (no byte ending a
  // word is), so the first word is `lower` when the text starts with it and
  // a byte ending a word, or nothing, follows.
  auto is = [text](std::string_view lower) {
    const size_t n = lower.size();
    if (text.size() < n) return false;
    if (text.size() > n) {
      const char after = text[n];
      if (after != ' ' && after != '\t' && after != '\r' && after != '\n' && after != '(')
        return false;
    }
    for (size_t i = 0; i < n; ++i)
      if ((text[i] | 0x20) != lower[i]) return false;
    return true;
  };
  switch (text.empty() ? 0 : text.front() | 0x20) {
    case 's':
      return is("select");
    case 'i':
      return is("insert");
    case 'u':
      return is("update");
    case 'd':
      return is("delete");
    case 't':
      return is("transform");
    case 'p':
      return is("parameters");
    default:
      return false;
  }
}

bool IsValidName(std::string_view name) {
  // A character is one to four bytes and one or two UTF-16 units: more
  // than 192 bytes are more than 64 units, 64 bytes or fewer are not.
  // (Every statement a caller runs is asked whether it names a table.)
  if (name.empty() || name.size() > 3 * 64 || name.front() == ' ' || name.starts_with("sqlite_"))
    return false;
  // 65 bytes below 0x80 are 65 characters: too many, whatever they are.
  // A statement's text, the usual question, is mostly ASCII.
  if (name.size() > 64) {
    uint64_t high = static_cast<unsigned char>(name[64]);
    for (size_t k = 0; k < 64; k += 8) {
      uint64_t word;
      std::memcpy(&word, name.data() + k, sizeof word);
      high |= word;
    }
    if ((high & 0x8080808080808080u) == 0) return false;
  }
  // Each byte that is not a UTF-8 continuation byte starts a character of
  // at least one unit: past 64 of them the name is too long. One look-up
  // per byte (a statement's text is asked about on every run).
  size_t starts = 0;
  for (char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    if (kNotInName[c]) return false;
    starts += (c & 0xC0) != 0x80;
  }
  return starts <= 64 && (name.size() <= 64 || Len(name) <= 64);
}

void CheckName(std::string_view name) {
  if (!IsValidName(name)) ThrowJet(jeterr::kInvalidName, {name}, kSourceTableDef);
}

void CheckTable(const TableSpec& table, size_t kept) {
  CheckName(table.name);
  if (table.fields.empty()) ThrowJet(jeterr::kNoFieldDefined, {}, kSourceTableDef);
  int counters = 0;
  for (size_t i = 0; i < table.fields.size(); ++i) {
    const FieldSpec& f = table.fields[i];
    CheckName(f.name);
    if (!FindType(f.type) && (i >= kept || f.type != JetType::kNone))
      ThrowJet(jeterr::kInvalidFieldType, {}, kSourceField);
    if (f.type == JetType::kText && (f.size < 0 || f.size > 255))
      ThrowJet(jeterr::kInvalidArgument, {}, kSourceField);
    for (size_t k = 0; k < i; ++k)
      if (NamesEqual(table.fields[k].name, f.name))
        ThrowJet(jeterr::kFieldDefinedTwice, {}, kSourceTableDef);
    DefaultSql(f);
    if (f.autoIncrement && (f.type != JetType::kLong || counters++ > 0))
      ThrowJet(jeterr::kInvalidFieldType, {}, kSourceField);
  }
  bool primary = false;
  for (size_t i = 0; i < table.indexes.size(); ++i) {
    const IndexSpec& x = table.indexes[i];
    CheckName(x.name);
    if (x.fields.empty()) ThrowJet(jeterr::kNoFieldDefined, {}, kSourceIndex);
    for (const IndexField& f : x.fields)
      if (!table.FindField(f.name)) ThrowJet(jeterr::kItemNotFound, {}, kSourceIndex);
    if (x.primary && primary) ThrowJet(jeterr::kPrimaryKeyExists, {}, kSourceIndex);
    primary = primary || x.primary;
    for (size_t k = 0; k < i; ++k)
      if (NamesEqual(table.indexes[k].name, x.name))
        ThrowJet(jeterr::kIndexExists, {}, kSourceIndex);
  }
}

TableSpec WithFieldRules(const TableSpec& table, std::span<const FieldSpec> fields) {
  TableSpec next = table;
  for (const FieldSpec& change : fields) {
    auto f = std::find_if(next.fields.begin(), next.fields.end(),
                          [&](const FieldSpec& x) { return NamesEqual(x.name, change.name); });
    if (f == next.fields.end()) ThrowJet(jeterr::kItemNotFound, {}, kSourceField);
    if (f->type == JetType::kNone) ThrowJet(jeterr::kInvalidFieldType, {}, kSourceField);
    f->required = change.required;
    f->allowZeroLength = change.allowZeroLength;
    f->defaultValue = change.defaultValue;
  }
  CheckTable(next, next.fields.size());
  return next;
}

std::optional<std::string> DefaultSql(const FieldSpec& field) {
  std::string_view d = TrimBlanks(field.defaultValue);
  if (!d.empty() && d.front() == '=') d = TrimBlanks(d.substr(1));
  if (d.empty()) return std::nullopt;
  std::string lower = LCase(d);
  std::string out;
  if (IsNumberLiteral(d)) {
    if (field.type == JetType::kBoolean)
      return std::string(d.find_first_not_of("+-0.") == std::string_view::npos ? "0" : "-1");
    if (IsTextType(field.type)) {
      AppendLiteral(out, d);
      return out;
    }
    return std::string(d);
  }
  if (d.size() >= 2 && (d.front() == '"' || d.front() == '\'') && d.back() == d.front()) {
    std::string text;
    for (size_t i = 1; i + 1 < d.size(); ++i) {
      text += d[i];
      if (d[i] == d.front() && d[i + 1] == d.front()) ++i;  // a doubled quote
    }
    AppendLiteral(out, text);
    return out;
  }
  if (lower == "true" || lower == "yes" || lower == "on") return "-1";
  if (lower == "false" || lower == "no" || lower == "off") return "0";
  if (lower == "null") return "NULL";
  if (lower == "now()") return "(jet_now())";
  if (lower == "date()") return "(jet_date())";
  if (lower == "time()") return "(jet_time())";
  ThrowJet(jeterr::kInvalidArgument, {}, kSourceField);
}

std::string ColumnSql(std::string_view table, const FieldSpec& f, bool primaryKeyField,
                      std::optional<std::string_view> native) {
  const TypeSql* t = FindType(f.type);
  std::string out;
  AppendQuoted(out, f.name);
  out += ' ';
  if (!t) {
    if (f.type != JetType::kNone || !native) ThrowJet(jeterr::kInvalidFieldType, {}, kSourceField);
    out += *native;
    if (primaryKeyField)
      AppendCheck(out, kCheckPrimary, table, f.name, Substitute("$ IS NOT NULL", f.name));
    return out;
  }
  out += t->decl;
  if (f.autoIncrement) out += " PRIMARY KEY AUTOINCREMENT";
  if (IsTextType(f.type)) out += std::string(" COLLATE ") + kJetCollation;
  if (f.required) out += " NOT NULL";
  if (auto d = DefaultSql(f)) out += " DEFAULT " + *d;
  if (!t->check.empty()) AppendCheck(out, kCheckType, table, f.name, Substitute(t->check, f.name));
  if (f.type == JetType::kText || f.type == JetType::kChar) {
    int32_t size = f.size > 0 ? f.size : 255;
    AppendCheck(out, kCheckSize, table, f.name,
                Substitute("jet_len($) <= " + std::to_string(size), f.name));
  }
  if (IsTextType(f.type) && !f.allowZeroLength)
    AppendCheck(out, kCheckZeroLength, table, f.name, Substitute("length($) > 0", f.name));
  if (primaryKeyField)
    AppendCheck(out, kCheckPrimary, table, f.name, Substitute("$ IS NOT NULL", f.name));
  return out;
}

std::string CreateTableSql(const TableSpec& table, std::span<const std::string> native) {
  const IndexSpec* primary = nullptr;
  for (const IndexSpec& x : table.indexes)
    if (x.primary) primary = &x;
  std::string out = "CREATE TABLE ";
  AppendQuoted(out, table.name);
  out += " (";
  size_t kept = 0;
  for (size_t i = 0; i < table.fields.size(); ++i) {
    const FieldSpec& f = table.fields[i];
    bool inPrimary = false;
    if (primary)
      for (const IndexField& k : primary->fields)
        inPrimary = inPrimary || NamesEqual(k.name, f.name);
    if (i > 0) out += ", ";
    std::optional<std::string_view> declared;
    if (f.type == JetType::kNone && kept < native.size()) declared = native[kept++];
    out += ColumnSql(table.name, f, inPrimary, declared);
  }
  out += ")";
  return out;
}

std::string CreateIndexSql(std::string_view table, const IndexSpec& index) {
  std::string out = index.primary || index.unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ";
  AppendQuoted(out, index.sqliteName);
  out += " ON ";
  AppendQuoted(out, table);
  out += " (";
  for (size_t i = 0; i < index.fields.size(); ++i) {
    if (i > 0) out += ", ";
    AppendQuoted(out, index.fields[i].name);
    if (index.fields[i].descending) out += " DESC";
  }
  out += ")";
  return out;
}

}  // namespace qv::jet::ddl
