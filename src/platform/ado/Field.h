#pragma once
// Field ("ADODB.Field"): one column of a Recordset, and its value in the
// current row. Value is the default member. Not creatable by ProgID: a
// Field comes from Recordset.Fields; it keeps its recordset alive.

#include <cstdint>
#include <string>

#include "platform/ado/Recordset.h"
#include "platform/automation/Object.h"

namespace qv::ado {

class Field : public Object {
  QV_DECLARE_CLASS(Field)

 public:
  Field(RecordsetPtr recordset, size_t col) : rs_(std::move(recordset)), col_(col) {}

  std::string Name() const { return Info().name; }
  int32_t Type() const { return Info().type; }
  int32_t DefinedSize() const { return Info().definedSize; }
  int32_t Attributes() const { return Info().attributes; }
  // Precision and NumericScale can be set while the recordset is closed
  // (error 3705 when open).
  uint8_t Precision() const { return Info().precision; }
  void SetPrecision(uint8_t precision);
  uint8_t NumericScale() const { return Info().numericScale; }
  void SetNumericScale(uint8_t scale);
  // The value in the current row: error 3704 when the recordset is closed,
  // 3021 when there is no current row.
  Variant Value() const;
  void SetValue(const Variant& value);

 private:
  // Error 3265 when the column was deleted since this Field was handed out.
  const FieldInfo& Info() const;

  RecordsetPtr rs_;
  size_t col_;
};

}  // namespace qv::ado
