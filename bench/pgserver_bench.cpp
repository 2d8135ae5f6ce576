// The server engine (jet::Engine opened on a PostgreSQL database) against
// raw libpq doing the same work in the same run: each case is a pair
// <Case>_Ours / <Case>_Raw, and bench/ratios prints ours/raw. Ours is handed
// Jet texts with their literals, as the layers above call it; the raw side
// prepares its own SQL once (PQprepare) and runs it with PQexecPrepared and
// parameters, converting each value it reads to its C++ type.
//
// Both sides wait for the server, whose work the process's CPU clock does
// not see: each benchmark reports its wall-clock time per iteration
// (UseManualTime), and bench/ratios compares those.
//
// The server: QV_BENCH_PG or QV_TEST_PG (a libpq connection string), else a
// throwaway cluster that scripts/pg-cluster starts in the build tree (when
// the first benchmark runs) and stops and removes when the program ends.
// Without a server (no server binaries) each benchmark is skipped with the
// reason, which bench/ratios shows as "n/a (skipped)".

#include <benchmark/benchmark.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/Error.h"
#include "platform/automation/VbaText.h"
#include "platform/jet/JetEngine.h"

#include "PgBenchSupport.h"

namespace {

using namespace qvpgbench;
using qv::Variant;

constexpr int kRows = 20000;          // rows of Words
constexpr int kSnapshotRows = 10000;  // the snapshot's rows (ID <= this)
constexpr int kBatch = 100;           // rows of an insert batch
constexpr int kKeys = 1024;           // keys a lookup cycles through

// A deterministic Russian-looking word for row i, in mixed case.
std::string Word(int i) {
  static const char* kSyllables[] = {"ка", "ЛИ", "но", "Ви", "ца", "ТО", "ре", "Ми", "жу", "ЦЕ",
                                     "ва", "ПО", "ри", "Ст", "ел", "КО", "ну", "Да", "шо", "ЯР"};
  std::string w;
  unsigned x = static_cast<unsigned>(i) * 2654435761u + 12345u;
  for (int k = 0; k < 4; ++k) {
    w += kSyllables[x % 20];
    x /= 20;
  }
  return w + std::to_string(i);
}

// ---- the data: the same tables serve both sides

struct Fixture {
  std::string schema;
  Conn admin;
  Conn raw;
  std::shared_ptr<qv::jet::Engine> ours;
  bool functions = false;  // the Jet functions are on the server (the Like pair needs them)
  std::vector<int> keys;   // IDs a point lookup cycles through
  std::vector<std::string> upperKeys;  // words a text lookup cycles through, in upper case
  int nextBatchId = kRows + 1;

  static Fixture& Get() {
    static Fixture f;
    return f;
  }

  ~Fixture() {
    ours.reset();
    raw.reset();
    if (admin) {
      PGresult* r = PQexec(admin.get(), ("DROP SCHEMA " + schema + " CASCADE").c_str());
      PQclear(r);
    }
  }

 private:
  Fixture() {
    const std::string& conninfo = Server::Get().Conninfo();
    schema = "qv_bench_" + std::to_string(getpid());
    admin.reset(PQconnectdb(conninfo.c_str()));
    if (PQstatus(admin.get()) != CONNECTION_OK) Fail("connect", admin.get());
    Exec(admin.get(), "SET client_min_messages TO warning");
    Exec(admin.get(), "CREATE SCHEMA " + schema);
    Exec(admin.get(), "SET search_path TO " + schema);
#ifdef QV_JET_TEST_SQL
    if (std::ifstream in{QV_JET_TEST_SQL}) {
      std::stringstream script;
      script << in.rdbuf();
      Exec(admin.get(), script.str());
      functions = true;
    }
#endif
    const std::string location = conninfo + " options='-c search_path=" + schema + "'";
    ours = qv::jet::OpenEngine(location, {.create = true});
    ours->Execute(
        "CREATE TABLE Words (ID LONG CONSTRAINT pk PRIMARY KEY, Word TEXT(50), Score DOUBLE)");
    ours->Execute("CREATE INDEX ByWord ON Words (Word)");
    ours->Execute("CREATE TABLE Batch (ID LONG CONSTRAINT pk PRIMARY KEY, Word TEXT(50))");
    ours->Execute("CREATE INDEX ByWord ON Batch (Word)");
    Fill();
    raw.reset(PQconnectdb(location.c_str()));
    if (PQstatus(raw.get()) != CONNECTION_OK) Fail("connect", raw.get());
    PrepareRaw();
    for (int i = 0; i < kKeys; ++i) {
      const int id = static_cast<int>((static_cast<unsigned>(i) * 2654435761u) % kRows) + 1;
      keys.push_back(id);
      upperKeys.push_back(qv::UCase(Word(id)));
    }
  }

  // The rows through COPY: the same for both sides, and quick to make.
  void Fill() {
    Result copy(PQexec(admin.get(), "COPY \"Words\" (\"ID\", \"Word\", \"Score\") FROM STDIN"));
    if (PQresultStatus(copy.get()) != PGRES_COPY_IN) Fail("copy", admin.get());
    std::string data;
    for (int i = 1; i <= kRows; ++i)
      data += std::to_string(i) + '\t' + Word(i) + '\t' + std::to_string(i * 0.25) + '\n';
    if (PQputCopyData(admin.get(), data.data(), static_cast<int>(data.size())) != 1 ||
        PQputCopyEnd(admin.get(), nullptr) != 1)
      Fail("copy", admin.get());
    Check(PQgetResult(admin.get()), admin.get(), "copy");
    while (PGresult* r = PQgetResult(admin.get())) PQclear(r);
    Exec(admin.get(), "ANALYZE \"Words\"");
  }

  void Prepare(const char* name, const char* sql, std::vector<Oid> types) {
    Check(PQprepare(raw.get(), name, sql, static_cast<int>(types.size()), types.data()), raw.get(),
          sql);
  }

  // What a programmer who knows the server writes for the same work.
  void PrepareRaw() {
    constexpr Oid kInt4 = 23, kText = 25;
    Prepare("point", "SELECT \"Word\", \"Score\" FROM \"Words\" WHERE \"ID\" = $1", {kInt4});
    Prepare("snapshot", "SELECT \"ID\", \"Word\", \"Score\" FROM \"Words\" WHERE \"ID\" <= $1",
            {kInt4});
    Prepare("insert", "INSERT INTO \"Batch\" (\"ID\", \"Word\") VALUES ($1, $2)", {kInt4, kText});
    // The column's collation (Jet's Russian order, case-insensitive) and its index.
    Prepare("word", "SELECT \"ID\" FROM \"Words\" WHERE \"Word\" = $1", {kText});
    // A nondeterministic collation cannot serve LIKE: a deterministic ICU
    // one can, and ILIKE folds Cyrillic case through it.
    Prepare(
        "like",
        "SELECT \"ID\", \"Word\" FROM \"Words\" WHERE (\"Word\" COLLATE \"und-x-icu\") ILIKE $1",
        {kText});
  }
};

// The fixture, or null with the benchmark skipped: there is no server.
// A fixture that cannot be made ends the program (the cluster stopped).
bool SameWork(const Fixture& f);

Fixture* Ready(benchmark::State& state) {
  if (!ServerOrSkip(state)) return nullptr;
  try {
    static Fixture& f = Fixture::Get();
    static const bool same = SameWork(f);
    if (!same) std::exit(1);
    return &f;
  } catch (const qv::Error& e) {
    std::cerr << "Error " << e.Number() << ": " << e.Description() << '\n';
    std::exit(1);
  }
}

// ---- reading rows

// Ours: every row's values as Variants (what a caller of the engine gets).
int64_t OursRows(qv::jet::EngineStatement& st) {
  std::vector<Variant> row(static_cast<size_t>(st.ColumnCount()));
  int64_t n = 0;
  while (st.Step()) {
    st.Values(row);
    benchmark::DoNotOptimize(row.data());
    ++n;
  }
  return n;
}

// Raw: the values converted to their C++ types, column by column.
struct RawRow {
  int id = 0;
  std::string word;
  double score = 0;
};

int RawInt(const PGresult* r, int row, int col) {
  const char* s = PQgetvalue(r, row, col);
  int v = 0;
  std::from_chars(s, s + PQgetlength(r, row, col), v);
  return v;
}

// ---- the pairs

// A row by its key: a Jet text with the key as its literal per call.
void PointLookup_Ours(benchmark::State& state) {
  Fixture* ready = Ready(state);
  if (!ready) return;
  Fixture& f = *ready;
  size_t i = 0;
  Timed(state, [&] {
    const int id = f.keys[i++ % f.keys.size()];
    auto st = f.ours->Prepare("SELECT Word, Score FROM Words WHERE ID = " + std::to_string(id));
    if (OursRows(*st) != 1) std::exit(1);
  });
}

void PointLookup_Raw(benchmark::State& state) {
  Fixture* ready = Ready(state);
  if (!ready) return;
  Fixture& f = *ready;
  size_t i = 0;
  Timed(state, [&] {
    const std::string id = std::to_string(f.keys[i++ % f.keys.size()]);
    Result r = RunRaw(f.raw.get(), "point", {id.c_str()});
    if (PQntuples(r.get()) != 1) std::exit(1);
    RawRow row{0, PQgetvalue(r.get(), 0, 0), std::strtod(PQgetvalue(r.get(), 0, 1), nullptr)};
    benchmark::DoNotOptimize(row);
  });
}

// 10,000 rows of three columns read, as a snapshot reads them: every row
// in one result (ReadsEveryRow), as raw's PQexecPrepared takes them.
void Snapshot10K_Ours(benchmark::State& state) {
  Fixture* ready = Ready(state);
  if (!ready) return;
  Fixture& f = *ready;
  Timed(state, [&] {
    auto st = f.ours->Prepare("SELECT ID, Word, Score FROM Words WHERE ID <= " +
                              std::to_string(kSnapshotRows));
    st->ReadsEveryRow();
    if (OursRows(*st) != kSnapshotRows) std::exit(1);
  });
}

void Snapshot10K_Raw(benchmark::State& state) {
  Fixture* ready = Ready(state);
  if (!ready) return;
  Fixture& f = *ready;
  const std::string last = std::to_string(kSnapshotRows);
  Timed(state, [&] {
    Result r = RunRaw(f.raw.get(), "snapshot", {last.c_str()});
    const int n = PQntuples(r.get());
    if (n != kSnapshotRows) std::exit(1);
    for (int i = 0; i < n; ++i) {
      RawRow row{RawInt(r.get(), i, 0), PQgetvalue(r.get(), i, 1),
                 std::strtod(PQgetvalue(r.get(), i, 2), nullptr)};
      benchmark::DoNotOptimize(row);
    }
  });
}

// 100 rows inserted into a table with a primary key and a text index, in
// a transaction that is rolled back (the table stays as it was).
void InsertBatch_Ours(benchmark::State& state) {
  Fixture* ready = Ready(state);
  if (!ready) return;
  Fixture& f = *ready;
  Timed(state, [&] {
    f.ours->BeginTrans();
    for (int i = 0; i < kBatch; ++i) {
      const int id = f.nextBatchId + i;
      f.ours->Execute("INSERT INTO Batch (ID, Word) VALUES (" + std::to_string(id) + ", '" +
                      Word(id) + "')");
    }
    f.ours->Rollback();
  });
}

void InsertBatch_Raw(benchmark::State& state) {
  Fixture* ready = Ready(state);
  if (!ready) return;
  Fixture& f = *ready;
  Timed(state, [&] {
    Exec(f.raw.get(), "BEGIN");
    for (int i = 0; i < kBatch; ++i) {
      const int id = f.nextBatchId + i;
      const std::string key = std::to_string(id), word = Word(id);
      Result r = RunRaw(f.raw.get(), "insert", {key.c_str(), word.c_str()});
      if (std::strcmp(PQcmdTuples(r.get()), "1") != 0) std::exit(1);
    }
    Exec(f.raw.get(), "ROLLBACK");
  });
}

// The same batch with each insert undoable alone, as a Jet statement in a
// transaction is (a failed one undoes itself and the transaction goes on):
// the raw side sends the savepoint, the insert and the release together in
// one round trip (a pipeline), as ours does.
void InsertBatchUndoable_Ours(benchmark::State& state) {
  InsertBatch_Ours(state);
}

void InsertBatchUndoable_Raw(benchmark::State& state) {
  Fixture* ready = Ready(state);
  if (!ready) return;
  Fixture& f = *ready;
  PGconn* conn = f.raw.get();
  Timed(state, [&] {
    Exec(conn, "BEGIN");
    for (int i = 0; i < kBatch; ++i) {
      const int id = f.nextBatchId + i;
      const std::string key = std::to_string(id), word = Word(id);
      const char* p[] = {key.c_str(), word.c_str()};
      if (!PQenterPipelineMode(conn) ||
          !PQsendQueryParams(conn, "SAVEPOINT s", 0, nullptr, nullptr, nullptr, nullptr, 0) ||
          !PQsendQueryPrepared(conn, "insert", 2, p, nullptr, nullptr, 0) ||
          !PQsendQueryParams(conn, "RELEASE SAVEPOINT s", 0, nullptr, nullptr, nullptr, nullptr,
                             0) ||
          !PQpipelineSync(conn))
        Fail("pipeline", conn);
      for (int k = 0; k < 3; ++k) {
        Result r = Check(PQgetResult(conn), conn, "pipeline");
        while (PGresult* more = PQgetResult(conn)) PQclear(more);
      }
      if (PQresultStatus(Result(PQgetResult(conn)).get()) != PGRES_PIPELINE_SYNC ||
          !PQexitPipelineMode(conn))
        Fail("pipeline", conn);
    }
    Exec(conn, "ROLLBACK");
  });
}

// A row by a text key in Jet's Russian order (case-insensitive): the key
// in upper case finds the word stored in mixed case, through the index.
void RussianKeyLookup_Ours(benchmark::State& state) {
  Fixture* ready = Ready(state);
  if (!ready) return;
  Fixture& f = *ready;
  size_t i = 0;
  Timed(state, [&] {
    const std::string& key = f.upperKeys[i++ % f.upperKeys.size()];
    auto st = f.ours->Prepare("SELECT ID FROM Words WHERE Word = '" + key + "'");
    if (OursRows(*st) != 1) std::exit(1);
  });
}

void RussianKeyLookup_Raw(benchmark::State& state) {
  Fixture* ready = Ready(state);
  if (!ready) return;
  Fixture& f = *ready;
  size_t i = 0;
  Timed(state, [&] {
    const std::string& key = f.upperKeys[i++ % f.upperKeys.size()];
    Result r = RunRaw(f.raw.get(), "word", {key.c_str()});
    if (PQntuples(r.get()) != 1) std::exit(1);
    benchmark::DoNotOptimize(RawInt(r.get(), 0, 0));
  });
}

// A case-insensitive pattern over every row (Jet's Like on the server
// against ILIKE): the rows that match, read.
constexpr std::string_view kPattern = "ви1";

int64_t LikeRowsOurs(qv::jet::Engine& engine) {
  auto st = engine.Prepare("SELECT ID, Word FROM Words WHERE Word Like '*" + std::string(kPattern) +
                           "*'");
  return OursRows(*st);
}

int64_t LikeRowsRaw(PGconn* conn) {
  const std::string pattern = "%" + std::string(kPattern) + "%";
  Result r = RunRaw(conn, "like", {pattern.c_str()});
  const int n = PQntuples(r.get());
  for (int i = 0; i < n; ++i) {
    RawRow row{RawInt(r.get(), i, 0), PQgetvalue(r.get(), i, 1), 0};
    benchmark::DoNotOptimize(row);
  }
  return n;
}

void LikeScan_Ours(benchmark::State& state) {
  Fixture* ready = Ready(state);
  if (!ready) return;
  Fixture& f = *ready;
  if (!f.functions) {
    state.SkipWithError("the Jet functions were not built (the server headers are missing)");
    return;
  }
  Timed(state, [&] { benchmark::DoNotOptimize(LikeRowsOurs(*f.ours)); });
}

void LikeScan_Raw(benchmark::State& state) {
  Fixture* ready = Ready(state);
  if (!ready) return;
  Fixture& f = *ready;
  Timed(state, [&] { benchmark::DoNotOptimize(LikeRowsRaw(f.raw.get())); });
}

// The two sides of each pair must do the same work: the rows they find are
// compared once before anything is timed.
bool SameWork(const Fixture& f) {
  if (!f.functions) return true;
  const int64_t ours = LikeRowsOurs(*f.ours), raw = LikeRowsRaw(f.raw.get());
  if (ours != raw || ours == 0) {
    std::cerr << "the Like pair finds " << ours << " rows on our side and " << raw
              << " on the raw side\n";
    return false;
  }
  return true;
}

}  // namespace

BENCHMARK(PointLookup_Ours)->UseManualTime();
BENCHMARK(PointLookup_Raw)->UseManualTime();
BENCHMARK(Snapshot10K_Ours)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Snapshot10K_Raw)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(InsertBatch_Ours)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(InsertBatch_Raw)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(InsertBatchUndoable_Ours)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(InsertBatchUndoable_Raw)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(RussianKeyLookup_Ours)->UseManualTime();
BENCHMARK(RussianKeyLookup_Raw)->UseManualTime();
BENCHMARK(LikeScan_Ours)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(LikeScan_Raw)->UseManualTime()->Unit(benchmark::kMillisecond);
