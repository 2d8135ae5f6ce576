#pragma once
// DaoToAdoRS: a data-access recordset copied into a disconnected ADO
// recordset, the form in which query results leave the library.

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ado/Recordset.h"
#include "platform/dao/Recordset.h"
#include "platform/jet/JetStatement.h"

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
// The same copy of the rows of a prepared SELECT, stepped from where it
// stands to its end, with no recordset in between. A failure of the
// statement itself (stepping or reading a row) is not raised: it lands in
// `failed` and the result is null, for the caller to raise as its own, as
// when opening a recordset of the statement fails. The copy makes room up
// front for the rows the same text gave last time (Statement::RowsLastRun)
// and notes the rows it copied for the next time: growing the copy row by
// row moves every value each time it doubles.
std::shared_ptr<ado::Recordset> StatementToAdoRS(jet::Statement& st, std::string_view keyColumn,
                                                 std::exception_ptr& failed);

}  // namespace qv::mQvDataBase
