#include "platform/ado/Field.h"

namespace qv::ado {

QV_DEFINE_CLASS(Field, "ADODB.Field", nullptr, Property("Value", &Field::Value, &Field::SetValue),
                Property("", &Field::Value, &Field::SetValue), Method("Name", &Field::Name),
                Method("Type", &Field::Type), Method("DefinedSize", &Field::DefinedSize),
                Method("Attributes", &Field::Attributes),
                Property("Precision", &Field::Precision, &Field::SetPrecision),
                Property("NumericScale", &Field::NumericScale, &Field::SetNumericScale))

const FieldInfo& Field::Info() const {
  if (col_ >= rs_->FieldCount()) ThrowAdo(adoerr::kItemNotFound, kFieldsSource);
  return rs_->FieldAt(col_);
}

void Field::SetPrecision(uint8_t precision) {
  Info();
  rs_->SetPrecision(col_, precision);
}

void Field::SetNumericScale(uint8_t scale) {
  Info();
  rs_->SetNumericScale(col_, scale);
}

Variant Field::Value() const {
  Info();
  return rs_->CurrentValue(col_, kFieldSource);
}

void Field::SetValue(const Variant& value) {
  Info();
  rs_->SetValue(col_, value, kFieldSource);
}

}  // namespace qv::ado
