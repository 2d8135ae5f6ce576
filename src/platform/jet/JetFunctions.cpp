#include "platform/jet/JetFunctions.h"

#include <array>

#include "platform/automation/VbaText.h"
#include "platform/jet/JetFunctionImpl.h"

namespace qv::jet {

namespace {

using enum TypeRule;
using T = JetType;

// A scalar's two forms: SQLite's function and the engine-neutral body.
struct Impl {
  ScalarFn sqlite;
  BodyFn body;
};

template <fn::Body body>
constexpr Impl Fn{fn::Invoke<body>, body};

constexpr JetFunction Scalar(std::string_view name, int8_t minArgs, int8_t maxArgs, TypeRule rule,
                             JetType type, std::string_view sqliteName, Impl impl,
                             bool deterministic = true) {
  return JetFunction{name,        minArgs, maxArgs,   rule,          type, sqliteName,
                     impl.sqlite, nullptr, impl.body, deterministic, false};
}

// A choice the translator writes as a CASE (impl stays null).
constexpr JetFunction Lazy(std::string_view name, int8_t minArgs, int8_t maxArgs) {
  return JetFunction{name,           minArgs, maxArgs, TypeRule::kChosen,
                     JetType::kNone, {},      nullptr, nullptr,
                     nullptr,        true,    false,   true};
}

// An aggregate SQLite provides itself (impl stays null).
constexpr JetFunction Builtin(std::string_view name, TypeRule rule, JetType type,
                              std::string_view sqliteName) {
  return JetFunction{name, 1, 1, rule, type, sqliteName, nullptr, nullptr, nullptr, true, true};
}

constexpr JetFunction Aggregate(std::string_view name, TypeRule rule, JetType type,
                                std::string_view sqliteName, ScalarFn step, FinalFn final) {
  return JetFunction{name, 1, 1, rule, type, sqliteName, step, final, nullptr, true, true};
}

// Operators the translator emits as calls come first: their entries are found
// by the operator's token ("+", "-", "*", "&", "/", "\", "Mod", "^", "Like") and must
// exist; the translator types operators itself, the type given here is the
// usual one. Each gives Null when an operand is Null unless said otherwise.
//   +     where static types show neither both operands numeric (or dates)
//         nor both texts: two texts concatenate; otherwise texts are read as
//         numbers and added; a date operand gives a date.
//   -, *  where an operand's static type is a text: the text read as a
//         number (13 when it is none); "-" of a date and a number a date.
//   &     any number of operands: Null counts as an empty text, but all-Null
//         is Null; numbers, dates and booleans become text as CStr writes them.
//   \, Mod on operands not both of integer types: each operand is first
//         rounded half to even; "\" truncates toward zero, Mod takes the sign
//         of the dividend; a zero divisor is an error.
//   Like  (value, pattern) with the wildcards * ? # [...] [!...],
//         case-insensitive; any nonzero result is a match.
// The entries named "%Date" and "%Boolean" are identity functions that mark a
// value as a date or a boolean for the function it is passed to directly
// (CStr, Format, "&" render those kinds differently from plain numbers).
// The "%Store..." entries turn a value an INSERT or UPDATE writes into what
// its column stores (JetFunctionImpl.h).
// IsNull is no function: the translator writes IS NULL.
constexpr auto kFunctions = std::to_array<JetFunction>({
    // operators
    Scalar("+", 2, 2, kArg0, T::kNone, "jet_add", Fn<fn::AddFn>),
    Scalar("-", 2, 2, kFixed, T::kDouble, "jet_sub", Fn<fn::SubFn>),
    Scalar("*", 2, 2, kFixed, T::kDouble, "jet_mul", Fn<fn::MulFn>),
    Scalar("&", 2, -1, kFixed, T::kMemo, "jet_concat", Fn<fn::ConcatFn>),
    Scalar("/", 2, 2, kFixed, T::kDouble, "jet_div", Fn<fn::DivFn>),
    Scalar("\\", 2, 2, kFixed, T::kLong, "jet_idiv", Fn<fn::IntDivFn>),
    Scalar("Mod", 2, 2, kFixed, T::kLong, "jet_mod", Fn<fn::ModFn>),
    Scalar("^", 2, 2, kFixed, T::kDouble, "jet_pow", Fn<fn::PowFn>),
    Scalar("Like", 2, 2, kFixed, T::kBoolean, "jet_like", Impl{fn::Like, fn::LikeFn}),
    Scalar("%Date", 1, 1, kFixed, T::kDate, "jet_asdate", Fn<fn::AsDateFn>),
    Scalar("%Boolean", 1, 1, kFixed, T::kBoolean, "jet_asbool", Fn<fn::AsBooleanFn>),
    // a value written to a column of Jet statements, as the column stores it
    Scalar("%StoreBoolean", 1, 1, kFixed, T::kBoolean, "jet_store_boolean",
           Impl{fn::StoreBoolean, fn::StoreBooleanFn}),
    Scalar("%StoreInteger", 1, 1, kFixed, T::kLong, "jet_store_integer",
           Impl{fn::StoreInteger, fn::StoreIntegerFn}),
    Scalar("%StoreCurrency", 1, 1, kFixed, T::kCurrency, "jet_store_currency",
           Impl{fn::StoreCurrency, fn::StoreCurrencyFn}),
    Scalar("%StoreSingle", 1, 1, kFixed, T::kSingle, "jet_store_single",
           Impl{fn::StoreSingle, fn::StoreSingleFn}),
    Scalar("%StoreGuid", 1, 1, kFixed, T::kGUID, "jet_store_guid",
           Impl{fn::StoreGuid, fn::StoreGuidFn}),
    // Null handling and choice. IIf(condition, a, b); Switch(condition,
    // value, ...) gives the value of the first true condition, else Null;
    // Choose(index, value, ...) the value at the index rounded to a whole
    // number, Null outside the list.
    Lazy("IIf", 3, 3),
    Lazy("Switch", 2, -1),
    Lazy("Choose", 2, -1),
    Scalar("Nz", 1, 2, kChosen, T::kNone, "jet_nz", Impl{fn::Nz, fn::NzFn}),
    Scalar("IsNumeric", 1, 1, kFixed, T::kBoolean, "jet_isnumeric", Fn<fn::IsNumericFn>),
    Scalar("IsDate", 1, 1, kFixed, T::kBoolean, "jet_isdate", Fn<fn::IsDateFn>),
    // conversions
    Scalar("CStr", 1, 1, kFixed, T::kText, "jet_cstr", Fn<fn::CStrFn>),
    Scalar("CLng", 1, 1, kFixed, T::kLong, "jet_clng", Fn<fn::CLngFn>),
    Scalar("CInt", 1, 1, kFixed, T::kInteger, "jet_cint", Fn<fn::CIntFn>),
    Scalar("CByte", 1, 1, kFixed, T::kByte, "jet_cbyte", Fn<fn::CByteFn>),
    Scalar("CDbl", 1, 1, kFixed, T::kDouble, "jet_cdbl", Fn<fn::CDblFn>),
    Scalar("CSng", 1, 1, kFixed, T::kSingle, "jet_csng", Fn<fn::CSngFn>),
    Scalar("CCur", 1, 1, kFixed, T::kCurrency, "jet_ccur", Fn<fn::CCurFn>),
    Scalar("CDate", 1, 1, kFixed, T::kDate, "jet_cdate", Fn<fn::CDateFn>),
    Scalar("CBool", 1, 1, kFixed, T::kBoolean, "jet_cbool", Fn<fn::CBoolFn>),
    Scalar("CDec", 1, 1, kFixed, T::kDecimal, "jet_cdec", Fn<fn::CDecFn>),
    Scalar("CVar", 1, 1, kArg0, T::kNone, "jet_cvar", Impl{fn::CVar, fn::CVarFn}),
    Scalar("Str", 1, 1, kFixed, T::kText, "jet_str", Fn<fn::StrFn>),
    Scalar("Val", 1, 1, kFixed, T::kDouble, "jet_val", Fn<fn::ValFn>),
    // text
    Scalar("Len", 1, 1, kFixed, T::kLong, "jet_len", Impl{fn::TextLen, fn::LenFn}),
    Scalar("Left", 2, 2, kFixed, T::kText, "jet_left", Fn<fn::LeftFn>),
    Scalar("Right", 2, 2, kFixed, T::kText, "jet_right", Fn<fn::RightFn>),
    Scalar("Mid", 2, 3, kFixed, T::kText, "jet_mid", Fn<fn::MidFn>),
    Scalar("InStr", 2, 4, kFixed, T::kLong, "jet_instr", Fn<fn::InStrFn>),
    Scalar("InStrRev", 2, 4, kFixed, T::kLong, "jet_instrrev", Fn<fn::InStrRevFn>),
    Scalar("StrConv", 2, 3, kFixed, T::kText, "jet_strconv", Fn<fn::StrConvFn>),
    Scalar("LCase", 1, 1, kFixed, T::kText, "jet_lcase", Impl{fn::TextLCase, fn::LCaseFn}),
    Scalar("UCase", 1, 1, kFixed, T::kText, "jet_ucase", Impl{fn::TextUCase, fn::UCaseFn}),
    Scalar("Trim", 1, 1, kFixed, T::kText, "jet_trim", Fn<fn::TrimFn>),
    Scalar("LTrim", 1, 1, kFixed, T::kText, "jet_ltrim", Fn<fn::LTrimFn>),
    Scalar("RTrim", 1, 1, kFixed, T::kText, "jet_rtrim", Fn<fn::RTrimFn>),
    Scalar("String", 2, 2, kFixed, T::kText, "jet_string", Fn<fn::StringFn>),
    Scalar("Space", 1, 1, kFixed, T::kText, "jet_space", Fn<fn::SpaceFn>),
    Scalar("Replace", 3, 6, kFixed, T::kText, "jet_replace", Fn<fn::ReplaceFn>),
    Scalar("StrComp", 2, 3, kFixed, T::kInteger, "jet_strcomp", Fn<fn::StrCompFn>),
    Scalar("StrReverse", 1, 1, kFixed, T::kText, "jet_strreverse", Fn<fn::StrReverseFn>),
    Scalar("Asc", 1, 1, kFixed, T::kInteger, "jet_asc", Fn<fn::AscFn>),
    Scalar("AscW", 1, 1, kFixed, T::kInteger, "jet_ascw", Fn<fn::AscWFn>),
    Scalar("Chr", 1, 1, kFixed, T::kText, "jet_chr", Fn<fn::ChrFn>),
    Scalar("ChrW", 1, 1, kFixed, T::kText, "jet_chrw", Fn<fn::ChrWFn>),
    Scalar("Format", 1, 2, kFixed, T::kText, "jet_format", Fn<fn::FormatFn>),
    // dates; Now, Date and Time read the clock
    Scalar("DateSerial", 3, 3, kFixed, T::kDate, "jet_dateserial", Fn<fn::DateSerialFn>),
    Scalar("TimeSerial", 3, 3, kFixed, T::kDate, "jet_timeserial", Fn<fn::TimeSerialFn>),
    Scalar("DateValue", 1, 1, kFixed, T::kDate, "jet_datevalue", Fn<fn::DateValueFn>),
    Scalar("TimeValue", 1, 1, kFixed, T::kDate, "jet_timevalue", Fn<fn::TimeValueFn>),
    Scalar("Now", 0, 0, kFixed, T::kDate, "jet_now", Fn<fn::NowFn>, false),
    Scalar("Date", 0, 0, kFixed, T::kDate, "jet_date", Fn<fn::DateFn>, false),
    Scalar("Time", 0, 0, kFixed, T::kDate, "jet_time", Fn<fn::TimeFn>, false),
    Scalar("Year", 1, 1, kFixed, T::kInteger, "jet_year", Fn<fn::YearFn>),
    Scalar("Month", 1, 1, kFixed, T::kInteger, "jet_month", Fn<fn::MonthFn>),
    Scalar("Day", 1, 1, kFixed, T::kInteger, "jet_day", Fn<fn::DayFn>),
    Scalar("Hour", 1, 1, kFixed, T::kInteger, "jet_hour", Fn<fn::HourFn>),
    Scalar("Minute", 1, 1, kFixed, T::kInteger, "jet_minute", Fn<fn::MinuteFn>),
    Scalar("Second", 1, 1, kFixed, T::kInteger, "jet_second", Fn<fn::SecondFn>),
    Scalar("Weekday", 1, 2, kFixed, T::kInteger, "jet_weekday", Fn<fn::WeekdayFn>),
    Scalar("DateAdd", 3, 3, kFixed, T::kDate, "jet_dateadd", Fn<fn::DateAddFn>),
    Scalar("DateDiff", 3, 5, kFixed, T::kLong, "jet_datediff", Fn<fn::DateDiffFn>),
    Scalar("DatePart", 2, 4, kFixed, T::kInteger, "jet_datepart", Fn<fn::DatePartFn>),
    Scalar("MonthName", 1, 2, kFixed, T::kText, "jet_monthname", Fn<fn::MonthNameFn>),
    Scalar("WeekdayName", 1, 3, kFixed, T::kText, "jet_weekdayname", Fn<fn::WeekdayNameFn>),
    // numbers
    Scalar("Abs", 1, 1, kArg0, T::kNone, "jet_abs", Fn<fn::AbsFn>),
    Scalar("Int", 1, 1, kArg0, T::kNone, "jet_int", Fn<fn::IntFn>),
    Scalar("Fix", 1, 1, kArg0, T::kNone, "jet_fix", Fn<fn::FixFn>),
    Scalar("Round", 1, 2, kArg0, T::kNone, "jet_round", Fn<fn::RoundFn>),
    Scalar("Sgn", 1, 1, kFixed, T::kInteger, "jet_sgn", Fn<fn::SgnFn>),
    Scalar("Sqr", 1, 1, kFixed, T::kDouble, "jet_sqr", Fn<fn::SqrFn>),
    Scalar("Exp", 1, 1, kFixed, T::kDouble, "jet_exp", Fn<fn::ExpFn>),
    Scalar("Log", 1, 1, kFixed, T::kDouble, "jet_log", Fn<fn::LogFn>),
    Scalar("Atn", 1, 1, kFixed, T::kDouble, "jet_atn", Fn<fn::AtnFn>),
    Scalar("Cos", 1, 1, kFixed, T::kDouble, "jet_cos", Fn<fn::CosFn>),
    Scalar("Sin", 1, 1, kFixed, T::kDouble, "jet_sin", Fn<fn::SinFn>),
    Scalar("Tan", 1, 1, kFixed, T::kDouble, "jet_tan", Fn<fn::TanFn>),
    // money (JetFinanceFunctions.cpp)
    Scalar("Pmt", 3, 5, kFixed, T::kDouble, "jet_pmt", Fn<fn::PmtFn>),
    Scalar("PV", 3, 5, kFixed, T::kDouble, "jet_pv", Fn<fn::PVFn>),
    Scalar("FV", 3, 5, kFixed, T::kDouble, "jet_fv", Fn<fn::FVFn>),
    Scalar("NPer", 3, 5, kFixed, T::kDouble, "jet_nper", Fn<fn::NPerFn>),
    Scalar("Rate", 3, 6, kFixed, T::kDouble, "jet_rate", Fn<fn::RateFn>),
    Scalar("IPmt", 4, 6, kFixed, T::kDouble, "jet_ipmt", Fn<fn::IPmtFn>),
    Scalar("PPmt", 4, 6, kFixed, T::kDouble, "jet_ppmt", Fn<fn::PPmtFn>),
    Scalar("DDB", 4, 5, kFixed, T::kDouble, "jet_ddb", Fn<fn::DDBFn>),
    Scalar("SLN", 3, 3, kFixed, T::kDouble, "jet_sln", Fn<fn::SLNFn>),
    Scalar("SYD", 4, 4, kFixed, T::kDouble, "jet_syd", Fn<fn::SYDFn>),
    // aggregates
    Builtin("Count", kFixed, T::kLong, "count"),
    Builtin("Sum", kArg0, T::kNone, "sum"),
    Builtin("Avg", kFixed, T::kDouble, "avg"),
    Builtin("Max", kArg0, T::kNone, "max"),
    Builtin("Min", kArg0, T::kNone, "min"),
    Aggregate("First", kArg0, T::kNone, "jet_first", fn::FirstStep, fn::FirstLastFinal),
    Aggregate("Last", kArg0, T::kNone, "jet_last", fn::LastStep, fn::FirstLastFinal),
});

}  // namespace

std::span<const JetFunction> JetFunctionTable() {
  return kFunctions;
}

namespace {

constexpr char FoldAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Equal as ASCII text without case.
constexpr bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  return true;
}

// A hash of a name without case: every call and operator the translator
// emits is looked up by name, and a binary search compared about seven
// names a look-up, folding each byte of both.
constexpr uint32_t NameHash(std::string_view name) {
  uint32_t h = 2166136261u;
  for (const char c : name) h = (h ^ static_cast<unsigned char>(FoldAscii(c))) * 16777619u;
  return h;
}

// Open addressing over the table's positions plus one (0: an empty slot),
// probed linearly; of equal names the first in the table is kept.
constexpr size_t kNameSlots = 256;
static_assert(kFunctions.size() < kNameSlots / 2 && kFunctions.size() < 255);

constexpr auto kByName = [] {
  std::array<uint8_t, kNameSlots> slots{};
  for (size_t i = 0; i < kFunctions.size(); ++i) {
    for (size_t s = NameHash(kFunctions[i].name) % kNameSlots;; s = (s + 1) % kNameSlots) {
      if (slots[s] == 0) {
        slots[s] = static_cast<uint8_t>(i + 1);
        break;
      }
      if (EqualNoCase(kFunctions[slots[s] - 1].name, kFunctions[i].name)) break;
    }
  }
  return slots;
}();

}  // namespace

const JetFunction* FindJetFunction(std::string_view name) {
  if (name.size() > 1 && name.back() == '$') name.remove_suffix(1);
  for (size_t s = NameHash(name) % kNameSlots; kByName[s] != 0; s = (s + 1) % kNameSlots) {
    const JetFunction& f = kFunctions[kByName[s] - 1];
    if (EqualNoCase(f.name, name)) return &f;
  }
  return nullptr;
}

void RegisterJetFunctions(sqlite3* db) {
  for (const JetFunction& f : kFunctions) {
    if (!f.impl) continue;  // SQLite's own
    int nArg = f.minArgs == f.maxArgs ? f.minArgs : -1;
    int flags = SQLITE_UTF8 | (f.deterministic ? SQLITE_DETERMINISTIC : 0);
    std::string name(f.sqliteName);
    int rc = f.final ? sqlite3_create_function_v2(db, name.c_str(), nArg, flags, nullptr, nullptr,
                                                  f.impl, f.final, nullptr)
                     : sqlite3_create_function_v2(db, name.c_str(), nArg, flags, nullptr, f.impl,
                                                  nullptr, nullptr, nullptr);
    sqlite::Check(rc, db);
  }
  const std::string rowsError(kSubqueryRowsError);
  sqlite::Check(sqlite3_create_function_v2(db, rowsError.c_str(), 0, SQLITE_UTF8, nullptr,
                                           fn::SubqueryRowsError, nullptr, nullptr, nullptr),
                db);
}

}  // namespace qv::jet
