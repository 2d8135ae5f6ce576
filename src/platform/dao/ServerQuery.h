#pragma once
// Selects of a server database stepped through the engine's statement, for
// callers that copy the rows elsewhere and need no recordset (a file's
// database gives its own statement: Database::PrepareQuery).

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dao/TableRecordset.h"
#include "platform/jet/JetEngine.h"

namespace qv::dao {

class Database;

// Database::PrepareQuery of a server database: the engine's prepared
// SELECT whose rows OpenRecordset(source) of the default type would hold;
// null when `source` names a table (OpenRecordset opens the table then).
// Errors as OpenRecordset's: the translator's, 3219 for an action
// statement; 3251 on a file, 3420 after Close.
std::unique_ptr<jet::EngineStatement> PrepareServerQuery(Database& db, const std::string& source);

// TableRecordset::SeekFields of a server database: the values of `fields`
// (in the order given) of the row a table-type recordset's Seek("=", {key})
// on index `index` finds, read by one probe of those fields (its text kept
// per field list, table definition and index for the thread); nullopt when
// there is none. Errors as OpenTable, SetIndex and Seek raise them; 3265
// for a field the table lacks.
std::optional<std::vector<Variant>> SeekServerRow(Database& db, std::string_view table,
                                                  std::string_view index, double key,
                                                  const TableRecordset::FieldList& fields);

}  // namespace qv::dao
