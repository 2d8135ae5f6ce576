#include "platform/dao/Property.h"

#include "platform/dao/DaoError.h"
#include "platform/dao/FieldValues.h"

namespace qv::dao {

QV_DEFINE_CLASS(Property, "DAO.Property", nullptr,
                qv::Property("Name", &Property::Name, &Property::SetName),
                qv::Property("Type", &Property::Type, &Property::SetType),
                qv::Property("Value", &Property::Value, &Property::SetValue),
                Method("Inherited", &Property::Inherited))

Property::Property(std::string name, int32_t type, Variant value)
    : name_(std::move(name)), type_(type), value_(PropertyValue(type, value)) {}

std::shared_ptr<Property> Property::BuiltIn(std::string name, int32_t type, Getter get,
                                            Setter set) {
  auto p = std::make_shared<Property>();
  p->name_ = std::move(name);
  p->type_ = type;
  p->get_ = std::move(get);
  p->set_ = std::move(set);
  return p;
}

void Property::SetName(const std::string& name) {
  if (IsBuiltIn()) ThrowDao(daoerr::kInvalidOperation, kSourceProperty);
  name_ = name;
}

void Property::SetType(int32_t type) {
  if (IsBuiltIn()) ThrowDao(daoerr::kInvalidOperation, kSourceProperty);
  type_ = type;
  value_ = PropertyValue(type, value_);
}

Variant Property::Value() const {
  return get_ ? get_() : value_;
}

void Property::SetValue(const Variant& value) {
  if (get_) {
    if (!set_) ThrowDao(daoerr::kInvalidOperation, kSourceProperty);
    set_(value);
    return;
  }
  value_ = PropertyValue(type_, value);
}

Variant PropertyValue(int32_t type, const Variant& value) {
  if (type <= 0) return value;
  return CoerceToField(value, static_cast<jet::JetType>(type), 0);
}

}  // namespace qv::dao
