// The event log against plain SQLite doing the same writes and reads on the
// same file (bench/ratios prints ours/raw):
//   LogEvent3Lines        an entry with three detail lines written by
//                         DBLogs.LogEventByRecord with database locking off
//                         (raw: four GUIDs, the VarData row and three VarData2
//                         rows in BEGIN .. COMMIT)
//   LogEvent3LinesLocked  the same with locking on (raw: BEGIN IMMEDIATE, and
//                         the log synced after the commit, as the lock
//                         manager's outermost commit does)
//   LogDayOf1M            one day's entries (1,000 of them, every tenth with
//                         three lines) read by DBLogs.GetEvents out of a log
//                         of 1,000,000 entries kept in the build folder's
//                         bench/data (raw: the same join stepped through into
//                         a vector of values)
// Both write sides insert into the real tables, whose checks call the Jet
// functions: the raw connection has them registered.

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "core/mQvGuids.h"
#include "core/miDataBase.h"
#include "journal/DBLogs.h"
#include "platform/automation/Collection.h"
#include "platform/dao/Database.h"
#include "platform/jet/JetConnection.h"
#include "siblings/records/QvRecord.h"

#include "BenchSupport.h"

namespace {

using qv::Variant;

constexpr int kEntries = 1000000;
constexpr int kEntriesPerDay = 1000;
constexpr double kFirstDay = 46023;  // 01.01.2026
constexpr double kReadDay = kFirstDay + 500;

// A data folder with user 3 ("ivanov"), locking on or off, and a raw
// connection with the Jet functions the tables' checks call.
struct WriteFolder : qvbench::DataFolder {
  explicit WriteFolder(bool locking) : DataFolder(locking ? "qvlogbenchl" : "qvlogbench") {
    if (locking)
      std::ofstream(Path() / "Qv_DBOptions.xml")
          << "<DBOptions><Locking Enable=\"yes\"/></DBOptions>";
    PointSessionHere();
    qv::miDataBase::GetUserDataBase()->ExecuteSql(
        "insert into PermUsers (ID, RecType, Login) values (3, 1, 'ivanov')");
    OpenRaw();
    qv::jet::RegisterJetFunctions(raw);
  }
};

WriteFolder& Folder(bool locking) {
  if (locking) {
    static WriteFolder on(true);
    return on;
  }
  static WriteFolder off(false);
  return off;
}

// An event of user 3 on two objects with three detail lines, as the
// application fills one.
Variant EventRecord() {
  auto e = qv::records::QvRecord::Create("Qv_Records.QvLogEvent");
  e->Let("UserID", Variant(3.0));
  e->Let("HostInfo", Variant("WS-12 (192.168.0.12)"));
  e->Let("EventType", Variant(int32_t{4}));
  e->Let("EventName", Variant("Документ сохранён"));
  e->Let("ObjectID1", Variant(1017.0));
  e->Let("ObjectName1", Variant("Расчёт по страховым взносам"));
  e->Let("ObjectID2", Variant(12.0));
  e->Let("ObjectName2", Variant("ООО Ромашка"));
  e->Let("Data1", Variant("1 квартал 2026"));
  auto lines = std::make_shared<qv::Collection>();
  for (int i = 1; i <= 3; ++i) {
    auto line = qv::records::QvRecord::Create("Qv_Records.QvLogEventLine");
    line->Let("InfoType", Variant(int32_t{i}));
    line->Let("InfoData1", Variant("Раздел " + std::to_string(i)));
    line->Let("InfoData2", Variant("изменено строк: " + std::to_string(i * 7)));
    lines->Add(Variant(qv::ObjectPtr(line)));
  }
  e->Let("Lines", Variant(qv::ObjectPtr(lines)));
  return Variant(qv::ObjectPtr(e));
}

void LogOurs(benchmark::State& state, bool locking) {
  WriteFolder& f = Folder(locking);
  f.PointSessionHere();
  f.EmptyTheLog();
  qv::journal::DBLogs logs;
  const Variant rec = EventRecord();
  for (auto _ : state) benchmark::DoNotOptimize(logs.LogEventByRecord(rec));
  if (qv::journal::DBLogs::SkippedWrites(qv::miDataBase::GetUserDataBase()) != 0)
    state.SkipWithError("entries skipped");
}

std::string BracedGuid() {
  return "{" + qv::mQvGuids::CreateNewGuid() + "}";
}

// The clock to the second as an OLE date (days since 30.12.1899), local
// time.
double OleNow() {
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  return static_cast<double>(t + local.tm_gmtoff) / 86400.0 + 25569.0;
}

void LogRaw(benchmark::State& state, bool locking) {
  WriteFolder& f = Folder(locking);
  f.EmptyTheLog();
  sqlite3_stmt* user = f.MustPrepare("SELECT Login FROM PermUsers WHERE ID = ?");
  sqlite3_stmt* entry = f.MustPrepare(
      "INSERT INTO VarData (ID, EventTime, UserID, UserName, HostInfo, EventType, EventName, "
      "ObjectID1, ObjectName1, ObjectID2, ObjectName2, ObjectID3, ObjectName3, ObjectID4, "
      "ObjectName4, Data1, Data2, Text1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, NULL, '', NULL, "
      "'', ?, '', '')");
  sqlite3_stmt* line = f.MustPrepare(
      "INSERT INTO VarData2 (ID, VarDataID, InfoType, InfoOrder, InfoData1, InfoData2) VALUES (?, "
      "?, ?, ?, ?, ?)");
  // The user's login is read once, as ours keeps the last one per thread.
  sqlite3_bind_int(user, 1, 3);
  f.Check(sqlite3_step(user));
  const std::string login = reinterpret_cast<const char*>(sqlite3_column_text(user, 0));
  sqlite3_finalize(user);
  auto text = [](sqlite3_stmt* s, int i, const std::string& t) {
    sqlite3_bind_text(s, i, t.c_str(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
  };
  // BEGIN and COMMIT prepared once, as ours keeps its transaction statements.
  qvbench::RawTransaction tx(f.raw, locking);
  for (auto _ : state) {
    const std::string id = BracedGuid();
    tx.Begin();
    text(entry, 1, id);
    sqlite3_bind_double(entry, 2, OleNow());
    sqlite3_bind_int(entry, 3, 3);
    text(entry, 4, login);
    text(entry, 5, "WS-12 (192.168.0.12)");
    sqlite3_bind_int(entry, 6, 4);
    text(entry, 7, "Документ сохранён");
    sqlite3_bind_double(entry, 8, 1017);
    text(entry, 9, "Расчёт по страховым взносам");
    sqlite3_bind_double(entry, 10, 12);
    text(entry, 11, "ООО Ромашка");
    text(entry, 12, "1 квартал 2026");
    f.Check(sqlite3_step(entry));
    sqlite3_reset(entry);
    for (int i = 1; i <= 3; ++i) {
      text(line, 1, BracedGuid());
      text(line, 2, id);
      sqlite3_bind_int(line, 3, i);
      sqlite3_bind_int(line, 4, i);
      text(line, 5, "Раздел " + std::to_string(i));
      text(line, 6, "изменено строк: " + std::to_string(i * 7));
      f.Check(sqlite3_step(line));
      sqlite3_reset(line);
    }
    tx.Commit();
    if (locking) {
      sqlite3_file* log = nullptr;
      sqlite3_file_control(f.raw, "main", SQLITE_FCNTL_JOURNAL_POINTER, &log);
      if (log && log->pMethods) log->pMethods->xSync(log, SQLITE_SYNC_NORMAL);
    }
  }
  sqlite3_finalize(entry);
  sqlite3_finalize(line);
}

void LogEvent3Lines_Ours(benchmark::State& s) {
  LogOurs(s, false);
}
void LogEvent3Lines_Raw(benchmark::State& s) {
  LogRaw(s, false);
}
void LogEvent3LinesLocked_Ours(benchmark::State& s) {
  LogOurs(s, true);
}
void LogEvent3LinesLocked_Raw(benchmark::State& s) {
  LogRaw(s, true);
}

// ---- a log of 1M entries, made once and kept

struct BigLog : qvbench::DataFolder {
  BigLog()
      : DataFolder(qvbench::ProgramFolder() / "data" / "log-1M", [](DataFolder& f) {
          f.PointSessionHere();
          // kEntriesPerDay entries a day from kFirstDay on, none at
          // midnight; every tenth entry has three detail lines.
          const std::string n =
              "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n "
              "WHERE i < " +
              std::to_string(kEntries - 1) + ") ";
          const std::string per = std::to_string(kEntriesPerDay);
          qv::miDataBase::GetUserDataBase()->Connection().ExecuteNative(
              "BEGIN;" + n +
              "INSERT INTO VarData (ID, EventTime, UserID, UserName, HostInfo, EventType, "
              "EventName, ObjectID1, ObjectName1, ObjectName2, ObjectName3, ObjectName4, Data1, "
              "Data2, Text1) SELECT printf('{%08X-0000-4000-8000-%012X}', i, i), " +
              std::to_string(kFirstDay) + " + i / " + per + " + ((i % " + per + ") + 0.5) / " +
              per +
              ".0, 3, 'ivanov', 'WS-' || (i % 50), 1 + i % 20, 'Документ сохранён', 1000 + i "
              "% 5000, 'Документ ' || i, '', '', '', '', '', '' FROM n;" +
              n +
              ", k(j) AS (VALUES (1), (2), (3)) INSERT INTO VarData2 (ID, VarDataID, InfoType, "
              "InfoOrder, InfoData1, InfoData2) SELECT printf('{%08X-%04X-4000-8000-%012X}', i, "
              "j, i), printf('{%08X-0000-4000-8000-%012X}', i, i), j, j, 'Раздел ' || j, "
              "'изменено строк: ' || (j * 7) FROM n, k WHERE i % 10 = 0;"
              "COMMIT;");
        }) {
    OpenRaw();
  }
};

BigLog& Log1M() {
  static BigLog f;
  return f;
}

void LogDayOf1M_Ours(benchmark::State& state) {
  BigLog& f = Log1M();
  f.PointSessionHere();
  qv::journal::DBLogs logs;
  size_t rows = 0;
  for (auto _ : state) {
    qv::ado::RecordsetPtr rs =
        logs.GetEvents(Variant(qv::OleDate{kReadDay}), Variant(qv::OleDate{kReadDay + 1}));
    rows = rs->RowCount();
    benchmark::DoNotOptimize(rs);
  }
  // A day's entries, every tenth with three lines instead of one row.
  if (rows != kEntriesPerDay + kEntriesPerDay / 10 * 2) state.SkipWithError("rows missing");
  state.counters["rows"] = static_cast<double>(rows);
}

void LogDayOf1M_Raw(benchmark::State& state) {
  BigLog& f = Log1M();
  sqlite3_stmt* s = f.MustPrepare(
      "SELECT a.ID, a.EventTime, a.UserID, a.UserName, a.HostInfo, a.EventType, a.EventName, "
      "a.ObjectID1, a.ObjectName1, a.ObjectID2, a.ObjectName2, a.ObjectID3, a.ObjectName3, "
      "a.ObjectID4, a.ObjectName4, a.Data1, a.Data2, a.Text1, b.InfoType, b.InfoData1, "
      "b.InfoData2 FROM VarData AS a LEFT JOIN VarData2 AS b ON b.VarDataID = a.ID WHERE "
      "a.EventTime >= ? AND a.EventTime <= ? ORDER BY a.EventTime");
  using Value = std::variant<std::monostate, double, std::string>;
  size_t rows = 0;
  for (auto _ : state) {
    std::vector<std::vector<Value>> out;
    sqlite3_bind_double(s, 1, kReadDay);
    sqlite3_bind_double(s, 2, kReadDay + 1);
    while (sqlite3_step(s) == SQLITE_ROW) {
      std::vector<Value>& row = out.emplace_back();
      const int columns = sqlite3_column_count(s);
      row.reserve(static_cast<size_t>(columns));
      for (int c = 0; c < columns; ++c) {
        switch (sqlite3_column_type(s, c)) {
          case SQLITE_NULL:
            row.emplace_back();
            break;
          case SQLITE_TEXT:
            row.emplace_back(std::string(reinterpret_cast<const char*>(sqlite3_column_text(s, c)),
                                         static_cast<size_t>(sqlite3_column_bytes(s, c))));
            break;
          default:
            row.emplace_back(sqlite3_column_double(s, c));
        }
      }
    }
    sqlite3_reset(s);
    rows = out.size();
    benchmark::DoNotOptimize(out);
  }
  sqlite3_finalize(s);
  if (rows != kEntriesPerDay + kEntriesPerDay / 10 * 2) state.SkipWithError("rows missing");
  state.counters["rows"] = static_cast<double>(rows);
}

}  // namespace

BENCHMARK(LogEvent3Lines_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(LogEvent3Lines_Raw)->Unit(benchmark::kMicrosecond);
BENCHMARK(LogEvent3LinesLocked_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(LogEvent3LinesLocked_Raw)->Unit(benchmark::kMicrosecond);
BENCHMARK(LogDayOf1M_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(LogDayOf1M_Raw)->Unit(benchmark::kMillisecond);
