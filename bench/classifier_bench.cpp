// A search of the address classifier by the start of a street's name, as the
// address form runs it while the user types: DBQKladr.FindKladrObjectsByNameStart
// (the statement, the read through the (ParentID, Level) index, the copy into
// an ADO recordset) against the same statement, in the SQLite text the
// engine translates it to, stepped with plain SQLite collecting the rows.
// The classifier: 1,000 cities of 85 regions with 1,000 streets each (1M
// streets), built once into bench/data/kladr-1m and kept between runs.

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "platform/jet/JetConnection.h"
#include "platform/jet/JetFunctionImpl.h"
#include "queries/DBQKladr.h"

#include "BenchSupport.h"

namespace {

using qv::Variant;

constexpr int kRegions = 85;
constexpr int kCities = 1000;
constexpr int kStreetsPerCity = 1000;
constexpr int kFirstCity = 100;
constexpr int kFirstStreet = 10000;

// 50 names times 20 ordinals: 1,000 distinct street names per city.
constexpr const char* kStems[] = {
    "Ленина",      "Лесная",       "Садовая",       "Советская",   "Мира",         "Школьная",
    "Молодёжная",  "Центральная",  "Новая",         "Набережная",  "Заречная",     "Полевая",
    "Луговая",     "Гагарина",     "Комсомольская", "Пионерская",  "Первомайская", "Рабочая",
    "Октябрьская", "Кирова",       "Пушкина",       "Лермонтова",  "Чехова",       "Горького",
    "Строителей",  "Победы",       "Южная",         "Северная",    "Зелёная",      "Солнечная",
    "Речная",      "Озёрная",      "Береговая",     "Вокзальная",  "Заводская",    "Фабричная",
    "Почтовая",    "Колхозная",    "Мичурина",      "Куйбышева",   "Чапаева",      "Фрунзе",
    "Калинина",    "Дзержинского", "Свердлова",     "Маяковского", "Есенина",      "Толстого",
    "Гоголя",      "Крупской"};

struct Fixture : qvbench::DataFolder {
  std::string rawSql;
  int expected = 0;
  sqlite3* kladr = nullptr;
  static constexpr int kCity = kFirstCity + 417;
  static constexpr const char* kStart = "лес";

  Fixture()
      : DataFolder(qvbench::ProgramFolder() / "data" / "kladr-1m", [](DataFolder& f) {
          auto conn = qv::jet::Connection::Open((f.Path() / "Kladr.mdb").string());
          conn->BeginTrans();
          auto abbrev =
              conn->PrepareNative("INSERT INTO KladrAbbrevs (ID, ShortName) VALUES (?, ?)");
          auto object = conn->PrepareNative(
              "INSERT INTO KladrObjects (ID, ParentID, Level, ObjName, AbbrevID, PostIndex) "
              "VALUES (?, ?, ?, ?, ?, ?)");
          auto run = [](qv::jet::Statement& s, std::initializer_list<Variant> values) {
            std::vector<Variant> row(values);
            s.BindAll(row);
            s.Run();
            s.Reset();
          };
          run(abbrev, {Variant(int32_t{105}), Variant("обл")});
          run(abbrev, {Variant(int32_t{301}), Variant("г")});
          run(abbrev, {Variant(int32_t{529}), Variant("ул")});
          for (int r = 1; r <= kRegions; ++r)
            run(object,
                {Variant(int32_t{r}), Variant(int32_t{0}), Variant(int32_t{1}),
                 Variant("Регион " + std::to_string(r)), Variant(int32_t{105}), Variant("")});
          int32_t street = kFirstStreet;
          for (int c = 0; c < kCities; ++c) {
            const int32_t city = kFirstCity + c;
            const std::string index = std::to_string(100000 + c * 100);
            run(object,
                {Variant(city), Variant(int32_t{1 + c % kRegions}), Variant(int32_t{3}),
                 Variant("Город " + std::to_string(c)), Variant(int32_t{301}), Variant(index)});
            for (int s = 0; s < kStreetsPerCity; ++s) {
              const std::string name =
                  std::string(kStems[(s * 7 + c) % 50]) + " " + std::to_string(s / 50 + 1) + "-я";
              run(object, {Variant(street++), Variant(city), Variant(int32_t{5}), Variant(name),
                           Variant(int32_t{529}), Variant(index)});
            }
          }
          conn->CommitTrans();
        }) {
    auto conn = qv::jet::Connection::Open((Path() / "Kladr.mdb").string());
    rawSql = conn->Translate(qv::queries::KladrNameStartSql(kCity, 5, kStart, 0))->sql;
    sqlite3_open_v2((Path() / "Kladr.mdb").c_str(), &kladr,
                    SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    qv::jet::RegisterJetCollation(kladr);
    qv::jet::RegisterJetFunctions(kladr);
    // The search must read one city's streets through the index, never scan
    // the million.
    std::string plan;
    sqlite3_stmt* s = nullptr;
    Check(sqlite3_prepare_v2(kladr, ("EXPLAIN QUERY PLAN " + rawSql).c_str(), -1, &s, nullptr));
    while (sqlite3_step(s) == SQLITE_ROW)
      plan += reinterpret_cast<const char*>(sqlite3_column_text(s, 3)) + std::string("\n");
    sqlite3_finalize(s);
    if (plan.find("USING INDEX") == std::string::npos || plan.find("SCAN a") != std::string::npos) {
      std::fprintf(stderr, "the name search reads no index:\n%s", plan.c_str());
      std::abort();
    }
    Check(sqlite3_prepare_v2(kladr, ("SELECT count(*) FROM (" + rawSql + ")").c_str(), -1, &s,
                             nullptr));
    sqlite3_step(s);
    expected = sqlite3_column_int(s, 0);
    sqlite3_finalize(s);
    if (expected == 0) std::abort();
  }
  ~Fixture() { sqlite3_close_v2(kladr); }
  void Check(int rc) const { qvbench::Check(rc, kladr); }
};

Fixture& Db() {
  static Fixture f;
  return f;
}

void KladrSearch_Ours(benchmark::State& state) {
  Db();
  qv::queries::DBQKladr q;
  for (auto _ : state) {
    qv::ado::RecordsetPtr rs = q.FindKladrObjectsByNameStart(Fixture::kCity, 5, Fixture::kStart, 0);
    if (static_cast<int>(rs->RowCount()) != Db().expected) state.SkipWithError("wrong rows");
    benchmark::DoNotOptimize(rs);
  }
  state.counters["rows"] = Db().expected;
}

void KladrSearch_Raw(benchmark::State& state) {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(Db().kladr, Db().rawSql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
    state.SkipWithError(sqlite3_errmsg(Db().kladr));
    return;
  }
  const int columns = sqlite3_column_count(s);
  // Every column of every row, as the recordset holds them: the texts
  // copied into one buffer with each cell's place, the buffers kept from
  // call to call (a vector and a string per row would be allocations ours
  // does not make).
  std::string texts;
  std::vector<std::pair<size_t, size_t>> cells;
  for (auto _ : state) {
    texts.clear();
    cells.clear();
    int rows = 0;
    for (; sqlite3_step(s) == SQLITE_ROW; ++rows) {
      for (int i = 0; i < columns; ++i) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
        const auto size = static_cast<size_t>(sqlite3_column_bytes(s, i));
        cells.emplace_back(texts.size(), size);
        if (text) texts.append(text, size);
      }
    }
    sqlite3_reset(s);
    if (rows != Db().expected) state.SkipWithError("wrong rows");
    benchmark::DoNotOptimize(texts.data());
    benchmark::DoNotOptimize(cells.data());
  }
  sqlite3_finalize(s);
  state.counters["rows"] = Db().expected;
}

}  // namespace

BENCHMARK(KladrSearch_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(KladrSearch_Raw)->Unit(benchmark::kMicrosecond);
