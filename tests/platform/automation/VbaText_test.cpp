#include "platform/automation/VbaText.h"
#include "platform/automation/Error.h"
#include "platform/automation/TextSortKey.h"
#include "platform/automation/VbaTextReplace.h"

#include <gtest/gtest.h>
#include <unicode/locid.h>
#include <unicode/ucol.h>
#include <unicode/unistr.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

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

// Replace in both modes, with and without a count; on a long text with an
// occurrence every other character it must stay linear (a search from the
// text's start per occurrence would not come back for minutes).
TEST(VbaText, ReplaceCountsOccurrencesInOnePass) {
  const struct {
    const char *s, *what, *with;
    CompareMode mode;
    int32_t count;
    const char* expected;
  } kCases[] = {
      {"a-b-c", "-", "+", CompareMode::kBinary, -1, "a+b+c"},
      {"a-b-c", "-", "+", CompareMode::kBinary, 1, "a+b-c"},
      {"a-b-c", "-", "+", CompareMode::kBinary, 0, "a-b-c"},
      {"a-b-c", "", "+", CompareMode::kBinary, -1, "a-b-c"},
      {"aaa", "aa", "b", CompareMode::kBinary, -1, "ba"},
      {"АбвАБВ", "б", "x", CompareMode::kBinary, -1, "АxвАБВ"},
      {"АбвАБВ", "б", "x", CompareMode::kText, -1, "АxвАxВ"},
      {"АбвАБВ", "Б", "", CompareMode::kText, 1, "АвАБВ"},
      {"a😀b😀", "😀", "-", CompareMode::kText, -1, "a-b-"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.s) + " / " + c.what);
    EXPECT_EQ(ReplaceAtMost(c.s, c.what, c.with, c.mode, c.count), c.expected);
    if (c.count == -1) {
      EXPECT_EQ(Replace(c.s, c.what, c.with, c.mode), c.expected);
    }
  }
  std::string text;
  for (int i = 0; i < 100000; ++i) text += "ж ";
  for (CompareMode mode : {CompareMode::kBinary, CompareMode::kText}) {
    const std::string out = Replace(text, " ", "", mode);
    EXPECT_EQ(out.size(), text.size() - 100000);
    EXPECT_EQ(out.find(' '), std::string::npos);
  }
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

// Texts of ASCII characters and letters of the Cyrillic block compare
// without the collator (their places in its order are taken once); the
// result must be the collator's own, for punctuation, digits, both cases,
// prefixes, ignorable control characters, letters with a diacritic (Ё, and
// И with a combining breve, which is Й), other scripts and broken UTF-8.
TEST(VbaText, AsciiAndCyrillicTextsCompareAsTheCollatorDoes) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UCollator, void (*)(UCollator*)> coll(ucol_open("", &status), ucol_close);
  ASSERT_TRUE(U_SUCCESS(status));
  ucol_setStrength(coll.get(), UCOL_SECONDARY);
  std::vector<std::string> alphabet;
  for (char c : std::string(" !\"#$%&'()*+,-./0123456789:;<=>?@ABCXYZ[\\]^_`abcxyz{|}~\x01\t"))
    alphabet.emplace_back(1, c);
  for (const char* c :
       {"а", "А", "б", "Е", "е", "ё", "Ё", "и",      "И",      "й", "Й",    "ъ",    "ь",       "Ь",
        "я", "Я", "ђ", "Ѐ", "ї", "џ", "Ѣ", "\u0306", "\u0301", "ß", "\xD1", "\x91", "\xC1\x81"})
    alphabet.emplace_back(c);
  std::mt19937 rng(20);
  auto randomText = [&](size_t maxLength) {
    std::string t;
    const size_t n = rng() % (maxLength + 1);
    for (size_t k = 0; k < n; ++k) t += alphabet[rng() % alphabet.size()];
    return t;
  };
  const auto expectCollators = [&](const std::string& a, const std::string& b) {
    const UCollationResult r =
        ucol_strcollUTF8(coll.get(), a.data(), static_cast<int32_t>(a.size()), b.data(),
                         static_cast<int32_t>(b.size()), &status);
    const int32_t expected = r == UCOL_LESS ? -1 : r == UCOL_GREATER ? 1 : 0;
    ASSERT_EQ(CompareTextRu(a, b), expected) << "'" << a << "' '" << b << "'";
    // The sort keys, where both texts have one, compare the same way.
    std::string ka, kb;
    if (CompareTextRuKey(a, ka) && CompareTextRuKey(b, kb)) {
      const int32_t byKeys = ka < kb ? -1 : ka == kb ? 0 : 1;
      ASSERT_EQ(byKeys, expected) << "keys of '" << a << "' '" << b << "'";
    }
  };
  // A mark after the first difference that the collator joins to it.
  expectCollators("аи\u0306", "ай");
  expectCollators("ай", "аи\u0306б");
  for (int i = 0; i < 20000; ++i) {
    const std::string a = randomText(5);
    // Half of the pairs share a prefix, so that later characters decide.
    const std::string b =
        i % 2 ? randomText(5) : a.substr(0, rng() % (a.size() + 1)) + randomText(2);
    expectCollators(a, b);
  }
}

}  // namespace
}  // namespace qv
