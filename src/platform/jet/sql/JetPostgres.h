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
// The hidden column that keys a table without a primary key on a server:
// the row's number, given in insertion order and never changed, so a table
// cursor can find the row again (the server's own row address changes with
// every update) and walk in insertion order as the file's rowid walks. It is
// in no catalogue row: table definitions, `*` and an INSERT's implied column
// list leave it out; the table cursor names it. A table has it exactly when
// it has no primary key. A Long, as Jet's counters are: every value a
// caller reads is one.
inline constexpr std::string_view kServerRowKey = "_jet_row";
// The row key's column definition (for CREATE TABLE and ADD COLUMN).
std::string PostgresRowKeySql();

// CREATE TABLE for the whole definition, the primary key among its columns;
// the other indexes are PostgresCreateIndexSql's. A table without a primary
// key gets the row key last.
std::string PostgresCreateTableSql(const TableSpec& table);
// CREATE [UNIQUE] INDEX for `index` of `table`, named "table$index"
// (PostgreSQL's index names are per schema, Jet's per table).
std::string PostgresCreateIndexSql(std::string_view table, const IndexSpec& index);

// The Jet functions (jet_...) that PostgreSQL text `sql` calls, sorted, each
// once: names followed by "(" outside literals and quoted names.
std::vector<std::string> CalledJetFunctions(std::string_view sql);

}  // namespace qv::jet::sql
