// The statement half of JetEmitter: SELECT, INSERT, UPDATE and DELETE.

#include <algorithm>
#include <utility>

#include "platform/automation/Error.h"
#include "platform/automation/VbaText.h"
#include "platform/jet/JetFunctions.h"
#include "platform/jet/JetSchemaChange.h"
#include "platform/jet/Sqlite.h"
#include "platform/jet/sql/JetEmitter.h"
#include "platform/jet/sql/JetPostgres.h"
#include "platform/jet/sql/JetSqlError.h"
#include "platform/jet/sql/JetTyping.h"

namespace qv::jet::sql {

using namespace std::string_view_literals;

namespace {

// The table, among the plain tables of a FROM clause, that Jet code names `name`.
const TableRef* FindTable(const TableRef& t, std::string_view name) {
  switch (t.kind) {
    case TableRef::Kind::kTable:
      return NamesEqual(t.alias.empty() ? t.table : t.alias, name) ? &t : nullptr;
    case TableRef::Kind::kSubquery:
      return nullptr;
    case TableRef::Kind::kJoin:
      if (const TableRef* l = FindTable(*t.left, name)) return l;
      return FindTable(*t.right, name);
  }
  return nullptr;
}

// Adds `column` to the columns a statement writes. A column written twice
// (INSERT naming it twice, UPDATE setting it twice) is refused as Jet
// refuses it: SQLite kept the last value, the server refused with its own text.
void AddWritten(std::vector<const ColumnInfo*>& written, const ColumnInfo* column,
                std::string_view qualifier, std::string_view name) {
  if (std::find(written.begin(), written.end(), column) != written.end())
    ThrowJet(sqlerr::kDuplicateOutput, qualifier.empty()
                                           ? std::string(name)
                                           : std::string(qualifier) + "." + std::string(name));
  written.push_back(column);
}

}  // namespace

JetEmitter::JetEmitter(const SchemaView& schema, std::string_view jetSql, SqlDialect dialect)
    : schema_(schema), jetSql_(jetSql), dialect_(dialect) {}

void JetEmitter::AppendTable(std::string& out, std::string_view table) const {
  if (Postgres()) {
    const std::string stored = schema_.StoredTableName(table);
    return AppendServerName(out, stored.empty() ? table : std::string_view(stored));
  }
  sqlite::AppendQuoted(out, table);
}

std::string JetEmitter::QuotedColumn(std::string_view column) const {
  std::string out;
  if (Postgres()) {
    AppendServerName(out, column);
  } else {
    sqlite::AppendQuoted(out, column);
  }
  return out;
}

std::string JetEmitter::QuotedTable(std::string_view table) const {
  std::string out;
  AppendTable(out, table);
  return out;
}

bool JetEmitter::IsRowKey(const ColumnInfo& column) const {
  return Postgres() && column.name == kServerRowKey;
}

const std::vector<ColumnInfo>& JetEmitter::TableColumns(std::string_view table) const {
  const auto* columns = schema_.TableColumns(table);
  if (columns == nullptr) ThrowJet(sqlerr::kNoSuchTable, table);
  return *columns;
}

bool JetEmitter::Stored(const Emitted& value, JetType column, std::string& out, size_t start,
                        const Expr* update) const {
  std::string_view marker;
  switch (column) {
    case JetType::kBoolean:
      if (value.type != JetType::kBoolean) marker = "%StoreBoolean";
      break;
    case JetType::kByte:
    case JetType::kInteger:
    case JetType::kLong:
    case JetType::kBigInt:
      if (!IsIntegerType(value.type)) marker = "%StoreInteger";
      break;
    case JetType::kCurrency:
      if (!IsIntegerType(value.type) && value.type != JetType::kCurrency) marker = "%StoreCurrency";
      break;
    case JetType::kSingle:
      if (!IsIntegerType(value.type) && value.type != JetType::kSingle &&
          value.type != JetType::kCurrency)
        marker = "%StoreSingle";
      break;
    case JetType::kDouble:
      // A text on the server: its number, as a file's column reads one (a
      // text that reads as none is 3464 on both); the column takes no text.
      if (Postgres() && IsTextType(value.type) && !value.nullLiteral) {
        InsertAt(out, start, {"("});
        out += ")::double precision"sv;
        return true;
      }
      break;
    case JetType::kGUID:
      if (value.type != JetType::kGUID) marker = "%StoreGuid";
      break;
    case JetType::kBinary:
    case JetType::kVarBinary:
    case JetType::kLongBinary:
      // A text into a binary column on PostgreSQL: its own UTF-8 bytes, as
      // a file stores a text there, backslashes and all, whatever it spells.
      if (Postgres() && IsTextType(value.type) && !value.nullLiteral)
        return AsBytes(out, start, out.size()) != 0;
      break;
    default:
      break;
  }
  if (marker.empty() || value.nullLiteral) return false;
  std::string name;
  if (update)
    AppendCallName(name, RequiredFunction(marker).sqliteName, *update);
  else
    name = RequiredFunction(marker).sqliteName;
  InsertAt(out, start, {name, "("});
  out += ')';
  return true;
}

Translation JetEmitter::Translate(const Statement& st) {
  Translation t;
  switch (st.kind) {
    case StatementKind::kSelect: {
      QueryOut q = EmitQuery(*st.query, nullptr);
      t.sql = std::move(q.sql);
      t.columns = std::move(q.columns);
      break;
    }
    case StatementKind::kInsert:
      t = EmitInsert(st);
      break;
    case StatementKind::kUpdate:
      t = EmitUpdate(st);
      break;
    case StatementKind::kDelete:
      t = EmitDelete(st);
      break;
    case StatementKind::kSchema:
      t = EmitSchemaChange(st);
      break;
  }
  t.kind = st.kind;
  // Jet takes a name it cannot resolve for a parameter the statement lacks.
  if (!parameters_.empty()) {
    std::string text = JetMessage(sqlerr::kTooFewParameters, std::to_string(parameters_.size()));
    text += " Unknown name";
    text += parameters_.size() > 1 ? "s: " : ": ";
    for (size_t i = 0; i < parameters_.size(); ++i)
      text += (i > 0 ? ", '" : "'") + parameters_[i] + "'";
    text += ".";
    throw Error(sqlerr::kTooFewParameters, std::move(text), std::string(kErrorSource));
  }
  CheckSize(t.sql);
  t.numberOperands = numberOperands_;
  t.added = added_;
  if (Postgres()) {
    t.serverFunctions = CalledJetFunctions(t.sql);
    if (t.change && !t.change->selectSql.empty())
      t.serverFunctions = CalledJetFunctions(t.change->selectSql);
  }
  return t;
}

Translation JetEmitter::EmitSchemaChange(const Statement& st) {
  Translation t;
  auto change = std::make_shared<SchemaChange>(*st.change);
  if (change->op == SchemaChange::Op::kMakeTable) {
    // The new table has a field per column of the select, of the column's
    // type; it is filled from the select as it stands.
    const std::span<const size_t> positions = std::exchange(literalPositions_, {});
    QueryOut q = EmitQuery(*st.query, nullptr);
    literalPositions_ = positions;
    for (const ResultColumn& c : q.columns) {
      FieldSpec f;
      f.name = c.name;
      f.type = c.type == JetType::kNone ? JetType::kText : c.type;
      f.size = c.size;
      if (f.type == JetType::kText && f.size > 255) f.type = JetType::kMemo;
      change->table.fields.push_back(std::move(f));
    }
    change->selectSql = std::move(q.sql);
  }
  t.change = std::move(change);
  return t;
}

// A value written to a counter on PostgreSQL moves its identity past it, as
// a file's counter goes on after the highest number written (the server's
// sequence does not see a value given): out[start..] becomes
//   (SELECT CASE WHEN v > last THEN setval(seq, v) ELSE v END FROM (value, seq))
// `table` is the table as the statement writes it (quoted), `column` the counter.
void JetEmitter::CounterWritten(std::string& out, size_t start, std::string_view table,
                                std::string_view column) const {
  auto literal = [](std::string& to, std::string_view text) {
    to += '\'';
    for (const char c : text) to += c == '\'' ? "''"sv : std::string_view(&c, 1);
    to += '\'';
  };
  InsertAt(out, start,
           {"(SELECT CASE WHEN \"v\" > coalesce(pg_sequence_last_value(\"q\"), 0)",
            " THEN setval(\"q\", \"v\") ELSE \"v\" END FROM (SELECT ("});
  out += ")::bigint AS \"v\", pg_get_serial_sequence("sv;
  literal(out, table);
  out += ", "sv;
  literal(out, column);
  out += ")::regclass AS \"q\") AS \"jet_counter\")"sv;
}

Translation JetEmitter::EmitInsert(const Statement& st) {
  const auto& table = TableColumns(st.table);
  std::vector<const ColumnInfo*> targets;
  for (const auto& name : st.columns) {
    const ColumnInfo* found = nullptr;
    for (const auto& c : table)
      if (NamesEqual(c.name, name)) found = &c;
    if (found == nullptr) ThrowJet(sqlerr::kInsertUnknownField, name);
    AddWritten(targets, found, {}, name);
  }
  std::string source;
  if (st.query) {
    const QueryOut q = EmitQuery(*st.query, nullptr);
    if (targets.empty()) {
      // Without a column list the select's columns go to the columns of the
      // same names when each has its own, else to the table's columns in order.
      bool byName = true;
      for (const auto& rc : q.columns) {
        const ColumnInfo* match = nullptr;
        for (const auto& c : table)
          if (NamesEqual(c.name, rc.name) && !IsRowKey(c)) match = &c;
        byName =
            match != nullptr && std::find(targets.begin(), targets.end(), match) == targets.end();
        if (!byName) break;
        targets.push_back(match);
      }
      if (!byName) {
        targets.clear();
        for (const auto& c : table)
          if (!IsRowKey(c)) targets.push_back(&c);
      }
    }
    if (targets.size() != q.columns.size()) ThrowJet(sqlerr::kValueCount);
    // The select's columns are read through a named subquery, by position,
    // when a column must be stored otherwise than the select gives it.
    std::string list;
    bool stored = false;
    for (size_t i = 0; i < targets.size(); ++i) {
      Emitted column;
      column.type = q.columns[i].type;
      if (i > 0) list += ", ";
      const size_t start = list.size();
      sqlite::AppendQuoted(list, "c" + std::to_string(i + 1));
      const bool wrapped = Stored(column, targets[i]->type, list, start);
      stored = wrapped || stored;
      // A Null the select gives as it stands is a text in the server's named
      // subquery, which no number or date column takes: it goes as the
      // column's type (outside the subquery the server types it itself).
      if (Postgres() && column.type == JetType::kNone && !wrapped)
        if (const std::string_view type = PostgresType(targets[i]->type); !type.empty()) {
          list += "::";
          list += type;
        }
      if (Postgres() && targets[i]->counter) {
        CounterWritten(list, start, QuotedTable(st.table), targets[i]->name);
        stored = true;
      }
    }
    if (stored) {
      std::string names;
      for (size_t i = 0; i < targets.size(); ++i)
        names += (i > 0 ? ", " : "") + QuoteName("c" + std::to_string(i + 1));
      source = " WITH \"jet_source\"(" + names + ") AS (" + q.sql + ") SELECT " + list +
               " FROM \"jet_source\"";
    } else {
      source = " " + q.sql;
    }
  } else {
    if (targets.empty())
      for (const auto& c : table)
        if (!IsRowKey(c)) targets.push_back(&c);
    if (targets.size() != st.values.size()) ThrowJet(sqlerr::kValueCount);
    const Scope none(nullptr);
    source = " VALUES (";
    for (size_t i = 0; i < st.values.size(); ++i) {
      if (i > 0) source += ", ";
      // A Null given to a counter takes its next value, as the file's
      // counter (its rowid) does; the server's identity column takes it
      // from DEFAULT and refuses a Null.
      if (Postgres() && targets[i]->counter && st.values[i]->kind == ExprKind::kNull) {
        source += "DEFAULT";
        continue;
      }
      const size_t start = source.size();
      Stored(EmitValue(*st.values[i], none, source), targets[i]->type, source, start);
      if (Postgres() && targets[i]->counter)
        CounterWritten(source, start, QuotedTable(st.table), targets[i]->name);
      CheckSize(source);
    }
    source += ")";
  }
  Translation t;
  t.sql = "INSERT INTO " + QuotedTable(st.table) + " (";
  for (size_t i = 0; i < targets.size(); ++i)
    t.sql += (i > 0 ? ", " : "") + QuotedColumn(targets[i]->name);
  t.sql += ")" + source;
  // One row into a table with the row key: the server returns the new
  // row's key (the engine's LastInsertId), which the caller does not see
  // as a column.
  if (!st.query &&
      std::any_of(table.begin(), table.end(), [&](const ColumnInfo& c) { return IsRowKey(c); })) {
    t.sql += " RETURNING ";
    sqlite::AppendQuoted(t.sql, kServerRowKey);
    t.hiddenTrailingColumns = 1;
  }
  return t;
}

Translation JetEmitter::EmitUpdate(const Statement& st) {
  const auto& table = TableColumns(st.table);
  const std::string& name = st.alias.empty() ? st.table : st.alias;
  Scope scope(nullptr);
  scope.Add(ScopeSource{
      name, st.alias.empty() ? QuotedTable(st.table) : QuoteName(st.alias), &table, {}, {}});
  Translation t;
  t.sql =
      "UPDATE " + QuotedTable(st.table) + (st.alias.empty() ? "" : " AS " + QuoteName(st.alias));
  std::vector<const ColumnInfo*> set;
  for (size_t i = 0; i < st.assignments.size(); ++i) {
    const Assignment& a = st.assignments[i];
    const auto hit = scope.Find(a.qualifier, a.column);
    if (!hit) {
      parameters_.push_back(a.qualifier.empty() ? a.column : a.qualifier + "." + a.column);
      continue;
    }
    AddWritten(set, hit->column, a.qualifier, a.column);
    // SQLite names the column being set without a qualifier.
    t.sql += i == 0 ? " SET " : ", ";
    t.sql += QuotedColumn(hit->column->name);
    t.sql += " = ";
    const size_t start = t.sql.size();
    // A value of literals the column cannot take is refused for a row the
    // update writes, as on a file: with none, the server would still have
    // refused it when it planned the statement, its functions then lazy.
    ++lazy_;
    const Emitted value = EmitValue(*a.value, scope, t.sql);
    Stored(value, hit->column->type, t.sql, start, a.value.get());
    --lazy_;
    CheckSize(t.sql);
  }
  if (st.where) {
    clause_ = Clause::kWhere;
    clauseExpr_ = st.where.get();
    t.sql += " WHERE ";
    EmitCondition(*st.where, scope, t.sql);
  }
  return t;
}

Translation JetEmitter::EmitDelete(const Statement& st) {
  Scope scope(nullptr);
  std::string from;
  EmitFrom(*st.from, scope, nullptr, from);
  std::string where;
  if (st.where) {
    clause_ = Clause::kWhere;
    clauseExpr_ = st.where.get();
    where = " WHERE ";
    EmitCondition(*st.where, scope, where);
  }
  Translation t;
  if (st.from->kind == TableRef::Kind::kTable) {
    if (!st.deleteQualifier.empty() && FindTable(*st.from, st.deleteQualifier) == nullptr)
      ThrowJet(sqlerr::kDeleteWhichTable);
    t.sql = "DELETE FROM " + from + where;
  } else {
    if (st.deleteQualifier.empty()) {
      ThrowJet(st.from->kind == TableRef::Kind::kSubquery ? sqlerr::kCannotDelete
                                                          : sqlerr::kDeleteWhichTable);
    }
    const TableRef* target = FindTable(*st.from, st.deleteQualifier);
    if (target == nullptr) ThrowJet(sqlerr::kCannotDelete);
    // Rows of the target that the join keeps, found by their rowid (their
    // place, ctid, on PostgreSQL).
    const std::string name =
        target->alias.empty() ? QuotedTable(target->table) : QuoteName(target->alias);
    const std::string_view rowid = Postgres() ? "ctid" : "rowid";
    t.sql = Cat({"DELETE FROM ", QuotedTable(target->table), " WHERE ", rowid, " IN (SELECT ", name,
                 ".", rowid, " FROM ", from, where, ")"});
  }
  return t;
}

}  // namespace qv::jet::sql
