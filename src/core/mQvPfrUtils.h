#pragma once
// Small routines of the pension-fund data that the person mappers of several
// layers share. Insurance numbers (SNILS) are stored bare: the digits alone,
// whatever separators the user typed, so that a formatted number compares
// equal to the stored one.

#include <string>
#include <string_view>

namespace qv::mQvPfrUtils {

inline constexpr std::string_view kModule = "mQvPfrUtils";

// The number without any "-" or " " ("112-233-445 95" -> "11223344595").
std::string PackPfrNumber(std::string_view number);

}  // namespace qv::mQvPfrUtils
