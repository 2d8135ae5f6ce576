// Tables of the database core: content version, numbered counters and the
// delivery-number counter.

#include "core/schema/FieldHelpers.h"
#include "core/schema/SubsystemSchemas.h"
#include "platform/dao/Database.h"
#include "platform/jet/JetConnection.h"

namespace qv::schema {
namespace {

using namespace fields;

// One row: the version of the database content, read as "Major.Minor.Build".
constexpr FieldDef kDBVersion[] = {
    Long("MajorVersion"),
    Long("MinorVersion"),
    Long("BuildNumber"),
};

// One row per (counter type, year); year 0 for counters without a year.
constexpr FieldDef kCounters[] = {
    Key(Long("CounterType")),
    Key(Long("TheYear")),
    Long("CounterValue"),
};
constexpr IndexDef kCountersIdx[] = {
    UniqueIndex("Idx1", "CounterType;TheYear"),
};

// One row: the last delivery (file) number handed out.
constexpr FieldDef kGlobalParams[] = {
    Long("DeliveryNumber"),
};

constexpr TableDef kTables[] = {
    {"DBVersion", kDBVersion, {}},
    {"Counters", kCounters, kCountersIdx},
    {"GlobalParams", kGlobalParams, {}},
};

// One row per load of an edition of the reference data (core/schema/RefData.h):
// the edition ("YYYY-MM-DD"), when, and how many rows it added and changed.
constexpr FieldDef kRefDataEditions[] = {
    Text("Edition", 20),
    Date("LoadedAt"),
    Long("Added"),
    Long("Changed"),
};

constexpr TableDef kVersion3Tables[] = {
    {"RefDataEditions", kRefDataEditions, {}},
};

// Version 2: the tables lose the triggers that stored values as Jet would
// (the engine's writes do it now), in every file.
void DropValueTriggers(dao::Database& db) {
  db.Connection().Schema().DropValueTriggers();
}

constexpr SchemaStep kSteps[] = {
    {DbFile::kUser, 1, kTables},
    {DbFile::kUser, 2, {}, &DropValueTriggers},
    {DbFile::kKladr, 2, {}, &DropValueTriggers},
    {DbFile::kOkato, 2, {}, &DropValueTriggers},
    {DbFile::kUser, 3, kVersion3Tables},
};

}  // namespace

std::span<const SchemaStep> CoreSchemaSteps() {
  return kSteps;
}

}  // namespace qv::schema
