// qvdb import-mdb on fruit.mdb (a Jet 4 file of five tables, 84 rows),
// against the way one moves a Jet file to SQLite without us: mdb-export of
// each table piped into the sqlite3 shell's CSV import, on a file with the
// same journal settings (WAL, synchronous NORMAL). One iteration is the
// whole file into a new database; the rows/s counter is rows imported per
// second. The file is fetched by scripts/fetch-test-data (the tests run it).
//
// The raw side works in child processes, whose CPU time the benchmark's own
// clock does not count. Both sides therefore report, as their manual time,
// the CPU time of this process plus that of the children it waited for
// during the iteration; bench/ratios compares the manual time of a pair
// registered with UseManualTime.

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
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

}  // namespace
