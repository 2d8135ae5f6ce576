#include "platform/jet/sql/JetServerFunctions.h"

#include <cstdint>

namespace qv::jet::sql {

namespace {

// Every argument is "any": the module reads each by the type the call gives
// it (an untyped literal, a column's type, a jetdate or jetbool result), as
// SQLite's functions read storage classes and subtypes. Nz and CVar, whose
// result is their argument, take the first as anycompatible and return its
// type (an untyped literal or Null: text). "+" where the types do not decide
// (but of two texts) returns double precision, as do the numeric functions of
// the first argument's kind (Abs, Int, Fix, Round) given a value of no type
// below (a sum of two texts by "+", a text, is a type mismatch there).
bool ReturnsArgument(const JetFunction& f) {
  return f.rule != TypeRule::kFixed && (f.name == "Nz" || f.name == "CVar");
}

// Abs, Int, Fix and Round keep their argument's kind, as on a file: a date
// stays a date (CStr(Int(Now())) writes a date), a whole number a whole
// number. A server function has one result type, so each kind has a form of
// its own, which the server picks by the first argument's declared type: an
// exact match takes a domain's form (jetdate) before its base type's. The
// text form (texts in every place) is there for untyped literals and Nulls:
// the server prefers a text's form for them, so Choose's index
// jet_round(NULL) and Round(Null, Null) are numbers. A second argument
// (Round's digits) must be an integer for the other forms: with another type
// the server reduces jetdate to its base type and takes the double's form.
bool KeepsKind(const JetFunction& f) {
  return f.rule == TypeRule::kArg0 && f.body != nullptr && f.final == nullptr &&
         !ReturnsArgument(f) && f.name != "+";
}

struct KindForm {
  std::string_view first, rest, result;  // the first argument's, the others', the result's
};
constexpr KindForm kKindForms[] = {
    {kServerDateType, "integer", kServerDateType},
    {"smallint", "integer", "integer"},
    {"integer", "integer", "integer"},
    {"double precision", "integer", "double precision"},
    {"text", "text", "double precision"},
};

// A deterministic function is IMMUTABLE, so that the planner computes a call
// of constants once, and has its lazy form beside it (kServerLazySuffix).
void AppendCreate(std::string& out, std::string_view name, std::string_view args,
                  std::string_view result, bool immutable, std::string_view module,
                  bool lazy = false) {
  if (immutable && !lazy) AppendCreate(out, name, args, result, true, module, true);
  out += "CREATE OR REPLACE FUNCTION ";
  out += name;
  if (lazy) out += kServerLazySuffix;
  out += '(';
  out += args;
  out += ") RETURNS ";
  out += result;
  out += "\n  AS '";
  out += module;
  out += "', '";
  out += kServerCallSymbol;
  out += "' LANGUAGE C ";
  out += immutable && !lazy ? "IMMUTABLE" : "VOLATILE";
  out += " PARALLEL SAFE;\n";
}

void AppendFunction(std::string& out, const JetFunction& f, int count, std::string_view module) {
  const bool first = ReturnsArgument(f);
  std::string args;
  if (count < 0) {
    args = "VARIADIC \"any\"";
  } else {
    for (int i = 0; i < count; ++i) {
      if (i > 0) args += ", ";
      args += i == 0 && first ? "anycompatible" : "\"any\"";
    }
  }
  // A whole number stored into a Long column beyond its range is the
  // column's refusal (3464), as on a file, not the Long result's overflow (6).
  const std::string_view result = first                        ? "anycompatible"
                                  : f.name == "%StoreInteger"  ? "bigint"
                                  : f.rule == TypeRule::kFixed ? ServerResultType(f.fixedType)
                                                               : "double precision";
  AppendCreate(out, f.sqliteName, args, result, f.deterministic, module);
  if (!KeepsKind(f) || count < 1) return;
  for (const KindForm& k : kKindForms) {
    std::string typed(k.first);
    for (int i = 1; i < count; ++i) {
      typed += ", ";
      typed += k.rest;
    }
    // Abs of Long's least value is beyond Long: a bigint, read as a Double
    // as a file gives it.
    const bool wider = f.name == "Abs" && k.first == "integer";
    AppendCreate(out, f.sqliteName, typed, wider ? "bigint" : k.result, f.deterministic, module);
  }
}

// First and Last: a step that keeps a copy of the first (every) value, Null
// included, and a final that returns it.
void AppendAggregate(std::string& out, const JetFunction& f, std::string_view module) {
  const std::string name(f.sqliteName);
  out +=
      "CREATE OR REPLACE FUNCTION " + name + "_step(internal, anyelement) RETURNS internal\n  AS '";
  out += module;
  out += "', 'qv_" + name + "_step' LANGUAGE C IMMUTABLE;\n";
  out += "CREATE OR REPLACE FUNCTION " + name +
         "_final(internal, anyelement) RETURNS anyelement\n  AS '";
  out += module;
  out += "', 'qv_jet_kept_final' LANGUAGE C IMMUTABLE;\n";
  out += "CREATE OR REPLACE AGGREGATE " + name + "(anyelement) (SFUNC = " + name +
         "_step, STYPE = internal, FINALFUNC = " + name + "_final, FINALFUNC_EXTRA);\n";
}

}  // namespace

std::string_view ServerResultType(JetType type) {
  switch (type) {
    case JetType::kText:
    case JetType::kMemo:
    case JetType::kChar:
    case JetType::kGUID:
      return "text";
    case JetType::kLong:
      return "integer";
    case JetType::kInteger:
    case JetType::kByte:
      return "smallint";
    case JetType::kBigInt:
      return "bigint";
    case JetType::kCurrency:
    case JetType::kSingle:
    case JetType::kDouble:
    case JetType::kNumeric:
    case JetType::kDecimal:
    case JetType::kFloat:
      return "double precision";
    case JetType::kDate:
    case JetType::kTime:
      return kServerDateType;
    case JetType::kBoolean:
      return kServerBooleanType;
    case JetType::kBinary:
    case JetType::kVarBinary:
    case JetType::kLongBinary:
      return "bytea";
    case JetType::kNone:
      break;
  }
  return {};
}

namespace {

// The definitions: the domains, the collation, then the functions and
// aggregates, each statement ending with ";\n".
std::string Definitions(std::string_view module) {
  std::string out;
  // Dates are day numbers and booleans -1/0, as the tables store them; the
  // domains mark a function's result as one for the function it is passed to.
  out += "CREATE DOMAIN ";
  out += kServerDateType;
  out += " AS double precision;\nCREATE DOMAIN ";
  out += kServerBooleanType;
  out += " AS smallint;\n";
  // Text comparison as the library's: ICU's root order at secondary strength
  // (case ignored, letters with diacritics apart, Ё right after Е).
  out += "CREATE COLLATION jetru (provider = icu, locale = '";
  out += kServerCollationLocale;
  out += "', deterministic = false);\n";
  for (const JetFunction& f : JetFunctionTable()) {
    if (f.final != nullptr) {
      AppendAggregate(out, f, module);
      continue;
    }
    if (f.body == nullptr) continue;  // the translator's CASE, or the server's own aggregate
    if (f.maxArgs < 0) {
      AppendFunction(out, f, -1, module);
      continue;
    }
    for (int n = f.minArgs; n <= f.maxArgs; ++n) AppendFunction(out, f, n, module);
    // "+" of two operands the server types as texts (a Variant result such as
    // CVar(Null) beside a text, which Jet types as text) is a text: the
    // server picks this form for them, the one of "any" for every other pair.
    if (f.name == "+") {
      AppendCreate(out, f.sqliteName, "text, text", "text", true, module);
    }
  }
  return out;
}

// FNV-1a of the text, 64 bits, as 16 hex digits.
std::string TextHash(std::string_view text) {
  uint64_t h = 14695981039346656037ull;
  for (const char c : text) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out(16, '0');
  for (int i = 15; i >= 0; --i, h >>= 4) out[static_cast<size_t>(i)] = kDigits[h & 15];
  return out;
}

}  // namespace

std::string ServerFunctionsVersion() {
  static const std::string version = TextHash(Definitions("MODULE"));
  return version;
}

std::string ServerFunctionsSql(std::string_view module, bool extensionScript) {
  std::string out =
      "-- The Jet functions of Qv_DBProvider on PostgreSQL: the library's function table\n"
      "-- as the build writes it (qv_jet_pg_sql). Do not edit.\n";
  if (extensionScript) out += "\\echo Use \"CREATE EXTENSION qv_jet\" to load this file. \\quit\n";
  out += Definitions(module);
  out += "CREATE OR REPLACE FUNCTION ";
  out += kServerFunctionsVersion;
  out += "() RETURNS text LANGUAGE sql IMMUTABLE AS 'SELECT ''";
  out += ServerFunctionsVersion();
  out += "''::text';\n";
  return out;
}

}  // namespace qv::jet::sql
