#include "platform/automation/Error.h"

#include <array>
#include <utility>

namespace qv {

namespace {
constexpr std::array<std::pair<int32_t, std::string_view>, 19> kVbTexts{{
    {vberr::kInvalidProcedureCall, "Invalid procedure call or argument"},
    {vberr::kOverflow, "Overflow"},
    {vberr::kOutOfMemory, "Out of memory"},
    {vberr::kSubscriptOutOfRange, "Subscript out of range"},
    {vberr::kDivisionByZero, "Division by zero"},
    {vberr::kTypeMismatch, "Type mismatch"},
    {vberr::kInternalError, "Internal error"},
    {vberr::kFileNotFound, "File not found"},
    {vberr::kPathFileAccessError, "Path/File access error"},
    {vberr::kPathNotFound, "Path not found"},
    {vberr::kObjectNotSet, "Object variable or With block variable not set"},
    {vberr::kInvalidUseOfNull, "Invalid use of Null"},
    {vberr::kObjectRequired, "Object required"},
    {vberr::kCannotCreateObject, "ActiveX component can't create object"},
    {vberr::kAutomationError, "Automation error"},
    {vberr::kNotSupported, "Object doesn't support this property or method"},
    {vberr::kArgumentNotOptional, "Argument not optional"},
    {vberr::kWrongArguments, "Wrong number of arguments or invalid property assignment"},
    {vberr::kDuplicateKey, "This key is already associated with an element of this collection"},
}};
}  // namespace

std::string_view VbErrorText(int32_t number) {
  for (const auto& [n, text] : kVbTexts)
    if (n == number) return text;
  return "Application-defined or object-defined error";
}

void ThrowVb(int32_t number, std::string_view detail) {
  std::string text(VbErrorText(number));
  if (!detail.empty()) {
    text += ": ";
    text += detail;
  }
  throw Error(number, std::move(text));
}

}  // namespace qv
