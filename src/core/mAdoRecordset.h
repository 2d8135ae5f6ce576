#pragma once
// Routines over disconnected ADO recordsets: copying one, safe moves, field
// readers with defaults and one-column lists.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/ado/Recordset.h"
#include "platform/automation/Variant.h"

namespace qv::mAdoRecordset {

inline constexpr std::string_view kModule = "mAdoRecordset";

using ado::RecordsetPtr;

// A new open recordset (client-side cursor) with the columns of `rs`:
// name, type, attributes, the defined size of variable-length types
// (codes 128 to 205), precision and scale of numeric and decimal ones;
// with `withData`, every visible row of `rs` in its order, the copy left
// on the last row added. `rs` is not moved.
RecordsetPtr AdoCloneRecordset(const RecordsetPtr& rs, bool withData);
// MoveFirst, ignoring errors (an empty or closed recordset).
void AdoSafeMoveFirst(const RecordsetPtr& rs) noexcept;

// The named field of the current row, converted as the data-access
// readers convert (dates as "DD.MM.YYYY" in texts); the default when
// anything fails: a Null, a missing field, no current row.
std::string GetAdoString(const ado::Recordset& rs, std::string_view field,
                         const std::string& def = {});
int32_t GetAdoLong(const ado::Recordset& rs, std::string_view field, int32_t def = 0);
double GetAdoDouble(const ado::Recordset& rs, std::string_view field, double def = 0);
OleDate GetAdoDate(const ado::Recordset& rs, std::string_view field, OleDate def = {});
bool IsAdoFieldExists(const ado::Recordset& rs, std::string_view field);

// The field's numbers of every visible row joined by `separator` (plain
// decimal form, `def` for a value that is not a number); `noRows` when the
// recordset is null, closed, lacks the field or has no rows.
std::string GetDelimitedNumberFieldValuesFromAdoRS(const RecordsetPtr& rs, std::string_view field,
                                                   double def, std::string_view separator,
                                                   std::string_view noRows);

}  // namespace qv::mAdoRecordset
