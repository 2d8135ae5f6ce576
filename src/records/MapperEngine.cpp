#include "records/MapperEngine.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <typeinfo>
#include <unordered_map>
#include <utility>

#include "core/mErrorHandling.h"
#include "core/mQvCommonCalc.h"
#include "core/mQvDaoDataBase.h"
#include "platform/automation/Error.h"
#include "platform/automation/VbaText.h"
#include "platform/dao/Database.h"
#include "platform/dao/FieldValues.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/ServerQuery.h"
#include "platform/dao/TableRecordset.h"
#include "platform/dao/Transaction.h"
#include "platform/jet/JetCellRead.h"
#include "platform/jet/JetCellValue.h"
#include "platform/jet/JetEngine.h"
#include "platform/jet/JetError.h"
#include "siblings/records/QvRecord.h"
#include "siblings/records/RecordFactory.h"

namespace qv::records {

namespace {

constexpr std::string_view kModule = "MapperEngine";

// How a read of a group's columns from a statement's row takes one column:
// its index in the map, its property, the type (VarType) of a value read
// that both the column's fitting (FitColumnValue) and the property's
// conversion keep as it is (a text into a text property, a Long into a Long
// one; -1: none), and what a Null cell reads as (FitColumnValue's empty value
// of that type; kNull: a Null) unless the property is a Boolean, which takes
// a Null or a whole number as False or True.
struct ColumnRead {
  uint32_t column;
  int prop;
  int kept;
  jet::Statement::Cell::Kind nullAs;
  bool boolean;
  bool ref;
};

// A map's columns resolved against a record type: each column's property
// index (ResolvedProperties), and per property whether a load of the map's
// base columns writes it into its slot (LoadSlot: a base property filled by
// a column of the base group that is not a reference). The columns of the
// base group fill base properties only (ResolveMap refuses a map otherwise),
// so inside a load each has its slot.
struct ResolvedMap {
  std::vector<int> props;
  std::vector<uint8_t> loadedInPlace;
  // The base group's columns, then the lazy group's, in map order.
  std::vector<ColumnRead> reads[2];
};
const ResolvedMap& ResolveMap(const ColumnMap& map, const RecordClass& cls);

// The Boolean that tells a record holds its lazy columns.
constexpr std::string_view kLazyFlag = "LazyLoaded";

bool EndsWith(std::string_view s, std::string_view tail) {
  return s.size() > tail.size() && s.substr(s.size() - tail.size()) == tail;
}

// A text as its column takes it: through the column's write conversion,
// then cut to the column's size (texts are cut, never refused); a text that
// needs neither is the value as it is. `i` is the column's field index in
// `rs` (-1: none).
Variant FittedText(const ColumnDef& c, dao::Recordset& rs, int32_t i, const Variant& value) {
  if (!value.IsString() && !c.writeText) return value;
  int32_t limit = -1;  // none
  if (i >= 0) {
    const jet::FieldSpec& spec = rs.Column(i).spec;
    if (spec.type == jet::JetType::kText || spec.type == jet::JetType::kChar)
      limit = spec.size > 0 ? spec.size : 255;
  }
  if (!c.writeText) {
    const std::string& s = value.AsString();
    if (limit < 0 || !dao::LongerThan16(s, limit)) return value;
    return Variant(Truncate16(s, limit));
  }
  std::string s = c.writeText(CStr(value));
  if (limit >= 0 && dao::LongerThan16(s, limit)) s = Truncate16(s, limit);
  return Variant(std::move(s));
}

// Sets one field of the edit buffer (`i` its index, -1: by name, which
// raises the error of a missing field); a failure names the table, the
// field and the value.
void WriteField(dao::Recordset& rs, std::string_view table, std::string_view column, int32_t i,
                Variant value) {
  GuardX(
      kModule, "WriteField",
      [&] {
        return "Table: " + std::string(table) + ", Field: " + std::string(column) +
               ", Value: " + value.Describe();
      },
      [&] {
        // Moved into the buffer; a failed write leaves it for the message.
        if (i >= 0)
          rs.SetField(i, std::move(value));
        else
          rs.SetField(column, std::move(value));
      });
}

// The table recordset of `map` on the row of `id` (NoMatch: none). A save
// writes some fields and reads none, so the seek reads only the row's
// position; a field looked at is read then (SeekUnread). `readsRow`: the
// caller reads the row's fields, which a server's seek then reads with the
// row (one round trip, not a second to read them).
std::shared_ptr<dao::Recordset> SeekRow(dao::Database& db, const ColumnMap& map, double id,
                                        bool readsRow = false) {
  auto rs = OpenMapTable(db, map);
  const Variant key[1] = {Variant(id)};
  if (readsRow && db.IsServer())
    rs->Seek("=", key);
  else
    rs->SeekUnread("=", key);
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

// Each column's field index in the recordsets of `rs`'s column set (-1: no
// such field), resolved once per (map, column set) and thread: the
// recordsets of one table share their columns, so a mapper reading a record
// per call looks no column up by name. An entry lives while its column set
// does; an address reused by a new set finds the old entry expired.
const std::vector<int32_t>& FieldIndexes(const ColumnMap& map, const dao::Recordset& rs) {
  struct Entry {
    std::weak_ptr<const dao::ColumnSet> set;
    std::vector<int32_t> indexes;
  };
  thread_local std::map<std::pair<const ColumnMap*, const dao::ColumnSet*>, Entry> cache;
  const std::shared_ptr<const dao::ColumnSet>& set = rs.Columns();
  auto [it, added] = cache.try_emplace({&map, set.get()});
  if (added || it->second.set.expired()) {
    // Statement recordsets bring a set each: drop the entries of sets gone.
    // Entries of live sets stay put, so the one returned below does too.
    if (added && cache.size() >= 256)
      std::erase_if(cache, [](const auto& e) { return e.second.set.expired(); });
    Entry& e = cache[{&map, set.get()}];
    e.set = set;
    e.indexes.clear();
    for (const ColumnDef& c : map.columns) e.indexes.push_back(set->Find(c.column));
    return e.indexes;
  }
  return it->second.indexes;
}

// The names of the `group` columns of `map` in map order, as the field list
// of a point read (its id: the list, kept per map and group for the
// thread, as the maps are constant data).
dao::TableRecordset::FieldList GroupFields(const ColumnMap& map, ColGroup group) {
  struct Lists {
    std::unordered_map<const ColumnMap*, std::vector<std::string_view>> byGroup[2];
    // The last answer (a mapper reads the same map call after call); the
    // tables' nodes stay put.
    const ColumnMap* lastMap = nullptr;
    ColGroup lastGroup = ColGroup::kBase;
    const std::vector<std::string_view>* last = nullptr;
  };
  thread_local Lists lists;
  if (lists.lastMap == &map && lists.lastGroup == group) return {lists.last, *lists.last};
  auto [it, added] = lists.byGroup[group == ColGroup::kLazy].try_emplace(&map);
  if (added)
    for (const ColumnDef& c : map.columns)
      if (c.group == group) it->second.push_back(c.column);
  lists.lastMap = &map;
  lists.lastGroup = group;
  lists.last = &it->second;
  return {&it->second, it->second};
}

// The stored row of `key` in the table of `map`, as a table-type recordset's
// Seek "=" on the map's index finds it, its values the `group` columns in
// map order; false when there is none. On a file a statement stepped onto
// the row (no recordset is built; the statement goes back reset with
// reset() or the object, so no read snapshot outlives the row's read); on
// a server the values the table cursor's Seek read.
class StoredRow {
 public:
  StoredRow(dao::Database& db, const ColumnMap& map, ColGroup group, double key) {
    const dao::TableRecordset::FieldList fields = GroupFields(map, group);
    if (!db.IsServer()) {
      st_ = dao::TableRecordset::SeekFields(db, map.table, map.index, key, fields);
      found_ = st_.has_value();
      if (found_) cells_ = st_->Cells();
      return;
    }
    std::optional<std::vector<Variant>> row =
        dao::SeekServerRow(db, map.table, map.index, key, fields);
    found_ = row.has_value();
    if (found_) values_ = std::move(*row);
  }
  // A row a server read otherwise (a joined select), its values the
  // group's columns in map order.
  explicit StoredRow(std::vector<Variant> values) : values_(std::move(values)), found_(true) {}
  explicit operator bool() const { return found_; }
  int ColumnCount() const { return st_ ? st_->ColumnCount() : static_cast<int>(values_.size()); }
  Variant Value(int j) const { return st_ ? st_->Value(j) : values_[static_cast<size_t>(j)]; }
  // Value(j) into `out`, written where it is (jet::SetCellValue), as the
  // column `r` reads: a Null as ColumnRead::nullAs, and for a Boolean
  // property a Null, a whole number or a Yes/No column's number as False or
  // True, as FitColumnValue would leave them (a row holds mostly Nulls).
  [[gnu::always_inline]] void ValueInto(int j, Variant& out, const ColumnRead& r) const {
    if (!st_) {
      out = values_[static_cast<size_t>(j)];
      return;
    }
    using Kind = jet::Statement::Cell::Kind;
    jet::Statement::Cell c = jet::ReadCell(cells_, j);
    if (r.boolean) {
      std::optional<bool> b;
      if (c.kind == Kind::kNull || c.kind == Kind::kLong || c.kind == Kind::kInteger ||
          c.kind == Kind::kByte)
        b = c.kind != Kind::kNull && c.number != 0;
      else if (c.kind == Kind::kOther)
        b = jet::ReadBooleanCell(cells_, j);  // a Yes/No column's number
      if (b) {
        if (!jet::cell_value::Overwrite(out, VarType::kBoolean, *b)) out = Variant(*b);
        return;
      }
    }
    if (c.kind == Kind::kNull) c.kind = r.nullAs;  // its number 0, its text empty
    if (c.kind != Kind::kOther)
      jet::SetCellValue(out, c);
    else
      out = st_->Value(j);
  }
  void reset() {
    st_.reset();
    values_.clear();
  }

 private:
  std::optional<jet::Statement> st_;
  jet::Statement::RowCells cells_{};  // the statement's row
  std::vector<Variant> values_;
  bool found_ = false;
};

// The position of `column` among the `group` columns of `map`.
size_t GroupPosition(const ColumnMap& map, ColGroup group, std::string_view column) {
  size_t j = 0;
  for (const ColumnDef& c : map.columns) {
    if (c.group != group) continue;
    if (c.column == column) return j;
    ++j;
  }
  throw Error(vberr::kInvalidProcedureCall,
              std::string(map.table) + " maps no column " + std::string(column));
}

// Assigns the `group` columns of `map` to `rec` in map order, each read by
// readInto(i, j, out): `i` the column's index in the map, `j` its index
// among the group's columns. Inside a load a value goes straight into its
// property's slot (a text into the string the slot keeps from the load
// before); a slot left half-written by an error gets its default back.
// After the load of the `group` columns failed at column `failed`: its
// slot, and the slots of the later columns that no earlier one wrote, get
// their defaults back (a load that kept them, BeginLoadKeeping, finds there
// the values of the read before).
void RestoreDefaults(const ColumnMap& map, ColGroup group, QvRecord& rec,
                     const std::vector<int>& props, size_t failed) {
  const auto inPlace = [&](size_t k) {
    const ColumnDef& c = map.columns[k];
    return c.group == group && c.kind != ColKind::kRef && rec.LoadSlot(props[k]);
  };
  for (size_t k = failed; k < map.columns.size(); ++k) {
    if (k != failed && !inPlace(k)) continue;
    bool written = false;
    for (size_t e = 0; e < failed && k != failed && !written; ++e)
      written = inPlace(e) && props[e] == props[k];
    if (!written)
      *rec.LoadSlot(props[k]) = rec.RecordClassOf().Defaults()[static_cast<size_t>(props[k])];
  }
}

// `resolved`: ResolveMap(map, the record's class); readInto(r, j, out)
// reads column `r` (ColumnRead), the group's `j`th.
template <class ReadInto>
void AssignColumns(const ColumnMap& map, const ResolvedMap& resolved, ColGroup group, QvRecord& rec,
                   ReadInto&& readInto) {
  // The list's bounds held in locals: the record's calls could otherwise be
  // taken to change the vector.
  const std::vector<ColumnRead>& list = resolved.reads[group == ColGroup::kLazy];
  const ColumnRead* const reads = list.data();
  const size_t count = list.size();
  // Only a load of the base columns has slots, and those columns fill base
  // properties only.
  Variant* const slots = group == ColGroup::kBase ? rec.LoadSlots() : nullptr;
  for (size_t j = 0; j < count; ++j) {
    const ColumnRead& r = reads[j];
    Variant* slot = slots ? slots + r.prop : nullptr;
    // A reference's number goes where SetSubRecordID would keep it: into a
    // slot of a sub-record property that holds no sub-record.
    if (r.ref && slot && (r.kept < 0 || slot->IsObject())) slot = nullptr;
    if (slot) {
      try {
        readInto(r, j, *slot);
        // A value already as the property keeps it (most of them) is done.
        if (static_cast<int>(slot->Type()) != r.kept) {
          FitColumnValue(map.columns[r.column], *slot);
          if (!r.ref) rec.LoadedValue(r.prop);
        }
      } catch (...) {
        RestoreDefaults(map, group, rec, resolved.props, r.column);
        throw;
      }
      continue;
    }
    Variant v;
    readInto(r, j, v);
    FitColumnValue(map.columns[r.column], v);
    if (r.ref)
      rec.SetSubRecordID(r.prop, v);
    else
      rec.SetValue(r.prop, std::move(v));
  }
}

template <class ReadInto>
void AssignColumns(const ColumnMap& map, ColGroup group, QvRecord& rec, ReadInto&& readInto) {
  AssignColumns(map, ResolveMap(map, rec.RecordClassOf()), group, rec,
                std::forward<ReadInto>(readInto));
}

// The same from the row of a statement whose columns are the group's (the
// read inlined into both of the loop's paths: it was a call a column).
void AssignColumns(const ColumnMap& map, const ResolvedMap& resolved, ColGroup group,
                   const StoredRow& st, QvRecord& rec) {
  AssignColumns(
      map, resolved, group,
      rec, [&](const ColumnRead& r, size_t j, Variant& out) __attribute__((always_inline)) {
        st.ValueInto(static_cast<int>(j), out, r);
      });
}
void AssignColumns(const ColumnMap& map, ColGroup group, const StoredRow& st, QvRecord& rec) {
  AssignColumns(map, ResolveMap(map, rec.RecordClassOf()), group, st, rec);
}

// The value a column is written with; a reference's sub-record is saved
// first when `recursive` and it holds something to write (its mapper would
// skip states 0, 1 and 4 and read-only records anyway).
Variant WrittenValue(const ColumnDef& c, int prop, QvRecord& rec, bool recursive,
                     dao::Recordset& rs, int32_t field) {
  switch (c.kind) {
    case ColKind::kRef: {
      // A reference read and not looked at since is written as it was
      // read, without making its sub-record.
      if (const std::optional<double> id = rec.ReferencedId(prop)) return Variant(*id);
      QvRecordPtr sub = rec.SubRecord(prop);
      if (!sub) return Variant(0.0);
      const int32_t state = sub->State();
      if (recursive && c.saveFirst && !sub->IsReadOnlyRecord() &&
          (state == kChanged || state == kLoaded))
        sub->SaveToStore(true);
      return Variant(sub->State() == kDeleted ? 0.0 : sub->Id());
    }
    case ColKind::kFlag:
      return Variant(int32_t{CBool(rec.Value(prop)) ? 1 : 0});
    case ColKind::kText:
      return FittedText(c, rs, field, rec.Value(prop));
    default:
      return rec.Value(prop);
  }
}

bool HoldsLazyGroup(QvRecord& rec) {
  int g = rec.RecordClassOf().GroupIndexByFlag(kLazyFlag);
  return g >= 0 && rec.GroupLoaded(g);
}

// Writes the written columns of `map` into the edit buffer of `rs`; only
// those `selected` picks when it is given.
void WriteColumns(const ColumnMap& map, dao::Recordset& rs, QvRecord& rec, bool recursive,
                  bool writeLazy, const ColumnFilter* selected = nullptr) {
  const std::vector<int>& props = ResolvedProperties(map, rec.RecordClassOf());
  const std::vector<int32_t>& fields = FieldIndexes(map, rs);
  for (size_t i = 0; i < map.columns.size(); ++i) {
    const ColumnDef& c = map.columns[i];
    if (!c.write) continue;
    if ((c.group == ColGroup::kLazy || c.writeWithLazy) && !writeLazy) continue;
    if (selected && !(*selected)(c.column)) continue;
    WriteField(rs, map.table, c.column, fields[i],
               WrittenValue(c, props[i], rec, recursive, rs, fields[i]));
  }
}

// The detail map of a header's type; null when the type has none.
const ColumnMap* DetailMapOf(const DetailDef& d, int32_t type) {
  for (const DetailMap& m : d.maps)
    if (m.type == type) return m.map;
  return nullptr;
}

int PropertyOf(QvRecord& rec, std::string_view name) {
  int i = rec.PropertyIndex(name);
  if (i < 0)
    throw Error(vberr::kInvalidProcedureCall,
                std::string(rec.RecordClassOf().Name()) + " has no property " + std::string(name));
  return i;
}

// The detail table and row of a header record from its Type and link
// properties; null when the type has no detail table.
const ColumnMap* RecordDetail(const DetailDef& d, QvRecord& rec, double& link) {
  link = CDbl(rec.Value(PropertyOf(rec, d.linkColumn)));
  return DetailMapOf(d, CLng(rec.Value(PropertyOf(rec, d.typeColumn))));
}

// Sub-records the row owns, deleted with it through their mappers: the
// record's own sub-records for the columns it holds; for lazy columns of a
// record that does not hold its lazy group (a record deleted by its
// identifier alone), records made for the identifiers of the stored row
// `stored` (null: no row, nothing of those).
void DeleteOwned(const ColumnMap& map, QvRecord& rec, dao::Recordset* stored) {
  const std::vector<int>& props = ResolvedProperties(map, rec.RecordClassOf());
  const bool lazyHeld = HoldsLazyGroup(rec);
  std::vector<QvRecordPtr> owned;
  for (size_t i = 0; i < map.columns.size(); ++i) {
    const ColumnDef& c = map.columns[i];
    if (!c.owned || c.kind != ColKind::kRef) continue;
    if (c.group != ColGroup::kLazy || lazyHeld) {
      owned.push_back(rec.SubRecord(props[i]));
    } else if (stored) {
      const double id = mQvCommonCalc::ConvertOr<double>(stored->FieldValue(c.column), 0.0,
                                                         [](const Variant& x) { return CDbl(x); });
      if (id == 0) continue;
      owned.push_back(RecordFactory::ForThisThread()->GetRecord(
          std::string(rec.RecordClassOf().Property(props[i]).progId), Variant(id)));
    }
  }
  for (const QvRecordPtr& sub : owned)
    if (sub && sub->Id() != 0 && !sub->IsReadOnlyRecord()) sub->DeleteFromStore();
}

}  // namespace

void UndoOnRollback(dao::Database& db, QvRecord& rec) {
  std::weak_ptr<QvRecord> weak = std::static_pointer_cast<QvRecord>(rec.shared_from_this());
  dao::Transaction::OnRollback(db, [weak, id = rec.IdValue(), state = rec.State()] {
    if (auto r = weak.lock()) r->RestoreAfterRollback(id, state);
  });
}

void FitColumnValue(const ColumnDef& c, Variant& v) {
  switch (c.kind) {
    case ColKind::kText: {
      if (v.IsString()) {
        if (c.readText) v = Variant(c.readText(v.AsString()));
        return;
      }
      std::string s =
          mQvCommonCalc::ConvertOr<std::string>(v, {}, [](const Variant& x) { return CStr(x); });
      v = Variant(c.readText ? c.readText(s) : std::move(s));
      return;
    }
    case ColKind::kLong:
      if (v.Type() != VarType::kLong)
        v = Variant(
            mQvCommonCalc::ConvertOr<int32_t>(v, 0, [](const Variant& x) { return CLng(x); }));
      return;
    case ColKind::kDouble:
    case ColKind::kRef:
      if (v.Type() != VarType::kDouble)
        v = Variant(
            mQvCommonCalc::ConvertOr<double>(v, 0.0, [](const Variant& x) { return CDbl(x); }));
      return;
    case ColKind::kDate:
      if (!v.IsDate())
        v = Variant(mQvCommonCalc::ConvertOr<OleDate>(v, OleDate{},
                                                      [](const Variant& x) { return CDate(x); }));
      return;
    case ColKind::kBool:
    case ColKind::kFlag:
      if (v.Type() != VarType::kBoolean)
        v = Variant(
            mQvCommonCalc::ConvertOr<bool>(v, false, [](const Variant& x) { return CBool(x); }));
      return;
  }
  v = Variant();
}

Variant ColumnValue(const ColumnDef& c, Variant v) {
  FitColumnValue(c, v);
  return v;
}

std::string_view PropertyNameOf(const ColumnDef& c) {
  if (!c.property.empty() || c.kind != ColKind::kRef)
    return c.property.empty() ? c.column : c.property;
  std::string_view n = c.column;
  for (std::string_view tail : {"_ID", "_Id", "ID", "Id"})
    if (EndsWith(n, tail)) return n.substr(0, n.size() - tail.size());
  return n;
}

namespace {

// The type a value read keeps through both the column's fitting and the
// property's conversion, by the column's kind and the property's.
struct KeptRead {
  ColKind column;
  Kind property;
  VarType kept;
};
constexpr KeptRead kKeptAsRead[] = {
    {ColKind::kText, Kind::kText, VarType::kString},
    {ColKind::kLong, Kind::kLong, VarType::kLong},
    {ColKind::kDouble, Kind::kDouble, VarType::kDouble},
    {ColKind::kDate, Kind::kDate, VarType::kDate},
    {ColKind::kBool, Kind::kBoolean, VarType::kBoolean},
    {ColKind::kFlag, Kind::kBoolean, VarType::kBoolean},
    // The sub-record's number, as SetSubRecordID keeps it.
    {ColKind::kRef, Kind::kRecord, VarType::kDouble},
};

// ColumnRead::kept of a column filling a property of `kind`.
int KeptAsRead(const ColumnDef& c, Kind kind) {
  if (c.kind == ColKind::kText && c.readText) return -1;  // the text is converted
  for (const KeptRead& k : kKeptAsRead)
    if (k.column == c.kind && k.property == kind) return static_cast<int>(k.kept);
  return -1;
}

// ColumnRead::nullAs of a column whose property keeps `kept`.
jet::Statement::Cell::Kind NullReadAs(int kept) {
  using K = jet::Statement::Cell::Kind;
  switch (static_cast<VarType>(kept)) {
    case VarType::kString:
      return K::kText;
    case VarType::kLong:
      return K::kLong;
    case VarType::kDouble:
      return K::kDouble;
    case VarType::kDate:
      return K::kDate;
    default:
      return K::kNull;
  }
}

// ResolveMap's table, shared by the threads.
const ResolvedMap& ResolveMapShared(const ColumnMap& map, const RecordClass& cls) {
  static std::mutex mutex;
  static std::map<std::pair<const ColumnMap*, const RecordClass*>, ResolvedMap> cache;
  std::lock_guard lock(mutex);
  auto [it, added] = cache.try_emplace({&map, &cls});
  if (added) {
    try {
      ResolvedMap& r = it->second;
      r.loadedInPlace.assign(static_cast<size_t>(cls.PropertyCount()), 0);
      for (const ColumnDef& c : map.columns) {
        int index = cls.PropertyIndex(PropertyNameOf(c));
        if (index < 0)
          throw Error(vberr::kInvalidProcedureCall, std::string(cls.Name()) + " has no property " +
                                                        std::string(PropertyNameOf(c)) +
                                                        " for column " + std::string(map.table) +
                                                        "." + std::string(c.column));
        const PropertyDef& p = cls.Property(index);
        // A lazy group's value comes with its group's read.
        if (c.group == ColGroup::kBase && p.group != kBase)
          throw Error(vberr::kInvalidProcedureCall,
                      std::string(cls.Name()) + "." + std::string(p.name) +
                          " is read with its group, not by the base column " +
                          std::string(map.table) + "." + std::string(c.column));
        r.props.push_back(index);
        if (c.group == ColGroup::kBase && c.kind != ColKind::kRef)
          r.loadedInPlace[static_cast<size_t>(index)] = 1;
        const int kept = KeptAsRead(c, p.kind);
        r.reads[c.group == ColGroup::kLazy].push_back(
            {static_cast<uint32_t>(r.props.size() - 1), index, kept, NullReadAs(kept),
             kept == static_cast<int>(VarType::kBoolean), c.kind == ColKind::kRef});
      }
    } catch (...) {
      cache.erase(it);
      throw;
    }
  }
  return it->second;  // std::map nodes stay put
}

const ResolvedMap& ResolveMap(const ColumnMap& map, const RecordClass& cls) {
  // The thread's last answers first: a mapper asks for the same few pairs
  // on every call, and the shared table takes a lock. Its entries stay put.
  struct Recent {
    const ColumnMap* map = nullptr;
    const RecordClass* cls = nullptr;
    const ResolvedMap* resolved = nullptr;
  };
  thread_local Recent recent[4];
  thread_local size_t next = 0;
  for (const Recent& r : recent)
    if (r.map == &map && r.cls == &cls) return *r.resolved;
  const ResolvedMap& resolved = ResolveMapShared(map, cls);
  recent[next] = {&map, &cls, &resolved};
  next = (next + 1) % std::size(recent);
  return resolved;
}

}  // namespace

const std::vector<int>& ResolvedProperties(const ColumnMap& map, const RecordClass& cls) {
  return ResolveMap(map, cls).props;
}

std::shared_ptr<QvRecord> RecordArg(const MapperDef& def, const Variant& aRecord,
                                    bool allowNothing) {
  return RecordArg(def.recordProgId, aRecord, allowNothing);
}

std::shared_ptr<QvRecord> RecordArg(std::string_view recordProgId, const Variant& aRecord,
                                    bool allowNothing) {
  if (aRecord.IsEmpty() || aRecord.IsNothing()) {
    if (allowNothing) return nullptr;
    ThrowVb(vberr::kObjectRequired, "a record object was expected");
  }
  if (!aRecord.IsObject()) ThrowVb(vberr::kTypeMismatch, "a record object was expected");
  // QvRecord is final: an object of its exact type is the only one that
  // casts (a type check, not a walk of the class hierarchy).
  const ObjectPtr& object = aRecord.AsObject();
  const QvRecord* rec = object && typeid(*object) == typeid(QvRecord)
                            ? static_cast<QvRecord*>(object.get())
                            : nullptr;
  if (!rec ||
      (rec->Type().progId != recordProgId && !EqualsAsciiNoCase(rec->Type().progId, recordProgId)))
    ThrowVb(vberr::kTypeMismatch,
            std::string("a ") + std::string(recordProgId) + " record was expected");
  return std::static_pointer_cast<QvRecord>(object);
}

std::shared_ptr<dao::Recordset> OpenMapTable(dao::Database& db, const ColumnMap& map) {
  auto rs = db.OpenTable(map.table);
  rs->SetIndex(std::string(map.index));
  return rs;
}

namespace {

// The header's columns `header` (in map order) and the detail row `dst`
// of a header + detail record loaded into `rec`, then the read's hooks.
void LoadHeaderAndDetail(dao::Database& db, const MapperDef& def, const ColumnMap& map,
                         const ColumnMap& detail, double id, std::vector<Variant>& header,
                         StoredRow& dst, QvRecord& rec) {
  rec.BeginLoad(Variant(id));
  AssignColumns(map, ColGroup::kBase, rec,
                [&](const ColumnRead&, size_t j, Variant& out) { out = std::move(header[j]); });
  AssignColumns(detail, ColGroup::kBase, dst, rec);
  dst.reset();
  if (def.hooks.afterRead) def.hooks.afterRead(rec);
  for (const ValueListDef& list : def.valueLists) ReadValueList(db, list, rec);
  if (def.hooks.readMore) def.hooks.readMore(db, rec);
  rec.EndLoad();
}

// A header + detail record on a server read in one round trip: for each
// detail table a select of the header row of `id` whose type is that
// table's, joined to the detail row of its link, all but the last started
// with the last (StartWithNextSelect: one pipeline). True with the record
// loaded when one of them found its pair of rows. False, nothing loaded,
// when none did or the read failed: the caller then reads the header and
// the detail row one after the other, which tells the record missing or
// raises what it raises as it always did (a link that is Null, a type
// stored as other than a whole number, a column a table lacks).
bool ReadHeaderWithDetail(dao::Database& db, const MapperDef& def, const ColumnMap& map, double id,
                          QvRecord& rec) {
  const DetailDef& d = *def.detail;
  const dao::TableRecordset::FieldList headerFields = GroupFields(map, ColGroup::kBase);
  const size_t headerCount = headerFields.names.size();
  // The joined texts, kept per (header map, detail map) for the thread.
  thread_local std::map<std::pair<const ColumnMap*, const ColumnMap*>, std::string> texts;
  std::vector<std::shared_ptr<jet::EngineStatement>> sts;
  sts.reserve(d.maps.size());
  // The statements are the database's to keep: none is left mid-read.
  struct ResetAll {
    std::vector<std::shared_ptr<jet::EngineStatement>>& sts;
    ~ResetAll() {
      for (const auto& st : sts) try {
          st->Reset();
        } catch (...) {
          // The connection is gone: nothing is left to read.
        }
    }
  } resetAll{sts};
  const Variant key(mQvDaoDataBase::Number2DaoValue(id));
  const ColumnMap* detail = nullptr;
  std::vector<Variant> header, values;
  try {
    for (const DetailMap& m : d.maps) {
      auto [text, added] = texts.try_emplace({&map, m.map});
      if (added) {
        std::string columns;
        for (std::string_view c : headerFields.names)
          columns += (columns.empty() ? "H.[" : ", H.[") + std::string(c) + "]";
        for (std::string_view c : GroupFields(*m.map, ColGroup::kBase).names)
          columns += ", D.[" + std::string(c) + "]";
        text->second = "SELECT " + columns + " FROM [" + std::string(map.table) +
                       "] AS H INNER JOIN [" + std::string(m.map->table) + "] AS D ON D.[" +
                       std::string(m.map->key) + "] = H.[" + std::string(d.linkColumn) +
                       "] WHERE H.[" + std::string(map.key) + "] = 0.5 AND H.[" +
                       std::string(d.typeColumn) + "] = " + std::to_string(m.type);
      }
      sts.push_back(db.KeptServerStatement(text->second));
      jet::EngineStatement& st = *sts.back();
      st.Reset();
      st.ReadsEveryRow();
      st.Bind(1, key);
    }
    for (size_t i = 0; i + 1 < sts.size(); ++i) sts[i]->StartWithNextSelect();
    // The last one's step sends them all; then each in the detail tables'
    // order, the first found taken (as DetailMapOf takes the first).
    const bool lastFound = !sts.empty() && sts.back()->Step();
    for (size_t i = 0; i < sts.size(); ++i) {
      if (i + 1 < sts.size() ? !sts[i]->Step() : !lastFound) continue;
      jet::EngineStatement& st = *sts[i];
      for (int j = 0; j < st.ColumnCount(); ++j)
        (static_cast<size_t>(j) < headerCount ? header : values).push_back(st.Value(j));
      detail = d.maps[i].map;
      break;
    }
  } catch (const Error&) {
    return false;
  }
  if (!detail) return false;
  for (const auto& st : sts) st->Reset();
  ResolvedProperties(*detail, rec.RecordClassOf());
  StoredRow dst(std::move(values));
  LoadHeaderAndDetail(db, def, map, *detail, id, header, dst, rec);
  return true;
}

}  // namespace

void ReadRow(dao::Database& db, const MapperDef& def, double id, QvRecord& rec) {
  if (id == 0) {
    rec.Clear();
    return;
  }
  const ColumnMap& map = def.hooks.mapFor ? *def.hooks.mapFor(id) : def.map;
  // A map that does not fit fails before the read.
  const ResolvedMap& resolved = ResolveMap(map, rec.RecordClassOf());
  if (def.detail && db.IsServer() && ReadHeaderWithDetail(db, def, map, id, rec)) return;
  StoredRow st(db, map, ColGroup::kBase, id);
  if (!st) {
    rec.MarkNotFound(Variant(id));
    return;
  }
  if (!def.detail) {
    // The slots the columns fill keep their values until the load writes
    // them: no default is put back only to be overwritten.
    rec.BeginLoadKeeping(Variant(id), resolved.loadedInPlace);
    AssignColumns(map, resolved, ColGroup::kBase, st, rec);
    st.reset();  // no read snapshot outlives the row's read
    if (def.hooks.afterRead) def.hooks.afterRead(rec);
    for (const ValueListDef& list : def.valueLists) ReadValueList(db, list, rec);
    if (def.hooks.readMore) def.hooks.readMore(db, rec);
    rec.EndLoad();
    return;
  }
  // Header + detail: a type without a detail table, or a link without its
  // row, reads as missing.
  std::vector<Variant> header;
  for (int j = 0; j < st.ColumnCount(); ++j) header.push_back(st.Value(j));
  st.reset();
  const ColumnMap* detail = DetailMapOf(
      *def.detail, mQvCommonCalc::ConvertOr<int32_t>(
                       header[GroupPosition(map, ColGroup::kBase, def.detail->typeColumn)], 0,
                       [](const Variant& x) { return CLng(x); }));
  if (!detail) {
    rec.MarkNotFound(Variant(id));
    return;
  }
  ResolvedProperties(*detail, rec.RecordClassOf());
  const double link = mQvCommonCalc::ConvertOr<double>(
      header[GroupPosition(map, ColGroup::kBase, def.detail->linkColumn)], 0.0,
      [](const Variant& x) { return CDbl(x); });
  StoredRow dst(db, *detail, ColGroup::kBase, link);
  if (!dst) {
    rec.MarkNotFound(Variant(id));
    return;
  }
  LoadHeaderAndDetail(db, def, map, *detail, id, header, dst, rec);
}

void FillFromRow(const MapperDef& def, dao::Recordset& rs, double id, QvRecord& rec) {
  ResolvedProperties(def.map, rec.RecordClassOf());
  const std::vector<int32_t>& fields = FieldIndexes(def.map, rs);
  rec.BeginLoad(Variant(id));
  // A column the recordset lacks raises its error through the name.
  AssignColumns(def.map, ColGroup::kBase, rec, [&](const ColumnRead& r, size_t, Variant& out) {
    const size_t i = r.column;
    out = fields[i] >= 0 ? rs.FieldValue(fields[i]) : rs.FieldValue(def.map.columns[i].column);
  });
  if (def.hooks.afterRead) def.hooks.afterRead(rec);
  rec.EndLoad();
}

void ReadLazyRow(dao::Database& db, const MapperDef& def, QvRecord& rec) {
  int group = rec.RecordClassOf().GroupIndexByFlag(kLazyFlag);
  if (group < 0) ThrowVb(vberr::kInvalidProcedureCall, "the record has no lazy columns");
  double id = rec.Id();
  if (id == 0) return;
  if (rec.State() != kLoaded) {  // not read (or not found before): the base columns first
    ReadRow(db, def, id, rec);
    if (rec.State() != kLoaded) return;
  }
  const ColumnMap* map = def.hooks.mapFor ? def.hooks.mapFor(id) : &def.map;
  double key = id;
  if (def.detail) {
    map = RecordDetail(*def.detail, rec, key);
    if (!map) {
      rec.MarkNotFound(Variant(id));
      return;
    }
  }
  const std::function<void(QvRecord&)> after =
      def.hooks.aroundLazyRead ? def.hooks.aroundLazyRead(db, rec) : nullptr;
  StoredRow st(db, *map, ColGroup::kLazy, key);
  if (!st) {
    rec.MarkNotFound(Variant(id));
    return;
  }
  rec.BeginGroupLoad(group);
  AssignColumns(*map, ColGroup::kLazy, st, rec);
  st.reset();
  if (after) after(rec);
  for (const ChildListDef& list : def.lists) ReadChildList(db, list, rec);
  rec.EndGroupLoad(group);
}

namespace {

// A row opened for writing: Edit of a stored row or AddNew of a new one.
struct OpenedRow {
  bool skip = false;
  bool inserted = false;
  double newId = 0;  // the key of a row inserted under NextId
};

// Opens `rs` on the record's row `id` (see the pattern at the top).
OpenedRow OpenForWrite(dao::Recordset& rs, const ColumnMap& map, const MapperHooks& hooks,
                       QvRecord& rec, double id) {
  OpenedRow row;
  if (id != 0) {
    const Variant key[1] = {Variant(id)};
    rs.SeekUnread("=", key);
    if (!rs.NoMatch()) {
      rs.Edit();
      return row;
    }
    if (!hooks.insertMissing) {
      row.skip = true;
      return row;
    }
    rs.AddNew();
    rs.SetField(map.key, Variant(id));
    row.inserted = true;
    return row;
  }
  if (rec.IsBlank()) {
    row.skip = true;
    return row;
  }
  double next = mQvDaoDataBase::NextId(rs, map.key);
  if (hooks.newId) next = hooks.newId(next);
  rs.AddNew();
  rs.SetField(map.key, Variant(next));
  row.newId = next;
  row.inserted = true;
  return row;
}

// The detail row of a header save: the row of the record's link, or, when
// the link is 0 or its row is gone, a new row under the detail table's
// NextId whose key becomes the record's link.
void OpenDetailForWrite(dao::Database& db, dao::Recordset& rs, const ColumnMap& map,
                        const DetailDef& d, QvRecord& rec, double link) {
  if (link != 0) {
    const Variant key[1] = {Variant(link)};
    rs.SeekUnread("=", key);
    if (!rs.NoMatch()) {
      rs.Edit();
      return;
    }
  }
  const double next = mQvDaoDataBase::NextId(rs, map.key);
  rs.AddNew();
  rs.SetField(map.key, Variant(next));
  const int linkProp = PropertyOf(rec, d.linkColumn);
  std::weak_ptr<QvRecord> weak = std::static_pointer_cast<QvRecord>(rec.shared_from_this());
  dao::Transaction::OnRollback(db, [weak, linkProp, link] {
    if (auto r = weak.lock()) r->SetValue(linkProp, Variant(link));
  });
  rec.SetValue(linkProp, Variant(next));
}

// What a save tells its record once its transaction has committed.
enum class Saved { kNothing, kInserted, kUpdated };

// `alone`: the save's scope is its transaction's (it joined none), which
// ends at its first failure; an update of a row may then go with the next
// request (the commit's).
Saved SaveRowNow(dao::Database& db, const MapperDef& def, QvRecord& rec, bool recursive,
                 const Variant& extra, bool alone) {
  const ColumnMap& map = def.writeMap ? *def.writeMap : def.map;
  ResolvedProperties(map, rec.RecordClassOf());
  const ColumnMap* detail = nullptr;
  double link = 0;
  if (def.detail) {
    detail = RecordDetail(*def.detail, rec, link);
    if (!detail) return Saved::kNothing;  // a type without a detail table is not saved
  }
  const auto update = [alone](dao::Recordset& rs) {
    if (alone)
      rs.UpdateWithNextRequest();
    else
      rs.Update();
  };

  auto rs = OpenMapTable(db, map);
  CloseOnExit closer(*rs);
  // On a server the detail row's seek goes with the header's (one round
  // trip): neither depends on the other.
  std::shared_ptr<dao::Recordset> drs;
  std::optional<CloseOnExit> detailCloser;
  if (detail && db.IsServer()) {
    drs = OpenMapTable(db, *detail);
    detailCloser.emplace(*drs);
    if (link != 0) {
      const Variant key[1] = {Variant(link)};
      drs->StartSeek("=", key);
    }
  }
  OpenedRow row = OpenForWrite(*rs, map, def.hooks, rec, rec.Id());
  if (row.skip) return Saved::kNothing;
  if (def.hooks.beforeWrite) def.hooks.beforeWrite(db, rec);

  const bool writeLazy = HoldsLazyGroup(rec);
  if (detail) {
    if (!drs) {
      drs = OpenMapTable(db, *detail);
      detailCloser.emplace(*drs);
    }
    OpenDetailForWrite(db, *drs, *detail, *def.detail, rec, link);
    WriteColumns(*detail, *drs, rec, recursive, writeLazy);
    update(*drs);
    drs->Close();
  }
  WriteColumns(map, *rs, rec, recursive, writeLazy);
  if (def.hooks.beforeUpdate) def.hooks.beforeUpdate(*rs, rec, extra);
  update(*rs);
  rs->Close();
  // The record takes its new identifier once the row holds it, so that a
  // failed write leaves it new and the next save inserts again.
  if (row.newId != 0) {
    UndoOnRollback(db, rec);
    rec.AssignNewID(Variant(row.newId));
  }
  for (const ValueListDef& list : def.valueLists) SaveValueList(db, list, rec);
  if (writeLazy)
    for (const ChildListDef& list : def.lists) SaveChildList(db, list, rec, recursive);
  if (def.hooks.afterWrite) def.hooks.afterWrite(db, rec, recursive, extra);
  if (def.hooks.notifies && !def.hooks.notifies(extra)) return Saved::kNothing;
  return row.inserted ? Saved::kInserted : Saved::kUpdated;
}

// Whether a save of `rec` may take its stored rows (the record's, and for
// a header its link's detail row) to be there and write them unsought: on
// a server, outside any transaction, with nothing between finding the rows
// and writing them but their columns (no beforeWrite, beforeUpdate or
// afterWrite hook, no value list, no child list written, no sub-record
// saved first). Run again after a wrong guess, such a save does nothing
// twice.
bool SavesUnsought(dao::Database& db, const MapperDef& def, QvRecord& rec, bool recursive,
                   const ColumnMap& map, const ColumnMap* detail, double link) {
  if (!db.IsServer() || rec.Id() == 0 || (def.detail && (!detail || link == 0))) return false;
  const MapperHooks& h = def.hooks;
  if (h.beforeWrite || h.beforeUpdate || h.afterWrite || !def.valueLists.empty()) return false;
  if (!def.lists.empty() && HoldsLazyGroup(rec)) return false;
  const auto savesFirst = [](const ColumnMap& m) {
    return std::any_of(m.columns.begin(), m.columns.end(), [](const ColumnDef& c) {
      return c.write && c.kind == ColKind::kRef && c.saveFirst;
    });
  };
  if (recursive && (savesFirst(map) || (detail && savesFirst(*detail)))) return false;
  return db.ServerEngine().TransactionDepth() == 0;
}

// The save of a record SavesUnsought admits, its rows taken to be there:
// each edited by its key unsought (Recordset::EditUnsought) and its update
// held for the commit, which sends the begin, the write lock, the updates
// (each raising 3167 on the server when it finds no row, so that nothing
// after it runs) and the COMMIT in one round trip. Null when the guess
// fails, with nothing written: a row is not there, or the save's steps
// fail (a value its column refuses), or a recordset cannot edit unsought;
// the save then runs the seeking way, whose outcome is the save's (an
// insert under the record's ID, a new detail row, nothing, or the step's
// error), as for a row deleted a moment before the save. A wait for the
// lock that runs out and a lost session are the save's failure as they
// are.
std::optional<Saved> SaveUnsought(dao::Database& db, const MapperDef& def, QvRecord& rec,
                                  bool recursive, const Variant& extra, const ColumnMap& map,
                                  const ColumnMap* detail, double link) {
  try {
    dao::Transaction tx(db, dao::kWriteLockWithFirstStatement);
    if (tx.Joined()) return std::nullopt;
    const bool writeLazy = HoldsLazyGroup(rec);
    // The detail row first, in the order the seeking way writes them.
    if (detail) {
      auto drs = OpenMapTable(db, *detail);
      CloseOnExit detailCloser(*drs);
      const Variant key[1] = {Variant(link)};
      if (!drs->EditUnsought(key)) return std::nullopt;
      WriteColumns(*detail, *drs, rec, recursive, writeLazy);
      drs->UpdateWithNextRequest();
    }
    auto rs = OpenMapTable(db, map);
    CloseOnExit closer(*rs);
    const Variant key[1] = {Variant(rec.Id())};
    if (!rs->EditUnsought(key)) return std::nullopt;
    WriteColumns(map, *rs, rec, recursive, writeLazy);
    rs->UpdateWithNextRequest();
    rs->Close();
    tx.Commit();
  } catch (const Error& e) {
    const int32_t n = e.Number();
    if (n == jet::jeterr::kLocked || n == jet::jeterr::kDiskError) throw;
    return std::nullopt;
  }
  if (def.hooks.notifies && !def.hooks.notifies(extra)) return Saved::kNothing;
  return Saved::kUpdated;
}

void DeleteRowNow(dao::Database& db, const MapperDef& def, QvRecord& rec) {
  const double id = rec.Id();
  const ColumnMap& map = def.writeMap ? *def.writeMap : def.map;
  if (def.hooks.beforeDelete) def.hooks.beforeDelete(db, rec);
  for (const ValueListDef& list : def.valueLists) DeleteValueList(db, list, id);
  auto rs = SeekRow(db, map, id, true);
  CloseOnExit closer(*rs);
  DeleteOwned(map, rec, rs->NoMatch() ? nullptr : rs.get());
  const Variant key[1] = {Variant(id)};
  // The owned deletes may have moved the cursor: each delete seeks again
  // (reading the header's type and link below).
  if (def.detail && db.IsServer())
    rs->Seek("=", key);
  else
    rs->SeekUnread("=", key);
  if (!rs->NoMatch() && def.detail) {
    // The detail row named by the stored header (the record may be stale).
    const int32_t type = mQvCommonCalc::ConvertOr<int32_t>(
        rs->FieldValue(def.detail->typeColumn), 0, [](const Variant& x) { return CLng(x); });
    const double link = mQvCommonCalc::ConvertOr<double>(
        rs->FieldValue(def.detail->linkColumn), 0.0, [](const Variant& x) { return CDbl(x); });
    if (const ColumnMap* detail = DetailMapOf(*def.detail, type)) {
      auto drs = SeekRow(db, *detail, link, true);
      CloseOnExit detailCloser(*drs);
      DeleteOwned(*detail, rec, drs->NoMatch() ? nullptr : drs.get());
      const Variant detailKey[1] = {Variant(link)};
      drs->SeekUnread("=", detailKey);
      if (!drs->NoMatch()) drs->Delete();
    }
    rs->SeekUnread("=", key);
  }
  if (!rs->NoMatch()) rs->Delete();
}

}  // namespace

void SaveRow(dao::Database& db, const MapperDef& def, QvRecord& rec, bool recursive,
             const Variant& extra) {
  if (!def.saves) return;
  int32_t state = rec.State();
  if (state == kNew || state == kReference || state == kDeleted) return;
  if (rec.IsReadOnlyRecord()) return;
  if (def.hooks.saveGate && !def.hooks.saveGate(rec)) return;
  // A stored record's rows written unsought where nothing else of the save
  // depends on finding them (one round trip on a server); the seeking way
  // when the guess fails.
  if (db.IsServer()) {
    const ColumnMap& map = def.writeMap ? *def.writeMap : def.map;
    ResolvedProperties(map, rec.RecordClassOf());
    double link = 0;
    const ColumnMap* detail = def.detail ? RecordDetail(*def.detail, rec, link) : nullptr;
    if (SavesUnsought(db, def, rec, recursive, map, detail, link))
      if (const std::optional<Saved> saved =
              SaveUnsought(db, def, rec, recursive, extra, map, detail, link)) {
        if (*saved == Saved::kUpdated) rec.AfterUpdate();
        return;
      }
  }
  // The save's statements are what the lock serialises: on a server it
  // goes with the first of them.
  dao::Transaction tx(db, dao::kWriteLockWithFirstStatement);
  const bool alone = !tx.Joined();
  Saved saved = Saved::kNothing;
  try {
    saved = SaveRowNow(db, def, rec, recursive, extra, alone);
  } catch (...) {
    // An update held for the next request came before what failed: its
    // failure is the save's, as when it ran at once.
    if (alone && db.IsServer()) db.ServerEngine().SendHeld();
    throw;
  }
  tx.Commit();
  // Told once committed: the commit raises a held update's failure.
  if (saved == Saved::kInserted)
    rec.AfterInsert();
  else if (saved == Saved::kUpdated)
    rec.AfterUpdate();
}

void DeleteRow(dao::Database& db, const MapperDef& def, QvRecord* rec) {
  if (!def.saves || !rec) return;
  double id = rec->Id();
  if (id == 0) return;
  if (rec->IsReadOnlyRecord()) return;
  if (def.hooks.deleteGate && !def.hooks.deleteGate(id)) return;
  dao::Transaction tx(db, dao::kWriteLock);
  DeleteRowNow(db, def, *rec);
  UndoOnRollback(db, *rec);
  rec->AfterDelete();
  tx.Commit();
}

void DeleteRecordsListed(dao::Database& db, const std::string& idQuery, std::string_view progId) {
  std::vector<double> ids;
  auto rs = db.OpenStatement(idQuery, dao::dbOpenSnapshot);
  for (; !rs->IsEOF(); rs->MoveNext())
    ids.push_back(mQvCommonCalc::ConvertOr<double>(rs->FieldValue(0), 0.0,
                                                   [](const Variant& x) { return CDbl(x); }));
  rs->Close();
  const auto factory = RecordFactory::ForThisThread();
  for (double id : ids) factory->GetRecord(std::string(progId), Variant(id))->DeleteFromStore();
}

bool UpdateColumns(dao::Database& db, const MapperDef& def, QvRecord& rec,
                   const ColumnFilter& selected) {
  const ColumnMap& map = def.writeMap ? *def.writeMap : def.map;
  dao::Transaction tx(db, dao::kWriteLockWithFirstStatement);
  auto rs = SeekRow(db, map, rec.Id());
  CloseOnExit closer(*rs);
  if (rs->NoMatch()) return false;
  rs->Edit();
  WriteColumns(map, *rs, rec, false, HoldsLazyGroup(rec), &selected);
  // Alone in its transaction, the update goes with the commit.
  if (tx.Joined())
    rs->Update();
  else
    rs->UpdateWithNextRequest();
  rs->Close();
  tx.Commit();
  return true;
}

bool RowExists(dao::Database& db, const MapperDef& def, double id) {
  if (def.hooks.existsWithoutTable && def.hooks.existsWithoutTable(id)) return true;
  const ColumnMap& map = def.hooks.mapFor ? *def.hooks.mapFor(id) : def.map;
  static const std::vector<std::string_view> kNoFields;
  // A server has no native point read: a seek of the table's cursor.
  const dao::TableRecordset::FieldList none{&kNoFields, kNoFields};
  if (db.IsServer()) return dao::SeekServerRow(db, map.table, map.index, id, none).has_value();
  return dao::TableRecordset::SeekFields(db, map.table, map.index, id, none).has_value();
}

}  // namespace qv::records
