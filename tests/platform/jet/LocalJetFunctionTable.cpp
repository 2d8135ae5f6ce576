// A reduced copy of the engine's Jet function table (names, arities, result
// typing, SQLite names) for the translator's tests and fuzz target, compiled
// only while the library lacks the engine's own table (src/platform/jet/
// JetFunctions.cpp); it would otherwise take the library's place.

#if !__has_include("platform/jet/JetFunctions.cpp")

#include <array>

#include "platform/jet/JetFunctions.h"
#include "platform/jet/sql/JetScope.h"

namespace qv::jet {

namespace {

void Unused(sqlite3_context*, int, sqlite3_value**) {}
void UnusedFinal(sqlite3_context*) {}

using enum TypeRule;
using T = JetType;

constexpr JetFunction Scalar(std::string_view name, int8_t minArgs, int8_t maxArgs, TypeRule rule,
                             JetType type, std::string_view sqliteName) {
  return JetFunction{name, minArgs, maxArgs, rule, type, sqliteName, Unused, nullptr, true, false};
}

constexpr JetFunction Builtin(std::string_view name, TypeRule rule, JetType type,
                              std::string_view sqliteName) {
  return JetFunction{name, 1, 1, rule, type, sqliteName, nullptr, nullptr, true, true};
}

constexpr JetFunction Aggregate(std::string_view name, std::string_view sqliteName) {
  return JetFunction{name, 1, 1, kArg0, T::kNone, sqliteName, Unused, UnusedFinal, true, true};
}

constexpr auto kFunctions = std::to_array<JetFunction>({
    Scalar("+", 2, 2, kArg0, T::kNone, "jet_add"),
    Scalar("&", 2, -1, kFixed, T::kMemo, "jet_concat"),
    Scalar("\\", 2, 2, kFixed, T::kLong, "jet_idiv"),
    Scalar("Mod", 2, 2, kFixed, T::kLong, "jet_mod"),
    Scalar("^", 2, 2, kFixed, T::kDouble, "jet_pow"),
    Scalar("Like", 2, 2, kFixed, T::kBoolean, "jet_like"),
    Scalar("%Date", 1, 1, kFixed, T::kDate, "jet_asdate"),
    Scalar("%Boolean", 1, 1, kFixed, T::kBoolean, "jet_asbool"),
    Scalar("IIf", 3, 3, kArgs1And2, T::kNone, "jet_iif"),
    Scalar("IsNull", 1, 1, kFixed, T::kBoolean, "jet_isnull"),
    Scalar("Nz", 1, 2, kArg0, T::kNone, "jet_nz"),
    Scalar("CStr", 1, 1, kFixed, T::kText, "jet_cstr"),
    Scalar("CLng", 1, 1, kFixed, T::kLong, "jet_clng"),
    Scalar("CInt", 1, 1, kFixed, T::kInteger, "jet_cint"),
    Scalar("CDbl", 1, 1, kFixed, T::kDouble, "jet_cdbl"),
    Scalar("CCur", 1, 1, kFixed, T::kCurrency, "jet_ccur"),
    Scalar("Val", 1, 1, kFixed, T::kDouble, "jet_val"),
    Scalar("Len", 1, 1, kFixed, T::kLong, "jet_len"),
    Scalar("Mid", 2, 3, kFixed, T::kText, "jet_mid"),
    Scalar("Left", 2, 2, kFixed, T::kText, "jet_left"),
    Scalar("LCase", 1, 1, kFixed, T::kText, "jet_lcase"),
    Scalar("UCase", 1, 1, kFixed, T::kText, "jet_ucase"),
    Scalar("Trim", 1, 1, kFixed, T::kText, "jet_trim"),
    Scalar("Format", 1, 2, kFixed, T::kText, "jet_format"),
    Scalar("DateSerial", 3, 3, kFixed, T::kDate, "jet_dateserial"),
    Scalar("TimeSerial", 3, 3, kFixed, T::kDate, "jet_timeserial"),
    Scalar("Now", 0, 0, kFixed, T::kDate, "jet_now"),
    Scalar("Year", 1, 1, kFixed, T::kInteger, "jet_year"),
    Scalar("Abs", 1, 1, kArg0, T::kNone, "jet_abs"),
    Builtin("Count", kFixed, T::kLong, "count"),
    Builtin("Sum", kArg0, T::kNone, "sum"),
    Builtin("Avg", kFixed, T::kDouble, "avg"),
    Builtin("Max", kArg0, T::kNone, "max"),
    Builtin("Min", kArg0, T::kNone, "min"),
    Aggregate("First", "jet_first"),
    Aggregate("Last", "jet_last"),
});

}  // namespace

std::span<const JetFunction> JetFunctionTable() {
  return kFunctions;
}

const JetFunction* FindJetFunction(std::string_view name) {
  if (name.size() > 1 && name.back() == '$') name.remove_suffix(1);
  for (const JetFunction& f : kFunctions)
    if (sql::NamesEqual(f.name, name)) return &f;
  return nullptr;
}

}  // namespace qv::jet

#endif  // !__has_include("platform/jet/JetFunctions.cpp")
