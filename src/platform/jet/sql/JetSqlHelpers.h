#pragma once
// Jet operators that SQLite has no equivalent of are emitted as calls of the
// function table's operator entries, found by the operator's token ("+", "&",
// "\", "Mod", "^", "Like"); these are the SQLite names used when the table has
// no such entry. Each gives Null when an operand is Null, unless said otherwise.
//
// The table's entries "%Date" and "%Boolean" mark a value passed directly to a
// function as a date or a boolean (SQLite stores both as numbers); the
// translator wraps date- and boolean-typed arguments of scalar functions and
// operator calls in them when the table has them.

#include <string_view>

namespace qv::jet::sql {

// "+" where static types show neither both operands numeric (or dates) nor
// both texts: two texts concatenate; otherwise texts are read as numbers and
// added; a date operand gives a date.
inline constexpr std::string_view kAddFunction = "jet_add";
// "&" (any number of operands): Null counts as an empty text, but all-Null is
// Null; numbers, dates and booleans become text as CStr writes them.
inline constexpr std::string_view kConcatFunction = "jet_concat";
// "\" and Mod on operands not both of integer types: each operand is first
// rounded half to even; "\" truncates toward zero, Mod takes the sign of the
// dividend; a zero divisor is an error.
inline constexpr std::string_view kDivFunction = "jet_div";
inline constexpr std::string_view kIntDivFunction = "jet_idiv";
inline constexpr std::string_view kModFunction = "jet_mod";
inline constexpr std::string_view kPowFunction = "jet_pow";
// Like(value, pattern) with the wildcards * ? # [...] [!...], case-insensitive;
// any nonzero result is a match.
inline constexpr std::string_view kLikeFunction = "jet_like";

}  // namespace qv::jet::sql
