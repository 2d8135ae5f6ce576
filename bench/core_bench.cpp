// The database core against plain SQLite doing the same work in the same
// run: single values, query results as disconnected recordsets, and
// counters. Each case is a pair <Case>_Ours / <Case>_Raw; bench/ratios
// prints ours/raw. Raw runs the same statement (its SQLite form) on a copy
// of the rows in a plain table. Where ours is handed a text with its
// literals, _Raw prepares that text per call and _RawPrepared prepares it
// once with parameters and binds (bench/ratios prints both ratios).

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/DBCommon.h"
#include "core/mQvDaoDataBase.h"
#include "core/miDataBase.h"
#include "platform/jet/JetConnection.h"

#include "BenchSupport.h"

namespace {

using qv::Variant;

constexpr int kRows = 10000;

// A data folder built from the schema with table Items (kRows rows) made
// through the catalogue and raw_items, the same rows in a plain table of the
// same layout: rows by rowid and a unique index on ID (an ID that were the
// rowid would spare the raw side the index and the row look-ups ours does).
struct Fixture : qvbench::DataFolder {
  Fixture() : DataFolder("qvcorebench") {
    auto db = qv::miDataBase::GetUserDataBase();
    qv::jet::Connection& conn = db->Connection();
    conn.Schema().CreateTable({"Items",
                               {{"ID", qv::jet::JetType::kLong},
                                {"Name", qv::jet::JetType::kText, 50},
                                {"Amount", qv::jet::JetType::kDouble},
                                {"Born", qv::jet::JetType::kDate}},
                               {{"Id", {{"ID"}}, true, true}}});
    conn.ExecuteNative(
        "CREATE TABLE raw_items (ID INTEGER, Name TEXT, Amount REAL, Born REAL);"
        "CREATE UNIQUE INDEX raw_items_id ON raw_items (ID);"
        "CREATE TABLE raw_counters (CounterType INTEGER, TheYear INTEGER, CounterValue INTEGER,"
        " PRIMARY KEY (CounterType, TheYear))");
    conn.BeginTrans();
    qv::jet::Statement a = conn.PrepareNative("INSERT INTO Items VALUES (?, ?, ?, ?)");
    qv::jet::Statement b = conn.PrepareNative("INSERT INTO raw_items VALUES (?, ?, ?, ?)");
    for (int i = 0; i < kRows; ++i) {
      const Variant row[] = {Variant(int32_t{i}), Variant("Имя " + std::to_string(i)),
                             Variant(i * 1.5), Variant(qv::OleDate{40000.0 + i})};
      a.BindAll(row);
      a.Run();
      a.Reset();
      b.BindAll(row);
      b.Run();
      b.Reset();
    }
    conn.CommitTrans();
    OpenRaw();
  }
};

Fixture& Db() {
  static Fixture f;
  return f;
}

// Reads every column of the statement's rows as SQLite gives them, as a
// caller copying the result would.
size_t RawReadAll(sqlite3_stmt* s) {
  size_t cells = 0;
  std::vector<std::string> texts;
  std::vector<double> numbers;
  while (sqlite3_step(s) == SQLITE_ROW) {
    for (int c = 0; c < sqlite3_column_count(s); ++c) {
      if (sqlite3_column_type(s, c) == SQLITE_TEXT)
        texts.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s, c)),
                           static_cast<size_t>(sqlite3_column_bytes(s, c)));
      else
        numbers.push_back(sqlite3_column_double(s, c));
      ++cells;
    }
  }
  sqlite3_reset(s);
  return cells + texts.size() + numbers.size();
}

// ---- one value of one row by key

void QvQueryValue_Ours(benchmark::State& state) {
  Db();
  int i = 0;
  for (auto _ : state) {
    Variant v = qv::mQvDaoDataBase::QvQueryValue("select Name from Items where ID = " +
                                                 std::to_string((i++ * 7919) % kRows));
    benchmark::DoNotOptimize(v);
  }
}

// The library builds each statement's text with its literal, so raw
// prepares the same text each time too.
void QvQueryValue_Raw(benchmark::State& state) {
  Db();
  int i = 0;
  for (auto _ : state) {
    const std::string sql =
        "SELECT Name FROM raw_items WHERE ID = " + std::to_string((i++ * 7919) % kRows);
    sqlite3_stmt* s = Db().MustPrepare(sql);
    if (sqlite3_step(s) != SQLITE_ROW) state.SkipWithError("no row");
    std::string name(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)),
                     static_cast<size_t>(sqlite3_column_bytes(s, 0)));
    if (sqlite3_step(s) != SQLITE_DONE) state.SkipWithError("more than one row");
    sqlite3_finalize(s);
    benchmark::DoNotOptimize(name);
  }
}

// The physical limit: the statement prepared once with the key as a
// parameter, bound and stepped per call, as a program that knows its
// statement in advance writes it (ours keeps the prepared statement of
// the text's shape and binds the literal).
void QvQueryValue_RawPrepared(benchmark::State& state) {
  sqlite3_stmt* s = Db().MustPrepare("SELECT Name FROM raw_items WHERE ID = ?");
  int i = 0;
  for (auto _ : state) {
    sqlite3_bind_int(s, 1, (i++ * 7919) % kRows);
    if (sqlite3_step(s) != SQLITE_ROW) state.SkipWithError("no row");
    std::string name(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)),
                     static_cast<size_t>(sqlite3_column_bytes(s, 0)));
    if (sqlite3_step(s) != SQLITE_DONE) state.SkipWithError("more than one row");
    sqlite3_reset(s);
    benchmark::DoNotOptimize(name);
  }
  sqlite3_finalize(s);
}

// ---- a query result as a disconnected recordset: 100 rows and 10000 rows

void QuerySqlA(benchmark::State& state, const char* sql, size_t rows) {
  Db();
  for (auto _ : state) {
    auto rs = qv::mQvDaoDataBase::QvQuerySqlA(sql);
    if (rs->RowCount() != rows) state.SkipWithError("wrong row count");
    benchmark::DoNotOptimize(rs);
  }
}

void QvQuerySqlA100_Ours(benchmark::State& state) {
  QuerySqlA(state, "select * from Items where ID < 100 order by ID", 100);
}

void QvQuerySqlA100_Raw(benchmark::State& state) {
  sqlite3_stmt* s = Db().MustPrepare("SELECT * FROM raw_items WHERE ID < 100 ORDER BY ID");
  for (auto _ : state) benchmark::DoNotOptimize(RawReadAll(s));
  sqlite3_finalize(s);
}

void QvQuerySqlA10K_Ours(benchmark::State& state) {
  QuerySqlA(state, "select * from Items order by ID", kRows);
}

void QvQuerySqlA10K_Raw(benchmark::State& state) {
  sqlite3_stmt* s = Db().MustPrepare("SELECT * FROM raw_items ORDER BY ID");
  for (auto _ : state) benchmark::DoNotOptimize(RawReadAll(s));
  sqlite3_finalize(s);
}

// ---- a counter taken in a write-locked transaction, committed
//
// The outermost commit of a write-locked scope is on the disk when it
// returns (the log is synced), so the raw side commits with synchronous
// FULL, which syncs the log at each commit: one sync a call on each side.

void GetNextCounter_Ours(benchmark::State& state) {
  Db();
  qv::DBCommon common;
  for (auto _ : state) benchmark::DoNotOptimize(common.GetNextCounter(3, 2025));
}

void GetNextCounter_Raw(benchmark::State& state) {
  sqlite3_stmt* read = Db().MustPrepare(
      "SELECT CounterValue FROM raw_counters WHERE CounterType = 3 AND TheYear = 2025");
  sqlite3_stmt* insert = Db().MustPrepare("INSERT INTO raw_counters VALUES (3, 2025, 1)");
  sqlite3_stmt* update = Db().MustPrepare(
      "UPDATE raw_counters SET CounterValue = ? WHERE CounterType = 3 AND TheYear = 2025");
  qvbench::RawTransaction tx(Db().raw, true);
  Db().Check(sqlite3_exec(Db().raw, "PRAGMA synchronous = FULL", nullptr, nullptr, nullptr));
  for (auto _ : state) {
    tx.Begin();
    int value = 1;
    if (sqlite3_step(read) == SQLITE_ROW) {
      value = sqlite3_column_int(read, 0) + 1;
      sqlite3_reset(read);
      sqlite3_bind_int(update, 1, value);
      sqlite3_step(update);
      sqlite3_reset(update);
    } else {
      sqlite3_reset(read);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    tx.Commit();
    benchmark::DoNotOptimize(value);
  }
  Db().Check(sqlite3_exec(Db().raw, "PRAGMA synchronous = NORMAL", nullptr, nullptr, nullptr));
  for (sqlite3_stmt* s : {read, insert, update}) sqlite3_finalize(s);
}

}  // namespace

BENCHMARK(QvQueryValue_Ours);
BENCHMARK(QvQueryValue_Raw);
BENCHMARK(QvQueryValue_RawPrepared);
BENCHMARK(QvQuerySqlA100_Ours);
BENCHMARK(QvQuerySqlA100_Raw);
BENCHMARK(QvQuerySqlA10K_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(QvQuerySqlA10K_Raw)->Unit(benchmark::kMillisecond);
BENCHMARK(GetNextCounter_Ours);
BENCHMARK(GetNextCounter_Raw);
