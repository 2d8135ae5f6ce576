#pragma once
// Declarative schema: the tables, columns and indexes of each database file,
// as constant tables. The schema builder creates them through the DAO layer;
// migrations add to them by version.

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/jet/JetTypes.h"

namespace qv::dao {
class Database;
}

namespace qv::schema {

using jet::JetType;

struct FieldDef {
  std::string_view name;
  JetType type;
  int32_t size = 0;  // Text(n); 0 for the fixed-size types and Memo
  bool required = false;
  bool allowZeroLength = true;    // texts only
  std::string_view defaultValue;  // Jet default expression text, empty for none
};

struct IndexDef {
  std::string_view name;    // the Jet index name, per table ("Id", "Idx1" ...)
  std::string_view fields;  // "a;b", a leading "-" for a descending field
  bool primary = false;
  bool unique = false;
};

struct TableDef {
  std::string_view name;
  std::span<const FieldDef> fields;
  std::span<const IndexDef> indexes;
};

// The database files of a data folder.
enum class DbFile { kUser, kKladr, kOkato };
// All of them, in that order.
inline constexpr DbFile kDbFiles[] = {DbFile::kUser, DbFile::kKladr, DbFile::kOkato};

// A set of tables added to one file at one schema version, or a change of
// what the file already holds (`migrate`, run inside the file's upgrade
// transaction after the step's tables, if any).
struct SchemaStep {
  DbFile file;
  int32_t version;  // the schema version that introduces these tables
  std::span<const TableDef> tables;
  void (*migrate)(dao::Database& db) = nullptr;
};

}  // namespace qv::schema
