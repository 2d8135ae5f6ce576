#pragma once
// New GUID texts.

#include <string>
#include <string_view>

namespace qv::mQvGuids {

inline constexpr std::string_view kModule = "mQvGuids";

// A new random UUID as its 36-character text with hyphens, no braces.
std::string CreateNewGuid();
// The same without the hyphens: 32 characters.
std::string CreateNewGuidWithoutHyphens();

}  // namespace qv::mQvGuids
