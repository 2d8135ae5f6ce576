#include "JsonText.h"

#include <unicode/utf8.h>

#include <cstdint>
#include <cstdio>

namespace qvdb {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

}  // namespace

std::string JsonString(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  const auto* s = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  for (int32_t i = 0; i < length;) {
    const uint8_t c = s[i];
    if (c >= 0x80) {
      const int32_t start = i;
      UChar32 code = 0;
      U8_NEXT(s, i, length, code);  // past the sequence, or its maximal ill-formed subpart
      if (code < 0)
        out += kReplacement;
      else
        out.append(text.data() + start, static_cast<size_t>(i - start));
      continue;
    }
    ++i;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

}  // namespace qvdb
