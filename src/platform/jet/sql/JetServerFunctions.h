#pragma once
// The Jet functions on a PostgreSQL server: the SQL that creates every
// function of the Jet function table the PostgreSQL dialect calls, as
// C-language functions of the library's server module (pg/), with the types
// and the collation the module and the emitter rely on. The extension's
// install script is this text; the tests load the same text into their
// throwaway server with the built module's path.

#include <string>
#include <string_view>

#include "platform/jet/JetFunctions.h"

namespace qv::jet::sql {

// The names the server module and the SQL share.
inline constexpr std::string_view kServerDateType = "jetdate";     // a double marked as a date
inline constexpr std::string_view kServerBooleanType = "jetbool";  // a smallint -1/0 marked
inline constexpr std::string_view kServerCallSymbol = "qv_jet_call";
// The lazy form of a deterministic function: the same function declared
// VOLATILE, which the server's planner never computes before the statement
// runs, as it computes an IMMUTABLE call of constants. The emitter calls it
// for calls of literals in a part of IIf, Switch or Choose that may not be
// computed, so that one that fails (1 \ 0) fails only when chosen.
inline constexpr std::string_view kServerLazySuffix = "_lazy";

// The PostgreSQL type a function returns for a result of Jet type `type`:
// texts and GUID text, Long integer, Integer and Byte smallint, the floating
// and decimal types and Currency double precision, Date jetdate, Boolean
// jetbool. Empty for kNone (the result's type is the first argument's).
std::string_view ServerResultType(JetType type);

// The statements that create the functions, aggregates, domains and the
// collation jetru. `module` is what AS names the library by: MODULE_PATHNAME
// in the extension's script, the built module's absolute path in tests.
// `extensionScript` adds the guard line an extension script begins with.
// Its last statement creates kServerFunctionsVersion(), which returns
// ServerFunctionsVersion(); every function is CREATE OR REPLACE, so that
// the text run again over an older set replaces it in place (what depends
// on a function, a column's default, stays).
std::string ServerFunctionsSql(std::string_view module, bool extensionScript);

// The version of the functions' definitions (a hash of their text without
// the module's path): a set made by another build answers another one, or
// none when made before sets had one.
std::string ServerFunctionsVersion();
inline constexpr std::string_view kServerFunctionsVersion = "jet_functions_version";

// The ICU locale of the collation jetru (see JetServerFunctions.cpp).
inline constexpr std::string_view kServerCollationLocale = "und-u-ks-level2";

}  // namespace qv::jet::sql
