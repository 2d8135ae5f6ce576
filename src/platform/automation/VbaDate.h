#pragma once
// VBA's date functions over OLE Automation dates.

#include <cstdint>
#include <string_view>

#include "platform/automation/Variant.h"

namespace qv {

struct DateParts {
  int32_t year = 1899, month = 12, day = 30;
  int32_t hour = 0, minute = 0, second = 0;
};

// DateSerial as VBA computes it: months and days outside their range roll
// over (DateSerial(2007, 14, 1) is 01.02.2008, day 0 is the month's eve);
// years 0-29 mean 2000-2029 and 30-99 mean 1930-1999. Error 5 outside the
// date range 100..9999.
OleDate DateSerial(int32_t year, int32_t month, int32_t day);
// TimeSerial: the fraction of a day (may exceed a day or be negative, as in VBA).
OleDate TimeSerial(int32_t hour, int32_t minute, int32_t second);
// The calendar parts of a date, time rounded to the second.
DateParts SplitDate(OleDate d);
OleDate MakeDate(const DateParts& p);
// Weekday: 1 = Sunday ... 7 = Saturday when firstDayOfWeek is 1 (vbSunday).
int32_t Weekday(OleDate d, int32_t firstDayOfWeek = 1);
OleDate Now();
OleDate Today();
// True when the date is within VBA's range (01.01.100 .. 31.12.9999).
bool IsValidDateSerial(double serial);

// Names in the Russian locale. Month 1..12: "Февраль", abbreviated "фев";
// the genitive "февраля" is the form long dates use. Weekday 1..7 with
// Sunday as 1: "воскресенье", abbreviated "Вс". Error 5 outside the range.
std::string_view MonthName(int32_t month, bool abbreviate = false);
std::string_view MonthNameGenitive(int32_t month);
std::string_view WeekdayName(int32_t weekday, bool abbreviate = false);
// The month a word names, 1..12, or 0: Russian in any case form ("февраль",
// "февраля", "феврале") or abbreviated to three letters or more ("фев",
// "февр."), English in full or abbreviated ("February", "Feb"); any case.
int32_t ParseMonthName(std::string_view word);

}  // namespace qv
