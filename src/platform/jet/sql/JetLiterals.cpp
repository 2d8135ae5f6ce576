#include "platform/jet/sql/JetLiterals.h"

#include <charconv>

#include "platform/jet/sql/JetLexer.h"

namespace qv::jet::sql {

namespace {

LiteralKind NumberKind(std::string_view token) {
  if (token.find_first_not_of("0123456789") != std::string_view::npos) return LiteralKind::kNumber;
  int64_t v = 0;
  const auto [ptr, ec] = std::from_chars(token.data(), token.data() + token.size(), v);
  return ec == std::errc() && ptr == token.data() + token.size() && v <= INT32_MAX
             ? LiteralKind::kLong
             : LiteralKind::kNumber;
}

}  // namespace

void ScanLiterals(std::string_view s, LiteralScan& out) {
  out.shape.clear();
  out.literals.clear();
  out.shape.reserve(s.size());
  size_t i = 0;
  auto add = [&](LiteralKind kind, size_t start) {
    out.literals.push_back({kind, start, s.substr(start, i - start)});
    out.shape += '\x01';
    out.shape += static_cast<char>('0' + static_cast<int>(kind));
  };
  while (i < s.size()) {
    const char c = s[i];
    const size_t start = i;
    if (StartsNumber(s, i)) {
      i = NumberEnd(s, i);
      add(NumberKind(s.substr(start, i - start)), start);
    } else if (IsWordByte(static_cast<unsigned char>(c))) {
      while (i < s.size() && IsWordByte(static_cast<unsigned char>(s[i]))) ++i;
      if (i < s.size() && s[i] == '$') ++i;
      out.shape.append(s.substr(start, i - start));
    } else if (c == '\'' || c == '"') {
      for (++i;;) {
        if (i >= s.size()) {  // unterminated: left for the lexer to report
          out.shape.append(s.substr(start));
          return;
        }
        if (s[i++] != c) continue;
        if (i < s.size() && s[i] == c) {
          ++i;
          continue;
        }
        break;
      }
      add(LiteralKind::kText, start);
    } else if (c == '[' || c == '`' || c == '#') {
      const size_t close = s.find(c == '[' ? ']' : c, i + 1);
      i = close == std::string_view::npos ? s.size() : close + 1;
      out.shape.append(s.substr(start, i - start));
    } else if (c == '{') {
      // {guid {...}}: through its second closing brace.
      const size_t inner = s.find('}', i + 1);
      const size_t outer = inner == std::string_view::npos ? inner : s.find('}', inner + 1);
      i = outer == std::string_view::npos ? s.size() : outer + 1;
      out.shape.append(s.substr(start, i - start));
    } else {
      out.shape += c;
      ++i;
    }
  }
}

std::string TextLiteralValue(std::string_view token) {
  std::string value;
  if (token.size() < 2) return value;
  const char quote = token.front();
  value.reserve(token.size() - 2);
  for (size_t i = 1; i + 1 < token.size(); ++i) {
    value += token[i];
    if (token[i] == quote) ++i;  // a quote written twice
  }
  return value;
}

}  // namespace qv::jet::sql
