#include "platform/ado/AdoTypes.h"

#include <gtest/gtest.h>

#include "AdoTestSupport.h"
#include "platform/automation/VbaDate.h"

namespace qv::ado {
namespace {

using test::ExpectError;

TEST(AdoTypes, StoredValuesFollowTheFieldType) {
  const Variant kNull = Variant::Null();
  const struct {
    int32_t type;
    int32_t size;
    int32_t attributes;
    Variant in;
    Variant want;  // Empty: the assignment must fail with the multiple-step error
  } cases[] = {
      {adInteger, 0, 0, Variant("42"), Variant(int32_t{42})},
      {adInteger, 0, 0, Variant(int32_t{7}), Variant(int32_t{7})},
      {adSmallInt, 0, 0, Variant(int32_t{7}), Variant(int16_t{7})},
      {adDouble, 0, 0, Variant(OleDate{2.5}), Variant(2.5)},
      {adInteger, 0, 0, Variant(2.5), Variant(int32_t{2})},  // banker's rounding
      {adInteger, 0, 0, Variant("abc"), Variant()},
      {adInteger, 0, 0, Variant(3e10), Variant()},
      {adSmallInt, 0, 0, Variant(-32768), Variant(int16_t{-32768})},
      {adSmallInt, 0, 0, Variant(40000), Variant()},
      {adTinyInt, 0, 0, Variant(-128), Variant(int16_t{-128})},
      {adTinyInt, 0, 0, Variant(200), Variant()},
      {adUnsignedTinyInt, 0, 0, Variant(255), Variant(uint8_t{255})},
      {adUnsignedTinyInt, 0, 0, Variant(-1), Variant()},
      {adBigInt, 0, 0, Variant("30000000000"), Variant(3e10)},
      {adBoolean, 0, 0, Variant("True"), Variant(true)},
      {adBoolean, 0, 0, Variant(0), Variant(false)},
      {adCurrency, 0, 0, Variant(1.23456), Variant(Currency{12346})},
      {adDouble, 0, 0, Variant("1.5"), Variant(1.5)},
      {adSingle, 0, 0, Variant(0.25), Variant(0.25f)},
      {adNumeric, 0, 0, Variant(Currency{15000}), Variant(1.5)},
      {adDate, 0, 0, Variant("05.03.2007"), Variant(DateSerial(2007, 3, 5))},
      {adDate, 0, 0, Variant("31.02.2007"), Variant()},
      {adDBTime, 0, 0, Variant(OleDate{39146.75}), Variant(OleDate{0.75})},
      {adDBTime, 0, 0, Variant(OleDate{-1.25}), Variant(OleDate{0.25})},
      {adDBDate, 0, 0, Variant(OleDate{39146.75}), Variant(OleDate{39146})},
      {adVarWChar, 0, 0, Variant(42), Variant("42")},
      {adVarWChar, 7, 0, Variant("Привет!"), Variant("Привет!")},  // 7 characters, 13 bytes
      {adVarWChar, 6, 0, Variant("Привет!"), Variant()},
      {adVarWChar, 6, 0, Variant("Привет"), Variant("Привет")},  // 12 bytes
      {adDate, 0, 0, Variant(1.5), Variant(OleDate{1.5})},
      {adVarChar, 3, 0, Variant(1234), Variant()},
      {adWChar, 4, 0, Variant("ab"), Variant("ab  ")},
      {adChar, 2, 0, Variant("abc"), Variant()},
      {adLongVarWChar, 3, 0, Variant("longer than three"), Variant("longer than three")},
      {adGUID, 0, 0, Variant("{00000000-0000-0000-0000-000000000001}"),
       Variant("{00000000-0000-0000-0000-000000000001}")},
      {adVarBinary, 2, 0, Variant(ByteArray{0, {1, 2}}), Variant(ByteArray{0, {1, 2}})},
      {adBinary, 2, 0, Variant(ByteArray{0, {1, 2, 3}}), Variant()},
      {adLongVarBinary, 0, 0, Variant("text"), Variant()},
      // Null and Empty: stored as Null only where the field allows it.
      {adInteger, 0, adFldIsNullable, kNull, kNull},
      {adVarWChar, 10, adFldMayBeNull, Variant(), kNull},
      {adInteger, 0, 0, kNull, Variant()},
      {adVarWChar, 10, adFldUnspecified, Variant(), Variant()},
  };
  // CoerceInPlace must store exactly what CoerceToField does.
  const auto inPlace = [](const FieldInfo& field, Variant v) {
    CoerceInPlace(field, v, kFieldSource);
    return v;
  };
  for (const auto& c : cases) {
    const FieldInfo field = MakeFieldInfo("F", c.type, c.size, c.attributes);
    const std::string what = std::string(field.info->name) + " <- " + c.in.Describe();
    if (c.want.IsEmpty()) {
      SCOPED_TRACE(::testing::Message() << what);
      ExpectError(adoerr::kMultipleStep, "", [&] { CoerceToField(field, c.in, kFieldSource); });
      ExpectError(adoerr::kMultipleStep, "", [&] { inPlace(field, c.in); });
    } else {
      EXPECT_EQ(CoerceToField(field, c.in, kFieldSource), c.want) << what;
      const Variant stored = inPlace(field, c.in);
      EXPECT_EQ(stored, c.want) << what;
      EXPECT_EQ(stored.Type(), c.want.Type()) << what;
    }
  }
}

TEST(AdoTypes, DescribesFieldsAsAppended) {
  const struct {
    int32_t type, size, attributes;
    int32_t wantSize, wantAttributes, wantPrecision, wantScale;
  } cases[] = {
      {adInteger, 0, adFldIsNullable, 4, adFldIsNullable, 10, 0},
      {adInteger, 50, adFldUnspecified, 4, 0, 10, 0},  // fixed types report their own size
      {adCurrency, 0, 0, 8, 0, 19, 0},
      {adDouble, 0, 0, 8, 0, 15, 255},
      {adLongVarWChar, 1000000, adFldIsNullable, 1000000, adFldIsNullable, 255, 255},
      {adBinary, 0, 0, 0, 0, 255, 255},
  };
  for (const auto& c : cases) {
    const FieldInfo f = MakeFieldInfo("F", c.type, c.size, c.attributes);
    EXPECT_EQ(f.definedSize, c.wantSize) << c.type;
    EXPECT_EQ(f.attributes, c.wantAttributes) << c.type;
    EXPECT_EQ(f.precision, c.wantPrecision) << c.type;
    EXPECT_EQ(f.numericScale, c.wantScale) << c.type;
  }
  ExpectError(adoerr::kBadArguments, "", [] { MakeFieldInfo("F", adVarWChar, -1, 0); });
}

TEST(AdoTypes, SizeErrorsNameTheFieldAndTheLengths) {
  const FieldInfo f = MakeFieldInfo("Fio", adVarWChar, 3, 0);
  const Error e = ExpectError(adoerr::kMultipleStep,
                              "Multiple-step operation generated errors. Check each status value. "
                              "(field Fio: a text of 6 characters exceeds the size 3)",
                              [&] { CoerceToField(f, Variant("Иванов"), kRecordsetSource); });
  EXPECT_EQ(e.Source(), "ADODB.Recordset");
}

}  // namespace
}  // namespace qv::ado
