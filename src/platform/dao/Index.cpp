#include "platform/dao/Index.h"

#include "platform/dao/DaoCollections.h"
#include "platform/dao/DaoConstants.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/Field.h"
#include "platform/dao/Property.h"

namespace qv::dao {

QV_DEFINE_CLASS(Index, "DAO.Index", nullptr, qv::Property("Name", &Index::Name, &Index::SetName),
                qv::Property("Primary", &Index::Primary, &Index::SetPrimary),
                qv::Property("Unique", &Index::Unique, &Index::SetUnique),
                qv::Property("Required", &Index::Required, &Index::SetRequired),
                qv::Property("IgnoreNulls", &Index::IgnoreNulls, &Index::SetIgnoreNulls),
                Method("Foreign", &Index::Foreign),
                qv::Property("Fields", &Index::FieldsValue, &Index::SetFieldsValue),
                Method("CreateField(name, type, size)", &Index::CreateField,
                       {Variant(), Variant()}),
                CollectionMember("Properties", &Index::PropertiesCollection))

Index::Index(std::string name) : name_(std::move(name)) {}

std::shared_ptr<Index> Index::OfTable(const jet::IndexSpec& spec) {
  auto index = std::make_shared<Index>(spec.name);
  index->primary_ = spec.primary;
  index->unique_ = spec.unique;
  for (const jet::IndexField& f : spec.fields) {
    auto field = std::make_shared<Field>(f.name, jet::JetType::kNone, 0);
    if (f.descending) field->SetAttributes(dbDescending);
    index->FieldsCollection()->Add(field);
  }
  index->Freeze();
  return index;
}

void Index::Freeze() {
  frozen_ = true;
  FieldsCollection()->SetEditable(false);
}

void Index::CheckChangeable() const {
  if (frozen_) ThrowDao(daoerr::kInvalidOperation, kSourceIndex);
}

void Index::SetName(const std::string& name) {
  CheckChangeable();
  name_ = name;
}
void Index::SetPrimary(bool primary) {
  CheckChangeable();
  primary_ = primary;
}
void Index::SetUnique(bool unique) {
  CheckChangeable();
  unique_ = unique;
}
void Index::SetRequired(bool required) {
  CheckChangeable();
  required_ = required;
}
void Index::SetIgnoreNulls(bool ignore) {
  CheckChangeable();
  ignoreNulls_ = ignore;
}

std::shared_ptr<Fields> Index::FieldsCollection() {
  if (!fields_) fields_ = std::make_shared<Fields>();
  return fields_;
}

Variant Index::FieldsValue() {
  return Variant(FieldsCollection());
}

void Index::SetFieldsValue(const Variant& value) {
  CheckChangeable();
  std::vector<std::shared_ptr<Field>> items;
  for (const jet::IndexField& f : jet::IndexSpec::ParseFields(CStr(value))) {
    auto field = std::make_shared<Field>(f.name, jet::JetType::kNone, 0);
    if (f.descending) field->SetAttributes(dbDescending);
    items.push_back(std::move(field));
  }
  FieldsCollection()->Reset(std::move(items));
}

std::shared_ptr<Field> Index::CreateField(const std::string& name, const Variant& type,
                                          const Variant& size) {
  auto t = type.IsEmpty() ? jet::JetType::kNone : static_cast<jet::JetType>(CLng(type));
  return std::make_shared<Field>(name, t, size.IsEmpty() ? 0 : CLng(size));
}

std::shared_ptr<Properties> Index::PropertiesCollection() {
  if (properties_) return properties_;
  properties_ = std::make_shared<Properties>();
  std::weak_ptr<Index> weak = std::static_pointer_cast<Index>(shared_from_this());
  auto self = [weak] {
    auto i = weak.lock();
    if (!i) ThrowDao(daoerr::kObjectInvalid, kSourceIndex);
    return i;
  };
  using J = jet::JetType;
  properties_->Add(Property::BuiltIn(
      "Name", static_cast<int32_t>(J::kText), [self] { return Variant(self()->Name()); },
      [self](const Variant& v) { self()->SetName(CStr(v)); }));
  properties_->Add(Property::BuiltIn(
      "Primary", static_cast<int32_t>(J::kBoolean), [self] { return Variant(self()->Primary()); },
      [self](const Variant& v) { self()->SetPrimary(CBool(v)); }));
  properties_->Add(Property::BuiltIn(
      "Unique", static_cast<int32_t>(J::kBoolean), [self] { return Variant(self()->Unique()); },
      [self](const Variant& v) { self()->SetUnique(CBool(v)); }));
  properties_->SetHooks(nullptr, [](const std::shared_ptr<Property>& p) {
    if (p->IsBuiltIn()) ThrowDao(daoerr::kBuiltInProperty, kSourceProperties);
  });
  return properties_;
}

jet::IndexSpec Index::Spec() const {
  jet::IndexSpec spec;
  spec.name = name_;
  spec.primary = primary_;
  spec.unique = unique_ || primary_;
  if (fields_)
    for (const auto& f : fields_->Items()) spec.fields.push_back({f->Name(), f->IsDescending()});
  return spec;
}

}  // namespace qv::dao
