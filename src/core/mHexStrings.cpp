#include "core/mHexStrings.h"

#include <array>

#include "platform/automation/Error.h"

namespace qv::mHexStrings {

namespace {

// Digit values by character, -1 for non-digits; built once.
const std::array<int8_t, 256>& DigitTable() {
  static const std::array<int8_t, 256> table = [] {
    std::array<int8_t, 256> t{};
    t.fill(-1);
    for (int i = 0; i < 10; ++i) t['0' + i] = static_cast<int8_t>(i);
    for (int i = 0; i < 6; ++i) {
      t['A' + i] = static_cast<int8_t>(10 + i);
      t['a' + i] = static_cast<int8_t>(10 + i);
    }
    return t;
  }();
  return table;
}

}  // namespace

std::string EncodeToHexString(const std::vector<uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

int32_t DecodeFromHexString(std::string_view text, std::vector<uint8_t>& bytes) {
  if (text.size() % 2 != 0) ThrowVb(vberr::kInvalidProcedureCall, "hexadecimal text of odd length");
  const auto& table = DigitTable();
  std::vector<uint8_t> out(text.size() / 2);
  for (size_t i = 0; i < out.size(); ++i) {
    const int hi = table[static_cast<unsigned char>(text[2 * i])];
    const int lo = table[static_cast<unsigned char>(text[2 * i + 1])];
    if (hi < 0 || lo < 0)
      ThrowVb(vberr::kInvalidProcedureCall,
              "not a hexadecimal digit at position " + std::to_string(2 * i + (hi < 0 ? 1 : 2)));
    out[i] = static_cast<uint8_t>(hi * 16 + lo);
  }
  bytes = std::move(out);
  return static_cast<int32_t>(bytes.size());
}

}  // namespace qv::mHexStrings
