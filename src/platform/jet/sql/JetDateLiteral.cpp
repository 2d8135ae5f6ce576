#include "platform/jet/sql/JetDateLiteral.h"

#include <cctype>
#include <cstdint>
#include <vector>

#include "platform/automation/Error.h"
#include "platform/automation/VbaDate.h"

namespace qv::jet::sql {

namespace {

// A small cursor over the literal's text.
class Reader {
 public:
  explicit Reader(std::string_view s) : s_(s) {}

  void SkipSpace() {
    while (i_ < s_.size() && s_[i_] == ' ') ++i_;
  }
  bool AtEnd() const { return i_ >= s_.size(); }
  char Peek() const { return AtEnd() ? '\0' : s_[i_]; }
  bool Accept(char c) {
    if (Peek() != c) return false;
    ++i_;
    return true;
  }
  // Up to `maxDigits` decimal digits; the count read goes to `digits`.
  std::optional<int32_t> Number(int maxDigits, int* digits = nullptr) {
    int32_t v = 0;
    int n = 0;
    while (n < maxDigits && std::isdigit(static_cast<unsigned char>(Peek()))) {
      v = v * 10 + (s_[i_++] - '0');
      ++n;
    }
    if (digits) *digits = n;
    if (n == 0) return std::nullopt;
    return v;
  }
  // Case-insensitive "AM" or "PM"; 1 for AM, 2 for PM, 0 for none.
  int Meridiem() {
    if (i_ + 2 > s_.size()) return 0;
    const char a = static_cast<char>(std::toupper(static_cast<unsigned char>(s_[i_])));
    const char m = static_cast<char>(std::toupper(static_cast<unsigned char>(s_[i_ + 1])));
    if (m != 'M' || (a != 'A' && a != 'P')) return 0;
    i_ += 2;
    return a == 'A' ? 1 : 2;
  }
  size_t Pos() const { return i_; }
  void Seek(size_t i) { i_ = i; }

 private:
  std::string_view s_;
  size_t i_ = 0;
};

bool IsLeap(int32_t y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int32_t DaysInMonth(int32_t y, int32_t m) {
  static constexpr int32_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// The date part: fills year, month and day; false when there is none.
bool ReadDate(Reader& r, DateParts& p) {
  const size_t start = r.Pos();
  int digits = 0;
  const auto first = r.Number(4, &digits);
  if (!first || (r.Peek() != '-' && r.Peek() != '/')) {
    r.Seek(start);
    return false;
  }
  const char sep = r.Peek();
  r.Accept(sep);
  const auto second = r.Number(2);
  if (!second || !r.Accept(sep)) return false;
  int yearDigits = 0;
  if (digits > 2) {  // year first
    const auto day = r.Number(2);
    if (!day) return false;
    p.year = *first, p.month = *second, p.day = *day;
  } else {
    if (sep != '/') return false;
    const auto year = r.Number(4, &yearDigits);
    if (!year || yearDigits == 3) return false;
    p.month = *first, p.day = *second, p.year = *year;
    if (yearDigits <= 2) p.year += p.year < 30 ? 2000 : 1900;
  }
  return p.year >= 100 && p.year <= 9999 && p.month >= 1 && p.month <= 12 && p.day >= 1 &&
         p.day <= DaysInMonth(p.year, p.month);
}

bool ReadTime(Reader& r, DateParts& p) {
  const auto h = r.Number(2);
  if (!h || !r.Accept(':')) return false;
  const auto m = r.Number(2);
  if (!m) return false;
  int32_t s = 0;
  if (r.Accept(':')) {
    const auto sec = r.Number(2);
    if (!sec) return false;
    s = *sec;
  }
  r.SkipSpace();
  int32_t hour = *h;
  const int meridiem = r.Meridiem();
  if (meridiem != 0) {
    if (hour < 1 || hour > 12) return false;
    if (hour == 12) hour = 0;
    if (meridiem == 2) hour += 12;
  }
  if (hour > 23 || *m > 59 || s > 59) return false;
  p.hour = hour, p.minute = *m, p.second = s;
  return true;
}

}  // namespace

std::optional<double> ParseJetDateLiteral(std::string_view text) {
  Reader r(text);
  r.SkipSpace();
  DateParts p;
  const size_t start = r.Pos();
  const bool hasDate = ReadDate(r, p);
  if (!hasDate && r.Pos() != start) return std::nullopt;
  r.SkipSpace();
  bool hasTime = false;
  if (!r.AtEnd()) {
    if (!ReadTime(r, p)) return std::nullopt;
    hasTime = true;
  }
  r.SkipSpace();
  if (!r.AtEnd() || (!hasDate && !hasTime)) return std::nullopt;
  if (!hasDate) return TimeSerial(p.hour, p.minute, p.second).serial;
  try {
    return MakeDate(p).serial;
  } catch (const qv::Error&) {
    return std::nullopt;
  }
}

}  // namespace qv::jet::sql
