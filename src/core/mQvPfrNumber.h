#pragma once
// Insurance numbers (SNILS) as stored: the bare digits, whatever separators
// the user typed, so that a formatted number compares equal to the stored one.

#include <string>
#include <string_view>

namespace qv::mQvPfrNumber {

inline constexpr std::string_view kModule = "mQvPfrNumber";

// The number without any "-" or " " ("112-233-445 95" -> "11223344595").
std::string PackPfrNumber(std::string_view number);

}  // namespace qv::mQvPfrNumber
