#include "TextWidth.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace qvdb {

namespace {

struct Range {
  char32_t first, last;
};

// Combining marks (general category Mn and Me of the blocks in use) and
// zero-width characters.
constexpr Range kZero[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A}, {0x064B, 0x065F},
    {0x0670, 0x0670}, {0x06D6, 0x06DC}, {0x0900, 0x0902}, {0x093C, 0x093C}, {0x0941, 0x0948},
    {0x0E31, 0x0E31}, {0x0E34, 0x0E3A}, {0x0E47, 0x0E4E}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF},
    {0x200B, 0x200F}, {0x202A, 0x202E}, {0x2060, 0x2064}, {0x20D0, 0x20FF}, {0x302A, 0x302D},
    {0x3099, 0x309A}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}, {0xFEFF, 0xFEFF}, {0xE0100, 0xE01EF},
};

// East Asian Wide (W) and Fullwidth (F) characters.
constexpr Range kWide[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},
    {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},
    {0xA000, 0xA4CF},   {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},
    {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},
    {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

template <size_t N>
bool In(const Range (&ranges)[N], char32_t c) {
  const Range* r = std::upper_bound(std::begin(ranges), std::end(ranges), c,
                                    [](char32_t v, const Range& x) { return v < x.first; });
  return r != std::begin(ranges) && c <= (r - 1)->last;
}

// The code point at text[i] and the bytes it takes (a byte that starts no
// valid sequence is one character of its own).
char32_t Decode(std::string_view text, size_t i, size_t& length) {
  const auto b = static_cast<unsigned char>(text[i]);
  size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
  if (n == 0 || i + n > text.size()) {
    length = 1;
    return 0xFFFD;
  }
  char32_t c = n == 1 ? b : b & (0x7F >> n);
  for (size_t k = 1; k < n; ++k) {
    const auto cont = static_cast<unsigned char>(text[i + k]);
    if ((cont & 0xC0) != 0x80) {
      length = 1;
      return 0xFFFD;
    }
    c = (c << 6) | (cont & 0x3F);
  }
  length = n;
  return c;
}

size_t CharWidth(char32_t c) {
  if (In(kZero, c)) return 0;
  return In(kWide, c) ? 2 : 1;
}

}  // namespace

size_t DisplayWidth(std::string_view text) {
  size_t width = 0;
  for (size_t i = 0, n = 0; i < text.size(); i += n) width += CharWidth(Decode(text, i, n));
  return width;
}

std::string CutToWidth(std::string_view text, size_t width) {
  if (DisplayWidth(text) <= width) return std::string(text);
  if (width == 0) return "";
  // Keep characters while they leave one column for the ellipsis, and the
  // combining marks that follow the last one kept.
  size_t used = 0, i = 0, n = 0;
  for (; i < text.size(); i += n) {
    const size_t w = CharWidth(Decode(text, i, n));
    if (w > 0 && used + w > width - 1) break;
    used += w;
  }
  return std::string(text.substr(0, i)) + "…";
}

}  // namespace qvdb
