#include "platform/jet/sql/JetLiterals.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdlib>

#include "platform/automation/VbaText.h"
#include "platform/jet/sql/JetLexer.h"

namespace qv::jet::sql {

namespace {

// What a byte may start, for ScanLiterals: a word (not a number), nothing
// it looks at (spaces and punctuation), or a number, literal or name.
enum class ScanClass : uint8_t { kPlain, kWord, kOther };

// A table, as every byte of a statement is classed.
constexpr std::array<ScanClass, 256> kScanClasses = [] {
  std::array<ScanClass, 256> classes{};
  for (int c = 0; c < 256; ++c) {
    const auto u = static_cast<unsigned char>(c);
    ScanClass& k = classes[u];
    if (kWordBytes[u])
      k = c >= '0' && c <= '9' ? ScanClass::kOther : ScanClass::kWord;
    else if (c == '\'' || c == '"' || c == '[' || c == '`' || c == '#' || c == '{' || c == '.')
      k = ScanClass::kOther;
    else
      k = ScanClass::kPlain;
  }
  return classes;
}();

ScanClass ClassOf(char c) {
  return kScanClasses[static_cast<unsigned char>(c)];
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

bool WholeNumber(std::string_view token, int64_t& v) {
  if (token.empty()) return false;
  // Up to 18 digits cannot pass 2^63 - 1: summed as they are checked (every
  // number of a statement is read here, most of them a few digits, for
  // which std::from_chars cost more than the scan of the rest of the text).
  constexpr size_t kSafeDigits = 18;
  if (token.size() <= kSafeDigits) {
    int64_t sum = 0;
    for (const char c : token) {
      if (!IsAsciiDigit(c)) return false;
      sum = sum * 10 + (c - '0');
    }
    v = sum;
    return true;
  }
  for (const char c : token)
    if (!IsAsciiDigit(c)) return false;
  const auto [ptr, ec] = std::from_chars(token.data(), token.data() + token.size(), v);
  return ec == std::errc() && ptr == token.data() + token.size();
}

LiteralKind NumberLiteralKind(std::string_view token) {
  int64_t v = 0;
  return WholeNumber(token, v) && v <= INT32_MAX ? LiteralKind::kLong : LiteralKind::kNumber;
}

double NumberLiteralValue(std::string_view token) {
  // A whole number below 2^53 converts exactly; a larger one rounds to the
  // nearest double, as strtod rounds its digits.
  if (int64_t v = 0; WholeNumber(token, v)) return static_cast<double>(v);
  return std::strtod(std::string(token).c_str(), nullptr);
}

namespace {

// The shape of `s` whose literals are out.literals: written once at its
// final size (appending each run and mark as found cost two appends a literal).
void WriteShape(std::string_view s, LiteralScan& out) {
  size_t size = s.size();
  for (const Literal& lit : out.literals) size = size - lit.token.size() + 2;
  out.shape.resize(size);
  char* p = out.shape.data();
  size_t copied = 0;
  for (const Literal& lit : out.literals) {
    p = std::copy(s.data() + copied, s.data() + lit.pos, p);
    *p++ = '\x01';
    *p++ = static_cast<char>('0' + static_cast<int>(lit.kind));
    copied = lit.pos + lit.token.size();
  }
  std::copy(s.data() + copied, s.data() + s.size(), p);
}

}  // namespace

void ScanLiterals(std::string_view s, LiteralScan& out) {
  out.shape.clear();
  out.literals.clear();
  size_t i = 0;
  auto add = [&out, s](LiteralKind kind, size_t start, size_t end) {
    out.literals.push_back({kind, start, s.substr(start, end - start)});
  };
  const size_t n = s.size();
  const size_t trailingWord = TrailingWordStart(s);
  while (i < n) {
    const char c = s[i];
    const size_t start = i;
    const ScanClass k = ClassOf(c);
    if (k == ScanClass::kWord) {
      i = WordEnd(s, i, trailingWord);
      if (i < n && s[i] == '$') ++i;
    } else if (k == ScanClass::kPlain) {
      do {
        ++i;
      } while (i < n && ClassOf(s[i]) == ScanClass::kPlain);
    } else if (StartsNumber(s, i)) {
      i = NumberEnd(s, i);
      add(NumberLiteralKind(s.substr(start, i - start)), start, i);
    } else if (c == '\'' || c == '"') {
      for (++i;;) {
        if (i >= s.size()) {  // unterminated: left for the lexer to report
          WriteShape(s, out);
          return;
        }
        if (s[i++] != c) continue;
        if (i < s.size() && s[i] == c) {
          ++i;
          continue;
        }
        break;
      }
      add(LiteralKind::kText, start, i);
    } else if (c == '[' || c == '`' || c == '#') {
      const size_t close = s.find(c == '[' ? ']' : c, i + 1);
      i = close == std::string_view::npos ? s.size() : close + 1;
    } else if (c == '{' && GuidEnd(s, i, nullptr) != std::string_view::npos) {
      i = GuidEnd(s, i, nullptr);
      add(LiteralKind::kGuid, start, i);
    } else if (c == '{') {
      // A malformed {guid {...}}: through its second closing brace.
      const size_t inner = s.find('}', i + 1);
      const size_t outer = inner == std::string_view::npos ? inner : s.find('}', inner + 1);
      i = outer == std::string_view::npos ? s.size() : outer + 1;
    } else {
      ++i;  // a dot before no digit
    }
  }
  WriteShape(s, out);
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
