#pragma once
// The SQLite text of the catalogue's tables: column declarations with the
// collation and the named checks that carry Jet's rules, indexes and
// defaults. Internal to platform/jet.

#include <optional>
#include <string>
#include <string_view>

#include <span>

#include "platform/jet/JetCatalog.h"

namespace qv::jet::ddl {

// A valid Jet object name: 1 to 64 characters, no leading space, none of
// . ! ` [ ] or a control character, not SQLite's own prefix.
bool IsValidName(std::string_view name);
// A statement, not a table name: its first word is one a statement starts
// with (select, insert, update, delete, transform, parameters, in either
// case) or it starts with "(".
bool IsStatement(std::string_view text);
// Raises 3125 unless `name` is a valid Jet object name.
void CheckName(std::string_view name);
// Raises the errors of Catalog::CreateTable for a definition that cannot be
// created (everything but the table's existence). The first `kept` fields
// are the table's as it stands: one of no Jet type there (a column of a
// table made without the catalogue) stays as it is; any other is 3259.
void CheckTable(const TableSpec& table, size_t kept = 0);
// `table` with the rules of `fields` (matched by name) given to its fields:
// Required, AllowZeroLength and DefaultValue; type and size stay. Errors:
// 3265 a field the table lacks, 3259 a field of no Jet type, those of
// CheckTable for the result.
TableSpec WithFieldRules(const TableSpec& table, std::span<const FieldSpec> fields);

// The column definition of `field` in table `table`. A field of no Jet type
// is declared as `native` (SQLite's declaration of the column after its
// name); without one it is 3259.
std::string ColumnSql(std::string_view table, const FieldSpec& field, bool primaryKeyField,
                      std::optional<std::string_view> native = std::nullopt);
// CREATE TABLE for the whole definition; `native` holds the declarations
// of its fields of no Jet type, in their order.
std::string CreateTableSql(const TableSpec& table, std::span<const std::string> native = {});
// CREATE INDEX for `index` (its sqliteName set) on `table`.
std::string CreateIndexSql(std::string_view table, const IndexSpec& index);
// The SQLite DEFAULT expression of a Jet default value, or nullopt for none.
// Raises 3001 for an expression the catalogue cannot store.
std::optional<std::string> DefaultSql(const FieldSpec& field);

}  // namespace qv::jet::ddl
