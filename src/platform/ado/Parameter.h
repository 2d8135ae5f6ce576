#pragma once
// Parameter ("ADODB.Parameter"): a named, typed value for a Command. It
// holds what the caller sets; nothing is checked against a statement until
// a connection runs the command. Value is the default member.

#include <cstdint>
#include <string>

#include "platform/ado/AdoConstants.h"
#include "platform/automation/Object.h"

namespace qv::ado {

class Parameter : public Object {
  QV_DECLARE_CLASS(Parameter)

 public:
  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }
  int32_t Type() const { return type_; }
  // A type a field may have, or adEmpty; error 3001 for another code.
  void SetType(int32_t type);
  int32_t Direction() const { return direction_; }
  // adParamUnknown .. adParamReturnValue; error 3001 for another value.
  void SetDirection(int32_t direction);
  int32_t Size() const { return size_; }
  void SetSize(int32_t size);  // error 3001 when negative
  const Variant& Value() const { return value_; }
  // An object is replaced by its default value, as VB assigns it.
  void SetValue(const Variant& value);

 private:
  std::string name_;
  int32_t type_ = adEmpty;
  int32_t direction_ = adParamInput;
  int32_t size_ = 0;
  Variant value_;
};

using ParameterPtr = std::shared_ptr<Parameter>;

}  // namespace qv::ado
