#include "platform/automation/VbaDate.h"

#include <array>
#include <chrono>
#include <cmath>
#include <ctime>

#include "platform/automation/Error.h"
#include "platform/automation/VbaText.h"

namespace qv {

namespace {

// Days from 1970-01-01 for a proleptic Gregorian date (H. Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int32_t& y, int32_t& m, int32_t& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int32_t>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int32_t>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int32_t>(yoe + era * 400 + (m <= 2));
}

constexpr std::array<std::string_view, 12> kMonths = {"Январь",   "Февраль", "Март",   "Апрель",
                                                      "Май",      "Июнь",    "Июль",   "Август",
                                                      "Сентябрь", "Октябрь", "Ноябрь", "Декабрь"};
constexpr std::array<std::string_view, 12> kMonthsGenitive = {
    "января", "февраля", "марта",    "апреля",  "мая",    "июня",
    "июля",   "августа", "сентября", "октября", "ноября", "декабря"};
constexpr std::array<std::string_view, 12> kMonthsShort = {
    "янв", "фев", "мар", "апр", "май", "июн", "июл", "авг", "сен", "окт", "ноя", "дек"};
constexpr std::array<std::string_view, 12> kMonthsEnglish = {
    "january", "february", "march",     "april",   "may",      "june",
    "july",    "august",   "september", "october", "november", "december"};
constexpr std::array<std::string_view, 7> kWeekdays = {
    "воскресенье", "понедельник", "вторник", "среда", "четверг", "пятница", "суббота"};
constexpr std::array<std::string_view, 7> kWeekdaysShort = {"Вс", "Пн", "Вт", "Ср",
                                                            "Чт", "Пт", "Сб"};
// Endings of the Russian month names in their case forms, after the stem
// (the nominative without a final "ь" or "й"): январ-ь/я/ю/ём/е, март-а/у/ом/е.
constexpr std::array<std::string_view, 11> kMonthEndings = {"",  "ь", "й",  "я",  "ю", "е",
                                                            "а", "у", "ом", "ем", "ём"};

int32_t CheckedIndex(int32_t n, int32_t count) {
  if (n < 1 || n > count) ThrowVb(vberr::kInvalidProcedureCall, "name number out of range");
  return n - 1;
}

// 1899-12-30 as days from 1970-01-01.
constexpr int64_t kOleEpoch = -25569;
constexpr double kMinSerial = -657434.0;  // 01.01.100

}  // namespace

bool IsValidDateSerial(double serial) {
  return std::isfinite(serial) && serial >= kMinSerial && serial < 2958466.0;
}

OleDate DateSerial(int32_t year, int32_t month, int32_t day) {
  if (year >= 0 && year < 30)
    year += 2000;
  else if (year >= 30 && year < 100)
    year += 1900;
  // Months roll over into years, days into months, as VBA does.
  int64_t m0 = static_cast<int64_t>(month) - 1;
  int64_t y = year + (m0 >= 0 ? m0 / 12 : (m0 - 11) / 12);
  m0 = ((m0 % 12) + 12) % 12;
  const int64_t days = DaysFromCivil(y, m0 + 1, 1) + (static_cast<int64_t>(day) - 1) - kOleEpoch;
  const double serial = static_cast<double>(days);
  if (!IsValidDateSerial(serial)) ThrowVb(vberr::kInvalidProcedureCall, "date out of range");
  return OleDate{serial};
}

OleDate TimeSerial(int32_t hour, int32_t minute, int32_t second) {
  const int64_t total =
      static_cast<int64_t>(hour) * 3600 + static_cast<int64_t>(minute) * 60 + second;
  return OleDate{static_cast<double>(total) / 86400.0};
}

DateParts SplitDate(OleDate d) {
  if (!IsValidDateSerial(d.serial)) ThrowVb(vberr::kOverflow, "date out of range");
  // The fraction counts forward from midnight also for negative serials.
  double whole = std::trunc(d.serial);
  double frac = std::fabs(d.serial - whole);
  int64_t secs = static_cast<int64_t>(std::llround(frac * 86400.0));
  if (secs >= 86400) {  // rounding reached the next midnight
    secs -= 86400;
    whole += d.serial < 0 ? -1 : 1;
  }
  DateParts p;
  CivilFromDays(static_cast<int64_t>(whole) + kOleEpoch, p.year, p.month, p.day);
  p.hour = static_cast<int32_t>(secs / 3600);
  p.minute = static_cast<int32_t>(secs / 60 % 60);
  p.second = static_cast<int32_t>(secs % 60);
  return p;
}

OleDate MakeDate(const DateParts& p) {
  const OleDate day = DateSerial(p.year, p.month, p.day);
  const double t = TimeSerial(p.hour, p.minute, p.second).serial;
  return OleDate{day.serial < 0 ? day.serial - t : day.serial + t};
}

int32_t Weekday(OleDate d, int32_t firstDayOfWeek) {
  if (firstDayOfWeek < 1 || firstDayOfWeek > 7) ThrowVb(vberr::kInvalidProcedureCall);
  // 30.12.1899 was a Saturday (7 with Sunday first).
  const int64_t whole = static_cast<int64_t>(std::floor(d.serial));
  const int64_t sundayBased = (((whole + 6) % 7) + 7) % 7 + 1;  // 1 = Sunday
  return static_cast<int32_t>((sundayBased - firstDayOfWeek + 7) % 7 + 1);
}

OleDate Now() {
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  return MakeDate({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                   local.tm_min, local.tm_sec});
}

OleDate Today() {
  return OleDate{std::floor(Now().serial)};
}

std::string_view MonthName(int32_t month, bool abbreviate) {
  const auto i = static_cast<size_t>(CheckedIndex(month, 12));
  return abbreviate ? kMonthsShort[i] : kMonths[i];
}

std::string_view MonthNameGenitive(int32_t month) {
  return kMonthsGenitive[static_cast<size_t>(CheckedIndex(month, 12))];
}

std::string_view WeekdayName(int32_t weekday, bool abbreviate) {
  const auto i = static_cast<size_t>(CheckedIndex(weekday, 7));
  return abbreviate ? kWeekdaysShort[i] : kWeekdays[i];
}

int32_t ParseMonthName(std::string_view word) {
  if (!word.empty() && word.back() == '.') word.remove_suffix(1);
  if (Len(word) < 3) return 0;
  const std::string w = LCase(word);
  for (size_t m = 0; m < 12; ++m) {
    const std::string_view english = kMonthsEnglish[m];
    if (english.starts_with(w)) return static_cast<int32_t>(m + 1);
    const std::string nominative = LCase(kMonths[m]);
    if (std::string_view(nominative).starts_with(w)) return static_cast<int32_t>(m + 1);
    std::string_view stem = nominative;
    if (stem.ends_with("ь") || stem.ends_with("й"))
      stem.remove_suffix(std::string_view("ь").size());
    if (!std::string_view(w).starts_with(stem)) continue;
    const std::string_view ending = std::string_view(w).substr(stem.size());
    for (std::string_view e : kMonthEndings)
      if (ending == e) return static_cast<int32_t>(m + 1);
  }
  return 0;
}

}  // namespace qv
