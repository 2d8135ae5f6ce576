#pragma once
// The structured cell keys of KPR forms (character positions from 1):
//   1-2    section code; a key of length 2 names a dynamic section
//   3-4    table offset in the section (offset code of width 1); a key of
//          length 4 names one table
//   5-7    line code; a key of length 7 names a line of every table
//   8-10   row offset (offset code of width 2); length 10 names one row
//   11-12  column number, two decimal digits
// Offset codes: digits for small offsets, then letters of a base-59
// alphabet (26 Latin and 33 Cyrillic capitals), then, for width 1 only,
// a punctuation character followed by any character:
//   width 1:  0-99 "00".."99", 100-3580 two letters, 3581.. punctuation
//   width 2:  0-999 "000".."999", 1000-206378 three letters; a leading
//             punctuation character decodes to 0.
// Positions count characters, not bytes (Cyrillic letters are two bytes).

#include <cstdint>
#include <string>
#include <string_view>

namespace qv::mQvKprCells {

inline constexpr std::string_view kModule = "mQvKprCells";

// The key's parts that the structured layout fixes.
inline constexpr int32_t kSectionLength = 2;
inline constexpr int32_t kTableKeyLength = 4;
inline constexpr int32_t kLineLength = 7;
inline constexpr int32_t kRowKeyLength = 10;
inline constexpr int32_t kTableOffsetStart = 3;  // width 1: two characters
inline constexpr int32_t kRowOffsetStart = 8;    // width 2: three characters
inline constexpr int32_t kColumnStart = 11;

// The offset an offset code stands for; `aWidth` 1 (two characters) or 2
// (three). Characters outside both alphabets count as digit -1, as the
// decoding always has.
int32_t OfToN(std::string_view aCode, int32_t aWidth);

}  // namespace qv::mQvKprCells
