#pragma once
// Jet's Like: "*" any run of characters, "?" one character, "#" one digit,
// "[abc]", "[a-z]" one of a set, "[!...]" one not in it; inside brackets the
// wildcards stand for themselves. Case-insensitive by Unicode case folding,
// so Cyrillic letters match across case as Latin ones do.

#include <string_view>
#include <vector>

namespace qv::jet {

class LikePattern {
 public:
  explicit LikePattern(std::string_view pattern);

  bool Matches(std::string_view text) const;

 private:
  enum class Kind : uint8_t { kChar, kAnyChar, kDigit, kStar, kSet };
  struct Item {
    Kind kind;
    bool negated = false;
    char32_t ch = 0;          // kChar, folded
    uint32_t firstRange = 0;  // kSet: ranges_[firstRange, firstRange + rangeCount)
    uint32_t rangeCount = 0;
  };
  struct Range {
    char32_t lo, hi;  // folded, inclusive
  };

  bool ItemMatches(const Item& item, char32_t c) const;

  std::vector<Item> items_;
  std::vector<Range> ranges_;
};

}  // namespace qv::jet
