// Tables of the database core: content version, numbered counters and the
// delivery-number counter.

#include <string>
#include <vector>

#include "core/schema/FieldHelpers.h"
#include "core/schema/Schema.h"
#include "core/schema/SubsystemSchemas.h"
#include "platform/dao/Database.h"
#include "platform/jet/JetCatalog.h"
#include "platform/jet/JetConnection.h"
#include "platform/jet/JetEngine.h"

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

constexpr TableDef kCoreTables[] = {
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
  if (db.IsServer()) return;  // a server's tables never had them
  db.Connection().Schema().DropValueTriggers();
}

// Version 4: a Yes/No column, and a Long flag standing for one, is never
// Null and 0 unless written (FieldHelpers.h). A file built before gets
// those rules for every column whose definition has them, the Nulls it
// stores there becoming the default first.
void GiveColumnsTheirDefaults(dao::Database& db) {
  for (const SchemaStep& step : AllSchemaSteps()) {
    if (step.file != DbFile::kUser) continue;
    for (const TableDef& def : step.tables) {
      const auto have = db.FindTableSpec(def.name);
      if (!have) continue;
      std::vector<jet::FieldSpec> changed;
      for (const FieldDef& f : def.fields) {
        const jet::FieldSpec* field = have->FindField(f.name);
        if (!field || !f.required || f.defaultValue.empty() ||
            (field->required && field->defaultValue == f.defaultValue))
          continue;
        const std::string column = "[" + field->name + "]";
        db.ExecuteSql("UPDATE [" + have->name + "] SET " + column + " = " +
                      std::string(f.defaultValue) + " WHERE " + column + " IS NULL");
        changed.push_back(*field);
        changed.back().required = true;
        changed.back().defaultValue = f.defaultValue;
      }
      if (!changed.empty()) db.Engine().ChangeFieldRules(have->name, changed);
    }
  }
}

constexpr SchemaStep kCoreSteps[] = {
    {DbFile::kUser, 1, kCoreTables},
    {DbFile::kUser, 2, {}, &DropValueTriggers},
    {DbFile::kKladr, 2, {}, &DropValueTriggers},
    {DbFile::kOkato, 2, {}, &DropValueTriggers},
    {DbFile::kUser, 3, kVersion3Tables},
    {DbFile::kUser, 4, {}, &GiveColumnsTheirDefaults},
};

}  // namespace

std::span<const SchemaStep> CoreSchemaSteps() {
  return kCoreSteps;
}

}  // namespace qv::schema
