#pragma once
// Variant: the one value type that crosses the library's interface, holding
// what an automation VARIANT holds. The VBA conversions (CStr, CLng, CInt,
// CDbl, CDate, CBool ...) and comparisons are defined here and nowhere else.

#include <compare>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace qv {

class Object;
using ObjectPtr = std::shared_ptr<Object>;
class Variant;

// VarType codes, as VBA's VarType() returns them. An array is kArrayFlag plus
// the element type (kVariant or kByte here).
enum class VarType : uint16_t {
  kEmpty = 0,
  kNull = 1,
  kInteger = 2,  // int16
  kLong = 3,     // int32
  kSingle = 4,
  kDouble = 5,
  kCurrency = 6,  // int64 scaled by 10^4
  kDate = 7,      // OLE Automation date
  kString = 8,
  kObject = 9,
  kError = 10,
  kBoolean = 11,
  kVariant = 12,
  kByte = 17,
  kArrayFlag = 0x2000,
};

// An OLE Automation date: days since 30.12.1899, the time as the fraction
// (for dates before the base the fraction still counts forward from midnight).
struct OleDate {
  double serial = 0;
  friend bool operator==(OleDate, OleDate) = default;
};

// A Currency amount: the value multiplied by 10^4.
struct Currency {
  int64_t scaled = 0;
  friend bool operator==(Currency, Currency) = default;
  double ToDouble() const { return static_cast<double>(scaled) / 10000.0; }
};

struct ArrayDim {
  int32_t lower = 0;
  int32_t count = 0;
  int32_t Upper() const { return lower + count - 1; }
  friend bool operator==(ArrayDim, ArrayDim) = default;
};

// A SAFEARRAY of Variants: dimensions (first dimension varies fastest, as in
// automation) and the elements. An array without dimensions is valid (VBA's
// result of Array() with no arguments has bounds 0..-1).
struct VariantArray {
  std::vector<ArrayDim> dims;
  std::vector<Variant> items;

  // A one-dimensional array of `items` with lower bound `lower`.
  static VariantArray Of(std::vector<Variant> items, int32_t lower = 0);
  // Element at index `i` of a one-dimensional array (bounds checked: error 9).
  Variant& At(int32_t i);
  const Variant& At(int32_t i) const;
};

struct ByteArray {
  int32_t lower = 0;
  std::vector<uint8_t> bytes;
};

class Variant {
 public:
  Variant() = default;  // Empty
  Variant(bool v) : type_(VarType::kBoolean), v_(v) {}
  Variant(uint8_t v) : type_(VarType::kByte), v_(v) {}
  Variant(int16_t v) : type_(VarType::kInteger), v_(v) {}
  Variant(int32_t v) : type_(VarType::kLong), v_(v) {}
  Variant(float v) : type_(VarType::kSingle), v_(v) {}
  Variant(double v) : type_(VarType::kDouble), v_(v) {}
  Variant(Currency v) : type_(VarType::kCurrency), v_(v.scaled) {}
  Variant(OleDate v) : type_(VarType::kDate), v_(v.serial) {}
  Variant(std::string v) : type_(VarType::kString), v_(std::move(v)) {}
  Variant(std::string_view v) : Variant(std::string(v)) {}
  Variant(const char* v) : Variant(std::string(v)) {}
  Variant(ObjectPtr v) : type_(VarType::kObject), v_(std::move(v)) {}
  template <class T>
  requires std::is_base_of_v<Object, T> Variant(std::shared_ptr<T> v)
      : Variant(ObjectPtr(std::move(v))) {}
  Variant(VariantArray v);
  Variant(ByteArray v);
  Variant(std::nullptr_t) = delete;  // say Variant::Nothing() or Variant::Null()

  static Variant Null() { return Variant(VarType::kNull); }
  // An Object variant holding no object (VB's Nothing).
  static Variant Nothing() { return Variant(ObjectPtr()); }
  // An Error variant; `Missing()` is the value of an omitted optional argument.
  static Variant ErrorValue(int32_t scode);
  static Variant Missing() { return ErrorValue(kParamNotFound); }
  static constexpr int32_t kParamNotFound = static_cast<int32_t>(0x80020004);

  // VBA's VarType(): the type code, with kArrayFlag set for arrays.
  uint16_t VbVarType() const;
  VarType Type() const { return type_; }
  bool IsEmpty() const { return type_ == VarType::kEmpty; }
  bool IsNull() const { return type_ == VarType::kNull; }
  bool IsEmptyOrNull() const { return IsEmpty() || IsNull(); }
  bool IsString() const { return type_ == VarType::kString; }
  bool IsDate() const { return type_ == VarType::kDate; }
  bool IsObject() const { return type_ == VarType::kObject; }
  bool IsNothing() const { return IsObject() && !AsObject(); }
  bool IsError() const { return type_ == VarType::kError; }
  bool IsMissing() const { return IsError() && std::get<int32_t>(v_) == kParamNotFound; }
  bool IsArray() const { return type_ == VarType::kArrayFlag; }
  bool IsByteArray() const { return IsArray() && std::holds_alternative<ByteArrayPtr>(v_); }
  // Numeric in VBA's sense of the stored type: Boolean, Byte, Integer, Long,
  // Single, Double, Currency (a Date is not numeric, a numeric text is not).
  bool IsNumericType() const;
  // VBA's IsNumeric(): also Empty and texts that read as a number.
  bool IsNumeric() const;

  // Makes this a String of `text`, in the storage of the String it holds
  // if it holds one: a reader refilling the same cells row after row
  // allocates no text again.
  void SetString(std::string_view text);

  // Direct access without conversion; the type must match (else error 13).
  const std::string& AsString() const;
  const ObjectPtr& AsObject() const;
  double AsDateSerial() const;
  int32_t AsErrorCode() const;
  const VariantArray& AsArray() const;
  VariantArray& AsArrayMut();  // copies the elements first when they are shared
  const ByteArray& AsBytes() const;
  ByteArray& AsBytesMut();

  // The object as T, or null when it holds nothing or another class.
  template <class T>
  std::shared_ptr<T> ObjectAs() const {
    return IsObject() ? std::dynamic_pointer_cast<T>(AsObject()) : nullptr;
  }

  // Strict identity of type and value (for tests and keys, not VBA's "=").
  friend bool operator==(const Variant& a, const Variant& b);

  // A rendering for diagnostics and tests: the type's name and the value,
  // e.g. "Long 5", "String \"a\"", "Null".
  std::string Describe() const;

 private:
  using VariantArrayPtr = std::shared_ptr<VariantArray>;
  using ByteArrayPtr = std::shared_ptr<ByteArray>;
  explicit Variant(VarType t) : type_(t) {}

  template <class T>
  const T& Get() const {
    return std::get<T>(v_);
  }

  friend double NumericValue(const Variant& v);
  friend class VariantAccess;

  VarType type_ = VarType::kEmpty;
  std::variant<std::monostate, bool, uint8_t, int16_t, int32_t, float, double, int64_t, std::string,
               ObjectPtr, VariantArrayPtr, ByteArrayPtr>
      v_;
};

// ---- VBA conversions. Each raises the VB error VBA raises: 13 (type
// mismatch), 6 (overflow), 94 (invalid use of Null).

// CStr: numbers with the invariant decimal point, as VB writes them (15
// significant digits for Double, 7 for Single, E notation outside VB's range);
// dates as "DD.MM.YYYY", "DD.MM.YYYY H:MM:SS" or "H:MM:SS"; booleans as
// "True"/"False"; Empty as "".
std::string CStr(const Variant& v);
int32_t CLng(const Variant& v);   // banker's rounding
int16_t CInt(const Variant& v);   // banker's rounding
uint8_t CByte(const Variant& v);  // banker's rounding
double CDbl(const Variant& v);
float CSng(const Variant& v);
Currency CCur(const Variant& v);
OleDate CDate(const Variant& v);
bool CBool(const Variant& v);

// "A value or the default": Empty, Null and Missing give `def`; any other
// value converts as CLng / CDbl do, raising as they do. (Where a value that
// does not convert should give the default too, mQvCommonCalc's
// VarToLongDef / VarToDoubleDef / ConvertOr say so.)
int32_t CLngOr(const Variant& v, int32_t def);
double CDblOr(const Variant& v, double def);

// Rounds half to even, as VB's integer conversions do.
double BankersRound(double x);

// Reads a whole text as a number as VBA does in the Russian locale, and as
// the library writes numbers: the decimal mark "." or "," ("4,5" and "4.5"),
// digit groups of three after a space or a no-break space ("1 234,5"), or
// after commas when a point follows ("1,234.5", as Format's "Standard"
// writes); leading and trailing spaces, a sign, an exponent, "&H"/"&O".
// Empty when it is not one ("1,234,5", "12 34", "1.234,5").
std::optional<double> ParseVbNumber(std::string_view text);
// Reads a whole text as a date: "DD.MM.YYYY", "YYYY-MM-DD", "DD/MM/YYYY",
// the month in words, Russian in any case form or English ("12 февраля
// 1969 г.", "12-фев-69", "February 12, 1969", "февраль 1969"); each with an
// optional time "H:MM[:SS]" with an optional AM/PM, or "H AM"; or a time
// alone. A date without a year is not read.
std::optional<OleDate> ParseVbDate(std::string_view text);

// Formats a double as VB's CStr does (15 significant digits).
std::string FormatVbDouble(double d);

enum class CompareMode { kBinary, kText };

// VBA's comparison of two values: numbers (and dates, booleans, Empty as 0)
// numerically; texts by code point (kBinary) or case-insensitively in the
// Russian collation (kText); a number against a text by reading the text as
// a number (type mismatch when it is not one). Null on either side gives
// nullopt, as VBA's comparison gives Null.
std::optional<std::strong_ordering> Compare(const Variant& a, const Variant& b,
                                            CompareMode mode = CompareMode::kBinary);
// VBA's "=" taken as a condition: Null counts as false.
bool VbEquals(const Variant& a, const Variant& b, CompareMode mode = CompareMode::kBinary);

}  // namespace qv
