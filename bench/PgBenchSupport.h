#pragma once
// What the benchmarks against a PostgreSQL server share: the server they
// use (QV_BENCH_PG or QV_TEST_PG, else a throwaway cluster the test
// scripts start in the build tree and stop when the program ends), and the
// raw side's libpq helpers. A failure ends the program with std::exit, not
// abort: the static objects go, so the schemas are dropped and a cluster
// the program started stopped.

#include <benchmark/benchmark.h>
#include <libpq-fe.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qvpgbench {

struct ResultDeleter {
  void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;
struct ConnDeleter {
  void operator()(PGconn* c) const { PQfinish(c); }
};
using Conn = std::unique_ptr<PGconn, ConnDeleter>;

[[noreturn]] inline void Fail(std::string_view what, PGconn* conn) {
  std::cerr << what << ": " << (conn ? PQerrorMessage(conn) : "") << '\n';
  std::exit(1);
}

// A failure ends the program with std::exit, not abort: the static objects
// go, so the schema is dropped and a cluster the program started stopped.

// A raw-side result: anything but a command's or a select's success ends
// the program with the server's message.
inline Result Check(PGresult* r, PGconn* conn, std::string_view what) {
  if (r == nullptr) Fail(what, conn);
  const ExecStatusType st = PQresultStatus(r);
  if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) {
    std::cerr << what << ": " << PQresultErrorMessage(r) << '\n';
    std::exit(1);
  }
  return Result(r);
}

inline void Exec(PGconn* conn, const std::string& sql) {
  Check(PQexec(conn, sql.c_str()), conn, sql);
}

// ---- the server

// The connection string of the server the benchmarks use, starting a
// throwaway cluster when the environment names none; the cluster is
// stopped and removed when the program ends.
class Server {
 public:
  static Server& Get() {
    static Server server;
    return server;
  }
  bool Available() const { return !conninfo_.empty(); }
  const std::string& Conninfo() const { return conninfo_; }
  const std::string& Why() const { return why_; }

  ~Server() {
    if (!started_) return;
    const std::string stop = Script() + " stop " + QV_BENCH_PG_DIR + " >/dev/null 2>&1";
    if (std::system(stop.c_str()) != 0)
      std::cerr << "could not stop the cluster in " << QV_BENCH_PG_DIR << '\n';
  }

 private:
  Server() {
    for (const char* name : {"QV_BENCH_PG", "QV_TEST_PG"})
      if (const char* v = std::getenv(name); v && *v) {
        conninfo_ = v;
        return;
      }
    const std::string start = Script() + " start " + QV_BENCH_PG_DIR;
    FILE* out = popen(start.c_str(), "r");
    if (!out) {
      why_ = "cannot run " + Script();
      return;
    }
    char buf[512];
    std::string line;
    while (std::fgets(buf, sizeof buf, out)) line += buf;
    const int status = pclose(out);
    // A failed start may have left the folder (and a server): stop removes them.
    started_ = std::filesystem::exists(QV_BENCH_PG_DIR);
    while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) line.pop_back();
    if (status != 0 || line.empty()) {
      why_ = "scripts/pg-cluster could not start a server (its message above)";
      return;
    }
    conninfo_ = line;
  }
  static std::string Script() { return std::string(QV_SOURCE_DIR) + "/scripts/pg-cluster"; }

  std::string conninfo_, why_;
  bool started_ = false;
};

// True when the server is there; else the benchmark is skipped, saying why.
inline bool ServerOrSkip(benchmark::State& state) {
  Server& server = Server::Get();
  if (server.Available()) return true;
  state.SkipWithError(
      ("no PostgreSQL server: " + server.Why() + "; set QV_BENCH_PG or install postgresql-15")
          .c_str());
  return false;
}

// Runs a prepared statement with text parameters; the program ends on a failure.
inline Result RunRaw(PGconn* conn, const char* name, std::initializer_list<const char*> params) {
  std::vector<const char*> p(params);
  return Check(
      PQexecPrepared(conn, name, static_cast<int>(p.size()), p.data(), nullptr, nullptr, 0), conn,
      name);
}

// Times each iteration by the wall clock (the server's work included).
template <class Body>
void Timed(benchmark::State& state, Body body) {
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    body();
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
}

}  // namespace qvpgbench
