#pragma once
// Registry values read as text and as yes/no words, with a default for
// anything absent. Reading never raises.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/os/RegistryFormat.h"

namespace qv::mRegistryTools {

inline constexpr std::string_view kModule = "mRegistryTools";

using os::RegistryRoot;

// Bits of the `flags` argument. They chose the system's 64-bit or 32-bit
// registry view; the store has a single view, so they change nothing here.
inline constexpr int32_t kView64 = 1;
inline constexpr int32_t kView32 = 2;

// A value as text: a string or expandable string as stored (not expanded);
// a dword as a signed decimal number (ffffffff gives "-1") and a qword
// likewise; a multi-string's items joined by line feeds; binary data as
// the text made of its bytes.
std::string RegistryValueToText(const os::RegistryValue& value);

// The value as text, or `def` when the key or the value is absent.
std::string ReadRegistryString(RegistryRoot root, std::string_view keyPath,
                               std::string_view valueName, std::string_view def, int32_t flags = 0);

// The value read as a yes/no word, ignoring letter case: "true", "1", "-1",
// "yes", "y" are true; "false", "0", "", "no", "n" are false; an absent
// value and any other word (" yes" with its space included) give `def`.
bool ReadRegistryBoolean(RegistryRoot root, std::string_view keyPath, std::string_view valueName,
                         bool def);

}  // namespace qv::mRegistryTools
