#include "records/MapperEngine.h"

#include <map>
#include <mutex>
#include <utility>

#include "core/mErrorHandling.h"
#include "platform/automation/Error.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"
#include "siblings/records/QvRecord.h"

namespace qv::records {

namespace {

constexpr std::string_view kModule = "MapperEngine";

// The Boolean that tells a record holds its lazy columns.
constexpr std::string_view kLazyFlag = "LazyLoaded";

bool EndsWith(std::string_view s, std::string_view tail) {
  return s.size() > tail.size() && s.substr(s.size() - tail.size()) == tail;
}

// The null-tolerant readers: Null, Empty or a value that does not convert
// gives the kind's default, never an error.
template <class T, class F>
T Tolerant(const Variant& v, T fallback, F convert) {
  if (v.IsEmptyOrNull()) return fallback;
  try {
    return convert(v);
  } catch (const Error&) {
    return fallback;
  }
}

Variant ReadColumn(const ColumnDef& c, const Variant& v) {
  switch (c.kind) {
    case ColKind::kText: {
      std::string s = Tolerant<std::string>(v, {}, [](const Variant& x) { return CStr(x); });
      return Variant(c.readText ? c.readText(s) : std::move(s));
    }
    case ColKind::kLong:
      return Variant(Tolerant<int32_t>(v, 0, [](const Variant& x) { return CLng(x); }));
    case ColKind::kDouble:
    case ColKind::kRef:
      return Variant(Tolerant<double>(v, 0.0, [](const Variant& x) { return CDbl(x); }));
    case ColKind::kDate:
      return Variant(Tolerant<OleDate>(v, OleDate{}, [](const Variant& x) { return CDate(x); }));
    case ColKind::kBool:
      return Variant(Tolerant<bool>(v, false, [](const Variant& x) { return CBool(x); }));
  }
  return Variant();
}

// Sets one field of the edit buffer; a failure names the table, the field
// and the value.
void WriteField(dao::Recordset& rs, std::string_view table, std::string_view column,
                Variant value) {
  GuardX(
      kModule, "WriteField",
      [&] {
        return "Table: " + std::string(table) + ", Field: " + std::string(column) +
               ", Value: " + value.Describe();
      },
      [&] { rs.SetField(column, value); });
}

std::shared_ptr<dao::Recordset> SeekRow(dao::Database& db, const ColumnMap& map, double id) {
  auto rs = OpenMapTable(db, map);
  const Variant key[1] = {Variant(id)};
  rs->Seek("=", key);
  return rs;
}

// Closes the recordset when the operation ends, normally or not, so that a
// failed write leaves nothing pending.
class CloseOnExit {
 public:
  explicit CloseOnExit(dao::Recordset& rs) : rs_(rs) {}
  ~CloseOnExit() {
    try {
      if (rs_.IsOpen()) rs_.Close();
    } catch (...) {
    }
  }
  CloseOnExit(const CloseOnExit&) = delete;
  CloseOnExit& operator=(const CloseOnExit&) = delete;

 private:
  dao::Recordset& rs_;
};

void AssignColumns(const ColumnMap& map, ColGroup group, dao::Recordset& rs, QvRecord& rec) {
  const std::vector<int>& props = ResolvedProperties(map, rec.RecordClassOf());
  for (size_t i = 0; i < map.columns.size(); ++i) {
    const ColumnDef& c = map.columns[i];
    if (c.group != group) continue;
    Variant v = ReadColumn(c, rs.FieldValue(c.column));
    if (c.kind == ColKind::kRef)
      rec.SubRecord(props[i])->SetID(v);
    else
      rec.SetValue(props[i], std::move(v));
  }
}

// The value a column is written with; a reference's sub-record is saved
// first when `recursive` (unless it is read-only or a reference not read).
Variant WrittenValue(const ColumnDef& c, int prop, QvRecord& rec, bool recursive) {
  if (c.kind != ColKind::kRef) return rec.Value(prop);
  QvRecordPtr sub = rec.SubRecord(prop);
  if (!sub) return Variant(0.0);
  if (recursive && !sub->IsReadOnlyRecord() && sub->State() != kReference) sub->SaveToStore(true);
  return Variant(sub->State() == kDeleted ? 0.0 : sub->Id());
}

}  // namespace

std::string_view PropertyNameOf(const ColumnDef& c) {
  if (!c.property.empty() || c.kind != ColKind::kRef)
    return c.property.empty() ? c.column : c.property;
  std::string_view n = c.column;
  for (std::string_view tail : {"_ID", "_Id", "ID", "Id"})
    if (EndsWith(n, tail)) return n.substr(0, n.size() - tail.size());
  return n;
}

const std::vector<int>& ResolvedProperties(const ColumnMap& map, const RecordClass& cls) {
  static std::mutex mutex;
  static std::map<std::pair<const ColumnMap*, const RecordClass*>, std::vector<int>> cache;
  std::lock_guard lock(mutex);
  auto [it, added] = cache.try_emplace({&map, &cls});
  if (added) {
    try {
      for (const ColumnDef& c : map.columns) {
        int index = cls.PropertyIndex(PropertyNameOf(c));
        if (index < 0)
          throw Error(vberr::kInvalidProcedureCall, std::string(cls.Name()) + " has no property " +
                                                        std::string(PropertyNameOf(c)) +
                                                        " for column " + std::string(map.table) +
                                                        "." + std::string(c.column));
        it->second.push_back(index);
      }
    } catch (...) {
      cache.erase(it);
      throw;
    }
  }
  return it->second;  // std::map nodes stay put
}

std::shared_ptr<QvRecord> RecordArg(const MapperDef& def, const Variant& aRecord,
                                    bool allowNothing) {
  if (aRecord.IsEmpty() || aRecord.IsNothing()) {
    if (allowNothing) return nullptr;
    ThrowVb(vberr::kObjectRequired, "a record object was expected");
  }
  if (!aRecord.IsObject()) ThrowVb(vberr::kTypeMismatch, "a record object was expected");
  auto rec = std::dynamic_pointer_cast<QvRecord>(aRecord.AsObject());
  if (!rec || !NameEquals(rec->Type().progId, def.recordProgId))
    ThrowVb(vberr::kTypeMismatch,
            std::string("a ") + std::string(def.recordProgId) + " record was expected");
  return rec;
}

std::shared_ptr<dao::Recordset> OpenMapTable(dao::Database& db, const ColumnMap& map) {
  auto rs = db.OpenTable(map.table);
  rs->SetIndex(std::string(map.index));
  return rs;
}

double NextId(dao::Recordset& rs, std::string_view keyColumn) {
  if (rs.IsBOF() && rs.IsEOF()) return 1;
  rs.MoveLast();
  if (rs.IsEOF()) return 1;
  double last = CDbl(rs.FieldValue(keyColumn));
  return last + 1;
}

void ReadRow(dao::Database& db, const MapperDef& def, double id, QvRecord& rec) {
  if (id == 0) {
    rec.Clear();
    return;
  }
  const ColumnMap& map = def.hooks.mapFor ? *def.hooks.mapFor(id) : def.map;
  ResolvedProperties(map, rec.RecordClassOf());  // a map that does not fit fails before the read
  auto rs = SeekRow(db, map, id);
  CloseOnExit closer(*rs);
  if (rs->NoMatch()) {
    rec.MarkNotFound(Variant(id));
    return;
  }
  rec.BeginLoad(Variant(id));
  AssignColumns(map, ColGroup::kBase, *rs, rec);
  if (def.hooks.afterRead) def.hooks.afterRead(rec, *rs);
  rec.EndLoad();
}

void ReadLazyRow(dao::Database& db, const MapperDef& def, QvRecord& rec) {
  int group = rec.RecordClassOf().GroupIndexByFlag(kLazyFlag);
  if (group < 0) ThrowVb(vberr::kInvalidProcedureCall, "the record has no lazy columns");
  double id = rec.Id();
  if (id == 0) return;
  if (rec.State() == kReference) {  // never read: the base columns first
    ReadRow(db, def, id, rec);
    if (rec.State() != kLoaded) return;
  }
  const ColumnMap& map = def.hooks.mapFor ? *def.hooks.mapFor(id) : def.map;
  auto rs = SeekRow(db, map, id);
  CloseOnExit closer(*rs);
  if (rs->NoMatch()) {
    rec.MarkNotFound(Variant(id));
    return;
  }
  rec.BeginGroupLoad(group);
  AssignColumns(map, ColGroup::kLazy, *rs, rec);
  if (def.hooks.afterLazyRead) def.hooks.afterLazyRead(rec, *rs);
  rec.EndGroupLoad(group);
}

void SaveRow(dao::Database& db, const MapperDef& def, QvRecord& rec, bool recursive,
             const Variant& extra) {
  if (!def.saves) return;
  int32_t state = rec.State();
  if (state == kNew || state == kReference || state == kDeleted) return;
  if (rec.IsReadOnlyRecord()) return;
  if (def.hooks.saveGate && !def.hooks.saveGate(rec)) return;

  const ColumnMap& map = def.writeMap ? *def.writeMap : def.map;
  const std::vector<int>& props = ResolvedProperties(map, rec.RecordClassOf());
  auto rs = OpenMapTable(db, map);
  CloseOnExit closer(*rs);

  double id = rec.Id();
  bool inserted = false;
  double newId = 0;
  if (id != 0) {
    const Variant key[1] = {Variant(id)};
    rs->Seek("=", key);
    if (rs->NoMatch()) {
      if (!def.hooks.insertMissing) return;
      rs->AddNew();
      rs->SetField(map.key, Variant(id));
      inserted = true;
    } else {
      rs->Edit();
    }
  } else {
    if (rec.IsBlank()) return;
    double next = NextId(*rs, map.key);
    if (def.hooks.newId) next = def.hooks.newId(next);
    rs->AddNew();
    rs->SetField(map.key, Variant(next));
    newId = next;
    inserted = true;
  }

  // Lazy columns are written only when the record holds them.
  int lazyGroup = rec.RecordClassOf().GroupIndexByFlag(kLazyFlag);
  bool writeLazy = lazyGroup >= 0 && rec.GroupLoaded(lazyGroup);
  for (size_t i = 0; i < map.columns.size(); ++i) {
    const ColumnDef& c = map.columns[i];
    if (!c.write || (c.group == ColGroup::kLazy && !writeLazy)) continue;
    WriteField(*rs, map.table, c.column, WrittenValue(c, props[i], rec, recursive));
  }
  if (def.hooks.beforeUpdate) def.hooks.beforeUpdate(*rs, rec, extra);
  rs->Update();
  rs->Close();
  // The record takes its new identifier once the row holds it, so that a
  // failed write leaves it new and the next save inserts again.
  if (newId != 0) rec.AssignNewID(Variant(newId));
  if (inserted)
    rec.AfterInsert();
  else
    rec.AfterUpdate();
}

void DeleteRow(dao::Database& db, const MapperDef& def, QvRecord* rec) {
  if (!def.saves || !rec) return;
  double id = rec->Id();
  if (id == 0) return;
  if (rec->IsReadOnlyRecord()) return;
  if (def.hooks.deleteGate && !def.hooks.deleteGate(id)) return;
  {
    auto rs = SeekRow(db, def.writeMap ? *def.writeMap : def.map, id);
    CloseOnExit closer(*rs);
    if (!rs->NoMatch()) rs->Delete();
  }
  rec->AfterDelete();
}

bool RowExists(dao::Database& db, const MapperDef& def, double id) {
  if (def.hooks.existsWithoutTable && def.hooks.existsWithoutTable(id)) return true;
  auto rs = SeekRow(db, def.hooks.mapFor ? *def.hooks.mapFor(id) : def.map, id);
  CloseOnExit closer(*rs);
  return !rs->NoMatch();
}

}  // namespace qv::records
