// A name is at most 64 characters (UTF-16 units): long ASCII texts are
// answered from their first bytes, others counted, and a bad character
// anywhere still makes a short name invalid.

#include <gtest/gtest.h>

#include <string>

#include "platform/jet/JetTableSql.h"

namespace qv::jet::ddl {
namespace {

TEST(NameLengthTest, SixtyFourCharactersAtMost) {
  const std::string ascii63(63, 'n');
  const struct {
    const char* what;
    std::string name;
    bool valid;
  } cases[] = {
      {"64 ASCII letters", ascii63 + "n", true},
      {"65 ASCII letters", ascii63 + "nn", false},
      {"a statement's text", "SELECT a, b FROM t WHERE a = 1 AND b = 2 ORDER BY a, b DESC, a + b",
       false},
      {"63 ASCII letters and a Cyrillic one (65 bytes)", ascii63 + "Я", true},
      {"64 ASCII letters and a Cyrillic one", ascii63 + "nЯ", false},
      {"a Cyrillic letter, then 63 ASCII ones", "Я" + ascii63, true},
      {"a Cyrillic letter, then 64 ASCII ones", "Я" + ascii63 + "n", false},
      {"a period in a short name", "a.b", false},
      {"an exclamation mark", "a!b", false},
      {"a back quote", "a`b", false},
      {"an opening bracket", "a[b", false},
      {"a closing bracket", "a]b", false},
      {"a tab", "a\tb", false},
      {"a line break at the end", "ab\n", false},
      {"spaces, digits and signs inside", "Счета 2024 (копия) - #1", true},
      {"a bad character past the 64th", ascii63 + "nn.", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsValidName(c.name), c.valid) << c.what;
}

}  // namespace
}  // namespace qv::jet::ddl
