#pragma once
// What the PostgreSQL dialect of the Jet SQL emitter writes besides
// statements: the tables' definitions with Jet's types, and the list of the
// Jet functions a text calls, which the server must provide.

#include <string>
#include <string_view>
#include <vector>

#include "platform/jet/JetCatalog.h"

namespace qv::jet::sql {

// The PostgreSQL type of a Jet type: Long integer, Integer and Byte smallint,
// BigInt bigint, Boolean smallint (-1/0), the floating and decimal types,
// Currency and Date double precision, the texts and GUID text, the binary
// types bytea. Empty for kNone.
std::string_view PostgresType(JetType type);

// The column definition of `field`: its type, NOT NULL when Required, its
// default (as the catalogue writes it for SQLite: literals, jet_now() ...), the
// collation JETRU for texts, and checks of Jet's rules (Text(n)'s length,
// Byte's and Boolean's values, a GUID's braces, AllowZeroLength). A counter
// is an identity column that takes a value written to it as well.
std::string PostgresColumnSql(const FieldSpec& field);
// CREATE TABLE for the whole definition, the primary key among its columns;
// the other indexes are PostgresCreateIndexSql's.
std::string PostgresCreateTableSql(const TableSpec& table);
// CREATE [UNIQUE] INDEX for `index` of `table`, named "table$index"
// (PostgreSQL's index names are per schema, Jet's per table).
std::string PostgresCreateIndexSql(std::string_view table, const IndexSpec& index);

// The Jet functions (jet_...) that PostgreSQL text `sql` calls, sorted, each
// once: names followed by "(" outside literals and quoted names.
std::vector<std::string> CalledJetFunctions(std::string_view sql);

}  // namespace qv::jet::sql
