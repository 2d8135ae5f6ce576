#include "platform/jet/JetLike.h"

#include <gtest/gtest.h>

namespace qv::jet {
namespace {

TEST(JetLike, Wildcards) {
  // Ranges fold case too; a wildcard in brackets is itself; empty brackets
  // match nothing; with no closing bracket "[" is literal; % and _ are no
  // wildcards; е and ё are different letters, ё is inside the alphabet's range.
  struct Case {
    const char* pattern;
    const char* text;
    bool match;
  };
  const Case cases[] = {
      {"*", "", true},
      {"*", "anything", true},
      {"a*", "abc", true},
      {"a*", "bac", false},
      {"*c", "abc", true},
      {"a*c", "ac", true},
      {"a*b*c", "aXbYbZc", true},
      {"a*b*c", "aXcYb", false},
      {"a?c", "abc", true},
      {"a?c", "ac", false},
      {"a?c", "abbc", false},
      {"##", "42", true},
      {"##", "4a", false},
      {"#", "", false},
      {"[abc]x", "bx", true},
      {"[abc]x", "dx", false},
      {"[!abc]x", "dx", true},
      {"[!abc]x", "ax", false},
      {"[a-f]", "D", true},
      {"[a-f]", "g", false},
      {"[*]", "*", true},
      {"[*]", "a", false},
      {"a[?]", "a?", true},
      {"a[]b", "ab", true},
      {"[!]", "!", true},
      {"a[b", "a[b", true},
      {"50%", "50%", true},
      {"a_b", "axb", false},
      {"ABC", "abc", true},
      {"*ц?т*", "ЦИТАТА", true},
      {"*Ц?Т*", "сок ЦиТрус", true},
      {"*ц?т*", "ЦВЕТОК", false},
      {"*ц?т*", "цт", false},
      {"ё*", "Ёлка", true},
      {"е*", "Ёлка", false},
      {"[а-я]#", "Ж5", true},
      {"[а-я]", "ё", true},
      {"[а-е]", "Ё", false},
      {"[ё-ж]", "Е", false},
      {"[!а-я]*", "Жук", false},
      {"*дом", "ДОМ", true},
      {"*аб", "ААБ", true},  // the "*" resumes one letter after where a partial match began
      {"Иван*", "иванов", true},
      {"*Ѐ?", "ѐЏ", true},  // Ѐ-Џ fold 0x50 apart
      {"*ѐ", "Ѐa", false},
      {"Ѣ", "ѣ", true},                    // outside Ѐ-я: folded by ICU
      {"ab\xff", "AB\xef\xbf\xbd", true},  // an invalid byte reads as U+FFFD
  };
  for (const Case& c : cases)
    EXPECT_EQ(LikePattern(c.pattern).Matches(c.text), c.match) << c.pattern << " ~ " << c.text;
}

TEST(JetLike, StarBacktrackingStaysLinearOnLongTexts) {
  std::string text(20000, 'a');
  EXPECT_FALSE(LikePattern("*a*a*a*b").Matches(text));
  EXPECT_TRUE(LikePattern("*a*a*a*").Matches(text));
}

}  // namespace
}  // namespace qv::jet
