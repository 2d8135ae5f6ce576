// Throughput of several processes working on one data folder at once, with
// database locking off and on (Qv_DBOptions.xml): N processes (1, 2, 4, 6
// and 8 unless --processes says otherwise) each run a mixed load for
// --seconds: a document's cells saved (DBDocument.SaveCells, under the
// database lock when locking is on), a counter taken
// (DBCommon.GetNextCounter), an event logged (DBLogs.LogEventByRecord, in
// a transaction when locking is on), a document's cells read
// (DBDocument.ReadCells) and its record read (DBDocument.ReadRecord), in
// turn. For each N the run with locking off and the run with locking on
// follow each other, so that a change of the machine's load between them
// is as small as it can be. Prints a line per run: the calls made by all
// processes, calls per second of wall-clock time, the ratio to the first
// N's rate per process, the calls per CPU second of the processes and the
// load, and with locking on the log syncs that the outermost commits
// shared (the lock service's count in the lock file); then a table of
// calls per second and that ratio per mode and N, with what locking costs
// at each N (1 - on/off, of calls per second and of calls per CPU
// second). --rounds repeats the whole sweep (each round reported). A run
// counts failed calls and checks that the counter handed out every number
// exactly once; either makes the exit status 1.
//
// --server CONNINFO runs the same load on a data folder on that server (a
// libpq connection string or URI; the folder's schemas are made for the
// run and dropped after it), where locking is always on: the two modes are
// then the notice of commits of rows (the tables' `_jet_rows_changed`
// triggers, which move the other sessions' data generation) disabled and
// enabled. Each line then also gives the transactions committed in the
// database per second (reads outside a transaction commit one too), the
// calls among them that wrote per second, the server's WAL flushes per
// second (none with fsync off) and the CPU seconds of the processes and of
// the server's processes (when it runs on this machine; calls per CPU
// second then count both).
//
//   lockload [--seconds S] [--processes 1,2,4,6,8] [--mode off|on|both] [--rounds R]
//            [--server CONNINFO [--functions SCRIPT]]
//
// --functions: the script of the Jet functions, run in a schema of the
// folder's own (the build's test script by default); else those of the
// server's schema `jet` serve.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <libpq-fe.h>

#include "core/DBCommon.h"
#include "core/miDataBase.h"
#include "core/schema/SchemaBuilder.h"
#include "journal/DBLogs.h"
#include "platform/ado/AdoConstants.h"
#include "platform/ado/Recordset.h"
#include "platform/automation/Collection.h"
#include "platform/dao/Database.h"
#include "platform/dao/Transaction.h"
#include "platform/jet/JetConnection.h"
#include "platform/os/RegistryStore.h"
#include "records/DBDocument.h"
#include "siblings/records/QvRecord.h"

#include "BenchSupport.h"

namespace {

using qv::Variant;

constexpr int kDocuments = 8;
constexpr int kCells = 50;
constexpr int kCounterType = 41;
constexpr int kCounterYear = 2026;

std::string Key(int k) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d00%03d000%02d", 2 + k / 400, k % 100 * 10, 3 + k / 100 % 4);
  return buf;
}

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "lockload: %s\n", what.c_str());
  std::exit(1);
}

// The folder the processes work on, with kDocuments documents of kCells
// cells and user 3 for the event log: on disk, a temporary folder with
// locking as asked; on a server, the schemas of a folder of its own
// (qv_lockload<pid>, its classifiers' schemas after it) with the Jet
// functions of `functions` in qv_lockload<pid>_fn (else those of the
// server's schema `jet`), dropped at the end; locking is always on there.
// Either way the rows go in through the library.
class LoadFolder {
 public:
  explicit LoadFolder(bool locking)
      : file_(std::make_unique<qvbench::DataFolder>(locking ? "qvlockloadl" : "qvlockload")) {
    if (locking)
      std::ofstream(file_->Path() / "Qv_DBOptions.xml")
          << "<DBOptions><Locking Enable=\"yes\"/></DBOptions>";
    Fill();
  }
  LoadFolder(const std::string& server, const std::string& functions)
      : admin_(PQconnectdb(server.c_str()), PQfinish),
        schema_("qv_lockload" + std::to_string(::getpid())) {
    if (PQstatus(admin_.get()) != CONNECTION_OK)
      Fail(std::string("cannot connect: ") + PQerrorMessage(admin_.get()));
    Admin("SET client_min_messages TO warning");
    DropSchemas();
    std::string path = schema_;
    if (!functions.empty()) {
      std::ifstream in(functions);
      std::stringstream script;
      script << in.rdbuf();
      if (!in) Fail("cannot read " + functions);
      Admin("CREATE SCHEMA " + schema_ + "_fn; SET search_path TO " + schema_ + "_fn");
      Admin(script.str());
      Admin("RESET search_path");
      path += "," + schema_ + "_fn";
    }
    if (!server.starts_with("postgres")) {
      location_ = server + " options='-c search_path=" + path + "'";
    } else {
      location_ = server + (server.find('?') == std::string::npos ? "?" : "&") +
                  "options=-c%20search_path%3D";
      for (const char c : path) location_ += c == ',' ? std::string("%2C") : std::string(1, c);
    }
    char dir[] = "/tmp/qvlockloadsXXXXXX";
    if (!::mkdtemp(dir)) Fail("cannot make a temporary folder");
    registryDir_ = dir;
    qv::schema::BuildDataFolder(location_);
    Fill();
  }
  ~LoadFolder() {
    if (!admin_) return;
    DropSchemas();
    std::error_code ec;
    std::filesystem::remove_all(registryDir_, ec);
  }
  LoadFolder(const LoadFolder&) = delete;
  LoadFolder& operator=(const LoadFolder&) = delete;

  bool OnServer() const { return admin_ != nullptr; }

  // Points the library's session of this thread at the folder.
  void PointSessionHere() const {
    if (file_) return file_->PointSessionHere();
    const std::string registry = (registryDir_ / "registry.ini").string();
    ::setenv("QV_REGISTRY", registry.c_str(), 1);
    qv::os::RegistryStore(registry).SetValue(qv::os::RegistryRoot::kLocalMachine,
                                             "SOFTWARE\\Kestrane\\Quivane\\General", "DataBasePath",
                                             qv::os::RegistryValue::String(location_));
    qv::miDataBase::ResetSessionForThread();
  }

  // On a server: whether the tables' triggers tell other sessions of
  // commits of rows (a disabled trigger is neither called nor made again
  // by the engine's open).
  void SetNotice(bool on) {
    Admin(
        "DO $$DECLARE t regclass; BEGIN FOR t IN SELECT g.tgrelid::regclass FROM pg_trigger g "
        "JOIN pg_class c ON c.oid = g.tgrelid JOIN pg_namespace n ON n.oid = c.relnamespace "
        "WHERE g.tgname = '_jet_rows_changed' AND (n.nspname = '" +
        schema_ + "' OR starts_with(n.nspname, '" + schema_ +
        "_')) LOOP EXECUTE format('ALTER TABLE %s " + (on ? "ENABLE" : "DISABLE") +
        " TRIGGER \"_jet_rows_changed\"', t); END LOOP; END $$");
  }

  // On disk: the count of log syncs begun on the user database, kept by
  // the lock service in the first 8 bytes of the lock file (0 before the
  // file is made). On a server: the transactions committed in the
  // database (a read outside a transaction commits one; this program's
  // own few are among them) and the server's WAL flushes (none with fsync
  // off).
  // On a server that runs on this machine also the CPU seconds its
  // processes used: the postmaster's, its ended children's (the sessions
  // of the runs before) and its live children's (-1 elsewhere).
  struct Counts {
    long syncs = 0;
    long commits = 0;
    double serverCpu = -1;
  };
  Counts Count() {
    Counts c;
    if (file_) {
      std::ifstream file(file_->Path() / "Quivane.mdb.lock", std::ios::binary);
      uint64_t begun = 0;
      if (file.read(reinterpret_cast<char*>(&begun), sizeof begun)) c.syncs = long(begun);
      return c;
    }
    // A session's counts reach the server's statistics when its process
    // ends, a moment after its client has gone.
    const char* others =
        "SELECT count(*) FROM pg_stat_activity WHERE datname = current_database() AND pid <> "
        "pg_backend_pid() AND backend_type = 'client backend'";
    for (int i = 0; i < 500 && Value(others) != "0"; ++i) ::usleep(10000);
    PGresult* r = PQexec(admin_.get(),
                         "SELECT (SELECT xact_commit FROM pg_stat_database WHERE datname = "
                         "current_database()), (SELECT wal_sync FROM pg_stat_wal)");
    if (PQresultStatus(r) != PGRES_TUPLES_OK) Fail(PQresultErrorMessage(r));
    c.commits = std::atol(PQgetvalue(r, 0, 0));
    c.syncs = std::atol(PQgetvalue(r, 0, 1));
    PQclear(r);
    c.serverCpu = ServerCpu();
    return c;
  }

 private:
  // The CPU seconds of process `pid` (with its ended children's when
  // asked) and its parent, from /proc; false when it is not there.
  static bool ProcessCpu(long pid, bool children, double& cpu, long& parent) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (close == std::string::npos) return false;
    std::istringstream fields(text.substr(close + 2));
    std::string field[15];  // state, ppid ... cstime: the 3rd to the 17th
    for (std::string& f : field) fields >> f;
    if (!fields) return false;
    parent = std::atol(field[1].c_str());
    double ticks = std::atof(field[11].c_str()) + std::atof(field[12].c_str());
    if (children) ticks += std::atof(field[13].c_str()) + std::atof(field[14].c_str());
    cpu = ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
    return true;
  }
  double ServerCpu() {
    double cpu = 0, child = 0;
    long parent = 0;
    if (postmaster_ == 0) {
      const long backend = std::atol(Value("SELECT pg_backend_pid()").c_str());
      postmaster_ = ProcessCpu(backend, false, child, parent) ? parent : -1;
    }
    // A child ended and reaped while its siblings are read moves the
    // postmaster's own count: then they are read again.
    for (double before = -2, after = -1; before != after;) {
      if (postmaster_ < 0 || !ProcessCpu(postmaster_, true, before, parent)) return -1;
      cpu = before;
      for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const long pid = std::atol(entry.path().filename().c_str());
        if (pid > 0 && ProcessCpu(pid, false, child, parent) && parent == postmaster_) cpu += child;
      }
      if (!ProcessCpu(postmaster_, true, after, parent)) return -1;
    }
    return cpu;
  }
  std::string Value(const char* sql) {
    PGresult* r = PQexec(admin_.get(), sql);
    if (PQresultStatus(r) != PGRES_TUPLES_OK) Fail(PQresultErrorMessage(r));
    std::string v = PQgetvalue(r, 0, 0);
    PQclear(r);
    return v;
  }
  void Admin(const std::string& sql) {
    // A session's counts reach the server's statistics when its process
    // ends, a moment after its client has gone.
    const char* others =
        "SELECT count(*) FROM pg_stat_activity WHERE datname = current_database() AND pid <> "
        "pg_backend_pid() AND backend_type = 'client backend'";
    for (int i = 0; i < 500 && Value(others) != "0"; ++i) ::usleep(10000);
    PGresult* r = PQexec(admin_.get(), sql.c_str());
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
    const std::string message = PQresultErrorMessage(r);
    PQclear(r);
    if (!ok) Fail(sql.substr(0, 80) + ": " + message);
  }
  // The folder's schemas are its name, or start with it and "_".
  void DropSchemas() {
    Admin("DO $$DECLARE s text; BEGIN FOR s IN SELECT nspname FROM pg_namespace WHERE nspname = '" +
          schema_ + "' OR starts_with(nspname, '" + schema_ +
          "_') LOOP EXECUTE 'DROP SCHEMA ' || quote_ident(s) || ' CASCADE'; END LOOP; END $$");
  }
  void Fill() {
    PointSessionHere();
    auto db = qv::miDataBase::GetUserDataBase();
    qv::dao::Transaction tx(*db);
    db->ExecuteSql("INSERT INTO PermUsers (ID, RecType, Login) VALUES (3, 1, 'ivanov')");
    for (int doc = 1; doc <= kDocuments; ++doc) {
      db->ExecuteSql(
          "INSERT INTO doc_registry (document_id, template_id, time_id, "
          "taxpayer_id, Notes, Status_Qv, Currency_ID, Less) VALUES (" +
          std::to_string(doc) + ", 11, 2517, 1, 'Документ', 1, 157, 0)");
      for (int k = 0; k < kCells; ++k)
        db->ExecuteSql(
            "INSERT INTO doc_cell_values (document_id, cell_key, first_value, first_type) "
            "VALUES (" +
            std::to_string(doc) + ", '" + Key(k) + "', '" + std::to_string(k) + "', 129)");
    }
    tx.Commit();
    db.reset();
    // No database may be open across the fork.
    qv::miDataBase::ResetSessionForThread();
  }

  std::unique_ptr<qvbench::DataFolder> file_;
  std::unique_ptr<PGconn, void (*)(PGconn*)> admin_{nullptr, PQfinish};
  std::string schema_, location_;
  std::filesystem::path registryDir_;
  long postmaster_ = 0;  // the server's process here; -1: not on this machine
};

qv::ado::RecordsetPtr CellsRecordset(int round) {
  auto rs = std::make_shared<qv::ado::Recordset>();
  rs->AppendField("cell_key", qv::ado::adVarWChar, 12, qv::ado::adFldIsNullable);
  rs->AppendField("first_value", qv::ado::adVarWChar, 250, qv::ado::adFldIsNullable);
  rs->AppendField("first_type", qv::ado::adInteger, 4, qv::ado::adFldIsNullable);
  rs->Open();
  for (int k = 0; k < kCells; ++k)
    rs->AppendRow({Variant(Key(k)), Variant(std::to_string(k * 7919 % 1000003 + round)),
                   Variant(int32_t{129})});
  return rs;
}

Variant EventRecord() {
  auto e = qv::records::QvRecord::Create("Qv_Records.QvLogEvent");
  e->Let("UserID", Variant(3.0));
  e->Let("HostInfo", Variant("WS-12 (192.168.0.12)"));
  e->Let("EventType", Variant(int32_t{4}));
  e->Let("EventName", Variant("Документ сохранён"));
  e->Let("ObjectID1", Variant(1017.0));
  e->Let("ObjectName1", Variant("Расчёт по страховым взносам"));
  auto lines = std::make_shared<qv::Collection>();
  for (int i = 1; i <= 3; ++i) {
    auto line = qv::records::QvRecord::Create("Qv_Records.QvLogEventLine");
    line->Let("InfoType", Variant(int32_t{i}));
    line->Let("InfoData1", Variant("Раздел " + std::to_string(i)));
    lines->Add(Variant(qv::ObjectPtr(line)));
  }
  e->Let("Lines", Variant(qv::ObjectPtr(lines)));
  return Variant(qv::ObjectPtr(e));
}

// What one process did: its calls, failed calls, and the counter values it
// was given (each must be given once overall).
struct Tally {
  long calls = 0;
  long failures = 0;
  long writes = 0;  // calls that saved cells, took a counter or logged an event
  std::vector<int32_t> counters;
  std::string firstFailure;
};

// The child's loop until `deadline` (steady clock); `p` numbers the process.
Tally Work(int p, std::chrono::steady_clock::time_point deadline) {
  Tally t;
  qv::records::DBDocument mapper;
  qv::DBCommon common;
  qv::journal::DBLogs logs;
  const Variant rounds[2] = {Variant(qv::ObjectPtr(CellsRecordset(1))),
                             Variant(qv::ObjectPtr(CellsRecordset(2)))};
  const Variant event = EventRecord();
  auto record = qv::records::QvRecord::Create("Qv_Records.QvDocument");
  for (long i = 0; std::chrono::steady_clock::now() < deadline; ++i) {
    const double doc = 1 + (p + i / 5) % kDocuments;
    try {
      switch (i % 5) {
        case 0:
          mapper.SaveCells(doc, rounds[(i / 5) % 2]);
          break;
        case 1:
          t.counters.push_back(common.GetNextCounter(kCounterType, kCounterYear));
          break;
        case 2:
          logs.LogEventByRecord(event);
          break;
        case 3:
          if (mapper.ReadCells(doc)->Count() != kCells) throw std::runtime_error("cells lost");
          break;
        default:
          mapper.ReadRecord(doc, Variant(qv::ObjectPtr(record)));
          break;
      }
      if (i % 5 < 3) ++t.writes;
    } catch (const std::exception& e) {
      if (t.failures++ == 0) t.firstFailure = e.what();
    }
    ++t.calls;
  }
  return t;
}

struct Result {
  long calls = 0;
  long failures = 0;
  double seconds = 0;
  double cpuSeconds = 0;
  bool duplicates = false;
  std::string firstFailure;
  long syncs = 0;                // log syncs begun during the run (on a server: WAL flushes)
  long commits = 0;              // on a server: transactions committed during the run
  long writes = 0;               // calls that wrote (each commits one transaction)
  double serverCpuSeconds = -1;  // on a server on this machine: its processes' CPU
};

double ChildrenCpu() {
  rusage u{};
  ::getrusage(RUSAGE_CHILDREN, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// N processes on `folder` for `seconds`; each reports its tally through a
// pipe as text: calls, failures, the counters, then the first failure.
Result Run(LoadFolder& folder, int n, double seconds) {
  folder.PointSessionHere();
  qv::miDataBase::ResetSessionForThread();
  int start[2];
  if (::pipe(start) != 0) std::abort();
  struct Kid {
    pid_t pid;
    int out;
  };
  std::vector<Kid> kids;
  for (int p = 0; p < n; ++p) {
    int out[2];
    if (::pipe(out) != 0) std::abort();
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(out[0]);
      ::close(start[1]);
      char go;
      if (::read(start[0], &go, 1) != 1) ::_exit(2);
      const auto deadline = std::chrono::steady_clock::now() +
                            std::chrono::microseconds(static_cast<long>(seconds * 1e6));
      Tally t;
      try {
        t = Work(p, deadline);
      } catch (const std::exception& e) {
        t.failures++;
        t.firstFailure = e.what();
      }
      std::string text = std::to_string(t.calls) + " " + std::to_string(t.failures) + " " +
                         std::to_string(t.writes) + " " + std::to_string(t.counters.size());
      for (int32_t c : t.counters) text += " " + std::to_string(c);
      text += "\n" + t.firstFailure;
      for (size_t at = 0; at < text.size();) {
        const ssize_t w = ::write(out[1], text.data() + at, text.size() - at);
        if (w <= 0) ::_exit(3);
        at += static_cast<size_t>(w);
      }
      ::_exit(0);  // no static destructors of the parent's objects
    }
    ::close(out[1]);
    kids.push_back({pid, out[0]});
  }
  ::close(start[0]);
  const LoadFolder::Counts counts0 = folder.Count();
  const double cpu0 = ChildrenCpu();
  const auto t0 = std::chrono::steady_clock::now();
  for (int p = 0; p < n; ++p)
    if (::write(start[1], "g", 1) != 1) std::abort();
  ::close(start[1]);
  Result r;
  std::map<int32_t, int> seen;
  for (const Kid& k : kids) {
    std::string text;
    char buf[65536];
    for (ssize_t got; (got = ::read(k.out, buf, sizeof buf)) > 0;)
      text.append(buf, static_cast<size_t>(got));
    ::close(k.out);
    int status = 0;
    ::waitpid(k.pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      r.failures++;
      if (r.firstFailure.empty()) r.firstFailure = "a process ended abnormally";
    }
    long calls = 0, failures = 0, writes = 0, count = 0;
    int used = 0;
    if (std::sscanf(text.c_str(), "%ld %ld %ld %ld%n", &calls, &failures, &writes, &count, &used) !=
        4) {
      r.failures++;
      continue;
    }
    const char* at = text.c_str() + used;
    for (long i = 0; i < count; ++i) {
      char* end = nullptr;
      ++seen[static_cast<int32_t>(std::strtol(at, &end, 10))];
      at = end;
    }
    const char* nl = std::strchr(at, '\n');
    if (failures > 0 && r.firstFailure.empty() && nl) r.firstFailure = nl + 1;
    r.calls += calls;
    r.writes += writes;
    r.failures += failures;
  }
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  r.cpuSeconds = ChildrenCpu() - cpu0;
  const LoadFolder::Counts counts = folder.Count();
  r.syncs = counts.syncs - counts0.syncs;
  r.commits = counts.commits - counts0.commits;
  if (counts0.serverCpu >= 0 && counts.serverCpu >= 0)
    r.serverCpuSeconds = counts.serverCpu - counts0.serverCpu;
  for (const auto& [value, times] : seen) r.duplicates |= times != 1;
  return r;
}

std::vector<int> ParseList(const char* text) {
  std::vector<int> list;
  for (const char* at = text; *at;) {
    char* end = nullptr;
    const long v = std::strtol(at, &end, 10);
    if (end == at || v < 1) return {};
    list.push_back(static_cast<int>(v));
    at = *end == ',' ? end + 1 : end;
  }
  return list;
}

double LoadAverage() {
  double load = -1;
  if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
    if (std::fscanf(f, "%lf", &load) != 1) load = -1;
    std::fclose(f);
  }
  return load;
}

// The sweep's table: calls per second and the ratio to the first N's rate
// per process, a row per mode, and locking's cost per N when both ran: in
// wall-clock calls per second, and in calls per CPU second (what a call
// costs the processes, which other programs' load on the machine moves
// less than it moves the wall clock).
void PrintTable(const std::vector<int>& counts, const std::map<int, double> (&rate)[2],
                const std::map<int, double> (&cpuRate)[2], bool off, bool on) {
  std::printf("\n%-8s", "N");
  for (const int n : counts) std::printf(" %13d", n);
  for (const bool locking : {false, true}) {
    if (!(locking ? on : off)) continue;
    const double one = rate[locking].at(counts.front()) / counts.front();
    std::printf("\n%-8s", locking ? "on" : "off");
    for (const int n : counts) {
      const double r = rate[locking].at(n);
      std::printf(" %7.0f %5.2f", r, one > 0 ? r / one : 0.0);
    }
  }
  if (off && on) {
    std::printf("\n%-8s", "cost");
    for (const int n : counts) std::printf(" %12.0f%%", 100 * (1 - rate[1].at(n) / rate[0].at(n)));
    std::printf("\n%-8s", "cpu cost");
    for (const int n : counts)
      std::printf(" %12.0f%%", 100 * (1 - cpuRate[1].at(n) / cpuRate[0].at(n)));
  }
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 5;
  std::vector<int> counts{1, 2, 4, 6, 8};
  std::string mode = "both";
  int rounds = 1;
  std::string server, functions;
#ifdef QV_JET_TEST_SQL
  functions = QV_JET_TEST_SQL;
#endif
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--seconds" && i + 1 < argc) {
      seconds = std::atof(argv[++i]);
    } else if (a == "--processes" && i + 1 < argc) {
      counts = ParseList(argv[++i]);
    } else if (a == "--mode" && i + 1 < argc) {
      mode = argv[++i];
    } else if (a == "--rounds" && i + 1 < argc) {
      rounds = std::atoi(argv[++i]);
    } else if (a == "--server" && i + 1 < argc) {
      server = argv[++i];
    } else if (a == "--functions" && i + 1 < argc) {
      functions = argv[++i];
    } else {
      std::fprintf(stderr,
                   "usage: %s [--seconds S] [--processes 1,2,4,6,8] [--mode off|on|both] "
                   "[--rounds R] [--server CONNINFO [--functions SCRIPT]]\n",
                   argv[0]);
      return 2;
    }
  }
  if (counts.empty() || seconds <= 0 || rounds < 1 ||
      (mode != "off" && mode != "on" && mode != "both")) {
    std::fprintf(stderr, "lockload: bad arguments\n");
    return 2;
  }
  const bool off = mode != "on", on = mode != "off";
  std::unique_ptr<LoadFolder> folders[2];
  if (!server.empty()) {
    folders[0] = std::make_unique<LoadFolder>(server, functions);
  } else {
    if (off) folders[0] = std::make_unique<LoadFolder>(false);
    if (on) folders[1] = std::make_unique<LoadFolder>(true);
  }
  // On a server the modes are the notice of commits of rows off and on
  // (locking is always on there).
  const char* modeName = server.empty() ? "locking" : "notice";
  bool ok = true;
  for (int round = 1; round <= rounds; ++round) {
    if (rounds > 1) std::printf("%sround %d\n", round > 1 ? "\n" : "", round);
    std::printf("%-8s %3s %9s %10s %8s %12s %6s\n", modeName, "N", "calls", "calls/s", "vs N=1",
                "calls/cpu-s", "load");
    std::map<int, double> rate[2], cpuRate[2];
    for (const int n : counts) {
      for (const bool locking : {false, true}) {
        if (!(locking ? on : off)) continue;
        LoadFolder& folder = server.empty() ? *folders[locking] : *folders[0];
        if (folder.OnServer()) folder.SetNotice(locking);
        const Result r = Run(folder, n, seconds);
        const double perSecond = static_cast<double>(r.calls) / r.seconds;
        rate[locking][n] = perSecond;
        // On a server on this machine its processes' CPU counts too.
        cpuRate[locking][n] =
            static_cast<double>(r.calls) / (r.cpuSeconds + std::max(0.0, r.serverCpuSeconds));
        const double one = rate[locking][counts.front()] / counts.front();
        std::printf("%-8s %3d %9ld %10.0f %8.2f %12.0f %6.2f", locking ? "on" : "off", n, r.calls,
                    perSecond, perSecond / one, cpuRate[locking][n], LoadAverage());
        if (folder.OnServer())
          std::printf("  commits/s %.0f (writing %.0f)  WAL syncs/s %.0f  cpu-s %.1f+%.1f",
                      double(r.commits) / r.seconds, double(r.writes) / r.seconds,
                      double(r.syncs) / r.seconds, r.cpuSeconds, r.serverCpuSeconds);
        else if (locking)
          std::printf("  syncs %ld", r.syncs);
        if (r.failures) std::printf("  FAILED %ld: %s", r.failures, r.firstFailure.c_str());
        if (r.duplicates) std::printf("  DUPLICATE COUNTERS");
        std::printf("\n");
        std::fflush(stdout);
        ok = ok && !r.failures && !r.duplicates;
      }
    }
    PrintTable(counts, rate, cpuRate, off, on);
    std::fflush(stdout);
  }
  return ok ? 0 : 1;
}
