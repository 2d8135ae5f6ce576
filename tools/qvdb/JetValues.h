#pragma once
// The values of a Jet file as libmdb hands them over, turned into Variants:
// first in the source column's own Jet type (DecodeField), then into the
// type of the column they are written to (ConvertForColumn). Both say when
// a value changed on the way ("converted with loss"), so that an import can
// report every such value instead of hiding it.
//
// What libmdb hands over per field of a row: a null flag and the bytes the
// row stores (little-endian numbers, a Jet 4 text in UTF-16LE or in its
// compressed form, a Jet 3 text in the file's code page, the 16 bytes of a
// GUID), a Memo's or OLE field's whole value read from its pages, and for a
// Decimal the text libmdb formats. A Boolean's value is its null flag: Jet
// keeps Yes/No in the row's null mask, where "null" means No.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/automation/Variant.h"
#include "platform/jet/JetCatalog.h"
#include "platform/jet/JetTypes.h"

namespace qvdb {

// The source the errors of the Jet import (qvdb import-mdb) name.
inline constexpr const char* kImportSource = "qvdb import-mdb";

// libmdb's column type codes (MDB_BOOL ...).
enum class MdbType : int {
  kBool = 0x01,
  kByte = 0x02,
  kInt = 0x03,
  kLongInt = 0x04,
  kMoney = 0x05,
  kFloat = 0x06,
  kDouble = 0x07,
  kDateTime = 0x08,
  kBinary = 0x09,
  kText = 0x0a,
  kOle = 0x0b,
  kMemo = 0x0c,
  kRepId = 0x0f,
  kNumeric = 0x10,
  kComplex = 0x12,
};

// The Jet type a column of that libmdb type is (Complex, the identifier of
// a multi-valued field, is a Long); kNone for a code libmdb does not define.
qv::jet::JetType JetTypeOf(MdbType type);

// Decodes the texts of one file: Jet 4 stores UTF-16LE, optionally in its
// compressed form (a leading FF FE, then runs of one byte per character
// with a 00 byte switching between one and two bytes per character); Jet 3
// stores the bytes of a code page, which the file does not record.
class JetTextDecoder {
 public:
  // `jet3Charset`: the code page of a Jet 3 file, by an ICU converter name
  // ("windows-1251"); ignored for Jet 4. Error 5 for an unknown name.
  JetTextDecoder(bool jet4, std::string_view jet3Charset);
  ~JetTextDecoder();
  JetTextDecoder(const JetTextDecoder&) = delete;
  JetTextDecoder& operator=(const JetTextDecoder&) = delete;

  // The text as UTF-8. Sets `lossy` when a character could not be decoded
  // (an unpaired UTF-16 surrogate or an odd trailing byte: U+FFFD; bytes
  // that are no character of the code page: the converter's substitute).
  std::string Decode(std::span<const uint8_t> bytes, bool& lossy) const;

 private:
  bool jet4_;
  struct Converter;
  std::unique_ptr<Converter> converter_;  // Jet 3 only
};

// One field of a row as libmdb hands it over (see the top of this file).
struct RawField {
  bool isNull = true;
  std::span<const uint8_t> bytes;
};

// The field's value in its column's own Jet type: Null, or a Variant of
// Boolean, Byte, Integer, Long, Currency, Single, Double, Date, String (Text,
// Memo, a GUID as "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case, a
// Decimal's digits as a Double) or a byte array (Binary, OLE). Sets `lossy`
// when the value could not be represented exactly. Error 3464 when the bytes
// do not have the size the type needs, 3259 for a type without a Jet type.
qv::Variant DecodeField(MdbType type, const RawField& field, const JetTextDecoder& text,
                        bool& lossy);

// `value` as the column `field` stores it: numbers, dates and booleans by
// VBA's conversions, any value into a text column as CStr writes it, a text
// cut to the column's size. Sets `lossy` when the stored value would read
// back different from `value` (a fraction into an integer column, a text
// cut, a Currency beyond what the column keeps to four decimals ...).
// Errors: 6 a number outside the column's range, 13 a value that is no
// value of the column's type at all (a text that is no number into a
// number column, a byte array into a text column).
qv::Variant ConvertForColumn(const qv::Variant& value, const qv::jet::FieldSpec& field,
                             bool& lossy);

}  // namespace qvdb
