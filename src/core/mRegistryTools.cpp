#include "core/mRegistryTools.h"

#include <array>

#include "platform/automation/VbaText.h"
#include "platform/os/RegistryStore.h"

namespace qv::mRegistryTools {

namespace {
// Text the reader cannot get from a stored value (an absent value reads
// as this and so falls to the caller's default).
constexpr std::string_view kAbsent = "*";
constexpr std::array<std::string_view, 5> kTrueWords{"true", "1", "-1", "yes", "y"};
constexpr std::array<std::string_view, 5> kFalseWords{"false", "0", "", "no", "n"};
}  // namespace

std::string RegistryValueToText(const os::RegistryValue& value) {
  using os::RegistryType;
  switch (value.type) {
    case RegistryType::kString:
    case RegistryType::kExpandString:
      return value.text;
    case RegistryType::kDword:
      return std::to_string(static_cast<int32_t>(static_cast<uint32_t>(value.number)));
    case RegistryType::kQword:
      return std::to_string(static_cast<int64_t>(value.number));
    case RegistryType::kMultiString: {
      std::string out;
      for (size_t i = 0; i < value.items.size(); ++i) out += (i ? "\n" : "") + value.items[i];
      return out;
    }
    case RegistryType::kBinary:
      return std::string(value.bytes.begin(), value.bytes.end());
  }
  return value.text;
}

std::string ReadRegistryString(RegistryRoot root, std::string_view keyPath,
                               std::string_view valueName, std::string_view def,
                               int32_t /*flags*/) {
  const auto value = os::RegistryStore::ForThread().Read(root, keyPath, valueName);
  return value ? RegistryValueToText(*value) : std::string(def);
}

bool ReadRegistryBoolean(RegistryRoot root, std::string_view keyPath, std::string_view valueName,
                         bool def) {
  const std::string word = LCase(ReadRegistryString(root, keyPath, valueName, kAbsent));
  if (word == kAbsent) return def;
  for (std::string_view w : kTrueWords)
    if (word == w) return true;
  for (std::string_view w : kFalseWords)
    if (word == w) return false;
  return def;
}

}  // namespace qv::mRegistryTools
