#pragma once
// Selects of a server database stepped through the engine's statement, for
// callers that copy the rows elsewhere and need no recordset (a file's
// database gives its own statement: Database::PrepareQuery).

#include <memory>
#include <string>

#include "platform/jet/JetEngine.h"

namespace qv::dao {

class Database;

// Database::PrepareQuery of a server database: the engine's prepared
// SELECT whose rows OpenRecordset(source) of the default type would hold;
// null when `source` names a table (OpenRecordset opens the table then).
// Errors as OpenRecordset's: the translator's, 3219 for an action
// statement; 3251 on a file, 3420 after Close.
std::unique_ptr<jet::EngineStatement> PrepareServerQuery(Database& db, const std::string& source);

}  // namespace qv::dao
