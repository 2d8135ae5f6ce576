#pragma once
// Helpers of the tests that run against the throwaway PostgreSQL server
// (QV_TEST_PG) with worker processes standing for workstations: the test's
// own libpq connection, for what only SQL of the server shows, and a worker
// process whose standard output the test reads.

#include <fcntl.h>
#include <libpq-fe.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "sql/SqlScript.h"

namespace qv::testsupport {

class PgAdmin {
 public:
  explicit PgAdmin(const std::string& conninfo) : conn_(PQconnectdb(conninfo.c_str()), PQfinish) {
    if (PQstatus(conn_.get()) != CONNECTION_OK)
      throw std::runtime_error("cannot connect: " + std::string(PQerrorMessage(conn_.get())));
    Value("SET client_min_messages TO warning");
  }
  // Connects again (after the server was restarted).
  void Reset() {
    PQreset(conn_.get());
    if (PQstatus(conn_.get()) != CONNECTION_OK)
      throw std::runtime_error("cannot connect: " + std::string(PQerrorMessage(conn_.get())));
    Value("SET client_min_messages TO warning");
  }
  // The first value of the first row ("" when none).
  std::string Value(const std::string& sql) {
    std::unique_ptr<PGresult, void (*)(PGresult*)> r(PQexec(conn_.get(), sql.c_str()), PQclear);
    const ExecStatusType st = PQresultStatus(r.get());
    if (st != PGRES_TUPLES_OK && st != PGRES_COMMAND_OK)
      throw std::runtime_error(sql + ": " + PQresultErrorMessage(r.get()));
    return PQntuples(r.get()) > 0 ? PQgetvalue(r.get(), 0, 0) : "";
  }
  // The sessions of this database holding (`granted`) or waiting for the
  // advisory lock `key`.
  int AdvisoryLocks(int64_t key, bool granted) {
    return std::stoi(
        Value("SELECT count(*) FROM pg_locks WHERE locktype = 'advisory' AND granted = " +
              std::string(granted ? "true" : "false") +
              " AND database = (SELECT oid FROM pg_database WHERE datname = current_database()) "
              "AND ((classid::bigint << 32) | objid::bigint) = " +
              std::to_string(key)));
  }
  // Waits (up to 20 s) until at least `n` sessions wait for `key`; false
  // when they do not.
  bool AwaitWaiters(int64_t key, int n) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (AdvisoryLocks(key, false) < n) {
      if (std::chrono::steady_clock::now() > until) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }
  // Ends the sessions named `application` on the server, and waits for their end.
  int EndSessions(const std::string& application) {
    return std::stoi(
        Value("SELECT count(pg_terminate_backend(pid, 5000)) FROM pg_stat_activity "
              "WHERE application_name = '" +
              application + "' AND datname = current_database()"));
  }

 private:
  std::unique_ptr<PGconn, void (*)(PGconn*)> conn_;
};

// A worker process: `program` with `args`, the environment with `env`'s
// NAME=value entries in place of the same names; its standard output read
// through a pipe, its standard input a pipe the test holds open. Killed
// and waited for when destroyed before Join.
class WorkerProcess {
 public:
  WorkerProcess(const std::string& program, const std::vector<std::string>& args,
                const std::vector<std::string>& env = {}) {
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargs;
    for (auto& a : argv) cargs.push_back(a.data());
    cargs.push_back(nullptr);
    std::vector<char*> cenv;
    for (char** e = environ; *e; ++e) {
      const std::string_view entry(*e);
      bool replaced = false;
      for (const std::string& set : env)
        replaced = replaced || entry.starts_with(set.substr(0, set.find('=') + 1));
      if (!replaced) cenv.push_back(*e);
    }
    for (const std::string& set : env) cenv.push_back(const_cast<char*>(set.c_str()));
    cenv.push_back(nullptr);
    int out[2], in[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(in, O_CLOEXEC) != 0)
      throw std::runtime_error("pipe failed");
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      ::dup2(out[1], 1);
      ::dup2(in[0], 0);
      ::execve(cargs[0], cargs.data(), cenv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    ::close(in[0]);
    out_ = out[0];
    in_ = in[1];
  }
  ~WorkerProcess() {
    if (pid_ > 0) {
      Kill();
      Join();
    }
  }
  WorkerProcess(const WorkerProcess&) = delete;
  WorkerProcess& operator=(const WorkerProcess&) = delete;

  // The next line of its output ("" at its end).
  std::string ReadLine() {
    std::string line;
    char c;
    while (::read(out_, &c, 1) == 1 && c != '\n') line += c;
    return line;
  }
  void Kill() { ::kill(pid_, SIGKILL); }
  // Waits for its end: "exit N: " and the rest of its output, or "killed".
  std::string Join() {
    ::close(in_);
    std::string rest;
    char buf[256];
    for (ssize_t n; (n = ::read(out_, buf, sizeof buf)) > 0;) rest.append(buf, size_t(n));
    ::close(out_);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = 0;
    if (WIFSIGNALED(status)) return "killed";
    return "exit " + std::to_string(WEXITSTATUS(status)) + ": " + rest;
  }

 private:
  pid_t pid_ = 0;
  int out_ = -1, in_ = -1;
};

// The test server's connection string (QV_TEST_PG), or null after saying
// why the test is skipped: its program then exits 77, which ctest counts as
// skipped.
inline const char* TestServerOrSkip() {
  const char* conninfo = std::getenv("QV_TEST_PG");
  if (conninfo != nullptr && *conninfo != '\0') return conninfo;
  std::cout << "skipped: QV_TEST_PG is not set (scripts/test starts a PostgreSQL server and "
               "sets it; see docs/postgres.md)\n";
  return nullptr;
}

// The build's Jet functions' script, argument `i` of the program, or null
// after saying why the test is skipped: a build without the server module
// (the sanitizer preset) gives none, and a data folder on the server needs
// them (`why`).
inline const char* FunctionsScriptOrSkip(int argc, char** argv, int i, const char* why) {
  if (i < argc && *argv[i] != '\0') return argv[i];
  std::cout << "skipped: the Jet functions' script of the build is needed (" << why << ")\n";
  return nullptr;
}

// A schema of the test server that one test process has to itself, named
// `prefix` and the process ID, made anew (with the Jet functions of
// `functionsScript`, the build's script, when one is given) and dropped
// with the object. Location() opens it. Throws std::runtime_error.
class TestSchema {
 public:
  TestSchema(const std::string& conninfo, const std::string& prefix, const char* functionsScript)
      : admin_(conninfo), name_(prefix + std::to_string(getpid())) {
    admin_.Value("DROP SCHEMA IF EXISTS " + name_ + " CASCADE");
    admin_.Value("CREATE SCHEMA " + name_);
    if (functionsScript) {
      const std::optional<std::string> script = sqltest::ReadScriptFile(functionsScript);
      if (!script) throw std::runtime_error(std::string("cannot read ") + functionsScript);
      admin_.Value("SET search_path TO " + name_);
      admin_.Value(*script);
    }
    location_ = conninfo + " options='-c search_path=" + name_ + "'";
  }
  ~TestSchema() {
    try {
      admin_.Value("DROP SCHEMA " + name_ + " CASCADE");
    } catch (const std::exception& e) {
      std::cerr << e.what() << '\n';
    }
  }
  TestSchema(const TestSchema&) = delete;
  TestSchema& operator=(const TestSchema&) = delete;

  const std::string& Location() const { return location_; }
  // The schema's name.
  const std::string& Name() const { return name_; }

 private:
  PgAdmin admin_;
  std::string name_;
  std::string location_;
};

// A data folder on the test server that one test process has to itself:
// its schema `prefix` and the process ID (the folder's other databases,
// classifiers and shards, become schemas named after it), and the Jet
// functions of `functionsScript` (when given) in the schema "<name>_fn",
// which the location's search path names second. Location() is the
// folder's location, for the registry's DataBasePath or the schema builder;
// every schema of the folder is dropped with the object. Throws
// std::runtime_error.
class ServerFolder {
 public:
  ServerFolder(const std::string& conninfo, const std::string& prefix, const char* functionsScript)
      : admin_(conninfo), name_(prefix + std::to_string(getpid())) {
    DropAll();
    if (functionsScript) {
      const std::optional<std::string> script = sqltest::ReadScriptFile(functionsScript);
      if (!script) throw std::runtime_error(std::string("cannot read ") + functionsScript);
      admin_.Value("CREATE SCHEMA " + name_ + "_fn");
      admin_.Value("SET search_path TO " + name_ + "_fn");
      admin_.Value(*script);
    }
    location_ = conninfo + " options='-c search_path=" + name_ + "," + name_ + "_fn'";
  }
  ~ServerFolder() {
    try {
      DropAll();
    } catch (const std::exception& e) {
      std::cerr << e.what() << '\n';
    }
  }
  ServerFolder(const ServerFolder&) = delete;
  ServerFolder& operator=(const ServerFolder&) = delete;

  const std::string& Location() const { return location_; }
  const std::string& Schema() const { return name_; }
  PgAdmin& Admin() { return admin_; }

 private:
  // The folder's schemas are its name, or start with it and "_".
  void DropAll() {
    admin_.Value(
        "DO $$ DECLARE s text; BEGIN FOR s IN SELECT nspname FROM pg_namespace WHERE nspname = '" +
        name_ + "' OR starts_with(nspname, '" + name_ +
        "_') LOOP EXECUTE 'DROP SCHEMA ' || quote_ident(s) || ' CASCADE'; END LOOP; END $$");
  }
  PgAdmin admin_;
  std::string name_;
  std::string location_;
};

}  // namespace qv::testsupport
