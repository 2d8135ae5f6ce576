#pragma once
// VBA's Format function for numbers and dates, in the Russian locale's
// date conventions ("/" in a pattern is the date separator "."; month and day
// names are Russian) and with the invariant decimal point and thousands
// separator (".", ","), as CStr writes numbers.
//
// Numbers: "0" digit or zero, "#" digit or nothing, "." decimal point, ","
// between digit placeholders for thousands grouping, "%" (times 100),
// "E+0"/"E-0" exponent, up to four ";"-separated sections (positive,
// negative, zero, Null). Dates: d dd ddd dddd ddddd dddddd, w ww, m mm mmm
// mmmm (minutes after h or before s), q, y, yy yyyy, h hh, n nn, s ss,
// ttttt, c, AM/PM am/pm A/P a/p. In both, "\x" and "..." are literal text
// and letters are case-insensitive. Named formats: "General Number",
// "Currency" (the amount and "р."), "Fixed", "Standard", "Percent", "Scientific", "Yes/No",
// "True/False", "On/Off", "General Date", "Long Date", "Medium Date", "Short Date", "Long Time",
// "Medium Time", "Short Time".

#include <string>
#include <string_view>

#include "platform/automation/Variant.h"

namespace qv {

// Format(value, format). Null and Empty give "" (with a Null section, that
// section's text). A text that reads as a number or a date is formatted as
// one; any other text is returned unchanged.
std::string Format(const Variant& value, std::string_view format = {});
// True when the format has the fourth section, the one for Null.
bool HasNullSection(std::string_view format);

}  // namespace qv
