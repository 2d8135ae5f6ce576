// The values libmdb hands over for each Jet type, decoded and converted at
// their edges: what comes out and whether the import reports it as lossy.

#include "JetValues.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "QvdbTestSupport.h"

namespace qvdb {
namespace {

using qv::Currency;
using qv::OleDate;
using qv::jet::FieldSpec;
using qv::jet::JetType;
using Bytes = std::vector<uint8_t>;

template <class T>
Bytes LittleEndian(T v) {
  Bytes b(sizeof v);
  std::memcpy(b.data(), &v, sizeof v);
  return b;
}

Bytes Text(const char* s) {
  return Bytes(s, s + std::strlen(s));
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(JetValuesTest, DecodesEachTypeAtItsEdges) {
  const JetTextDecoder jet4(true, "");
  const JetTextDecoder jet3(false, "windows-1251");
  const JetTextDecoder japanese(false, "shift_jis");
  struct Case {
    const char* what;
    MdbType type;
    bool isNull;
    Bytes bytes;
    Variant expected;
    bool lossy = false;
    const JetTextDecoder* text = nullptr;
  };
  const Case cases[] = {
      {"Yes/No lives in the null mask: set means Yes", MdbType::kBool, false, Bytes{},
       Variant(true)},
      {"Yes/No with the bit clear is No, never Null", MdbType::kBool, true, Bytes{},
       Variant(false)},
      {"Byte is unsigned", MdbType::kByte, false, Bytes{0xFF}, Variant(uint8_t{255})},
      {"Integer's lowest", MdbType::kInt, false, Bytes{0x00, 0x80}, Variant(int16_t{-32768})},
      {"Long's highest", MdbType::kLongInt, false, Bytes{0xFF, 0xFF, 0xFF, 0x7F},
       Variant(int32_t{2147483647})},
      {"negative Currency keeps its four decimals", MdbType::kMoney, false,
       LittleEndian<int64_t>(-12345678901), Variant(Currency{-12345678901})},
      {"Single", MdbType::kFloat, false, LittleEndian(0.1f), Variant(0.1f)},
      {"Double", MdbType::kDouble, false, LittleEndian(-1e300), Variant(-1e300)},
      {"a date before 1900 with a time: 29.12.1899 06:00", MdbType::kDateTime, false,
       LittleEndian(-1.25), Variant(OleDate{-1.25})},
      {"a Null date", MdbType::kDateTime, true, Bytes{}, Variant::Null()},
      {"GUID: three little-endian groups, upper case, braced", MdbType::kRepId, false,
       Bytes{0x78, 0x56, 0x34, 0x12, 0xBC, 0x9A, 0xF0, 0xDE, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB,
             0xCD, 0xEF},
       Variant("{12345678-9ABC-DEF0-0123-456789ABCDEF}")},
      {"Binary", MdbType::kBinary, false, Bytes{0x00, 0xFF},
       Variant(qv::ByteArray{0, {0x00, 0xFF}})},
      {"an empty text is not Null", MdbType::kText, false, Bytes{}, Variant("")},
      {"a Null text", MdbType::kText, true, Bytes{}, Variant::Null()},
      {"UTF-16LE", MdbType::kText, false, Bytes{0x01, 0x04, 0x41, 0x00}, Variant("ЁA")},
      {"compressed: Latin in one byte, then 00 switches to Cyrillic in two", MdbType::kText, false,
       Bytes{0xFF, 0xFE} + Text("Abc ") + Bytes{0x00, 0x1F, 0x04, 0x40, 0x04, 0x38, 0x04},
       Variant("Abc При")},
      {"compressed: starting with Cyrillic, back to one byte after it", MdbType::kMemo, false,
       Bytes{0xFF, 0xFE, 0x00, 0x16, 0x04, 0x00, '1', '2'}, Variant("Ж12")},
      {"a surrogate pair", MdbType::kText, false, Bytes{0x3D, 0xD8, 0x00, 0xDE}, Variant("😀")},
      {"half a surrogate pair is lossy", MdbType::kText, false, Bytes{0x3D, 0xD8, 0x41, 0x00},
       Variant("\uFFFDA"), true},
      {"compressed text cut in the middle of a character", MdbType::kText, false,
       Bytes{0xFF, 0xFE, 'A', 0x00, 0x16}, Variant("A"), true},
      {"Jet 3 in the Russian code page", MdbType::kText, false, Bytes{0xCF, 0xF0, 0xE8, 0xB8},
       Variant("Приё"), false, &jet3},
      {"a character cut short in a multi-byte code page", MdbType::kText, false, Bytes{'a', 0x81},
       Variant("a\x1A"), true, &japanese},
      {"Decimal within a Double's digits", MdbType::kNumeric, false, Text("-123.4500"),
       Variant(-123.45)},
      {"Decimal beyond a Double's digits", MdbType::kNumeric, false,
       Text("12345678901234567890.12"), Variant(12345678901234567890.12), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    bool lossy = false;
    const Variant v = DecodeField(c.type, {c.isNull, c.bytes}, c.text ? *c.text : jet4, lossy);
    EXPECT_EQ(v.Describe(), c.expected.Describe());
    EXPECT_TRUE(v == c.expected);
    EXPECT_EQ(lossy, c.lossy);
  }
}

TEST(JetValuesTest, ABadFieldSizeIsAnError) {
  const JetTextDecoder jet4(true, "");
  bool lossy = false;
  const Bytes three = {1, 2, 3};
  ExpectError(3464, "", [&] { DecodeField(MdbType::kLongInt, {false, three}, jet4, lossy); });
  ExpectError(3464, "", [&] { DecodeField(MdbType::kRepId, {false, three}, jet4, lossy); });
  ExpectError(5, "", [] { JetTextDecoder(false, "no-such-code-page"); });
}

TEST(JetValuesTest, ConvertsForTheColumnAndSaysWhatWasLost) {
  struct Case {
    const char* what;
    Variant value;
    FieldSpec field;
    Variant expected;
    bool lossy = false;
    int32_t error = 0;
  };
  const Case cases[] = {
      {"Null stays Null", Variant::Null(), FieldSpec{"", JetType::kLong}, Variant::Null()},
      {"Long into Double", Variant(int32_t{5}), FieldSpec{"", JetType::kDouble}, Variant(5.0)},
      {"a fraction into Long rounds half to even", Variant(2.5), FieldSpec{"", JetType::kLong},
       Variant(int32_t{2}), true},
      {"Yes into Long is -1", Variant(true), FieldSpec{"", JetType::kLong}, Variant(int32_t{-1})},
      {"Single into Double", Variant(0.1f), FieldSpec{"", JetType::kDouble},
       Variant(static_cast<double>(0.1f))},
      {"Double into Single", Variant(0.1), FieldSpec{"", JetType::kSingle}, Variant(0.1f), true},
      {"a text cut to the column", Variant("abcdef"), FieldSpec{"", JetType::kText, 3},
       Variant("abc"), true},
      {"the cut counts characters, not bytes", Variant("Приветик"),
       FieldSpec{"", JetType::kText, 6}, Variant("Привет"), true},
      {"a text that fits", Variant("Привет"), FieldSpec{"", JetType::kText, 6}, Variant("Привет")},
      {"digits into Long", Variant("12"), FieldSpec{"", JetType::kLong}, Variant(int32_t{12})},
      {"negative Currency", Variant(Currency{-12345678901}), FieldSpec{"", JetType::kCurrency},
       Variant(Currency{-12345678901})},
      {"a Currency beyond what a Double keeps to four decimals",
       Variant(Currency{9000000000000000001}), FieldSpec{"", JetType::kCurrency},
       Variant(Currency{9000000000000000001}), true},
      {"a date before 1900 into Date", Variant(OleDate{-1.25}), FieldSpec{"", JetType::kDate},
       Variant(OleDate{-1.25})},
      {"a GUID's case is no loss", Variant("{12345678-9abc-def0-0123-456789abcdef}"),
       FieldSpec{"", JetType::kGUID}, Variant("{12345678-9ABC-DEF0-0123-456789ABCDEF}")},
      {"a number into Text", Variant(1.5), FieldSpec{"", JetType::kText, 10}, Variant("1.5")},
      {"a word into Long", Variant("abc"), FieldSpec{"", JetType::kLong}, Variant(), false, 13},
      {"beyond Integer", Variant(int32_t{40000}), FieldSpec{"", JetType::kInteger}, Variant(),
       false, 6},
      {"bytes into Text", Variant(qv::ByteArray{0, {1}}), FieldSpec{"", JetType::kText}, Variant(),
       false, 13},
      {"a text into Binary", Variant("a"), FieldSpec{"", JetType::kLongBinary}, Variant(), false,
       13},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    bool lossy = false;
    Variant out;
    ExpectError(c.error, "", [&] { out = ConvertForColumn(c.value, c.field, lossy); });
    if (c.error) continue;
    EXPECT_EQ(out.Describe(), c.expected.Describe());
    EXPECT_EQ(lossy, c.lossy);
  }
}

}  // namespace
}  // namespace qvdb
