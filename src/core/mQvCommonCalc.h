#pragma once
// Tolerant conversions between database values, SQL text and record
// properties, and small collection and text utilities.

#include <string>
#include <string_view>

#include "platform/automation/Collection.h"
#include "platform/automation/Error.h"
#include "platform/automation/Variant.h"

namespace qv::mQvCommonCalc {

inline constexpr std::string_view kModule = "mQvCommonCalc";

// Dates as "DD.MM.YYYY", other values as text; the default for Null and
// for values without a text form.
std::string VarToStr(const Variant& value, const std::string& def = {});
// The value converted by `convert` (CLng, CDbl, CStr, CDate ...), or `def`
// when it is Null or does not convert: the tolerant reading of stored
// values, which never fails. (Where only an absent value means the default
// and a bad one is an error: CLngOr / CDblOr of Variant.h.)
template <class T, class F>
T ConvertOr(const Variant& value, T def, F convert) {
  if (value.IsNull()) return def;
  try {
    return convert(value);
  } catch (const Error&) {
    return def;
  }
}
// ConvertOr with CLng and CDbl.
int32_t VarToLongDef(const Variant& value, int32_t def);
double VarToDoubleDef(const Variant& value, double def);
// The text as a number; when that fails, tried once more with the decimal
// separator swapped (commas to points, or points to commas).
double StrToDoubleEx(const std::string& text, bool& success);
// The text as Long when it holds no comma, point or space; else the default
// with `success` false.
int32_t StrToLongEx(const std::string& text, int32_t def, bool& success);
// The value as a date; an empty value gives the date 0.
OleDate VarToDate(const Variant& value);
// True unless the value is a date whose whole-day part is not 0, or a text
// that reads as a date.
bool IsEmptyDate(const Variant& value);
// "DD.MM.YYYY" for a non-empty date, whatever the system's date settings;
// the empty text otherwise.
std::string DateToDotText(const Variant& value);
Variant NullIfEmptyStr(const std::string& text);
std::string PadLeftStr(const std::string& text, int32_t width, std::string_view fill);
bool IsKeyInCollection(const Collection& collection, const std::string& key);
// The item under the key, or Nothing when absent.
Variant GetCollectionItem(const Collection& collection, const std::string& key);
// The items joined by the separator; numbers with the invariant decimal point.
std::string JoinCollection(const Collection& collection, const std::string& separator);
// Removes `prefix` from the start of `text` when it matches (ignoring
// letter case unless `caseSensitive`).
void RemovePrefix(std::string& text, const std::string& prefix, bool caseSensitive);
// Element count and bounds of a one-dimensional array; 0, 0 and -1 for an
// array without dimensions. Error 13 for a value that is not an array.
void GetArrayBounds(const Variant& array, int32_t& count, int32_t& lower, int32_t& upper);
// Joins two parts with exactly one separator between them: both empty give
// the empty text, an empty left part gives the right part unchanged.
std::string JoinWithSeparator(std::string_view left, std::string_view right, char separator);
// Joins two file paths with one "/".
std::string ConcatenatePath(std::string_view left, std::string_view right);

}  // namespace qv::mQvCommonCalc
