#pragma once
// How the cells of big documents hold their values: every value is text.
// The typed setters of DBBigDocTable turn a caller's Variant into the text
// to store, or into "remove the cell", by the kind of setter; the typed
// getters read the text back. The texts do not depend on the system's
// settings:
//   integers   decimal digits, "-" before negatives
//   doubles    "." as the decimal point, no group separators, no "0"
//              before the point (".5", "-.25"), E notation for very large
//              or small magnitudes ("1E+20")
//   dates      "DD.MM.YYYY"
//   booleans   "1" and "0"

#include <cstdint>
#include <optional>
#include <string>

#include "platform/automation/Variant.h"

namespace qv::doctables {

// The setters' kinds of value.
enum class ValueKind : int32_t {
  kString = 1,
  kLong = 2,
  kDouble = 3,
  kMoney = 4,
  kDate = 5,
  kBoolean = 6,
  kWideString = 7,
  kCounter = 8,
};

// The text `aValue` is stored as by a setter of `aKind`; nullopt when the
// setter removes the cell instead (an empty text is never stored). Error 5
// for a kind outside 1..8.
std::optional<std::string> EncodeCellValue(const Variant& aValue, int32_t aKind);

// A number as the cells write it.
std::string DoubleText(const Variant& aNumber);

// "DD.MM.YYYY" (day, month, year: three whole numbers, none 0) as that
// date; Empty for any other text.
Variant DecodeCellDate(const std::string& aText);

}  // namespace qv::doctables
