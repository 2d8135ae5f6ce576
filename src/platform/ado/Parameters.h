#pragma once
// Parameters ("ADODB.Parameters"): the parameters of a Command in the order
// appended, by name (ignoring case) or 0-based ordinal; Item is the default
// member. Not creatable by ProgID.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/ado/Parameter.h"
#include "platform/automation/Object.h"

namespace qv::ado {

class Parameters : public Object {
  QV_DECLARE_CLASS(Parameters)

 public:
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  // Error 3265 for an unknown name or an ordinal out of range.
  ParameterPtr Item(const Variant& index) const;
  // Error 3001 for an object that is not a Parameter, 3708 for a parameter
  // without a type, 3367 for one already appended.
  void Append(const ObjectPtr& object);
  void Delete(const Variant& index);

 private:
  size_t IndexOf(const Variant& index) const;

  std::vector<ParameterPtr> items_;
};

using ParametersPtr = std::shared_ptr<Parameters>;

}  // namespace qv::ado
