#pragma once
// The tokenizer of Jet SQL text.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/jet/sql/JetToken.h"

namespace qv::jet::sql {

// Limits that keep any input from exhausting the translator: a longer
// statement, or one with more tokens, raises 3360 ("Query is too complex").
inline constexpr size_t kMaxStatementBytes = size_t{1} << 20;
inline constexpr size_t kMaxTokens = 100000;

// Splits `sql` into `out` (emptied first, its capacity kept); the last
// token is of kind kEnd. Raises 3075 for an
// unterminated string or date literal and a malformed GUID literal, 3126 for an
// unterminated [name], 3360 beyond the limits. A character that starts no
// token becomes a kInvalid token, reported by the parser in its context.
void Tokenize(std::string_view sql, std::vector<Token>& out);

// The value of a kString token (its quotes undoubled) or of a kGuid token
// ("{XXXXXXXX-...}" in upper case).
std::string LiteralTokenValue(const Token& t);

// Numbers, as the lexer reads them and the literal scanner (JetLiterals.h)
// finds them; inline, as the scanner runs at every Prepare.
inline bool IsAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}
// True when a number starts at byte `i` of `sql`: a digit, or "." before one.
inline bool StartsNumber(std::string_view sql, size_t i) {
  return i < sql.size() && (IsAsciiDigit(sql[i]) ||
                            (sql[i] == '.' && i + 1 < sql.size() && IsAsciiDigit(sql[i + 1])));
}
// The end of the number starting at `i`: digits, an optional "." and
// digits, an optional exponent ("e", a sign, digits; an "e" without digits
// after it is not part of the number).
inline size_t NumberEnd(std::string_view sql, size_t i) {
  while (i < sql.size() && IsAsciiDigit(sql[i])) ++i;
  if (i < sql.size() && sql[i] == '.') {
    ++i;
    while (i < sql.size() && IsAsciiDigit(sql[i])) ++i;
  }
  if (i < sql.size() && (sql[i] == 'e' || sql[i] == 'E')) {
    size_t j = i + 1;
    if (j < sql.size() && (sql[j] == '+' || sql[j] == '-')) ++j;
    if (j < sql.size() && IsAsciiDigit(sql[j])) {
      i = j;
      while (i < sql.size() && IsAsciiDigit(sql[i])) ++i;
    }
  }
  return i;
}

// True for ASCII letters, digits, "_" and any byte of a multi-byte UTF-8
// character (Cyrillic names are plain words).
// A table, inline and locale-free: the lexer and the literal scanner ask it
// for every byte of a word. Hidden: the library then reads it where it lies
// instead of loading its address from the symbol table at each use.
[[gnu::visibility("hidden")]] inline constexpr std::array<bool, 256> kWordBytes = [] {
  std::array<bool, 256> word{};
  for (int c = 0; c < 256; ++c)
    word[static_cast<size_t>(c)] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                   (c >= '0' && c <= '9') || c == '_' || c >= 0x80;
  return word;
}();
inline bool IsWordByte(unsigned char c) {
  return kWordBytes[c];
}

// Where the run of word bytes that ends `sql` begins (its size when the last
// byte is no word byte): a word starting before it ends before it, at a
// byte that is none, so that the loops over a word's bytes need no bounds
// check; a word starting in it runs to the end.
inline size_t TrailingWordStart(std::string_view sql) {
  size_t i = sql.size();
  while (i > 0 && IsWordByte(static_cast<unsigned char>(sql[i - 1]))) --i;
  return i;
}
// The end of the word starting at `i` (its bytes up to the first that is no
// word byte); `trailing` is TrailingWordStart(sql).
inline size_t WordEnd(std::string_view sql, size_t i, size_t trailing) {
  if (i >= trailing) return sql.size();
  while (IsWordByte(static_cast<unsigned char>(sql[i]))) ++i;
  return i;
}

}  // namespace qv::jet::sql
