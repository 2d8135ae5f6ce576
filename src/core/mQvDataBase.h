#pragma once
// DaoToAdoRS: a data-access recordset copied into a disconnected ADO
// recordset, the form in which query results leave the library.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ado/Recordset.h"
#include "platform/dao/Recordset.h"

namespace qv::mQvDataBase {

inline constexpr std::string_view kModule = "mQvDataBase";

// The ADO column a field of a Jet type becomes.
struct AdoColumnType {
  int32_t type;
  int32_t definedSize;  // -1: the field's own size
  int32_t attributes;   // adFldIsNullable, or adFldUnspecified for dbChar
};
// Null for a type the conversion does not know.
std::optional<AdoColumnType> AdoColumnTypeOf(int32_t daoType);

// Null for a null `rs`. Otherwise a new open recordset with, first, the
// column `keyColumn` (adInteger, numbering the rows 1, 2, 3 ... in order)
// when it is not empty, then one column per field of `rs` typed by
// AdoColumnTypeOf; a field of another type is reported to the user ("DaoToAdoRS:
// Unknown field type") and left out. Every row from the first is copied,
// dates before 1901 becoming Null; the result is on its first row, `rs` at
// its end. Errors name the column: {Name=[col], Type=N}.
std::shared_ptr<ado::Recordset> DaoToAdoRS(const std::shared_ptr<dao::Recordset>& rs,
                                           std::string_view keyColumn);

}  // namespace qv::mQvDataBase
