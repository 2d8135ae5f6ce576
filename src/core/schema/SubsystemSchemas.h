#pragma once
// The schema steps each subsystem contributes; gathered by Schema.cpp. Each
// returns a span over constant data (no static initialisation involved), so
// they may be called at any time, from any translation unit.

#include <span>

#include "core/schema/SchemaDef.h"

namespace qv::schema {

std::span<const SchemaStep> CoreSchemaSteps();        // core/schema/CoreSchema.cpp
std::span<const SchemaStep> RecordsSchemaSteps();     // records/RecordsSchema.cpp
std::span<const SchemaStep> QueriesSchemaSteps();     // queries/QueriesSchema.cpp
std::span<const SchemaStep> ClassifierSchemaSteps();  // queries/ClassifierSchema.cpp
std::span<const SchemaStep> PfrSchemaSteps();         // pfr/PfrSchema.cpp
std::span<const SchemaStep> WarrantsSchemaSteps();    // warrants/WarrantsSchema.cpp
std::span<const SchemaStep> PermsSchemaSteps();       // perms/PermsSchema.cpp
std::span<const SchemaStep> JournalSchemaSteps();     // journal/JournalSchema.cpp

// The tables of a big-document shard file (doctables/DocTablesSchema.cpp).
std::span<const TableDef> BigDocDirectoryTableDefs();
std::span<const TableDef> BigDocCellTableDefs();

}  // namespace qv::schema
