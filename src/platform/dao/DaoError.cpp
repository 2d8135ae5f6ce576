#include "platform/dao/DaoError.h"

#include <array>
#include <string>
#include <utility>

namespace qv::dao {

namespace {

constexpr auto kTexts = std::to_array<std::pair<int32_t, std::string_view>>({
    {daoerr::kFileInUse, "Could not use '|1'; file already in use."},
    {daoerr::kCannotExecuteSelect, "Cannot execute a select query."},
    {daoerr::kInvalidBookmark, "Not a valid bookmark."},
    {daoerr::kRecordDeleted, "Record is deleted."},
    {daoerr::kInvalidOperation, "Invalid operation."},
    {daoerr::kNumericOverflow, "Numeric field overflow."},
    {daoerr::kNameExists,
     "Cannot append. An object with that name already exists in the collection."},
    {daoerr::kBuiltInProperty, "Cannot delete a built-in property."},
});

}  // namespace

std::string DaoErrorText(int32_t number, std::initializer_list<std::string_view> args) {
  for (const auto& [n, text] : kTexts) {
    if (n == number) return jet::FillPlaceholders(text, args);
  }
  return jet::JetErrorText(number, args);
}

void ThrowDao(int32_t number, std::string_view source,
              std::initializer_list<std::string_view> args) {
  throw Error(number, DaoErrorText(number, args), std::string(source));
}

}  // namespace qv::dao
