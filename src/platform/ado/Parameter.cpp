#include "platform/ado/Parameter.h"

#include "platform/ado/AdoError.h"
#include "platform/ado/AdoTypes.h"

namespace qv::ado {

QV_DEFINE_CLASS(Parameter, "ADODB.Parameter", QV_CREATABLE(Parameter),
                Property("Name", &Parameter::Name, &Parameter::SetName),
                Property("Type", &Parameter::Type, &Parameter::SetType),
                Property("Direction", &Parameter::Direction, &Parameter::SetDirection),
                Property("Size", &Parameter::Size, &Parameter::SetSize),
                Property("Value", &Parameter::Value, &Parameter::SetValue),
                Property("", &Parameter::Value, &Parameter::SetValue))

[[maybe_unused]] static const bool qv_registered_Parameter26 =
    (ProgIdRegistry::Register("ADODB.Parameter.2.6", &Parameter::StaticClass), true);

void Parameter::SetType(int32_t type) {
  if (type != adEmpty && !FindAdoType(type))
    ThrowAdo(adoerr::kBadArguments, kParameterSource, "type " + std::to_string(type));
  type_ = type;
}

void Parameter::SetDirection(int32_t direction) {
  if (direction < adParamUnknown || direction > adParamReturnValue)
    ThrowAdo(adoerr::kBadArguments, kParameterSource, "direction " + std::to_string(direction));
  direction_ = direction;
}

void Parameter::SetSize(int32_t size) {
  if (size < 0) ThrowAdo(adoerr::kBadArguments, kParameterSource, "size " + std::to_string(size));
  size_ = size;
}

void Parameter::SetValue(const Variant& value) {
  value_ = DefaultValueOf(value);
}

}  // namespace qv::ado
