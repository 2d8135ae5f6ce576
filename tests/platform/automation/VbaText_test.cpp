#include "platform/automation/VbaText.h"
#include "platform/automation/Error.h"

#include <gtest/gtest.h>
#include <unicode/locid.h>
#include <unicode/ucol.h>
#include <unicode/unistr.h>

#include <memory>
#include <random>

namespace qv {
namespace {

TEST(VbaText, CountsUtf16UnitsAndCutsOnThem) {
  EXPECT_EQ(Len("a😀b"), 4);  // a surrogate pair counts twice
  EXPECT_EQ(Right("abc", 10), "abc");
  EXPECT_EQ(Mid("abc", 10), "");
  EXPECT_EQ(Truncate16("a😀b", 2), "a");  // never half a pair
  EXPECT_EQ(Truncate16("Ёлка", 255), "Ёлка");
  // Invalid UTF-8 is kept byte for byte, not rejected.
  EXPECT_EQ(Len("\xff\xfe"), 2);
}

TEST(VbaText, CaseMappingAndComparisonCoverCyrillic) {
  EXPECT_EQ(CompareTextRu("ёлка", "ЁЛКА"), 0);
  EXPECT_LT(CompareTextRu("Арбуз", "банан"), 0);
  EXPECT_GT(CompareTextRu("Яблоко", "яблоки"), 0);  // и sorts before о
  EXPECT_EQ(InStr(1, "Привет", "ПРИ"), 0);
  EXPECT_EQ(InStr(1, "Привет", "ПРИ", CompareMode::kText), 1);
  EXPECT_EQ(InStr(3, "abcabc", "a"), 4);
  EXPECT_EQ(InStr(2, "abc", ""), 2);
  EXPECT_EQ(StrComp("a", "B"), 1);
  EXPECT_EQ(StrComp("a", "B", CompareMode::kText), -1);
}

// The one-pass mapping of ASCII and U+0400..U+045F must agree with ICU's
// full mapping on every character, alone and next to a character that is
// not in that range (the text then falls back to ICU whole).
TEST(VbaText, CaseMappingAgreesWithIcuAroundTheCyrillicBlock) {
  auto icu = [](const std::string& s, int how) {
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(s);
    if (how == 0) u.toUpper(icu::Locale("ru", "RU"));
    if (how == 1) u.toLower(icu::Locale("ru", "RU"));
    if (how == 2) u.foldCase();
    std::string out;
    return u.toUTF8String(out);
  };
  for (UChar32 c = 0x20; c < 0x500; ++c) {
    std::string one;
    icu::UnicodeString(c).toUTF8String(one);
    for (const std::string& s : {"a" + one + "Я", one + "\u0462"}) {
      EXPECT_EQ(UCase(s), icu(s, 0)) << std::hex << c;
      EXPECT_EQ(LCase(s), icu(s, 1)) << std::hex << c;
      EXPECT_EQ(FoldCase(s), icu(s, 2)) << std::hex << c;
    }
  }
}

TEST(VbaText, ValReadsTheLeadingNumber) {
  const struct {
    const char* text;
    double value;
  } cases[] = {
      {"1.5e2x", 150}, {"-3.25", -3.25}, {"", 0},     {"&HFF", 255},
      {"1.2.3", 1.2},  {".5", 0.5},      {"12e", 12},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(Val(c.text), c.value) << c.text;
  EXPECT_EQ(StringOf(3, "Жx"), "ЖЖЖ");
}

// Texts of ASCII characters compare without the collator (their places in
// its order are taken once); the result must be the collator's own, for
// punctuation, digits, both cases, prefixes and ignorable control
// characters alike.
TEST(VbaText, AsciiTextsCompareAsTheCollatorDoes) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UCollator, void (*)(UCollator*)> coll(ucol_open("", &status), ucol_close);
  ASSERT_TRUE(U_SUCCESS(status));
  ucol_setStrength(coll.get(), UCOL_SECONDARY);
  const std::string alphabet =
      std::string(" !\"#$%&'()*+,-./0123456789:;<=>?@ABCXYZ[\\]^_`abcxyz{|}~") + "\x01\t" + "ё";
  std::mt19937 rng(20);
  auto randomText = [&](size_t maxLength) {
    std::string t;
    const size_t n = rng() % (maxLength + 1);
    for (size_t k = 0; k < n; ++k) t += alphabet[rng() % alphabet.size()];
    return t;
  };
  for (int i = 0; i < 20000; ++i) {
    const std::string a = randomText(5);
    // Half of the pairs share a prefix, so that later characters decide.
    const std::string b =
        i % 2 ? randomText(5) : a.substr(0, rng() % (a.size() + 1)) + randomText(2);
    const UCollationResult r =
        ucol_strcollUTF8(coll.get(), a.data(), static_cast<int32_t>(a.size()), b.data(),
                         static_cast<int32_t>(b.size()), &status);
    const int32_t expected = r == UCOL_LESS ? -1 : r == UCOL_GREATER ? 1 : 0;
    ASSERT_EQ(CompareTextRu(a, b), expected) << "'" << a << "' '" << b << "'";
  }
}

}  // namespace
}  // namespace qv
