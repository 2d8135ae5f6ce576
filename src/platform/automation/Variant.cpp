#include "platform/automation/Variant.h"

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "platform/automation/Error.h"
#include "platform/automation/Object.h"
#include "platform/automation/VariantAccess.h"
#include "platform/automation/VbaDate.h"
#include "platform/automation/VbaText.h"

namespace qv {

// ---- arrays

VariantArray VariantArray::Of(std::vector<Variant> items, int32_t lower) {
  VariantArray a;
  a.dims.push_back({lower, static_cast<int32_t>(items.size())});
  a.items = std::move(items);
  return a;
}

Variant& VariantArray::At(int32_t i) {
  if (dims.size() != 1 || i < dims[0].lower || i > dims[0].Upper())
    ThrowVb(vberr::kSubscriptOutOfRange);
  return items[static_cast<size_t>(i - dims[0].lower)];
}

const Variant& VariantArray::At(int32_t i) const {
  return const_cast<VariantArray*>(this)->At(i);
}

Variant::Variant(VariantArray v)
    : type_(VarType::kArrayFlag), v_(std::make_shared<VariantArray>(std::move(v))) {}
Variant::Variant(ByteArray v)
    : type_(VarType::kArrayFlag), v_(std::make_shared<ByteArray>(std::move(v))) {}

void Variant::SetString(std::string_view text) {
  if (auto* s = std::get_if<std::string>(&v_)) {
    // A text of its own (not a part of this one) is appended to the
    // emptied string: no check for overlap, and no allocation when it fits.
    const auto from = reinterpret_cast<uintptr_t>(text.data());
    const auto own = reinterpret_cast<uintptr_t>(s->data());
    if (from + text.size() <= own || from > own + s->size()) {
      s->clear();
      s->append(text.data(), text.size());
    } else {
      s->assign(text);
    }
  } else {
    v_ = std::string(text);
  }
  type_ = VarType::kString;
}

Variant Variant::ErrorValue(int32_t scode) {
  Variant v(VarType::kError);
  v.v_ = scode;
  return v;
}

uint16_t Variant::VbVarType() const {
  if (type_ != VarType::kArrayFlag) return static_cast<uint16_t>(type_);
  const auto elem = IsByteArray() ? VarType::kByte : VarType::kVariant;
  return static_cast<uint16_t>(VarType::kArrayFlag) | static_cast<uint16_t>(elem);
}

bool Variant::IsNumericType() const {
  switch (type_) {
    case VarType::kBoolean:
    case VarType::kByte:
    case VarType::kInteger:
    case VarType::kLong:
    case VarType::kSingle:
    case VarType::kDouble:
    case VarType::kCurrency:
      return true;
    default:
      return false;
  }
}

bool Variant::IsNumeric() const {
  if (IsNumericType() || IsEmpty()) return true;
  if (IsString()) return ParseVbNumber(AsString()).has_value();
  return false;
}

const std::string& Variant::AsString() const {
  if (!IsString()) ThrowVb(vberr::kTypeMismatch, "a text was expected");
  return Get<std::string>();
}

const ObjectPtr& Variant::AsObject() const {
  if (!IsObject()) ThrowVb(vberr::kObjectRequired);
  return Get<ObjectPtr>();
}

double Variant::AsDateSerial() const {
  if (!IsDate()) ThrowVb(vberr::kTypeMismatch, "a date was expected");
  return Get<double>();
}

int32_t Variant::AsErrorCode() const {
  if (!IsError()) ThrowVb(vberr::kTypeMismatch);
  return Get<int32_t>();
}

const VariantArray& Variant::AsArray() const {
  if (!IsArray() || IsByteArray()) ThrowVb(vberr::kTypeMismatch, "an array was expected");
  return *Get<VariantArrayPtr>();
}

VariantArray& Variant::AsArrayMut() {
  AsArray();
  auto& p = std::get<VariantArrayPtr>(v_);
  if (p.use_count() > 1) p = std::make_shared<VariantArray>(*p);
  return *p;
}

const ByteArray& Variant::AsBytes() const {
  if (!IsByteArray()) ThrowVb(vberr::kTypeMismatch, "a byte array was expected");
  return *Get<ByteArrayPtr>();
}

ByteArray& Variant::AsBytesMut() {
  AsBytes();
  auto& p = std::get<ByteArrayPtr>(v_);
  if (p.use_count() > 1) p = std::make_shared<ByteArray>(*p);
  return *p;
}

bool operator==(const Variant& a, const Variant& b) {
  if (a.type_ != b.type_ || a.v_.index() != b.v_.index()) return false;
  if (a.IsByteArray())
    return a.AsBytes().lower == b.AsBytes().lower && a.AsBytes().bytes == b.AsBytes().bytes;
  if (a.IsArray())
    return a.AsArray().dims == b.AsArray().dims && a.AsArray().items == b.AsArray().items;
  return a.v_ == b.v_;
}

namespace {

const char* TypeName(VarType t) {
  switch (t) {
    case VarType::kEmpty:
      return "Empty";
    case VarType::kNull:
      return "Null";
    case VarType::kInteger:
      return "Integer";
    case VarType::kLong:
      return "Long";
    case VarType::kSingle:
      return "Single";
    case VarType::kDouble:
      return "Double";
    case VarType::kCurrency:
      return "Currency";
    case VarType::kDate:
      return "Date";
    case VarType::kString:
      return "String";
    case VarType::kObject:
      return "Object";
    case VarType::kError:
      return "Error";
    case VarType::kBoolean:
      return "Boolean";
    case VarType::kByte:
      return "Byte";
    default:
      return "Array";
  }
}

[[noreturn]] void Mismatch(const Variant& v, const char* target) {
  ThrowVb(vberr::kTypeMismatch, std::string("cannot convert ") + v.Describe() + " to " + target);
}

[[noreturn]] void NullUse() {
  ThrowVb(vberr::kInvalidUseOfNull);
}

}  // namespace

std::string Variant::Describe() const {
  switch (type_) {
    case VarType::kEmpty:
    case VarType::kNull:
      return TypeName(type_);
    case VarType::kString:
      return "String \"" + Get<std::string>() + "\"";
    case VarType::kObject:
      return IsNothing() ? "Nothing" : "Object";
    case VarType::kError:
      return "Error " + std::to_string(Get<int32_t>());
    case VarType::kArrayFlag:
      return IsByteArray() ? "Byte()" : "Variant()";
    default:
      return std::string(TypeName(type_)) + " " + CStr(*this);
  }
}

// The numeric value of a numeric-typed, Date or Empty variant.
double NumericValue(const Variant& v) {
  switch (v.type_) {
    case VarType::kEmpty:
      return 0;
    case VarType::kBoolean:
      return v.Get<bool>() ? -1 : 0;
    case VarType::kByte:
      return v.Get<uint8_t>();
    case VarType::kInteger:
      return v.Get<int16_t>();
    case VarType::kLong:
      return v.Get<int32_t>();
    case VarType::kSingle:
      return v.Get<float>();
    case VarType::kDouble:
    case VarType::kDate:
      return v.Get<double>();
    case VarType::kCurrency:
      return static_cast<double>(v.Get<int64_t>()) / 10000.0;
    default:
      Mismatch(v, "a number");
  }
}

// ---- parsing

namespace {

// The length of the digit-group separator `s` starts with, or 0: a space,
// a no-break space (U+00A0, the Russian locale's), a narrow one (U+202F),
// or a comma when a decimal point follows ("1,234.5", as Format writes
// "Standard").
size_t GroupSeparator(std::string_view s, bool pointFollows) {
  if (s.starts_with(' ') || (pointFollows && s.starts_with(','))) return 1;
  if (s.starts_with("\u00A0")) return 2;
  if (s.starts_with("\u202F")) return 3;
  return 0;
}

}  // namespace

std::optional<double> ParseVbNumber(std::string_view text) {
  std::string_view s = TrimWhitespace(text);
  if (s.empty()) return std::nullopt;
  bool negative = false;
  std::string_view body = s;
  if (body.front() == '-' || body.front() == '+') {
    negative = body.front() == '-';
    body.remove_prefix(1);
  }
  if (body.size() > 2 && body[0] == '&' &&
      (body[1] == 'H' || body[1] == 'h' || body[1] == 'O' || body[1] == 'o')) {
    const int base = (body[1] == 'H' || body[1] == 'h') ? 16 : 8;
    std::string digits(body.substr(2));
    char* end = nullptr;
    errno = 0;
    unsigned long long n = std::strtoull(digits.c_str(), &end, base);
    if (*end != '\0' || errno != 0 || n > 0xFFFFFFFFull) return std::nullopt;
    // &H literals are 16- or 32-bit two's complement values in VBA.
    double value = n <= 0xFFFF ? static_cast<int16_t>(n) : static_cast<int32_t>(n);
    return negative ? -value : value;
  }
  // Digits in groups, one decimal mark, an optional exponent; copied as
  // strtod reads them.
  const bool pointFollows = body.find('.') != std::string_view::npos;
  std::string clean;
  clean.reserve(body.size());
  size_t i = 0, digits = 0;
  auto readDigits = [&] {
    size_t n = 0;
    while (i < body.size() && std::isdigit(static_cast<unsigned char>(body[i])))
      clean += body[i++], ++n;
    digits += n;
    return n;
  };
  size_t run = readDigits();
  char groupKind = 0;  // ' ' for the spaces, ',' for commas
  for (size_t first = run; size_t sep = GroupSeparator(body.substr(i), pointFollows);) {
    const char kind = body[i] == ',' ? ',' : ' ';
    if (first == 0 || first > 3 || (groupKind != 0 && groupKind != kind)) return std::nullopt;
    groupKind = kind;
    i += sep;
    if (readDigits() != 3) return std::nullopt;
  }
  if (i < body.size() && (body[i] == '.' || (body[i] == ',' && !pointFollows))) {
    clean += '.';
    ++i;
    readDigits();
  }
  if (digits == 0) return std::nullopt;
  if (i < body.size() && (body[i] == 'E' || body[i] == 'e' || body[i] == 'D' || body[i] == 'd')) {
    clean += 'E';
    size_t j = i + 1;
    if (j < body.size() && (body[j] == '+' || body[j] == '-')) clean += body[j++];
    i = j;
    if (readDigits() == 0) return std::nullopt;
  }
  if (i != body.size()) return std::nullopt;
  errno = 0;
  double value = std::strtod(clean.c_str(), nullptr);
  if (errno == ERANGE && std::isinf(value)) return std::nullopt;
  return negative ? -value : value;
}

namespace {

bool ReadInt(std::string_view& s, int32_t& out, size_t maxDigits) {
  size_t n = 0;
  int32_t v = 0;
  while (n < s.size() && n < maxDigits && std::isdigit(static_cast<unsigned char>(s[n])))
    v = v * 10 + (s[n++] - '0');
  if (n == 0) return false;
  s.remove_prefix(n);
  out = v;
  return true;
}

bool ReadChar(std::string_view& s, char c) {
  if (s.empty() || s.front() != c) return false;
  s.remove_prefix(1);
  return true;
}

bool IsAsciiAlpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// "H:MM[:SS]" or "H AM", with an optional AM/PM (or A/P) after the time,
// spaces allowed before it; the whole rest of the text.
bool ParseTime(std::string_view s, double& fraction) {
  int32_t h = 0, m = 0, sec = 0;
  if (!ReadInt(s, h, 2)) return false;
  const bool colon = ReadChar(s, ':');
  if (colon && !ReadInt(s, m, 2)) return false;
  if (colon && ReadChar(s, ':') && !ReadInt(s, sec, 2)) return false;
  s = TrimWhitespace(s);
  if (!s.empty()) {
    const bool pm = EqualsAsciiNoCase(s, "PM") || EqualsAsciiNoCase(s, "P");
    if (!pm && !EqualsAsciiNoCase(s, "AM") && !EqualsAsciiNoCase(s, "A")) return false;
    if (h < 1 || h > 12) return false;
    h = h % 12 + (pm ? 12 : 0);
  } else if (!colon) {
    return false;
  }
  if (h > 23 || m > 59 || sec > 59) return false;
  fraction = (h * 3600 + m * 60 + sec) / 86400.0;
  return true;
}

// The serial of a calendar date, or nullopt for one that does not exist
// (31.02); two-digit years are 1930..2029.
std::optional<double> CalendarDate(int32_t year, int32_t month, int32_t day) {
  if (month < 1 || month > 12 || day < 1 || day > 31) return std::nullopt;
  if (year < 100) year += year < 30 ? 2000 : 1900;
  const OleDate date = DateSerial(year, month, day);
  if (SplitDate(date).day != day) return std::nullopt;
  return date.serial;
}

// "DD.MM.YYYY", "DD/MM/YYYY", "DD-MM-YYYY" or "YYYY-MM-DD".
std::optional<double> NumericDate(std::string_view s) {
  int32_t a = 0, b = 0, c = 0;
  if (!ReadInt(s, a, 4) || s.empty()) return std::nullopt;
  const char sep = s.front();
  if (sep != '.' && sep != '-' && sep != '/') return std::nullopt;
  s.remove_prefix(1);
  if (!ReadInt(s, b, 2) || !ReadChar(s, sep) || !ReadInt(s, c, 4) || !s.empty())
    return std::nullopt;
  if (sep == '-' && a > 31) return CalendarDate(a, b, c);  // ISO YYYY-MM-DD
  return CalendarDate(c, b, a);                            // the Russian order
}

// A date with the month in words: "12 февраля 1969", "12-фев-69",
// "February 12, 1969", "февраль 1969" (the first day), optionally ending
// in the Russian year mark "г." or "года". Numbers and the word are
// separated by spaces, ".", "-", "/" or ",".
std::optional<double> WordDate(std::string_view s) {
  int32_t numbers[2] = {0, 0};
  size_t digitCounts[2] = {0, 0};
  int count = 0, month = 0, monthAt = -1;
  bool yearMark = false;
  while (!s.empty()) {
    const char c = s.front();
    if (c == ' ' || c == '.' || c == '-' || c == '/' || c == ',') {
      s.remove_prefix(1);
    } else if (std::isdigit(static_cast<unsigned char>(c))) {
      if (count == 2 || yearMark) return std::nullopt;
      const size_t before = s.size();
      if (!ReadInt(s, numbers[count], 4)) return std::nullopt;
      digitCounts[count++] = before - s.size();
      if (!s.empty() && std::isdigit(static_cast<unsigned char>(s.front()))) return std::nullopt;
    } else if (IsAsciiAlpha(c) || static_cast<unsigned char>(c) >= 0x80) {
      size_t n = 0;
      while (n < s.size() && (IsAsciiAlpha(s[n]) || static_cast<unsigned char>(s[n]) >= 0x80)) ++n;
      const std::string_view word = s.substr(0, n);
      s.remove_prefix(n);
      if (month != 0 && !yearMark && (word == "г" || word == "года")) {
        yearMark = true;
      } else {
        if (month != 0) return std::nullopt;
        month = ParseMonthName(word);
        if (month == 0) return std::nullopt;
        monthAt = count;
      }
    } else {
      return std::nullopt;
    }
  }
  if (month == 0 || count == 0) return std::nullopt;
  // the day before the year, the month before or between them
  if (count == 2 && monthAt < 2) return CalendarDate(numbers[1], month, numbers[0]);
  // the month and a year: four digits, or a number no day can be
  if (count == 1 && monthAt == 0 && (digitCounts[0] == 4 || numbers[0] > 31))
    return CalendarDate(numbers[0], month, 1);
  return std::nullopt;
}

}  // namespace

std::optional<OleDate> ParseVbDate(std::string_view text) {
  std::string_view s = TrimWhitespace(text);
  if (s.empty()) return std::nullopt;
  // The time is the number before the first ":" and what follows, or a
  // number with AM/PM at the end; the date is what comes before it.
  std::string_view datePart = s, timePart;
  size_t timeAt = s.find(':');
  if (timeAt == std::string_view::npos) {
    const size_t marker = s.find_last_not_of("AaMmPp");
    const std::string_view tail = s.substr(marker + 1);
    if (marker != std::string_view::npos && tail.size() <= 2 &&
        (EqualsAsciiNoCase(tail, "AM") || EqualsAsciiNoCase(tail, "PM")))
      timeAt = s.find_last_not_of(' ', marker) + 1;
  }
  if (timeAt != std::string_view::npos) {
    while (timeAt > 0 && std::isdigit(static_cast<unsigned char>(s[timeAt - 1]))) --timeAt;
    datePart = s.substr(0, timeAt);
    timePart = s.substr(timeAt);
    if (datePart.ends_with('T') && datePart.size() > 1 &&
        std::isdigit(static_cast<unsigned char>(datePart[datePart.size() - 2])))
      datePart.remove_suffix(1);  // ISO 2007-03-05T14:07
    else if (!datePart.empty() && !datePart.ends_with(' '))
      return std::nullopt;
    datePart = TrimWhitespace(datePart);
  }
  double fraction = 0;
  if (!timePart.empty() && !ParseTime(timePart, fraction)) return std::nullopt;
  if (datePart.empty()) return timePart.empty() ? std::nullopt : std::optional(OleDate{fraction});
  std::optional<double> date = NumericDate(datePart);
  if (!date) date = WordDate(datePart);
  if (!date) return std::nullopt;
  return OleDate{*date < 0 ? *date - fraction : *date + fraction};
}

// ---- formatting

namespace {

// Shortest text of `d` with at most `precision` significant digits, in VB's
// style: fixed notation for exponents -5..precision-1, else "1.5E+20".
std::string FormatFloat(double d, int precision) {
  if (d == 0) return "0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*E", precision - 1, d);
  // buf: [-]D.DDDDE[+-]XX
  std::string s(buf);
  const size_t e = s.find('E');
  std::string mantissa = s.substr(0, e);
  int exponent = std::atoi(s.c_str() + e + 1);
  const bool negative = mantissa[0] == '-';
  if (negative) mantissa.erase(0, 1);
  std::string digits;
  for (char c : mantissa)
    if (c != '.') digits += c;
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  std::string out;
  if (exponent >= precision || exponent < -5) {
    out = digits.substr(0, 1);
    if (digits.size() > 1) out += "." + digits.substr(1);
    char exp[16];
    std::snprintf(exp, sizeof exp, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
    out += exp;
  } else if (exponent < 0) {
    out = "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
  } else {
    const size_t intLen = static_cast<size_t>(exponent) + 1;
    if (digits.size() <= intLen) {
      out = digits + std::string(intLen - digits.size(), '0');
    } else {
      out = digits.substr(0, intLen) + "." + digits.substr(intLen);
    }
  }
  return negative ? "-" + out : out;
}

std::string FormatCurrency(int64_t scaled) {
  const bool negative = scaled < 0;
  const uint64_t mag = negative ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
  std::string out = std::to_string(mag / 10000);
  uint64_t frac = mag % 10000;
  if (frac != 0) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04llu", static_cast<unsigned long long>(frac));
    std::string f(buf);
    while (f.back() == '0') f.pop_back();
    out += "." + f;
  }
  return negative ? "-" + out : out;
}

std::string FormatDate(double serial) {
  const DateParts p = SplitDate(OleDate{serial});
  char buf[48];
  const bool hasTime = p.hour != 0 || p.minute != 0 || p.second != 0;
  const double whole = std::trunc(serial);
  if (whole == 0) {
    std::snprintf(buf, sizeof buf, "%d:%02d:%02d", p.hour, p.minute, p.second);
  } else if (!hasTime) {
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", p.day, p.month, p.year);
  } else {
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d %d:%02d:%02d", p.day, p.month, p.year, p.hour,
                  p.minute, p.second);
  }
  return buf;
}

}  // namespace

std::string FormatVbDouble(double d) {
  return FormatFloat(d, 15);
}

// ---- conversions

std::string CStr(const Variant& v) {
  switch (v.Type()) {
    case VarType::kEmpty:
      return {};
    case VarType::kNull:
      NullUse();
    case VarType::kBoolean:
      return NumericValue(v) != 0 ? "True" : "False";
    case VarType::kByte:
    case VarType::kInteger:
    case VarType::kLong:
      return std::to_string(static_cast<int64_t>(NumericValue(v)));
    case VarType::kSingle:
      return FormatFloat(NumericValue(v), 7);
    case VarType::kDouble:
      return FormatFloat(NumericValue(v), 15);
    case VarType::kCurrency:
      return FormatCurrency(CCur(v).scaled);
    case VarType::kDate:
      return FormatDate(v.AsDateSerial());
    case VarType::kString:
      return v.AsString();
    case VarType::kError:
      return "Error " + std::to_string(v.AsErrorCode());
    default:
      Mismatch(v, "String");
  }
}

int32_t CLngOr(const Variant& v, int32_t def) {
  return v.IsEmpty() || v.IsNull() || v.IsMissing() ? def : CLng(v);
}

double CDblOr(const Variant& v, double def) {
  return v.IsEmpty() || v.IsNull() || v.IsMissing() ? def : CDbl(v);
}

namespace {

// CDbl's number, a text that is neither a number nor a date named as not
// converting to `target` (the type the caller asked for, not Double).
double NumberFor(const Variant& v, const char* target) {
  switch (v.Type()) {
    // The kinds a row's numbers come as, read here without a further call.
    case VarType::kDouble:
    case VarType::kDate:
      return std::get<double>(VariantAccess::Payload(v));
    case VarType::kLong:
      return std::get<int32_t>(VariantAccess::Payload(v));
    case VarType::kNull:
      NullUse();
    case VarType::kString: {
      if (auto d = ParseVbNumber(v.AsString())) return *d;
      if (auto d = ParseVbDate(v.AsString())) return d->serial;
      Mismatch(v, target);
    }
    default:
      return NumericValue(v);
  }
}

}  // namespace

double CDbl(const Variant& v) {
  return NumberFor(v, "Double");
}

double BankersRound(double x) {
  return std::nearbyint(x);
}

namespace {

template <class Int>
Int RoundToInt(const Variant& v, const char* target) {
  const double d = NumberFor(v, target);
  if (std::isnan(d)) Mismatch(v, target);
  const double r = BankersRound(d);
  constexpr auto kMin = std::numeric_limits<Int>::min(), kMax = std::numeric_limits<Int>::max();
  if (r < static_cast<double>(kMin) || r > static_cast<double>(kMax))
    // The value as the caller wrote it: a number without the type it came as.
    ThrowVb(vberr::kOverflow, (v.IsString() ? v.Describe() : CStr(v)) + " is out of the range of " +
                                  target + " (" + std::to_string(kMin) + " to " +
                                  std::to_string(kMax) + ")");
  return static_cast<Int>(r);
}

}  // namespace

int32_t CLng(const Variant& v) {
  switch (v.Type()) {
    // The whole numbers a row's columns give, read without the rounding.
    case VarType::kLong:
      return std::get<int32_t>(VariantAccess::Payload(v));
    case VarType::kInteger:
      return std::get<int16_t>(VariantAccess::Payload(v));
    case VarType::kByte:
      return std::get<uint8_t>(VariantAccess::Payload(v));
    default:
      return RoundToInt<int32_t>(v, "Long");
  }
}
int16_t CInt(const Variant& v) {
  return RoundToInt<int16_t>(v, "Integer");
}
uint8_t CByte(const Variant& v) {
  return RoundToInt<uint8_t>(v, "Byte");
}

float CSng(const Variant& v) {
  const double d = NumberFor(v, "Single");
  if (std::isfinite(d) && std::fabs(d) > FLT_MAX) ThrowVb(vberr::kOverflow, "Single");
  return static_cast<float>(d);
}

Currency CCur(const Variant& v) {
  if (v.Type() == VarType::kCurrency) return Currency{std::get<int64_t>(VariantAccess::Payload(v))};
  const double d = NumberFor(v, "Currency") * 10000.0;
  if (!(std::fabs(d) < 9.2233720368547758e18)) ThrowVb(vberr::kOverflow, "Currency");
  return Currency{static_cast<int64_t>(BankersRound(d))};
}

OleDate CDate(const Variant& v) {
  switch (v.Type()) {
    case VarType::kNull:
      NullUse();
    case VarType::kDate:
      return OleDate{v.AsDateSerial()};
    case VarType::kString: {
      if (auto d = ParseVbDate(v.AsString())) return *d;
      if (auto d = ParseVbNumber(v.AsString()); d && IsValidDateSerial(*d)) return OleDate{*d};
      Mismatch(v, "Date");
    }
    default: {
      const double d = NumericValue(v);
      if (!IsValidDateSerial(d)) ThrowVb(vberr::kOverflow, "Date");
      return OleDate{d};
    }
  }
}

bool CBool(const Variant& v) {
  switch (v.Type()) {
    case VarType::kNull:
      NullUse();
    case VarType::kString: {
      const std::string& s = v.AsString();
      const std::string t = LCase(Trim(s));
      if (t == "true" || t == "истина") return true;
      if (t == "false" || t == "ложь") return false;
      if (auto d = ParseVbNumber(s)) return *d != 0;
      Mismatch(v, "Boolean");
    }
    default:
      return NumericValue(v) != 0;
  }
}

// ---- comparison

std::optional<std::strong_ordering> Compare(const Variant& a, const Variant& b, CompareMode mode) {
  if (a.IsNull() || b.IsNull()) return std::nullopt;
  auto order = [](int c) {
    return c < 0   ? std::strong_ordering::less
           : c > 0 ? std::strong_ordering::greater
                   : std::strong_ordering::equal;
  };
  const bool aText = a.IsString() || (a.IsEmpty() && b.IsString());
  const bool bText = b.IsString() || (b.IsEmpty() && a.IsString());
  if (aText && bText) {
    const std::string sa = CStr(a), sb = CStr(b);
    if (mode == CompareMode::kText) return order(CompareTextRu(sa, sb));
    return order(sa.compare(sb));
  }
  const double x = CDbl(a), y = CDbl(b);
  if (x < y) return std::strong_ordering::less;
  if (x > y) return std::strong_ordering::greater;
  return std::strong_ordering::equal;
}

bool VbEquals(const Variant& a, const Variant& b, CompareMode mode) {
  auto c = Compare(a, b, mode);
  return c && *c == std::strong_ordering::equal;
}

}  // namespace qv
