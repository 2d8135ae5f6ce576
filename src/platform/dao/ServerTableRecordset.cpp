#include "platform/dao/ServerTableRecordset.h"

#include <climits>

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

bool IsNullAt(uint16_t nulls, size_t i) {
  return (nulls >> i) & 1u;
}

}  // namespace

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
    : Recordset(db, table->name, type, updatable), table_(std::move(table)) {
  rowKey_ = static_cast<int32_t>(table_->fields.size());
  const jet::IndexSpec* key = PrimaryIndex(*table_);
  if (!key && HasServerRowKey(*db, table_->name)) {
    primary_.push_back(rowKey_);
  } else {
    if (!key) key = RequiredUniqueIndex(*table_);
    if (key)
      for (const jet::IndexField& f : key->fields)
        primary_.push_back(FieldPosition(*table_, f.name));
    rowKey_ = -1;
  }
  if (primary_.empty() || primary_.size() > 15)
    RaiseNotOnServer(
        "A table-type recordset of a table without a primary key, a row key or a unique index of "
        "required fields (a database made before tables had row keys: open it for writing once)");
  std::vector<RecordsetColumn> columns;
  select_ = "SELECT TOP 1 ";
  for (size_t i = 0; i < table_->fields.size(); ++i) {
    const jet::FieldSpec& f = table_->fields[i];
    columns.push_back({f, table_->name, f.name});
    select_ += (i ? ", " : "") + Bracketed(static_cast<int32_t>(i));
  }
  // The row key is read after the fields, into the row's last place.
  if (rowKey_ >= 0) select_ += ", " + Bracketed(rowKey_);
  select_ += " FROM [" + table_->name + "]";
  SetColumns(std::move(columns));
  row_.resize(columns_->size() + (rowKey_ >= 0 ? 1 : 0));
  values_ = row_.data();
  order_ = OrderOf(-1);
}

std::string ServerTableRecordset::Bracketed(int32_t field) const {
  if (field == rowKey_) return "[" + std::string(jet::sql::kServerRowKey) + "]";
  // The catalogue's names are valid Jet names: they hold no bracket.
  return "[" + table_->fields[static_cast<size_t>(field)].name + "]";
}

std::string ServerTableRecordset::Placeholder(int32_t field) const {
  // The literal's kind gives the server's parameter its type: whole
  // numbers an integer, other numbers (dates are day numbers) a double,
  // the rest (binary fields too: bytes are bound in bytea's text form) a
  // text.
  if (field == rowKey_) return "0";
  switch (table_->fields[static_cast<size_t>(field)].type) {
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

CursorOrder ServerTableRecordset::OrderOf(int32_t ordinal) const {
  // The index's columns, then the primary key's but its last, which is the
  // probes' "rowid": together they order every row, as a primary key's
  // columns cannot be Null.
  CursorOrder order;
  if (ordinal >= 0) {
    const jet::IndexSpec& index = table_->indexes[static_cast<size_t>(ordinal)];
    for (const jet::IndexField& f : index.fields) {
      const int32_t at = FieldPosition(*table_, f.name);
      if (at >= 0) order.columns.push_back({at, f.descending});
    }
  }
  for (size_t i = 0; i + 1 < primary_.size(); ++i) {
    bool present = false;
    for (const OrderColumn& c : order.columns) present = present || c.field == primary_[i];
    if (!present) order.columns.push_back({primary_[i], false});
  }
  // Probe codes and null masks have room for 16 key columns.
  if (order.columns.size() > 15) ThrowDao(daoerr::kInvalidArgument, kSourceRecordset);
  return order;
}

std::string ServerTableRecordset::ProbeSql(const Probe& probe, std::vector<int32_t>& params) const {
  std::string where;
  auto add = [&](const std::string& term) {
    where += (where.empty() ? " WHERE " : " AND ") + term;
  };
  for (size_t i = 0; i < probe.eqCount; ++i) {
    const int32_t field = order_.columns[i].field;
    if (IsNullAt(probe.eqNulls, i)) {
      add(Bracketed(field) + " IS NULL");
    } else {
      add(Bracketed(field) + " = " + Placeholder(field));
      params.push_back(field);
    }
  }
  const int32_t rowid = primary_.back();
  if (probe.cond == Cond::kRowidGreater || probe.cond == Cond::kRowidLess) {
    add(Bracketed(rowid) + (probe.cond == Cond::kRowidGreater ? " > " : " < ") +
        Placeholder(rowid));
    params.push_back(rowid);
  } else if (probe.cond != Cond::kNone) {
    const int32_t field = order_.columns[probe.eqCount].field;
    switch (probe.cond) {
      case Cond::kGreater:
      case Cond::kLess:
        add(Bracketed(field) + (probe.cond == Cond::kGreater ? " > " : " < ") + Placeholder(field));
        params.push_back(field);
        break;
      case Cond::kIsNull:
        add(Bracketed(field) + " IS NULL");
        break;
      default:
        add(Bracketed(field) + " IS NOT NULL");
        break;
    }
  }
  std::string sql = select_ + where + " ORDER BY ";
  for (const OrderColumn& c : order_.columns)
    sql += Bracketed(c.field) + (c.descending != probe.backward ? " DESC, " : ", ");
  return sql + Bracketed(rowid) + (probe.backward ? " DESC" : "");
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

bool ServerTableRecordset::RunPlan(const std::vector<Probe>& plan, std::span<const Variant> keys,
                                   const Variant& rowid) {
  jet::Engine& engine = db_->ServerEngine();
  std::vector<int32_t> params;
  std::vector<Variant> values;
  for (const Probe& probe : plan) {
    params.clear();
    values.clear();
    auto st = engine.Prepare(ProbeSql(probe, params));
    for (size_t i = 0; i < probe.eqCount; ++i)
      if (!IsNullAt(probe.eqNulls, i)) values.push_back(keys[i]);
    if (probe.cond == Cond::kGreater || probe.cond == Cond::kLess)
      values.push_back(keys[probe.eqCount]);
    else if (probe.cond == Cond::kRowidGreater || probe.cond == Cond::kRowidLess)
      values.push_back(rowid);
    BindLast(*st, values);
    if (st->Step()) {
      ReadRow(*st);
      return true;
    }
  }
  return false;
}

std::string ServerTableRecordset::PrimaryKeyWhere() const {
  std::string where;
  for (int32_t field : primary_)
    where += (where.empty() ? " WHERE " : " AND ") + Bracketed(field) + " = " + Placeholder(field);
  return where;
}

bool ServerTableRecordset::FetchByKey(std::span<const Variant> key) {
  auto st = db_->ServerEngine().Prepare(select_ + PrimaryKeyWhere());
  BindLast(*st, key);
  if (!st->Step()) return false;
  ReadRow(*st);
  return true;
}

std::vector<Variant> ServerTableRecordset::CurrentOrderKey() const {
  std::vector<Variant> key;
  key.reserve(order_.columns.size());
  for (const OrderColumn& c : order_.columns) key.push_back(row_[static_cast<size_t>(c.field)]);
  return key;
}

std::vector<Variant> ServerTableRecordset::CurrentPrimaryKey() const {
  std::vector<Variant> key;
  key.reserve(primary_.size());
  for (int32_t field : primary_) key.push_back(row_[static_cast<size_t>(field)]);
  return key;
}

uint16_t ServerTableRecordset::KeyNulls(std::span<const Variant> keys) const {
  uint16_t nulls = 0;
  for (size_t i = 0; i < keys.size(); ++i)
    if (keys[i].IsEmptyOrNull()) nulls = static_cast<uint16_t>(nulls | (1u << i));
  return nulls;
}

void ServerTableRecordset::ReadFirstRow() {
  pos_ = RunPlan({Probe{}}, {}, Variant()) ? Pos::kRow : Pos::kEmpty;
}

void ServerTableRecordset::ReadRowAgain() {
  pos_ = FetchByKey(CurrentPrimaryKey()) ? Pos::kRow : Pos::kDeleted;
}

bool ServerTableRecordset::Step(bool backward) {
  Positioned();  // the key of a row updated since it was read
  std::vector<Variant> key = CurrentOrderKey();
  return RunPlan(StepPlan(order_, KeyNulls(key), backward), key,
                 row_[static_cast<size_t>(primary_.back())]);
}

void ServerTableRecordset::FirstOrLast(bool last) {
  CheckOpen();
  CancelEdit();
  Probe p;
  p.backward = last;
  if (RunPlan({p}, {}, Variant())) {
    pos_ = Pos::kRow;
    return;
  }
  pos_ = Pos::kEmpty;
  ThrowDao(daoerr::kNoCurrentRecord, kSourceRecordset);
}

void ServerTableRecordset::MoveFirst() {
  FirstOrLast(false);
}

void ServerTableRecordset::MoveLast() {
  FirstOrLast(true);
}

void ServerTableRecordset::MoveNext() {
  CheckOpen();
  CancelEdit();
  if (IsEOF()) ThrowDao(daoerr::kNoCurrentRecord, kSourceRecordset);
  const bool found = pos_ == Pos::kBOF ? RunPlan({Probe{}}, {}, Variant()) : Step(false);
  pos_ = found ? Pos::kRow : Pos::kEOF;
}

void ServerTableRecordset::MovePrevious() {
  CheckOpen();
  CancelEdit();
  if (IsBOF() || pos_ == Pos::kNone) ThrowDao(daoerr::kNoCurrentRecord, kSourceRecordset);
  bool found;
  if (pos_ == Pos::kEOF) {
    Probe last;
    last.backward = true;
    found = RunPlan({last}, {}, Variant());
  } else {
    found = Step(true);
  }
  pos_ = found ? Pos::kRow : Pos::kBOF;
}

void ServerTableRecordset::Move(int32_t rows) {
  CheckOpen();
  if (rows == 0) {
    CancelEdit();
    Positioned();
    if (pos_ != Pos::kRow) ThrowDao(daoerr::kNoCurrentRecord, kSourceRecordset);
    if (!FetchByKey(CurrentPrimaryKey())) pos_ = Pos::kDeleted;
    return;
  }
  if (rows > 0 ? IsEOF() : (IsBOF() || pos_ == Pos::kNone))
    ThrowDao(daoerr::kNoCurrentRecord, kSourceRecordset);
  for (int32_t i = 0; i < (rows > 0 ? rows : -rows); ++i) {
    if (rows > 0) {
      MoveNext();
      if (IsEOF()) break;
    } else {
      MovePrevious();
      if (IsBOF()) break;
    }
  }
}

int32_t ServerTableRecordset::RecordCount() {
  CheckOpen();
  auto st = db_->ServerEngine().Prepare("SELECT Count(*) FROM [" + table_->name + "]");
  if (!st->Step()) return 0;
  return CLng(st->Value(0));
}

std::string ServerTableRecordset::Index() const {
  CheckOpen();
  if (Type() != dbOpenTable) ThrowDao(daoerr::kNotSupported, kSourceRecordset);
  return indexOrdinal_ < 0 ? std::string()
                           : table_->indexes[static_cast<size_t>(indexOrdinal_)].name;
}

void ServerTableRecordset::SetIndex(const std::string& name) {
  CheckOpen();
  if (Type() != dbOpenTable) ThrowDao(daoerr::kNotSupported, kSourceRecordset);
  if (name.empty()) {
    indexOrdinal_ = -1;
    order_ = OrderOf(-1);
    return;
  }
  for (size_t i = 0; i < table_->indexes.size(); ++i) {
    if (NamesEqual(table_->indexes[i].name, name)) {
      order_ = OrderOf(static_cast<int32_t>(i));
      indexOrdinal_ = static_cast<int32_t>(i);
      return;
    }
  }
  ThrowDao(daoerr::kNotAnIndex, kSourceRecordset, {name});
}

void ServerTableRecordset::Seek(std::string_view comparison, std::span<const Variant> keys) {
  CheckOpen();
  if (Type() != dbOpenTable) ThrowDao(daoerr::kNotSupported, kSourceRecordset);
  if (indexOrdinal_ < 0) ThrowDao(daoerr::kNoCurrentIndex, kSourceRecordset);
  const std::string_view cmp = TrimBlanks(comparison);
  if (keys.empty() || keys.size() > order_.columns.size())
    ThrowDao(daoerr::kInvalidArgument, kSourceRecordset);
  CancelEdit();
  std::vector<Probe> plan = SeekPlan(order_, keys.size(), KeyNulls(keys), cmp);
  // Keys compare as the columns' values: converted to the column's type.
  std::vector<Variant> converted(keys.size());
  for (size_t i = 0; i < keys.size(); ++i) {
    const jet::FieldSpec& f = (*columns_)[static_cast<size_t>(order_.columns[i].field)].spec;
    try {
      converted[i] = CoerceToField(keys[i], f.type, INT32_MAX);
    } catch (const Error&) {
      ThrowDao(daoerr::kTypeMismatch, kSourceRecordset);
    }
  }
  const bool found = RunPlan(plan, converted, Variant());
  noMatch_ = !found;
  pos_ = found ? Pos::kRow : Pos::kNone;
}

void ServerTableRecordset::SeekUnread(std::string_view comparison, std::span<const Variant> keys) {
  // A server's row comes whole in the probe's one round trip.
  Seek(comparison, keys);
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

void ServerTableRecordset::Refresh() {
  KeepEditedRow();
  if (pos_ == Pos::kRow || pos_ == Pos::kStale) ReadRowAgain();
}

int64_t ServerTableRecordset::AddRow(const std::vector<Variant>& buffer,
                                     const std::vector<uint8_t>& dirty) {
  jet::Engine& engine = db_->ServerEngine();
  std::string columns, placeholders;
  std::vector<Variant> values;
  for (size_t i = 0; i < dirty.size(); ++i) {
    if (!dirty[i]) continue;
    columns += (columns.empty() ? "" : ", ") + Bracketed(static_cast<int32_t>(i));
    placeholders += (placeholders.empty() ? "" : ", ") + Placeholder(static_cast<int32_t>(i));
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
      columns = Bracketed(plain);
      placeholders = "Null";
    } else if (withDefault >= 0) {
      const std::string& d = table_->fields[static_cast<size_t>(withDefault)].defaultValue;
      columns = Bracketed(withDefault);
      placeholders = d.front() == '=' ? d.substr(1) : d;
    } else if (counter >= 0) {
      columns = Bracketed(counter);
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
  std::string sets;
  std::vector<Variant> values;
  for (size_t i = 0; i < dirty.size(); ++i) {
    if (!dirty[i]) continue;
    sets += (sets.empty() ? "" : ", ") + Bracketed(static_cast<int32_t>(i)) + " = " +
            Placeholder(static_cast<int32_t>(i));
    values.push_back(buffer[i]);
  }
  for (Variant& v : CurrentPrimaryKey()) values.push_back(std::move(v));
  auto st = engine.Prepare("UPDATE [" + table_->name + "] SET " + sets + PrimaryKeyWhere());
  BindLast(*st, values);
  if (st->Run() == 0) {
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
  auto st = db_->ServerEngine().Prepare("DELETE FROM [" + table_->name + "]" + PrimaryKeyWhere());
  BindLast(*st, CurrentPrimaryKey());
  st->Run();
}

}  // namespace qv::dao
