#include "platform/ado/Fields.h"

namespace qv::ado {

QV_DEFINE_CLASS(Fields, "ADODB.Fields", nullptr, Method("Count", &Fields::Count),
                Property("Item(Index)", &Fields::Item, &Fields::LetItem),
                Property("(Index)", &Fields::Item, &Fields::LetItem),
                Method("Append(name, type, definedSize, attributes, fieldValue)", &Fields::Append,
                       {Variant(0), Variant(adFldUnspecified), Variant::Missing()}),
                Method("Delete(index)", &Fields::Delete))

std::shared_ptr<Field> Fields::Item(const Variant& index) const {
  return std::make_shared<Field>(rs_, rs_->ItemIndex(index, kFieldsSource));
}

void Fields::LetItem(const Variant& index, const Variant& value) {
  rs_->SetValue(rs_->ItemIndex(index, kFieldsSource), value, kFieldSource);
}

void Fields::Append(const std::string& name, int32_t type, int32_t definedSize, int32_t attributes,
                    const Variant& fieldValue) {
  if (!fieldValue.IsMissing())
    ThrowAdo(adoerr::kBadArguments, kFieldsSource, "a field value cannot be given to a recordset");
  rs_->AppendField(name, type, definedSize, attributes);
}

void Fields::Delete(const Variant& index) {
  const size_t col = rs_->ItemIndex(index, kFieldsSource);
  rs_->DeleteField(col);
}

}  // namespace qv::ado
