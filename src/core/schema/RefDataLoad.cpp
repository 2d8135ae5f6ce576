// Loading reference files into a user database (RefData.h), and where the
// library's own reference data lies.

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <set>

#include "core/mQvDaoDataBase.h"
#include "core/schema/RefData.h"
#include "core/schema/SchemaBuilder.h"
#include "platform/automation/Error.h"
#include "platform/automation/VbaDate.h"
#include "platform/automation/VbaText.h"
#include "platform/dao/DaoCollections.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/TableDef.h"
#include "platform/dao/TableDefs.h"
#include "platform/dao/Transaction.h"

namespace qv::schema {

namespace fs = std::filesystem;
using mQvDaoDataBase::DaoQString;
using mQvDaoDataBase::Date2DaoSql;
using mQvDaoDataBase::Number2DaoSql;
using mQvDaoDataBase::Number2DaoValue;

namespace {

constexpr std::string_view kEditionsTable = "RefDataEditions";

[[noreturn]] void FailAt(const RefDataTable& t, const RefDataRow& r, int column,
                         const std::string& what) {
  throw Error(kRefDataFormatError,
              t.file.filename().string() + ":" + std::to_string(r.line) + ":" +
                  std::to_string(column) + ": " + what,
              "RefData");
}

bool IsTextField(const FieldDef& f) {
  return f.type == JetType::kText || f.type == JetType::kMemo;
}

std::string Literal(const FieldDef& f, const Variant& v) {
  if (IsTextField(f)) return DaoQString(CStr(v));
  if (f.type == JetType::kDate) return Date2DaoSql(v, "DateSerial(1899,12,31)");
  return Number2DaoSql(CDbl(v));
}

// How a value reads in a report: dates as YYYY-MM-DD.
std::string Shown(const FieldDef& f, const Variant& v) {
  if (v.IsNull()) return "Null";
  if (f.type != JetType::kDate) return CStr(v);
  const DateParts p = SplitDate(OleDate{CDbl(v)});
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", p.year, p.month, p.day);
  return text;
}

bool SameValue(const FieldDef& f, const Variant& stored, const Variant& wanted) {
  if (stored.IsNull()) return false;
  if (IsTextField(f)) return CStr(stored) == CStr(wanted);
  return CDbl(stored) == Number2DaoValue(CDbl(wanted));
}

bool IsKey(const RefTableSpec& spec, std::string_view column) {
  for (std::string_view k : spec.key)
    if (NamesEqual(k, column)) return true;
  return false;
}

std::string KeyCondition(const RefDataTable& t, const RefDataRow& r) {
  std::string where;
  for (size_t i = 0; i < t.def->fields.size(); ++i) {
    const FieldDef& f = t.def->fields[i];
    if (!IsKey(*t.spec, f.name)) continue;
    where += (where.empty() ? " WHERE " : " AND ") + std::string(f.name) + " = " +
             Literal(f, r.values[i]);
  }
  return where;
}

std::string KeyShown(const RefDataTable& t, const RefDataRow& r) {
  std::string key;
  for (std::string_view k : t.spec->key)
    for (size_t i = 0; i < t.def->fields.size(); ++i)
      if (NamesEqual(t.def->fields[i].name, k))
        key +=
            (key.empty() ? "" : ", ") + std::string(k) + "=" + Shown(t.def->fields[i], r.values[i]);
  return key;
}

std::string ColumnList(const TableDef& def) {
  std::string list;
  for (const FieldDef& f : def.fields) list += (list.empty() ? "" : ", ") + std::string(f.name);
  return list;
}

// Adds, changes or leaves the stored row of each row of the file.
RefTableCounts ApplyRefTable(dao::Database& db, const RefDataTable& t,
                             std::vector<RefRowChange>& out) {
  const std::string table(t.spec->table);
  RefTableCounts counts{table};
  const std::string columns = ColumnList(*t.def);
  for (const RefDataRow& r : t.rows) {
    const std::string where = KeyCondition(t, r);
    auto rs = db.OpenStatement("SELECT " + columns + " FROM " + table + where, dao::dbOpenSnapshot);
    if (rs->IsEOF()) {
      std::string values;
      for (size_t i = 0; i < t.def->fields.size(); ++i)
        values += (i ? ", " : "") + Literal(t.def->fields[i], r.values[i]);
      rs->Close();
      db.ExecuteSql("INSERT INTO " + table + " (" + columns + ") VALUES (" + values + ")");
      ++counts.added;
      out.push_back({table, KeyShown(t, r), "", true});
      continue;
    }
    std::string set, what;
    for (size_t i = 0; i < t.def->fields.size(); ++i) {
      const FieldDef& f = t.def->fields[i];
      const Variant& stored = rs->FieldValue(static_cast<int32_t>(i));
      if (SameValue(f, stored, r.values[i])) continue;
      set += (set.empty() ? " SET " : ", ") + std::string(f.name) + " = " + Literal(f, r.values[i]);
      what += (what.empty() ? "" : "; ") + std::string(f.name) + " " + Shown(f, stored) + " -> " +
              Shown(f, r.values[i]);
    }
    rs->MoveNext();
    const bool twice = !rs->IsEOF();
    rs->Close();
    if (twice)
      FailAt(t, r, r.columns.front(),
             "the folder holds " + table + " rows of this key more than once (" + KeyShown(t, r) +
                 "): remove the extra ones first");
    if (set.empty()) {
      ++counts.left;
      continue;
    }
    db.ExecuteSql("UPDATE " + table + set + where);
    ++counts.changed;
    out.push_back({table, KeyShown(t, r), what, false});
  }
  auto total = db.OpenStatement("SELECT count(*) FROM " + table, dao::dbOpenSnapshot);
  counts.untouched =
      static_cast<int64_t>(CDbl(total->FieldValue(0))) - static_cast<int64_t>(t.rows.size());
  total->Close();
  return counts;
}

// Every reference of the files names a row of its table, as the database
// holds it after the load.
void CheckReferences(dao::Database& db, const RefDataTable& t) {
  std::set<std::pair<std::string, double>> known;
  for (const RefTableSpec::Reference& ref : t.spec->references) {
    size_t col = 0;
    while (!NamesEqual(t.def->fields[col].name, ref.column)) ++col;
    for (const RefDataRow& r : t.rows) {
      const double id = CDbl(r.values[col]);
      if (known.count({std::string(ref.table), id})) continue;
      auto rs = db.OpenStatement(
          "SELECT count(*) FROM " + std::string(ref.table) + " WHERE ID = " + Number2DaoSql(id),
          dao::dbOpenSnapshot);
      const bool found = CDbl(rs->FieldValue(0)) > 0;
      rs->Close();
      if (!found)
        FailAt(t, r, r.columns[col],
               std::string(ref.column) + " " + Number2DaoSql(id) + " names no row of " +
                   std::string(ref.table));
      known.insert({std::string(ref.table), id});
    }
  }
}

}  // namespace

int64_t RefLoadResult::Added() const {
  int64_t n = 0;
  for (const RefTableCounts& c : tables) n += c.added;
  return n;
}

int64_t RefLoadResult::Changed() const {
  int64_t n = 0;
  for (const RefTableCounts& c : tables) n += c.changed;
  return n;
}

RefLoadResult LoadRefData(dao::Database& db, const RefDataSet& set) {
  RefLoadResult result;
  result.edition = set.edition;
  dao::Transaction tx(db, dao::kWriteLock);
  // An older edition would put back the values a newer one corrected.
  if (const std::string stored = StoredRefDataEdition(db);
      !set.edition.empty() && stored > set.edition)
    ThrowVb(vberr::kInvalidProcedureCall, "the reference data of edition " + set.edition +
                                              " is older than the folder's " + stored +
                                              "; nothing was loaded");
  for (const RefDataTable& t : set.tables)
    result.tables.push_back(ApplyRefTable(db, t, result.changes));
  for (const RefDataTable& t : set.tables) CheckReferences(db, t);
  if (!set.edition.empty())
    db.ExecuteSql("INSERT INTO " + std::string(kEditionsTable) +
                  " (Edition, LoadedAt, Added, Changed) VALUES (" + DaoQString(set.edition) +
                  ", Now(), " + std::to_string(result.Added()) + ", " +
                  std::to_string(result.Changed()) + ")");
  tx.Commit();
  return result;
}

std::string StoredRefDataEdition(dao::Database& db) {
  if (!HasTable(db, kEditionsTable)) return {};
  auto rs = db.OpenStatement("SELECT max(Edition) FROM " + std::string(kEditionsTable),
                             dao::dbOpenSnapshot);
  const Variant v = rs->FieldValue(0);
  rs->Close();
  return v.IsNull() ? std::string() : CStr(v);
}

fs::path ShippedRefDataDirectory() {
  if (const char* dir = std::getenv("QV_REFDATA_DIR"); dir && *dir) return dir;
  std::error_code ec;
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&ShippedRefDataDirectory), &info) && info.dli_fname) {
    const fs::path installed = fs::path(info.dli_fname).parent_path() / QV_REFDATA_FROM_LIBDIR;
    if (fs::is_directory(installed, ec)) return installed.lexically_normal();
  }
  if (fs::is_directory(QV_REFDATA_SOURCE_DIR, ec)) return QV_REFDATA_SOURCE_DIR;
  return {};
}

}  // namespace qv::schema
