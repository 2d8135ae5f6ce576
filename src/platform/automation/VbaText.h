#pragma once
// VBA's text functions over UTF-8 text. Lengths and positions count UTF-16
// code units, as VBA's do, so "the first 255 characters" means the same here.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/automation/Variant.h"

namespace qv {

std::u16string ToUtf16(std::string_view utf8);
std::string ToUtf8(std::u16string_view utf16);

// Len: the length in UTF-16 code units.
int32_t Len(std::string_view s);
// Left/Right/Mid: by UTF-16 units; `start` of Mid is 1-based (error 5 below 1).
std::string Left(std::string_view s, int32_t n);
std::string Right(std::string_view s, int32_t n);
std::string Mid(std::string_view s, int32_t start, std::optional<int32_t> length = {});
// Cuts a text to at most `n` UTF-16 units (a column's size).
std::string Truncate16(std::string_view s, int32_t n);

std::string UCase(std::string_view s);  // full Unicode, Cyrillic included
// The upper (or lower) case of `s` written to `out` (s.size() bytes) when
// every character of `s` is ASCII or in U+0400..U+045F (the Russian
// alphabet and its neighbours), whose cases have the same UTF-8 length:
// the common texts, mapped without ICU's round trip through UTF-16. False
// for any other text (what was written to `out` is then meaningless).
bool MapCaseSameLength(std::string_view s, char* out, bool upper);
std::string LCase(std::string_view s);
std::string Trim(std::string_view s);  // spaces only, as VBA
std::string LTrim(std::string_view s);
std::string RTrim(std::string_view s);
std::string Space(int32_t n);
// String(n, ch): `ch` is the first character of the text.
std::string StringOf(int32_t n, std::string_view ch);

// InStr: 1-based position of `what` in `s` from `start`, 0 when absent.
int32_t InStr(int32_t start, std::string_view s, std::string_view what,
              CompareMode mode = CompareMode::kBinary);
std::string Replace(std::string_view s, std::string_view what, std::string_view with,
                    CompareMode mode = CompareMode::kBinary);
// StrComp: -1, 0 or 1.
int32_t StrComp(std::string_view a, std::string_view b, CompareMode mode = CompareMode::kBinary);

// The Russian case-insensitive comparison every text comparison of Jet and
// VBA's text mode uses: -1, 0 or 1. Text values only: it ignores some
// characters (a soft hyphen) and keeps others apart that case folding joins
// ("ß" and "ss"), so names compare with NamesEqual.
int32_t CompareTextRu(std::string_view a, std::string_view b);
// The full case fold: equal for the names NamesEqual finds equal, for
// hashing case-insensitive keys.
std::string FoldCase(std::string_view s);
// True when `s` is ASCII without capitals, so FoldCase(s) is `s` itself:
// a key checked before a fold is built for it (false says nothing).
bool FoldsToItself(std::string_view s);

// ---- small text helpers every layer shares (not VBA's own); the name says
// what each one counts.

// Spaces and tabs removed from both ends: values in settings, connection
// strings, default-value expressions.
std::string_view TrimBlanks(std::string_view s);
// Spaces, tabs, CR and LF removed from both ends: statements, numbers in texts.
std::string_view TrimWhitespace(std::string_view s);

// ASCII letters compared without case, every other byte exactly: texts that
// are ASCII by definition (ProgIDs, member names, keywords, function and
// format names, registry roots).
char AsciiLower(char c);
std::string AsciiLower(std::string_view s);
bool EqualsAsciiNoCase(std::string_view a, std::string_view b);
bool StartsWithAsciiNoCase(std::string_view s, std::string_view prefix);
// Names of tables, fields and indexes, Cyrillic ones included: equal when
// their case folds are (FoldCase). Text values compare with CompareTextRu.
bool NamesEqual(std::string_view a, std::string_view b);

// Val: the number at the start of the text, skipping spaces, tabs and line
// feeds anywhere in it ("  12 34abc" gives 1234); "&H"/"&O" prefixes; 0 when
// none.
double Val(std::string_view s);

}  // namespace qv
