// Several workstations on one server folder: worker processes reach a
// server of their own (started here, listening on 127.0.0.1) over TCP and
// run a mix of the library's public operations for a while: a document's
// cells saved and read, a counter drawn, an event logged, a record read.
// Then one worker is killed inside a transaction, and the server is
// restarted while the others run. What must hold: no counter value is
// handed out twice, every call that reported success is in the database,
// the killed worker's uncommitted work is gone and no lock is left behind,
// a restart fails calls with the network's error (3043) or the lock's
// (3050) and no other, and every worker's calls succeed again after it.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/DBCommon.h"
#include "core/miDataBase.h"
#include "core/schema/SchemaBuilder.h"
#include "journal/DBLogs.h"
#include "platform/ado/AdoConstants.h"
#include "platform/ado/Recordset.h"
#include "platform/automation/Collection.h"
#include "platform/dao/Database.h"
#include "platform/dao/Transaction.h"
#include "platform/os/RegistryStore.h"
#include "records/DBDocument.h"
#include "siblings/records/QvRecord.h"
#include "support/PgTestProcess.h"
#include "support/TestSupport.h"

namespace qv {
namespace {

const char* gFunctions = nullptr;
const char* gClusterScript = nullptr;
const char* gClusterDir = nullptr;

constexpr std::string_view kGeneralKey = "SOFTWARE\\Kestrane\\Quivane\\General";
constexpr std::string_view kDevelopmentKey = "SOFTWARE\\Kestrane Development\\Quivane";
constexpr int kDocuments = 6;
constexpr int kCells = 30;
constexpr int kCounterType = 41;
constexpr int kCounterYear = 2026;

std::string CellKey(int k) {
  char buf[32];  // 13 characters; room for any int the format could be given
  std::snprintf(buf, sizeof buf, "%02d00%03d00001", 2 + k / 400, k % 100 * 10);
  return buf;
}

// The cluster this test restarts: its own, so that other tests' sessions
// on the shared one are not ended.
class PrivateCluster {
 public:
  PrivateCluster() {
    const std::string command =
        std::string(gClusterScript) + " start " + gClusterDir + " --tcp 2>&1";
    FILE* out = ::popen(command.c_str(), "r");
    char line[512];
    while (out && std::fgets(line, sizeof line, out)) conninfo_ = line;
    if (!out || ::pclose(out) != 0 || conninfo_.empty())
      throw std::runtime_error("cannot start the cluster: " + conninfo_);
    while (!conninfo_.empty() && conninfo_.back() == '\n') conninfo_.pop_back();
  }
  ~PrivateCluster() { Run("stop"); }
  void Restart() {
    if (!Run("restart")) throw std::runtime_error("cannot restart the cluster");
  }
  const std::string& Conninfo() const { return conninfo_; }

 private:
  bool Run(const char* action) {
    const std::string command =
        std::string(gClusterScript) + " " + action + " " + gClusterDir + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
  }
  std::string conninfo_;
};

ado::RecordsetPtr Cells(const std::string& value) {
  auto rs = std::make_shared<ado::Recordset>();
  rs->AppendField("cell_key", ado::adVarWChar, 12, ado::adFldIsNullable);
  rs->AppendField("first_value", ado::adVarWChar, 250, ado::adFldIsNullable);
  rs->AppendField("first_type", ado::adInteger, 4, ado::adFldIsNullable);
  rs->Open();
  for (int k = 0; k < kCells; ++k)
    rs->AppendRow({Variant(CellKey(k)), Variant(value), Variant(int32_t{129})});
  return rs;
}

Variant Event(const std::string& name) {
  auto e = records::QvRecord::Create("Qv_Records.QvLogEvent");
  e->Let("UserID", Variant(3.0));
  e->Let("HostInfo", Variant("WS-12 (192.168.0.12)"));
  e->Let("EventType", Variant(int32_t{4}));
  e->Let("EventName", Variant(name));
  e->Let("ObjectID1", Variant(1017.0));
  e->Let("ObjectName1", Variant("Расчёт по страховым взносам"));
  return Variant(ObjectPtr(e));
}

// What one worker did, sent to the test as lines of text.
struct Tally {
  long calls = 0;
  long events = 0;                   // LogEventByRecord calls that succeeded
  long okAfterFailure = 0;           // calls that succeeded after the last failure
  std::map<int32_t, long> failures;  // by error number
  std::vector<int32_t> counters;
  std::string firstFailure;
};

std::string Serialize(const Tally& t) {
  std::ostringstream out;
  out << t.calls << ' ' << t.events << ' ' << t.okAfterFailure << ' ' << t.failures.size();
  for (const auto& [n, c] : t.failures) out << ' ' << n << ' ' << c;
  out << ' ' << t.counters.size();
  for (int32_t c : t.counters) out << ' ' << c;
  out << '\n' << t.firstFailure << '\n';
  return out.str();
}

Tally Deserialize(const std::string& text) {
  Tally t;
  std::istringstream in(text);
  size_t n = 0;
  in >> t.calls >> t.events >> t.okAfterFailure >> n;
  for (size_t i = 0; i < n; ++i) {
    int32_t number = 0;
    long count = 0;
    in >> number >> count;
    t.failures[number] = count;
  }
  in >> n;
  t.counters.resize(n);
  for (int32_t& c : t.counters) in >> c;
  std::getline(in, t.firstFailure);
  std::getline(in, t.firstFailure);
  return t;
}

// The worker's loop, `p` numbering it, until `deadline`.
Tally Work(int p, std::chrono::steady_clock::time_point deadline) {
  Tally t;
  records::DBDocument documents;
  DBCommon common;
  journal::DBLogs logs;
  const Variant cells[2] = {Variant(ObjectPtr(Cells("w" + std::to_string(p) + "a"))),
                            Variant(ObjectPtr(Cells("w" + std::to_string(p) + "b")))};
  const Variant event = Event("Документ сохранён");
  auto record = records::QvRecord::Create("Qv_Records.QvDocument");
  for (long i = 0; std::chrono::steady_clock::now() < deadline; ++i) {
    const double doc = 1 + (p + i / 5) % kDocuments;
    ++t.calls;
    try {
      switch (i % 5) {
        case 0:
          documents.SaveCells(doc, cells[(i / 5) % 2]);
          break;
        case 1:
          t.counters.push_back(common.GetNextCounter(kCounterType, kCounterYear));
          break;
        case 2:
          logs.LogEventByRecord(event);
          ++t.events;
          break;
        case 3:
          if (documents.ReadCells(doc)->Count() != kCells)
            throw Error(9999, "a document's cells were lost");
          break;
        default:
          documents.ReadRecord(doc, Variant(ObjectPtr(record)));
          break;
      }
      ++t.okAfterFailure;
    } catch (const Error& e) {
      if (t.failures.empty()) t.firstFailure = e.Description();
      ++t.failures[e.Number()];
      t.okAfterFailure = 0;
    }
  }
  return t;
}

class Office : public ::testing::Test {
 protected:
  void SetUp() override {
    cluster_.emplace();
    folder_.emplace(cluster_->Conninfo(), "office", gFunctions);
    schema::BuildDataFolder(folder_->Location());
    os::RegistryStore registry(temp_.Path() / "registry.ini");
    registry.SetValue(os::RegistryRoot::kLocalMachine, kGeneralKey, "DataBasePath",
                      os::RegistryValue::String(folder_->Location()));
    // In development mode a log entry that cannot be written fails its call
    // (elsewhere it is skipped and counted), so that a call's success
    // means its entry is stored.
    registry.SetValue(os::RegistryRoot::kLocalMachine, kDevelopmentKey, "DevelopmentMode",
                      os::RegistryValue::String("yes"));
    miDataBase::ResetSessionForThread();
    auto db = miDataBase::GetUserDataBase();
    dao::Transaction tx(*db);
    db->ExecuteSql("INSERT INTO PermUsers (ID, RecType, Login) VALUES (3, 1, 'ivanov')");
    for (int doc = 1; doc <= kDocuments; ++doc) {
      db->ExecuteSql(
          "INSERT INTO doc_registry (document_id, template_id, time_id, taxpayer_id, Notes, "
          "Status_Qv, Currency_ID, Less) VALUES (" +
          std::to_string(doc) + ", 11, 2517, 1, 'Документ', 1, 157, 0)");
      for (int k = 0; k < kCells; ++k)
        db->ExecuteSql(
            "INSERT INTO doc_cell_values (document_id, cell_key, first_value, first_type) "
            "VALUES (" +
            std::to_string(doc) + ", '" + CellKey(k) + "', 'start', 129)");
    }
    tx.Commit();
    // No connection may be shared with a child.
    miDataBase::ResetSessionForThread();
  }
  void TearDown() override { miDataBase::ResetSessionForThread(); }

  // Starts `n` workers for `seconds`; `during` runs meanwhile; returns their
  // tallies once all have ended.
  std::vector<Tally> RunWorkers(int n, double seconds, const std::function<void()>& during) {
    std::vector<std::pair<pid_t, int>> kids;
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(static_cast<int>(seconds * 1000));
    for (int p = 0; p < n; ++p) {
      int out[2];
      if (::pipe(out) != 0) throw std::runtime_error("pipe");
      const pid_t pid = ::fork();
      if (pid == 0) {
        ::close(out[0]);
        const std::string text = Serialize(Work(p, deadline));
        miDataBase::ResetSessionForThread();
        (void)!::write(out[1], text.data(), text.size());
        ::_exit(0);
      }
      ::close(out[1]);
      kids.emplace_back(pid, out[0]);
    }
    during();
    std::vector<Tally> tallies;
    for (auto [pid, fd] : kids) {
      std::string text;
      char buf[4096];
      for (ssize_t got; (got = ::read(fd, buf, sizeof buf)) > 0;) text.append(buf, got);
      ::close(fd);
      int status = 0;
      ::waitpid(pid, &status, 0);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "worker " << pid;
      tallies.push_back(Deserialize(text));
    }
    return tallies;
  }

  int64_t Count(const std::string& sql) {
    return std::stoll(
        folder_->Admin().Value("SELECT count(*) FROM " + folder_->Schema() + "." + sql));
  }

  testsupport::TempFolder temp_{"qvoffice"};
  testsupport::ScopedEnv registry_{"QV_REGISTRY", (temp_.Path() / "registry.ini").c_str()};
  std::optional<PrivateCluster> cluster_;
  std::optional<testsupport::ServerFolder> folder_;
};

TEST_F(Office, WorkstationsKilledAndAServerRestart) {
  std::set<int32_t> counters;
  long events = 0;
  auto take = [&](const std::vector<Tally>& tallies, const char* phase) {
    long calls = 0;
    std::map<int32_t, long> failed;
    for (const Tally& t : tallies) {
      calls += t.calls;
      for (const auto& [n, c] : t.failures) failed[n] += c;
    }
    std::cout << phase << ": " << tallies.size() << " workers, " << calls << " calls";
    for (const auto& [n, c] : failed) std::cout << ", " << c << " failed with " << n;
    std::cout << '\n';
    for (const Tally& t : tallies) {
      SCOPED_TRACE(phase);
      EXPECT_GT(t.calls, 20);
      EXPECT_EQ(t.failures.count(9999), 0u) << t.firstFailure;
      for (int32_t c : t.counters) EXPECT_TRUE(counters.insert(c).second) << "counter " << c;
      events += t.events;
    }
  };

  // Four workstations at work.
  const auto steady = RunWorkers(4, 2.0, [] {});
  for (const Tally& t : steady) EXPECT_TRUE(t.failures.empty()) << t.firstFailure;
  take(steady, "steady");

  // One killed inside its transaction: its cells, event and counter are
  // not there, and nothing of it holds a lock.
  {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(ready[0]);
      auto ws = miDataBase::GetWorkspace();
      ws->BeginTrans();
      records::DBDocument().SaveCells(1.0, Variant(ObjectPtr(Cells("killed"))));
      journal::DBLogs().LogEventByRecord(Event("killed"));
      DBCommon().GetNextCounter(kCounterType + 1, kCounterYear);
      (void)!::write(ready[1], "r", 1);
      ::pause();
      ::_exit(0);
    }
    ::close(ready[1]);
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1) << "the worker did not reach its transaction";
    ::close(ready[0]);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    for (int i = 0;
         i < 500 &&
         folder_->Admin().Value("SELECT count(*) FROM pg_locks WHERE locktype = 'advisory'") != "0";
         ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(folder_->Admin().Value("SELECT count(*) FROM pg_locks WHERE locktype = 'advisory'"),
              "0");
    EXPECT_EQ(Count("doc_cell_values WHERE first_value = 'killed'"), 0);
    EXPECT_EQ(Count("\"VarData\" WHERE \"EventName\" = 'killed'"), 0);
    EXPECT_EQ(Count("\"Counters\" WHERE \"CounterType\" = " + std::to_string(kCounterType + 1)), 0);
  }

  // The server restarted while four work: only the network's and the
  // lock's errors, and every worker works again after it.
  const auto restarted = RunWorkers(4, 4.0, [&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    cluster_->Restart();
    folder_->Admin().Reset();
  });
  for (const Tally& t : restarted) {
    for (const auto& [number, n] : t.failures)
      EXPECT_TRUE(number == 3043 || number == 3050) << number << ": " << t.firstFailure;
    EXPECT_GT(t.okAfterFailure, 10) << t.firstFailure;
  }
  take(restarted, "restarted");

  // Nothing that reported success is lost: each event is stored, and the
  // counter stands at least at the highest value handed out.
  auto counter = [&](int32_t type) {
    const std::string value =
        folder_->Admin().Value("SELECT \"CounterValue\" FROM " + folder_->Schema() +
                               ".\"Counters\" WHERE \"CounterType\" = " + std::to_string(type));
    return value.empty() ? 0LL : std::stoll(value);
  };
  EXPECT_GE(Count("\"VarData\" WHERE \"EventName\" = 'Документ сохранён'"), events);
  EXPECT_EQ(counter(journal::kSkippedWritesCounter), 0);
  ASSERT_FALSE(counters.empty());
  EXPECT_GE(counter(kCounterType), *counters.rbegin());
}

}  // namespace
}  // namespace qv

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!qv::testsupport::TestServerOrSkip()) return 77;
  if (argc < 4) {
    std::cerr << "usage: qv_pg_office FUNCTIONS-SCRIPT PG-CLUSTER-SCRIPT CLUSTER-DIR\n";
    return 2;
  }
  qv::gFunctions = argv[1];
  qv::gClusterScript = argv[2];
  qv::gClusterDir = argv[3];
  return RUN_ALL_TESTS();
}
