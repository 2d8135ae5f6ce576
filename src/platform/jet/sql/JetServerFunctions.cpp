#include "platform/jet/sql/JetServerFunctions.h"

namespace qv::jet::sql {

namespace {

// Every argument is "any": the module reads each by the type the call gives
// it (an untyped literal, a column's type, a jetdate or jetbool result), as
// SQLite's functions read storage classes and subtypes. Nz and CVar, whose
// result is their argument, take the first as anycompatible and return its
// type (an untyped literal or Null: text). The numeric functions of the
// first argument's kind (Abs, Int, Fix, Round) and "+" where the types do not
// decide (but of two texts) return double precision: they give numbers of any kind for texts,
// whole numbers and dates alike, and Choose's index, jet_round(NULL), needs
// a number (a sum of two texts by "+", a text, is a type mismatch there).
bool ReturnsArgument(const JetFunction& f) {
  return f.rule != TypeRule::kFixed && (f.name == "Nz" || f.name == "CVar");
}

void AppendFunction(std::string& out, const JetFunction& f, int count, std::string_view module) {
  const bool first = ReturnsArgument(f);
  out += "CREATE FUNCTION ";
  out += f.sqliteName;
  out += '(';
  if (count < 0) {
    out += "VARIADIC \"any\"";
  } else {
    for (int i = 0; i < count; ++i) {
      if (i > 0) out += ", ";
      out += i == 0 && first ? "anycompatible" : "\"any\"";
    }
  }
  out += ") RETURNS ";
  out += first                        ? "anycompatible"
         : f.rule == TypeRule::kFixed ? ServerResultType(f.fixedType)
                                      : "double precision";
  out += "\n  AS '";
  out += module;
  out += "', '";
  out += kServerCallSymbol;
  out += "' LANGUAGE C ";
  out += f.deterministic ? "IMMUTABLE" : "VOLATILE";
  out += " PARALLEL SAFE;\n";
}

// First and Last: a step that keeps a copy of the first (every) value, Null
// included, and a final that returns it.
void AppendAggregate(std::string& out, const JetFunction& f, std::string_view module) {
  const std::string name(f.sqliteName);
  out += "CREATE FUNCTION " + name + "_step(internal, anyelement) RETURNS internal\n  AS '";
  out += module;
  out += "', 'qv_" + name + "_step' LANGUAGE C IMMUTABLE;\n";
  out += "CREATE FUNCTION " + name + "_final(internal, anyelement) RETURNS anyelement\n  AS '";
  out += module;
  out += "', 'qv_jet_kept_final' LANGUAGE C IMMUTABLE;\n";
  out += "CREATE AGGREGATE " + name + "(anyelement) (SFUNC = " + name +
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

std::string ServerFunctionsSql(std::string_view module, bool extensionScript) {
  std::string out =
      "-- The Jet functions of Qv_DBProvider on PostgreSQL: the library's function table\n"
      "-- as the build writes it (qv_jet_pg_sql). Do not edit.\n";
  if (extensionScript) out += "\\echo Use \"CREATE EXTENSION qv_jet\" to load this file. \\quit\n";
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
      out += "CREATE FUNCTION ";
      out += f.sqliteName;
      out += "(text, text) RETURNS text\n  AS '";
      out += module;
      out += "', '";
      out += kServerCallSymbol;
      out += "' LANGUAGE C IMMUTABLE PARALLEL SAFE;\n";
    }
  }
  return out;
}

}  // namespace qv::jet::sql
