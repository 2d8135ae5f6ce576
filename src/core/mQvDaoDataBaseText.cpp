// Field readers, one-column lists, SQL literals, dictionary statements and
// value descriptions of the toolkit.

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/mErrorHandling.h"
#include "core/mQvCommonCalc.h"
#include "core/mQvDaoDataBase.h"
#include "platform/automation/VbaDate.h"
#include "platform/automation/VbaText.h"

namespace qv::mQvDaoDataBase {

namespace {

// How many characters of a caller's text an error quotes.
constexpr int32_t kShownChars = 60;

// The field's value, or nullptr when the recordset cannot give it.
const Variant* FieldOrNull(const dao::Recordset& rs, std::string_view field) {
  try {
    return &rs.FieldValue(field);
  } catch (...) {
    return nullptr;
  }
}

template <class T, class F>
T ReadOr(const dao::Recordset& rs, std::string_view field, T def, F&& convert) {
  const Variant* v = FieldOrNull(rs, field);
  return v ? mQvCommonCalc::ConvertOr(*v, def, convert) : def;
}

std::string Joined(const DaoRecordsetPtr& rs, std::string_view field, std::string_view separator,
                   std::string_view noRows,
                   const std::function<std::string(const dao::Recordset&)>& item) {
  try {
    if (!rs || !IsDaoFieldExists(*rs, field)) return std::string(noRows);
    DaoSafeMoveFirst(*rs);
    if (rs->IsEOF()) return std::string(noRows);
    std::string out;
    bool first = true;
    while (!rs->IsEOF()) {
      if (!first) out += separator;
      out += item(*rs);
      first = false;
      rs->MoveNext();
    }
    return out;
  } catch (...) {
    return std::string(noRows);
  }
}

// A date whose day part is not 0 (mQvCommonCalc::IsEmptyDate), split.
std::optional<DateParts> NonEmptyDate(const Variant& value) {
  if (mQvCommonCalc::IsEmptyDate(value)) return std::nullopt;
  return SplitDate(CDate(value));
}

// Error 6 for a number no literal stands for.
void CheckFinite(double value) {
  if (!std::isfinite(value)) ThrowVb(vberr::kOverflow, "a number for a statement");
}

// Error 5 for a text too long to go into a statement.
void CheckStatementText(std::string_view text) {
  if (text.size() > kMaxQStringBytes)
    ThrowVb(vberr::kInvalidProcedureCall, "a text of " + std::to_string(text.size()) +
                                              " bytes is too long for a statement (" +
                                              std::to_string(kMaxQStringBytes) + " at most): \"" +
                                              std::string(Left(text, 40)) + "...\"");
}

// The 36 digits and hyphens of a GUID given with or without braces and
// spaces around; error 5 naming `what` for anything else.
std::string_view GuidDigits(std::string_view guid, std::string_view what) {
  std::string_view g = guid;
  while (!g.empty() && g.front() == ' ') g.remove_prefix(1);
  while (!g.empty() && g.back() == ' ') g.remove_suffix(1);
  if (g.size() == 38 && g.front() == '{' && g.back() == '}') g = g.substr(1, 36);
  bool valid = g.size() == 36;
  for (size_t i = 0; valid && i < g.size(); ++i) {
    const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
    valid = hyphen ? g[i] == '-' : std::isxdigit(static_cast<unsigned char>(g[i])) != 0;
  }
  if (!valid)
    ThrowVb(vberr::kInvalidProcedureCall,
            std::string(what) + ": \"" + std::string(Left(guid, 60)) + "\" is not a GUID");
  return g;
}

std::string DateSerialText(const DateParts& p) {
  return "DateSerial(" + std::to_string(p.year) + ", " + std::to_string(p.month) + ", " +
         std::to_string(p.day) + ")";
}

}  // namespace

// ---- field readers

std::string GetDaoString(const dao::Recordset& rs, std::string_view field) {
  return GetDaoStringDef(rs, field, "");
}

std::string GetDaoStringDef(const dao::Recordset& rs, std::string_view field,
                            const std::string& def) {
  return ReadOr<std::string>(rs, field, def,
                             [&](const Variant& v) { return mQvCommonCalc::VarToStr(v, def); });
}

int32_t GetDaoLong(const dao::Recordset& rs, std::string_view field) {
  return ReadOr<int32_t>(rs, field, 0, [](const Variant& v) { return CLng(v); });
}

double GetDaoDouble(const dao::Recordset& rs, std::string_view field) {
  return GetDaoDoubleDef(rs, field, 0);
}

double GetDaoDoubleDef(const dao::Recordset& rs, std::string_view field, double def) {
  return ReadOr<double>(rs, field, def, [](const Variant& v) { return CDbl(v); });
}

OleDate GetDaoDate(const dao::Recordset& rs, std::string_view field) {
  return ReadOr<OleDate>(rs, field, OleDate{0}, [](const Variant& v) { return CDate(v); });
}

bool GetDaoBool(const dao::Recordset& rs, std::string_view field) {
  return ReadOr<bool>(rs, field, false, [](const Variant& v) { return CBool(v); });
}

// ---- lists

std::string GetDelimitedNumberFieldValuesFromDaoRS(const DaoRecordsetPtr& rs,
                                                   std::string_view field, double def,
                                                   std::string_view separator,
                                                   std::string_view noRows) {
  return Joined(rs, field, separator, noRows, [&](const dao::Recordset& r) {
    return Number2DaoSql(GetDaoDoubleDef(r, field, def));
  });
}

std::string GetDelimitedStringFieldValuesFromDaoRS(const DaoRecordsetPtr& rs,
                                                   std::string_view field, const std::string& def,
                                                   std::string_view separator,
                                                   std::string_view noRows) {
  return Joined(rs, field, separator, noRows,
                [&](const dao::Recordset& r) { return GetDaoStringDef(r, field, def); });
}

// ---- literals

std::string Number2DaoSql(double value) {
  CheckFinite(value);
  if (std::trunc(value) == value && std::fabs(value) < 1e18) {
    // Whole numbers below 1e18 are exact as 64-bit integers, whose digits
    // are written without the floating-point formatter (every statement
    // carrying an identifier builds a few). A negative zero stays "-0".
    if (value == 0 && std::signbit(value)) return "-0";
    char buf[24];
    const auto end = std::to_chars(buf, buf + sizeof buf, static_cast<int64_t>(value)).ptr;
    return std::string(buf, end);
  }
  return FormatVbDouble(value);
}

double Number2DaoValue(double value) {
  CheckFinite(value);
  // A whole number's text is its digits, read back as the integer they
  // are ("-0" as 0); any other is read back from VB's digits.
  if (std::trunc(value) == value && std::fabs(value) < 1e18) return value == 0 ? 0.0 : value;
  return std::strtod(FormatVbDouble(value).c_str(), nullptr);
}

std::string IdList2DaoSql(std::string_view ids, std::string_view what, std::string_view separator) {
  auto refuse = [&](std::string_view why) {
    constexpr size_t kShown = 60;
    std::string shown(ids.substr(0, kShown));
    if (ids.size() > kShown) shown += "...";
    ThrowVb(vberr::kInvalidProcedureCall, std::string(what) +
                                              ": an identifier list is numbers separated by "
                                              "\";\" or \",\" (" +
                                              std::string(why) + "): \"" + shown + "\"");
  };
  std::string out;
  out.reserve(std::min(ids.size(), kMaxIdListItems * (kMaxIdListItemChars + 1)) * 5 / 4);
  size_t pos = 0;
  for (size_t count = 1;; ++count) {
    if (count > kMaxIdListItems)
      refuse("more than " + std::to_string(kMaxIdListItems) + " identifiers");
    const size_t end = std::min(ids.find_first_of(";,", pos), ids.size());
    std::string_view item = ids.substr(pos, end - pos);
    // Spaces only: a tab or line break in a list is refused with the item.
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
    if (item.empty()) refuse("an empty item");
    if (item.size() > kMaxIdListItemChars)
      refuse("an identifier of more than " + std::to_string(kMaxIdListItemChars) + " characters");
    std::string_view digits = item;
    if (digits.front() == '-' || digits.front() == '+') digits.remove_prefix(1);
    int points = 0, figures = 0, others = 0;
    for (char c : digits) {
      if (c == '.')
        ++points;
      else if (c >= '0' && c <= '9')
        ++figures;
      else
        ++others;
    }
    if (others > 0 || figures == 0 || points > 1)
      refuse("\"" + std::string(item) + "\" is not a number");
    if (!out.empty()) out += separator;
    out += item;
    if (end == ids.size()) break;
    pos = end + 1;
  }
  return out;
}

std::string DaoQString(std::string_view text) {
  CheckStatementText(text);
  std::string out = "\"";
  out.reserve(text.size() + 2);
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 32)
      out += ' ';
    else if (c == '"')
      out += "\"\"";
    else
      out += c;
  }
  out += '"';
  return out;
}

std::string DaoQStringValue(std::string_view text) {
  CheckStatementText(text);
  std::string out(text);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 32) c = ' ';
  return out;
}

std::string Guid2DaoSql(std::string_view guid, std::string_view what) {
  return "{guid {" + std::string(GuidDigits(guid, what)) + "}}";
}

std::string Guid2DaoValue(std::string_view guid, std::string_view what) {
  // The digits are checked: hex digits and hyphens, upper-cased in place.
  const std::string_view digits = GuidDigits(guid, what);
  std::string out(digits.size() + 2, '{');
  for (size_t i = 0; i < digits.size(); ++i) {
    const char c = digits[i];
    out[i + 1] = c >= 'a' && c <= 'f' ? static_cast<char>(c - 'a' + 'A') : c;
  }
  out.back() = '}';
  return out;
}

std::string Date2DaoSql(const Variant& date, std::string_view emptyText) {
  const auto parts = NonEmptyDate(date);
  return parts ? DateSerialText(*parts) : std::string(emptyText);
}

std::string DateTime2DaoSql(const Variant& dateTime, std::string_view emptyText) {
  const auto p = NonEmptyDate(dateTime);
  if (!p) return std::string(emptyText);
  return "(" + DateSerialText(*p) + " + TimeSerial(" + std::to_string(p->hour) + ", " +
         std::to_string(p->minute) + ", " + std::to_string(p->second) + "))";
}

double DateTime2DaoValue(const Variant& dateTime, double emptyValue) {
  const auto p = NonEmptyDate(dateTime);
  if (!p) return emptyValue;
  // The sum the text's two functions make.
  return DateSerial(p->year, p->month, p->day).serial +
         TimeSerial(p->hour, p->minute, p->second).serial;
}

std::string DateRange2DaoQuery(std::string_view field, const Variant& begin, const Variant& end,
                               bool andBefore, bool andAfter) {
  constexpr std::string_view kEmpty = "DateSerial(1899,12,31)";
  const bool hasBegin = !mQvCommonCalc::IsEmptyDate(begin);
  const bool hasEnd = !mQvCommonCalc::IsEmptyDate(end);
  const std::string name(field);
  std::string condition;
  if (hasBegin && hasEnd)
    condition =
        name + " between " + Date2DaoSql(begin, kEmpty) + " and " + Date2DaoSql(end, kEmpty);
  else if (hasBegin)
    condition = name + " >= " + Date2DaoSql(begin, kEmpty);
  else if (hasEnd)
    condition = name + " <= " + Date2DaoSql(end, kEmpty);
  else
    return {};
  return " " + std::string(andBefore ? "and " : "") + "(" + condition + ")" +
         (andAfter ? " and" : "") + " ";
}

void RequireDateOrEmpty(const Variant& bound, std::string_view what) {
  if (bound.IsEmptyOrNull() || bound.IsMissing() || bound.IsDate()) return;
  if (bound.IsString() &&
      (Trim(bound.AsString()).empty() || ParseVbDate(bound.AsString()).has_value()))
    return;
  ThrowVb(vberr::kTypeMismatch,
          std::string(what) + " is neither a date nor empty: " +
              (bound.IsString() ? "\"" + std::string(Left(bound.AsString(), 60)) + "\""
                                : DescribeValue(bound)));
}

// ---- dictionary statements

std::string BuildDictQuery(const std::string& aTable, const std::string& aIDs,
                           const std::string& aFilter, const std::string& aSearchFields,
                           const std::string& aOrder, const std::string& aKeyField,
                           const std::string& aExtraFields) {
  std::string sql = "SELECT " + aTable + ".* ";
  if (!aExtraFields.empty()) sql += ", " + aExtraFields;
  if (!aSearchFields.empty()) {
    std::string expression;
    if (aSearchFields.front() == '@') {
      expression = aSearchFields.substr(1);
    } else {
      size_t start = 0;
      while (start <= aSearchFields.size()) {
        size_t comma = aSearchFields.find(',', start);
        if (comma == std::string::npos) comma = aSearchFields.size();
        const std::string f = Trim(aSearchFields.substr(start, comma - start));
        if (!expression.empty()) expression += " + \"|\" + ";
        expression += "iif (IsNull (" + f + ")," + " \"\"" + ", CStr (" + f + "))";
        start = comma + 1;
      }
    }
    sql += ", " + expression + " AS SeekName ";
  }
  sql += " From " + aTable;
  std::string conditions;
  if (!aIDs.empty()) {
    const std::string list = IdList2DaoSql(aIDs, "GetDictQuery (" + aTable + ")", ",");
    if (aIDs.find(';') != std::string::npos)
      conditions = " " + aKeyField + " IN (" + list + ")";
    else
      conditions = " (" + aKeyField + " = " + list + ") ";
  }
  if (!aFilter.empty()) conditions += (conditions.empty() ? "" : " and ") + aFilter;
  if (!conditions.empty()) sql += " Where " + conditions;
  if (!aOrder.empty()) sql += " order by " + aOrder;
  return sql + ";";
}

// ---- value descriptions

std::string DescribeValue(const Variant& value) {
  const auto labelled = [&](const char* label) { return std::string(label) + CStr(value); };
  switch (value.Type()) {
    case VarType::kEmpty:
      return "Empty";
    case VarType::kNull:
      return "Null";
    case VarType::kString: {
      // Only the first 60 characters: a refused long text must not fill
      // the error (docs/security.md).
      const std::string& s = value.AsString();
      const int32_t length = Len(s);
      if (length <= kShownChars) return "(String) \"" + s + "\"";
      return "(String) \"" + Left(s, kShownChars) + "...\" (" + std::to_string(length) +
             " characters)";
    }
    case VarType::kDouble:
      return labelled("(Double) ");
    case VarType::kLong:
      return labelled("(Long) ");
    case VarType::kDate:
      return labelled("(Date) ");
    case VarType::kBoolean:
      return labelled("(Bool) ");
    case VarType::kByte:
      return labelled("(Byte) ");
    case VarType::kInteger:
      return labelled("(Integer) ");
    case VarType::kSingle:
      return labelled("(Single) ");
    case VarType::kCurrency:
      return labelled("(Currency) ");
    case VarType::kObject:
      return "(Object) ";
    case VarType::kError:
      return "(Error)";
    default:
      break;
  }
  char hex[16];
  std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(value.VbVarType()));
  return "(0x" + std::string(hex) + ") ???";
}

}  // namespace qv::mQvDaoDataBase
