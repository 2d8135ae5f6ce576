#pragma once
// The text format of the registry store: a UTF-8, INI-like file of keys and
// typed values that stands in for the system registry (docs/registry.md).
//
//   ; comment lines start with ";" or "#"
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Kestrane\Quivane\General]
//   DataBasePath = "/home/u/data/"
//   Count = dword:00000010
//   "Name with = sign" = expand:"$HOME/x"
//   Folders = multi:"/a","/b"
//   Blob = hex:01,02,ff
//   @ = "the key's default value"
//
// This file only turns text into values and values into text; the store
// (RegistryStore.h) owns the file.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv::os {

// The predefined roots, numbered as the system's root key handles so that a
// caller passing the handle value as a number finds the same root.
enum class RegistryRoot : uint32_t {
  kClassesRoot = 0x80000000u,
  kCurrentUser = 0x80000001u,
  kLocalMachine = 0x80000002u,
  kUsers = 0x80000003u,
};

// "HKEY_LOCAL_MACHINE" or "HKLM" (any letter case) and so on; nullopt for
// other names.
std::optional<RegistryRoot> ParseRegistryRoot(std::string_view name);
// The long name ("HKEY_LOCAL_MACHINE"); "" for a number outside the enumeration.
std::string_view RegistryRootName(RegistryRoot root);

// Value types, numbered as the system numbers them.
enum class RegistryType : uint32_t {
  kString = 1,
  kExpandString = 2,
  kBinary = 3,
  kDword = 4,
  kMultiString = 7,
  kQword = 11,
};

struct RegistryValue {
  RegistryType type = RegistryType::kString;
  std::string text;                // kString, kExpandString (never expanded)
  std::vector<std::string> items;  // kMultiString
  std::vector<uint8_t> bytes;      // kBinary
  uint64_t number = 0;             // kDword (low 32 bits) and kQword

  static RegistryValue String(std::string s);
  static RegistryValue ExpandString(std::string s);
  static RegistryValue Dword(uint32_t n);
  static RegistryValue Qword(uint64_t n);
  static RegistryValue MultiString(std::vector<std::string> items);
  static RegistryValue Binary(std::vector<uint8_t> bytes);
  bool operator==(const RegistryValue&) const = default;
};

// Key paths are "\"-separated; empty components (doubled, leading or
// trailing "\") are dropped: "\SOFTWARE\\X\" names the key "SOFTWARE\X".
std::string NormalizeKeyPath(std::string_view keyPath);
// The form under which key paths and value names are compared: normalised
// and case-folded (Cyrillic included), as the registry ignores letter case.
std::string KeyPathLookupForm(std::string_view keyPath);
std::string ValueNameLookupForm(std::string_view valueName);

// One line of the file, classified. Malformed lines carry the reason.
struct RegistryLine {
  enum class Kind { kBlank, kComment, kKey, kValue, kMalformed };
  Kind kind = Kind::kBlank;
  RegistryRoot root = RegistryRoot::kLocalMachine;  // kKey
  std::string keyPath;                              // kKey, normalised
  std::string name;                                 // kValue; "" is the default value "@"
  RegistryValue value;                              // kValue
  std::string error;                                // kMalformed
};

// Classifies one line (without its line break; a trailing "\r" is ignored).
RegistryLine ParseRegistryLine(std::string_view line);

// The lines the writer produces; ParseRegistryLine reads them back exactly.
std::string FormatRegistryKeyLine(RegistryRoot root, std::string_view keyPath);
// REQUIRES: names and texts without NUL, CR or LF (the store checks first).
std::string FormatRegistryValueLine(std::string_view name, const RegistryValue& value);

}  // namespace qv::os
