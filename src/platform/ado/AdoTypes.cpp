#include "platform/ado/AdoTypes.h"

#include <array>
#include <cmath>

#include "platform/ado/AdoConstants.h"
#include "platform/ado/AdoError.h"
#include "platform/automation/Object.h"
#include "platform/automation/VbaText.h"

namespace qv::ado {

namespace {

using K = StorageKind;
using S = SizeRule;

constexpr std::array<AdoTypeInfo, 27> kTypes{{
    {adBoolean, "adBoolean", K::kBoolean, S::kFixedType, 2, 255},
    {adTinyInt, "adTinyInt", K::kTinyInt, S::kFixedType, 1, 3},
    {adUnsignedTinyInt, "adUnsignedTinyInt", K::kByte, S::kFixedType, 1, 3},
    {adSmallInt, "adSmallInt", K::kSmallInt, S::kFixedType, 2, 5},
    {adInteger, "adInteger", K::kLong, S::kFixedType, 4, 10},
    {adBigInt, "adBigInt", K::kBigInt, S::kFixedType, 8, 19},
    {adSingle, "adSingle", K::kSingle, S::kFixedType, 4, 7},
    {adDouble, "adDouble", K::kDouble, S::kFixedType, 8, 15},
    {adCurrency, "adCurrency", K::kCurrency, S::kFixedType, 8, 19},
    {adNumeric, "adNumeric", K::kDecimal, S::kFixedType, 19, 0},
    {adDecimal, "adDecimal", K::kDecimal, S::kFixedType, 16, 0},
    {adDate, "adDate", K::kDate, S::kFixedType, 8, 255},
    {adDBDate, "adDBDate", K::kDateOnly, S::kFixedType, 6, 255},
    {adDBTime, "adDBTime", K::kTimeOnly, S::kFixedType, 6, 255},
    {adDBTimeStamp, "adDBTimeStamp", K::kDate, S::kFixedType, 16, 255},
    {adGUID, "adGUID", K::kText, S::kFixedType, 16, 255},
    {adBSTR, "adBSTR", K::kText, S::kUnlimited, 0, 255},
    {adChar, "adChar", K::kText, S::kPadded, 0, 255},
    {adWChar, "adWChar", K::kText, S::kPadded, 0, 255},
    {adVarChar, "adVarChar", K::kText, S::kLimited, 0, 255},
    {adVarWChar, "adVarWChar", K::kText, S::kLimited, 0, 255},
    {adLongVarChar, "adLongVarChar", K::kText, S::kUnlimited, 0, 255},
    {adLongVarWChar, "adLongVarWChar", K::kText, S::kUnlimited, 0, 255},
    {adBinary, "adBinary", K::kBinary, S::kLimited, 0, 255},
    {adVarBinary, "adVarBinary", K::kBinary, S::kLimited, 0, 255},
    {adLongVarBinary, "adLongVarBinary", K::kBinary, S::kUnlimited, 0, 255},
}};

uint8_t DefaultScale(StorageKind kind) {
  switch (kind) {
    case K::kTinyInt:
    case K::kByte:
    case K::kSmallInt:
    case K::kLong:
    case K::kBigInt:
    case K::kCurrency:
    case K::kDecimal:
      return 0;
    default:
      return 255;
  }
}

[[noreturn]] void Reject(const FieldInfo& field, std::string_view source, std::string_view why) {
  ThrowAdo(adoerr::kMultipleStep, source, "field " + field.name + ": " + std::string(why));
}

Variant Convert(const FieldInfo& field, Variant v) {
  switch (field.info->kind) {
    case K::kBoolean:
      return Variant(CBool(v));
    case K::kTinyInt: {
      const int16_t i = CInt(v);
      if (i < -128 || i > 127) ThrowVb(vberr::kOverflow, std::to_string(i));
      return Variant(i);
    }
    case K::kByte:
      return Variant(CByte(v));
    case K::kSmallInt:
      return Variant(CInt(v));
    case K::kLong:
      if (v.Type() == VarType::kLong) return v;
      return Variant(CLng(v));
    case K::kBigInt: {
      const double d = BankersRound(CDbl(v));
      if (std::fabs(d) > 9.2233720368547758e18) ThrowVb(vberr::kOverflow, CStr(v));
      return Variant(d);
    }
    case K::kSingle:
      return Variant(CSng(v));
    case K::kDouble:
    case K::kDecimal:
      if (v.Type() == VarType::kDouble) return v;
      return Variant(CDbl(v));
    case K::kCurrency:
      return Variant(CCur(v));
    case K::kDate:
      if (v.IsDate()) return v;
      return Variant(CDate(v));
    case K::kDateOnly:
      return Variant(OleDate{std::trunc(CDate(v).serial)});
    case K::kTimeOnly: {
      const double a = std::fabs(CDate(v).serial);
      return Variant(OleDate{a - std::floor(a)});
    }
    case K::kText:
      if (v.IsString()) return v;
      return Variant(CStr(v));
    case K::kBinary:
      if (!v.IsByteArray()) ThrowVb(vberr::kTypeMismatch, "a byte array was expected");
      return v;
  }
  return v;
}

void CheckSize(const FieldInfo& field, Variant& v, std::string_view source) {
  const SizeRule rule = field.info->sizeRule;
  if (field.definedSize <= 0 || (rule != S::kLimited && rule != S::kPadded)) return;
  if (v.IsByteArray()) {
    const size_t n = v.AsBytes().bytes.size();
    if (n > static_cast<size_t>(field.definedSize))
      Reject(field, source,
             std::to_string(n) + " bytes exceed the size " + std::to_string(field.definedSize));
    return;
  }
  // A UTF-16 unit takes at least one byte of UTF-8: a text with no more
  // bytes than the size fits without counting its characters.
  if (rule == S::kLimited && v.AsString().size() <= static_cast<size_t>(field.definedSize)) return;
  const int32_t len = Len(v.AsString());
  if (len > field.definedSize)
    Reject(field, source,
           "a text of " + std::to_string(len) + " characters exceeds the size " +
               std::to_string(field.definedSize));
  if (rule == S::kPadded && len < field.definedSize)
    v = Variant(v.AsString() + Space(field.definedSize - len));
}

}  // namespace

Variant DefaultValueOf(Variant value) {
  while (value.IsObject() && !value.IsNothing())
    value = value.AsObject()->Invoke("", CallKind::kGet, {});
  return value;
}

const AdoTypeInfo* FindAdoType(int32_t type) {
  for (const AdoTypeInfo& t : kTypes)
    if (t.type == type) return &t;
  return nullptr;
}

bool FieldInfo::Nullable() const {
  return (attributes & (adFldIsNullable | adFldMayBeNull)) != 0;
}

FieldInfo MakeFieldInfo(std::string name, int32_t type, int32_t definedSize, int32_t attributes) {
  if (name.empty()) ThrowAdo(adoerr::kBadArguments, kFieldsSource, "a field needs a name");
  const AdoTypeInfo* info = FindAdoType(type);
  if (!info)
    ThrowAdo(adoerr::kBadArguments, kFieldsSource,
             "field " + name + ": type " + std::to_string(type) + " is not supported");
  if (definedSize < 0)
    ThrowAdo(adoerr::kBadArguments, kFieldsSource,
             "field " + name + ": size " + std::to_string(definedSize));
  FieldInfo f;
  f.name = std::move(name);
  f.type = type;
  f.definedSize = info->sizeRule == S::kFixedType ? info->fixedSize : definedSize;
  f.attributes = attributes == adFldUnspecified ? 0 : attributes;
  f.precision = info->precision;
  f.numericScale = DefaultScale(info->kind);
  f.info = info;
  return f;
}

Variant CoerceToField(const FieldInfo& field, Variant value, std::string_view source) {
  try {
    value = DefaultValueOf(std::move(value));
  } catch (const Error& e) {
    Reject(field, source, e.Description());
  }
  if (value.IsEmptyOrNull()) {
    if (!field.Nullable()) Reject(field, source, "the field does not accept Null");
    return Variant::Null();
  }
  Variant stored;
  try {
    stored = Convert(field, std::move(value));
  } catch (const Error& e) {
    Reject(field, source, e.Description());
  }
  CheckSize(field, stored, source);
  return stored;
}

void CoerceInPlace(const FieldInfo& field, Variant& value, std::string_view source) {
  bool fits = false;
  switch (value.Type()) {
    case VarType::kNull:
      fits = field.Nullable();
      break;
    case VarType::kLong:
      fits = field.info->kind == K::kLong;
      break;
    case VarType::kDouble:
      fits = field.info->kind == K::kDouble || field.info->kind == K::kDecimal;
      break;
    case VarType::kDate:
      fits = field.info->kind == K::kDate;
      break;
    case VarType::kString:
      fits = field.info->kind == K::kText;
      break;
    default:
      break;
  }
  if (!fits) {
    value = CoerceToField(field, std::move(value), source);
  } else if (value.IsString()) {
    CheckSize(field, value, source);
  }
}

}  // namespace qv::ado
