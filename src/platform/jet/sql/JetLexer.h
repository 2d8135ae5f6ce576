#pragma once
// The tokenizer of Jet SQL text.

#include <cstddef>
#include <string_view>
#include <vector>

#include "platform/jet/sql/JetToken.h"

namespace qv::jet::sql {

// Limits that keep any input from exhausting the translator: a longer
// statement, or one with more tokens, raises 3360 ("Query is too complex").
inline constexpr size_t kMaxStatementBytes = size_t{1} << 20;
inline constexpr size_t kMaxTokens = 100000;

// Splits `sql` into tokens; the last one is of kind kEnd. Raises 3075 for an
// unterminated string or date literal and a malformed GUID literal, 3126 for an
// unterminated [name], 3360 beyond the limits. A character that starts no
// token becomes a kInvalid token, reported by the parser in its context.
std::vector<Token> Tokenize(std::string_view sql);

// True for ASCII letters, digits, "_" and any byte of a multi-byte UTF-8
// character (Cyrillic names are plain words).
bool IsWordByte(unsigned char c);

}  // namespace qv::jet::sql
