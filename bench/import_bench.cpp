// qvdb import-mdb on fruit.mdb (a Jet 4 file of five tables, 84 rows),
// against the way one moves a Jet file to SQLite without us: mdb-export of
// each table piped into the sqlite3 shell's CSV import, on a file with the
// same journal settings (WAL, synchronous NORMAL). One iteration is the
// whole file into a new database; the rows/s counter is rows imported per
// second. A third side, ImportFruit_RawPrepared, does the move in this
// process through libmdb and prepared inserts into tables of the definition
// ours makes: the least the same work can cost. The file is fetched by
// scripts/fetch-test-data (the tests run it).
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
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ImportMdb.h"
#include "platform/jet/JetFunctionImpl.h"

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
// through one insert per table prepared once, a transaction per table, as
// ours; into the same file as ours makes, so that it holds the same rules
// and types: tables of the same definition (the Jet types' SQLite
// affinities, the sizes, Nulls and keys as checks, the Jet collation, the
// file's indexes, relationships' left out as ours leaves them) and the same
// rows of the catalogue tables (_jet_*) that keep each column's Jet type.
// The definitions and the catalogue's rows are read once, outside the timed
// loop, from a file ours imported. The connection has the Jet functions and
// collation the checks and indexes call.
using Values = std::vector<std::unique_ptr<sqlite3_value, void (*)(sqlite3_value*)>>;
struct CatalogueRows {
  std::string insert;                          // into one _jet_ table
  std::multimap<std::string, Values> byTable;  // "" for the folder's own rows
};
struct SameFile {
  std::string catalogueDdl;
  std::map<std::string, std::string> tableDdl;  // by table name
  std::vector<CatalogueRows> catalogue;
};

const SameFile& SameFileOfFruit() {
  static const SameFile same = [] {
    SameFile f;
    Folder folder;
    const fs::path made = folder.path / "fruit.mdb";
    qvdb::ImportJetFile(kFruit, made, {});
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(made.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
      sqlite3_close_v2(db);
      return f;
    }
    auto text = [](sqlite3_stmt* st, int c) {
      return std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, c)));
    };
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(
        db, "SELECT tbl_name, sql FROM sqlite_master WHERE sql IS NOT NULL ORDER BY rowid", -1, &st,
        nullptr);
    while (st && sqlite3_step(st) == SQLITE_ROW) {
      const std::string table = text(st, 0);
      (table.starts_with("_jet_") ? f.catalogueDdl : f.tableDdl[table]) += text(st, 1) + ";";
    }
    sqlite3_finalize(st);
    for (const char* table : {"_jet_meta", "_jet_columns", "_jet_indexes"}) {
      CatalogueRows rows;
      sqlite3_prepare_v2(db, ("SELECT * FROM " + std::string(table)).c_str(), -1, &st, nullptr);
      const int n = st ? sqlite3_column_count(st) : 0;
      rows.insert = "INSERT INTO " + std::string(table) + " VALUES (";
      for (int c = 0; c < n; ++c) rows.insert += c ? ", ?" : "?";
      rows.insert += ")";
      while (st && sqlite3_step(st) == SQLITE_ROW) {
        Values values;
        for (int c = 0; c < n; ++c)
          values.emplace_back(sqlite3_value_dup(sqlite3_column_value(st, c)), sqlite3_value_free);
        rows.byTable.emplace(std::string(table) == "_jet_meta" ? "" : text(st, 0),
                             std::move(values));
      }
      sqlite3_finalize(st);
      f.catalogue.push_back(std::move(rows));
    }
    sqlite3_close_v2(db);
    return f;
  }();
  return same;
}

// Writes the catalogue's rows of `table` ("" for the folder's own) through
// the prepared inserts, one per catalogue table.
bool WriteCatalogueRows(const std::vector<sqlite3_stmt*>& inserts, const std::string& table) {
  const auto& catalogue = SameFileOfFruit().catalogue;
  for (size_t k = 0; k < catalogue.size(); ++k) {
    const auto [from, to] = catalogue[k].byTable.equal_range(table);
    for (auto row = from; row != to; ++row) {
      for (size_t c = 0; c < row->second.size(); ++c)
        sqlite3_bind_value(inserts[k], static_cast<int>(c + 1), row->second[c].get());
      const bool done = sqlite3_step(inserts[k]) == SQLITE_DONE;
      sqlite3_reset(inserts[k]);
      if (!done) return false;
    }
  }
  return true;
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
  qv::jet::RegisterJetFunctions(db);
  qv::jet::RegisterJetCollation(db);
  const SameFile& same = SameFileOfFruit();
  if (sqlite3_exec(
          db,
          ("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; BEGIN; " + same.catalogueDdl)
              .c_str(),
          nullptr, nullptr, nullptr) != SQLITE_OK)
    return -1;
  struct Inserts : std::vector<sqlite3_stmt*> {
    ~Inserts() {
      for (sqlite3_stmt* s : *this) sqlite3_finalize(s);
    }
  } inserts;
  for (const CatalogueRows& c : same.catalogue) {
    inserts.push_back(nullptr);
    if (sqlite3_prepare_v2(db, c.insert.c_str(), -1, &inserts.back(), nullptr) != SQLITE_OK)
      return -1;
  }
  if (!WriteCatalogueRows(inserts, "") ||
      sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
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
    const auto create = same.tableDdl.find(t->name);
    if (create == same.tableDdl.end()) return -1;
    std::string insert = "INSERT INTO " + Quoted(t->name) + " VALUES (";
    for (unsigned c = 0; c < n; ++c) insert += c ? ", ?" : "?";
    if (sqlite3_exec(db, ("BEGIN; " + create->second).c_str(), nullptr, nullptr, nullptr) !=
            SQLITE_OK ||
        !WriteCatalogueRows(inserts, t->name))
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
  if (SameFileOfFruit().tableDdl.size() != 5) {
    state.SkipWithError("the tables ours makes of fruit.mdb could not be read");
    return;
  }
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
