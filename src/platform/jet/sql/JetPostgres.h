#pragma once
// What the PostgreSQL dialect of the Jet SQL emitter writes besides
// statements: the tables' definitions with Jet's types, and the list of the
// Jet functions a text calls, which the server must provide.

#include <cstddef>
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

// The server cuts a name at 63 bytes (its identifiers' limit); Jet's go to
// 64 characters, 128 bytes in Cyrillic.
inline constexpr size_t kServerNameBytes = 63;
inline bool FitsServerName(std::string_view name) {
  return name.size() <= kServerNameBytes;
}
// The server's name of a Jet name (a table's, a field's) or of an object the
// library names after them (an index "table$index", a check
// "jet_size:field"): `name` when it fits, else its first bytes cut at a
// character's boundary, "~" and eight hex digits of a hash of the whole
// name, 63 bytes in all, so that two names that share their first 63 bytes
// stay two. The catalogue keeps the Jet names; every statement names the
// server's.
std::string ServerObjectName(std::string_view name);
// What the server cuts a name beyond its limit to: its first 63 bytes, at a
// character's boundary (a long name made before the short forms).
std::string ServerCutName(std::string_view name);
// ServerObjectName(name) quoted, appended to `out`.
void AppendServerName(std::string& out, std::string_view name);
// The name of a field's check of `kind` (kCheckSize ...): ServerObjectName
// of the kind and the field's name.
std::string PostgresCheckName(std::string_view kind, std::string_view field);
// The server's index of Jet index `index` of `table`.
std::string PostgresIndexName(std::string_view table, std::string_view index);
// The name the server gives the primary key constraint of CREATE TABLE of
// Jet table `table`: "table_pkey", the server's name of the table cut (at a
// character's boundary) to fit.
std::string PostgresPrimaryKeyName(std::string_view table);

// CREATE TABLE for the whole definition, the primary key among its columns;
// the other indexes are PostgresCreateIndexSql's. A table without a primary
// key gets the row key last.
std::string PostgresCreateTableSql(const TableSpec& table);
// CREATE [UNIQUE] INDEX for `index` of `table`, named "table$index"
// (PostgreSQL's index names are per schema, Jet's per table) as
// PostgresIndexName gives it.
std::string PostgresCreateIndexSql(std::string_view table, const IndexSpec& index);

// The Jet functions (jet_...) that PostgreSQL text `sql` calls, sorted, each
// once: names followed by "(" outside literals and quoted names.
std::vector<std::string> CalledJetFunctions(std::string_view sql);

}  // namespace qv::jet::sql
