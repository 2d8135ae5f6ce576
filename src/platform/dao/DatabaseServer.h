#pragma once
// What the data-access objects share about databases on a server (for
// their own .cpp files only).

#include <string>
#include <string_view>

#include "platform/jet/JetCatalog.h"

namespace qv::dao {

class Database;

// A source without the brackets around a table's name.
std::string_view Unbracketed(std::string_view text);
// Whether the trimmed source `text` names a table of the server database
// `db` (OpenRecordset opens the table then): it does not start like a
// statement, or it is a valid name that a table of the database has.
bool NamesServerTable(Database& db, std::string_view text);

// Whether the server table `table` has the row key (jet::sql::kServerRowKey,
// which every table without a primary key has): the translator then knows
// the name as a column of the table. No round trip.
bool HasServerRowKey(Database& db, const std::string& table);

// Raises 3251 for an operation a database file has and a server database
// does not have yet; `operation` names it ("Database.SchemaVersion" ...).
[[noreturn]] void RaiseNotOnServer(std::string_view operation);

// The Jet schema statements that make or drop an index on a server
// database: its engine runs them as it runs the same text from a caller.
// Each checks the names with the file catalogue's rules first (3125 a bad
// name, 3264 no fields), so every name a statement brackets is a valid Jet
// name (no bracket in it). Tables and fields are given to the engine whole
// (Engine::CreateTable, AddField).
std::string CreateIndexJetSql(std::string_view table, const jet::IndexSpec& index);
std::string DropIndexJetSql(std::string_view table, std::string_view index);

}  // namespace qv::dao
