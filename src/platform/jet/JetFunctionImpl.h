#pragma once
// The SQLite user functions behind the entries of the Jet function table, and
// what they share: argument access and the error wrapper. Internal to
// platform/jet.

#include <forward_list>
#include <string>
#include <string_view>

#include "platform/automation/Variant.h"
#include "platform/jet/JetValue.h"
#include "platform/jet/Sqlite.h"

namespace qv::jet::fn {

// The arguments of one call, read from SQLite's values or from values an
// engine has already turned into Variants (the server extension): the same
// function bodies serve both. An argument asked for beyond those given raises
// VB error 449, so a call with too few arguments from native SQL fails
// cleanly instead of reading past the array.
class Args {
 public:
  Args(int argc, sqlite3_value** argv) : argc_(argc), argv_(argv) {}
  Args(int argc, const Variant* values) : argc_(argc), values_(values) {}

  int Count() const { return argc_; }
  // SQLite's value (null for Variant arguments).
  sqlite3_value* Raw(int i) const;
  bool IsNull(int i) const {
    return values_ ? Value(i).IsNull() : sqlite3_value_type(Raw(i)) == SQLITE_NULL;
  }
  bool AnyNull() const;
  Variant Get(int i) const { return values_ ? Value(i) : ArgToVariant(Raw(i)); }
  // A text argument as it is; any other value through CStr (Null raises 94).
  std::string_view Text(int i);
  int32_t Long(int i) const { return CLng(Get(i)); }
  double Double(int i) const;
  OleDate Date(int i) const { return CDate(Get(i)); }
  // What kind of value an argument is, for functions whose result keeps it:
  // a whole number that is neither a date nor a boolean, a date, a text, a
  // number of any kind (dates and booleans included).
  bool IsInteger(int i) const;
  bool IsDate(int i) const;
  bool IsText(int i) const;
  bool IsNumber(int i) const;
  // An argument IsInteger holds for.
  int64_t Int64(int i) const;

 private:
  const Variant& Value(int i) const;

  int argc_;
  sqlite3_value** argv_ = nullptr;
  const Variant* values_ = nullptr;
  // Texts made by CStr, alive for the call. A list, unlike a deque, takes no
  // memory while empty: most calls never need it, and a call runs per row.
  std::forward_list<std::string> scratch_;
};

using Body = Variant (*)(Args&);

// Reports an Error raised inside a user function: kept for the caller of
// sqlite3_step (sqlite::Throw) and passed to SQLite as the call's failure.
void ReportError(sqlite3_context* ctx, const Error& e);
void ReportUnexpected(sqlite3_context* ctx, const std::exception& e);

// The ScalarFn of a body: arguments in, the Variant result out, any Error
// reported to the statement.
template <Body body>
void Invoke(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  try {
    Args a(argc, argv);
    ResultVariant(ctx, body(a));
  } catch (const Error& e) {
    ReportError(ctx, e);
  } catch (const std::exception& e) {
    ReportUnexpected(ctx, e);
  }
}

// ---- bodies (JetTextFunctions.cpp)
Variant IsNumericFn(Args&);
Variant IsDateFn(Args&);
Variant CStrFn(Args&);
Variant CLngFn(Args&);
Variant CIntFn(Args&);
Variant CByteFn(Args&);
Variant CDblFn(Args&);
Variant CSngFn(Args&);
Variant CCurFn(Args&);
Variant CDateFn(Args&);
Variant CBoolFn(Args&);
Variant CDecFn(Args&);
Variant StrFn(Args&);
Variant ValFn(Args&);
Variant LenFn(Args&);
Variant LeftFn(Args&);
Variant RightFn(Args&);
Variant MidFn(Args&);
Variant InStrFn(Args&);
Variant InStrRevFn(Args&);
Variant StrConvFn(Args&);
Variant LCaseFn(Args&);
Variant UCaseFn(Args&);
Variant TrimFn(Args&);
Variant LTrimFn(Args&);
Variant RTrimFn(Args&);
Variant StringFn(Args&);
Variant SpaceFn(Args&);
Variant ReplaceFn(Args&);
Variant StrCompFn(Args&);
Variant StrReverseFn(Args&);
Variant AscFn(Args&);
Variant AscWFn(Args&);
Variant ChrFn(Args&);
Variant ChrWFn(Args&);
Variant FormatFn(Args&);
Variant ConcatFn(Args&);
Variant AsDateFn(Args&);
Variant AsBooleanFn(Args&);
Variant LikeFn(Args&);

// ---- bodies (JetDateFunctions.cpp)
Variant DateSerialFn(Args&);
Variant TimeSerialFn(Args&);
Variant DateValueFn(Args&);
Variant TimeValueFn(Args&);
Variant NowFn(Args&);
Variant DateFn(Args&);
Variant TimeFn(Args&);
Variant YearFn(Args&);
Variant MonthFn(Args&);
Variant DayFn(Args&);
Variant HourFn(Args&);
Variant MinuteFn(Args&);
Variant SecondFn(Args&);
Variant WeekdayFn(Args&);
Variant DateAddFn(Args&);
Variant DateDiffFn(Args&);
Variant DatePartFn(Args&);
Variant MonthNameFn(Args&);
Variant WeekdayNameFn(Args&);

// ---- bodies (JetNumberFunctions.cpp)
Variant AddFn(Args&);
Variant SubFn(Args&);
Variant MulFn(Args&);
Variant DivFn(Args&);
Variant IntDivFn(Args&);
Variant ModFn(Args&);
Variant PowFn(Args&);
Variant AbsFn(Args&);
Variant IntFn(Args&);
Variant FixFn(Args&);
Variant RoundFn(Args&);
Variant SgnFn(Args&);
Variant SqrFn(Args&);
Variant ExpFn(Args&);
Variant LogFn(Args&);
Variant AtnFn(Args&);
Variant CosFn(Args&);
Variant SinFn(Args&);
Variant TanFn(Args&);
Variant NzFn(Args&);
Variant CVarFn(Args&);
Variant StoreBooleanFn(Args&);
Variant StoreIntegerFn(Args&);
Variant StoreCurrencyFn(Args&);
Variant StoreSingleFn(Args&);
Variant StoreGuidFn(Args&);

// ---- bodies (JetFinanceFunctions.cpp)
Variant PmtFn(Args&);
Variant PVFn(Args&);
Variant FVFn(Args&);
Variant NPerFn(Args&);
Variant RateFn(Args&);
Variant IPmtFn(Args&);
Variant PPmtFn(Args&);
Variant DDBFn(Args&);
Variant SLNFn(Args&);
Variant SYDFn(Args&);

// ---- SQLite's fast forms: functions that return an argument as it is
// (storage class and subtype kept), the Like operator keeping its compiled
// pattern, the aggregates (JetNumberFunctions.cpp). Each has a body above
// for other engines, sharing its rules.
// Len without the Variant round trip: every text column's size rule calls it
// on every write (JetTextFunctions.cpp).
void TextLen(sqlite3_context*, int, sqlite3_value**);
// UCase and LCase: a text in the Russian alphabet or ASCII mapped in one pass
// into the result (JetTextFunctions.cpp).
void TextUCase(sqlite3_context*, int, sqlite3_value**);
void TextLCase(sqlite3_context*, int, sqlite3_value**);
void Nz(sqlite3_context*, int, sqlite3_value**);
// CVar: the value as it is.
void CVar(sqlite3_context*, int, sqlite3_value**);
void Like(sqlite3_context*, int, sqlite3_value**);
void FirstStep(sqlite3_context*, int, sqlite3_value**);
// kSubqueryRowsError: raises 3354.
void SubqueryRowsError(sqlite3_context*, int, sqlite3_value**);

// ---- a value as a column of a Jet type stores it, for what Jet statements
// write (JetNumberFunctions.cpp). Each returns a value of another kind as it
// is, for the column's rules to refuse (3464).
// Boolean: a nonzero number as -1, zero as 0.
void StoreBoolean(sqlite3_context*, int, sqlite3_value**);
// Byte, Integer, Long: a fraction rounded half to even.
void StoreInteger(sqlite3_context*, int, sqlite3_value**);
// Currency: a number rounded to four decimals as CCur rounds.
void StoreCurrency(sqlite3_context*, int, sqlite3_value**);
// Single: a number as it is; one beyond a Single's range, infinity included,
// is refused (3464), as one beyond Currency's is.
void StoreSingle(sqlite3_context*, int, sqlite3_value**);
// GUID: a text in upper case (braced upper-case text is how GUIDs compare).
void StoreGuid(sqlite3_context*, int, sqlite3_value**);
void LastStep(sqlite3_context*, int, sqlite3_value**);
void FirstLastFinal(sqlite3_context*);

}  // namespace qv::jet::fn

namespace qv::jet {
// Registers every function of the Jet function table that SQLite lacks.
void RegisterJetFunctions(sqlite3* db);
// Registers kJetCollation: CompareTextRu of the automation layer, so that SQL
// and VBA's text comparisons agree (JetCollation.cpp).
void RegisterJetCollation(sqlite3* db);
}  // namespace qv::jet
