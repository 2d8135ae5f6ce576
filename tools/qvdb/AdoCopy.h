#pragma once
// Copies the rows of a DAO recordset into a disconnected ADO recordset, with
// the column types the library's query results carry, so that `qvdb sql`
// prints what a query operation would return.

#include <cstdint>

#include "platform/ado/Recordset.h"
#include "platform/dao/Recordset.h"
#include "platform/jet/JetTypes.h"

namespace qvdb {

// The ADO type code and defined size of a column of a Jet type (Text becomes
// adLongVarWChar of 255, Byte and Integer adInteger ...). A column the
// translator could not type (kNone) becomes a text column.
struct AdoColumnType {
  int32_t type;
  int32_t definedSize;
};
AdoColumnType AdoTypeForJet(qv::jet::JetType type, int32_t size);

// Every row of `rs` from its first, in its order; the DAO recordset is left
// at its end. A name already used by an earlier column gets "_2", "_3" ...
// (a recordset cannot hold two columns of one name). Dates are copied as they are (a query
// operation of the library would blank dates before 1901; a shell should show what is stored).
qv::ado::RecordsetPtr DaoToAdo(qv::dao::Recordset& rs);

}  // namespace qvdb
