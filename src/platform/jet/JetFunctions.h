#pragma once
// The one table of Jet's scalar and aggregate functions: what the translator
// needs to type and emit a call, and what the engine registers with SQLite.

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/jet/JetTypes.h"

struct sqlite3_context;
struct sqlite3_value;

namespace qv {
class Variant;
}

namespace qv::jet {

namespace fn {
class Args;
}

// How the Jet result type of a call is found.
enum class TypeRule : uint8_t {
  kFixed,  // always `fixedType`
  kArg0,   // the type of the first argument (Max, Min, First, Last)
  // The common type of the values chosen among (IIf, Switch, Choose; Nz,
  // whose replacement for a Null is given as it is).
  kChosen,
};

using ScalarFn = void (*)(sqlite3_context*, int, sqlite3_value**);
using FinalFn = void (*)(sqlite3_context*);
// The engine-neutral body of a scalar function: Variant arguments read
// through Args, a Variant result (JetFunctionImpl.h). The server extension
// calls it; SQLite calls `impl`, which is Invoke<body> or a fast form of it.
using BodyFn = Variant (*)(fn::Args&);

struct JetFunction {
  std::string_view name;  // Jet name; matched case-insensitively, "$" suffix allowed
  int8_t minArgs;
  int8_t maxArgs;  // -1: any number
  TypeRule rule;
  JetType fixedType;            // for kFixed
  std::string_view sqliteName;  // name registered with SQLite (or a SQLite builtin)
  ScalarFn impl;                // scalar function, or the step of an aggregate
  FinalFn final = nullptr;      // set for user aggregates
  BodyFn body = nullptr;        // set for every scalar function of ours
  bool deterministic = true;    // false for Now, Date, Time ...
  bool aggregate = false;       // also true for SQLite's builtin aggregates
  // Written by the translator as a CASE, so that only the value chosen is
  // computed, as Jet does (IIf, Switch, Choose); registers nothing.
  bool lazy = false;
};

std::span<const JetFunction> JetFunctionTable();

// SQLite's refusal of a scalar subquery's second row (registered beside the
// table, SQLite only: a server refuses one itself): a function of no
// arguments that raises 3354, called where the subquery's rows counted more
// than one. Not deterministic, so that SQLite never computes it before.
inline constexpr std::string_view kSubqueryRowsError = "jet_subquery_rows_error";
// The entry for a Jet function name (case-insensitive, with or without a
// trailing "$"), or null.
const JetFunction* FindJetFunction(std::string_view name);

}  // namespace qv::jet
