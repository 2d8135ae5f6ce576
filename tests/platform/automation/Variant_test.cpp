#include "platform/automation/Variant.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>

#include "platform/automation/Error.h"
#include "platform/automation/VbaDate.h"
#include "support/TestSupport.h"

namespace qv {
namespace {

using testsupport::ExpectError;

TEST(Variant, CStrWritesNumbersDatesAndBooleansAsVb) {
  const struct {
    Variant value;
    const char* text;
  } cases[] = {
      {Variant(0.0), "0"},
      {Variant(-0.25), "-0.25"},
      {Variant(0.1 + 0.2), "0.3"},  // 15 significant digits hide the binary error
      {Variant(123456789012345.0), "123456789012345"},
      {Variant(1234567890123456.0), "1.23456789012346E+15"},
      {Variant(1e20), "1E+20"},
      {Variant(0.0001), "0.0001"},
      {Variant(1.5e-7), "1.5E-07"},
      {Variant(1.0f / 3.0f), "0.3333333"},
      {Variant(int32_t{-42}), "-42"},
      {Variant(int16_t{7}), "7"},
      {Variant(uint8_t{255}), "255"},
      {Variant(Currency{12345}), "1.2345"},
      {Variant(Currency{-20000}), "-2"},
      {Variant(true), "True"},
      {Variant(false), "False"},
      {Variant(), ""},
      {Variant(OleDate{DateSerial(2007, 3, 5).serial + TimeSerial(9, 5, 3).serial}),
       "05.03.2007 9:05:03"},
      {Variant(TimeSerial(13, 0, 0)), "13:00:00"},
      {Variant("текст"), "текст"},
  };
  for (const auto& c : cases) EXPECT_EQ(CStr(c.value), c.text) << c.value.Describe();
}

TEST(Variant, IntegerConversionsRoundHalvesToEvenAndCheckRange) {
  const struct {
    Variant value;
    int32_t expected;  // 0 with error set
    int32_t error;
    const char* says = "";  // a part of the error's text
  } cases[] = {
      {Variant(2.4999), 2, 0},
      {Variant("12.5"), 12, 0},
      {Variant(" 7 "), 7, 0},
      {Variant(true), -1, 0},
      {Variant(), 0, 0},
      {Variant(2147483647.0), 2147483647, 0},
      {Variant(2147483647.5), 0, vberr::kOverflow},
      {Variant(-2147483649.0), 0, vberr::kOverflow,
       "-2147483649 is out of the range of Long (-2147483648 to 2147483647)"},
      {Variant("12,5"), 12, 0},  // the Russian decimal comma, rounded to even
      {Variant("1,2,5"), 0, vberr::kTypeMismatch},
      {Variant("abc"), 0, vberr::kTypeMismatch, "cannot convert String \"abc\" to Long"},
      {Variant::Null(), 0, vberr::kInvalidUseOfNull},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.value.Describe());
    int32_t got = 0;
    ExpectError(c.error, c.says, [&] { got = CLng(c.value); });
    EXPECT_EQ(got, c.expected);
  }
  EXPECT_EQ(CInt(Variant(32767.4)), 32767);
  ExpectError(vberr::kOverflow, "", [] { CInt(Variant(32767.5)); });
  ExpectError(vberr::kOverflow, "", [] { CByte(Variant(-1)); });
  EXPECT_EQ(CByte(Variant(254.5)), 254);
}

TEST(Variant, CDblCDateCBoolReadTextsAndRejectGarbage) {
  EXPECT_DOUBLE_EQ(CDbl(Variant("1.5")), 1.5);
  EXPECT_DOUBLE_EQ(CDbl(Variant("-1E3")), -1000);
  EXPECT_DOUBLE_EQ(CDbl(Variant("&HFF")), 255);
  EXPECT_DOUBLE_EQ(CDbl(Variant("&HFFFF")), -1);  // 16-bit two's complement, as VB
  EXPECT_DOUBLE_EQ(CDbl(Variant(DateSerial(1900, 1, 1))), 2);
  ExpectError(vberr::kTypeMismatch, "", [] { CDbl(Variant("1.5,0")); });
  ExpectError(vberr::kTypeMismatch, "", [] { CDbl(Variant("")); });
  ExpectError(vberr::kTypeMismatch, "", [] { CDbl(Variant("1e999")); });

  EXPECT_EQ(CDate(Variant("05.03.2007")), DateSerial(2007, 3, 5));
  EXPECT_EQ(CDate(Variant("2007-03-05")), DateSerial(2007, 3, 5));
  EXPECT_EQ(CDate(Variant("5.3.07")), DateSerial(2007, 3, 5));
  EXPECT_DOUBLE_EQ(CDate(Variant("05.03.2007 12:00")).serial, DateSerial(2007, 3, 5).serial + 0.5);
  EXPECT_DOUBLE_EQ(CDate(Variant("18:00:00")).serial, 0.75);
  EXPECT_DOUBLE_EQ(CDate(Variant(39146.0)).serial, 39146.0);
  ExpectError(vberr::kTypeMismatch, "", [] { CDate(Variant("31.02.2007")); });
  ExpectError(vberr::kTypeMismatch, "", [] { CDate(Variant("завтра")); });
  ExpectError(vberr::kOverflow, "", [] { CDate(Variant(1e10)); });

  EXPECT_TRUE(CBool(Variant("True")));
  EXPECT_TRUE(CBool(Variant(" -1 ")));
  EXPECT_FALSE(CBool(Variant("false")));
  EXPECT_FALSE(CBool(Variant(0.0)));
  EXPECT_TRUE(CBool(Variant(0.5)));
  ExpectError(vberr::kTypeMismatch, "", [] { CBool(Variant("yes")); });
  ExpectError(vberr::kInvalidUseOfNull, "", [] { CBool(Variant::Null()); });
  ExpectError(vberr::kInvalidUseOfNull, "", [] { CStr(Variant::Null()); });
  ExpectError(vberr::kTypeMismatch, "", [] { CLng(Variant::Nothing()); });
}

// CDbl of every numeric kind, those read without the general conversion
// (Long, Double, Date) among them.
TEST(Variant, CDblReadsEveryNumericKind) {
  const struct {
    Variant value;
    double expected;
  } cases[] = {
      {Variant(int32_t{-7}), -7},
      {Variant(int32_t{INT32_MAX}), INT32_MAX},
      {Variant(2.25), 2.25},
      {Variant(OleDate{39146.5}), 39146.5},
      {Variant(int16_t{-3}), -3},
      {Variant(uint8_t{200}), 200},
      {Variant(true), -1},
      {Variant(1.5f), 1.5},
      {Variant(Currency{12345}), 1.2345},
      {Variant(), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value.Describe());
    EXPECT_DOUBLE_EQ(CDbl(c.value), c.expected);
  }
  ExpectError(vberr::kInvalidUseOfNull, "", [] { CDbl(Variant::Null()); });
}

// SetString over a String keeps its text right whatever the new text is: a
// longer or shorter one, an empty one, or a part of the text it replaces.
TEST(Variant, SetStringReplacesTheTextEvenWithAPartOfItself) {
  const std::string long_text(100, 'z');
  Variant v(std::string("abcdef"));
  const struct {
    std::function<std::string_view(const Variant&)> text;
    std::string expected;
  } steps[] = {
      {[](const Variant&) { return std::string_view("xy"); }, "xy"},
      {[&](const Variant&) { return std::string_view(long_text); }, long_text},
      {[](const Variant& w) { return std::string_view(w.AsString()).substr(90); }, "zzzzzzzzzz"},
      {[](const Variant&) { return std::string_view("Привет, мир"); }, "Привет, мир"},
      {[](const Variant& w) { return std::string_view(w.AsString()).substr(0, 12); }, "Привет"},
      {[](const Variant& w) { return std::string_view(w.AsString()).substr(2); }, "ривет"},
      {[](const Variant& w) { return std::string_view(w.AsString()); }, "ривет"},
      {[](const Variant&) { return std::string_view(); }, ""},
      {[](const Variant&) { return std::string_view("q"); }, "q"},
  };
  for (const auto& s : steps) {
    v.SetString(s.text(v));
    EXPECT_TRUE(v.IsString());
    EXPECT_EQ(v.AsString(), s.expected);
  }
  Variant number(3.5);
  number.SetString("now a text");
  EXPECT_EQ(number.AsString(), "now a text");
}

TEST(Variant, DateSerialRollsOverLikeVba) {
  const struct {
    int y, m, d;
    int ey, em, ed;
  } cases[] = {
      {2008, 3, 0, 2008, 2, 29}, {2007, 0, 1, 2006, 12, 1}, {2007, -1, 1, 2006, 11, 1},
      {2007, 1, 32, 2007, 2, 1}, {45, 1, 1, 1945, 1, 1},    {1899, 12, 30, 1899, 12, 30},
      {1800, 1, 1, 1800, 1, 1},
  };
  for (const auto& c : cases) {
    const DateParts p = SplitDate(DateSerial(c.y, c.m, c.d));
    EXPECT_EQ(std::make_tuple(p.year, p.month, p.day), std::make_tuple(c.ey, c.em, c.ed))
        << c.y << "-" << c.m << "-" << c.d;
  }
  EXPECT_DOUBLE_EQ(DateSerial(1899, 12, 30).serial, 0);
  EXPECT_DOUBLE_EQ(DateSerial(2007, 3, 5).serial, 39146);
  // A time before the base date counts forward from its midnight.
  const DateParts early = SplitDate(OleDate{-1.25});
  EXPECT_EQ(early.day, 29);
  EXPECT_EQ(early.hour, 6);
}

TEST(Variant, CompareFollowsVbaRules) {
  using O = std::strong_ordering;
  EXPECT_EQ(Compare(Variant(1), Variant(1.0)), O::equal);
  EXPECT_EQ(Compare(Variant(2), Variant("10")), O::less);      // the text read as a number
  EXPECT_EQ(Compare(Variant("a"), Variant("B")), O::greater);  // binary: 'a' > 'B'
  EXPECT_EQ(Compare(Variant("a"), Variant("B"), CompareMode::kText), O::less);
  EXPECT_EQ(Compare(Variant("ёж"), Variant("ЁЖ"), CompareMode::kText), O::equal);
  EXPECT_EQ(Compare(Variant("яблоко"), Variant("Арбуз"), CompareMode::kText), O::greater);
  EXPECT_EQ(Compare(Variant(), Variant(""), CompareMode::kBinary), O::equal);
  EXPECT_EQ(Compare(Variant(), Variant(0)), O::equal);
  EXPECT_FALSE(Compare(Variant::Null(), Variant(1)).has_value());
  EXPECT_FALSE(VbEquals(Variant::Null(), Variant::Null()));
  ExpectError(vberr::kTypeMismatch, "", [] { Compare(Variant(1), Variant("x")); });
}

TEST(Variant, ArraysCopyOnWriteAndReportBounds) {
  Variant a(VariantArray::Of({Variant(1), Variant("x")}, 1));
  Variant b = a;
  b.AsArrayMut().At(1) = Variant(2);
  EXPECT_EQ(a.AsArray().At(1), Variant(1));
  EXPECT_EQ(b.AsArray().At(1), Variant(2));
  EXPECT_EQ(a.VbVarType(), 0x200C);
  ExpectError(vberr::kSubscriptOutOfRange, "", [&] { a.AsArray().At(0); });
  Variant bytes(ByteArray{0, {1, 2}});
  EXPECT_EQ(bytes.VbVarType(), 0x2011);
  ExpectError(vberr::kTypeMismatch, "", [&] { bytes.AsArray(); });
  EXPECT_TRUE(Variant::Missing().IsMissing());
  EXPECT_TRUE(Variant::Nothing().IsNothing());
}

}  // namespace
}  // namespace qv
