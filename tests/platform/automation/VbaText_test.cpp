#include "platform/automation/VbaText.h"
#include "platform/automation/Error.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(VbaText, CountsUtf16UnitsAndCutsOnThem) {
  EXPECT_EQ(Len("abc"), 3);
  EXPECT_EQ(Len("Привет"), 6);
  EXPECT_EQ(Len("a😀b"), 4);  // a surrogate pair counts twice
  EXPECT_EQ(Left("Привет", 3), "При");
  EXPECT_EQ(Right("Привет", 2), "ет");
  EXPECT_EQ(Right("abc", 10), "abc");
  EXPECT_EQ(Mid("Привет", 2, 3), "рив");
  EXPECT_EQ(Mid("Привет", 5), "ет");
  EXPECT_EQ(Mid("abc", 10), "");
  EXPECT_EQ(Truncate16("a😀b", 2), "a");  // never half a pair
  EXPECT_EQ(Truncate16("Ёлка", 255), "Ёлка");
  EXPECT_THROW(Mid("abc", 0), Error);
  // Invalid UTF-8 is kept byte for byte, not rejected.
  EXPECT_EQ(Len("\xff\xfe"), 2);
}

TEST(VbaText, CaseMappingAndComparisonCoverCyrillic) {
  EXPECT_EQ(UCase("ёжик Abc"), "ЁЖИК ABC");
  EXPECT_EQ(LCase("ЪЁЛКА"), "ъёлка");
  EXPECT_EQ(CompareTextRu("ёлка", "ЁЛКА"), 0);
  EXPECT_LT(CompareTextRu("Арбуз", "банан"), 0);
  EXPECT_GT(CompareTextRu("Яблоко", "яблоки"), 0);  // и sorts before о
  EXPECT_EQ(FoldCase("КЛЮЧ"), FoldCase("ключ"));
  EXPECT_EQ(InStr(1, "Привет, мир", "мир"), 9);
  EXPECT_EQ(InStr(1, "Привет", "ПРИ"), 0);
  EXPECT_EQ(InStr(1, "Привет", "ПРИ", CompareMode::kText), 1);
  EXPECT_EQ(InStr(3, "abcabc", "a"), 4);
  EXPECT_EQ(InStr(2, "abc", ""), 2);
  EXPECT_EQ(Replace("a-b-c", "-", "+"), "a+b+c");
  EXPECT_EQ(StrComp("a", "B"), 1);
  EXPECT_EQ(StrComp("a", "B", CompareMode::kText), -1);
}

TEST(VbaText, ValReadsTheLeadingNumber) {
  const struct {
    const char* text;
    double value;
  } cases[] = {
      {"  12 34abc", 1234}, {"1.5e2x", 150}, {"-3.25", -3.25}, {"abc", 0},  {"", 0},
      {"&HFF", 255},        {"1.2.3", 1.2},  {".5", 0.5},      {"12e", 12},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(Val(c.text), c.value) << c.text;
  EXPECT_EQ(Trim("  a b  "), "a b");
  EXPECT_EQ(StringOf(3, "Жx"), "ЖЖЖ");
}

}  // namespace
}  // namespace qv
