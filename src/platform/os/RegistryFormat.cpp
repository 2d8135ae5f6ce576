#include "platform/os/RegistryFormat.h"

#include <array>
#include <utility>

#include "platform/automation/VbaText.h"

namespace qv::os {

namespace {

struct RootName {
  RegistryRoot root;
  std::string_view longName;
  std::string_view shortName;
};
constexpr std::array<RootName, 4> kRoots{{
    {RegistryRoot::kClassesRoot, "HKEY_CLASSES_ROOT", "HKCR"},
    {RegistryRoot::kCurrentUser, "HKEY_CURRENT_USER", "HKCU"},
    {RegistryRoot::kLocalMachine, "HKEY_LOCAL_MACHINE", "HKLM"},
    {RegistryRoot::kUsers, "HKEY_USERS", "HKU"},
}};

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// Removes `prefix` (ASCII, any letter case) from the front of `s` when present.
bool ConsumePrefix(std::string_view& s, std::string_view prefix) {
  if (s.size() < prefix.size() || !EqualsAsciiNoCase(s.substr(0, prefix.size()), prefix))
    return false;
  s.remove_prefix(prefix.size());
  return true;
}

// Nothing but blanks and an optional ";" or "#" comment is left.
bool AtEndOrComment(std::string_view rest) {
  rest = TrimBlanks(rest);
  return rest.empty() || rest.front() == ';' || rest.front() == '#';
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = AsciiLower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Reads up to `maxDigits` hex digits from the front of `s`; nullopt when
// there is none or more follow.
std::optional<uint64_t> TakeHex(std::string_view& s, size_t maxDigits) {
  uint64_t n = 0;
  size_t digits = 0;
  while (!s.empty() && HexDigit(s.front()) >= 0) {
    if (++digits > maxDigits) return std::nullopt;
    n = n * 16 + static_cast<uint64_t>(HexDigit(s.front()));
    s.remove_prefix(1);
  }
  if (digits == 0) return std::nullopt;
  return n;
}

// A double-quoted text at the front of `s`. Escapes: \\ and \"; any other
// backslash stands for itself, so "C:\temp" reads as written.
std::optional<std::string> TakeQuoted(std::string_view& s) {
  if (s.empty() || s.front() != '"') return std::nullopt;
  std::string out;
  for (size_t i = 1; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '"') {
      s.remove_prefix(i + 1);
      return out;
    }
    if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) ++i;
    out += s[i];
  }
  return std::nullopt;
}

std::string Quote(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

using DataResult = std::pair<std::optional<RegistryValue>, std::string>;

DataResult Fail(std::string why) {
  return {std::nullopt, std::move(why)};
}

DataResult QuotedData(std::string_view d, RegistryType type) {
  auto text = TakeQuoted(d);
  if (!text) return Fail("unterminated or missing quoted text");
  if (!AtEndOrComment(d)) return Fail("text after the closing quote");
  RegistryValue v = RegistryValue::String(std::move(*text));
  v.type = type;
  return {std::move(v), {}};
}

DataResult NumberData(std::string_view d, bool qword) {
  const size_t maxDigits = qword ? 16 : 8;
  auto n = TakeHex(d, maxDigits);
  if (!n || !AtEndOrComment(d))
    return Fail(qword ? "qword: needs 1 to 16 hex digits" : "dword: needs 1 to 8 hex digits");
  return {qword ? RegistryValue::Qword(*n) : RegistryValue::Dword(static_cast<uint32_t>(*n)), {}};
}

DataResult BinaryData(std::string_view d) {
  std::vector<uint8_t> bytes;
  d = TrimBlanks(d);
  if (AtEndOrComment(d)) return {RegistryValue::Binary({}), {}};
  while (true) {
    auto b = TakeHex(d, 2);
    if (!b) return Fail("hex: needs bytes of 1 or 2 hex digits separated by commas");
    bytes.push_back(static_cast<uint8_t>(*b));
    d = TrimBlanks(d);
    if (d.empty() || d.front() != ',') break;
    d = TrimBlanks(d.substr(1));
  }
  if (!AtEndOrComment(d)) return Fail("hex: unexpected text after the bytes");
  return {RegistryValue::Binary(std::move(bytes)), {}};
}

DataResult MultiData(std::string_view d) {
  std::vector<std::string> items;
  d = TrimBlanks(d);
  if (AtEndOrComment(d)) return {RegistryValue::MultiString({}), {}};
  while (true) {
    auto item = TakeQuoted(d);
    if (!item) return Fail("multi: needs quoted texts separated by commas");
    items.push_back(std::move(*item));
    d = TrimBlanks(d);
    if (d.empty() || d.front() != ',') break;
    d = TrimBlanks(d.substr(1));
  }
  if (!AtEndOrComment(d)) return Fail("multi: unexpected text after the items");
  return {RegistryValue::MultiString(std::move(items)), {}};
}

// The part after "=", blanks trimmed.
DataResult ParseData(std::string_view d) {
  if (!d.empty() && d.front() == '"') return QuotedData(d, RegistryType::kString);
  if (ConsumePrefix(d, "dword:")) return NumberData(d, false);
  if (ConsumePrefix(d, "qword:")) return NumberData(d, true);
  if (ConsumePrefix(d, "hex:")) return BinaryData(d);
  if (ConsumePrefix(d, "multi:")) return MultiData(d);
  if (ConsumePrefix(d, "expand:")) return QuotedData(TrimBlanks(d), RegistryType::kExpandString);
  // An unquoted text is taken as written, to the end of the line.
  return {RegistryValue::String(std::string(d)), {}};
}

RegistryLine Malformed(std::string why) {
  RegistryLine l;
  l.kind = RegistryLine::Kind::kMalformed;
  l.error = std::move(why);
  return l;
}

RegistryLine ParseKeyLine(std::string_view t) {
  if (t.back() != ']') return Malformed("key line without a closing ']'");
  std::string_view inner = t.substr(1, t.size() - 2);
  const size_t slash = inner.find('\\');
  const std::string_view rootName = TrimBlanks(inner.substr(0, slash));
  const auto root = ParseRegistryRoot(rootName);
  if (!root) return Malformed("unknown root key '" + std::string(rootName) + "'");
  RegistryLine l;
  l.kind = RegistryLine::Kind::kKey;
  l.root = *root;
  if (slash != std::string_view::npos) l.keyPath = NormalizeKeyPath(inner.substr(slash + 1));
  return l;
}

RegistryLine ParseValueLine(std::string_view t) {
  RegistryLine l;
  l.kind = RegistryLine::Kind::kValue;
  if (t.front() == '"') {
    auto name = TakeQuoted(t);
    if (!name) return Malformed("unterminated quoted value name");
    l.name = std::move(*name);
    t = TrimBlanks(t);
  } else {
    const size_t eq = t.find('=');
    if (eq == std::string_view::npos) return Malformed("no '=' in the value line");
    const std::string_view name = TrimBlanks(t.substr(0, eq));
    if (name.empty()) return Malformed("value without a name (the default value is '@')");
    if (name != "@") l.name = std::string(name);
    t = t.substr(eq);
  }
  if (t.empty() || t.front() != '=') return Malformed("no '=' after the value name");
  auto [value, why] = ParseData(TrimBlanks(t.substr(1)));
  if (!value) return Malformed(why);
  l.value = std::move(*value);
  return l;
}

bool IsBareName(std::string_view name) {
  if (name.empty() || name == "@") return false;
  if (IsBlank(name.front()) || IsBlank(name.back())) return false;
  const char first = name.front();
  if (first == '"' || first == '[' || first == ';' || first == '#') return false;
  for (char c : name)
    if (c == '=' || static_cast<unsigned char>(c) < 0x20) return false;
  return true;
}

std::string HexText(uint64_t n, int digits) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out(static_cast<size_t>(digits), '0');
  for (int i = digits - 1; i >= 0; --i, n >>= 4) out[static_cast<size_t>(i)] = kDigits[n & 15];
  return out;
}

}  // namespace

std::optional<RegistryRoot> ParseRegistryRoot(std::string_view name) {
  for (const auto& r : kRoots)
    if (EqualsAsciiNoCase(name, r.longName) || EqualsAsciiNoCase(name, r.shortName)) return r.root;
  return std::nullopt;
}

std::string_view RegistryRootName(RegistryRoot root) {
  for (const auto& r : kRoots)
    if (r.root == root) return r.longName;
  return {};
}

RegistryValue RegistryValue::String(std::string s) {
  RegistryValue v;
  v.type = RegistryType::kString;
  v.text = std::move(s);
  return v;
}

RegistryValue RegistryValue::ExpandString(std::string s) {
  RegistryValue v = String(std::move(s));
  v.type = RegistryType::kExpandString;
  return v;
}

RegistryValue RegistryValue::Dword(uint32_t n) {
  RegistryValue v;
  v.type = RegistryType::kDword;
  v.number = n;
  return v;
}

RegistryValue RegistryValue::Qword(uint64_t n) {
  RegistryValue v;
  v.type = RegistryType::kQword;
  v.number = n;
  return v;
}

RegistryValue RegistryValue::MultiString(std::vector<std::string> items) {
  RegistryValue v;
  v.type = RegistryType::kMultiString;
  v.items = std::move(items);
  return v;
}

RegistryValue RegistryValue::Binary(std::vector<uint8_t> bytes) {
  RegistryValue v;
  v.type = RegistryType::kBinary;
  v.bytes = std::move(bytes);
  return v;
}

std::string NormalizeKeyPath(std::string_view keyPath) {
  std::string out;
  while (!keyPath.empty()) {
    const size_t slash = keyPath.find('\\');
    const std::string_view part = keyPath.substr(0, slash);
    if (!part.empty()) {
      if (!out.empty()) out += '\\';
      out += part;
    }
    if (slash == std::string_view::npos) break;
    keyPath.remove_prefix(slash + 1);
  }
  return out;
}

std::string KeyPathLookupForm(std::string_view keyPath) {
  return FoldCase(NormalizeKeyPath(keyPath));
}

std::string ValueNameLookupForm(std::string_view valueName) {
  return FoldCase(valueName);
}

RegistryLine ParseRegistryLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  const std::string_view t = TrimBlanks(line);
  if (t.empty()) return {};
  if (t.front() == ';' || t.front() == '#') {
    RegistryLine l;
    l.kind = RegistryLine::Kind::kComment;
    return l;
  }
  return t.front() == '[' ? ParseKeyLine(t) : ParseValueLine(t);
}

std::string FormatRegistryKeyLine(RegistryRoot root, std::string_view keyPath) {
  std::string out = "[" + std::string(RegistryRootName(root));
  const std::string path = NormalizeKeyPath(keyPath);
  if (!path.empty()) out += "\\" + path;
  return out + "]";
}

std::string FormatRegistryValueLine(std::string_view name, const RegistryValue& value) {
  std::string out = name.empty() ? "@" : IsBareName(name) ? std::string(name) : Quote(name);
  out += " = ";
  switch (value.type) {
    case RegistryType::kString:
      return out + Quote(value.text);
    case RegistryType::kExpandString:
      return out + "expand:" + Quote(value.text);
    case RegistryType::kDword:
      return out + "dword:" + HexText(value.number & 0xFFFFFFFFu, 8);
    case RegistryType::kQword:
      return out + "qword:" + HexText(value.number, 16);
    case RegistryType::kBinary: {
      out += "hex:";
      for (size_t i = 0; i < value.bytes.size(); ++i)
        out += (i ? "," : "") + HexText(value.bytes[i], 2);
      return out;
    }
    case RegistryType::kMultiString: {
      out += "multi:";
      for (size_t i = 0; i < value.items.size(); ++i) out += (i ? "," : "") + Quote(value.items[i]);
      return out;
    }
  }
  return out + Quote(value.text);
}

}  // namespace qv::os
