#include "JetValues.h"

#include <unicode/ucnv.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/automation/Error.h"
#include "platform/automation/VbaText.h"
#include "platform/jet/JetError.h"

namespace qvdb {

using qv::Currency;
using qv::OleDate;
using qv::Variant;
using qv::VarType;
using qv::jet::JetType;

namespace {

template <class T>
T ReadLittleEndian(std::span<const uint8_t> bytes) {
  if (bytes.size() != sizeof(T))
    throw qv::Error(qv::jet::jeterr::kTypeMismatch,
                    "A field of " + std::to_string(bytes.size()) + " bytes where the type needs " +
                        std::to_string(sizeof(T)),
                    std::string(kImportSource));
  T v;
  std::memcpy(&v, bytes.data(), sizeof(T));  // the machine is little-endian, as the file
  return v;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}": the first three groups are stored
// little-endian, the last two as they are written.
std::string GuidText(std::span<const uint8_t> b) {
  if (b.size() != 16)
    throw qv::Error(qv::jet::jeterr::kTypeMismatch,
                    "A GUID field of " + std::to_string(b.size()) + " bytes",
                    std::string(kImportSource));
  char s[39];
  std::snprintf(s, sizeof s,
                "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[3],
                b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13],
                b[14], b[15]);
  return s;
}

// Jet 4's text: UTF-16LE, or after FF FE its compressed form.
std::u16string Utf16Units(std::span<const uint8_t> b, bool& lossy) {
  std::u16string units;
  if (b.size() >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
    bool compressed = true;
    for (size_t i = 2; i < b.size();) {
      if (b[i] == 0) {
        compressed = !compressed;
        ++i;
      } else if (compressed) {
        units.push_back(b[i++]);
      } else if (i + 1 < b.size()) {
        units.push_back(static_cast<char16_t>(b[i] | (b[i + 1] << 8)));
        i += 2;
      } else {
        lossy = true;  // half a character at the end
        ++i;
      }
    }
    return units;
  }
  if (b.size() % 2) lossy = true;
  for (size_t i = 0; i + 1 < b.size(); i += 2)
    units.push_back(static_cast<char16_t>(b[i] | (b[i + 1] << 8)));
  return units;
}

bool HasUnpairedSurrogate(std::u16string_view u) {
  for (size_t i = 0; i < u.size(); ++i) {
    const char16_t c = u[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 < u.size() && u[i + 1] >= 0xDC00 && u[i + 1] <= 0xDFFF) {
        ++i;
        continue;
      }
      return true;
    }
    if (c >= 0xDC00 && c <= 0xDFFF) return true;
  }
  return false;
}

JetType JetTypeOfVariant(const Variant& v) {
  switch (v.Type()) {
    case VarType::kBoolean:
      return JetType::kBoolean;
    case VarType::kByte:
      return JetType::kByte;
    case VarType::kInteger:
      return JetType::kInteger;
    case VarType::kLong:
      return JetType::kLong;
    case VarType::kCurrency:
      return JetType::kCurrency;
    case VarType::kSingle:
      return JetType::kSingle;
    case VarType::kDouble:
      return JetType::kDouble;
    case VarType::kDate:
      return JetType::kDate;
    case VarType::kString:
      return JetType::kMemo;
    default:
      return v.IsByteArray() ? JetType::kLongBinary : JetType::kNone;
  }
}

[[noreturn]] void Mismatch(const Variant& v, JetType t) {
  throw qv::Error(qv::vberr::kTypeMismatch,
                  "Type mismatch: " + v.Describe() + " cannot be stored in a " +
                      std::string(qv::jet::JetTypeName(t)) + " column",
                  std::string(kImportSource));
}

// `v` in Jet type `t` (a text not cut: the caller cuts to the column).
Variant ToType(const Variant& v, JetType t) {
  switch (t) {
    case JetType::kBoolean:
      return Variant(qv::CBool(v));
    case JetType::kByte:
      return Variant(qv::CByte(v));
    case JetType::kInteger:
      return Variant(qv::CInt(v));
    case JetType::kLong:
      return Variant(qv::CLng(v));
    case JetType::kCurrency:
      return Variant(qv::CCur(v));
    case JetType::kSingle:
      return Variant(qv::CSng(v));
    case JetType::kDouble:
    case JetType::kBigInt:
    case JetType::kNumeric:
    case JetType::kDecimal:
    case JetType::kFloat:
      return Variant(qv::CDbl(v));
    case JetType::kDate:
    case JetType::kTime:
      return Variant(qv::CDate(v));
    case JetType::kText:
    case JetType::kChar:
    case JetType::kMemo:
      if (v.IsByteArray()) Mismatch(v, t);
      return Variant(qv::CStr(v));
    case JetType::kGUID:
      if (!v.IsString()) Mismatch(v, t);
      return Variant(qv::UCase(v.AsString()));
    case JetType::kBinary:
    case JetType::kVarBinary:
    case JetType::kLongBinary:
      if (!v.IsByteArray()) Mismatch(v, t);
      return v;
    case JetType::kNone:
      break;
  }
  Mismatch(v, t);
}

}  // namespace

JetType JetTypeOf(MdbType type) {
  switch (type) {
    case MdbType::kBool:
      return JetType::kBoolean;
    case MdbType::kByte:
      return JetType::kByte;
    case MdbType::kInt:
      return JetType::kInteger;
    case MdbType::kLongInt:
    case MdbType::kComplex:
      return JetType::kLong;
    case MdbType::kMoney:
      return JetType::kCurrency;
    case MdbType::kFloat:
      return JetType::kSingle;
    case MdbType::kDouble:
      return JetType::kDouble;
    case MdbType::kDateTime:
      return JetType::kDate;
    case MdbType::kBinary:
      return JetType::kBinary;
    case MdbType::kText:
      return JetType::kText;
    case MdbType::kOle:
      return JetType::kLongBinary;
    case MdbType::kMemo:
      return JetType::kMemo;
    case MdbType::kRepId:
      return JetType::kGUID;
    case MdbType::kNumeric:
      return JetType::kDecimal;
  }
  return JetType::kNone;
}

struct JetTextDecoder::Converter {
  UConverter* cnv = nullptr;
  ~Converter() {
    if (cnv) ucnv_close(cnv);
  }
};

JetTextDecoder::JetTextDecoder(bool jet4, std::string_view jet3Charset) : jet4_(jet4) {
  if (jet4) return;
  converter_ = std::make_unique<Converter>();
  UErrorCode status = U_ZERO_ERROR;
  converter_->cnv = ucnv_open(std::string(jet3Charset).c_str(), &status);
  if (U_FAILURE(status))
    throw qv::Error(qv::vberr::kInvalidProcedureCall,
                    "Unknown code page for Jet 3 texts: " + std::string(jet3Charset),
                    std::string(kImportSource));
}

JetTextDecoder::~JetTextDecoder() = default;

std::string JetTextDecoder::Decode(std::span<const uint8_t> bytes, bool& lossy) const {
  if (jet4_) {
    const std::u16string units = Utf16Units(bytes, lossy);
    if (HasUnpairedSurrogate(units)) lossy = true;
    return qv::ToUtf8(units);
  }
  UConverter* cnv = converter_->cnv;
  std::u16string units(bytes.size() + 1, u'\0');
  auto run = [&](UConverterToUCallback action) {
    UErrorCode status = U_ZERO_ERROR;
    ucnv_reset(cnv);
    ucnv_setToUCallBack(cnv, action, nullptr, nullptr, nullptr, &status);
    const int32_t n = ucnv_toUChars(cnv, units.data(), static_cast<int32_t>(units.size()),
                                    reinterpret_cast<const char*>(bytes.data()),
                                    static_cast<int32_t>(bytes.size()), &status);
    return U_SUCCESS(status) ? n : -1;
  };
  int32_t n = run(UCNV_TO_U_CALLBACK_STOP);
  if (n < 0) {
    lossy = true;
    n = run(UCNV_TO_U_CALLBACK_SUBSTITUTE);
    if (n < 0) n = 0;
  }
  units.resize(static_cast<size_t>(n));
  return qv::ToUtf8(units);
}

Variant DecodeField(MdbType type, const RawField& field, const JetTextDecoder& text, bool& lossy) {
  if (type == MdbType::kBool) return Variant(!field.isNull);
  if (field.isNull) return Variant::Null();
  const auto b = field.bytes;
  switch (type) {
    case MdbType::kBool:
      break;
    case MdbType::kByte:
      return Variant(ReadLittleEndian<uint8_t>(b));
    case MdbType::kInt:
      return Variant(ReadLittleEndian<int16_t>(b));
    case MdbType::kLongInt:
    case MdbType::kComplex:
      return Variant(ReadLittleEndian<int32_t>(b));
    case MdbType::kMoney:
      return Variant(Currency{ReadLittleEndian<int64_t>(b)});
    case MdbType::kFloat:
      return Variant(ReadLittleEndian<float>(b));
    case MdbType::kDouble:
      return Variant(ReadLittleEndian<double>(b));
    case MdbType::kDateTime:
      return Variant(OleDate{ReadLittleEndian<double>(b)});
    case MdbType::kBinary:
    case MdbType::kOle:
      return Variant(qv::ByteArray{0, {b.begin(), b.end()}});
    case MdbType::kText:
    case MdbType::kMemo:
      return Variant(text.Decode(b, lossy));
    case MdbType::kRepId:
      return Variant(GuidText(b));
    case MdbType::kNumeric: {
      // libmdb's digits with the column's scale; a Double keeps about 15.
      const std::string digits(reinterpret_cast<const char*>(b.data()), b.size());
      const auto d = qv::ParseVbNumber(digits);
      if (!d) Mismatch(Variant(digits), JetType::kDecimal);
      const size_t point = digits.find('.');
      const int scale =
          point == std::string::npos ? 0 : static_cast<int>(digits.size() - point - 1);
      char back[512];
      std::snprintf(back, sizeof back, "%.*f", scale, *d);
      if (back != digits) lossy = true;
      return Variant(*d);
    }
  }
  throw qv::Error(qv::jet::jeterr::kInvalidFieldType,
                  "A column of libmdb type " + std::to_string(static_cast<int>(type)) +
                      ", which has no Jet type",
                  std::string(kImportSource));
}

Variant ConvertForColumn(const Variant& value, const qv::jet::FieldSpec& field, bool& lossy) {
  if (value.IsNull()) return value;
  Variant out = ToType(value, field.type);
  if (field.type == JetType::kText || field.type == JetType::kChar) {
    const int32_t size = field.size > 0 ? field.size : 255;
    std::string cut = qv::Truncate16(out.AsString(), size);
    if (cut.size() != out.AsString().size()) {
      lossy = true;
      return Variant(std::move(cut));
    }
  }
  // Currency columns keep a Double rounded to four decimals.
  if (field.type == JetType::kCurrency) {
    const Currency c = qv::CCur(out);
    if (std::llround(c.ToDouble() * 10000.0) != c.scaled) lossy = true;
  }
  if (field.type == JetType::kGUID) return out;  // upper case loses nothing
  const JetType back = JetTypeOfVariant(value);
  if (back == JetType::kNone || !(ToType(out, back) == value)) lossy = true;
  return out;
}

}  // namespace qvdb
