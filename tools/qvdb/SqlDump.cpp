#include "SqlDump.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ostream>

#include "core/mQvDaoDataBase.h"
#include "platform/automation/Error.h"
#include "platform/automation/VbaDate.h"
#include "platform/automation/VbaText.h"

namespace qvdb {

using qv::Variant;
using qv::VarType;
using qv::jet::JetType;
namespace sqlx = qv::mQvDaoDataBase;

namespace {

// Jet SQL's type word of a column (its definitions' names differ: a Long
// is LONG, an Integer SHORT).
std::string SqlType(const qv::jet::FieldSpec& f) {
  const auto sized = [&](const char* word) {
    return std::string(word) + "(" + std::to_string(f.size == 0 ? 255 : f.size) + ")";
  };
  switch (f.type) {
    case JetType::kText:
    case JetType::kChar:
      return sized("TEXT");
    case JetType::kMemo:
      return "MEMO";
    case JetType::kByte:
      return "BYTE";
    case JetType::kInteger:
      return "SHORT";
    case JetType::kLong:
      return f.autoIncrement ? "COUNTER" : "LONG";
    case JetType::kSingle:
      return "SINGLE";
    case JetType::kDouble:
    case JetType::kFloat:
      return "DOUBLE";
    case JetType::kCurrency:
      return "CURRENCY";
    case JetType::kDate:
    case JetType::kTime:
      return "DATETIME";
    case JetType::kBoolean:
      return "BIT";
    case JetType::kGUID:
      return "GUID";
    case JetType::kBinary:
    case JetType::kVarBinary:
      return sized("BINARY");
    case JetType::kLongBinary:
      return "LONGBINARY";
    case JetType::kDecimal:
    case JetType::kNumeric:
      return "DECIMAL";
    case JetType::kBigInt:
      return "DOUBLE";
    case JetType::kNone:
      break;
  }
  return "TEXT(255)";
}

// Number2DaoSql writes the digits VB shows (15 significant); where they do
// not read back as the same Double the shortest exact digits are written.
std::string NumberLiteral(double d) {
  std::string text = sqlx::Number2DaoSql(d);
  if (std::strtod(text.c_str(), nullptr) == d) return text;
  for (int precision = 15; precision <= 17; ++precision) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.*g", precision, d);
    if (std::strtod(buf, nullptr) == d) return buf;
  }
  return text;
}

// DaoQString's quoted texts joined by "&", with Chr(n) for each control
// character (which DaoQString would make a space) and the text cut into
// pieces DaoQString takes.
std::string TextLiteral(std::string_view text) {
  constexpr size_t kPiece = 32768;
  std::string out;
  auto add = [&](const std::string& part) { out += (out.empty() ? "" : " & ") + part; };
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    const bool control = i < text.size() && static_cast<unsigned char>(text[i]) < 32;
    // A piece ends before a control character, at the end, or at a
    // character boundary once it is long.
    const bool boundary = i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
    if (control || i == text.size() || (i - start >= kPiece && boundary)) {
      if (i > start || (i == text.size() && out.empty()))
        add(sqlx::DaoQString(text.substr(start, i - start)));
      if (control) {
        add("Chr(" + std::to_string(static_cast<int>(text[i])) + ")");
        start = i + 1;
      } else {
        start = i;
      }
    }
  }
  return out;
}

std::string DateLiteral(const Variant& v) {
  const qv::DateParts p = qv::SplitDate(qv::OleDate{v.AsDateSerial()});
  const bool hasTime = p.hour || p.minute || p.second;
  // The day 30.12.1899 is the builders' empty date: written as its time.
  const std::string time = "TimeSerial(" + sqlx::Number2DaoSql(p.hour) + ", " +
                           sqlx::Number2DaoSql(p.minute) + ", " + sqlx::Number2DaoSql(p.second) +
                           ")";
  return hasTime ? sqlx::DateTime2DaoSql(v, time) : sqlx::Date2DaoSql(v, time);
}

}  // namespace

std::string SqlName(const std::string& name) {
  bool plain = !name.empty() && !(name[0] >= '0' && name[0] <= '9');
  for (unsigned char c : name)
    if (!(c >= 0x80 || c == '_' || (c >= '0' && c <= '9') ||
          ((c | 0x20) >= 'a' && (c | 0x20) <= 'z')))
      plain = false;
  return plain ? name : "[" + name + "]";
}

std::string DumpLiteral(const Variant& v) {
  switch (v.Type()) {
    case VarType::kNull:
    case VarType::kEmpty:
      return "Null";
    case VarType::kBoolean:
      return qv::CBool(v) ? "True" : "False";
    case VarType::kDate:
      return DateLiteral(v);
    case VarType::kString:
      return TextLiteral(v.AsString());
    case VarType::kByte:
    case VarType::kInteger:
    case VarType::kLong:
    case VarType::kSingle:
    case VarType::kDouble:
    case VarType::kCurrency:
      return NumberLiteral(qv::CDbl(v));
    default:
      return "Null";
  }
}

namespace {

// Every name in brackets: a column may be named by a reserved word.
std::string Br(const std::string& n) {
  return "[" + n + "]";
}

}  // namespace

std::string CreateTableStatement(const qv::jet::TableSpec& spec) {
  std::string out = "CREATE TABLE " + Br(spec.name) + " (";
  for (size_t i = 0; i < spec.fields.size(); ++i) {
    const auto& f = spec.fields[i];
    out += (i ? ", " : "") + Br(f.name) + ' ' + SqlType(f);
    if (f.required) out += " NOT NULL";
    if (!f.defaultValue.empty()) out += " DEFAULT " + f.defaultValue;
  }
  return out + ")";
}

std::vector<std::string> CreateIndexStatements(const qv::jet::TableSpec& spec) {
  std::vector<std::string> statements;
  for (const auto& idx : spec.indexes) {
    std::string out = "CREATE " + std::string(idx.unique && !idx.primary ? "UNIQUE " : "") +
                      "INDEX " + Br(idx.name) + " ON " + Br(spec.name) + " (";
    for (size_t i = 0; i < idx.fields.size(); ++i)
      out += (i ? ", " : "") + Br(idx.fields[i].name) + (idx.fields[i].descending ? " DESC" : "");
    statements.push_back(out + ")" + (idx.primary ? " WITH PRIMARY" : ""));
  }
  return statements;
}

void DumpTables(qv::jet::Connection& conn, const std::vector<std::string>& tables,
                std::ostream& out) {
  auto& catalog = conn.Schema();
  for (const std::string& table : tables) {
    auto spec = catalog.FindTable(table);
    if (!spec)
      throw qv::Error(qv::jet::jeterr::kTableNotFound, "Table '" + table + "' does not exist.");
    const std::string name = Br(spec->name);
    out << CreateTableStatement(*spec) << ";\n";
    std::string columns;
    for (size_t i = 0; i < spec->fields.size(); ++i)
      columns += (i ? ", " : "") + Br(spec->fields[i].name);
    auto st = conn.Prepare("select " + columns + " from " + name);
    std::vector<Variant> row(spec->fields.size());
    size_t bytes = 0;
    while (st.Step()) {
      st.Values(row);
      out << "INSERT INTO " << name << " (" << columns << ") VALUES (";
      for (size_t i = 0; i < row.size(); ++i) {
        if (row[i].IsByteArray() && !row[i].AsBytes().bytes.empty()) ++bytes;
        out << (i ? ", " : "") << DumpLiteral(row[i]);
      }
      out << ");\n";
    }
    if (bytes)
      out << "-- " << bytes << " byte values of " << spec->name
          << " written as Null: Jet SQL has no literal for them\n";
    for (const std::string& index : CreateIndexStatements(*spec)) out << index << ";\n";
  }
}

}  // namespace qvdb
