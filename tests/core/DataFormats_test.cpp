#include <gtest/gtest.h>

#include <set>
#include <string_view>

#include "core/mHexStrings.h"
#include "core/mQvCommonCalc.h"
#include "core/mQvGuids.h"
#include "core/mQvInnChecking.h"
#include "platform/automation/VbaDate.h"
#include "support/TestSupport.h"

namespace qv {
namespace {

using namespace mQvCommonCalc;

TEST(DataFormats, NormalizeKppMapsLookAlikeLetters) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"7701АВ001", "7701AB001"},
      {" 7701ав001 ", "7701AB001"},
      {"ЦСДЕФНКМРТХБ", "CCDEFHKMPTXB"},
      {"7701ЖЯ001", "7701ЖЯ001"},
      {"", ""},
      {"770101001", "770101001"},
      // ASCII only: trimmed and upper-cased, nothing to replace.
      {"  7701ab001", "7701AB001"},
      {"7701zq001  ", "7701ZQ001"},
      {"   ", ""},
      // A Latin and a Cyrillic look-alike side by side, and a Cyrillic
      // letter that is no look-alike kept upper-cased.
      {"7701aв001", "7701AB001"},
      {"7701ж01", "7701Ж01"},
  };
  for (const auto& c : cases) EXPECT_EQ(mQvInnChecking::NormalizeKpp(c.in), c.out) << c.in;
}

TEST(DataFormats, HexTextRoundTripsAndRejectsGarbage) {
  EXPECT_EQ(mHexStrings::EncodeToHexString({0, 15, 255}), "000FFF");
  EXPECT_EQ(mHexStrings::EncodeToHexString({}), "");
  std::vector<uint8_t> bytes;
  EXPECT_EQ(mHexStrings::DecodeFromHexString("000fFF10", bytes), 4);
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0, 15, 255, 16}));
  EXPECT_EQ(mHexStrings::DecodeFromHexString("", bytes), 0);
  testsupport::ExpectError(vberr::kInvalidProcedureCall, "odd length",
                           [&] { mHexStrings::DecodeFromHexString("ABC", bytes); });
  testsupport::ExpectError(vberr::kInvalidProcedureCall, "position 2",
                           [&] { mHexStrings::DecodeFromHexString("0G", bytes); });
}

TEST(DataFormats, GuidsAreNewAndWellFormed) {
  std::set<std::string> seen;
  for (int i = 0; i < 100; ++i) {
    const std::string g = mQvGuids::CreateNewGuid();
    // Lower-case hex digits in groups of 8-4-4-4-12, a random one's version
    // (4) and variant (8, 9, a or b).
    ASSERT_EQ(g.size(), 36u);
    for (size_t k = 0; k < g.size(); ++k)
      EXPECT_TRUE(k == 8 || k == 13 || k == 18 || k == 23
                      ? g[k] == '-'
                      : std::string_view("0123456789abcdef").find(g[k]) != std::string_view::npos)
          << g;
    EXPECT_EQ(g[14], '4') << g;
    EXPECT_NE(std::string_view("89ab").find(g[19]), std::string_view::npos) << g;
    seen.insert(g);
    EXPECT_EQ(mQvGuids::CreateNewGuidWithoutHyphens().size(), 32u);
  }
  EXPECT_EQ(seen.size(), 100u);
}

TEST(DataFormats, NumberTextsToleratesEitherSeparator) {
  const struct {
    const char* text;
    bool ok;
    double value;
  } doubles[] = {{"1.5", true, 1.5},  {"1,5", true, 1.5}, {" -2,25 ", true, -2.25},
                 {"1,5.2", false, 0}, {"abc", false, 0},  {"", false, 0}};
  for (const auto& c : doubles) {
    bool ok = !c.ok;
    EXPECT_DOUBLE_EQ(StrToDoubleEx(c.text, ok), c.value) << c.text;
    EXPECT_EQ(ok, c.ok) << c.text;
  }
  const struct {
    const char* text;
    bool ok;
    int32_t value;
  } longs[] = {{"42", true, 42},   {"4 2", false, -1}, {"4.2", false, -1},
               {"4,2", false, -1}, {"x", false, -1},   {"99999999999", false, -1}};
  for (const auto& c : longs) {
    bool ok = !c.ok;
    EXPECT_EQ(StrToLongEx(c.text, -1, ok), c.value) << c.text;
    EXPECT_EQ(ok, c.ok) << c.text;
  }
  EXPECT_EQ(VarToLongDef(Variant::Null(), 7), 7);
  EXPECT_EQ(VarToLongDef(Variant("12"), 7), 12);
  EXPECT_DOUBLE_EQ(VarToDoubleDef(Variant("x"), 1.5), 1.5);
}

TEST(DataFormats, DatesAndTheirTexts) {
  const Variant march5(DateSerial(2007, 3, 5));
  EXPECT_EQ(DateToDotText(march5), "05.03.2007");
  EXPECT_EQ(DateToDotText(Variant("5.3.2007")), "05.03.2007");
  EXPECT_EQ(DateToDotText(Variant()), "");
  EXPECT_EQ(VarToStr(march5), "05.03.2007");
  EXPECT_EQ(VarToStr(Variant::Null(), "-"), "-");
  EXPECT_EQ(VarToStr(Variant(2.5)), "2.5");
  // Which values are no date (IsEmptyDate) is checked through Date2DaoSql.
  EXPECT_EQ(VarToDate(Variant()), OleDate{0});
  EXPECT_EQ(VarToDate(Variant("05.03.2007")), DateSerial(2007, 3, 5));
}

TEST(DataFormats, TextCollectionAndArrayUtilities) {
  EXPECT_EQ(PadLeftStr("7", 3, "0"), "007");
  EXPECT_EQ(PadLeftStr("1234", 3, "0"), "1234");
  EXPECT_EQ(NullIfEmptyStr(""), Variant::Null());
  std::string text = "ПрефиксТекст";
  RemovePrefix(text, "префикс", false);
  EXPECT_EQ(text, "Текст");
  RemovePrefix(text, "текст", true);
  EXPECT_EQ(text, "Текст");

  Collection c;
  c.Add(Variant(1.5), "a");
  c.Add(Variant(int32_t{2}));
  c.Add(Variant("x"), "B");
  EXPECT_EQ(JoinCollection(c, ";"), "1.5;2;x");
  EXPECT_TRUE(IsKeyInCollection(c, "b"));
  EXPECT_FALSE(IsKeyInCollection(c, "z"));
  EXPECT_TRUE(GetCollectionItem(c, "z").IsNothing());
  EXPECT_EQ(GetCollectionItem(c, "A"), Variant(1.5));

  int32_t count = -1, lower = -1, upper = -1;
  GetArrayBounds(Variant(VariantArray{}), count, lower, upper);
  EXPECT_EQ(std::make_tuple(count, lower, upper), std::make_tuple(0, 0, -1));
  GetArrayBounds(Variant(VariantArray::Of({Variant(1), Variant(2)}, 1)), count, lower, upper);
  EXPECT_EQ(std::make_tuple(count, lower, upper), std::make_tuple(2, 1, 2));
  testsupport::ExpectError(vberr::kTypeMismatch, "",
                           [&] { GetArrayBounds(Variant(1), count, lower, upper); });

  const struct {
    const char *left, *right, *joined;
  } paths[] = {{"", "", ""},
               {"", "/b", "/b"},
               {"/a/", "/b", "/a/b"},
               {"/a", "b", "/a/b"},
               {"/a//", "b", "/a//b"}};
  for (const auto& p : paths) EXPECT_EQ(ConcatenatePath(p.left, p.right), p.joined);
  EXPECT_EQ(JoinWithSeparator("SOFTWARE\\Kestrane\\", "\\General", '\\'),
            "SOFTWARE\\Kestrane\\General");
}

}  // namespace
}  // namespace qv
