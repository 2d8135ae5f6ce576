#include "pfr/PfrSubDocItems.h"

#include <algorithm>
#include <string>
#include <vector>

#include "core/mQvDaoDataBase.h"
#include "platform/automation/Collection.h"
#include "platform/automation/VbaText.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/Transaction.h"
#include "platform/jet/JetConnection.h"
#include "platform/jet/JetEngine.h"
#include "platform/jet/JetStatement.h"
#include "records/MapperEngine.h"

namespace qv::pfr {

namespace {

using records::ColKind;
using records::ColumnDef;
using records::QvRecord;
using records::QvRecordPtr;
using namespace records::col;

// A UTF-8 text has at least as many bytes as UTF-16 units: a short one
// needs no counting.
std::string First250(std::string_view value) {
  return value.size() <= 250 ? std::string(value) : Left(value, 250);
}

constexpr ColumnDef kCellColumns[] = {Long("Key"), Long("LineNum"), Long("TableNum"),
                                      Long("ValueType"), WrittenAs(Text("Value"), &First250)};
constexpr records::ColumnMap kCellMap{"PfrCellValues", kCellColumns, "ID", "ID"};

constexpr ColumnDef kErrorColumns[] = {Long("ListCode"), Long("LineNum"), Text("SubjectName"),
                                       Long("ErrorLevel"), Text("ErrorText")};
constexpr records::ColumnMap kErrorMap{"PfrErrors", kErrorColumns, "ID", "ID"};

const SubDocItemsDef kCells{.property = "Cells",
                            .loadedFlag = "CellsLoaded",
                            .itemProgId = "Qv_PfrRecords.QvPfrCell",
                            .map = kCellMap,
                            .ownerColumn = "SubDocID",
                            .orderBy = "Key, TableNum, LineNum",
                            .dropWhenEmpty = "Value"};
const SubDocItemsDef kErrors{.property = "Errors",
                             .loadedFlag = "ErrorsLoaded",
                             .itemProgId = "Qv_PfrRecords.QvPfrError",
                             .map = kErrorMap,
                             .ownerColumn = "SubDocID",
                             .orderBy = "ID"};

// The items to store by identifier (0: none): the first of those with each
// identifier, found for the stored rows as the statement gives them. The
// rows come in the index's order, which is the order a read gave the items:
// the item after the last one found is tried first, then a binary search
// over the identifiers sorted once (no allocation per item).
class ItemsById {
 public:
  static constexpr size_t kNone = SIZE_MAX;

  template <class Items, class IdOf>
  ItemsById(const Items& items, IdOf idOf) {
    ids_.reserve(items.size());
    for (const auto& item : items) ids_.push_back(idOf(item));
    sorted_.reserve(ids_.size());
    for (size_t k = 0; k < ids_.size(); ++k)
      if (ids_[k] != 0) sorted_.push_back({ids_[k], k});
    std::sort(sorted_.begin(), sorted_.end());  // equal identifiers: the first item first
    first_.assign(ids_.size(), kNone);
    for (size_t i = 0; i < sorted_.size(); ++i)
      first_[sorted_[i].second] = i > 0 && sorted_[i - 1].first == sorted_[i].first
                                      ? first_[sorted_[i - 1].second]
                                      : sorted_[i].second;
  }

  double IdAt(size_t k) const { return ids_[k]; }
  // The first item with the identifier of item k. REQUIRES: IdAt(k) != 0.
  size_t FirstOf(size_t k) const { return first_[k]; }
  // The first item with `id`, or kNone.
  size_t FirstWith(double id) const {
    if (id == 0) return kNone;
    if (next_ < ids_.size() && ids_[next_] == id) return Found(next_);
    const auto it = std::lower_bound(sorted_.begin(), sorted_.end(), std::pair(id, size_t{0}));
    return it != sorted_.end() && it->first == id ? Found(it->second) : kNone;
  }

 private:
  size_t Found(size_t k) const {
    next_ = k + 1;
    return first_[k];
  }

  std::vector<double> ids_;                        // by position
  std::vector<std::pair<double, size_t>> sorted_;  // (identifier, position)
  std::vector<size_t> first_;                      // by position
  mutable size_t next_ = 0;                        // where the next row's item likely is
};

// The most characters a column takes when written: a Text column's size,
// -1 for any other column (Memo texts are written in full).
std::vector<int32_t> TextLimits(const SubDocItemsDef& def, dao::Recordset& rs) {
  std::vector<int32_t> limits;
  for (const ColumnDef& c : def.map.columns) {
    const jet::FieldSpec& spec = rs.Column(rs.FieldIndex(c.column)).spec;
    limits.push_back(spec.type == jet::JetType::kText ? (spec.size > 0 ? spec.size : 255) : -1);
  }
  return limits;
}

// The value a column of an item is written with: as its property holds it,
// a text through the column's write conversion and cut to `limit`.
Variant Written(const ColumnDef& c, const Variant& value, int32_t limit) {
  if (c.kind != ColKind::kText) return records::ColumnValue(c, value);
  std::string s = CStr(value);
  if (c.writeText) s = c.writeText(s);
  if (limit >= 0 && static_cast<int32_t>(s.size()) > limit) s = Truncate16(s, limit);
  return Variant(std::move(s));
}

// True when the column's written value of `value` is an empty text, found
// without making it for a text written as it stands.
bool WrittenEmpty(const ColumnDef& c, const Variant& value, int32_t limit) {
  if (c.kind == ColKind::kText && value.IsString() && (!c.writeText || c.writeText == &First250))
    return value.AsString().empty();  // cutting leaves a non-empty text non-empty
  return Written(c, value, limit).AsString().empty();
}

// A written value against a stored row's value as the statement reads it,
// converted as ColumnValue reads it: texts compare as texts, every other
// kind as numbers. A text or Long the column's kind takes as it stands
// needs no conversion.
bool SameAsStored(const ColumnDef& c, const Variant& written, const Variant& stored) {
  if (c.kind == ColKind::kText && !c.readText && stored.IsString())
    return written.AsString() == stored.AsString();
  if (c.kind == ColKind::kLong && stored.Type() == VarType::kLong)
    return CDbl(written) == CDbl(stored);
  const Variant read = records::ColumnValue(c, stored);
  return c.kind == ColKind::kText ? written.AsString() == read.AsString()
                                  : CDbl(written) == CDbl(read);
}

// An item's property value against a stored row's value, as its written
// value compares (Written, then SameAsStored). A text that is written as it
// stands (no longer than the column and than First250 keeps) and a Long
// compare without making the written value.
// True when the text `s` of a Text column is written as it stands.
bool WrittenAsItStands(const ColumnDef& c, const std::string& s, int32_t limit) {
  return (!c.writeText || (c.writeText == &First250 && s.size() <= 250)) &&
         (limit < 0 || s.size() <= static_cast<size_t>(limit));
}

bool SameItemValue(const ColumnDef& c, const Variant& value, int32_t limit, const Variant& stored) {
  if (c.kind == ColKind::kText && value.IsString() && stored.IsString() && !c.readText &&
      WrittenAsItStands(c, value.AsString(), limit))
    return value.AsString() == stored.AsString();
  if (c.kind == ColKind::kLong && value.Type() == VarType::kLong && stored.Type() == VarType::kLong)
    return CDbl(value) == CDbl(stored);
  return SameAsStored(c, Written(c, value, limit), stored);
}

// SameItemValue against column `col` of the statement's current row, read
// where the statement holds it: a text or a Long that SameItemValue would
// compare as it stands is compared without making a Variant of it.
bool SameItemCell(const ColumnDef& c, const Variant& value, int32_t limit, const jet::Statement& st,
                  int col) {
  using CellKind = jet::Statement::Cell::Kind;
  const jet::Statement::Cell cell = st.CellAt(col);
  if (c.kind == ColKind::kText && cell.kind == CellKind::kText && value.IsString() && !c.readText &&
      WrittenAsItStands(c, value.AsString(), limit))
    return value.AsString() == cell.text;
  if (c.kind == ColKind::kLong && cell.kind == CellKind::kLong && value.Type() == VarType::kLong)
    return CDbl(value) == cell.number;
  return SameItemValue(c, value, limit, st.Value(col));
}

QvRecordPtr ItemOf(const SubDocItemsDef& def, const Variant& v) {
  auto item = v.ObjectAs<QvRecord>();
  if (!item || !EqualsAsciiNoCase(item->Type().progId, def.itemProgId))
    ThrowVb(vberr::kTypeMismatch, "the collection " + std::string(def.property) +
                                      " holds an item that is no " + std::string(def.itemProgId) +
                                      " record");
  return item;
}

void WriteColumns(const SubDocItemsDef& def, dao::Recordset& rs, std::span<const Variant> values) {
  for (size_t i = 0; i < def.map.columns.size(); ++i)
    mQvDaoDataBase::DaoRsSet(rs, std::string(def.map.columns[i].column), values[i]);
}

void Insert(dao::Database& db, const SubDocItemsDef& def, dao::Recordset& rs, double owner,
            double id, const QvRecordPtr& item, std::span<const Variant> values) {
  rs.AddNew();
  rs.SetField(def.map.key, Variant(id));
  rs.SetField(def.ownerColumn, Variant(owner));
  WriteColumns(def, rs, values);
  rs.Update();
  std::weak_ptr<QvRecord> weak = item;
  dao::Transaction::OnRollback(db, [weak, before = item->IdValue()] {
    if (auto held = weak.lock()) held->AssignNewID(before);
  });
  item->AssignNewID(Variant(id));
}

// An item to store, with the property of each column of its class. Its
// properties hold values of the properties' types, which convert without
// failing: a written value is made where it is needed.
struct Kept {
  QvRecordPtr item;
  const std::vector<int>* props;
  const Variant& Value(size_t c) const { return item->Value((*props)[c]); }
};

// The items of the collection to store, in its order: all but those whose
// column `dropWhenEmpty` would be written empty.
std::vector<Kept> KeptItems(const SubDocItemsDef& def, Collection& items,
                            const std::vector<int32_t>& limits) {
  const std::span<const ColumnDef> columns = def.map.columns;
  int dropColumn = -1;
  for (size_t i = 0; i < columns.size(); ++i)
    if (columns[i].column == def.dropWhenEmpty) dropColumn = static_cast<int>(i);
  std::vector<Kept> kept;
  kept.reserve(static_cast<size_t>(items.Count()));
  const records::RecordClass* itemClass = nullptr;
  const std::vector<int>* props = nullptr;
  for (int32_t i = 1; i <= items.Count(); ++i) {
    QvRecordPtr item = items.At(i).ObjectAs<QvRecord>();
    if (!item || &item->RecordClassOf() != itemClass) {
      item = ItemOf(def, items.At(i));
      itemClass = &item->RecordClassOf();
      props = &records::ResolvedProperties(def.map, *itemClass);
    }
    Kept k{std::move(item), props};
    if (dropColumn >= 0) {
      const auto d = static_cast<size_t>(dropColumn);
      if (WrittenEmpty(columns[d], k.Value(d), limits[d])) continue;
    }
    kept.push_back(std::move(k));
  }
  return kept;
}

// The values an item's row is written with, column by column.
std::vector<Variant> WrittenValues(const SubDocItemsDef& def, const Kept& k,
                                   const std::vector<int32_t>& limits) {
  std::vector<Variant> values;
  values.reserve(def.map.columns.size());
  for (size_t c = 0; c < def.map.columns.size(); ++c)
    values.push_back(Written(def.map.columns[c], k.Value(c), limits[c]));
  return values;
}

// How the stored row of the first item with each identifier compares with
// that item, and the identifiers of the stored rows no item names.
enum class Stored : uint8_t { kNone, kSame, kDiffers };
struct StoredRows {
  std::vector<Stored> state;  // by position in the kept items
  std::vector<double> gone;
};

// Reads the owner's stored rows and compares each with its item while the
// statement steps, where the statement holds the cells (making the row's
// Variants first was a third of the save).
StoredRows CompareStored(dao::Database& db, const SubDocItemsDef& def, double owner,
                         const std::vector<Kept>& kept, const ItemsById& byId,
                         const std::vector<int32_t>& limits) {
  const std::span<const ColumnDef> columns = def.map.columns;
  StoredRows out{std::vector<Stored>(kept.size(), Stored::kNone), {}};
  std::string sql = "select " + std::string(def.map.key);
  for (const ColumnDef& c : columns) sql += ", " + std::string(c.column);
  sql += " from " + std::string(def.map.table) + " where " + std::string(def.ownerColumn) + " = " +
         mQvDaoDataBase::Number2DaoSql(owner);
  // Each stored row against its item: `cell(c)` compares column c + 1.
  auto compare = [&](double id, auto cell) {
    const size_t first = byId.FirstWith(id);
    if (first == ItemsById::kNone) {
      out.gone.push_back(id);
      return;
    }
    const Kept& k = kept[first];
    bool same = true;
    for (size_t c = 0; c < columns.size() && same; ++c) same = cell(c, k.Value(c), limits[c]);
    out.state[first] = same ? Stored::kSame : Stored::kDiffers;
  };
  if (db.IsServer()) {
    std::unique_ptr<jet::EngineStatement> st = db.ServerEngine().Prepare(sql);
    while (st->Step())
      compare(CDbl(st->Value(0)), [&](size_t c, const Variant& value, int32_t limit) {
        return SameItemValue(columns[c], value, limit, st->Value(static_cast<int>(c + 1)));
      });
    return out;
  }
  jet::Statement st = db.Connection().Prepare(sql);
  while (st.Step()) {
    const jet::Statement::Cell key = st.CellAt(0);
    const bool number = key.kind == jet::Statement::Cell::Kind::kDouble ||
                        key.kind == jet::Statement::Cell::Kind::kLong;
    compare(number ? key.number : CDbl(st.Value(0)),
            [&](size_t c, const Variant& value, int32_t limit) {
              return SameItemCell(columns[c], value, limit, st, static_cast<int>(c + 1));
            });
  }
  return out;
}

// The kept items to insert and to update, by position. An item whose
// identifier has no stored row of this sub-document is inserted (each of
// several with that identifier); a second item with the identifier of a
// stored row is left out.
struct Writes {
  std::vector<size_t> inserts, updates;
};

Writes PlanWrites(const std::vector<Kept>& kept, const ItemsById& byId,
                  const std::vector<Stored>& stored) {
  Writes out;
  for (size_t k = 0; k < kept.size(); ++k) {
    const double id = byId.IdAt(k);
    const size_t first = id != 0 ? byId.FirstOf(k) : k;
    if (id == 0 || stored[first] == Stored::kNone)
      out.inserts.push_back(k);
    else if (first == k && stored[k] == Stored::kDiffers)
      out.updates.push_back(k);
  }
  return out;
}

}  // namespace

const SubDocItemsDef& CellItems() {
  return kCells;
}
const SubDocItemsDef& ErrorItems() {
  return kErrors;
}

QvRecordPtr ItemFromRow(const SubDocItemsDef& def, dao::Recordset& rs) {
  QvRecordPtr item = QvRecord::Create(def.itemProgId);
  const std::vector<int>& props = records::ResolvedProperties(def.map, item->RecordClassOf());
  item->BeginLoad(rs.FieldValue(def.map.key));
  for (size_t i = 0; i < def.map.columns.size(); ++i)
    item->SetValue(props[i], records::ColumnValue(def.map.columns[i],
                                                  rs.FieldValue(def.map.columns[i].column)));
  item->EndLoad();
  return item;
}

void ReadSubDocItems(dao::Database& db, const SubDocItemsDef& def, QvRecord& rec) {
  const double owner = rec.Id();
  Variant items = Variant::Nothing();
  if (owner != 0) {
    auto collection = std::make_shared<Collection>();
    auto rs = db.OpenStatement(
        "select * from " + std::string(def.map.table) + " where " + std::string(def.ownerColumn) +
            " = " + mQvDaoDataBase::Number2DaoSql(owner) + " order by " + std::string(def.orderBy),
        dao::dbOpenSnapshot);
    for (; !rs->IsEOF(); rs->MoveNext()) collection->Add(Variant(ObjectPtr(ItemFromRow(def, *rs))));
    rs->Close();
    items = Variant(ObjectPtr(collection));
  }
  // Inside the group's brackets: a read is no change by the caller.
  const int group = rec.RecordClassOf().GroupIndexByFlag(def.loadedFlag);
  rec.BeginGroupLoad(group);
  rec.SetValue(rec.PropertyIndex(def.property), items);
  rec.EndGroupLoad(group);
}

void SaveSubDocItems(dao::Database& db, const SubDocItemsDef& def, QvRecord& rec) {
  const double owner = rec.Id();
  CollectionPtr items = rec.CollectionAt(rec.PropertyIndex(def.property));
  auto rs = records::OpenMapTable(db, def.map);
  const std::vector<int32_t> limits = TextLimits(def, *rs);
  const std::vector<Kept> kept = KeptItems(def, *items, limits);
  const ItemsById byId(kept, [](const Kept& k) { return k.item->Id(); });
  StoredRows stored = CompareStored(db, def, owner, kept, byId, limits);
  const Writes writes = PlanWrites(kept, byId, stored.state);
  const auto valuesOf = [&](size_t k) { return WrittenValues(def, kept[k], limits); };

  double next = writes.inserts.empty() ? 0 : mQvDaoDataBase::NextId(*rs, def.map.key);
  for (size_t k : writes.inserts) Insert(db, def, *rs, owner, next++, kept[k].item, valuesOf(k));
  for (size_t k : writes.updates) {
    // Every column is written: the row needs no reading.
    const Variant key[1] = {Variant(kept[k].item->Id())};
    rs->SeekUnread("=", key);
    rs->Edit();
    WriteColumns(def, *rs, valuesOf(k));
    rs->Update();
  }
  rs->Close();

  std::sort(stored.gone.begin(), stored.gone.end());
  records::DeleteByIdList(
      db, def.map.table,
      std::string(def.ownerColumn) + " = " + mQvDaoDataBase::Number2DaoSql(owner), def.map.key,
      stored.gone);
}

}  // namespace qv::pfr
