#include "platform/dao/TableRecordset.h"

#include <algorithm>
#include <climits>
#include <map>
#include <optional>
#include <vector>

#include "platform/automation/VbaText.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/Database.h"
#include "platform/dao/FieldValues.h"
#include "platform/dao/SpareCells.h"
#include "platform/jet/JetConnection.h"

namespace qv::dao {

namespace {

constexpr uint32_t kByRowid = 0xFF000001;
constexpr uint32_t kCount = 0xFF000002;
constexpr uint32_t kDelete = 0xFF000003;

// A rowid as a parameter: a Long when it fits, else a Double (exact to 2^53).
Variant RowidValue(int64_t rowid) {
  if (rowid >= INT32_MIN && rowid <= INT32_MAX) return Variant(static_cast<int32_t>(rowid));
  return Variant(static_cast<double>(rowid));
}

CursorOrder MakeOrder(const jet::TableSpec& table, const jet::IndexSpec* index) {
  CursorOrder order;
  if (!index) return order;
  // Probe codes and null masks have room for 16 key columns; Jet allows 10.
  if (index->fields.size() > 16) ThrowDao(daoerr::kInvalidArgument, kSourceRecordset);
  order.indexName = index->sqliteName;
  for (const jet::IndexField& f : index->fields) {
    for (size_t i = 0; i < table.fields.size(); ++i) {
      if (NamesEqual(table.fields[i].name, f.name)) {
        order.columns.push_back({static_cast<int32_t>(i), f.descending});
        break;
      }
    }
  }
  return order;
}

const jet::IndexSpec* PrimaryIndex(const jet::TableSpec& table) {
  for (const jet::IndexSpec& x : table.indexes)
    if (x.primary) return &x;
  return nullptr;
}

std::vector<RecordsetColumn> ColumnsOf(const jet::TableSpec& table) {
  std::vector<RecordsetColumn> columns;
  for (const jet::FieldSpec& f : table.fields) columns.push_back({f, table.name, f.name});
  return columns;
}

}  // namespace

// What the recordsets of one table definition share: built once per
// definition and thread (the catalogue hands out a new definition when the
// table changes), as a mapper opens a table for every record it reads.
struct TableRecordset::Shape {
  std::shared_ptr<const ColumnSet> columns;
  TableSql sql;
  CursorOrder primaryOrder;
  CursorOrder rowidOrder;  // a dynaset's: none
  // Each index's order, built when first set (mappers set the index on
  // every recordset they open); sized once, so the elements stay put.
  mutable std::vector<std::optional<CursorOrder>> indexOrders;
  // Statement texts built for the recordsets of this shape (a mapper opens
  // a recordset per call; building the text again cost as much as running
  // it): probes by statement code, writes by their mask of fields. The
  // shape belongs to one thread.
  // A probe's key is its code and whether the recordset is table-type: with
  // no index set, one reads in primary-key order, a dynaset in rowid order.
  // Each text keeps the cache entry its connection last prepared it
  // under, so that a new recordset's first probe or write finds its
  // statement without hashing and comparing the text again.
  struct Text {
    std::string sql;
    uint64_t connection = 0;  // jet::Connection::Serial of `kept`
    jet::Connection::NativeText kept;
  };
  mutable std::unordered_map<uint64_t, Text> probes;
  mutable std::unordered_map<std::string, Text> inserts, updates;
  // The point reads of SeekFields by field list and index ordinal: the
  // statement's text and the type its key is converted to.
  struct PointRead {
    std::string sql;
    jet::JetType keyType;
  };
  mutable std::map<std::pair<const void*, size_t>, PointRead> pointReads;

  explicit Shape(const jet::TableSpec& table)
      : columns(std::make_shared<const ColumnSet>(ColumnsOf(table))),
        sql(table),
        primaryOrder(MakeOrder(table, PrimaryIndex(table))),
        indexOrders(table.indexes.size()) {
    columns->BuildLookup();
  }

  // The order of index `ordinal` of `table` (this shape's definition).
  const CursorOrder& IndexOrder(const jet::TableSpec& table, size_t ordinal) const {
    std::optional<CursorOrder>& order = indexOrders[ordinal];
    if (!order) order = MakeOrder(table, &table.indexes[ordinal]);
    return *order;
  }

  // The point read of `fields` by the first key column of index `ordinal`,
  // built when first asked for. Errors: 3001 an index without columns, 3265
  // a field the table lacks.
  const PointRead& PointReadOf(const jet::TableSpec& table, size_t ordinal,
                               const FieldList& fields) const {
    auto it = pointReads.find({fields.id, ordinal});
    if (it != pointReads.end()) return it->second;
    const CursorOrder& order = IndexOrder(table, ordinal);
    if (order.columns.empty()) ThrowDao(daoerr::kInvalidArgument, kSourceRecordset);
    std::vector<int32_t> positions;
    for (std::string_view name : fields.names) {
      positions.push_back(columns->Find(name));
      if (positions.back() < 0) ThrowDao(daoerr::kItemNotFound, kSourceFields);
    }
    Probe equal;
    equal.eqCount = 1;
    // On an index unique on the key alone the key finds one row at most:
    // the statement needs no order, limit or rowid (SQLite steps less).
    const jet::IndexSpec& index = table.indexes[ordinal];
    PointRead read{(index.unique || index.primary) && index.fields.size() == 1
                       ? sql.PointSql(order, positions)
                       : sql.ProbeSql(order, equal, positions),
                   table.fields[static_cast<size_t>(order.columns[0].field)].type};
    return pointReads.emplace(std::pair{fields.id, ordinal}, std::move(read)).first->second;
  }
};

namespace {

// The statement of a text kept with the cache entry `kept` of the
// connection `serial` names (jet::Connection::Serial: another connection
// made at the same address is not taken for it).
jet::Statement PrepareKept(jet::Connection& conn, const std::string& sql, uint64_t& serial,
                           jet::Connection::NativeText& kept) {
  if (serial != conn.Serial()) {
    kept = {};
    serial = conn.Serial();
  }
  return conn.PrepareNative(sql, kept);
}

// True for a whole number in range as the key of a Long column: the key
// as it is.
bool IsLongKey(double key, jet::JetType keyType) {
  return keyType == jet::JetType::kLong && key >= INT32_MIN && key <= INT32_MAX &&
         key == static_cast<double>(static_cast<int32_t>(key));
}

// A point read's key as the key column compares it: converted to the
// column's type (a whole number in range is a Long as it is). Errors: 3464
// a key the type cannot take.
Variant KeyAsColumnType(double key, jet::JetType keyType) {
  if (IsLongKey(key, keyType)) return Variant(static_cast<int32_t>(key));
  if (keyType == jet::JetType::kDouble) return Variant(key);
  try {
    return CoerceToField(Variant(key), keyType, INT32_MAX);
  } catch (const Error&) {
    ThrowDao(daoerr::kTypeMismatch, kSourceRecordset);
  }
}

}  // namespace

std::optional<jet::Statement> TableRecordset::SeekFields(Database& db, std::string_view table,
                                                         std::string_view index, double key,
                                                         const FieldList& fields) {
  // What a point read needs of the catalogue and the statement cache, kept
  // per field list, table and index for the thread (a mapper reads the same
  // few lists again and again): the definition, the statement text and the
  // cache entry. It holds while the connection's schema generation stays:
  // every change of the schema this connection sees (its own, or another
  // connection's that the catalogue's Refresh notices) moves it.
  struct Plan {
    uint64_t connection = 0;  // jet::Connection::Serial
    uint64_t generation = 0;
    std::string table, index;
    std::shared_ptr<const jet::TableSpec> spec;
    std::shared_ptr<const Shape> shape;
    const Shape::PointRead* read = nullptr;
    jet::Connection::NativeText statement;
  };
  struct PlanKey {
    const void* fields;
    const char* table;
    const char* index;
    bool operator==(const PlanKey&) const = default;
  };
  struct PlanKeyHash {
    size_t operator()(const PlanKey& k) const {
      const std::hash<const void*> h;
      return h(k.fields) ^ (h(k.table) * 31) ^ (h(k.index) * 131);
    }
  };
  thread_local std::unordered_map<PlanKey, Plan, PlanKeyHash> plans;

  jet::Connection& conn = db.Connection();
  conn.Schema().Refresh();
  const PlanKey planKey{fields.id, table.data(), index.data()};
  auto found = plans.find(planKey);
  if (found == plans.end() || found->second.connection != conn.Serial() ||
      found->second.generation != conn.SchemaGeneration() || found->second.table != table ||
      found->second.index != index) {
    std::shared_ptr<const jet::TableSpec> spec = conn.Schema().FindTable(table);
    if (!spec) ThrowDao(daoerr::kNoInputTable, kSourceDatabase, {table});
    std::shared_ptr<const Shape> shape = ShapeOf(spec);
    const Shape::PointRead& read = shape->PointReadOf(*spec, IndexOrdinal(*spec, index), fields);
    if (found == plans.end()) {
      if (plans.size() >= 256) plans.clear();
      found = plans.try_emplace(planKey).first;
    }
    Plan& plan = found->second;
    plan.connection = conn.Serial();
    plan.generation = conn.SchemaGeneration();
    plan.table.assign(table);
    plan.index.assign(index);
    plan.spec = std::move(spec);
    plan.shape = std::move(shape);
    plan.read = &read;
    plan.statement = {};  // held the entry of another text
  }
  Plan& plan = found->second;
  const jet::JetType keyType = plan.read->keyType;
  // A whole number key of a Long column (most keys) is bound as it is.
  const bool longKey = IsLongKey(key, keyType);
  const Variant converted = longKey ? Variant() : KeyAsColumnType(key, keyType);
  jet::Statement st = conn.PrepareNative(plan.read->sql, plan.statement);
  st.SetSource(kSourceRecordset);
  if (longKey)
    st.BindInt(1, static_cast<int32_t>(key));
  else
    st.Bind(1, converted);
  if (!st.Step()) return std::nullopt;  // the statement goes back reset
  return st;
}

std::shared_ptr<const TableRecordset::Shape> TableRecordset::ShapeOf(
    const std::shared_ptr<const jet::TableSpec>& table) {
  return ShapeOfDefinition<Shape>(table, [&] { return std::make_shared<const Shape>(*table); });
}

std::shared_ptr<TableRecordset> TableRecordset::Open(const std::shared_ptr<Database>& db,
                                                     std::shared_ptr<const jet::TableSpec> table,
                                                     int32_t type, bool updatable) {
  auto rs = std::make_shared<TableRecordset>(Private{}, db, std::move(table), type, updatable);
  rs->pos_ = Pos::kPending;
  return rs;
}

void TableRecordset::ReadRowAgain() {
  pos_ = FetchByRowid(rowid_) ? Pos::kRow : Pos::kDeleted;
}

TableRecordset::TableRecordset(Private, const std::shared_ptr<Database>& db,
                               std::shared_ptr<const jet::TableSpec> table, int32_t type,
                               bool updatable)
    : TableCursor(db, std::move(table), type, updatable),
      conn_(db->Connection().shared_from_this()),
      shape_(ShapeOf(table_)),
      sql_(shape_->sql),
      seekable_(type == dbOpenTable) {
  // One cell more than the fields: the rowid the statements select last
  // (room made before SetColumns fills the fields' cells).
  row_ = TakeSpareCells(shape_->columns->size() + 1);
  SetColumns(shape_->columns);
  row_.resize(columns_->size() + 1);
  values_ = row_.data();
  order_ = seekable_ ? &shape_->primaryOrder : &shape_->rowidOrder;
}

void TableRecordset::OnClose() {
  GiveSpareCells(row_);
  values_ = nullptr;
  statements_.clear();
  inserts_.clear();
  updates_.clear();
  // A closed recordset that its owner still holds must not keep the file
  // open once its database closes.
  conn_.reset();
}

jet::Statement& TableRecordset::Prepared(uint64_t code, const std::string& sql) {
  auto it = statements_.find(code);
  if (it == statements_.end()) {
    jet::Statement st = conn_->PrepareNative(sql);
    st.SetSource(kSourceRecordset);
    it = statements_.emplace(code, std::move(st)).first;
  }
  return it->second;
}

jet::Statement& TableRecordset::ProbeStatement(const Probe& probe, Reads reads) {
  const uint64_t code = (probe.Code() | (static_cast<uint32_t>(indexOrdinal_ + 1) << 24)) |
                        (reads == Reads::kOrderKey ? uint64_t{1} << 33 : 0);
  auto it = statements_.find(code);
  if (it != statements_.end()) return it->second;
  auto [text, added] = shape_->probes.try_emplace(code | (uint64_t{seekable_} << 32));
  if (added) {
    if (reads == Reads::kRow) {
      text->second.sql = sql_.ProbeSql(*order_, probe);
    } else {
      std::vector<int32_t> key;
      for (const OrderColumn& c : order_->columns) key.push_back(c.field);
      text->second.sql = sql_.ProbeSql(*order_, probe, key);
    }
  }
  Shape::Text& t = text->second;
  jet::Statement st = PrepareKept(*conn_, t.sql, t.connection, t.kept);
  st.SetSource(kSourceRecordset);
  return statements_.emplace(code, std::move(st)).first->second;
}

void TableRecordset::ReadRow(jet::Statement& st) {
  st.Values(row_);
  rowid_ = static_cast<int64_t>(CDbl(row_.back()));
}

void TableRecordset::ReadOrderKey(jet::Statement& st) {
  const std::vector<OrderColumn>& key = order_->columns;
  for (size_t j = 0; j < key.size(); ++j)
    row_[static_cast<size_t>(key[j].field)] = st.Value(static_cast<int>(j));
  rowid_ = st.Int64(static_cast<int>(key.size()));
}

bool TableRecordset::RunPlan(const std::vector<Probe>& plan, std::span<const Variant> keys,
                             int64_t rowid, Reads reads) {
  for (const Probe& probe : plan) {
    jet::Statement& st = ProbeStatement(probe, reads);
    jet::ResetOnExit reset(st);
    int index = 1;
    for (size_t i = 0; i < probe.eqCount; ++i)
      if (!((probe.eqNulls >> i) & 1u)) st.BindView(index++, keys[i]);
    if (probe.cond == Cond::kGreater || probe.cond == Cond::kLess)
      st.BindView(index++, keys[probe.eqCount]);
    else if (probe.cond == Cond::kRowidGreater || probe.cond == Cond::kRowidLess)
      st.Bind(index++, RowidValue(rowid));
    if (st.Step()) {
      if (reads == Reads::kRow)
        ReadRow(st);
      else
        ReadOrderKey(st);
      return true;
    }
  }
  return false;
}

bool TableRecordset::FetchByRowid(int64_t rowid) {
  jet::Statement& st = Prepared(kByRowid, sql_.ByRowidSql());
  jet::ResetOnExit reset(st);
  st.Bind(1, RowidValue(rowid));
  if (!st.Step()) return false;
  ReadRow(st);
  return true;
}

bool TableRecordset::ReadEnd(bool last) {
  Probe p;
  p.backward = last;
  return RunPlan({p}, {}, 0);
}

bool TableRecordset::ReadNeighbour(bool backward) {
  Positioned();  // the key of a row updated since it was read
  std::vector<Variant> key = CurrentOrderKey();
  return RunPlan(StepPlan(*order_, KeyNulls(key), backward), key, rowid_);
}

const CursorOrder& TableRecordset::OrderOf(int32_t ordinal) const {
  return ordinal < 0 ? shape_->primaryOrder
                     : shape_->IndexOrder(*table_, static_cast<size_t>(ordinal));
}

int32_t TableRecordset::RecordCount() {
  CheckOpen();
  jet::Statement& st = Prepared(kCount, sql_.CountSql());
  jet::ResetOnExit reset(st);
  st.Step();
  return static_cast<int32_t>(st.Int64(0));
}

void TableRecordset::Seek(std::string_view comparison, std::span<const Variant> keys) {
  SeekReading(comparison, keys, Reads::kRow);
}

void TableRecordset::SeekUnread(std::string_view comparison, std::span<const Variant> keys) {
  SeekReading(comparison, keys, Reads::kOrderKey);
}

void TableRecordset::SeekReading(std::string_view comparison, std::span<const Variant> keys,
                                 Reads reads) {
  std::vector<Probe> plan;
  PlanSeek(comparison, keys, true, plan, seekKeys_);
  const bool found = RunPlan(plan, seekKeys_, 0, reads);
  noMatch_ = !found;
  pos_ = !found ? Pos::kNone : reads == Reads::kRow ? Pos::kRow : Pos::kUnread;
}

Variant TableRecordset::Bookmark() {
  CheckOpen();
  Positioned();
  if (pos_ != Pos::kRow) ThrowDao(daoerr::kNoCurrentRecord, kSourceRecordset);
  return MakeBookmark(rowid_);
}

void TableRecordset::SetBookmark(const Variant& bookmark) {
  CheckOpen();
  int64_t rowid = ReadBookmark(bookmark);
  CancelEdit();
  if (!FetchByRowid(rowid)) ThrowDao(daoerr::kRecordDeleted, kSourceRecordset);
  pos_ = Pos::kRow;
}

jet::Statement& TableRecordset::WriteStatement(
    std::vector<std::pair<std::string, jet::Statement>>& cache, const std::vector<uint8_t>& dirty,
    bool insert) {
  // Most writes repeat the last mask: compared in place, no key is built.
  for (auto& [mask, st] : cache)
    if (std::equal(mask.begin(), mask.end(), dirty.begin(), dirty.end())) return st;
  std::string key(dirty.begin(), dirty.end());
  auto [text, added] = (insert ? shape_->inserts : shape_->updates).try_emplace(key);
  Shape::Text& t = text->second;
  if (added) t.sql = insert ? sql_.InsertSql(dirty) : sql_.UpdateSql(dirty);
  jet::Statement st = PrepareKept(*conn_, t.sql, t.connection, t.kept);
  st.SetSource(kSourceRecordset);
  cache.emplace_back(std::move(key), std::move(st));
  return cache.back().second;
}

int64_t TableRecordset::AddRow(const std::vector<Variant>& buffer,
                               const std::vector<uint8_t>& dirty) {
  jet::Statement& st = WriteStatement(inserts_, dirty, true);
  jet::ResetOnExit reset(st);
  int index = 1;
  for (size_t i = 0; i < dirty.size(); ++i)
    if (dirty[i]) st.BindView(index++, buffer[i]);
  st.Step();
  return conn_->LastInsertRowId();
}

void TableRecordset::UpdateRow(std::vector<Variant>& buffer, const std::vector<uint8_t>& dirty) {
  jet::Statement& st = WriteStatement(updates_, dirty, false);
  {
    jet::ResetOnExit reset(st);
    int index = 1;
    for (size_t i = 0; i < dirty.size(); ++i)
      if (dirty[i]) st.BindView(index++, buffer[i]);
    st.Bind(index, RowidValue(rowid_));
    st.Step();
  }
  if (conn_->Changes() == 0) {
    pos_ = Pos::kDeleted;
    ThrowDao(daoerr::kRecordDeleted, kSourceRecordset);
  }
  // Read again only when looked at: most callers move or seek next. The
  // written values stand in the row meanwhile, so that a move from a row
  // deleted before it is read again starts from its new key; they are
  // moved, as the edit that held them ends.
  for (size_t i = 0; i < dirty.size(); ++i)
    if (dirty[i]) row_[i] = std::move(buffer[i]);
  pos_ = Pos::kStale;
  lastModified_ = rowid_;
}

void TableRecordset::DeleteRow() {
  jet::Statement& st = Prepared(kDelete, sql_.DeleteSql());
  jet::ResetOnExit reset(st);
  st.Bind(1, RowidValue(rowid_));
  st.Step();
}

}  // namespace qv::dao
