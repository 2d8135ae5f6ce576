// A table's columns are declared three times: in the schema that creates the
// table, in the column map of the mapper that reads and writes it, and in the
// record type whose properties hold the values. The orders differ (the record
// types keep the order of the record's interface), so the three are checked
// against each other here, over every registered mapper, rather than derived
// from one another.

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/automation/VbaText.h"
#include "platform/jet/JetCatalog.h"
#include "records/EntityFixture.h"
#include "records/PlainMapper.h"
#include "siblings/records/RecordClass.h"

namespace qv::records::testing {
namespace {

using jet::JetType;

bool IsWhole(JetType t) {
  return t == JetType::kByte || t == JetType::kInteger || t == JetType::kLong;
}

// Whether a column of the table can hold what a map column of `kind` writes
// and give back what it reads.
bool ColumnFits(ColKind kind, JetType t) {
  switch (kind) {
    case ColKind::kText:
      return t == JetType::kText || t == JetType::kMemo;
    case ColKind::kLong:
    case ColKind::kFlag:
      return IsWhole(t);
    case ColKind::kDouble:
    case ColKind::kRef:
      return IsWhole(t) || t == JetType::kDouble || t == JetType::kSingle ||
             t == JetType::kCurrency || t == JetType::kDecimal;
    case ColKind::kDate:
      return t == JetType::kDate;
    case ColKind::kBool:
      return t == JetType::kBoolean;
  }
  return false;
}

// Whether the record property a map column fills holds the column's kind.
bool PropertyFits(ColKind kind, Kind property) {
  if (property == Kind::kVariant) return true;
  switch (kind) {
    case ColKind::kText:
      return property == Kind::kText;
    case ColKind::kLong:
      return property == Kind::kLong;
    case ColKind::kDouble:
      return property == Kind::kDouble;
    case ColKind::kDate:
      return property == Kind::kDate;
    case ColKind::kBool:
    case ColKind::kFlag:
      return property == Kind::kBoolean;
    case ColKind::kRef:
      return property == Kind::kRecord;
  }
  return false;
}

// Properties no column of the map fills: a hook computes them after the read
// or writes them before the update. Each entry must still have its hook.
enum class Hook { kAfterRead, kAroundLazyRead, kBeforeUpdate };
struct HookFilled {
  const char* mapper;
  const char* property;
  Hook hook;
};
constexpr HookFilled kHookFilled[] = {
    {"Qv_DBProvider.DBTimePeriod", "PeriodOrder", Hook::kAfterRead},
    {"Qv_DBProvider.DBPerson", "IsBranch", Hook::kAroundLazyRead},
    {"Qv_DBProvider.DBPerson", "IsAccPerson", Hook::kAroundLazyRead},
    {"Qv_DBProvider.DBWjEvent", "EvIsPartTime", Hook::kBeforeUpdate},
};

bool HasHook(const MapperHooks& hooks, Hook hook) {
  switch (hook) {
    case Hook::kAfterRead:
      return hooks.afterRead != nullptr;
    case Hook::kAroundLazyRead:
      return hooks.aroundLazyRead != nullptr;
    case Hook::kBeforeUpdate:
      return hooks.beforeUpdate != nullptr;
  }
  return false;
}

class MapperDeclarations : public EntityTest {
 protected:
  // Checks `map` against its table and against the record type `cls`;
  // notes the properties it fills in `filled`.
  // A value list's map has no key (its rows are their values).
  void CheckMap(const std::string& who, const ColumnMap& map, const RecordClass& cls,
                std::set<std::string>& filled, bool keyed = true) {
    const auto table = Db().FindTableSpec(map.table);
    if (!table) return Note(who, "no table " + std::string(map.table));
    const jet::FieldSpec* key = table->FindField(map.key);
    if (keyed && (!key || !ColumnFits(ColKind::kDouble, key->type)))
      Note(who, std::string(map.table) + ": no numeric key " + std::string(map.key));
    const jet::IndexSpec* index = table->FindIndex(map.index);
    if (keyed && (!index || index->fields.empty() || !NamesEqual(index->fields[0].name, map.key)))
      Note(who, std::string(map.table) + ": no index " + std::string(map.index) + " on the key");
    for (const ColumnDef& c : map.columns) {
      const std::string column = std::string(map.table) + "." + std::string(c.column);
      const jet::FieldSpec* f = table->FindField(c.column);
      if (!f)
        Note(who, "no column " + column);
      else if (!ColumnFits(c.kind, f->type))
        Note(who, column + " of type " + std::to_string(static_cast<int>(f->type)) +
                      " cannot hold kind " + std::to_string(static_cast<int>(c.kind)));
      const std::string_view property = PropertyNameOf(c);
      const int p = cls.PropertyIndex(property);
      if (p < 0) {
        Note(who, column + ": no property " + std::string(property) + " in " + Name(cls));
        continue;
      }
      filled.insert(AsciiLower(property));
      if (!PropertyFits(c.kind, cls.Property(p).kind))
        Note(who, column + ": property " + std::string(property) + " of another kind");
    }
  }

  // Every property of `cls` a stored value fills comes from some column.
  void CheckCovered(const std::string& who, const RecordClass& cls,
                    const std::set<std::string>& filled) {
    std::set<std::string> flags;
    for (const LazyGroupDef& g : cls.Type().groups) flags.insert(AsciiLower(g.loadedFlag));
    for (int i = 0; i < cls.PropertyCount(); ++i) {
      const PropertyDef& p = cls.Property(i);
      if (p.kind == Kind::kCollection || p.kind == Kind::kObject || p.kind == Kind::kVariant ||
          p.resetOnSave || flags.count(AsciiLower(p.name)) || cls.MarkedBy(i) >= 0)
        continue;
      if (!filled.count(AsciiLower(p.name)))
        Note(who, Name(cls) + "." + std::string(p.name) + " maps to no column");
    }
  }

  static std::string Name(const RecordClass& cls) { return std::string(cls.Type().progId); }
  void Note(const std::string& who, const std::string& what) {
    problems_ += who + ": " + what + "\n";
  }

  std::string problems_;
};

TEST_F(MapperDeclarations, SchemaMapsAndRecordTypesAgree) {
  std::set<std::string> seen;
  for (const RegisteredMapper& m : RegisteredMappers()) {
    const std::string who = m.classInfo().ProgId();
    if (!seen.insert(who).second) continue;
    const MapperDef& def = m.def();
    const RecordClass* cls = FindRecordClass(def.recordProgId);
    if (!cls) {
      Note(who, "no record type " + std::string(def.recordProgId));
      continue;
    }
    if (!NamesEqual(cls->Type().mapperProgId, who))
      Note(who, Name(*cls) + " names the mapper " + std::string(cls->Type().mapperProgId));
    if (cls->Type().readOnly == def.saves)
      Note(who, Name(*cls) + (def.saves ? " is read-only" : " is saved") + " but its mapper " +
                    (def.saves ? "saves" : "does not"));
    std::set<std::string> filled;
    for (const HookFilled& h : kHookFilled) {
      if (who != h.mapper) continue;
      if (!HasHook(def.hooks, h.hook)) Note(who, std::string(h.property) + " has no hook");
      filled.insert(AsciiLower(h.property));
    }
    std::set<const ColumnMap*> maps{&def.map};
    if (def.writeMap) maps.insert(def.writeMap);
    // The identifiers the tax offices choose their table by.
    for (double id : {1.0, 1000000001.0})
      if (def.hooks.mapFor) maps.insert(def.hooks.mapFor(id));
    for (const DetailMap& d : def.detail ? def.detail->maps : std::span<const DetailMap>())
      maps.insert(d.map);
    for (const ColumnMap* map : maps) CheckMap(who, *map, *cls, filled);
    if (def.detail)
      for (std::string_view c : {def.detail->typeColumn, def.detail->linkColumn})
        if (cls->PropertyIndex(c) < 0 || !filled.count(AsciiLower(c)))
          Note(who, "detail column " + std::string(c) + " is not a mapped property");
    for (const ValueListDef& list : def.valueLists) {
      filled.insert(AsciiLower(list.property));
      const RecordClass* item = FindRecordClass(list.itemProgId);
      if (!item) {
        Note(who, "no record type " + std::string(list.itemProgId));
        continue;
      }
      std::set<std::string> itemFilled;
      CheckMap(who, list.map, *item, itemFilled, false);
      for (double id : {1.0, 1000000001.0}) {
        const std::string_view t = list.readTableFor ? list.readTableFor(id) : list.map.table;
        const auto table = Db().FindTableSpec(t);
        if (!table || !table->FindField(list.ownerColumn))
          Note(who, "no owner column " + std::string(t) + "." + std::string(list.ownerColumn));
      }
      CheckCovered(who, *item, itemFilled);
    }
    for (const ChildListDef& list : def.lists) {
      const auto table = Db().FindTableSpec(list.table);
      if (!table || !table->FindField(list.ownerColumn))
        Note(who,
             "no owner column " + std::string(list.table) + "." + std::string(list.ownerColumn));
      if (!FindRecordClass(list.itemProgId))
        Note(who, "no record type " + std::string(list.itemProgId));
    }
    CheckCovered(who, *cls, filled);
  }
  EXPECT_GE(seen.size(), 20u);
  EXPECT_EQ(problems_, "");
}

}  // namespace
}  // namespace qv::records::testing
