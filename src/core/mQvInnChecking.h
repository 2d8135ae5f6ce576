#pragma once
// Tax registration reason codes (KPP) as users type them.

#include <string>
#include <string_view>

namespace qv::mQvInnChecking {

inline constexpr std::string_view kModule = "mQvInnChecking";

// Trims and upper-cases the KPP, then replaces each Cyrillic capital that
// looks like a Latin letter (А Б В Ц С Д Е Ф Н К М Р Т Х) by that letter
// (A B B C C D E F H K M P T X); other characters stay as they are.
std::string NormalizeKpp(std::string_view kpp);

}  // namespace qv::mQvInnChecking
