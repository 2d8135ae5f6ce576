#include "platform/automation/VbaText.h"
#include "platform/automation/TextSortKey.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/ucol.h>
#include <unicode/ucoleitr.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/automation/Error.h"
#include "platform/automation/VbaTextReplace.h"

namespace qv {

namespace {

// Decodes one code point at `i`, advancing it; invalid bytes decode as
// themselves so that no input is rejected or lost.
char32_t NextCodePoint(std::string_view s, size_t& i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  auto cont = [&](size_t k) {
    return i + k < s.size() && (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
  };
  auto byte = [&](size_t k) {
    return static_cast<char32_t>(static_cast<unsigned char>(s[i + k]) & 0x3F);
  };
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  if ((b0 & 0xE0) == 0xC0 && cont(1)) {
    char32_t c = (static_cast<char32_t>(b0 & 0x1F) << 6) | byte(1);
    i += 2;
    return c;
  }
  if ((b0 & 0xF0) == 0xE0 && cont(1) && cont(2)) {
    char32_t c = (static_cast<char32_t>(b0 & 0x0F) << 12) | (byte(1) << 6) | byte(2);
    i += 3;
    return c;
  }
  if ((b0 & 0xF8) == 0xF0 && cont(1) && cont(2) && cont(3)) {
    char32_t c =
        (static_cast<char32_t>(b0 & 0x07) << 18) | (byte(1) << 12) | (byte(2) << 6) | byte(3);
    i += 4;
    return c;
  }
  ++i;
  return b0;
}

int32_t Units(char32_t c) {
  return c >= 0x10000 ? 2 : 1;
}

// Byte offset of the UTF-16 unit position `units` (clamped to the end).
size_t ByteOffsetOfUnit(std::string_view s, int64_t units) {
  size_t i = 0;
  int64_t u = 0;
  while (i < s.size() && u < units) {
    size_t j = i;
    u += Units(NextCodePoint(s, j));
    if (u > units) break;  // do not split a surrogate pair
    i = j;
  }
  return i;
}

icu::UnicodeString FromUtf8(std::string_view s) {
  return icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
}

std::string UnicodeToUtf8(const icu::UnicodeString& u) {
  std::string out;
  u.toUTF8String(out);
  return out;
}

const icu::Locale& Russian() {
  static const icu::Locale ru("ru", "RU");
  return ru;
}

// The root order: Latin before Cyrillic, as the Jet Russian sort has them
// ("ru" alone would move Cyrillic first); Russian letters keep their
// alphabetical order in both. Null when ICU has no collation data.
UCollator* OpenRussianCollator() {
  UErrorCode status = U_ZERO_ERROR;
  UCollator* c = ucol_open("", &status);
  if (U_FAILURE(status)) return nullptr;
  ucol_setStrength(c, UCOL_SECONDARY);  // ignore case, keep letters apart
  return c;
}

UCollator* RussianCollator() {
  thread_local std::unique_ptr<UCollator, void (*)(UCollator*)> coll(OpenRussianCollator(),
                                                                     [](UCollator* c) {
                                                                       if (c) ucol_close(c);
                                                                     });
  return coll.get();
}

// The places of the printable ASCII characters and of the Cyrillic block
// U+0400..U+045F in the collation's order, for comparing texts made of them
// alone without the collator: each such character is one collation element
// with a primary weight and the common secondary weight (checked here, for
// the collator in use), so at secondary strength two of those texts compare
// as the sequences of their characters' places, upper and lower case alike.
// 0 marks a character left to the collator (control characters are
// ignorable in it; Ё and the other letters with a diacritic are two
// elements).
constexpr char32_t kLastPlaced = 0x45F;
using Places = std::array<uint8_t, kLastPlaced + 1>;

Places MakePlaces() {
  Places places{};
  UCollator* coll = OpenRussianCollator();
  if (!coll) return places;
  std::vector<char16_t> simple;
  uint32_t secondary = 0;
  for (char16_t c = 0x20; c <= kLastPlaced; c = static_cast<char16_t>(c == 0x7E ? 0x400 : c + 1)) {
    UErrorCode status = U_ZERO_ERROR;
    UCollationElements* it = ucol_openElements(coll, &c, 1, &status);
    if (U_FAILURE(status)) continue;
    const int32_t first = ucol_next(it, &status);
    const int32_t second = ucol_next(it, &status);
    ucol_closeElements(it);
    if (U_FAILURE(status) || first == UCOL_NULLORDER || second != UCOL_NULLORDER) continue;
    if (ucol_primaryOrder(first) == 0) continue;
    const uint32_t s = ucol_secondaryOrder(first);
    if (simple.empty()) secondary = s;
    if (s != secondary) continue;
    simple.push_back(c);
  }
  std::stable_sort(simple.begin(), simple.end(), [&](char16_t a, char16_t b) {
    return ucol_strcoll(coll, &a, 1, &b, 1) == UCOL_LESS;
  });
  unsigned place = 0;
  for (size_t i = 0; i < simple.size(); ++i) {
    if (i == 0 || ucol_strcoll(coll, &simple[i - 1], 1, &simple[i], 1) != UCOL_EQUAL) ++place;
    if (place > UINT8_MAX) break;  // the rest stays with the collator
    places[simple[i]] = static_cast<uint8_t>(place);
  }
  ucol_close(coll);
  return places;
}

// Built once for the process: a thread-local table would cost a lookup of
// the thread's storage on every comparison.
const Places& PlacesTable() {
  static const Places places = MakePlaces();
  return places;
}

// The place of the character at s[i] (0 for one left to the collator) and
// its length in bytes. Only ASCII and well-formed two-byte sequences of the
// Cyrillic block are read; any other byte has no place.
uint8_t PlaceAt(const Places& places, std::string_view s, size_t i, size_t& length) {
  const auto c = static_cast<unsigned char>(s[i]);
  length = 1;
  if (c < 0x80) return places[c];
  if ((c != 0xD0 && c != 0xD1) || i + 1 == s.size()) return 0;
  const auto d = static_cast<unsigned char>(s[i + 1]);
  if (d < 0x80 || d > 0xBF) return 0;
  const char32_t code = (static_cast<char32_t>(c & 0x1F) << 6) | (d & 0x3Fu);
  if (code > kLastPlaced) return 0;
  length = 2;
  return places[code];
}

// The comparison of two texts of characters with places; nullopt when a
// character that could decide has none.
std::optional<int32_t> CompareByPlaces(std::string_view a, std::string_view b) {
  const Places& places = PlacesTable();
  size_t length = 0;
  // Bytes the texts share are read once, up to a whole character.
  size_t i =
      static_cast<size_t>(std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin());
  const auto continuation = [](std::string_view s, size_t k) {
    return k < s.size() && (static_cast<unsigned char>(s[k]) & 0xC0) == 0x80;
  };
  if (i > 0 && (continuation(a, i) || continuation(b, i))) --i;
  for (size_t k = 0; k < i; k += length)
    if (PlaceAt(places, a, k, length) == 0) return std::nullopt;
  size_t j = i;
  for (size_t la = 0, lb = 0; i < a.size() && j < b.size(); i += la, j += lb) {
    const uint8_t pa = PlaceAt(places, a, i, la), pb = PlaceAt(places, b, j, lb);
    if (pa == 0 || pb == 0) return std::nullopt;
    if (pa == pb) continue;
    // The first difference decides, unless the character after it in
    // either text is one the collator might join to it (a combining mark).
    for (auto [s, k] : {std::pair{a, i + la}, std::pair{b, j + lb}})
      if (k < s.size() && PlaceAt(places, s, k, length) == 0) return std::nullopt;
    return pa < pb ? -1 : 1;
  }
  // The same places to the end of the shorter text: the rest of the longer
  // needs places too (an ignorable character would make the texts equal).
  for (auto [s, k] : {std::pair{a, i}, std::pair{b, j}})
    for (; k < s.size(); k += length)
      if (PlaceAt(places, s, k, length) == 0) return std::nullopt;
  const bool aLeft = i < a.size(), bLeft = j < b.size();
  return aLeft == bLeft ? 0 : aLeft ? 1 : -1;
}

bool IsVbSpace(char c) {
  return c == ' ';
}

}  // namespace

std::u16string ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    char32_t c = NextCodePoint(utf8, i);
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

std::string ToUtf8(std::u16string_view utf16) {
  icu::UnicodeString u(utf16.data(), static_cast<int32_t>(utf16.size()));
  return UnicodeToUtf8(u);
}

int32_t Len(std::string_view s) {
  int32_t n = 0;
  for (size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      ++i;
      ++n;
      continue;
    }
    n += Units(NextCodePoint(s, i));
  }
  return n;
}

std::string Left(std::string_view s, int32_t n) {
  if (n < 0) ThrowVb(vberr::kInvalidProcedureCall, "Left with a negative length");
  return std::string(s.substr(0, ByteOffsetOfUnit(s, n)));
}

std::string Right(std::string_view s, int32_t n) {
  if (n < 0) ThrowVb(vberr::kInvalidProcedureCall, "Right with a negative length");
  const int32_t len = Len(s);
  if (n >= len) return std::string(s);
  return std::string(s.substr(ByteOffsetOfUnit(s, len - n)));
}

std::string Mid(std::string_view s, int32_t start, std::optional<int32_t> length) {
  if (start < 1) ThrowVb(vberr::kInvalidProcedureCall, "Mid start below 1");
  if (length && *length < 0) ThrowVb(vberr::kInvalidProcedureCall, "Mid with a negative length");
  const size_t from = ByteOffsetOfUnit(s, start - 1);
  std::string_view rest = s.substr(from);
  if (!length) return std::string(rest);
  return std::string(rest.substr(0, ByteOffsetOfUnit(rest, *length)));
}

std::string Truncate16(std::string_view s, int32_t n) {
  // No more bytes than n: no more UTF-16 units either.
  if (n >= 0 && s.size() <= static_cast<size_t>(n)) return std::string(s);
  return std::string(s.substr(0, ByteOffsetOfUnit(s, n < 0 ? 0 : n)));
}

bool MapCaseSameLength(std::string_view s, char* out, bool upper) {
  const auto* in = reinterpret_cast<const unsigned char*>(s.data());
  const size_t n = s.size();
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = in[i];
    if (c < 0x80) {
      const bool flip = upper ? (c >= 'a' && c <= 'z') : (c >= 'A' && c <= 'Z');
      out[i] = static_cast<char>(flip ? c ^ 0x20 : c);
      continue;
    }
    if (i + 1 == n || (c != 0xD0 && c != 0xD1)) return false;
    const unsigned char d = in[i + 1];
    if (d < 0x80 || d > 0xBF || (c == 0xD1 && d > 0x9F)) return false;
    // The code point U+0400 + offset: 0x00-0x0F Ѐ-Џ, 0x10-0x2F А-Я, 0x30-0x4F
    // а-я, 0x50-0x5F ѐ-џ; upper and lower case of one letter are 0x20 (А-Я)
    // or 0x50 (Ѐ-Џ) apart.
    uint32_t offset = (c == 0xD0 ? 0u : 0x40u) + (d - 0x80u);
    if (upper) {
      if (offset >= 0x50)
        offset -= 0x50;
      else if (offset >= 0x30)
        offset -= 0x20;
    } else {
      if (offset < 0x10)
        offset += 0x50;
      else if (offset < 0x30)
        offset += 0x20;
    }
    out[i] = static_cast<char>(offset < 0x40 ? 0xD0 : 0xD1);
    out[i + 1] = static_cast<char>(0x80 + (offset & 0x3F));
    ++i;
  }
  return true;
}

std::string UCase(std::string_view s) {
  std::string out(s.size(), '\0');
  if (MapCaseSameLength(s, out.data(), true)) return out;
  return UnicodeToUtf8(FromUtf8(s).toUpper(Russian()));
}

std::string LCase(std::string_view s) {
  std::string out(s.size(), '\0');
  if (MapCaseSameLength(s, out.data(), false)) return out;
  return UnicodeToUtf8(FromUtf8(s).toLower(Russian()));
}

std::string LTrim(std::string_view s) {
  while (!s.empty() && IsVbSpace(s.front())) s.remove_prefix(1);
  return std::string(s);
}

std::string RTrim(std::string_view s) {
  while (!s.empty() && IsVbSpace(s.back())) s.remove_suffix(1);
  return std::string(s);
}

std::string Trim(std::string_view s) {
  return LTrim(RTrim(s));
}

namespace {

// The longest text a function builds from a count: SQLite's longest value
// (its default length limit). A longer one was built whole before SQLite
// refused it, and on the server it took the session down.
constexpr size_t kLongestBuiltText = 1'000'000'000;

void CheckBuiltLength(size_t bytes, std::string_view what) {
  if (bytes > kLongestBuiltText) ThrowVb(vberr::kOutOfMemory, what);
}

}  // namespace

std::string Space(int32_t n) {
  if (n < 0) ThrowVb(vberr::kInvalidProcedureCall, "Space with a negative length");
  CheckBuiltLength(static_cast<size_t>(n), "Space");
  return std::string(static_cast<size_t>(n), ' ');
}

std::string StringOf(int32_t n, std::string_view ch) {
  if (n < 0) ThrowVb(vberr::kInvalidProcedureCall, "String with a negative length");
  if (ch.empty()) ThrowVb(vberr::kInvalidProcedureCall, "String of an empty text");
  size_t i = 0;
  NextCodePoint(ch, i);
  const std::string_view first = ch.substr(0, i);
  CheckBuiltLength(first.size() * static_cast<size_t>(n), "String");
  std::string out;
  out.reserve(first.size() * static_cast<size_t>(n));
  for (int32_t k = 0; k < n; ++k) out += first;
  return out;
}

int32_t CompareTextRu(std::string_view a, std::string_view b) {
  if (const auto r = CompareByPlaces(a, b)) return *r;
  UCollator* coll = RussianCollator();
  if (!coll)
    return FoldCase(a).compare(FoldCase(b)) < 0 ? -1 : (FoldCase(a) == FoldCase(b) ? 0 : 1);
  UErrorCode status = U_ZERO_ERROR;
  const UCollationResult r = ucol_strcollUTF8(coll, a.data(), static_cast<int32_t>(a.size()),
                                              b.data(), static_cast<int32_t>(b.size()), &status);
  return r == UCOL_LESS ? -1 : r == UCOL_GREATER ? 1 : 0;
}

bool CompareTextRuKey(std::string_view s, std::string& key) {
  // CompareByPlaces of two such texts is the order of their places, one
  // byte each (1-255), a text before the longer ones it starts.
  const Places& places = PlacesTable();
  // At most a byte of key per byte of text, written in place.
  key.resize(s.size());
  size_t n = 0;
  for (size_t i = 0, length = 0; i < s.size(); i += length) {
    const uint8_t place = PlaceAt(places, s, i, length);
    if (place == 0) {
      key.clear();
      return false;
    }
    key[n++] = static_cast<char>(place);
  }
  key.resize(n);
  return true;
}

std::string FoldCase(std::string_view s) {
  // Folding is lower case for ASCII and the Russian letters.
  std::string out(s.size(), '\0');
  if (MapCaseSameLength(s, out.data(), false)) return out;
  return UnicodeToUtf8(FromUtf8(s).foldCase());
}

bool FoldsToItself(std::string_view s) {
  // Eight bytes at a time: a byte of 0x80 or more sets its top bit, and
  // adding 0x3F sets it for a byte from 'A' (0x41) on, adding 0x25 for one
  // from '[' (0x5B) on; neither addition carries into the next byte for
  // bytes below 0x80.
  constexpr uint64_t kOnes = 0x0101010101010101u, kTops = 0x8080808080808080u;
  size_t i = 0;
  for (; i + 8 <= s.size(); i += 8) {
    uint64_t w;
    std::memcpy(&w, s.data() + i, 8);
    if (w & kTops) return false;
    if ((w + 0x3F * kOnes) & ~(w + 0x25 * kOnes) & kTops) return false;
  }
  for (; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c >= 0x80 || (c >= 'A' && c <= 'Z')) return false;
  }
  return true;
}

int32_t InStr(int32_t start, std::string_view s, std::string_view what, CompareMode mode) {
  if (start < 1) ThrowVb(vberr::kInvalidProcedureCall, "InStr start below 1");
  const int32_t len = Len(s);
  if (start > len) return 0;
  if (what.empty()) return start;
  if (mode == CompareMode::kBinary) {
    const size_t from = ByteOffsetOfUnit(s, start - 1);
    const size_t pos = s.find(what, from);
    return pos == std::string_view::npos ? 0 : Len(s.substr(0, pos)) + 1;
  }
  // Text mode: compare unit by unit in the collation.
  const std::u16string hay = ToUtf16(s), needle = ToUtf16(what);
  for (size_t i = static_cast<size_t>(start - 1); i + needle.size() <= hay.size(); ++i) {
    if (CompareTextRu(ToUtf8(std::u16string_view(hay).substr(i, needle.size())), what) == 0)
      return static_cast<int32_t>(i + 1);
  }
  return 0;
}

std::string Replace(std::string_view s, std::string_view what, std::string_view with,
                    CompareMode mode) {
  return ReplaceAtMost(s, what, with, mode, -1);
}

int32_t StrComp(std::string_view a, std::string_view b, CompareMode mode) {
  if (mode == CompareMode::kText) return CompareTextRu(a, b);
  const std::u16string ua = ToUtf16(a), ub = ToUtf16(b);  // VB compares UTF-16 units
  const int c = ua.compare(ub);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

double Val(std::string_view s) {
  std::string t;
  for (char c : s)
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') t += c;
  if (t.size() >= 2 && t[0] == '&' && (t[1] == 'H' || t[1] == 'h' || t[1] == 'O' || t[1] == 'o')) {
    const int base = (t[1] == 'H' || t[1] == 'h') ? 16 : 8;
    char* end = nullptr;
    const unsigned long long n = std::strtoull(t.c_str() + 2, &end, base);
    if (end == t.c_str() + 2) return 0;
    return n <= 0xFFFF ? static_cast<int16_t>(n) : static_cast<int32_t>(n);
  }
  size_t i = 0;
  std::string num;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) num += t[i++];
  bool digits = false, point = false;
  for (; i < t.size(); ++i) {
    if (std::isdigit(static_cast<unsigned char>(t[i]))) {
      num += t[i];
      digits = true;
    } else if (t[i] == '.' && !point) {
      num += '.';
      point = true;
    } else
      break;
  }
  if (!digits) return 0;
  if (i < t.size() && (t[i] == 'E' || t[i] == 'e' || t[i] == 'D' || t[i] == 'd')) {
    size_t j = i + 1;
    std::string exp = "E";
    if (j < t.size() && (t[j] == '-' || t[j] == '+')) exp += t[j++];
    size_t expDigits = 0;
    while (j < t.size() && std::isdigit(static_cast<unsigned char>(t[j])))
      exp += t[j++], ++expDigits;
    if (expDigits > 0) num += exp;
  }
  const double v = std::strtod(num.c_str(), nullptr);
  if (std::isinf(v)) ThrowVb(vberr::kOverflow, "Val");
  return v;
}

std::string_view TrimBlanks(std::string_view s) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view TrimWhitespace(std::string_view s) {
  auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && space(s.front())) s.remove_prefix(1);
  while (!s.empty() && space(s.back())) s.remove_suffix(1);
  return s;
}

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

std::string AsciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

bool StartsWithAsciiNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualsAsciiNoCase(s.substr(0, prefix.size()), prefix);
}

bool NamesEqual(std::string_view a, std::string_view b) {
  auto ascii = [](std::string_view s) {
    for (const char c : s)
      if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
  };
  if (ascii(a) && ascii(b)) return EqualsAsciiNoCase(a, b);
  return FoldCase(a) == FoldCase(b);
}

}  // namespace qv
