#pragma once
// The complete schema of a data folder: the tables, columns and indexes of the
// user database and of the two classifier databases as ordered schema steps,
// and the tables of a big-document shard file. All of it is constant data;
// the schema builder creates it through the DAO layer.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "core/schema/SchemaDef.h"

namespace qv::schema {

// Every step of every database file, in ascending version order (steps of the
// same version keep a fixed subsystem order). A file at version v holds the
// tables of all its steps with version <= v.
std::span<const SchemaStep> AllSchemaSteps();

// The highest version of any step: the version a newly built file is at.
int32_t CurrentSchemaVersion();

// Names compare with NamesEqual (platform/automation/VbaText.h).
// The table of that name in that file, over all steps; nullptr when none.
const TableDef* FindTable(DbFile file, std::string_view name);
// A column or index of a table by its Jet name; nullptr when none.
const FieldDef* FindField(const TableDef& table, std::string_view name);
const IndexDef* FindIndex(const TableDef& table, std::string_view name);

// One column of an index, as listed in IndexDef::fields ("a;-b").
struct IndexField {
  std::string_view name;
  bool descending = false;
};
std::vector<IndexField> SplitIndexFields(std::string_view fields);

// Big-document shard files: the directory tables exist in shard 0 only, the
// cell tables (and StorageInfo) in every shard.
std::span<const TableDef> BigDocDirectoryTables();
std::span<const TableDef> BigDocCellTables();
const TableDef* FindBigDocTable(std::string_view name);

}  // namespace qv::schema
