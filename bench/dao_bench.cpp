// The data-access objects against plain SQLite doing the same work in the
// same run: pairs <Case>_Ours / <Case>_Raw (bench/ratios prints ours/raw).
//   Seek:     a Seek "=" on a 1M-row table and a field read, against a
//             prepared point query reading the same row;
//   AddNew:   100K rows by AddNew/Update in one transaction, against
//             prepared inserts in one transaction into a table of the same
//             definition (made through the catalogue, with its rules);
//   Snapshot: a statement turned into a snapshot of 10K rows with every
//             field read, against a step loop reading every column;
//   Snapshot10: the same for 10 rows (what opening and closing cost).
// QV_DAO_BENCH_ROWS sets the size of the big table (1M by default), for
// runs under a profiler.

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "platform/automation/Error.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/DaoCollections.h"
#include "platform/dao/Database.h"
#include "platform/dao/Field.h"
#include "platform/dao/Index.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/TableDef.h"
#include "platform/dao/TableDefs.h"
#include "platform/dao/Workspace.h"
#include "platform/jet/JetConnection.h"

namespace {

using qv::Variant;
using qv::jet::JetType;
namespace dao = qv::dao;

int BigRows() {
  static const int rows = [] {
    const char* env = std::getenv("QV_DAO_BENCH_ROWS");
    return env && std::atoi(env) > 20000 ? std::atoi(env) : 1000000;
  }();
  return rows;
}
constexpr int kInsertRows = 100000;
constexpr int kSnapshotRows = 10000;

std::string Name(int i) {
  static const char* kSyllables[] = {"ка", "ЛИ", "но", "Ви", "ца", "ТО", "ре", "Ми"};
  unsigned x = static_cast<unsigned>(i) * 2654435761u;
  std::string w;
  for (int k = 0; k < 3; ++k, x /= 8) w += kSyllables[x % 8];
  return w + std::to_string(i);
}

// Creates table `name` (ID Long primary, Name Text(50), Amount Double,
// Created Date, Code Long) through the objects.
void MakeTable(dao::Database& db, const std::string& name) {
  auto tdf = db.CreateTableDef(Variant(name));
  const std::pair<const char*, JetType> fields[] = {{"ID", JetType::kLong},
                                                    {"Name", JetType::kText},
                                                    {"Amount", JetType::kDouble},
                                                    {"Created", JetType::kDate},
                                                    {"Code", JetType::kLong}};
  for (const auto& [field, type] : fields)
    tdf->FieldsCollection()->Append(tdf->CreateField(Variant(field),
                                                     Variant(static_cast<int32_t>(type)),
                                                     Variant(type == JetType::kText ? 50 : 0)));
  auto pk = tdf->CreateIndex(Variant("Id"));
  pk->SetFieldsValue(Variant("ID"));
  pk->SetPrimary(true);
  tdf->IndexesCollection()->Append(pk);
  db.TableDefsCollection()->Append(tdf);
}

using qvbench::Check;

// One file with the 1M-row table twice, both made through the catalogue
// (the same definition, so that a statement over either runs the same
// plan): Big filled through the objects, RawBig by plain inserts; our
// database and a raw connection to the file.
struct Fixture {
  std::filesystem::path folder;
  std::shared_ptr<dao::Database> db;
  sqlite3* raw = nullptr;

  Fixture() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qvdaobenchXXXXXX").string();
    folder = mkdtemp(pattern.data());
    std::string path = (folder / "Bench.mdb").string();
    auto ws = dao::DBEngine::ForThread()->DefaultWorkspace();
    db = ws->Create(path, dao::dbLangCyrillic);
    MakeTable(*db, "Big");
    MakeTable(*db, "RawBig");
    ws->BeginTrans();
    auto rs = db->OpenTable("Big");
    qv::jet::Statement rawInsert =
        db->Connection().PrepareNative("INSERT INTO RawBig VALUES (?, ?, ?, ?, ?)");
    for (int i = 1; i <= BigRows(); ++i) {
      const Variant row[] = {Variant(int32_t{i}), Variant(Name(i)), Variant(i * 0.25),
                             Variant(qv::OleDate{40000.0 + i % 5000}), Variant(int32_t{i % 97})};
      rs->AddNew();
      for (int f = 0; f < 5; ++f) rs->SetField(f, row[f]);
      rs->Update();
      rawInsert.BindAll(row);
      rawInsert.Run();
      rawInsert.Reset();
    }
    rs->Close();
    ws->CommitTrans(Variant());
    db->FreeLocks();
    // Opened as the engine opens its files: no mutex, one thread.
    Check(sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr),
          raw);
    sqlite3_exec(raw, "PRAGMA synchronous = NORMAL", nullptr, nullptr, nullptr);
    // The rules of a table made through the catalogue call our functions.
    qv::jet::RegisterJetFunctions(raw);
    qv::jet::RegisterJetCollation(raw);
  }
  ~Fixture() {
    sqlite3_close_v2(raw);
    db->Close();
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  }
};

Fixture& TheFixture() {
  static Fixture f;
  return f;
}

// Keys spread over the table in a fixed pseudo-random order.
int32_t KeyAt(uint64_t i) {
  return static_cast<int32_t>((i * 2654435761u) % BigRows()) + 1;
}

void Seek_Ours(benchmark::State& state) {
  Fixture& f = TheFixture();
  auto rs = f.db->OpenTable("Big");
  rs->SetIndex("Id");
  const int32_t name = rs->FieldIndex("Name");
  uint64_t i = 0;
  size_t bytes = 0;
  Variant key[1];
  for (auto _ : state) {
    key[0] = Variant(KeyAt(i++));
    rs->Seek("=", key);
    if (rs->NoMatch()) state.SkipWithError("no match");
    bytes += rs->FieldValue(name).AsString().size();
  }
  benchmark::DoNotOptimize(bytes);
}

void Seek_Raw(benchmark::State& state) {
  Fixture& f = TheFixture();
  sqlite3_stmt* st = nullptr;
  Check(sqlite3_prepare_v3(f.raw, "SELECT ID, Name, Amount, Created, Code FROM RawBig WHERE ID = ?",
                           -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr),
        f.raw);
  uint64_t i = 0;
  size_t bytes = 0;
  for (auto _ : state) {
    sqlite3_bind_int(st, 1, KeyAt(i++));
    if (sqlite3_step(st) != SQLITE_ROW) state.SkipWithError("no row");
    bytes += static_cast<size_t>(sqlite3_column_bytes(st, 1));
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  benchmark::DoNotOptimize(bytes);
}

void AddNew_Ours(benchmark::State& state) {
  Fixture& f = TheFixture();
  auto ws = dao::DBEngine::ForThread()->DefaultWorkspace();
  for (auto _ : state) {
    state.PauseTiming();
    auto tables = f.db->TableDefsCollection();
    if (tables->Find("Ins")) tables->Delete("Ins");
    MakeTable(*f.db, "Ins");
    state.ResumeTiming();
    ws->BeginTrans();
    auto rs = f.db->OpenTable("Ins");
    for (int i = 1; i <= kInsertRows; ++i) {
      rs->AddNew();
      rs->SetField(0, Variant(int32_t{i}));
      rs->SetField(1, Variant(Name(i)));
      rs->SetField(2, Variant(i * 0.25));
      rs->SetField(3, Variant(qv::OleDate{40000.0 + i % 5000}));
      rs->SetField(4, Variant(int32_t{i % 97}));
      rs->Update();
    }
    rs->Close();
    ws->CommitTrans(Variant());
  }
  state.SetItemsProcessed(state.iterations() * kInsertRows);
}

void AddNew_Raw(benchmark::State& state) {
  Fixture& f = TheFixture();
  for (auto _ : state) {
    state.PauseTiming();
    auto tables = f.db->TableDefsCollection();
    if (tables->Find("RawIns")) tables->Delete("RawIns");
    MakeTable(*f.db, "RawIns");
    state.ResumeTiming();
    sqlite3_stmt* st = nullptr;
    Check(sqlite3_exec(f.raw, "BEGIN", nullptr, nullptr, nullptr), f.raw);
    Check(sqlite3_prepare_v3(f.raw, "INSERT INTO RawIns VALUES (?, ?, ?, ?, ?)", -1,
                             SQLITE_PREPARE_PERSISTENT, &st, nullptr),
          f.raw);
    for (int i = 1; i <= kInsertRows; ++i) {
      std::string name = Name(i);
      sqlite3_bind_int(st, 1, i);
      sqlite3_bind_text(st, 2, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
      sqlite3_bind_double(st, 3, i * 0.25);
      sqlite3_bind_double(st, 4, 40000.0 + i % 5000);
      sqlite3_bind_int(st, 5, i % 97);
      Check(sqlite3_step(st), f.raw);
      sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    Check(sqlite3_exec(f.raw, "COMMIT", nullptr, nullptr, nullptr), f.raw);
  }
  state.SetItemsProcessed(state.iterations() * kInsertRows);
}

// Something of a field's value, so that reading it is not optimised away.
double Touch(const Variant& v) {
  if (v.IsString()) return static_cast<double>(v.AsString().size());
  if (v.IsNull()) return 0;
  return qv::CDbl(v);
}

void SnapshotOurs(benchmark::State& state, int rows) {
  Fixture& f = TheFixture();
  const std::string sql =
      "SELECT ID, Name, Amount, Created, Code FROM Big WHERE ID <= " + std::to_string(rows);
  double sum = 0;
  for (auto _ : state) {
    auto rs = f.db->OpenStatement(sql, dao::dbOpenSnapshot);
    const int32_t n = rs->FieldCount();
    while (!rs->IsEOF()) {
      for (int32_t i = 0; i < n; ++i) sum += Touch(rs->FieldValue(i));
      rs->MoveNext();
    }
    rs->Close();
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations() * rows);
}

// Each column's value read as ours reads it: the name's text too, not only
// its length.
void SnapshotRaw(benchmark::State& state, int rows) {
  Fixture& f = TheFixture();
  const std::string sql =
      "SELECT ID, Name, Amount, Created, Code FROM RawBig WHERE ID <= " + std::to_string(rows);
  sqlite3_stmt* st = nullptr;
  Check(sqlite3_prepare_v3(f.raw, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr), f.raw);
  double sum = 0;
  for (auto _ : state) {
    while (sqlite3_step(st) == SQLITE_ROW) {
      sum += sqlite3_column_int(st, 0);
      const unsigned char* name = sqlite3_column_text(st, 1);
      if (name) sum += static_cast<double>(sqlite3_column_bytes(st, 1));
      sum += sqlite3_column_double(st, 2);
      sum += sqlite3_column_double(st, 3);
      sum += sqlite3_column_int(st, 4);
    }
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations() * rows);
}

void Snapshot_Ours(benchmark::State& state) {
  SnapshotOurs(state, kSnapshotRows);
}
void Snapshot_Raw(benchmark::State& state) {
  SnapshotRaw(state, kSnapshotRows);
}
void Snapshot10_Ours(benchmark::State& state) {
  SnapshotOurs(state, 10);
}
void Snapshot10_Raw(benchmark::State& state) {
  SnapshotRaw(state, 10);
}

BENCHMARK(Seek_Ours);
BENCHMARK(Seek_Raw);
BENCHMARK(AddNew_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(AddNew_Raw)->Unit(benchmark::kMillisecond);
BENCHMARK(Snapshot_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(Snapshot_Raw)->Unit(benchmark::kMicrosecond);
BENCHMARK(Snapshot10_Ours);
BENCHMARK(Snapshot10_Raw);

}  // namespace
