// The alive accounting streams (those of accounted persons and of branches)
// as the application lists them, ordered by display name: our
// DBQAccStream.GetAllAliveAccStreams producing its collection of stream
// records, against the same statement, in the SQLite text the engine
// translates it to, stepped with plain SQLite collecting the identifiers.

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/miDataBase.h"
#include "platform/jet/JetConnection.h"
#include "platform/jet/JetFunctionImpl.h"
#include "platform/jet/JetTranslator.h"
#include "queries/DBQAccStream.h"

#include "BenchSupport.h"

namespace {

using qv::Variant;

constexpr int kPersons = 2000;
constexpr int kStreamsPerPerson = 5;  // 10000 streams
// Persons 1..1500 are accounted; 1501..1900 are branches of the first 400;
// 1901..2000 are neither (their streams are not alive).
constexpr int kAccounted = 1500;
constexpr int kBranches = 400;

const char* kAliveByName =
    "select a.ID AS ID from AccStream AS a INNER JOIN ( select PersonID as ID from AccPerson "
    "Union select ChildPersonID as ID from Branches ) as p ON p.ID = a.PersonID  order by "
    "a.DisplayName asc, a.Kpp asc";

struct Fixture : qvbench::DataFolder {
  std::string rawSql;
  int alive = 0;

  Fixture() : DataFolder("qvstreamsbench") {
    qv::jet::Connection& conn = qv::miDataBase::GetUserDataBase()->Connection();
    conn.BeginTrans();
    qv::jet::Statement person =
        conn.PrepareNative("INSERT INTO Person (ID, Type, PersonRealID) VALUES (?, 2, ?)");
    qv::jet::Statement legal = conn.PrepareNative(
        "INSERT INTO LegalPerson (ID, INN, KPP, ShortName, FullName) VALUES (?, ?, ?, ?, ?)");
    qv::jet::Statement acc = conn.PrepareNative("INSERT INTO AccPerson (PersonID) VALUES (?)");
    qv::jet::Statement branch = conn.PrepareNative(
        "INSERT INTO Branches (ID, ParentPersonID, ChildPersonID) VALUES (?, ?, ?)");
    qv::jet::Statement stream = conn.PrepareNative(
        "INSERT INTO AccStream (ID, PersonID, DisplayName, AccStreamType, TaxOfficeID, KPP, "
        "LastYear) VALUES (?, ?, ?, ?, ?, ?, ?)");
    auto run = [](qv::jet::Statement& s, std::initializer_list<Variant> values) {
      std::vector<Variant> row(values);
      s.BindAll(row);
      s.Run();
      s.Reset();
    };
    for (int p = 1; p <= kPersons; ++p) {
      const bool isBranch = p > kAccounted && p <= kAccounted + kBranches;
      // A branch has its parent's INN and a KPP of its own.
      const std::string inn = std::to_string(7700000000LL + (isBranch ? p - kAccounted : p));
      const std::string kpp = std::to_string(770000000 + p);
      const std::string name = "Организация " + std::to_string((p * 7919) % kPersons);
      run(person, {Variant(double(p)), Variant(int32_t{p})});
      run(legal, {Variant(int32_t{p}), Variant(inn), Variant(kpp), Variant(name),
                  Variant("ООО «" + name + "»")});
      if (p <= kAccounted) run(acc, {Variant(double(p))});
      if (isBranch)
        run(branch, {Variant(int32_t{p - kAccounted}), Variant(double(p - kAccounted)),
                     Variant(double(p))});
      for (int s = 0; s < kStreamsPerPerson; ++s) {
        const int id = (p - 1) * kStreamsPerPerson + s + 1;
        run(stream, {Variant(int32_t{id}), Variant(double(p)),
                     Variant(name + (s == 0 ? std::string() : " (" + std::to_string(s) + ")")),
                     Variant(int32_t{1 + s % 3}), Variant(int32_t{7700 + s}), Variant(kpp),
                     Variant(int32_t{s == 4 ? 2020 : 0})});
        if (p <= kAccounted + kBranches) ++alive;
      }
    }
    conn.CommitTrans();
    rawSql = conn.Translate(kAliveByName)->sql;
    OpenRaw();
  }
};

Fixture& Db() {
  static Fixture f;
  return f;
}

void GetAllAliveAccStreams_Ours(benchmark::State& state) {
  Db();
  qv::queries::DBQAccStream q;
  for (auto _ : state) {
    qv::CollectionPtr streams = q.GetAllAliveAccStreams("name", 0);
    if (streams->Count() != Db().alive) state.SkipWithError("wrong number of streams");
    benchmark::DoNotOptimize(streams);
  }
  state.counters["streams"] = Db().alive;
}

void GetAllAliveAccStreams_Raw(benchmark::State& state) {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(Db().raw, Db().rawSql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
    state.SkipWithError(sqlite3_errmsg(Db().raw));
    return;
  }
  for (auto _ : state) {
    std::vector<double> ids;
    while (sqlite3_step(s) == SQLITE_ROW) ids.push_back(sqlite3_column_double(s, 0));
    sqlite3_reset(s);
    if (static_cast<int>(ids.size()) != Db().alive) state.SkipWithError("wrong number of streams");
    benchmark::DoNotOptimize(ids);
  }
  sqlite3_finalize(s);
  state.counters["streams"] = Db().alive;
}

}  // namespace

BENCHMARK(GetAllAliveAccStreams_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(GetAllAliveAccStreams_Raw)->Unit(benchmark::kMillisecond);
