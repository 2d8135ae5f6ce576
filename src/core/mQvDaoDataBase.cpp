// Statements, row-count checks and table-type recordsets of the toolkit.
// Field readers, lists and literals are in mQvDaoDataBaseText.cpp.

#include "core/mQvDaoDataBase.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "core/QvErrors.h"
#include "core/mErrorHandling.h"
#include "core/mQvDataBase.h"
#include "core/miDataBase.h"
#include "platform/dao/DaoConstants.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/ServerQuery.h"
#include "platform/dao/Transaction.h"
#include "platform/jet/JetConnection.h"
#include "platform/jet/JetEngine.h"

namespace qv::mQvDaoDataBase {

namespace {

DatabasePtr Resolve(const DatabasePtr& db) {
  return db ? db : miDataBase::GetUserDataBase();
}

DaoRecordsetPtr OpenDefault(const std::string& sql, const DatabasePtr& db) {
  return Resolve(db)->OpenRecordset(sql, Variant(), Variant(), Variant());
}

DaoRecordsetPtr OpenSnapshot(const std::string& sql, const DatabasePtr& db, bool readOnly) {
  return Resolve(db)->OpenRecordset(sql, Variant(dao::dbOpenSnapshot),
                                    Variant(readOnly ? dao::dbReadOnly : 0), Variant());
}

// Opens a read-only snapshot of the one row the statement must give and
// hands it to `read`; closes it afterwards.
template <class F>
void WithOneRow(const std::string& sql, const DatabasePtr& db, F&& read) {
  DaoRecordsetPtr rs = OpenSnapshot(sql, db, true);
  QvCheckDaoRsForOnlyOneRecord(*rs, true);
  read(*rs);
  rs->Close();
}

// The error of a single-value statement that gave `count` rows, not one.
Error RowCountError(int64_t count) {
  return Error(liberr::kRowCount,
               count >= 1 ? liberr::ValueManyRows(count) : std::string(liberr::kValueNoRows));
}

// The columns 0..out.size()-1 of the one row the statement must give, read
// from the prepared statement itself: a snapshot would copy the row first.
// Errors, values and their types are those of the snapshot's fields: the
// row count is checked (and reported) as QvCheckDaoRsForOnlyOneRecord does,
// before a column beyond the row's is refused. A table's name opens its
// snapshot.
// The stepping of ReadOneRow, for the file's statement and the server's.
// At most four values are asked for (QvQuery4Values): they are read into
// the stack, not into memory allocated per call.
template <class Statement>
void ReadOnlyRow(Statement& st, std::span<Variant* const> out) {
  std::array<Variant, 4> values;
  const size_t columns =
      std::min({out.size(), static_cast<size_t>(st.ColumnCount()), values.size()});
  int64_t count = 0;
  if (st.Step()) {
    count = 1;
    for (size_t i = 0; i < columns; ++i) values[i] = st.Value(static_cast<int>(i));
    while (st.Step()) ++count;
  }
  if (count != 1)
    Guard(kModule, "QvCheckDaoRsForOnlyOneRecord", [&] { throw RowCountError(count); });
  if (columns < out.size()) dao::ThrowDao(dao::daoerr::kItemNotFound, dao::kSourceFields);
  for (size_t i = 0; i < columns; ++i) *out[i] = std::move(values[i]);
}

void ReadOneRow(const std::string& sql, const DatabasePtr& db, std::span<Variant* const> out) {
  DatabasePtr target = Resolve(db);
  if (target->IsServer()) {
    if (std::unique_ptr<jet::EngineStatement> st = dao::PrepareServerQuery(*target, sql)) {
      st->ReadsEveryRow();  // counted to the last: one result, not one per row and an end
      return ReadOnlyRow(*st, out);
    }
  } else if (std::optional<jet::Statement> st = target->PrepareQuery(sql)) {
    return ReadOnlyRow(*st, out);
  }
  WithOneRow(sql, db, [&](dao::Recordset& rs) {
    for (size_t i = 0; i < out.size(); ++i) *out[i] = rs.FieldValue(static_cast<int32_t>(i));
  });
}

bool ReadOneRowSafe(const std::string& sql, const DatabasePtr& db, std::span<Variant*> out) {
  try {
    DaoRecordsetPtr rs = OpenDefault(sql, db);
    DaoSafeMoveFirst(*rs);
    if (rs->RecordCount() != 1) return false;
    std::vector<Variant> values;
    for (size_t i = 0; i < out.size(); ++i)
      values.push_back(rs->FieldValue(static_cast<int32_t>(i)));
    rs->Close();
    for (size_t i = 0; i < out.size(); ++i) *out[i] = std::move(values[i]);
    return true;
  } catch (...) {
    return false;
  }
}

std::string TableExtra(std::string_view table, std::string_view index) {
  return "Таблица: " + std::string(table) + ", " + "Индекс: " + std::string(index);
}

}  // namespace

std::string StatementExtra(std::string_view sql) {
  return "Запрос, вызвавший ошибку: " + std::string("\r\n") + std::string(sql);
}

// ---- statements

DaoRecordsetPtr QvQuerySql(const std::string& sql, const DatabasePtr& db) {
  return GuardX(
      QV_HERE, [&] { return StatementExtra(sql); }, [&] { return OpenDefault(sql, db); });
}

DaoRecordsetPtr QvQuerySqlStatic(const std::string& sql, const DatabasePtr& db) {
  return GuardX(
      QV_HERE, [&] { return StatementExtra(sql); }, [&] { return OpenSnapshot(sql, db, false); });
}

std::optional<jet::Statement> QvPrepareQuery(const std::string& sql, const DatabasePtr& db) {
  return GuardX(
      kModule, "QvQuerySql", [&] { return StatementExtra(sql); },
      [&] { return Resolve(db)->PrepareQuery(sql); });
}

ado::RecordsetPtr QvQuerySqlA(const std::string& sql, const DatabasePtr& db) {
  return GuardX(
      QV_HERE, [&] { return StatementExtra(sql); },
      [&] {
        // A statement's rows go from SQLite straight into the copy; opening
        // and stepping it fail as QvQuerySql would, a value that does not fit
        // as the copy of its recordset would. A table's name opens the table.
        const auto opening = [&] { return StatementExtra(sql); };
        std::optional<jet::Statement> st = QvPrepareQuery(sql, db);
        if (!st) {
          DaoRecordsetPtr rs = QvQuerySql(sql, db);
          ado::RecordsetPtr result = mQvDataBase::DaoToAdoRS(rs, "");
          rs->Close();
          return result;
        }
        std::exception_ptr failed;
        ado::RecordsetPtr result = mQvDataBase::StatementToAdoRS(*st, "", failed);
        if (failed) GuardX(kModule, "QvQuerySql", opening, [&] { std::rethrow_exception(failed); });
        return result;
      });
}

void QvExecuteSql(const std::string& sql, const DatabasePtr& db) {
  GuardX(
      QV_HERE, [&] { return StatementExtra(sql); }, [&] { Resolve(db)->Execute(sql, Variant()); });
}

void QvExecuteSqlQuiet(const std::string& sql, const DatabasePtr& db) {
  Guard(QV_HERE, [&] { Resolve(db)->Execute(sql, Variant()); });
}

bool QvQueryExistence(const std::string& sql, const DatabasePtr& db) {
  return GuardX(
      QV_HERE, [&] { return StatementExtra(sql); },
      [&] {
        DaoRecordsetPtr rs = OpenDefault(sql, db);
        const bool found = !rs->IsEOF();
        rs->Close();
        return found;
      });
}

Variant QvQueryValue(const std::string& sql, const Variant& def, const DatabasePtr& db) {
  return GuardX(
      QV_HERE, [&] { return StatementExtra(sql); },
      [&] {
        Variant value = def;
        Variant* const out[] = {&value};
        ReadOneRow(sql, db, out);
        return value;
      });
}

Variant QvQueryValueSafe(const std::string& sql, const Variant& def, const DatabasePtr& db) {
  Variant value;
  Variant* out[] = {&value};
  return ReadOneRowSafe(sql, db, out) ? value : def;
}

void QvQuery2Values(const std::string& sql, Variant& r1, Variant& r2, const DatabasePtr& db) {
  Variant* const out[] = {&r1, &r2};
  GuardX(
      QV_HERE, [&] { return StatementExtra(sql); }, [&] { ReadOneRow(sql, db, out); });
}

void QvQuery3Values(const std::string& sql, Variant& r1, Variant& r2, Variant& r3,
                    const DatabasePtr& db) {
  Variant* const out[] = {&r1, &r2, &r3};
  GuardX(
      QV_HERE, [&] { return StatementExtra(sql); }, [&] { ReadOneRow(sql, db, out); });
}

void QvQuery4Values(const std::string& sql, Variant& r1, Variant& r2, Variant& r3, Variant& r4,
                    const DatabasePtr& db) {
  Variant* const out[] = {&r1, &r2, &r3, &r4};
  GuardX(
      QV_HERE, [&] { return StatementExtra(sql); }, [&] { ReadOneRow(sql, db, out); });
}

bool QvQuery2ValuesSafe(const std::string& sql, Variant& r1, Variant& r2, const DatabasePtr& db) {
  Variant* out[] = {&r1, &r2};
  return ReadOneRowSafe(sql, db, out);
}

bool QvQuery4ValuesSafe(const std::string& sql, Variant& r1, Variant& r2, Variant& r3, Variant& r4,
                        const DatabasePtr& db) {
  Variant* out[] = {&r1, &r2, &r3, &r4};
  return ReadOneRowSafe(sql, db, out);
}

bool QvQuery5ValuesSafe(const std::string& sql, Variant& r1, Variant& r2, Variant& r3, Variant& r4,
                        Variant& r5, const DatabasePtr& db) {
  Variant* out[] = {&r1, &r2, &r3, &r4, &r5};
  return ReadOneRowSafe(sql, db, out);
}

void QvQueryValues(const std::string& sql, DaoRecordsetPtr& rs, const DatabasePtr& db) {
  GuardX(
      QV_HERE, [&] { return StatementExtra(sql); },
      [&] {
        DaoRecordsetPtr opened = OpenDefault(sql, db);
        QvCheckDaoRsForOnlyOneRecord(*opened, true);
        rs = std::move(opened);
      });
}

Variant QvQueryValuesArraySafe(const std::string& sql, const DatabasePtr& db) {
  try {
    DaoRecordsetPtr rs = OpenDefault(sql, db);
    DaoSafeMoveFirst(*rs);
    if (!rs->IsEOF() && rs->FieldCount() > 0) {
      std::vector<Variant> items;
      for (int32_t i = 0; i < rs->FieldCount(); ++i) items.push_back(rs->FieldValue(i));
      rs->Close();
      return Variant(VariantArray::Of(std::move(items)));
    }
  } catch (...) {
  }
  return Variant(VariantArray::Of({}));
}

Variant QvQueryFirstValue(const std::string& sql, const Variant& def, const DatabasePtr& db) {
  return GuardX(
      QV_HERE, [&] { return StatementExtra(sql); },
      [&] {
        Variant value = def;
        DaoRecordsetPtr rs = OpenDefault(sql, db);
        QvCheckDaoRsForAtLeastOneRecord(*rs, true);
        value = rs->FieldValue(0);
        rs->Close();
        return value;
      });
}

Variant QvQueryFirstValueSafe(const std::string& sql, const Variant& def, const DatabasePtr& db) {
  try {
    // Only the first row is read: stepped from the engine, no recordset.
    DatabasePtr target = Resolve(db);
    if (target->IsServer()) {
      if (std::unique_ptr<jet::EngineStatement> st = dao::PrepareServerQuery(*target, sql))
        return st->Step() ? st->Value(0) : def;
    } else if (std::optional<jet::Statement> st = target->PrepareQuery(sql)) {
      return st->Step() ? st->Value(0) : def;
    }
    DaoRecordsetPtr rs = OpenDefault(sql, db);
    DaoSafeMoveFirst(*rs);
    if (rs->IsEOF()) return def;
    Variant value = rs->FieldValue(0);
    rs->Close();
    return value;
  } catch (...) {
    return def;
  }
}

double QvGetMaximumFromTable(const std::string& table, const std::string& field,
                             const DatabasePtr& db) {
  return Guard(QV_HERE, [&] {
    const Variant max =
        QvQueryValue("select max(" + field + ") from " + table + ";", Variant(), db);
    return max.IsNull() ? 0.0 : CDbl(max);
  });
}

// ---- row-count checks

bool QvCheckDaoRsForOnlyOneRecord(dao::Recordset& rs, bool raise) {
  return Guard(QV_HERE, [&] {
    DaoSafeMoveFirst(rs);
    const int32_t count = rs.RecordCount();
    if (count == 1) return true;
    if (!raise) return false;
    throw RowCountError(count);
  });
}

bool QvCheckDaoRsForAtLeastOneRecord(dao::Recordset& rs, bool raise) {
  return Guard(QV_HERE, [&] {
    DaoSafeMoveFirst(rs);
    if (!rs.IsEOF()) return true;
    if (!raise) return false;
    throw Error(liberr::kRowCount, std::string(liberr::kNoRows));
  });
}

// ---- dictionary statements

DaoRecordsetPtr GetDictQuery(const std::string& aTable, const std::string& aIDs,
                             const std::string& aFilter, const std::string& aSearchFields,
                             const std::string& aOrder, const std::string& aKeyField,
                             const std::string& aExtraFields) {
  std::string sql;  // stays empty when the identifier list is refused
  return GuardX(
      QV_HERE, [&] { return sql.empty() ? std::string() : StatementExtra(sql); },
      [&] {
        sql = BuildDictQuery(aTable, aIDs, aFilter, aSearchFields, aOrder, aKeyField, aExtraFields);
        return OpenSnapshot(sql, nullptr, false);
      });
}

ado::RecordsetPtr GetDictQueryA(const std::string& aTable, const std::string& aIDs,
                                const std::string& aFilter, const std::string& aSearchFields,
                                const std::string& aOrder, const std::string& aKeyField,
                                const std::string& aExtraFields) {
  return Guard(QV_HERE, [&] {
    DaoRecordsetPtr rs =
        GetDictQuery(aTable, aIDs, aFilter, aSearchFields, aOrder, aKeyField, aExtraFields);
    ado::RecordsetPtr result = mQvDataBase::DaoToAdoRS(rs, "");
    rs->Close();
    return result;
  });
}

// ---- table-type recordsets

DaoRecordsetPtr QvGetTableRS(const std::string& table, const std::string& index,
                             const DatabasePtr& db) {
  return GuardX(
      QV_HERE, [&] { return TableExtra(table, index); },
      [&] {
        DaoRecordsetPtr rs = Resolve(db)->OpenTable(table, dao::dbOpenTable);
        if (!index.empty()) rs->SetIndex(index);
        return rs;
      });
}

bool QvIsKeyExists(const DatabasePtr& db, const std::string& table, const std::string& index,
                   const Variant& key1, const Variant& key2, const Variant& key3) {
  const size_t count = key2.IsMissing() ? 1 : (key3.IsMissing() ? 2 : 3);
  return GuardX(
      QV_HERE,
      [&] {
        return TableExtra(table, index) + ", " + "Количество ключей: " + std::to_string(count);
      },
      [&] {
        DaoRecordsetPtr rs = QvGetTableRS(table, index, db);
        const Variant keys[] = {key1, key2, key3};
        rs->Seek("=", std::span<const Variant>(keys, count));
        const bool found = !rs->NoMatch();
        rs->Close();
        return found;
      });
}

void QvLookupValue(Variant& rValue, const std::string& table, const std::string& index,
                   const Variant& key, const std::string& field, const Variant& def,
                   const DatabasePtr& db) {
  GuardX(
      QV_HERE, [&] { return TableExtra(table, index); },
      [&] {
        DaoRecordsetPtr rs = QvGetTableRS(table, index, db);
        rs->Seek("=", std::span<const Variant>(&key, 1));
        rValue = rs->NoMatch() ? def : rs->FieldValue(field);
        rs->Close();
      });
}

double QvAddRecord(const std::string& table, const std::string& pkIndex, const std::string& pkField,
                   double aID, std::span<const Variant> pairs, const DatabasePtr& db) {
  return GuardX(
      QV_HERE,
      [&] { return "Таблица: " + table + ", " + "PKIndex: " + pkIndex + ", PKFiled: " + pkField; },
      [&] {
        double id = aID;
        DatabasePtr target = Resolve(db);
        dao::Transaction tx(*target, dao::kWriteLock);
        DaoRecordsetPtr rs = QvGetTableRS(table, pkIndex, target);
        id = aID == 0 ? NextId(*rs, pkField) : aID;
        rs->AddNew();
        rs->SetField(pkField, Variant(id));
        FillRsWithValues(*rs, pairs);
        rs->Update();
        rs->Close();
        tx.Commit();
        return id;
      });
}

void FillRsWithValues(dao::Recordset& rs, std::span<const Variant> pairs) {
  size_t i = 0;
  GuardX(
      QV_HERE,
      [&] {
        if (i >= pairs.size()) return std::string();
        const std::string name = pairs[i].IsString() ? pairs[i].AsString() : pairs[i].Describe();
        const Variant value = i + 1 < pairs.size() ? pairs[i + 1] : Variant();
        return "Field: " + name + ", " + "Value: " + DescribeValue(value);
      },
      [&] {
        if (pairs.size() % 2 != 0)
          ThrowVb(vberr::kInvalidProcedureCall, "a field name without a value");
        for (i = 0; i < pairs.size(); i += 2) rs.SetField(CStr(pairs[i]), pairs[i + 1]);
      });
}

void DaoRsSet(dao::Recordset& rs, const std::string& field, const Variant& value) {
  GuardX(
      QV_HERE,
      [&] {
        return "Table: " + rs.Name() + ", " + "Field: " + field + ", " +
               "Value: " + DescribeValue(value);
      },
      [&] { rs.SetField(field, value); });
}

namespace {
// Error 5 unless a write-locked scope covers `db` (the next identifier).
void RequireWriteLock(dao::Database& db, std::string_view table) {
  if (!dao::Transaction::WriteLocked(db))
    ThrowVb(vberr::kInvalidProcedureCall,
            "the next identifier of " + std::string(table) +
                " is read outside a write-locked transaction (dao::kWriteLock)");
}
}  // namespace

double NextId(const DatabasePtr& db, const std::string& table, const std::string& field) {
  return Guard(QV_HERE, [&] {
    DatabasePtr target = Resolve(db);
    RequireWriteLock(*target, table);
    return QvGetMaximumFromTable(table, field, target) + 1;
  });
}

double NextId(dao::Recordset& rs, std::string_view field) {
  return Guard(QV_HERE, [&] {
    if (rs.Parent()) RequireWriteLock(*rs.Parent(), rs.Name());
    // MoveLast from wherever the cursor stands: a cursor that stood on an
    // empty table still reports no rows after rows were added through it.
    try {
      rs.MoveLast();
    } catch (const Error& e) {
      if (e.Number() != jet::jeterr::kNoCurrentRecord) throw;
      return 1.0;
    }
    return CDbl(rs.FieldValue(field)) + 1;
  });
}

void DaoSafeMoveFirst(dao::Recordset& rs) noexcept {
  try {
    rs.MoveFirst();
  } catch (...) {
  }
}

bool IsDaoFieldExists(const dao::Recordset& rs, std::string_view field) {
  return rs.FieldIndex(field) >= 0;
}

}  // namespace qv::mQvDaoDataBase
