#include "platform/jet/sql/JetLiterals.h"

#include <cctype>
#include <charconv>

#include "platform/automation/VbaText.h"
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

// A byte that starts none of the tokens ScanLiterals looks at: not a
// digit, a word byte, a quote, a bracket, a hash, a brace or a dot (which
// may start a number).
bool IsPlainByte(char c) {
  const auto u = static_cast<unsigned char>(c);
  return !IsWordByte(u) && c != '\'' && c != '"' && c != '[' && c != '`' && c != '#' && c != '{' &&
         c != '.';
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

// Reads a GUID literal starting at the '{' at `i` as the lexer does: the end
// of the literal, and its digits into `digits` when not null; npos when it
// is malformed (the lexer then reports it).
size_t GuidEnd(std::string_view s, size_t i, std::string* digits) {
  auto skip = [&] {
    while (i < s.size() && IsSpace(s[i])) ++i;
  };
  ++i;
  skip();
  if (s.size() - i < 4 || !EqualsAsciiNoCase(s.substr(i, 4), "GUID")) return std::string_view::npos;
  i += 4;
  skip();
  if (i >= s.size() || s[i] != '{') return std::string_view::npos;
  ++i;
  for (int k = 0; k < 36; ++k, ++i) {
    const bool dash = k == 8 || k == 13 || k == 18 || k == 23;
    if (i >= s.size() ||
        (dash ? s[i] != '-' : std::isxdigit(static_cast<unsigned char>(s[i])) == 0))
      return std::string_view::npos;
    if (digits) *digits += static_cast<char>(std::toupper(static_cast<unsigned char>(s[i])));
  }
  for (int k = 0; k < 2; ++k) {
    skip();
    if (i >= s.size() || s[i] != '}') return std::string_view::npos;
    ++i;
  }
  return i;
}

}  // namespace

void ScanLiterals(std::string_view s, LiteralScan& out) {
  out.shape.clear();
  out.literals.clear();
  out.shape.reserve(s.size());
  size_t i = 0;
  // The shape is the text with each literal replaced by its mark: the text
  // since the last literal is appended at once when the next one is found
  // (a statement is mostly words, names and punctuation between them).
  size_t copied = 0;
  auto add = [&](LiteralKind kind, size_t start) {
    out.literals.push_back({kind, start, s.substr(start, i - start)});
    out.shape.append(s.substr(copied, start - copied));
    const char mark[2] = {'\x01', static_cast<char>('0' + static_cast<int>(kind))};
    out.shape.append(mark, 2);
    copied = i;
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
    } else if (c == '\'' || c == '"') {
      for (++i;;) {
        if (i >= s.size()) {  // unterminated: left for the lexer to report
          out.shape.append(s.substr(copied));
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
    } else if (c == '{' && GuidEnd(s, i, nullptr) != std::string_view::npos) {
      i = GuidEnd(s, i, nullptr);
      add(LiteralKind::kGuid, start);
    } else if (c == '{') {
      // A malformed {guid {...}}: through its second closing brace.
      const size_t inner = s.find('}', i + 1);
      const size_t outer = inner == std::string_view::npos ? inner : s.find('}', inner + 1);
      i = outer == std::string_view::npos ? s.size() : outer + 1;
    } else {
      // Spaces and punctuation up to the next token that may be a literal
      // or a word.
      do {
        ++i;
      } while (i < s.size() && IsPlainByte(s[i]));
    }
  }
  out.shape.append(s.substr(copied));
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

std::string GuidLiteralValue(std::string_view token) {
  std::string value = "{";
  GuidEnd(token, 0, &value);
  return value + "}";
}

}  // namespace qv::jet::sql
