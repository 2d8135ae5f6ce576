#pragma once
// The literals of a Jet statement, found without parsing it: the numbers and
// texts a statement's callers write into it (identifiers, codes, dates of a
// period ...). A statement's shape is its text with each of them replaced by
// a mark of its kind; the translator turns the literals of a statement into
// parameters (JetEmitter), so that one translation and one prepared
// statement serve every text of a shape.
//
// The scanner finds exactly the tokens the lexer (JetLexer.h) reads as
// numbers, texts and GUIDs, at the same positions: bracketed names, date
// literals and words are copied into the shape as they stand.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv::jet::sql {

enum class LiteralKind : uint8_t {
  kLong,    // digits only, within Long's range: typed Long
  kNumber,  // any other number: typed Double (a fraction, an exponent, a large integer)
  kText,    // '...' or "..."
  kGuid,    // {guid {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}}, spaces allowed between the parts
};

struct Literal {
  LiteralKind kind;
  size_t pos;              // byte offset of the token in the statement
  std::string_view token;  // the token as written (quotes included)
};

struct LiteralScan {
  std::string shape;
  std::vector<Literal> literals;
};

// Fills `out` for `sql`. Text the lexer would refuse (an unterminated string
// or bracket) ends the scan; the shape then holds the rest as it stands, so
// the statement's translation reports the error.
void ScanLiterals(std::string_view sql, LiteralScan& out);

// The value of a token of digits only, when it fits in 64 bits.
bool WholeNumber(std::string_view token, int64_t& value);

// The kind of a number token (kLong or kNumber).
LiteralKind NumberLiteralKind(std::string_view token);

// The value of a number token as a double, as strtod reads it; whole
// numbers (most of them) are read without it.
double NumberLiteralValue(std::string_view token);

// The value of a text literal: the text between the quotes, a quote inside
// written twice read once.
std::string TextLiteralValue(std::string_view token);

// The value of a GUID literal as the lexer reads it: "{XXXXXXXX-...}" with
// the digits in upper case.
std::string GuidLiteralValue(std::string_view token);

}  // namespace qv::jet::sql
