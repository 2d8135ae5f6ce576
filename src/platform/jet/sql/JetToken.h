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
  kBracket,  // [name] or `name`; `value` holds the name
  kNumber,   // `text` holds the digits as written
  kString,   // '...' or "..."; `value` holds the text between the quotes, as written
  kDate,     // #...#; `value` holds the text between the hashes
  kGuid,     // {guid {...}}; `value` holds the 36 characters of the GUID, as written
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
  // Views of the statement text: tokens are made for every statement
  // translated, and owned strings cost an allocation each.
  std::string_view text;   // the token as it stands in the statement
  std::string_view value;  // the content of a string, bracket, date or GUID (see TokenKind)
  size_t pos = 0;          // byte offset of the first character
  size_t end = 0;          // byte offset just past the token

  // Only a word has a keyword (the lexer sets none on another token): one
  // comparison, asked at every level of the parser.
  bool Is(Keyword k) const { return k != Keyword::kNone && keyword == k; }
  bool IsSymbol(std::string_view s) const { return kind == TokenKind::kSymbol && text == s; }
  // A plain word that is no keyword, or a bracketed name.
  bool IsName() const {
    return (kind == TokenKind::kWord && keyword == Keyword::kNone) || kind == TokenKind::kBracket;
  }
  // The name a word or bracket token stands for.
  std::string_view Name() const { return kind == TokenKind::kBracket ? value : text; }
};

}  // namespace qv::jet::sql
