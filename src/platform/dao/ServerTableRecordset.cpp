#include "platform/dao/ServerTableRecordset.h"

#include <algorithm>
#include <climits>
#include <map>
#include <optional>
#include <unordered_map>

#include "platform/automation/VbaText.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/Database.h"
#include "platform/dao/DatabaseServer.h"
#include "platform/dao/FieldValues.h"
#include "platform/dao/Transaction.h"
#include "platform/jet/JetEngine.h"
#include "platform/jet/sql/JetPostgres.h"

namespace qv::dao {

namespace {

int32_t FieldPosition(const jet::TableSpec& table, std::string_view name) {
  for (size_t i = 0; i < table.fields.size(); ++i)
    if (NamesEqual(table.fields[i].name, name)) return static_cast<int32_t>(i);
  return -1;
}

const jet::IndexSpec* PrimaryIndex(const jet::TableSpec& table) {
  for (const jet::IndexSpec& x : table.indexes)
    if (x.primary) return &x;
  return nullptr;
}

// The first unique index of Required fields only (unique and never Null,
// which is what the cursor's probes need of a key). Null when there is none.
const jet::IndexSpec* RequiredUniqueIndex(const jet::TableSpec& table) {
  for (const jet::IndexSpec& x : table.indexes) {
    if (!x.unique || x.fields.empty()) continue;
    bool required = true;
    for (const jet::IndexField& f : x.fields) {
      const jet::FieldSpec* field = table.FindField(f.name);
      required = required && field && field->required;
    }
    if (required) return &x;
  }
  return nullptr;
}

// Calls `f` with each field of a key probe's row, in its columns' order: the
// order's columns, then the primary key's not among them (its last, the
// "rowid", at least): what a walk from the row and a write of it need.
template <class F>
void ForKeyFields(const CursorOrder& order, const std::vector<int32_t>& primary, F&& f) {
  for (const OrderColumn& c : order.columns) f(c.field);
  for (int32_t field : primary)
    if (std::none_of(order.columns.begin(), order.columns.end(),
                     [&](const OrderColumn& c) { return c.field == field; }))
      f(field);
}

bool IsNullAt(uint16_t nulls, size_t i) {
  return (nulls >> i) & 1u;
}

// A probe, fetch or point read: a select of one row at most (TOP 1), whose
// row the caller reads, so it comes whole, not as a result per row and an
// end result (a copy of the result's description each). Kept by the
// database for the next read of its shape (KeptServerStatement); its row is
// let go when this goes, as a statement made per read let it go, so that
// the connection is free for the next request.
class Top1 {
 public:
  Top1(Database& db, std::string_view sql) : st_(db.KeptServerStatement(sql)) {
    st_->Reset();
    st_->ReadsEveryRow();
  }
  ~Top1() {
    try {
      st_->Reset();
    } catch (...) {
      // The connection is gone: nothing is left to read.
    }
  }
  Top1(const Top1&) = delete;
  Top1& operator=(const Top1&) = delete;
  jet::EngineStatement& operator*() const { return *st_; }
  jet::EngineStatement* operator->() const { return st_.get(); }

 private:
  std::shared_ptr<jet::EngineStatement> st_;
};

// The order of index `ordinal` of `table` (-1: the primary key's) over the
// key `primary`: the index's columns, then the key's but its last, which is
// the probes' "rowid": together they order every row, as a key's columns
// cannot be Null.
CursorOrder MakeOrder(const jet::TableSpec& table, const std::vector<int32_t>& primary,
                      int32_t ordinal) {
  CursorOrder order;
  if (ordinal >= 0) {
    const jet::IndexSpec& index = table.indexes[static_cast<size_t>(ordinal)];
    for (const jet::IndexField& f : index.fields) {
      const int32_t at = FieldPosition(table, f.name);
      if (at >= 0) order.columns.push_back({at, f.descending});
    }
  }
  for (size_t i = 0; i + 1 < primary.size(); ++i) {
    bool present = false;
    for (const OrderColumn& c : order.columns) present = present || c.field == primary[i];
    if (!present) order.columns.push_back({primary[i], false});
  }
  // Probe codes and null masks have room for 16 key columns.
  if (order.columns.size() > 15) ThrowDao(daoerr::kInvalidArgument, kSourceRecordset);
  return order;
}

}  // namespace

// What the recordsets of one table definition share, built once per
// definition and thread (the engine hands out a new definition when the
// table changes): a mapper opens a table for every record it reads, and
// the columns, their lookup by name and the statement texts cost more of
// the client's work than the probe's round trip did.
struct ServerTableRecordset::Shape {
  std::shared_ptr<const ColumnSet> columns;
  std::vector<int32_t> primary;  // as ServerTableRecordset::primary_
  int32_t rowKey = -1;
  std::string select;  // "SELECT TOP 1 [f1], ... FROM [t]"
  std::string fetch;   // the row of a primary key: select " WHERE [k1] = <placeholder> ..."
  CursorOrder primaryOrder;
  // Each index's order, built when first set; sized once, so the elements
  // stay put.
  mutable std::vector<std::optional<CursorOrder>> indexOrders;
  // Probe texts by order (the index ordinal + 1, 0 none) and probe code,
  // of whole rows and of keys; update texts by the mask of the fields
  // written.
  mutable std::unordered_map<uint64_t, std::string> probes, keyProbes;
  mutable std::unordered_map<std::string, std::string> updates;
  // PointRead's texts by field list and index ordinal: the probe selecting
  // the listed fields (the key column when none), their positions (-1 a
  // field the table lacks) and the type the key is converted to.
  struct Point {
    std::string sql;
    std::vector<int32_t> positions;
    jet::JetType keyType;
  };
  mutable std::map<std::pair<const void*, size_t>, Point> points;

  Shape(Database& db, const jet::TableSpec& table) {
    rowKey = static_cast<int32_t>(table.fields.size());
    const jet::IndexSpec* key = PrimaryIndex(table);
    if (!key && HasServerRowKey(db, table.name)) {
      primary.push_back(rowKey);
    } else {
      if (!key) key = RequiredUniqueIndex(table);
      if (key)
        for (const jet::IndexField& f : key->fields)
          primary.push_back(FieldPosition(table, f.name));
      rowKey = -1;
    }
    if (primary.empty() || primary.size() > 15)
      RaiseNotOnServer(
          "A table-type recordset of a table without a primary key, a row key or a unique index "
          "of required fields (a database made before tables had row keys: open it for writing "
          "once)");
    std::vector<RecordsetColumn> list;
    list.reserve(table.fields.size());
    select = "SELECT TOP 1 ";
    for (size_t i = 0; i < table.fields.size(); ++i) {
      const jet::FieldSpec& f = table.fields[i];
      list.push_back({f, table.name, f.name});
      select += (i ? ", " : "") + Bracketed(table, static_cast<int32_t>(i));
    }
    // The row key is read after the fields, into the row's last place.
    if (rowKey >= 0) select += ", " + Bracketed(table, rowKey);
    select += " FROM [" + table.name + "]";
    auto set = std::make_shared<ColumnSet>(std::move(list));
    set->BuildLookup();
    columns = std::move(set);
    fetch = select + PrimaryKeyWhere(table);
    primaryOrder = MakeOrder(table, primary, -1);
    indexOrders.resize(table.indexes.size());
  }

  const CursorOrder& IndexOrder(const jet::TableSpec& table, int32_t ordinal) const {
    if (ordinal < 0) return primaryOrder;
    std::optional<CursorOrder>& order = indexOrders[static_cast<size_t>(ordinal)];
    if (!order) order = MakeOrder(table, primary, ordinal);
    return *order;
  }

  std::string Bracketed(const jet::TableSpec& table, int32_t field) const {
    if (field == rowKey) return "[" + std::string(jet::sql::kServerRowKey) + "]";
    // The catalogue's names are valid Jet names: they hold no bracket.
    return "[" + table.fields[static_cast<size_t>(field)].name + "]";
  }

  // A literal of the field's type for a placeholder (its value is bound).
  std::string_view Placeholder(const jet::TableSpec& table, int32_t field) const {
    // The literal's kind gives the server's parameter its type: whole
    // numbers an integer, other numbers (dates are day numbers) a double,
    // the rest a text (for a binary field the server's parameter is bytea:
    // the translation types a literal stored into or compared with one so).
    if (field == rowKey) return "0";
    switch (table.fields[static_cast<size_t>(field)].type) {
      case jet::JetType::kBoolean:
      case jet::JetType::kByte:
      case jet::JetType::kInteger:
      case jet::JetType::kLong:
        return "0";
      case jet::JetType::kText:
      case jet::JetType::kMemo:
      case jet::JetType::kGUID:
      case jet::JetType::kChar:
      case jet::JetType::kBinary:
      case jet::JetType::kVarBinary:
      case jet::JetType::kLongBinary:
        return "''";
      default:
        return "0.5";
    }
  }

  // " WHERE [k1] = <placeholder> AND ..." of the primary key.
  std::string PrimaryKeyWhere(const jet::TableSpec& table) const {
    std::string where;
    for (int32_t field : primary)
      where += (where.empty() ? " WHERE " : " AND ") + Bracketed(table, field) + " = " +
               std::string(Placeholder(table, field));
    return where;
  }

  // The Jet text of a probe in `order` from `from` ("SELECT TOP 1 ... FROM
  // [t]"): its placeholders take the non-null equal keys in order, then the
  // range value.
  std::string ProbeSql(const jet::TableSpec& table, const CursorOrder& order, const Probe& probe,
                       std::string_view from) const {
    std::string where;
    auto add = [&](const std::string& term) {
      where += (where.empty() ? " WHERE " : " AND ") + term;
    };
    auto compare = [&](int32_t field, std::string_view op) {
      add(Bracketed(table, field) + std::string(op) + std::string(Placeholder(table, field)));
    };
    for (size_t i = 0; i < probe.eqCount; ++i) {
      const int32_t field = order.columns[i].field;
      if (IsNullAt(probe.eqNulls, i))
        add(Bracketed(table, field) + " IS NULL");
      else
        compare(field, " = ");
    }
    const int32_t rowid = primary.back();
    if (probe.cond == Cond::kRowidGreater || probe.cond == Cond::kRowidLess) {
      compare(rowid, probe.cond == Cond::kRowidGreater ? " > " : " < ");
    } else if (probe.cond != Cond::kNone) {
      const int32_t field = order.columns[probe.eqCount].field;
      switch (probe.cond) {
        case Cond::kGreater:
        case Cond::kLess:
          compare(field, probe.cond == Cond::kGreater ? " > " : " < ");
          break;
        case Cond::kIsNull:
          add(Bracketed(table, field) + " IS NULL");
          break;
        default:
          add(Bracketed(table, field) + " IS NOT NULL");
          break;
      }
    }
    std::string sql = std::string(from) + where + " ORDER BY ";
    for (const OrderColumn& c : order.columns)
      sql += Bracketed(table, c.field) + (c.descending != probe.backward ? " DESC, " : ", ");
    return sql + Bracketed(table, rowid) + (probe.backward ? " DESC" : "");
  }

  // The probe text of `probe` in the order of index `ordinal`, selecting
  // the whole row or (`keyOnly`) the order's and the primary key's columns
  // (ForKeyFields), for a seek whose row is written, not read.
  const std::string& ProbeOf(const jet::TableSpec& table, int32_t ordinal, const Probe& probe,
                             bool keyOnly = false) const {
    const uint64_t code = (static_cast<uint64_t>(ordinal + 1) << 32) | probe.Code();
    auto& texts = keyOnly ? keyProbes : probes;
    auto it = texts.find(code);
    if (it == texts.end()) {
      const CursorOrder& order = IndexOrder(table, ordinal);
      std::string from = select;
      if (keyOnly) {
        std::string fields;
        ForKeyFields(order, primary, [&](int32_t field) {
          fields += (fields.empty() ? "" : ", ") + Bracketed(table, field);
        });
        from = "SELECT TOP 1 " + fields + " FROM [" + table.name + "]";
      }
      it = texts.emplace(code, ProbeSql(table, order, probe, from)).first;
    }
    return it->second;
  }

  // The point read of `fields` by the first key column of index `ordinal`,
  // built when first asked for. Errors as Seek raises them: 3001 an index
  // without columns.
  const Point& PointOf(const jet::TableSpec& table, int32_t ordinal,
                       const TableRecordset::FieldList& fields) const {
    auto it = points.find({fields.id, static_cast<size_t>(ordinal)});
    if (it != points.end()) return it->second;
    const CursorOrder& order = IndexOrder(table, ordinal);
    if (order.columns.empty()) ThrowDao(daoerr::kInvalidArgument, kSourceRecordset);
    Point point;
    std::string from;
    for (std::string_view name : fields.names) {
      point.positions.push_back(columns->Find(name));
      if (point.positions.back() >= 0)
        from += (from.empty() ? "" : ", ") + Bracketed(table, point.positions.back());
    }
    const int32_t keyField = order.columns[0].field;
    if (from.empty()) from = Bracketed(table, keyField);
    const jet::IndexSpec& index = table.indexes[static_cast<size_t>(ordinal)];
    if ((index.unique || index.primary) && index.fields.size() == 1) {
      // On an index unique on the key alone the key finds one row at most:
      // no order or limit for the server to plan and run.
      point.sql = "SELECT " + from + " FROM [" + table.name + "] WHERE " +
                  Bracketed(table, keyField) + " = " + std::string(Placeholder(table, keyField));
    } else {
      Probe equal;
      equal.eqCount = 1;
      point.sql =
          ProbeSql(table, order, equal, "SELECT TOP 1 " + from + " FROM [" + table.name + "]");
    }
    point.keyType = table.fields[static_cast<size_t>(keyField)].type;
    return points.emplace(std::pair{fields.id, static_cast<size_t>(ordinal)}, std::move(point))
        .first->second;
  }
};

std::shared_ptr<const ServerTableRecordset::Shape> ServerTableRecordset::ShapeOf(
    Database& db, const std::shared_ptr<const jet::TableSpec>& table) {
  return ShapeOfDefinition<Shape>(table, [&] { return std::make_shared<const Shape>(db, *table); });
}

std::shared_ptr<ServerTableRecordset> ServerTableRecordset::Open(
    const std::shared_ptr<Database>& db, std::shared_ptr<const jet::TableSpec> table, int32_t type,
    bool updatable) {
  auto rs =
      std::make_shared<ServerTableRecordset>(Private{}, db, std::move(table), type, updatable);
  rs->pos_ = Pos::kPending;
  return rs;
}

ServerTableRecordset::ServerTableRecordset(Private, const std::shared_ptr<Database>& db,
                                           std::shared_ptr<const jet::TableSpec> table,
                                           int32_t type, bool updatable)
    : TableCursor(db, std::move(table), type, updatable),
      shape_(ShapeOf(*db, table_)),
      primary_(shape_->primary),
      rowKey_(shape_->rowKey) {
  order_ = &shape_->primaryOrder;
  SetColumns(shape_->columns);
  row_.resize(columns_->size() + (rowKey_ >= 0 ? 1 : 0));
  values_ = row_.data();
}

ServerTableRecordset::~ServerTableRecordset() = default;

std::optional<std::vector<Variant>> ServerTableRecordset::PointRead(
    Database& db, const std::shared_ptr<const jet::TableSpec>& table, std::string_view index,
    double key, const TableRecordset::FieldList& fields) {
  const std::shared_ptr<const Shape> shape = ShapeOf(db, table);
  // As SetIndex finds the index and Seek needs one set.
  if (index.empty()) ThrowDao(daoerr::kNoCurrentIndex, kSourceRecordset);
  const auto ordinal = static_cast<int32_t>(IndexOrdinal(*table, index));
  const Shape::Point& point = shape->PointOf(*table, ordinal, fields);
  Variant converted;
  try {
    converted = CoerceToField(Variant(key), point.keyType, INT32_MAX);
  } catch (const Error&) {
    ThrowDao(daoerr::kTypeMismatch, kSourceRecordset);
  }
  Top1 st(db, point.sql);
  BindLast(*st, std::span<const Variant>(&converted, 1));
  if (!st->Step()) return std::nullopt;
  for (int32_t position : point.positions)
    if (position < 0) ThrowDao(daoerr::kItemNotFound, kSourceFields);
  // Every field asked for is a column of the select, in its order: the
  // values are written in place (no Variant made and moved per value).
  std::optional<std::vector<Variant>> row(std::in_place, point.positions.size());
  if (!row->empty()) st->Values(*row);
  return row;
}

void ServerTableRecordset::BindLast(jet::EngineStatement& st, std::span<const Variant> values) {
  // A statement's literals are its parameters in the text's order: the
  // placeholders come last (after TOP's count).
  const int first = st.ParameterCount() - static_cast<int>(values.size());
  for (size_t i = 0; i < values.size(); ++i) st.Bind(first + 1 + static_cast<int>(i), values[i]);
}

void ServerTableRecordset::ReadRow(jet::EngineStatement& st) {
  st.Values(row_);
  values_ = row_.data();
}

void ServerTableRecordset::ReadKey(jet::EngineStatement& st) {
  int column = 0;
  ForKeyFields(*order_, primary_,
               [&](int32_t field) { row_[static_cast<size_t>(field)] = st.Value(column++); });
  values_ = row_.data();
}

void ServerTableRecordset::ProbeValues(const Probe& probe, std::span<const Variant> keys,
                                       const Variant& rowid, std::vector<Variant>& values) {
  values.clear();
  for (size_t i = 0; i < probe.eqCount; ++i)
    if (!IsNullAt(probe.eqNulls, i)) values.push_back(keys[i]);
  if (probe.cond == Cond::kGreater || probe.cond == Cond::kLess)
    values.push_back(keys[probe.eqCount]);
  else if (probe.cond == Cond::kRowidGreater || probe.cond == Cond::kRowidLess)
    values.push_back(rowid);
}

bool ServerTableRecordset::RunPlan(const std::vector<Probe>& plan, std::span<const Variant> keys,
                                   const Variant& rowid, bool keyOnly) {
  std::vector<Variant> values;
  for (const Probe& probe : plan) {
    Top1 st(*db_, shape_->ProbeOf(*table_, indexOrdinal_, probe, keyOnly));
    ProbeValues(probe, keys, rowid, values);
    BindLast(*st, values);
    if (st->Step()) {
      if (keyOnly)
        ReadKey(*st);
      else
        ReadRow(*st);
      return true;
    }
  }
  return false;
}

bool ServerTableRecordset::FetchByKey(std::span<const Variant> key) {
  Top1 st(*db_, shape_->fetch);
  BindLast(*st, key);
  if (!st->Step()) return false;
  ReadRow(*st);
  return true;
}

std::vector<Variant> ServerTableRecordset::CurrentPrimaryKey() const {
  std::vector<Variant> key;
  key.reserve(primary_.size());
  for (int32_t field : primary_) key.push_back(row_[static_cast<size_t>(field)]);
  return key;
}

void ServerTableRecordset::ReadRowAgain() {
  pos_ = FetchByKey(CurrentPrimaryKey()) ? Pos::kRow : Pos::kDeleted;
}

bool ServerTableRecordset::ReadEnd(bool last) {
  Probe p;
  p.backward = last;
  return RunPlan({p}, {}, Variant());
}

bool ServerTableRecordset::ReadNeighbour(bool backward) {
  Positioned();  // the key of a row updated since it was read
  std::vector<Variant> key = CurrentOrderKey();
  return RunPlan(StepPlan(*order_, KeyNulls(key), backward), key,
                 row_[static_cast<size_t>(primary_.back())]);
}

const CursorOrder& ServerTableRecordset::OrderOf(int32_t ordinal) const {
  return shape_->IndexOrder(*table_, ordinal);
}

int32_t ServerTableRecordset::RecordCount() {
  CheckOpen();
  auto st = db_->ServerEngine().Prepare("SELECT Count(*) FROM [" + table_->name + "]");
  if (!st->Step()) return 0;
  return CLng(st->Value(0));
}

void ServerTableRecordset::Seek(std::string_view comparison, std::span<const Variant> keys) {
  RunSeek(comparison, keys, false);
}

void ServerTableRecordset::RunSeek(std::string_view comparison, std::span<const Variant> keys,
                                   bool keyOnly) {
  // A started seek is this one's when it is the same seek, else it goes.
  std::optional<StartedSeek> started = std::move(started_);
  started_.reset();
  std::vector<Probe> plan;
  std::vector<Variant> converted;
  PlanSeek(comparison, keys, true, plan, converted);
  bool found;
  if (started && started->index == indexOrdinal_ && started->comparison == TrimBlanks(comparison) &&
      started->keys.size() == converted.size() &&
      std::equal(
          converted.begin(), converted.end(), started->keys.begin(),
          [](const Variant& a, const Variant& b) { return a.Type() == b.Type() && a == b; })) {
    // It probed the key alone: the row is read when a field is looked at.
    keyOnly = true;
    found = started->probe->Step();
    if (found) ReadKey(*started->probe);
  } else {
    found = RunPlan(plan, converted, Variant(), keyOnly);
  }
  noMatch_ = !found;
  pos_ = !found ? Pos::kNone : keyOnly ? Pos::kUnread : Pos::kRow;
}

void ServerTableRecordset::StartSeek(std::string_view comparison, std::span<const Variant> keys) {
  started_.reset();
  try {
    std::vector<Probe> plan;
    std::vector<Variant> converted;
    if (!PlanSeek(comparison, keys, false, plan, converted) || plan.size() != 1) return;
    // Its callers ask whether the row is there or write it: the probe
    // reads the key alone.
    std::unique_ptr<jet::EngineStatement> probe =
        db_->ServerEngine().Prepare(shape_->ProbeOf(*table_, indexOrdinal_, plan[0], true));
    probe->ReadsEveryRow();
    std::vector<Variant> values;
    ProbeValues(plan[0], converted, Variant(), values);
    BindLast(*probe, values);
    probe->StartWithNextSelect();
    started_ = StartedSeek{std::string(TrimBlanks(comparison)), indexOrdinal_, std::move(converted),
                           std::move(probe)};
  } catch (const Error&) {
    // The seek runs by itself.
  }
}

bool ServerTableRecordset::EditUnsought(std::span<const Variant> keys) {
  CheckOpen();
  // The key alone names the row (no row key, which the caller cannot know).
  if (Type() != dbOpenTable || !Updatable() || indexOrdinal_ < 0 || keys.size() != 1 ||
      primary_.size() != 1 || primary_[0] == rowKey_ || order_->columns.empty() ||
      order_->columns[0].field != primary_[0])
    return false;
  const size_t field = static_cast<size_t>(primary_[0]);
  Variant converted;
  try {
    converted = CoerceToField(keys[0], (*columns_)[field].spec.type, INT32_MAX);
  } catch (const Error&) {
    return false;
  }
  if (converted.IsEmptyOrNull()) return false;
  CancelEdit();
  started_.reset();
  // Where a seek of the key alone leaves it (SeekUnread): the key known, a
  // field looked at read by it.
  row_[field] = std::move(converted);
  values_ = row_.data();
  noMatch_ = false;
  pos_ = Pos::kUnread;
  Edit();
  return true;
}

void ServerTableRecordset::SeekUnread(std::string_view comparison, std::span<const Variant> keys) {
  // The probe reads the row's key alone (a save writes the row it finds and
  // reads none of it; the server sends and the client parses no other
  // value); a field looked at reads the row then, by that key.
  RunSeek(comparison, keys, true);
}

Variant ServerTableRecordset::Bookmark() {
  CheckOpen();
  Positioned();
  if (pos_ != Pos::kRow) ThrowDao(daoerr::kNoCurrentRecord, kSourceRecordset);
  bookmarks_.push_back(CurrentPrimaryKey());
  return MakeBookmark(static_cast<int64_t>(bookmarks_.size() - 1));
}

void ServerTableRecordset::SetBookmark(const Variant& bookmark) {
  CheckOpen();
  const int64_t at = ReadBookmark(bookmark);
  if (at < 0 || at >= static_cast<int64_t>(bookmarks_.size()))
    ThrowDao(daoerr::kInvalidBookmark, kSourceRecordset);
  CancelEdit();
  if (!FetchByKey(bookmarks_[static_cast<size_t>(at)]))
    ThrowDao(daoerr::kRecordDeleted, kSourceRecordset);
  pos_ = Pos::kRow;
}

int64_t ServerTableRecordset::AddRow(const std::vector<Variant>& buffer,
                                     const std::vector<uint8_t>& dirty) {
  jet::Engine& engine = db_->ServerEngine();
  std::string columns, placeholders;
  std::vector<Variant> values;
  for (size_t i = 0; i < dirty.size(); ++i) {
    if (!dirty[i]) continue;
    columns += (columns.empty() ? "" : ", ") + shape_->Bracketed(*table_, static_cast<int32_t>(i));
    placeholders += (placeholders.empty() ? "" : ", ") +
                    std::string(shape_->Placeholder(*table_, static_cast<int32_t>(i)));
    values.push_back(buffer[i]);
  }
  // A row of defaults only. Jet's INSERT names at least one field, so one
  // is written as DEFAULT VALUES would write it: Null into a field without
  // a default (Required refuses it, 3314, as it refuses the row of
  // defaults), else the first field's default, the catalogue's checked
  // literal, else Null into the counter, which takes its next value.
  if (columns.empty()) {
    int32_t plain = -1, withDefault = -1, counter = -1;
    for (size_t i = 0; i < table_->fields.size(); ++i) {
      const jet::FieldSpec& f = table_->fields[i];
      int32_t& pick = f.autoIncrement ? counter : f.defaultValue.empty() ? plain : withDefault;
      if (pick < 0) pick = static_cast<int32_t>(i);
    }
    if (plain >= 0) {
      columns = shape_->Bracketed(*table_, plain);
      placeholders = "Null";
    } else if (withDefault >= 0) {
      const std::string& d = table_->fields[static_cast<size_t>(withDefault)].defaultValue;
      columns = shape_->Bracketed(*table_, withDefault);
      placeholders = d.front() == '=' ? d.substr(1) : d;
    } else if (counter >= 0) {
      columns = shape_->Bracketed(*table_, counter);
      placeholders = "Null";
    }
    if (columns.empty()) ThrowDao(jet::jeterr::kNoFieldDefined, kSourceRecordset);
  }
  auto st = engine.Prepare("INSERT INTO [" + table_->name + "] (" + columns + ") VALUES (" +
                           placeholders + ")");
  BindLast(*st, values);
  st->Run();
  // The new row's key, for LastModified: as written, a counter's as given,
  // the row key as the INSERT returned it.
  std::vector<Variant> key;
  if (rowKey_ >= 0) {
    key.push_back(Variant(static_cast<int32_t>(engine.LastInsertId())));
    bookmarks_.push_back(std::move(key));
    return static_cast<int64_t>(bookmarks_.size() - 1);
  }
  for (int32_t field : primary_) {
    const size_t f = static_cast<size_t>(field);
    if (dirty[f])
      key.push_back(buffer[f]);
    else if (table_->fields[f].autoIncrement)
      key.push_back(Variant(static_cast<int32_t>(engine.LastInsertId())));
    else
      key.push_back(Variant::Null());
  }
  bookmarks_.push_back(std::move(key));
  return static_cast<int64_t>(bookmarks_.size() - 1);
}

void ServerTableRecordset::UpdateRow(std::vector<Variant>& buffer,
                                     const std::vector<uint8_t>& dirty) {
  jet::Engine& engine = db_->ServerEngine();
  const std::string mask(dirty.begin(), dirty.end());
  auto text = shape_->updates.find(mask);
  if (text == shape_->updates.end()) {
    std::string sets;
    for (size_t i = 0; i < dirty.size(); ++i) {
      if (!dirty[i]) continue;
      const auto field = static_cast<int32_t>(i);
      sets += (sets.empty() ? "" : ", ") + shape_->Bracketed(*table_, field) + " = " +
              std::string(shape_->Placeholder(*table_, field));
    }
    text = shape_->updates
               .emplace(mask, "UPDATE [" + table_->name + "] SET " + sets +
                                  shape_->PrimaryKeyWhere(*table_))
               .first;
  }
  auto st = engine.Prepare(text->second);
  // The written values, then the row's key: the statement's last
  // parameters (as BindLast binds them), bound from where they are.
  const auto written = std::count_if(dirty.begin(), dirty.end(), [](uint8_t d) { return d != 0; });
  int at = st->ParameterCount() - static_cast<int>(written) - static_cast<int>(primary_.size());
  for (size_t i = 0; i < dirty.size(); ++i)
    if (dirty[i]) st->Bind(++at, buffer[i]);
  for (int32_t field : primary_) st->Bind(++at, row_[static_cast<size_t>(field)]);
  const std::optional<int64_t> changed =
      updateWithNext_ ? st->RunWithNextRequest() : std::optional<int64_t>(st->Run());
  if (changed == 0) {
    pos_ = Pos::kDeleted;
    ThrowDao(daoerr::kRecordDeleted, kSourceRecordset);
  }
  bool keyChanged = false;
  for (int32_t field : primary_)
    keyChanged = keyChanged || (field != rowKey_ && dirty[static_cast<size_t>(field)]);
  std::vector<Variant> before;
  if (keyChanged) before = CurrentPrimaryKey();
  // The written values stand in the row until it is read again, so that
  // its key (a primary key changed too) finds it.
  for (size_t i = 0; i < dirty.size(); ++i)
    if (dirty[i]) row_[i] = std::move(buffer[i]);
  pos_ = Pos::kStale;
  bookmarks_.push_back(CurrentPrimaryKey());
  lastModified_ = static_cast<int64_t>(bookmarks_.size() - 1);
  // A rollback of the level takes the key back: the cursor, which finds its
  // row by the key, then stands on the row under its key before, where the
  // file's rowid keeps the row (the level's undo steps run after the open
  // recordsets are read again).
  if (keyChanged)
    Transaction::OnRollback(
        *db_, [self = weak_from_this(), before = std::move(before), after = bookmarks_.back()] {
          auto rs = std::static_pointer_cast<ServerTableRecordset>(self.lock());
          if (rs && rs->IsOpen()) rs->KeyRolledBack(before, after);
        });
}

void ServerTableRecordset::KeyRolledBack(const std::vector<Variant>& before,
                                         const std::vector<Variant>& after) {
  if (pos_ != Pos::kDeleted && pos_ != Pos::kRow && pos_ != Pos::kStale) return;
  const std::vector<Variant> current = CurrentPrimaryKey();
  for (size_t i = 0; i < current.size(); ++i)
    if (!(current[i] == after[i])) return;  // the cursor stands on another row
  for (size_t i = 0; i < primary_.size(); ++i) row_[static_cast<size_t>(primary_[i])] = before[i];
  ReadRowAgain();
}

void ServerTableRecordset::DeleteRow() {
  auto st = db_->ServerEngine().Prepare("DELETE FROM [" + table_->name + "]" +
                                        shape_->PrimaryKeyWhere(*table_));
  BindLast(*st, CurrentPrimaryKey());
  st->Run();
}

}  // namespace qv::dao
