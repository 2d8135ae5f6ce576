// Reference reads of the query layer against plain SQLite on the same file:
// a country record read through its mapper by identifier, and the whole
// country dictionary as a disconnected recordset. Each case is a pair
// <Case>_Ours / <Case>_Raw; bench/ratios prints ours/raw.

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/mQvDaoDataBase.h"
#include "core/miDataBase.h"
#include "platform/dao/Transaction.h"
#include "queries/DictQueries.h"
#include "records/ReferenceMappers.h"
#include "siblings/records/QvRecord.h"

#include "BenchSupport.h"

namespace {

using qv::Variant;

constexpr int kCountries = 250;
constexpr int kReadIds = 4096;  // identifiers drawn once, read in turn

// A data folder with kCountries countries (identifiers 3 apart, as the
// classifier's codes are sparse) and a raw connection to the same file
// with the text collation the schema declares, so both sides sort alike.
struct Fixture : qvbench::DataFolder {
  std::vector<double> ids;

  Fixture() : DataFolder("qvqbench") {
    qv::dao::Transaction tx(*qv::miDataBase::GetUserDataBase(), qv::dao::kWriteLock);
    for (int i = 0; i < kCountries; ++i) {
      const std::string n = std::to_string(i);
      qv::mQvDaoDataBase::QvExecuteSql(
          "insert into Country (ID, Alfa2, Alfa3, Code, ShortName, FullName, OrderNum) values (" +
          std::to_string(i * 3 + 4) + ", 'A" + n + "', 'AB" + n + "', '" + n + "', 'Страна " + n +
          "', 'Государство номер " + n + "', " + std::to_string(i % 7 == 0 ? 1 : 0) + ")");
    }
    tx.Commit();
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> pick(0, kCountries - 1);
    for (int i = 0; i < kReadIds; ++i) ids.push_back(pick(rng) * 3 + 4);
    OpenRaw();
  }
};

Fixture& Db() {
  static Fixture f;
  return f;
}

std::string Text(sqlite3_stmt* s, int c) {
  const auto* p = sqlite3_column_text(s, c);
  return p ? std::string(reinterpret_cast<const char*>(p),
                         static_cast<size_t>(sqlite3_column_bytes(s, c)))
           : std::string();
}

// ---- one reference record by identifier

void ReadRecord_Ours(benchmark::State& state) {
  Fixture& f = Db();
  qv::records::DBAdrCountry mapper;
  const Variant record(qv::ObjectPtr(qv::records::QvRecord::Create("Qv_Records.QvAdrCountry")));
  size_t i = 0;
  for (auto _ : state) {
    mapper.ReadRecord(f.ids[i++ % kReadIds], record);
    benchmark::DoNotOptimize(record);
  }
  if (CStr(record.AsObject()->Get("ShortName")).rfind("Страна ", 0) != 0)
    state.SkipWithError("the record was not read");
}

// A prepared point query reading the columns the mapper reads.
void ReadRecord_Raw(benchmark::State& state) {
  Fixture& f = Db();
  sqlite3_stmt* s =
      Db().MustPrepare("SELECT Alfa2, Alfa3, Code, ShortName, FullName FROM Country WHERE ID = ?");
  if (!s) return state.SkipWithError(sqlite3_errmsg(f.raw));
  size_t i = 0;
  std::string cols[5];
  for (auto _ : state) {
    sqlite3_bind_double(s, 1, f.ids[i++ % kReadIds]);
    if (sqlite3_step(s) != SQLITE_ROW) state.SkipWithError("no row");
    for (int c = 0; c < 5; ++c) cols[c] = Text(s, c);
    sqlite3_reset(s);
    benchmark::DoNotOptimize(cols);
  }
  sqlite3_finalize(s);
}

// ---- the whole dictionary

void GetCountry_Ours(benchmark::State& state) {
  Db();
  qv::queries::DictQueries q;
  for (auto _ : state) {
    auto rs = q.GetCountry("", 0);
    if (rs->RowCount() != kCountries) state.SkipWithError("rows missing");
    benchmark::DoNotOptimize(rs);
  }
}

struct RawCountry {
  int64_t id, order;
  std::string alfa2, alfa3, code, shortName, fullName;
};

// The same statement stepped through, every column of every row copied.
void GetCountry_Raw(benchmark::State& state) {
  Fixture& f = Db();
  sqlite3_stmt* s = Db().MustPrepare(
      "SELECT ID, Alfa2, Alfa3, Code, ShortName, FullName, OrderNum FROM Country ORDER BY "
      "OrderNum DESC, ShortName");
  if (!s) return state.SkipWithError(sqlite3_errmsg(f.raw));
  for (auto _ : state) {
    std::vector<RawCountry> rows;
    while (sqlite3_step(s) == SQLITE_ROW)
      rows.push_back({sqlite3_column_int64(s, 0), sqlite3_column_int64(s, 6), Text(s, 1),
                      Text(s, 2), Text(s, 3), Text(s, 4), Text(s, 5)});
    sqlite3_reset(s);
    if (rows.size() != kCountries) state.SkipWithError("rows missing");
    benchmark::DoNotOptimize(rows);
  }
  sqlite3_finalize(s);
}

}  // namespace

BENCHMARK(ReadRecord_Ours);
BENCHMARK(ReadRecord_Raw);
BENCHMARK(GetCountry_Ours);
BENCHMARK(GetCountry_Raw);
