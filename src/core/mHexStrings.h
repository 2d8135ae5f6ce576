#pragma once
// Byte arrays as hexadecimal text.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv::mHexStrings {

inline constexpr std::string_view kModule = "mHexStrings";

// Two upper-case hexadecimal digits per byte, no separators.
std::string EncodeToHexString(const std::vector<uint8_t>& bytes);
// Two digits per byte into `bytes`; returns the number of bytes. Error 5 for
// an odd length or a character that is not a hexadecimal digit.
int32_t DecodeFromHexString(std::string_view text, std::vector<uint8_t>& bytes);

}  // namespace qv::mHexStrings
