#include "platform/dao/FieldValues.h"

#include <string>
#include <string_view>

#include "platform/automation/VbaDate.h"
#include "platform/automation/VbaText.h"
#include "platform/dao/DaoError.h"

namespace qv::dao {

namespace {

using jet::JetType;

Variant Convert(Variant&& v, JetType type) {
  switch (type) {
    case JetType::kBoolean:
      return Variant(CBool(v));
    case JetType::kByte:
      return Variant(CByte(v));
    case JetType::kInteger:
      return Variant(CInt(v));
    case JetType::kLong:
      return Variant(CLng(v));
    case JetType::kCurrency:
      return Variant(CCur(v));
    case JetType::kSingle:
      return Variant(CSng(v));
    case JetType::kDouble:
    case JetType::kBigInt:
    case JetType::kNumeric:
    case JetType::kDecimal:
    case JetType::kFloat:
      return Variant(CDbl(v));
    case JetType::kDate:
    case JetType::kTime:
      return Variant(CDate(v));
    case JetType::kText:
    case JetType::kMemo:
    case JetType::kChar:
      return v.IsString() ? std::move(v) : Variant(CStr(v));
    case JetType::kGUID: {
      // Stored as the braced upper-case text, which is how GUIDs compare.
      std::string text = CStr(v);
      for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      return Variant(std::move(text));
    }
    case JetType::kBinary:
    case JetType::kVarBinary:
    case JetType::kLongBinary:
    case JetType::kNone:
      return std::move(v);
  }
  return std::move(v);
}

}  // namespace

bool LongerThan16(std::string_view text, int32_t units) {
  return text.size() > static_cast<size_t>(units) && Len(text) > units;
}

bool FitsFieldAsIs(const Variant& value, jet::JetType type, int32_t size) {
  switch (type) {
    case JetType::kBoolean:
      return value.Type() == VarType::kBoolean;
    case JetType::kByte:
      return value.Type() == VarType::kByte;
    case JetType::kInteger:
      return value.Type() == VarType::kInteger;
    case JetType::kLong:
      return value.Type() == VarType::kLong;
    case JetType::kCurrency:
      return value.Type() == VarType::kCurrency;
    case JetType::kSingle:
      return value.Type() == VarType::kSingle;
    case JetType::kDouble:
    case JetType::kBigInt:
    case JetType::kNumeric:
    case JetType::kDecimal:
    case JetType::kFloat:
      return value.Type() == VarType::kDouble;
    case JetType::kDate:
    case JetType::kTime:
      return value.Type() == VarType::kDate;
    case JetType::kMemo:
      return value.IsString();
    case JetType::kText:
    case JetType::kChar:
      return value.IsString() && !LongerThan16(value.AsString(), size > 0 ? size : 255);
    case JetType::kGUID:  // upper-cased
    case JetType::kBinary:
    case JetType::kVarBinary:
    case JetType::kLongBinary:
    case JetType::kNone:
      return false;
  }
  return false;
}

Variant CoerceToField(Variant value, jet::JetType type, int32_t size) {
  if (FitsFieldAsIs(value, type, size)) return value;
  if (value.IsEmptyOrNull()) return Variant::Null();
  Variant out;
  try {
    out = Convert(std::move(value), type);
  } catch (const Error& e) {
    if (e.Number() == vberr::kOverflow) ThrowDao(daoerr::kNumericOverflow, kSourceField);
    ThrowDao(daoerr::kConversionError, kSourceField);
  }
  if ((type == JetType::kText || type == JetType::kChar) &&
      LongerThan16(out.AsString(), size > 0 ? size : 255))
    ThrowDao(daoerr::kFieldTooSmall, kSourceField);
  return out;
}

Variant DefaultFieldValue(const jet::FieldSpec& field) {
  std::string_view d = TrimBlanks(field.defaultValue);
  if (!d.empty() && d.front() == '=') d = TrimBlanks(d.substr(1));
  if (d.empty()) return Variant::Null();
  Variant raw;
  std::string lower = LCase(d);
  if (d.size() >= 2 && (d.front() == '"' || d.front() == '\'') && d.back() == d.front()) {
    std::string text;
    for (size_t i = 1; i + 1 < d.size(); ++i) {
      text += d[i];
      if (d[i] == d.front() && d[i + 1] == d.front()) ++i;  // a doubled quote
    }
    raw = Variant(std::move(text));
  } else if (lower == "true" || lower == "yes" || lower == "on") {
    raw = Variant(true);
  } else if (lower == "false" || lower == "no" || lower == "off") {
    raw = Variant(false);
  } else if (lower == "now()") {
    raw = Variant(Now());
  } else if (lower == "date()") {
    raw = Variant(Today());
  } else if (lower == "time()") {
    OleDate now = Now();
    raw = Variant(OleDate{now.serial - static_cast<double>(static_cast<int64_t>(now.serial))});
  } else if (auto number = ParseVbNumber(d)) {
    raw = Variant(*number);
  } else {
    return Variant::Null();
  }
  try {
    return CoerceToField(raw, field.type, field.size);
  } catch (const Error&) {
    return Variant::Null();
  }
}

}  // namespace qv::dao
