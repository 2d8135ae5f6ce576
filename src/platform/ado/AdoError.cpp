#include "platform/ado/AdoError.h"

#include <array>
#include <string>
#include <utility>

#include "platform/automation/Error.h"

namespace qv::ado {

namespace {
constexpr std::array<std::pair<int32_t, std::string_view>, 11> kTexts{{
    {adoerr::kBadArguments,
     "Arguments are of the wrong type, are out of acceptable range, or are in conflict with one "
     "another."},
    {adoerr::kNoCurrentRecord,
     "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
     "requires a current record."},
    {adoerr::kNotAllowedInContext, "Operation is not allowed in this context."},
    {adoerr::kItemNotFound,
     "Item cannot be found in the collection corresponding to the requested name or ordinal."},
    {adoerr::kAlreadyInCollection, "Object is already in collection. Cannot append."},
    {adoerr::kObjectClosed, "Operation is not allowed when the object is closed."},
    {adoerr::kObjectOpen, "Operation is not allowed when the object is open."},
    {adoerr::kProviderNotFound, "Provider cannot be found. It may not be properly installed."},
    {adoerr::kParameterIncomplete,
     "Parameter object is improperly defined. Inconsistent or incomplete information was "
     "provided."},
    {adoerr::kConnectionUnusable,
     "The connection cannot be used to perform this operation. It is either closed or invalid in "
     "this context."},
    {adoerr::kMultipleStep, "Multiple-step operation generated errors. Check each status value."},
}};
}  // namespace

std::string_view AdoErrorText(int32_t number) {
  for (const auto& [n, text] : kTexts)
    if (n == number) return text;
  return {};
}

void ThrowAdo(int32_t number, std::string_view source, std::string_view detail) {
  std::string text(AdoErrorText(number));
  if (!detail.empty()) {
    text += " (";
    text += detail;
    text += ")";
  }
  throw Error(number, std::move(text), std::string(source));
}

}  // namespace qv::ado
