#include "CallArgs.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ado/Recordset.h"
#include "platform/automation/Error.h"
#include "platform/automation/Object.h"
#include "platform/automation/VbaDate.h"
#include "platform/automation/VbaText.h"
#include "siblings/records/RecordFactory.h"

namespace qvdb {

using qv::Variant;

namespace {

[[noreturn]] void Bad(std::string_view text, std::string_view why) {
  qv::ThrowVb(qv::vberr::kInvalidProcedureCall,
              "argument \"" + std::string(text) + "\": " + std::string(why));
}

Variant ParseDate(std::string_view text, std::string_view whole) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  char tail = 0;
  const std::string t(text);
  const int n =
      std::sscanf(t.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &tail);
  if (!(n == 3 && t.size() == 10) && !(n == 6 && t.size() == 19))
    Bad(whole, "expected d:YYYY-MM-DD or d:YYYY-MM-DDTHH:MM:SS");
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59)
    Bad(whole, "no such date");
  const qv::OleDate date = qv::MakeDate({y, mo, d, h, mi, s});
  if (qv::SplitDate(date).day != d) Bad(whole, "no such date");
  return Variant(date);
}

// Splits "A=1,B=x" or "1,s:x,[2,3]" at commas outside braces and brackets.
std::vector<std::string_view> SplitAtCommas(std::string_view body) {
  std::vector<std::string_view> parts;
  int depth = 0;
  size_t start = 0;
  for (size_t i = 0; i < body.size(); ++i) {
    if (body[i] == '{' || body[i] == '[')
      ++depth;
    else if (body[i] == '}' || body[i] == ']')
      --depth;
    else if (body[i] == ',' && depth == 0) {
      parts.push_back(body.substr(start, i - start));
      start = i + 1;
    }
  }
  if (start < body.size()) parts.push_back(body.substr(start));
  return parts;
}

Variant ParseObject(std::string_view text) {
  std::string_view spec = text.substr(1);
  std::string_view props;
  if (const size_t brace = spec.find('{'); brace != std::string_view::npos) {
    if (spec.back() != '}') Bad(text, "missing closing brace");
    props = spec.substr(brace + 1, spec.size() - brace - 2);
    spec = spec.substr(0, brace);
  }
  if (spec.empty()) Bad(text, "no ProgID after @");
  std::string progId(spec);
  if (progId.find('.') == std::string::npos) {
    progId = "Qv_DBProvider." + progId;
    // "@QvPerson" for a record class of another library: the ProgID to write.
    if (!qv::ProgIdRegistry::Find(progId))
      for (const std::string& other : qv::ProgIdRegistry::ProgIds())
        if (qv::EqualsAsciiNoCase(other.substr(other.find('.') + 1), spec))
          qv::ThrowVb(qv::vberr::kCannotCreateObject, progId + " (argument \"" + std::string(text) +
                                                          "\"): did you mean @" + other + "?");
  }
  std::vector<std::pair<std::string, Variant>> values;
  for (std::string_view prop : SplitAtCommas(props)) {
    const size_t eq = prop.find('=');
    if (eq == std::string_view::npos || eq == 0) Bad(text, "property without Name=value");
    values.emplace_back(std::string(prop.substr(0, eq)), ParseCallArg(prop.substr(eq + 1)));
  }
  return Variant(qv::records::CreateWithProperties(progId, values));
}

// "[a,b,...]": an array from 0 of the arguments inside, each in any form;
// "[]" has no elements. A comma always separates elements.
Variant ParseArray(std::string_view text) {
  if (text.back() != ']') Bad(text, "missing closing bracket");
  const std::string_view body = text.substr(1, text.size() - 2);
  std::vector<Variant> items;
  if (!body.empty() && body.back() == ',') Bad(text, "an empty element");
  if (!body.empty())
    for (std::string_view item : SplitAtCommas(body)) {
      if (item.empty()) Bad(text, "an empty element");
      items.push_back(ParseCallArg(item));
    }
  return Variant(qv::VariantArray::Of(std::move(items)));
}

// The column type for a column whose first value (not Null) is `v`.
int32_t ColumnType(const Variant& v) {
  switch (v.Type()) {
    case qv::VarType::kBoolean:
      return qv::ado::adBoolean;
    case qv::VarType::kInteger:
    case qv::VarType::kLong:
      return qv::ado::adInteger;
    case qv::VarType::kDouble:
      return qv::ado::adDouble;
    case qv::VarType::kDate:
      return qv::ado::adDate;
    default:
      return qv::ado::adLongVarWChar;
  }
}

// "rs:[{Name=value,...},...]": an open ADODB.Recordset with one row per
// {...}; the columns are the names in the order they first appear, each
// typed by its first value that is not Null (a text otherwise); a name a
// row leaves out is Null in it.
Variant ParseRecordset(std::string_view text) {
  const std::string_view body = text.substr(3);
  if (!body.starts_with("[") || !body.ends_with("]")) Bad(text, "rs: needs [{Name=value,...},...]");
  std::vector<std::string> columns;
  std::vector<std::vector<std::pair<size_t, Variant>>> rows;
  const std::string_view inner = body.substr(1, body.size() - 2);
  if (!inner.empty())
    for (std::string_view row : SplitAtCommas(inner)) {
      if (!row.starts_with("{") || !row.ends_with("}")) Bad(text, "a row is {Name=value,...}");
      auto& values = rows.emplace_back();
      const std::string_view props = row.substr(1, row.size() - 2);
      if (props.empty()) continue;
      for (std::string_view prop : SplitAtCommas(props)) {
        const size_t eq = prop.find('=');
        if (eq == std::string_view::npos || eq == 0) Bad(text, "a value without Name=");
        const std::string name(prop.substr(0, eq));
        size_t col = 0;
        while (col < columns.size() && !qv::EqualsAsciiNoCase(columns[col], name)) ++col;
        if (col == columns.size()) columns.push_back(name);
        values.emplace_back(col, ParseCallArg(prop.substr(eq + 1)));
      }
    }
  if (columns.empty()) Bad(text, "rs: needs at least one Name=value");
  auto rs = std::make_shared<qv::ado::Recordset>();
  for (size_t col = 0; col < columns.size(); ++col) {
    Variant first = Variant::Null();
    for (const auto& row : rows)
      for (const auto& [c, v] : row)
        if (c == col && first.IsNull() && !v.IsNull()) first = v;
    rs->AppendField(columns[col], ColumnType(first), 0,
                    qv::ado::adFldIsNullable | qv::ado::adFldMayBeNull);
  }
  rs->Open();
  for (const auto& row : rows) {
    std::vector<Variant> values(columns.size(), Variant::Null());
    for (const auto& [c, v] : row) values[c] = v;
    rs->AppendRow(std::move(values));
  }
  if (!rows.empty()) rs->MoveFirst();
  return Variant(qv::ObjectPtr(rs));
}

// A number as a program writes it: a sign, digits with one decimal point,
// an exponent. VB's other readings ("1,5", "1 000", "&H10", "1D3") stay
// texts, which an operation taking a number still reads so.
std::optional<double> PlainNumber(std::string_view text) {
  size_t i = 0, digits = 0;
  auto skipDigits = [&] {
    const size_t from = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    return i - from;
  };
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  digits += skipDigits();
  if (i < text.size() && text[i] == '.') ++i, digits += skipDigits();
  if (digits == 0) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    if (skipDigits() == 0) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;
  const double value = std::strtod(std::string(text).c_str(), nullptr);
  if (std::isinf(value)) return std::nullopt;
  return value;
}

}  // namespace

Variant ParseCallArg(std::string_view text) {
  if (text.starts_with("s:")) return Variant(text.substr(2));
  if (text.starts_with("i:")) {
    // A Long as typed: a fraction is refused, not rounded to a whole number.
    auto n = PlainNumber(text.substr(2));
    if (!n || *n != std::floor(*n)) Bad(text, "i: needs a whole number");
    if (*n < INT32_MIN || *n > INT32_MAX)
      qv::ThrowVb(qv::vberr::kOverflow, "argument \"" + std::string(text) +
                                            "\": out of the range of Long (-2147483648 to "
                                            "2147483647)");
    return Variant(static_cast<int32_t>(*n));
  }
  if (text.starts_with("d:")) return ParseDate(text.substr(2), text);
  if (text.starts_with("@")) return ParseObject(text);
  if (text.starts_with("rs:")) return ParseRecordset(text);
  if (text.starts_with("[")) return ParseArray(text);
  if (text == "true") return Variant(true);
  if (text == "false") return Variant(false);
  if (text == "null") return Variant::Null();
  if (text == "empty") return Variant();
  if (text == "nothing") return Variant::Nothing();
  if (auto n = PlainNumber(text)) return Variant(*n);
  return Variant(text);
}

}  // namespace qvdb
