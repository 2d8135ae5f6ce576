#include "platform/jet/JetLike.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace qv::jet {

namespace {

// Ѐ-Џ and А-Я fold to ѐ-џ and а-я, ASCII A-Z to a-z, without asking ICU
// (written without branches: mixed-case text defeats branch prediction).
inline char32_t FoldNonAscii(uint32_t u) {
  if (u - 0x400u < 0x60u) return u + (u - 0x400u < 0x10u) * 0x50u + (u - 0x410u < 0x20u) * 0x20u;
  return static_cast<char32_t>(u_foldCase(static_cast<UChar32>(u), U_FOLD_CASE_DEFAULT));
}

inline char32_t Fold(UChar32 c) {
  if (c < 0) return 0xFFFD;
  const auto u = static_cast<uint32_t>(c);
  if (u < 0x80) return u + (u - 'A' < 26u) * 0x20u;
  return FoldNonAscii(u);
}

// The folded character at byte `i` of `s`; `i` moves past it. ASCII and
// two-byte sequences (Cyrillic among them) are decoded here, the rest by ICU.
inline char32_t NextFolded(const uint8_t* s, int32_t& i, int32_t n) {
  const uint8_t lead = s[i];
  if (lead < 0x80) {
    ++i;
    return lead + (static_cast<uint32_t>(lead - 'A') < 26u) * 0x20u;
  }
  if (lead >= 0xC2 && lead < 0xE0 && i + 1 < n && (s[i + 1] & 0xC0) == 0x80) {
    const auto u = ((lead & 0x1Fu) << 6) | (s[i + 1] & 0x3Fu);
    i += 2;
    return FoldNonAscii(u);
  }
  UChar32 c;
  U8_NEXT(s, i, n, c);
  return Fold(c);
}

// The place of a folded character in a range test: code point order, except
// that ё sorts right after е, as in the Russian alphabet ([а-я] holds ё).
uint32_t RangeKey(char32_t c) {
  constexpr char32_t kYo = 0x0451, kYe = 0x0435;
  return c == kYo ? kYe * 2 + 1 : static_cast<uint32_t>(c) * 2;
}

// Appends the case-folded code points of UTF-8 `text` to `out` (invalid
// sequences become U+FFFD).
void FoldCodePoints(std::string_view text, std::vector<char32_t>& out) {
  const auto* s = reinterpret_cast<const uint8_t*>(text.data());
  const auto n = static_cast<int32_t>(text.size());
  for (int32_t i = 0; i < n;) out.push_back(NextFolded(s, i, n));
}

}  // namespace

LikePattern::LikePattern(std::string_view pattern) {
  std::vector<char32_t> p;
  FoldCodePoints(pattern, p);
  for (size_t i = 0; i < p.size(); ++i) {
    char32_t c = p[i];
    if (c == U'*') {
      if (items_.empty() || items_.back().kind != Kind::kStar) items_.push_back({Kind::kStar});
    } else if (c == U'?') {
      items_.push_back({Kind::kAnyChar});
    } else if (c == U'#') {
      items_.push_back({Kind::kDigit});
    } else if (c == U'[') {
      size_t j = i + 1;
      bool negated = j < p.size() && p[j] == U'!';
      if (negated) ++j;
      size_t close = j;
      while (close < p.size() && p[close] != U']') ++close;
      if (close == p.size()) {  // no closing bracket: "[" is an ordinary character
        items_.push_back({Kind::kChar, false, c});
        continue;
      }
      i = close;
      if (close == j && !negated) continue;  // "[]" matches the empty string
      Item set{Kind::kSet};
      set.firstRange = static_cast<uint32_t>(ranges_.size());
      if (close == j) {  // "[!]": the exclamation mark itself
        ranges_.push_back({U'!', U'!'});
      } else {
        set.negated = negated;
        for (size_t k = j; k < close; ++k) {
          if (k + 2 < close && p[k + 1] == U'-') {
            ranges_.push_back({p[k], p[k + 2]});
            k += 2;
          } else {
            ranges_.push_back({p[k], p[k]});
          }
        }
      }
      set.rangeCount = static_cast<uint32_t>(ranges_.size()) - set.firstRange;
      items_.push_back(set);
    } else {
      items_.push_back({Kind::kChar, false, c});
    }
  }
}

bool LikePattern::ItemMatches(const Item& item, char32_t c) const {
  switch (item.kind) {
    case Kind::kChar:
      return item.ch == c;
    case Kind::kAnyChar:
      return true;
    case Kind::kDigit:
      return c >= U'0' && c <= U'9';
    case Kind::kSet: {
      bool in = false;
      uint32_t key = RangeKey(c);
      for (uint32_t r = item.firstRange; r < item.firstRange + item.rangeCount && !in; ++r)
        in = key >= RangeKey(ranges_[r].lo) && key <= RangeKey(ranges_[r].hi);
      return in != item.negated;
    }
    case Kind::kStar:
      break;
  }
  return false;
}

bool LikePattern::Matches(std::string_view text) const {
  // The text is folded character by character as the walk reaches it, with
  // no copy. Every item but "*" consumes exactly one character, so the
  // greedy walk that backtracks to the last "*" finds a match whenever one
  // exists.
  const auto* s = reinterpret_cast<const uint8_t*>(text.data());
  const auto n = static_cast<int32_t>(text.size());
  const size_t m = items_.size();
  int32_t ti = 0, starText = 0;
  size_t pi = 0, starItem = m;
  while (ti < n) {
    if (pi < m && items_[pi].kind == Kind::kStar) {
      starItem = pi++;
      starText = ti;
      continue;
    }
    int32_t next = ti;
    const char32_t c = NextFolded(s, next, n);
    if (pi < m &&
        (items_[pi].kind == Kind::kChar ? items_[pi].ch == c : ItemMatches(items_[pi], c))) {
      ++pi;
      ti = next;
    } else if (starItem != m) {
      // The "*" takes one character more. Most mismatches are at the first
      // item after it, where that character is the one just decoded.
      if (ti == starText)
        starText = next;
      else
        NextFolded(s, starText, n);
      pi = starItem + 1;
      ti = starText;
    } else {
      return false;
    }
  }
  while (pi < m && items_[pi].kind == Kind::kStar) ++pi;
  return pi == m;
}

}  // namespace qv::jet
