#include "core/schema/Schema.h"

#include <algorithm>

#include "core/schema/SubsystemSchemas.h"
#include "platform/automation/VbaText.h"

namespace qv::schema {
namespace {

std::vector<SchemaStep> GatherSteps() {
  using Source = std::span<const SchemaStep> (*)();
  // Fixed order; within one version a later subsystem may refer to the tables
  // of an earlier one, never the other way round.
  constexpr Source kSources[] = {
      CoreSchemaSteps, RecordsSchemaSteps,  QueriesSchemaSteps, ClassifierSchemaSteps,
      PfrSchemaSteps,  WarrantsSchemaSteps, PermsSchemaSteps,   JournalSchemaSteps,
  };
  std::vector<SchemaStep> steps;
  for (Source source : kSources) {
    for (const SchemaStep& step : source()) steps.push_back(step);
  }
  std::stable_sort(steps.begin(), steps.end(),
                   [](const SchemaStep& a, const SchemaStep& b) { return a.version < b.version; });
  return steps;
}

const TableDef* FindIn(std::span<const TableDef> tables, std::string_view name) {
  for (const TableDef& t : tables) {
    if (NamesEqual(t.name, name)) return &t;
  }
  return nullptr;
}

}  // namespace

std::span<const SchemaStep> AllSchemaSteps() {
  static const std::vector<SchemaStep> steps = GatherSteps();
  return steps;
}

int32_t CurrentSchemaVersion() {
  int32_t version = 0;
  for (const SchemaStep& step : AllSchemaSteps()) version = std::max(version, step.version);
  return version;
}

const TableDef* FindTable(DbFile file, std::string_view name) {
  for (const SchemaStep& step : AllSchemaSteps()) {
    if (step.file != file) continue;
    if (const TableDef* t = FindIn(step.tables, name)) return t;
  }
  return nullptr;
}

const FieldDef* FindField(const TableDef& table, std::string_view name) {
  for (const FieldDef& f : table.fields) {
    if (NamesEqual(f.name, name)) return &f;
  }
  return nullptr;
}

const IndexDef* FindIndex(const TableDef& table, std::string_view name) {
  for (const IndexDef& i : table.indexes) {
    if (NamesEqual(i.name, name)) return &i;
  }
  return nullptr;
}

std::vector<IndexField> SplitIndexFields(std::string_view fields) {
  std::vector<IndexField> out;
  while (!fields.empty()) {
    size_t end = fields.find(';');
    std::string_view part = fields.substr(0, end);
    IndexField f;
    if (!part.empty() && part.front() == '-') {
      f.descending = true;
      part.remove_prefix(1);
    }
    f.name = part;
    out.push_back(f);
    if (end == std::string_view::npos) break;
    fields.remove_prefix(end + 1);
  }
  return out;
}

std::span<const TableDef> BigDocDirectoryTables() {
  return BigDocDirectoryTableDefs();
}
std::span<const TableDef> BigDocCellTables() {
  return BigDocCellTableDefs();
}

const TableDef* FindBigDocTable(std::string_view name) {
  if (const TableDef* t = FindIn(BigDocDirectoryTables(), name)) return t;
  return FindIn(BigDocCellTables(), name);
}

}  // namespace qv::schema
