#include "platform/jet/JetFunctions.h"

#include <array>

namespace qv::jet {

namespace {

using enum TypeRule;
using T = JetType;

constexpr JetFunction Scalar(std::string_view name, int8_t minArgs, int8_t maxArgs, TypeRule rule,
                             JetType type, std::string_view sqliteName, ScalarFn impl,
                             bool deterministic = true) {
  return JetFunction{name,       minArgs, maxArgs, rule,          type,
                     sqliteName, impl,    nullptr, deterministic, false};
}

// An aggregate SQLite provides itself (impl stays null).
constexpr JetFunction Builtin(std::string_view name, TypeRule rule, JetType type,
                              std::string_view sqliteName) {
  return JetFunction{name, 1, 1, rule, type, sqliteName, nullptr, nullptr, true, true};
}

constexpr JetFunction Aggregate(std::string_view name, TypeRule rule, JetType type,
                                std::string_view sqliteName, ScalarFn step, FinalFn final) {
  return JetFunction{name, 1, 1, rule, type, sqliteName, step, final, true, true};
}

// Operators the translator emits as calls come first: their entries are found
// by the operator's token ("+", "&", "\", "Mod", "^", "Like"); the translator
// types operators itself, the type given here is the usual one. The entries
// named "%Date" and "%Boolean" are identity functions that mark a value as a
// date or a boolean for the function it is passed to directly (CStr, Format,
// "&" render those kinds differently from plain numbers).
constexpr auto kFunctions = std::to_array<JetFunction>({
    // operators
    Scalar("+", 2, 2, kArg0, T::kNone, "jet_add", nullptr),
    Scalar("&", 2, -1, kFixed, T::kMemo, "jet_concat", nullptr),
    Scalar("\\", 2, 2, kFixed, T::kLong, "jet_idiv", nullptr),
    Scalar("Mod", 2, 2, kFixed, T::kLong, "jet_mod", nullptr),
    Scalar("^", 2, 2, kFixed, T::kDouble, "jet_pow", nullptr),
    Scalar("Like", 2, 2, kFixed, T::kBoolean, "jet_like", nullptr),
    Scalar("%Date", 1, 1, kFixed, T::kDate, "jet_asdate", nullptr),
    Scalar("%Boolean", 1, 1, kFixed, T::kBoolean, "jet_asbool", nullptr),
    // Null handling and choice
    Scalar("IIf", 3, 3, kArgs1And2, T::kNone, "jet_iif", nullptr),
    Scalar("IsNull", 1, 1, kFixed, T::kBoolean, "jet_isnull", nullptr),
    Scalar("Nz", 1, 2, kArg0, T::kNone, "jet_nz", nullptr),
    Scalar("IsNumeric", 1, 1, kFixed, T::kBoolean, "jet_isnumeric", nullptr),
    Scalar("IsDate", 1, 1, kFixed, T::kBoolean, "jet_isdate", nullptr),
    // conversions
    Scalar("CStr", 1, 1, kFixed, T::kText, "jet_cstr", nullptr),
    Scalar("CLng", 1, 1, kFixed, T::kLong, "jet_clng", nullptr),
    Scalar("CInt", 1, 1, kFixed, T::kInteger, "jet_cint", nullptr),
    Scalar("CByte", 1, 1, kFixed, T::kByte, "jet_cbyte", nullptr),
    Scalar("CDbl", 1, 1, kFixed, T::kDouble, "jet_cdbl", nullptr),
    Scalar("CSng", 1, 1, kFixed, T::kSingle, "jet_csng", nullptr),
    Scalar("CCur", 1, 1, kFixed, T::kCurrency, "jet_ccur", nullptr),
    Scalar("CDate", 1, 1, kFixed, T::kDate, "jet_cdate", nullptr),
    Scalar("CBool", 1, 1, kFixed, T::kBoolean, "jet_cbool", nullptr),
    Scalar("Str", 1, 1, kFixed, T::kText, "jet_str", nullptr),
    Scalar("Val", 1, 1, kFixed, T::kDouble, "jet_val", nullptr),
    // text
    Scalar("Len", 1, 1, kFixed, T::kLong, "jet_len", nullptr),
    Scalar("Left", 2, 2, kFixed, T::kText, "jet_left", nullptr),
    Scalar("Right", 2, 2, kFixed, T::kText, "jet_right", nullptr),
    Scalar("Mid", 2, 3, kFixed, T::kText, "jet_mid", nullptr),
    Scalar("InStr", 2, 4, kFixed, T::kLong, "jet_instr", nullptr),
    Scalar("LCase", 1, 1, kFixed, T::kText, "jet_lcase", nullptr),
    Scalar("UCase", 1, 1, kFixed, T::kText, "jet_ucase", nullptr),
    Scalar("Trim", 1, 1, kFixed, T::kText, "jet_trim", nullptr),
    Scalar("LTrim", 1, 1, kFixed, T::kText, "jet_ltrim", nullptr),
    Scalar("RTrim", 1, 1, kFixed, T::kText, "jet_rtrim", nullptr),
    Scalar("String", 2, 2, kFixed, T::kText, "jet_string", nullptr),
    Scalar("Space", 1, 1, kFixed, T::kText, "jet_space", nullptr),
    Scalar("Replace", 3, 6, kFixed, T::kText, "jet_replace", nullptr),
    Scalar("StrComp", 2, 3, kFixed, T::kInteger, "jet_strcomp", nullptr),
    Scalar("StrReverse", 1, 1, kFixed, T::kText, "jet_strreverse", nullptr),
    Scalar("Asc", 1, 1, kFixed, T::kInteger, "jet_asc", nullptr),
    Scalar("AscW", 1, 1, kFixed, T::kInteger, "jet_ascw", nullptr),
    Scalar("Chr", 1, 1, kFixed, T::kText, "jet_chr", nullptr),
    Scalar("ChrW", 1, 1, kFixed, T::kText, "jet_chrw", nullptr),
    Scalar("Format", 1, 2, kFixed, T::kText, "jet_format", nullptr),
    // dates; Now, Date and Time read the clock
    Scalar("DateSerial", 3, 3, kFixed, T::kDate, "jet_dateserial", nullptr),
    Scalar("TimeSerial", 3, 3, kFixed, T::kDate, "jet_timeserial", nullptr),
    Scalar("DateValue", 1, 1, kFixed, T::kDate, "jet_datevalue", nullptr),
    Scalar("TimeValue", 1, 1, kFixed, T::kDate, "jet_timevalue", nullptr),
    Scalar("Now", 0, 0, kFixed, T::kDate, "jet_now", nullptr, false),
    Scalar("Date", 0, 0, kFixed, T::kDate, "jet_date", nullptr, false),
    Scalar("Time", 0, 0, kFixed, T::kDate, "jet_time", nullptr, false),
    Scalar("Year", 1, 1, kFixed, T::kInteger, "jet_year", nullptr),
    Scalar("Month", 1, 1, kFixed, T::kInteger, "jet_month", nullptr),
    Scalar("Day", 1, 1, kFixed, T::kInteger, "jet_day", nullptr),
    Scalar("Hour", 1, 1, kFixed, T::kInteger, "jet_hour", nullptr),
    Scalar("Minute", 1, 1, kFixed, T::kInteger, "jet_minute", nullptr),
    Scalar("Second", 1, 1, kFixed, T::kInteger, "jet_second", nullptr),
    Scalar("Weekday", 1, 2, kFixed, T::kInteger, "jet_weekday", nullptr),
    Scalar("DateAdd", 3, 3, kFixed, T::kDate, "jet_dateadd", nullptr),
    Scalar("DateDiff", 3, 3, kFixed, T::kLong, "jet_datediff", nullptr),
    Scalar("DatePart", 2, 2, kFixed, T::kInteger, "jet_datepart", nullptr),
    // numbers
    Scalar("Abs", 1, 1, kArg0, T::kNone, "jet_abs", nullptr),
    Scalar("Int", 1, 1, kArg0, T::kNone, "jet_int", nullptr),
    Scalar("Fix", 1, 1, kArg0, T::kNone, "jet_fix", nullptr),
    Scalar("Round", 1, 2, kArg0, T::kNone, "jet_round", nullptr),
    Scalar("Sgn", 1, 1, kFixed, T::kInteger, "jet_sgn", nullptr),
    Scalar("Sqr", 1, 1, kFixed, T::kDouble, "jet_sqr", nullptr),
    Scalar("Exp", 1, 1, kFixed, T::kDouble, "jet_exp", nullptr),
    Scalar("Log", 1, 1, kFixed, T::kDouble, "jet_log", nullptr),
    // aggregates
    Builtin("Count", kFixed, T::kLong, "count"),
    Builtin("Sum", kArg0, T::kNone, "sum"),
    Builtin("Avg", kFixed, T::kDouble, "avg"),
    Builtin("Max", kArg0, T::kNone, "max"),
    Builtin("Min", kArg0, T::kNone, "min"),
    Aggregate("First", kArg0, T::kNone, "jet_first", nullptr, nullptr),
    Aggregate("Last", kArg0, T::kNone, "jet_last", nullptr, nullptr),
});

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

std::span<const JetFunction> JetFunctionTable() {
  return kFunctions;
}

const JetFunction* FindJetFunction(std::string_view name) {
  if (name.size() > 1 && name.back() == '$') name.remove_suffix(1);
  for (const JetFunction& f : kFunctions)
    if (EqualsNoCase(f.name, name)) return &f;
  return nullptr;
}

}  // namespace qv::jet
