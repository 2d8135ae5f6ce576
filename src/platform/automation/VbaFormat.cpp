#include "platform/automation/VbaFormat.h"

#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "platform/automation/VbaDate.h"
#include "platform/automation/VbaText.h"

namespace qv {

namespace {

bool StartsNoCase(std::string_view s, size_t i, std::string_view prefix) {
  return StartsWithAsciiNoCase(s.substr(i), prefix);
}

// Length of the run of letter `c` (any case) starting at `i`.
size_t RunOf(std::string_view s, size_t i, char c) {
  size_t j = i;
  while (j < s.size() && AsciiLower(s[j]) == c) ++j;
  return j - i;
}

// Copies a literal ("\x" or a quoted run) starting at `i` to `out`; returns
// false when s[i] does not start one.
bool TakeLiteral(std::string_view s, size_t& i, std::string& out) {
  if (s[i] == '\\') {
    if (i + 1 < s.size()) out += s[i + 1];
    i += 2;
    return true;
  }
  if (s[i] == '"') {
    size_t end = s.find('"', i + 1);
    if (end == std::string_view::npos) end = s.size();
    out += s.substr(i + 1, end - i - 1);
    i = end + 1;
    return true;
  }
  return false;
}

std::vector<std::string_view> SplitSections(std::string_view f) {
  std::vector<std::string_view> out;
  size_t start = 0;
  for (size_t i = 0; i < f.size(); ++i) {
    if (f[i] == '\\') {
      ++i;
    } else if (f[i] == '"') {
      size_t end = f.find('"', i + 1);
      i = end == std::string_view::npos ? f.size() : end;
    } else if (f[i] == ';') {
      out.push_back(f.substr(start, i - start));
      start = i + 1;
    }
  }
  out.push_back(f.substr(start));
  return out;
}

bool IsDatePattern(std::string_view f) {
  std::string ignored;
  for (size_t i = 0; i < f.size();) {
    if (TakeLiteral(f, i, ignored)) continue;
    switch (AsciiLower(f[i])) {
      case 'd':
      case 'm':
      case 'y':
      case 'h':
      case 'n':
      case 's':
      case 'w':
      case 'q':
      case 'c':
      case 't':
        return true;
      case 'a':
        if (StartsNoCase(f, i, "am/pm") || StartsNoCase(f, i, "a/p")) return true;
        break;
      default:
        break;
    }
    ++i;
  }
  return false;
}

std::string TwoDigits(int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", v);
  return buf;
}

// ---- dates

std::string FormatDatePattern(OleDate d, std::string_view f);

std::string ShortDate(OleDate d) {
  return FormatDatePattern(d, "dd.mm.yyyy");
}
std::string LongDate(OleDate d) {
  DateParts p = SplitDate(d);
  return std::to_string(p.day) + " " + std::string(MonthNameGenitive(p.month)) + " " +
         std::to_string(p.year) + " г.";
}
std::string LongTime(OleDate d) {
  return FormatDatePattern(d, "h:nn:ss");
}

std::string FormatDatePattern(OleDate d, std::string_view f) {
  DateParts p = SplitDate(d);
  bool twelveHour = false;
  {
    std::string ignored;
    for (size_t i = 0; i < f.size();) {
      if (TakeLiteral(f, i, ignored)) continue;
      if (StartsNoCase(f, i, "am/pm") || StartsNoCase(f, i, "a/p") || StartsNoCase(f, i, "ampm"))
        twelveHour = true;
      ++i;
    }
  }
  int hour = twelveHour ? (p.hour % 12 == 0 ? 12 : p.hour % 12) : p.hour;
  std::string out;
  bool afterHour = false;  // an "m" right after an hour means minutes
  for (size_t i = 0; i < f.size();) {
    if (TakeLiteral(f, i, out)) continue;
    char c = AsciiLower(f[i]);
    size_t n = RunOf(f, i, c);
    switch (c) {
      case 'd':
        if (n == 1)
          out += std::to_string(p.day);
        else if (n == 2)
          out += TwoDigits(p.day);
        else if (n == 3)
          out += WeekdayName(Weekday(d), true);
        else if (n == 4)
          out += WeekdayName(Weekday(d));
        else if (n == 5)
          out += ShortDate(d);
        else
          out += LongDate(d);
        i += n;
        continue;
      case 'm': {
        size_t next = i + n;
        while (next < f.size() && !std::isalpha(static_cast<unsigned char>(f[next]))) ++next;
        bool minutes = n <= 2 && (afterHour || (next < f.size() && AsciiLower(f[next]) == 's'));
        if (minutes)
          out += n == 1 ? std::to_string(p.minute) : TwoDigits(p.minute);
        else if (n == 1)
          out += std::to_string(p.month);
        else if (n == 2)
          out += TwoDigits(p.month);
        else if (n == 3)
          out += MonthName(p.month, true);
        else
          out += MonthName(p.month);
        afterHour = false;
        i += n;
        continue;
      }
      case 'y':
        if (n == 1) {
          out += std::to_string(static_cast<int64_t>(DateSerial(p.year, p.month, p.day).serial -
                                                     DateSerial(p.year, 1, 1).serial + 1));
        } else if (n <= 3) {
          out += TwoDigits(p.year % 100);
        } else {
          out += std::to_string(p.year);
        }
        i += n;
        continue;
      case 'h':
        out += n == 1 ? std::to_string(hour) : TwoDigits(hour);
        afterHour = true;
        i += n;
        continue;
      case 'n':
        out += n == 1 ? std::to_string(p.minute) : TwoDigits(p.minute);
        i += n;
        continue;
      case 's':
        out += n == 1 ? std::to_string(p.second) : TwoDigits(p.second);
        i += n;
        continue;
      case 'w':
        if (n == 1) {
          out += std::to_string(Weekday(d));
        } else {
          int jan1 = Weekday(DateSerial(p.year, 1, 1));
          int64_t doy = static_cast<int64_t>(DateSerial(p.year, p.month, p.day).serial -
                                             DateSerial(p.year, 1, 1).serial) +
                        1;
          out += std::to_string((doy + jan1 - 2) / 7 + 1);
        }
        i += n;
        continue;
      case 'q':
        out += std::to_string((p.month - 1) / 3 + 1);
        i += n;
        continue;
      case 'c':
        out += CStr(Variant(d));
        i += n;
        continue;
      case 't':
        if (n >= 5) {
          out += LongTime(d);
          i += n;
          continue;
        }
        break;
      case 'a':
        if (StartsNoCase(f, i, "am/pm")) {
          bool upper = f[i] == 'A';
          out += p.hour < 12 ? (upper ? "AM" : "am") : (upper ? "PM" : "pm");
          i += 5;
          continue;
        }
        if (StartsNoCase(f, i, "a/p")) {
          bool upper = f[i] == 'A';
          out += p.hour < 12 ? (upper ? "A" : "a") : (upper ? "P" : "p");
          i += 3;
          continue;
        }
        if (StartsNoCase(f, i, "ampm")) {
          out += p.hour < 12 ? "AM" : "PM";
          i += 4;
          continue;
        }
        break;
      case '/':
        out += '.';
        ++i;
        continue;
      default:
        break;
    }
    out += f[i];
    ++i;
  }
  return out;
}

// ---- numbers

std::string Group(const std::string& digits) {
  std::string out;
  size_t n = digits.size();
  for (size_t i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

// Digits of |x| rounded half away from zero to `frac` decimals: the integer
// part (empty for 0) and exactly `frac` fraction digits. The value is read
// at 15 significant digits first, as VB does, so 1.005 rounds to 1.01.
void Digits(double x, int frac, std::string& intPart, std::string& fracPart) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14e", std::fabs(x));
  std::string digits;
  const char* p = buf;
  for (; *p && *p != 'e'; ++p)
    if (*p != '.') digits += *p;
  int point = std::atoi(p + 1) + 1;  // digits before the decimal point
  if (x == 0) point = 1;
  int keep = point + frac;
  if (keep < static_cast<int>(digits.size())) {
    bool up = keep >= 0 && digits[static_cast<size_t>(keep)] >= '5';
    digits.resize(static_cast<size_t>(std::max(keep, 0)));
    if (up) {
      int i = keep - 1;
      for (; i >= 0 && digits[static_cast<size_t>(i)] == '9'; --i)
        digits[static_cast<size_t>(i)] = '0';
      if (i >= 0) {
        ++digits[static_cast<size_t>(i)];
      } else {
        digits.insert(digits.begin(), '1');
        ++point;
      }
    }
  }
  // Place the decimal point: pad with zeros on either side as needed.
  if (point < 0) {
    digits.insert(0, static_cast<size_t>(-point), '0');
    point = 0;
  }
  while (static_cast<int>(digits.size()) < point + frac) digits += '0';
  intPart = digits.substr(0, static_cast<size_t>(point));
  fracPart = digits.substr(static_cast<size_t>(point), static_cast<size_t>(frac));
  size_t nz = intPart.find_first_not_of('0');
  intPart = nz == std::string::npos ? std::string() : intPart.substr(nz);
}

std::string FormatNumberPattern(double x, std::string_view f) {
  // First pass: the placeholders.
  int intZeros = 0, intPlaces = 0, fracPlaces = 0, expPlaces = 0, expZeros = 0;
  bool point = false, thousands = false, percent = false, inExp = false;
  std::string ignored;
  for (size_t i = 0; i < f.size();) {
    if (TakeLiteral(f, i, ignored)) continue;
    char c = f[i];
    if ((c == 'E' || c == 'e') && i + 1 < f.size() && (f[i + 1] == '+' || f[i + 1] == '-')) {
      inExp = true;
      i += 2;
      continue;
    }
    if (c == '0' || c == '#') {
      if (inExp) {
        ++expPlaces;
        expZeros += c == '0';
      } else if (point) {
        ++fracPlaces;
      } else {
        ++intPlaces;
        intZeros += c == '0';
      }
    } else if (c == '.' && !inExp) {
      point = true;
    } else if (c == ',' && !point && intPlaces > 0) {
      thousands = true;
    } else if (c == '%') {
      percent = true;
    }
    ++i;
  }
  if (percent) x *= 100;
  int exponent = 0;
  if (inExp && x != 0) {
    int lead = std::max(intPlaces, 1);
    exponent = static_cast<int>(std::floor(std::log10(std::fabs(x)))) - (lead - 1);
    double m = x / std::pow(10.0, exponent);
    std::string a, b;
    Digits(m, fracPlaces, a, b);
    if (static_cast<int>(a.size()) > lead) {  // rounding carried into one more digit
      ++exponent;
      m = x / std::pow(10.0, exponent);
    }
    x = m;
  }
  std::string intDigits, fracDigits;
  Digits(x, fracPlaces, intDigits, fracDigits);
  while (static_cast<int>(intDigits.size()) < intZeros) intDigits.insert(intDigits.begin(), '0');
  if (thousands) intDigits = Group(intDigits);

  // Second pass: emit. Integer digits are right-aligned over the integer
  // placeholders, extra ones going to the first; fraction digits fill the
  // fraction placeholders left to right, trailing zeros under "#" dropped.
  size_t keepFrac = fracDigits.size();
  {
    // Which fraction placeholders are "#": drop zeros from the right under them.
    std::vector<char> fracKinds;
    bool p2 = false, e2 = false;
    for (size_t i = 0; i < f.size();) {
      if (TakeLiteral(f, i, ignored)) continue;
      char c = f[i];
      if ((c == 'E' || c == 'e') && i + 1 < f.size() && (f[i + 1] == '+' || f[i + 1] == '-')) {
        e2 = true;
        i += 2;
        continue;
      }
      if (c == '.' && !e2)
        p2 = true;
      else if ((c == '0' || c == '#') && p2 && !e2)
        fracKinds.push_back(c);
      ++i;
    }
    while (keepFrac > 0 && fracKinds[keepFrac - 1] == '#' && fracDigits[keepFrac - 1] == '0')
      --keepFrac;
  }
  std::string out;
  int intSeen = 0, fracSeen = 0;
  bool afterPoint = false, exp = false;
  int intCount = thousands ? 1 : intPlaces;  // grouped digits are written at once
  for (size_t i = 0; i < f.size();) {
    if (TakeLiteral(f, i, out)) continue;
    char c = f[i];
    if ((c == 'E' || c == 'e') && i + 1 < f.size() && (f[i + 1] == '+' || f[i + 1] == '-') &&
        !exp) {
      exp = true;
      out += c;
      if (f[i + 1] == '+' || exponent < 0) out += exponent < 0 ? '-' : '+';
      std::string e = std::to_string(std::abs(exponent));
      while (static_cast<int>(e.size()) < expZeros) e.insert(e.begin(), '0');
      out += e;
      i += 2;
      while (i < f.size() && (f[i] == '0' || f[i] == '#')) ++i;
      continue;
    }
    if ((c == '0' || c == '#') && !afterPoint) {
      if (thousands) {
        if (intSeen++ == 0) out += intDigits;
      } else {
        int slot = intSeen++;
        int extra = static_cast<int>(intDigits.size()) - intCount;
        if (slot == 0 && extra > 0) out += intDigits.substr(0, static_cast<size_t>(extra));
        int idx = slot + extra;
        if (idx >= 0) out += intDigits[static_cast<size_t>(idx)];
      }
    } else if ((c == '0' || c == '#') && afterPoint) {
      if (fracSeen < static_cast<int>(keepFrac)) out += fracDigits[static_cast<size_t>(fracSeen)];
      ++fracSeen;
    } else if (c == '.') {
      // With no placeholder before the point the integer digits still show:
      // Format(48.14251, ".###") is "48.143".
      if (!afterPoint && intSeen == 0) out += intDigits;
      if (!afterPoint) out += '.';
      afterPoint = true;
    } else if (c == ',' && !afterPoint) {
      // grouping is done on the digits
    } else {
      out += c;
    }
    ++i;
  }
  return out;
}

std::string FormatNumber(double x, std::string_view f) {
  std::vector<std::string_view> sections = SplitSections(f);
  if (x < 0 && sections.size() >= 2 && !sections[1].empty())
    return FormatNumberPattern(-x, sections[1]);
  if (x == 0 && sections.size() >= 3 && !sections[2].empty())
    return FormatNumberPattern(0, sections[2]);
  std::string s = FormatNumberPattern(x, sections[0]);
  return x < 0 ? "-" + s : s;
}

// Named formats that are plain patterns.
struct NamedPattern {
  std::string_view name, pattern;
};
constexpr auto kNamedPatterns = std::to_array<NamedPattern>({
    {"Currency", "#,##0.00\"р.\";-#,##0.00\"р.\""},  // the rouble sign follows the amount
    {"Fixed", "0.00"},
    {"Standard", "#,##0.00"},
    {"Percent", "0.00%"},
    {"Scientific", "0.00E+00"},
    {"Short Date", "dd.mm.yyyy"},
    {"Medium Date", "dd-mmm-yy"},
    {"Long Time", "h:nn:ss"},
    {"Medium Time", "hh:nn AM/PM"},
    {"Short Time", "hh:nn"},
});

// Named formats written by code: the text for `v`, or nullopt for a name
// that is not one of them.
std::optional<std::string> FormatNamed(const Variant& v, std::string_view name) {
  for (const auto& [n, pattern] : kNamedPatterns)
    if (EqualsAsciiNoCase(n, name)) return Format(v, pattern);
  struct Pair {
    std::string_view name, yes, no;
  };
  static constexpr std::array<Pair, 3> kBooleans = {
      {{"Yes/No", "Yes", "No"}, {"True/False", "True", "False"}, {"On/Off", "On", "Off"}}};
  for (const auto& b : kBooleans)
    if (EqualsAsciiNoCase(b.name, name)) return std::string(CDbl(v) != 0 ? b.yes : b.no);
  if (EqualsAsciiNoCase(name, "General Number")) return FormatVbDouble(CDbl(v));
  if (EqualsAsciiNoCase(name, "General Date")) return CStr(Variant(CDate(v)));
  if (EqualsAsciiNoCase(name, "Long Date")) return LongDate(CDate(v));
  return std::nullopt;
}

}  // namespace

bool HasNullSection(std::string_view format) {
  return SplitSections(format).size() >= 4;
}

std::string Format(const Variant& value, std::string_view format) {
  if (value.IsEmptyOrNull()) {
    std::vector<std::string_view> sections = SplitSections(format);
    if (value.IsNull() && sections.size() >= 4) return FormatNumberPattern(0, sections[3]);
    return {};
  }
  if (format.empty()) return CStr(value);
  Variant v = value;
  if (v.IsString()) {
    if (auto d = ParseVbNumber(v.AsString()))
      v = Variant(*d);
    else if (auto dt = ParseVbDate(v.AsString()))
      v = Variant(*dt);
    else
      return v.AsString();
  }
  if (auto named = FormatNamed(v, format)) return *named;
  if (IsDatePattern(format)) return FormatDatePattern(CDate(v), SplitSections(format)[0]);
  return FormatNumber(CDbl(v), format);
}

}  // namespace qv
