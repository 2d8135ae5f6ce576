#pragma once
// Jet's #date# literals.

#include <optional>
#include <string_view>

namespace qv::jet::sql {

// The OLE Automation date serial of the text between the hashes of a Jet date
// literal, or nothing when it is not a valid date. Accepted: "yyyy-mm-dd",
// "yyyy/m/d", "m/d/yyyy" and "m/d/yy" (month first, whatever the locale; a
// two-digit year 0-29 is 20xx, 30-99 is 19xx), each optionally followed by a
// time "h:mm[:ss]" with an optional AM/PM, or a time alone (a serial below 1).
std::optional<double> ParseJetDateLiteral(std::string_view text);

}  // namespace qv::jet::sql
