#pragma once
// Tokens of Jet SQL text. Keywords are recognised by the lexer from plain
// words only: a [bracketed] name is never a keyword.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qv::jet::sql {

enum class TokenKind : uint8_t {
  kEnd,      // end of the statement text
  kWord,     // a name or a keyword (see `keyword`)
  kBracket,  // [name] or `name`; `value()` is the name
  kNumber,   // `text` holds the digits as written
  kString,   // '...' or "..."; `value()` is the text between the quotes, as written
  kDate,     // #...#; `value()` is the text between the hashes
  kGuid,     // {guid {...}}; `value()` is the 36 characters of the GUID, as written
  kSymbol,   // an operator or punctuation; `text` holds it
  kInvalid,  // a character that starts no token
};

enum class Keyword : uint8_t {
  kNone,
  kAll,
  kAnd,
  kAs,
  kAsc,
  kBetween,
  kBy,
  kDelete,
  kDesc,
  kDistinct,
  kDistinctRow,
  kExists,
  kFalse,
  kFrom,
  kGroup,
  kHaving,
  kIn,
  kInner,
  kInsert,
  kInto,
  kIs,
  kJoin,
  kLeft,
  kLike,
  kMod,
  kNot,
  kNull,
  kOn,
  kOr,
  kOrder,
  kOuter,
  kPercent,
  kRight,
  kSelect,
  kSet,
  kTop,
  kTrue,
  kUnion,
  kUpdate,
  kValues,
  kWhere,
};

struct Token {
  TokenKind kind = TokenKind::kEnd;
  Keyword keyword = Keyword::kNone;
  // Byte offset of the first character (a statement is at most
  // kMaxStatementBytes): with the value's bounds as offsets into the token,
  // a token is 32 bytes. Tokens are made for every statement translated and
  // written anew each time: at 56 bytes they were the translation's most
  // written memory.
  uint32_t pos = 0;
  // A view of the statement text: owned strings cost an allocation each.
  std::string_view text;                   // the token as it stands in the statement
  uint32_t valueStart = 0, valueSize = 0;  // value(), within `text`

  // Byte offset just past the token.
  size_t end() const { return pos + text.size(); }
  // The content of a string, bracket, date or GUID (see TokenKind).
  std::string_view value() const { return {text.data() + valueStart, valueSize}; }

  // Only a word has a keyword (the lexer sets none on another token): one
  // comparison, asked at every level of the parser.
  bool Is(Keyword k) const { return k != Keyword::kNone && keyword == k; }
  bool IsSymbol(std::string_view s) const { return kind == TokenKind::kSymbol && text == s; }
  // A plain word that is no keyword, or a bracketed name.
  bool IsName() const {
    return (kind == TokenKind::kWord && keyword == Keyword::kNone) || kind == TokenKind::kBracket;
  }
  // The name a word or bracket token stands for.
  std::string_view Name() const { return kind == TokenKind::kBracket ? value() : text; }
};

}  // namespace qv::jet::sql
