// qvdb import-mdb on fruit.mdb (a Jet 4 file of five tables, 84 rows),
// against the way one moves a Jet file to SQLite without us: mdb-export of
// each table piped into the sqlite3 shell's CSV import, on a file with the
// same journal settings (WAL, synchronous NORMAL). One iteration is the
// whole file into a new database; the rows/s counter is rows imported per
// second. A third side, ImportFruit_RawPrepared, does the move in this
// process through libmdb and prepared inserts: the least it can cost. The
// file is fetched by scripts/fetch-test-data (the tests run it).
//
// The raw side works in child processes, whose CPU time the benchmark's own
// clock does not count. Both sides therefore report, as their manual time,
// the CPU time of this process plus that of the children it waited for
// during the iteration; bench/ratios compares the manual time of a pair
// registered with UseManualTime.

#include <benchmark/benchmark.h>
#include <mdbtools.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ImportMdb.h"

namespace {

namespace fs = std::filesystem;

const fs::path kFruit = fs::path(QV_TEST_CACHE) / "fruit.mdb";

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

struct Folder {
  fs::path path;
  Folder() {
    std::string pattern = (fs::temp_directory_path() / "qvimportbenchXXXXXX").string();
    path = mkdtemp(pattern.data());
  }
  ~Folder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

bool Skipped(benchmark::State& state) {
  if (fs::exists(kFruit)) return false;
  state.SkipWithError("fruit.mdb is not fetched: run scripts/fetch-test-data build/cache");
  return true;
}

// CPU seconds (user and system) used so far by this process and by the
// children it has waited for.
double CpuWithChildren() {
  double seconds = 0;
  for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
    rusage u{};
    ::getrusage(who, &u);
    for (const timeval& t : {u.ru_utime, u.ru_stime})
      seconds += static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
  }
  return seconds;
}

void SetRate(benchmark::State& state, int64_t rows) {
  state.counters["rows/s"] = benchmark::Counter(static_cast<double>(rows * state.iterations()),
                                                benchmark::Counter::kIsRate);
}

void ImportFruit_Ours(benchmark::State& state) {
  if (Skipped(state)) return;
  Folder folder;
  int64_t rows = 0;
  for (auto _ : state) {
    const fs::path out = folder.path / "fruit.mdb";
    const double start = CpuWithChildren();
    const qvdb::ImportSummary s = qvdb::ImportJetFile(kFruit, out, {});
    state.SetIterationTime(CpuWithChildren() - start);
    rows = 0;
    for (const auto& t : s.files.at(0).tables) rows += t.written;
    fs::remove(out);
  }
  SetRate(state, rows);
}
BENCHMARK(ImportFruit_Ours)->UseManualTime()->Unit(benchmark::kMillisecond);

void ImportFruit_Raw(benchmark::State& state) {
  if (Skipped(state)) return;
  Folder folder;
  const fs::path out = folder.path / "fruit.db";
  // The tables as mdb-tables lists them, one shell pipeline each.
  std::vector<std::string> tables;
  if (FILE* p = ::popen(("mdb-tables -1 " + Quote(kFruit.string())).c_str(), "r")) {
    char line[512];
    while (std::fgets(line, sizeof line, p)) {
      std::string t = line;
      while (!t.empty() && t.back() == '\n') t.pop_back();
      if (!t.empty()) tables.push_back(t);
    }
    ::pclose(p);
  }
  std::string script;
  for (const std::string& t : tables)
    script += "mdb-export " + Quote(kFruit.string()) + " " + Quote(t) + " | sqlite3 -cmd " +
              Quote("PRAGMA journal_mode=WAL") + " -cmd " + Quote("PRAGMA synchronous=NORMAL") +
              " " + Quote(out.string()) + " " + Quote(".import --csv /dev/stdin \"" + t + "\"") +
              " >/dev/null && ";
  script += "true";

  for (auto _ : state) {
    const double start = CpuWithChildren();
    if (std::system(script.c_str()) != 0) {
      state.SkipWithError("mdb-export | sqlite3 failed");
      return;
    }
    state.SetIterationTime(CpuWithChildren() - start);
    fs::remove(out);
  }
  int64_t rows = 0;
  for (const std::string& t : tables) {
    FILE* p = ::popen(("mdb-count " + Quote(kFruit.string()) + " " + Quote(t)).c_str(), "r");
    if (!p) continue;
    long n = 0;
    if (std::fscanf(p, "%ld", &n) == 1) rows += n;
    ::pclose(p);
  }
  SetRate(state, rows);
}
BENCHMARK(ImportFruit_Raw)->UseManualTime()->Unit(benchmark::kMillisecond);

// What a program doing the move in-process writes: the file read through
// libmdb (as ours reads it), each column bound as the text libmdb gives,
// into a table whose columns have the SQLite affinity of their Jet type (so
// numbers are stored as numbers) and with the file's indexes (relationships'
// left out, as ours leaves them), through one insert per table prepared
// once; a transaction per table, as ours.
const char* Affinity(int jetType) {
  switch (jetType) {
    case MDB_BOOL:
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
      return "INTEGER";
    case MDB_MONEY:
    case MDB_FLOAT:
    case MDB_DOUBLE:
    case MDB_NUMERIC:
      return "REAL";
    case MDB_OLE:
      return "BLOB";
    default:
      return "TEXT";
  }
}

std::string Quoted(const char* name) {
  return "\"" + std::string(name) + "\"";
}

int64_t RawImport(const fs::path& from, const fs::path& to) {
  std::unique_ptr<MdbHandle, void (*)(MdbHandle*)> mdb(mdb_open(from.c_str(), MDB_NOFLAGS),
                                                       mdb_close);
  if (!mdb || !mdb_read_catalog(mdb.get(), MDB_TABLE)) return -1;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(to.c_str(), &db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK) {
    sqlite3_close_v2(db);
    return -1;
  }
  std::unique_ptr<sqlite3, int (*)(sqlite3*)> closer(db, sqlite3_close_v2);
  if (sqlite3_exec(db, "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL", nullptr, nullptr,
                   nullptr) != SQLITE_OK)
    return -1;
  int64_t rows = 0;
  for (unsigned i = 0; i < mdb->num_catalog; ++i) {
    auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
    if (entry->object_type != MDB_TABLE || !mdb_is_user_table(entry)) continue;
    std::unique_ptr<MdbTableDef, void (*)(MdbTableDef*)> t(mdb_read_table(entry),
                                                           mdb_free_tabledef);
    if (!t || !mdb_read_columns(t.get())) return -1;
    mdb_read_indices(t.get());
    const unsigned n = t->num_cols;
    std::string create = "CREATE TABLE " + Quoted(t->name) + " (";
    std::string insert = "INSERT INTO " + Quoted(t->name) + " VALUES (";
    for (unsigned c = 0; c < n; ++c) {
      auto* col = static_cast<MdbColumn*>(g_ptr_array_index(t->columns, c));
      create += (c ? ", " : "") + Quoted(col->name) + " " + Affinity(col->col_type);
      insert += c ? ", ?" : "?";
    }
    create += ");";
    for (unsigned x = 0; x < t->num_idxs; ++x) {
      auto* idx = static_cast<MdbIndex*>(g_ptr_array_index(t->indices, x));
      if (idx->index_type == 2) continue;  // a relationship's
      std::string keys;
      for (unsigned k = 0; k < idx->num_keys; ++k) {
        const int c = idx->key_col_num[k] - 1;
        if (c < 0 || c >= static_cast<int>(n)) continue;
        keys += (keys.empty() ? "" : ", ") +
                Quoted(static_cast<MdbColumn*>(g_ptr_array_index(t->columns, c))->name) +
                (idx->key_col_order[k] == MDB_DESC ? " DESC" : "");
      }
      const bool unique = idx->index_type == 1 || (idx->flags & MDB_IDX_UNIQUE) != 0;
      if (!keys.empty())
        create += std::string(unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") +
                  Quoted((std::string(t->name) + "_" + idx->name).c_str()) + " ON " +
                  Quoted(t->name) + " (" + keys + ");";
    }
    if (sqlite3_exec(db, ("BEGIN; " + create).c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
      return -1;
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, (insert + ")").c_str(), -1, &s, nullptr) != SQLITE_OK) return -1;
    std::vector<std::vector<char>> values(n, std::vector<char>(MDB_BIND_SIZE));
    std::vector<int> lengths(n);
    for (unsigned c = 0; c < n; ++c)
      mdb_bind_column(t.get(), static_cast<int>(c + 1), values[c].data(), &lengths[c]);
    mdb_rewind_table(t.get());
    bool ok = true;
    while (ok && mdb_fetch_row(t.get())) {
      for (unsigned c = 0; c < n; ++c) {
        if (lengths[c] > 0)
          sqlite3_bind_text(s, static_cast<int>(c + 1), values[c].data(), lengths[c],
                            SQLITE_STATIC);
        else
          sqlite3_bind_null(s, static_cast<int>(c + 1));
      }
      ok = sqlite3_step(s) == SQLITE_DONE;
      sqlite3_reset(s);
      ++rows;
    }
    sqlite3_finalize(s);
    if (!ok || sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) return -1;
  }
  return rows;
}

void ImportFruit_RawPrepared(benchmark::State& state) {
  if (Skipped(state)) return;
  Folder folder;
  const fs::path out = folder.path / "fruit.db";
  int64_t rows = 0;
  for (auto _ : state) {
    const double start = CpuWithChildren();
    rows = RawImport(kFruit, out);
    state.SetIterationTime(CpuWithChildren() - start);
    if (rows <= 0) {
      state.SkipWithError("the in-process import failed");
      return;
    }
    fs::remove(out);
    for (const char* tail : {"-wal", "-shm"}) fs::remove(out.string() + tail);
  }
  SetRate(state, rows);
}
BENCHMARK(ImportFruit_RawPrepared)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
