#include "platform/dao/TableCursorSql.h"

#include "platform/automation/VbaText.h"
#include "platform/dao/DaoError.h"

namespace qv::dao {

namespace {

std::string Quote(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

bool IsNull(uint16_t nulls, size_t i) {
  return (nulls >> i) & 1u;
}

// The probes that find rows after (or before) a key value of one column, in
// order of nearness. `reverse` is the column's direction against the walk:
// a descending column walked forward or an ascending one walked backward.
// Nulls sort first in ascending order, last in descending order.
void AppendRange(std::vector<Probe>& plan, uint8_t column, uint16_t nulls, bool keyNull,
                 bool reverse, bool backward) {
  Probe p;
  p.eqCount = column;
  p.eqNulls = static_cast<uint16_t>(nulls & ((1u << column) - 1));
  p.backward = backward;
  if (!reverse) {
    p.cond = keyNull ? Cond::kNotNull : Cond::kGreater;
    plan.push_back(p);
  } else if (!keyNull) {
    p.cond = Cond::kLess;
    plan.push_back(p);
    p.cond = Cond::kIsNull;
    plan.push_back(p);
  }
}

// The probes of the rows whose first `count` columns come after (or before)
// the key's, nearest first.
void AppendAfterPrefix(std::vector<Probe>& plan, const CursorOrder& order, size_t count,
                       uint16_t nulls, bool backward) {
  for (size_t c = count; c-- > 0;)
    AppendRange(plan, static_cast<uint8_t>(c), nulls, IsNull(nulls, c),
                order.columns[c].descending != backward, backward);
}

}  // namespace

uint32_t Probe::Code() const {
  return eqCount | (static_cast<uint32_t>(eqNulls) << 4) | (static_cast<uint32_t>(cond) << 20) |
         (backward ? 1u << 23 : 0u);
}

std::vector<Probe> StepPlan(const CursorOrder& order, uint16_t nulls, bool backward) {
  std::vector<Probe> plan;
  Probe same;
  same.eqCount = static_cast<uint8_t>(order.columns.size());
  same.eqNulls = nulls;
  same.cond = backward ? Cond::kRowidLess : Cond::kRowidGreater;
  same.backward = backward;
  plan.push_back(same);
  AppendAfterPrefix(plan, order, order.columns.size(), nulls, backward);
  return plan;
}

std::vector<Probe> SeekPlan(const CursorOrder& order, size_t keyCount, uint16_t nulls,
                            std::string_view comparison) {
  bool equal = comparison == "=" || comparison == ">=" || comparison == "<=";
  bool backward = comparison == "<=" || comparison == "<";
  if (!equal && comparison != ">" && comparison != "<")
    ThrowDao(daoerr::kInvalidArgument, kSourceRecordset);
  std::vector<Probe> plan;
  if (equal) {
    Probe p;
    p.eqCount = static_cast<uint8_t>(keyCount);
    p.eqNulls = nulls;
    p.backward = backward;
    plan.push_back(p);
  }
  if (comparison != "=") AppendAfterPrefix(plan, order, keyCount, nulls, backward);
  return plan;
}

TableSql::TableSql(const jet::TableSpec& table) : table_(Quote(table.name)) {
  for (const char* candidate : {"rowid", "_rowid_", "oid"}) {
    if (!table.FindField(candidate)) {
      rowid_ = candidate;
      break;
    }
  }
  select_ = "SELECT ";
  for (const jet::FieldSpec& f : table.fields) {
    quoted_.push_back(Quote(f.name));
    select_ += quoted_.back() + ", ";
  }
  select_ += rowid_ + " FROM " + table_;
}

std::string TableSql::ProbeSql(const CursorOrder& order, const Probe& probe) const {
  return ProbeFrom(select_, order, probe);
}

std::string TableSql::ProbeSql(const CursorOrder& order, const Probe& probe,
                               std::span<const int32_t> fields) const {
  std::string select = "SELECT ";
  for (int32_t f : fields) select += quoted_[static_cast<size_t>(f)] + ", ";
  return ProbeFrom(select + rowid_ + " FROM " + table_, order, probe);
}

std::string TableSql::ProbeFrom(std::string sql, const CursorOrder& order,
                                const Probe& probe) const {
  if (!order.indexName.empty()) sql += " INDEXED BY " + Quote(order.indexName);
  std::string where;
  auto add = [&](const std::string& term) {
    where += (where.empty() ? " WHERE " : " AND ") + term;
  };
  for (size_t i = 0; i < probe.eqCount; ++i) {
    const std::string& col = quoted_[static_cast<size_t>(order.columns[i].field)];
    add(col + (IsNull(probe.eqNulls, i) ? " IS NULL" : " = ?"));
  }
  if (probe.cond == Cond::kRowidGreater || probe.cond == Cond::kRowidLess) {
    add(rowid_ + (probe.cond == Cond::kRowidGreater ? " > ?" : " < ?"));
  } else if (probe.cond != Cond::kNone) {
    const std::string& col = quoted_[static_cast<size_t>(order.columns[probe.eqCount].field)];
    switch (probe.cond) {
      case Cond::kGreater:
        add(col + " > ?");
        break;
      case Cond::kLess:
        add(col + " < ?");
        break;
      case Cond::kIsNull:
        add(col + " IS NULL");
        break;
      default:
        add(col + " IS NOT NULL");
        break;
    }
  }
  sql += where + " ORDER BY ";
  for (const OrderColumn& c : order.columns) {
    sql += quoted_[static_cast<size_t>(c.field)];
    sql += c.descending != probe.backward ? " DESC, " : ", ";
  }
  sql += rowid_ + (probe.backward ? " DESC" : "") + " LIMIT 1";
  return sql;
}

std::string TableSql::PointSql(const CursorOrder& order, std::span<const int32_t> fields) const {
  std::string sql = "SELECT ";
  for (size_t i = 0; i < fields.size(); ++i)
    sql += (i == 0 ? "" : ", ") + quoted_[static_cast<size_t>(fields[i])];
  if (fields.empty()) sql += rowid_;
  sql += " FROM " + table_;
  if (!order.indexName.empty()) sql += " INDEXED BY " + Quote(order.indexName);
  return sql + " WHERE " + quoted_[static_cast<size_t>(order.columns[0].field)] + " = ?";
}

std::string TableSql::ByRowidSql() const {
  return select_ + " WHERE " + rowid_ + " = ?";
}

std::string TableSql::CountSql() const {
  return "SELECT count(*) FROM " + table_;
}

std::string TableSql::DeleteSql() const {
  return "DELETE FROM " + table_ + " WHERE " + rowid_ + " = ?";
}

std::string TableSql::InsertSql(const std::vector<uint8_t>& dirty) const {
  std::string columns, values;
  for (size_t i = 0; i < dirty.size(); ++i) {
    if (!dirty[i]) continue;
    columns += (columns.empty() ? "" : ", ") + quoted_[i];
    values += values.empty() ? "?" : ", ?";
  }
  if (columns.empty()) return "INSERT INTO " + table_ + " DEFAULT VALUES";
  return "INSERT INTO " + table_ + " (" + columns + ") VALUES (" + values + ")";
}

std::string TableSql::UpdateSql(const std::vector<uint8_t>& dirty) const {
  std::string sets;
  for (size_t i = 0; i < dirty.size(); ++i)
    if (dirty[i]) sets += (sets.empty() ? "" : ", ") + quoted_[i] + " = ?";
  return "UPDATE " + table_ + " SET " + sets + " WHERE " + rowid_ + " = ?";
}

std::string TableSql::SnapshotSql() const {
  std::string sql = "SELECT ";
  for (size_t i = 0; i < quoted_.size(); ++i) sql += (i ? ", " : "") + quoted_[i];
  return sql + " FROM " + table_ + " ORDER BY " + rowid_;
}

}  // namespace qv::dao
