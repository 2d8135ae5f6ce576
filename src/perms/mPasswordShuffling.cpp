#include "perms/mPasswordShuffling.h"

#include <algorithm>
#include <optional>
#include <random>

#include "core/mHexStrings.h"
#include "platform/automation/Error.h"
#include "platform/automation/VbaText.h"

namespace qv::mPasswordShuffling {

namespace {

std::vector<uint8_t> Utf16Bytes(std::u16string_view units) {
  std::vector<uint8_t> bytes;
  bytes.reserve(units.size() * 2);
  for (char16_t u : units) {
    bytes.push_back(static_cast<uint8_t>(u & 0xFF));
    bytes.push_back(static_cast<uint8_t>(u >> 8));
  }
  return bytes;
}

std::u16string Utf16Units(const std::vector<uint8_t>& bytes, size_t fromByte) {
  std::u16string units;
  for (size_t i = fromByte; i + 1 < bytes.size(); i += 2)
    units.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
  return units;
}

// The password bytes of a stored text (after the prefix); nullopt when the
// text is not a stored password: not hexadecimal, an odd or zero byte
// count, or nothing after the prefix.
std::optional<std::vector<uint8_t>> StoredBytes(std::string_view stored) {
  std::vector<uint8_t> bytes;
  try {
    mHexStrings::DecodeFromHexString(stored, bytes);
  } catch (const Error&) {
    return std::nullopt;
  }
  constexpr size_t kPrefixBytes = kImitoLength * 2;
  if (bytes.empty() || bytes.size() % 2 != 0) return std::nullopt;
  DecodeData(bytes);
  if (bytes.size() <= kPrefixBytes) return std::nullopt;
  return std::vector<uint8_t>(bytes.begin() + kPrefixBytes, bytes.end());
}

uint16_t Step(uint8_t cipher, uint16_t r) {
  return static_cast<uint16_t>((static_cast<uint32_t>(cipher) + r) * kMultiplier + kIncrement);
}

}  // namespace

void EncodeData(std::vector<uint8_t>& bytes) {
  uint16_t r = kStartKey;
  for (uint8_t& b : bytes) {
    b = static_cast<uint8_t>(b ^ (r >> 8));
    r = Step(b, r);
  }
}

void DecodeData(std::vector<uint8_t>& bytes) {
  uint16_t r = kStartKey;
  for (uint8_t& b : bytes) {
    const uint8_t cipher = b;
    b = static_cast<uint8_t>(cipher ^ (r >> 8));
    r = Step(cipher, r);
  }
}

std::u16string GetRandomImitoString(int32_t n) {
  thread_local std::mt19937 generator{std::random_device{}()};
  std::uniform_int_distribution<int> code(1, 65530);
  std::u16string s;
  for (int32_t i = 0; i < n; ++i) s.push_back(static_cast<char16_t>(code(generator)));
  return s;
}

std::string EncodePassword(std::string_view aPassword) {
  if (aPassword.empty()) return {};
  std::vector<uint8_t> bytes = Utf16Bytes(GetRandomImitoString(kImitoLength) + ToUtf16(aPassword));
  EncodeData(bytes);
  return mHexStrings::EncodeToHexString(bytes);
}

std::string DecodePassword(std::string_view aStored) {
  if (aStored.empty()) return {};
  const auto bytes = StoredBytes(aStored);
  return bytes ? ToUtf8(Utf16Units(*bytes, 0)) : std::string();
}

bool PasswordMatches(std::string_view aStored, std::string_view aPassword) {
  if (aStored.empty()) return aPassword.empty();
  const auto stored = StoredBytes(aStored);
  if (!stored) return false;
  const std::vector<uint8_t> given = Utf16Bytes(ToUtf16(aPassword));
  // No early exit: every byte of the longer side is looked at.
  size_t diff = stored->size() ^ given.size();
  const size_t n = std::max(stored->size(), given.size());
  for (size_t i = 0; i < n; ++i) {
    const uint8_t a = i < stored->size() ? (*stored)[i] : 0;
    const uint8_t b = i < given.size() ? given[i] : 0;
    diff |= static_cast<size_t>(a ^ b);
  }
  return diff == 0;
}

}  // namespace qv::mPasswordShuffling
