#pragma once
// Arguments of `qvdb call`, read by their form:
//   a number (a sign, digits, one decimal point, an exponent: "1,5", "&H10"
//   are texts) -> Double ("i:" forces a Long; RunCall passes the text as
//   typed where the operation takes a String); true/false -> Boolean; null -> Null;
//   empty -> Empty (RunCall: an Optional argument left out); nothing -> Nothing;
//   d:YYYY-MM-DD[THH:MM:SS] -> Date;
//   @PROGID -> a new object; @PROGID{Name=value,...} -> the object with those
//   properties set (ID=n calls SetID(n)); [a,b,...] -> an array of Variants
//   from 0 with each element in any of these forms ([] has none; a comma
//   always separates elements); rs:[{Name=value,...},...] -> an ADODB.Recordset
//   with a row per {...} (DBDocument.SaveCells' cells); "s:" forces a text;
//   anything else is a text.

#include <string>
#include <string_view>

#include "platform/automation/Variant.h"

namespace qvdb {

// Raises qv::Error (5) with the argument named for a malformed form.
qv::Variant ParseCallArg(std::string_view text);

}  // namespace qvdb
