#include "platform/ado/Parameters.h"

#include <algorithm>
#include <cmath>

#include "platform/ado/AdoError.h"
#include "platform/automation/VbaText.h"

namespace qv::ado {

QV_DEFINE_CLASS(Parameters, "ADODB.Parameters", nullptr, Method("Count", &Parameters::Count),
                Method("Item(index)", &Parameters::Item), Method("(index)", &Parameters::Item),
                Method("Append(object)", &Parameters::Append),
                Method("Delete(index)", &Parameters::Delete))

size_t Parameters::IndexOf(const Variant& index) const {
  if (index.IsString()) {
    const std::string key = FoldCase(index.AsString());
    for (size_t i = 0; i < items_.size(); ++i)
      if (FoldCase(items_[i]->Name()) == key) return i;
  } else if (index.IsNumericType() && std::fabs(CDbl(index)) < 2147483647.0) {
    const int32_t i = CLng(index);
    if (i >= 0 && static_cast<size_t>(i) < items_.size()) return static_cast<size_t>(i);
  }
  ThrowAdo(adoerr::kItemNotFound, kParametersSource, index.Describe());
}

ParameterPtr Parameters::Item(const Variant& index) const {
  return items_[IndexOf(index)];
}

void Parameters::Append(const ObjectPtr& object) {
  auto parameter = std::dynamic_pointer_cast<Parameter>(object);
  if (!parameter) ThrowAdo(adoerr::kBadArguments, kParametersSource, "not a Parameter");
  if (parameter->Type() == adEmpty)
    ThrowAdo(adoerr::kParameterIncomplete, kParametersSource, "no type: " + parameter->Name());
  if (std::find(items_.begin(), items_.end(), parameter) != items_.end())
    ThrowAdo(adoerr::kAlreadyInCollection, kParametersSource, parameter->Name());
  items_.push_back(std::move(parameter));
}

void Parameters::Delete(const Variant& index) {
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(IndexOf(index)));
}

}  // namespace qv::ado
