#pragma once
// Jet column types, by their DAO type codes (dbBoolean = 1 ... dbTime = 22).

#include <cstdint>
#include <string>

namespace qv::jet {

enum class JetType : int16_t {
  kNone = 0,  // not typed (a Null literal, an unknown column)
  kBoolean = 1,
  kByte = 2,
  kInteger = 3,
  kLong = 4,
  kCurrency = 5,
  kSingle = 6,
  kDouble = 7,
  kDate = 8,
  kBinary = 9,
  kText = 10,
  kLongBinary = 11,
  kMemo = 12,
  kGUID = 15,
  kBigInt = 16,
  kVarBinary = 17,
  kChar = 18,
  kNumeric = 19,
  kDecimal = 20,
  kFloat = 21,
  kTime = 22,
};

// A column as the catalogue describes it.
struct ColumnInfo {
  std::string name;
  JetType type = JetType::kNone;
  int32_t size = 0;      // Text(n): n in UTF-16 units; 0 for the fixed-size types
  bool counter = false;  // a counter (AutoIncrement): a Null written to it takes the next value
  // `name` as a quoted identifier, made once where a catalogue lists its
  // columns (each reference in a translated statement writes it); empty
  // where it is not kept, and the name is then quoted as it is written.
  std::string quoted{};
};

inline bool IsTextType(JetType t) {
  return t == JetType::kText || t == JetType::kMemo || t == JetType::kChar || t == JetType::kGUID;
}

inline bool IsBinaryType(JetType t) {
  return t == JetType::kBinary || t == JetType::kVarBinary || t == JetType::kLongBinary;
}

}  // namespace qv::jet
