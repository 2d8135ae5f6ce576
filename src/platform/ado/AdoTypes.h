#pragma once
// The field types a disconnected recordset supports and how a value is
// converted when it is stored in a field of each type.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/automation/Variant.h"

namespace qv::ado {

// The Variant a field of the type holds (Null aside).
enum class StorageKind : uint8_t {
  kBoolean,   // Boolean
  kTinyInt,   // Integer in -128..127
  kByte,      // Byte
  kSmallInt,  // Integer
  kLong,      // Long
  kBigInt,    // Double holding a whole number (Variant has no 64-bit integer)
  kSingle,    // Single
  kDouble,    // Double
  kCurrency,  // Currency
  kDecimal,   // Double (Variant has no Decimal); precision and scale are not enforced
  kDate,      // Date
  kDateOnly,  // Date, the time dropped
  kTimeOnly,  // Date, the day dropped (30.12.1899 plus the time)
  kText,      // String
  kBinary,    // Byte()
};

// How DefinedSize limits a value.
enum class SizeRule : uint8_t {
  kFixedType,  // the type has its own size; DefinedSize reports it
  kLimited,    // a value longer than DefinedSize is rejected (0: no limit)
  kPadded,     // as kLimited, and shorter texts are padded with spaces
  kUnlimited,  // DefinedSize is reported, never enforced (long types)
};

struct AdoTypeInfo {
  int32_t type;
  std::string_view name;  // "adInteger"
  StorageKind kind;
  SizeRule sizeRule;
  int32_t fixedSize;  // DefinedSize of a kFixedType type
  uint8_t precision;  // default Precision; 255 where the type has none
};

// The description of a supported DataTypeEnum code; null for other codes.
const AdoTypeInfo* FindAdoType(int32_t type);

// One column of a recordset.
struct FieldInfo {
  std::string name;
  int32_t type = 0;
  int32_t definedSize = 0;  // as reported: the type's size for fixed types
  int32_t attributes = 0;   // FieldAttributeEnum bits; "unspecified" is stored as 0
  uint8_t precision = 255;
  uint8_t numericScale = 255;
  const AdoTypeInfo* info = nullptr;

  // Null may be stored (adFldIsNullable or adFldMayBeNull).
  bool Nullable() const;
};

// A column as Fields.Append describes it. Error 3001 for an empty name, a
// type code not supported, or a negative size.
FieldInfo MakeFieldInfo(std::string name, int32_t type, int32_t definedSize, int32_t attributes);

// The value VB would let-assign from `value`: an object's default member
// (repeatedly), anything else as it is. Error 438 for an object without one.
Variant DefaultValueOf(Variant value);

// Converts `value` for storing in `field`: the type's conversion (CLng for
// adInteger, CStr for texts, CDate for dates ...), Empty and Null stored as
// Null when the field is nullable, an object replaced by its default value.
// A value that cannot be converted, a Null for a field that is not
// nullable, and a text or byte array longer than a limited DefinedSize
// raise -2147217887 ("Multiple-step operation ...") with `source`.
Variant CoerceToField(const FieldInfo& field, Variant value, std::string_view source);
// CoerceToField in place: a value that already has the field's type (a
// Long for adInteger, a Double, a Date, a text within the size, a Null for
// a nullable field) is only checked, not moved through the conversions.
void CoerceInPlace(const FieldInfo& field, Variant& value, std::string_view source);

}  // namespace qv::ado
