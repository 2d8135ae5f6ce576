// Jet's arithmetic operators and numeric functions, Nz, the Like
// operator and the First/Last aggregates.

#include <cfloat>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>

#include "platform/jet/JetFunctionImpl.h"
#include "platform/jet/JetLike.h"

namespace qv::jet::fn {

namespace {

// The operands of "\" and Mod: rounded to whole numbers first, as VBA does.
int64_t WholeOperand(Args& a, int i) {
  if (a.IsInteger(i)) return a.Int64(i);
  double d = BankersRound(a.Double(i));
  if (!(std::fabs(d) < 9.2e18)) ThrowVb(vberr::kOverflow);
  return static_cast<int64_t>(d);
}

// Applies `f` to a numeric argument keeping its kind: an integer stays an
// integer, a date stays a date (Int(Now()) is today), anything else is a
// Double.
template <class F>
Variant MapNumber(Args& a, F f) {
  if (a.IsNull(0)) return Variant::Null();
  double r = f(a.Double(0));
  if (a.IsDate(0)) return Variant(OleDate{r});
  if (a.IsInteger(0) && r >= INT32_MIN && r <= INT32_MAX) return Variant(static_cast<int32_t>(r));
  return Variant(r);
}

void ResultArg(sqlite3_context* ctx, sqlite3_value* v) {
  sqlite3_result_value(ctx, v);
  if (unsigned sub = sqlite3_value_subtype(v)) sqlite3_result_subtype(ctx, sub);
}

struct FirstLast {
  sqlite3_value* value;  // a copy of the kept argument, or null before the first row
};

// An integer result: a Long where it fits, else a Double.
Variant WholeResult(int64_t r) {
  if (r >= INT32_MIN && r <= INT32_MAX) return Variant(static_cast<int32_t>(r));
  return Variant(static_cast<double>(r));
}

// Two integer operands combined exactly by `op` (one of the overflow-checked
// builtins, true on overflow); nothing when either is not an integer or the
// result overflows, which the caller then computes as Double.
template <class Op>
std::optional<Variant> ExactIntegers(Args& a, Op op) {
  if (!a.IsInteger(0) || !a.IsInteger(1)) return std::nullopt;
  int64_t r;
  if (op(a.Int64(0), a.Int64(1), &r)) return std::nullopt;
  return WholeResult(r);
}

}  // namespace

// "+": Null gives Null, two texts concatenate, a date plus a number is a
// date, integers add exactly; anything else adds as Double (a text that is
// not a number raises 13).
Variant AddFn(Args& a) {
  if (a.AnyNull()) return Variant::Null();
  if (a.IsText(0) && a.IsText(1)) return Variant(std::string(a.Text(0)) + std::string(a.Text(1)));
  if (auto r = ExactIntegers(
          a, [](int64_t x, int64_t y, int64_t* out) { return __builtin_add_overflow(x, y, out); }))
    return *r;
  double r = a.Double(0) + a.Double(1);
  if (a.IsDate(0) || a.IsDate(1)) return Variant(OleDate{r});
  return Variant(r);
}

// "-" and "*" where an operand is a text: Null gives Null, a text is read as
// a number (13 when it is none), integers are exact; "-" of a date and a
// number is a date, of two dates a Double; "*" of anything else a Double.
Variant SubFn(Args& a) {
  if (a.AnyNull()) return Variant::Null();
  if (auto r = ExactIntegers(
          a, [](int64_t x, int64_t y, int64_t* out) { return __builtin_sub_overflow(x, y, out); }))
    return *r;
  const double r = a.Double(0) - a.Double(1);
  if (a.IsDate(0) != a.IsDate(1)) return Variant(OleDate{r});
  return Variant(r);
}

Variant MulFn(Args& a) {
  if (a.AnyNull()) return Variant::Null();
  if (auto r = ExactIntegers(
          a, [](int64_t x, int64_t y, int64_t* out) { return __builtin_mul_overflow(x, y, out); }))
    return *r;
  return Variant(a.Double(0) * a.Double(1));
}

// "/": always floating, and a zero divisor is an error rather than Null.
Variant DivFn(Args& a) {
  if (a.AnyNull()) return Variant::Null();
  const double y = a.Double(1);
  if (y == 0) ThrowVb(vberr::kDivisionByZero);
  return Variant(a.Double(0) / y);
}

Variant IntDivFn(Args& a) {
  if (a.AnyNull()) return Variant::Null();
  int64_t x = WholeOperand(a, 0), y = WholeOperand(a, 1);
  if (y == 0) ThrowVb(vberr::kDivisionByZero);
  if (y == -1 && x == INT64_MIN) ThrowVb(vberr::kOverflow);
  return WholeResult(x / y);
}

// Mod: the remainder takes the sign of the dividend.
Variant ModFn(Args& a) {
  if (a.AnyNull()) return Variant::Null();
  int64_t x = WholeOperand(a, 0), y = WholeOperand(a, 1);
  if (y == 0) ThrowVb(vberr::kDivisionByZero);
  return WholeResult(y == -1 ? 0 : x % y);
}

Variant PowFn(Args& a) {
  if (a.AnyNull()) return Variant::Null();
  double r = std::pow(a.Double(0), a.Double(1));
  if (std::isnan(r)) ThrowVb(vberr::kInvalidProcedureCall, "power of a negative number");
  if (std::isinf(r)) ThrowVb(vberr::kOverflow);
  return Variant(r);
}

Variant AbsFn(Args& a) {
  return MapNumber(a, [](double d) { return std::fabs(d); });
}
Variant IntFn(Args& a) {
  return MapNumber(a, [](double d) { return std::floor(d); });
}
Variant FixFn(Args& a) {
  return MapNumber(a, [](double d) { return std::trunc(d); });
}

// Round(x [, digits]): half to even, as VBA's Round.
Variant RoundFn(Args& a) {
  int32_t digits = a.Count() > 1 && !a.IsNull(1) ? a.Long(1) : 0;
  if (digits < 0 || digits > 22) ThrowVb(vberr::kInvalidProcedureCall, "Round digits");
  double scale = std::pow(10.0, digits);
  return MapNumber(a, [scale](double d) { return BankersRound(d * scale) / scale; });
}

Variant SgnFn(Args& a) {
  if (a.IsNull(0)) return Variant::Null();
  double d = a.Double(0);
  return Variant(static_cast<int16_t>(d > 0 ? 1 : d < 0 ? -1 : 0));
}

Variant SqrFn(Args& a) {
  if (a.IsNull(0)) return Variant::Null();
  double d = a.Double(0);
  if (d < 0) ThrowVb(vberr::kInvalidProcedureCall, "Sqr of a negative number");
  return Variant(std::sqrt(d));
}

Variant ExpFn(Args& a) {
  if (a.IsNull(0)) return Variant::Null();
  double r = std::exp(a.Double(0));
  if (std::isinf(r)) ThrowVb(vberr::kOverflow);
  return Variant(r);
}

Variant LogFn(Args& a) {
  if (a.IsNull(0)) return Variant::Null();
  double d = a.Double(0);
  if (d <= 0) ThrowVb(vberr::kInvalidProcedureCall, "Log of a number not above 0");
  return Variant(std::log(d));
}

// The trigonometric functions, in radians.
Variant AtnFn(Args& a) {
  return a.IsNull(0) ? Variant::Null() : Variant(std::atan(a.Double(0)));
}
Variant CosFn(Args& a) {
  return a.IsNull(0) ? Variant::Null() : Variant(std::cos(a.Double(0)));
}
Variant SinFn(Args& a) {
  return a.IsNull(0) ? Variant::Null() : Variant(std::sin(a.Double(0)));
}
Variant TanFn(Args& a) {
  return a.IsNull(0) ? Variant::Null() : Variant(std::tan(a.Double(0)));
}

// ---- raw functions

// Nz(value [, instead]): without a replacement a Null becomes "" (a query
// has no Empty to give).
void Nz(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (argc < 1) return ReportError(ctx, Error(vberr::kArgumentNotOptional, "Nz"));
  if (sqlite3_value_type(argv[0]) != SQLITE_NULL) return ResultArg(ctx, argv[0]);
  if (argc > 1) return ResultArg(ctx, argv[1]);
  sqlite3_result_text(ctx, "", 0, SQLITE_STATIC);
}

Variant NzFn(Args& a) {
  if (!a.IsNull(0)) return a.Get(0);
  if (a.Count() > 1) return a.Get(1);
  return Variant(std::string());
}

Variant CVarFn(Args& a) {
  return a.Get(0);
}

void CVar(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (argc < 1) return ReportError(ctx, Error(vberr::kArgumentNotOptional, "CVar"));
  ResultArg(ctx, argv[0]);
}

// text Like pattern. The compiled pattern is kept with the statement while
// the pattern argument stays the same.
void Like(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  try {
    Args a(argc, argv);
    if (a.IsNull(0) || a.IsNull(1)) return sqlite3_result_null(ctx);
    bool match;
    if (auto* kept = static_cast<LikePattern*>(sqlite3_get_auxdata(ctx, 1))) {
      match = kept->Matches(a.Text(0));
    } else {
      auto pattern = std::make_unique<LikePattern>(a.Text(1));
      match = pattern->Matches(a.Text(0));
      // SQLite may free it at once: it is not used after this call.
      sqlite3_set_auxdata(ctx, 1, pattern.release(),
                          [](void* p) { delete static_cast<LikePattern*>(p); });
    }
    sqlite3_result_int(ctx, match ? -1 : 0);
    sqlite3_result_subtype(ctx, kSubtypeBoolean);
  } catch (const Error& e) {
    ReportError(ctx, e);
  } catch (const std::exception& e) {
    ReportUnexpected(ctx, e);
  }
}

Variant LikeFn(Args& a) {
  if (a.IsNull(0) || a.IsNull(1)) return Variant::Null();
  return Variant(LikePattern(a.Text(1)).Matches(a.Text(0)));
}

void FirstStep(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  auto* s = static_cast<FirstLast*>(sqlite3_aggregate_context(ctx, sizeof(FirstLast)));
  if (!s) return sqlite3_result_error_nomem(ctx);
  if (argc < 1 || s->value) return;
  s->value = sqlite3_value_dup(argv[0]);
  if (!s->value) sqlite3_result_error_nomem(ctx);
}

void SubqueryRowsError(sqlite3_context* ctx, int, sqlite3_value**) {
  ReportError(ctx, Error(jeterr::kSubqueryRows, JetErrorText(jeterr::kSubqueryRows),
                         std::string(kSourceDatabase)));
}

void LastStep(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  auto* s = static_cast<FirstLast*>(sqlite3_aggregate_context(ctx, sizeof(FirstLast)));
  if (!s) return sqlite3_result_error_nomem(ctx);
  if (argc < 1) return;
  sqlite3_value_free(s->value);
  s->value = sqlite3_value_dup(argv[0]);
  if (!s->value) sqlite3_result_error_nomem(ctx);
}

void FirstLastFinal(sqlite3_context* ctx) {
  auto* s = static_cast<FirstLast*>(sqlite3_aggregate_context(ctx, 0));
  if (!s || !s->value) return sqlite3_result_null(ctx);
  sqlite3_result_value(ctx, s->value);
  sqlite3_value_free(s->value);
  s->value = nullptr;
}

// ---- values as columns store them

namespace {

bool IsNumber(sqlite3_value* v) {
  const int t = sqlite3_value_type(v);
  return t == SQLITE_INTEGER || t == SQLITE_FLOAT;
}

// The rules each engine's form applies: a number as a Yes/No column stores
// it; a fraction as an integer column stores it (nullopt: beyond any integer
// column's range, left for the column to refuse); a number as Currency
// stores it; a GUID's text in upper case.
int32_t StoredBoolean(double d) {
  return d != 0 ? -1 : 0;
}

std::optional<int64_t> StoredInteger(double d) {
  if (!(std::fabs(d) < 9.2e18)) return std::nullopt;
  return static_cast<int64_t>(BankersRound(d));
}

// A number a Currency column cannot hold (its ten-thousandths beyond a
// 64-bit whole number: read back, it would come out as another number) is
// refused as an integer column refuses one beyond its range (3464). The
// bound's literal is the least double above Currency's largest value.
void CheckCurrencyRange(double d) {
  if (!(std::fabs(d) < 922337203685477.5807)) ThrowJet(jeterr::kTypeMismatch);
}

std::optional<double> StoredCurrency(double d) {
  CheckCurrencyRange(d);
  if (!(std::fabs(d) < 9.2e14)) return std::nullopt;
  return BankersRound(d * 10000.0) / 10000.0;
}

// A number a Single column cannot hold (beyond a Single's largest value,
// infinity included: stored, it read back as infinity) is refused as one
// beyond Currency's range is.
void CheckSingleRange(double d) {
  if (std::fabs(d) > FLT_MAX) ThrowJet(jeterr::kTypeMismatch);
}

std::string StoredGuid(std::string_view s) {
  std::string text(s);
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

}  // namespace

void StoreBoolean(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (!IsNumber(argv[0])) return sqlite3_result_value(ctx, argv[0]);
  sqlite3_result_int(ctx, StoredBoolean(sqlite3_value_double(argv[0])));
}

void StoreInteger(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const std::optional<int64_t> i = sqlite3_value_type(argv[0]) == SQLITE_FLOAT
                                       ? StoredInteger(sqlite3_value_double(argv[0]))
                                       : std::nullopt;
  if (!i) return sqlite3_result_value(ctx, argv[0]);
  sqlite3_result_int64(ctx, *i);
}

void StoreCurrency(sqlite3_context* ctx, int, sqlite3_value** argv) {
  std::optional<double> d;
  try {
    const int type = sqlite3_value_type(argv[0]);
    if (type == SQLITE_FLOAT)
      d = StoredCurrency(sqlite3_value_double(argv[0]));
    else if (type == SQLITE_INTEGER)
      CheckCurrencyRange(sqlite3_value_double(argv[0]));
  } catch (const Error& e) {
    return ReportError(ctx, e);
  }
  if (!d) return sqlite3_result_value(ctx, argv[0]);
  sqlite3_result_double(ctx, *d);
}

void StoreSingle(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_FLOAT) {
    try {
      CheckSingleRange(sqlite3_value_double(argv[0]));
    } catch (const Error& e) {
      return ReportError(ctx, e);
    }
  }
  sqlite3_result_value(ctx, argv[0]);
}

void StoreGuid(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) != SQLITE_TEXT) return sqlite3_result_value(ctx, argv[0]);
  const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  const std::string text =
      StoredGuid(std::string_view(p, static_cast<size_t>(sqlite3_value_bytes(argv[0]))));
  sqlite3_result_text64(ctx, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

// The same rules over Variant arguments. A value kept as it is keeps its
// kind; on SQLite a fraction is a REAL, here any number that is not whole.
Variant StoreBooleanFn(Args& a) {
  if (!a.IsNumber(0)) return a.Get(0);
  return Variant(static_cast<int16_t>(StoredBoolean(a.Double(0))));
}

Variant StoreIntegerFn(Args& a) {
  if (a.IsNull(0) || !a.IsNumber(0) || a.IsInteger(0)) return a.Get(0);
  const std::optional<int64_t> i = StoredInteger(a.Double(0));
  return i ? WholeResult(*i) : a.Get(0);
}

Variant StoreCurrencyFn(Args& a) {
  if (a.IsNull(0) || !a.IsNumber(0)) return a.Get(0);
  const std::optional<double> d = StoredCurrency(a.Double(0));
  return d ? Variant(*d) : a.Get(0);
}

Variant StoreSingleFn(Args& a) {
  if (!a.IsNull(0) && a.IsNumber(0)) CheckSingleRange(a.Double(0));
  return a.Get(0);
}

Variant StoreGuidFn(Args& a) {
  if (!a.IsText(0)) return a.Get(0);
  return Variant(StoredGuid(a.Text(0)));
}

}  // namespace qv::jet::fn
