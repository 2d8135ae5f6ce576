// Jet's date functions over OLE dates. A Null argument gives Null; a text
// argument is read as a date by CDate.

#include <cmath>

#include "platform/automation/VbaDate.h"
#include "platform/automation/VbaText.h"
#include "platform/jet/JetFunctionImpl.h"

namespace qv::jet::fn {

namespace {

enum class Interval {
  kYear,
  kQuarter,
  kMonth,
  kDayOfYear,
  kDay,
  kWeekday,
  kWeek,
  kHour,
  kMinute,
  kSecond
};

Interval ParseInterval(std::string_view s) {
  std::string t = LCase(s);
  if (t == "yyyy") return Interval::kYear;
  if (t == "q") return Interval::kQuarter;
  if (t == "m") return Interval::kMonth;
  if (t == "y") return Interval::kDayOfYear;
  if (t == "d") return Interval::kDay;
  if (t == "w") return Interval::kWeekday;
  if (t == "ww") return Interval::kWeek;
  if (t == "h") return Interval::kHour;
  if (t == "n") return Interval::kMinute;
  if (t == "s") return Interval::kSecond;
  ThrowVb(vberr::kInvalidProcedureCall, "date interval \"" + std::string(s) + "\"");
}

// Whole days since the base date of the calendar day of `d` (time dropped;
// OLE serials before the base count the time forward, so trunc is wrong).
int64_t DayNumber(const DateParts& p) {
  return static_cast<int64_t>(DateSerial(p.year, p.month, p.day).serial);
}

int64_t Seconds(const DateParts& p) {
  return DayNumber(p) * 86400 + p.hour * 3600 + p.minute * 60 + p.second;
}

int32_t DaysInMonth(int32_t year, int32_t month) {
  return static_cast<int32_t>(DateSerial(year, month + 1, 1).serial -
                              DateSerial(year, month, 1).serial);
}

int64_t FloorDiv(int64_t a, int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// The first day of the week an optional argument gives, 1 (Sunday) .. 7;
// Sunday when left out, Monday for 0 (the system's, in the Russian locale).
int32_t FirstDayArg(Args& a, int i) {
  const int32_t d = a.Count() > i && !a.IsNull(i) ? a.Long(i) : 1;
  if (d == 0) return 2;
  if (d < 1 || d > 7) ThrowVb(vberr::kInvalidProcedureCall, "first day of week");
  return d;
}

// The first week of the year an optional argument gives: 1 the week of
// 1 January (also for 0, the system's), 2 the first with four days of the
// year, 3 the first whole week.
int32_t FirstWeekArg(Args& a, int i) {
  const int32_t w = a.Count() > i && !a.IsNull(i) ? a.Long(i) : 1;
  if (w == 0) return 1;
  if (w < 1 || w > 3) ThrowVb(vberr::kInvalidProcedureCall, "first week of year");
  return w;
}

// The day number on which week 1 of `year` starts.
int64_t FirstWeekStart(int32_t year, int32_t firstDay, int32_t firstWeek) {
  const OleDate jan1 = DateSerial(year, 1, 1);
  const int64_t before = Weekday(jan1, firstDay) - 1;  // days of that week in the old year
  const int64_t start = static_cast<int64_t>(jan1.serial) - before;
  if (firstWeek == 2) return 7 - before >= 4 ? start : start + 7;
  if (firstWeek == 3) return before == 0 ? start : start + 7;
  return start;
}

// The week of the year; a day before week 1 belongs to the old year's last
// week. (Late December may give 53 where week 1 of the next year has begun,
// as VBA's DatePart does.)
int32_t WeekOfYear(const DateParts& p, int32_t firstDay, int32_t firstWeek) {
  const int64_t day = DayNumber(p);
  int64_t start = FirstWeekStart(p.year, firstDay, firstWeek);
  if (day < start) start = FirstWeekStart(p.year - 1, firstDay, firstWeek);
  return static_cast<int32_t>((day - start) / 7 + 1);
}

bool AnyNullOf(Args& a, int count) {
  for (int i = 0; i < count; ++i)
    if (a.IsNull(i)) return true;
  return false;
}

Variant PartOf(Args& a, int32_t DateParts::*part) {
  if (a.IsNull(0)) return Variant::Null();
  return Variant(static_cast<int16_t>(SplitDate(a.Date(0)).*part));
}

// Adds whole months, keeping the day unless the month is shorter (31.01 + 1
// month is the last day of February), as VBA's DateAdd does.
OleDate AddMonths(OleDate d, int64_t months) {
  DateParts p = SplitDate(d);
  int64_t m = static_cast<int64_t>(p.year) * 12 + (p.month - 1) + months;
  p.year = static_cast<int32_t>(FloorDiv(m, 12));
  p.month = static_cast<int32_t>(m - static_cast<int64_t>(p.year) * 12 + 1);
  if (p.year < 100 || p.year > 9999) ThrowVb(vberr::kInvalidProcedureCall, "DateAdd");
  p.day = std::min(p.day, DaysInMonth(p.year, p.month));
  return MakeDate(p);
}

}  // namespace

Variant DateSerialFn(Args& a) {
  if (a.AnyNull()) return Variant::Null();
  return Variant(DateSerial(a.Long(0), a.Long(1), a.Long(2)));
}

Variant TimeSerialFn(Args& a) {
  if (a.AnyNull()) return Variant::Null();
  return Variant(TimeSerial(a.Long(0), a.Long(1), a.Long(2)));
}

Variant DateValueFn(Args& a) {
  if (a.IsNull(0)) return Variant::Null();
  DateParts p = SplitDate(a.Date(0));
  return Variant(DateSerial(p.year, p.month, p.day));
}

Variant TimeValueFn(Args& a) {
  if (a.IsNull(0)) return Variant::Null();
  DateParts p = SplitDate(a.Date(0));
  return Variant(TimeSerial(p.hour, p.minute, p.second));
}

Variant NowFn(Args&) {
  return Variant(Now());
}
Variant DateFn(Args&) {
  return Variant(Today());
}
Variant TimeFn(Args&) {
  DateParts p = SplitDate(Now());
  return Variant(TimeSerial(p.hour, p.minute, p.second));
}

Variant YearFn(Args& a) {
  return PartOf(a, &DateParts::year);
}
Variant MonthFn(Args& a) {
  return PartOf(a, &DateParts::month);
}
Variant DayFn(Args& a) {
  return PartOf(a, &DateParts::day);
}
Variant HourFn(Args& a) {
  return PartOf(a, &DateParts::hour);
}
Variant MinuteFn(Args& a) {
  return PartOf(a, &DateParts::minute);
}
Variant SecondFn(Args& a) {
  return PartOf(a, &DateParts::second);
}

Variant WeekdayFn(Args& a) {
  if (a.IsNull(0)) return Variant::Null();
  int32_t first = a.Count() > 1 && !a.IsNull(1) ? a.Long(1) : 1;
  if (first == 0) first = 2;  // vbUseSystemDayOfWeek: Monday in the Russian locale
  return Variant(static_cast<int16_t>(Weekday(a.Date(0), first)));
}

// DateAdd(interval, number, date); the number is rounded to a whole one.
Variant DateAddFn(Args& a) {
  if (a.AnyNull()) return Variant::Null();
  Interval iv = ParseInterval(a.Text(0));
  int64_t n = static_cast<int64_t>(BankersRound(a.Double(1)));
  OleDate d = a.Date(2);
  switch (iv) {
    case Interval::kYear:
      return Variant(AddMonths(d, n * 12));
    case Interval::kQuarter:
      return Variant(AddMonths(d, n * 3));
    case Interval::kMonth:
      return Variant(AddMonths(d, n));
    default:
      break;
  }
  int64_t seconds = 0;
  switch (iv) {
    case Interval::kWeek:
      seconds = n * 7 * 86400;
      break;
    case Interval::kHour:
      seconds = n * 3600;
      break;
    case Interval::kMinute:
      seconds = n * 60;
      break;
    case Interval::kSecond:
      seconds = n;
      break;
    default:
      seconds = n * 86400;
      break;  // d, y, w
  }
  DateParts p = SplitDate(d);
  int64_t total = Seconds(p) + seconds;
  int64_t day = FloorDiv(total, 86400), rest = total - day * 86400;
  DateParts q = SplitDate(OleDate{static_cast<double>(day)});
  q.hour = static_cast<int32_t>(rest / 3600);
  q.minute = static_cast<int32_t>(rest / 60 % 60);
  q.second = static_cast<int32_t>(rest % 60);
  return Variant(MakeDate(q));
}

// DateDiff(interval, date1, date2 [, firstdayofweek [, firstweekofyear]]):
// the number of interval boundaries crossed from date1 to date2; "ww"
// counts the first days of the week crossed.
Variant DateDiffFn(Args& a) {
  if (AnyNullOf(a, 3)) return Variant::Null();
  const int32_t firstDay = FirstDayArg(a, 3);
  FirstWeekArg(a, 4);  // checked; weeks crossed do not depend on it
  Interval iv = ParseInterval(a.Text(0));
  DateParts p1 = SplitDate(a.Date(1)), p2 = SplitDate(a.Date(2));
  int64_t r = 0;
  switch (iv) {
    case Interval::kYear:
      r = p2.year - p1.year;
      break;
    case Interval::kQuarter:
      r = (p2.year * 4 + (p2.month - 1) / 3) - (p1.year * 4 + (p1.month - 1) / 3);
      break;
    case Interval::kMonth:
      r = (p2.year * 12 + p2.month) - (p1.year * 12 + p1.month);
      break;
    case Interval::kDay:
    case Interval::kDayOfYear:
      r = DayNumber(p2) - DayNumber(p1);
      break;
    case Interval::kWeekday:
      r = (DayNumber(p2) - DayNumber(p1)) / 7;
      break;
    case Interval::kWeek: {
      // Weeks counted from the first day of the week on or before each date
      // (day 1 of the serials, 31.12.1899, was a Sunday, so day n is
      // weekday n modulo 7).
      int64_t w1 = FloorDiv(DayNumber(p1) - firstDay, 7);
      int64_t w2 = FloorDiv(DayNumber(p2) - firstDay, 7);
      r = w2 - w1;
      break;
    }
    case Interval::kHour:
      r = FloorDiv(Seconds(p2), 3600) - FloorDiv(Seconds(p1), 3600);
      break;
    case Interval::kMinute:
      r = FloorDiv(Seconds(p2), 60) - FloorDiv(Seconds(p1), 60);
      break;
    case Interval::kSecond:
      r = Seconds(p2) - Seconds(p1);
      break;
  }
  if (r < INT32_MIN || r > INT32_MAX) ThrowVb(vberr::kOverflow, "DateDiff");
  return Variant(static_cast<int32_t>(r));
}

// DatePart(interval, date [, firstdayofweek [, firstweekofyear]]).
Variant DatePartFn(Args& a) {
  if (AnyNullOf(a, 2)) return Variant::Null();
  const int32_t firstDay = FirstDayArg(a, 2), firstWeek = FirstWeekArg(a, 3);
  Interval iv = ParseInterval(a.Text(0));
  OleDate d = a.Date(1);
  DateParts p = SplitDate(d);
  int64_t dayOfYear = DayNumber(p) - static_cast<int64_t>(DateSerial(p.year, 1, 1).serial) + 1;
  switch (iv) {
    case Interval::kYear:
      return Variant(static_cast<int16_t>(p.year));
    case Interval::kQuarter:
      return Variant(static_cast<int16_t>((p.month - 1) / 3 + 1));
    case Interval::kMonth:
      return Variant(static_cast<int16_t>(p.month));
    case Interval::kDayOfYear:
      return Variant(static_cast<int16_t>(dayOfYear));
    case Interval::kDay:
      return Variant(static_cast<int16_t>(p.day));
    case Interval::kWeekday:
      return Variant(static_cast<int16_t>(Weekday(d, firstDay)));
    case Interval::kWeek:
      return Variant(static_cast<int16_t>(WeekOfYear(p, firstDay, firstWeek)));
    case Interval::kHour:
      return Variant(static_cast<int16_t>(p.hour));
    case Interval::kMinute:
      return Variant(static_cast<int16_t>(p.minute));
    case Interval::kSecond:
      return Variant(static_cast<int16_t>(p.second));
  }
  return Variant::Null();
}

// MonthName(month [, abbreviate]).
Variant MonthNameFn(Args& a) {
  if (a.IsNull(0)) return Variant::Null();
  const bool abbreviate = a.Count() > 1 && !a.IsNull(1) && CBool(a.Get(1));
  return Variant(std::string(MonthName(a.Long(0), abbreviate)));
}

// WeekdayName(weekday [, abbreviate [, firstdayofweek]]): `weekday` counts
// from the first day of the week (Sunday unless given).
Variant WeekdayNameFn(Args& a) {
  if (a.IsNull(0)) return Variant::Null();
  const int32_t n = a.Long(0);
  if (n < 1 || n > 7) ThrowVb(vberr::kInvalidProcedureCall, "WeekdayName weekday");
  const bool abbreviate = a.Count() > 1 && !a.IsNull(1) && CBool(a.Get(1));
  const int32_t sundayBased = (n - 1 + FirstDayArg(a, 2) - 1) % 7 + 1;
  return Variant(std::string(WeekdayName(sundayBased, abbreviate)));
}

}  // namespace qv::jet::fn
