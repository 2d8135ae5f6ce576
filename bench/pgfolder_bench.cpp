// The library's operations on a data folder on a PostgreSQL server, against
// raw libpq doing the same statements in the same run (bench/ratios prints
// ours/raw), and the typical request of a workstation on that server folder
// next to the same request on the same folder on disk.
//
// The folder: the 10,000 documents `qvdb generate` makes for the file
// benchmarks (GeneratedDocuments), copied onto the server (qvdb copy: the
// folder built there by the schema builder, then filled), plus four
// documents of 50 and 5000 cells and a legal person for the pairs. Ours
// works on documents 900001 (50 cells) and 900002 (5000), raw on their
// copies 900011 and 900012.
//
// The pairs (<Case>_Ours / <Case>_Raw):
//   ReadRecord         DBDocument.ReadRecord of a document; raw: its row
//   ReadCells50, 5000  DBDocument.ReadCells; raw: the rows into a vector
//                      with a hash map of their keys
//   SaveCells50        DBDocument.SaveCells of 50 changed values; raw: one
//                      pipeline (begin, the write lock, the document's check,
//                      an update per cell), the inserts of the keys no update
//                      found, the commit
//   LegalPersonReadSave the person mapper's read with the lazy part and its
//                      save; raw: the header row, then the detail row's two
//                      parts and the branch and accounted-person checks in one
//                      pipeline, then the write transaction in one pipeline
//   GetBlanksByPeriod  the forms of a stream for a period; raw: the three
//                      owner statements in one pipeline, then the list (the
//                      same texts our engine translates)
//   LogEvent           DBLogs.LogEvent; raw: begin, the write lock, the
//                      insert and the commit in one pipeline
// The raw side prepares every statement once (PQprepare) and runs it with
// PQexecPrepared or in a pipeline where the statements do not depend on
// each other: what a programmer who knows the server writes.
//
// Typical_<Step>_File and Typical_<Step>_Server: a step of the typical
// request (the forms of a stream for a period, a document read, its cells
// read and saved, a log entry) on the generated folder on disk and on its
// copy on the server.
//
// Every benchmark reports its wall-clock time per iteration (UseManualTime:
// the server's work is another process's) and the counter round_trips: the
// requests per call that waited for the server's answer (ours counted by
// the library, jet::ServerRoundTrips; raw by this program, a pipeline one).
//
// The server: as pgserver_bench's (PgBenchSupport.h); without one each
// benchmark is skipped with the reason.

#include <benchmark/benchmark.h>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <sys/random.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/miDataBase.h"
#include "journal/DBLogs.h"
#include "platform/ado/AdoConstants.h"
#include "platform/ado/Recordset.h"
#include "platform/dao/Database.h"
#include "platform/jet/PgConnection.h"
#include "platform/jet/PgLockSession.h"
#include "platform/os/RegistryStore.h"
#include "queries/BlankQueries.h"
#include "queries/BlankSql.h"
#include "queries/mCommonLookups.h"
#include "records/DBDocument.h"
#include "records/EntityMappers.h"
#include "siblings/records/QvRecord.h"

#include "FolderCopy.h"
#include "GeneratedDocuments.h"
#include "PgBenchSupport.h"
#include "SameWork.h"

namespace {

using namespace qvpgbench;
using qv::Variant;

constexpr int kSmall = 50, kLarge = 5000;
constexpr double kOursSmall = 900001, kOursLarge = 900002, kRawSmall = 900011, kRawLarge = 900012;
constexpr double kPerson = 900005, kLegal = 900003;

using benchwork::Key;
using benchwork::Value;

constexpr const auto& kBase = benchwork::kLegalPersonBase;
constexpr const auto& kLazy = benchwork::kLegalPersonLazy;
constexpr size_t kB = std::size(kBase), kL = std::size(kLazy);

// Quoted column names joined, each followed by `suffix` ($n when asked).
std::string Columns(const char* const* names, size_t n, bool numbered = false, int first = 1) {
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    s += (i ? ", \"" : "\"") + std::string(names[i]) + '"';
    if (numbered) s += " = $" + std::to_string(first + static_cast<int>(i));
  }
  return s;
}

// ---- the raw side's calls

// Round trips the raw side made (each exchange and each pipeline one).
uint64_t rawRoundTrips = 0;

Result RawRun(PGconn* conn, const char* name, const std::vector<const char*>& p) {
  ++rawRoundTrips;
  return Check(
      PQexecPrepared(conn, name, static_cast<int>(p.size()), p.data(), nullptr, nullptr, 0), conn,
      name);
}

// A statement of a pipeline: a prepared statement's name and its text
// parameters, or (text) a statement without parameters.
struct Call {
  const char* name;
  std::vector<const char*> params = {};
  bool text = false;
};

// The calls in one pipeline (one round trip); their results in order. Any
// failure ends the program with the server's message.
std::vector<Result> Pipelined(PGconn* conn, const std::vector<Call>& calls) {
  ++rawRoundTrips;
  if (!PQenterPipelineMode(conn)) Fail("pipeline", conn);
  for (const Call& c : calls) {
    const int n = static_cast<int>(c.params.size());
    const bool sent =
        c.text ? PQsendQueryParams(conn, c.name, 0, nullptr, nullptr, nullptr, nullptr, 0)
               : PQsendQueryPrepared(conn, c.name, n, c.params.data(), nullptr, nullptr, 0);
    if (!sent) Fail(c.name, conn);
  }
  if (!PQpipelineSync(conn)) Fail("pipeline", conn);
  std::vector<Result> results;
  results.reserve(calls.size());
  for (const Call& c : calls) {
    results.push_back(Check(PQgetResult(conn), conn, c.name));
    while (PGresult* more = PQgetResult(conn)) PQclear(more);
  }
  Result sync(PQgetResult(conn));
  if (PQresultStatus(sync.get()) != PGRES_PIPELINE_SYNC || !PQexitPipelineMode(conn))
    Fail("pipeline", conn);
  return results;
}

// ---- the folders

class Folders {
 public:
  static Folders& Get() {
    static Folders f;
    return f;
  }
  ~Folders() {
    raw_.reset();
    if (admin_ && !kept_) {
      Result r(PQexec(admin_.get(), ("SELECT string_agg(quote_ident(nspname), ', ') FROM "
                                     "pg_namespace WHERE nspname LIKE '" +
                                     prefix_ + "%'")
                                        .c_str()));
      if (PQresultStatus(r.get()) == PGRES_TUPLES_OK && !PQgetisnull(r.get(), 0, 0))
        PQclear(
            PQexec(admin_.get(),
                   ("DROP SCHEMA " + std::string(PQgetvalue(r.get(), 0, 0)) + " CASCADE").c_str()));
    }
  }

  qvbench::GeneratedDocuments file{10000};
  double stream = 1, period = 0, document = 0;  // a stream's latest period and a document of it
  std::vector<std::string> documentKeys;        // that document's cell keys
  std::vector<std::string> blanksSql;           // owner, category, branch, list (translated)

  PGconn* Raw() const { return raw_.get(); }
  const std::string& Location() const { return location_; }
  const std::string& LockKey() const { return lockKey_; }

  void PointFile() { file.PointSessionHere(); }
  void PointServer() {
    file.PointSessionHere();  // the registry file and its variable
    qv::os::RegistryStore(std::getenv("QV_REGISTRY"))
        .SetValue(qv::os::RegistryRoot::kLocalMachine, "SOFTWARE\\Kestrane\\Quivane\\General",
                  "DataBasePath", qv::os::RegistryValue::String(location_));
    qv::miDataBase::ResetSessionForThread();
  }

 private:
  Folders() {
    const std::string& conninfo = Server::Get().Conninfo();
    // QV_BENCH_KEEP_FOLDER=1: the server folder stays for the next run
    // (copying the generated folder takes minutes), and is reused when there.
    const char* keep = std::getenv("QV_BENCH_KEEP_FOLDER");
    kept_ = keep && std::string(keep) == "1";
    prefix_ = kept_ ? std::string("qv_pgfolder_kept") : "qv_pgfolder_" + std::to_string(getpid());
    admin_.reset(PQconnectdb(conninfo.c_str()));
    if (PQstatus(admin_.get()) != CONNECTION_OK) Fail("connect", admin_.get());
    Exec(admin_.get(), "SET client_min_messages TO warning");
    location_ = conninfo + " options='-c search_path=" + prefix_ + "," + prefix_ + "_fn'";
    FindDocument();
    Result there(
        PQexec(admin_.get(),
               ("SELECT 1 FROM pg_namespace WHERE nspname = '" + prefix_ + "_done'").c_str()));
    if (!kept_ || PQntuples(there.get()) == 0) {
      std::ostringstream quiet;
      qvdb::CopyOptions options;
#ifdef QV_JET_TEST_SQL
      options.functionsScript = QV_JET_TEST_SQL;
#endif
      qvdb::CopyDataFolder(file.Path().string(), location_, quiet, options);
      PointServer();
      AddPairData();
      if (kept_) Exec(admin_.get(), "CREATE SCHEMA " + prefix_ + "_done");
    }
    PointServer();
    TranslateBlanks();
    raw_.reset(PQconnectdb(location_.c_str()));
    if (PQstatus(raw_.get()) != CONNECTION_OK) Fail("connect", raw_.get());
    lockKey_ = std::to_string(qv::jet::AdvisoryLockKey("bench", prefix_, "raw"));
    PrepareRaw();
  }

  // As the file pairs pick theirs: the stream's latest period with
  // documents, its first document there, and that document's cells.
  void FindDocument() {
    file.OpenRaw();
    sqlite3_stmt* s = file.MustPrepare(
        "SELECT max(time_id) FROM doc_registry WHERE taxpayer_id = 1 AND time_id > 1000");
    if (sqlite3_step(s) == SQLITE_ROW) period = sqlite3_column_double(s, 0);
    sqlite3_finalize(s);
    s = file.MustPrepare(
        "SELECT min(document_id) FROM doc_registry WHERE taxpayer_id = 1 AND time_id = ?");
    sqlite3_bind_double(s, 1, period);
    if (sqlite3_step(s) == SQLITE_ROW) document = sqlite3_column_double(s, 0);
    sqlite3_finalize(s);
    s = file.MustPrepare("SELECT cell_key FROM doc_cell_values WHERE document_id = ?");
    sqlite3_bind_double(s, 1, document);
    while (sqlite3_step(s) == SQLITE_ROW)
      documentKeys.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
    sqlite3_finalize(s);
    if (documentKeys.empty()) {
      std::cerr << "the generated folder has no document with cells for stream 1\n";
      std::exit(1);
    }
  }

  // The pairs' documents and legal person, through the library on the server.
  void AddPairData() {
    auto db = qv::miDataBase::GetUserDataBase();
    auto& engine = db->ServerEngine();
    engine.BeginTrans();
    for (double doc : {kOursSmall, kOursLarge, kRawSmall, kRawLarge}) {
      db->ExecuteSql(
          "INSERT INTO doc_registry (document_id, template_id, time_id, taxpayer_id, Notes, "
          "Status_Qv, Currency_ID, Less) VALUES (" +
          std::to_string(static_cast<int>(doc)) + ", 11, 2517, 1, 'Документ', 1, 157, 0)");
      auto cell = engine.Prepare(
          "INSERT INTO doc_cell_values (document_id, cell_key, first_value, first_type) VALUES "
          "(0.5, '', '', 129)");
      const int count = doc == kOursSmall || doc == kRawSmall ? kSmall : kLarge;
      for (int k = 0; k < count; ++k) {
        cell->Bind(1, Variant(doc));
        cell->Bind(2, Variant(Key(k)));
        cell->Bind(3, Variant(Value(k, 0)));
        cell->Run();
      }
    }
    db->ExecuteSql("insert into Person (ID, Type, PersonRealID) values (900005, 2, 900003)");
    db->ExecuteSql("insert into LegalPerson (ID) values (900003)");
    for (const char* c : kBase)
      db->ExecuteSql(std::string("update LegalPerson set ") + c + " = 1 where ID = 900003");
    for (const char* c : kLazy)
      db->ExecuteSql(std::string("update LegalPerson set ") + c + " = 2 where ID = 900003");
    db->ExecuteSql(
        "update LegalPerson set KPP = '770101001', FullName = 'Организация полностью' where ID = "
        "900003");
    db->ExecuteSql(
        "insert into Branches (ID, ParentPersonID, ChildPersonID) values (900001, 4, 900005)");
    db->ExecuteSql("insert into AccPerson (PersonID) values (900005)");
    engine.CommitTrans();
  }

  // What GetBlanksByPeriod runs, translated by the server's engine.
  void TranslateBlanks() {
    auto& engine = qv::miDataBase::GetUserDataBase()->ServerEngine();
    for (const std::string& jet : benchwork::BlanksByPeriodJet(stream, period))
      blanksSql.push_back(engine.Translate(jet)->sql);
  }

  void Prepare(const std::string& name, const std::string& sql) {
    Check(PQprepare(raw_.get(), name.c_str(), sql.c_str(), 0, nullptr), raw_.get(), sql);
  }

  void PrepareRaw() {
    Prepare("doc", "SELECT * FROM \"doc_registry\" WHERE \"document_id\" = $1");
    Prepare("doc_exists", "SELECT 1 FROM \"doc_registry\" WHERE \"document_id\" = $1");
    Prepare("cells",
            "SELECT \"cell_key\", \"first_value\", \"first_type\" FROM \"doc_cell_values\" "
            "WHERE \"document_id\" = $1");
    Prepare("cell_update",
            "UPDATE \"doc_cell_values\" SET \"first_value\" = $1, \"first_type\" = 129 WHERE "
            "\"document_id\" = $2 AND \"cell_key\" = $3");
    Prepare("cell_insert",
            "INSERT INTO \"doc_cell_values\" (\"document_id\", \"cell_key\", \"first_value\", "
            "\"first_type\") VALUES ($2, $3, $1, 129)");
    Prepare("write_lock", "SELECT pg_advisory_xact_lock(" + lockKey_ + ")");
    Prepare("header", "SELECT \"Type\", \"PersonRealID\" FROM \"Person\" WHERE \"ID\" = $1");
    Prepare("base", "SELECT " + Columns(kBase, kB) + " FROM \"LegalPerson\" WHERE \"ID\" = $1");
    Prepare("lazy", "SELECT " + Columns(kLazy, kL) + " FROM \"LegalPerson\" WHERE \"ID\" = $1");
    Prepare("branch", "SELECT 1 FROM \"Branches\" WHERE \"ChildPersonID\" = $1");
    Prepare("acc", "SELECT 1 FROM \"AccPerson\" WHERE \"PersonID\" = $1");
    Prepare("seek_header", "SELECT 1 FROM \"Person\" WHERE \"ID\" = $1");
    Prepare("seek_detail", "SELECT 1 FROM \"LegalPerson\" WHERE \"ID\" = $1");
    Prepare("write_detail", "UPDATE \"LegalPerson\" SET " + Columns(kBase, kB, true, 1) + ", " +
                                Columns(kLazy, kL, true, static_cast<int>(kB) + 1) +
                                " WHERE \"ID\" = $" + std::to_string(kB + kL + 1));
    Prepare("write_header",
            "UPDATE \"Person\" SET \"Type\" = $1, \"PersonRealID\" = $2 WHERE \"ID\" = $3");
    Prepare("log",
            "INSERT INTO \"VarData\" (\"ID\", \"EventTime\", \"UserID\", \"UserName\", "
            "\"HostInfo\", \"EventType\", \"EventName\", \"ObjectID1\", \"ObjectName1\", "
            "\"ObjectID2\", \"ObjectName2\", \"ObjectID3\", \"ObjectName3\", \"ObjectID4\", "
            "\"ObjectName4\") VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, "
            "$14, $15)");
    for (size_t i = 0; i < blanksSql.size(); ++i)
      Prepare("blanks" + std::to_string(i), blanksSql[i]);
  }

  std::string prefix_, location_, lockKey_;
  bool kept_ = false;
  Conn admin_, raw_;
};

Folders* Ready(benchmark::State& state) {
  if (!ServerOrSkip(state)) return nullptr;
  try {
    return &Folders::Get();
  } catch (const qv::Error& e) {
    std::cerr << "Error " << e.Number() << ": " << e.Description() << '\n';
    std::exit(1);
  }
}

// Ours: the body timed on the server folder, the library's round trips per
// call counted.
template <class Body>
void OursOnServer(benchmark::State& state, Body body) {
  Folders* f = Ready(state);
  if (!f) return;
  f->PointServer();
  body();  // the first call prepares what later ones reuse
  const uint64_t before = qv::jet::ServerRoundTrips();
  Timed(state, body);
  state.counters["round_trips"] =
      static_cast<double>(qv::jet::ServerRoundTrips() - before) / state.iterations();
}

template <class Body>
void RawOnServer(benchmark::State& state, Body body) {
  Folders* f = Ready(state);
  if (!f) return;
  const uint64_t before = rawRoundTrips;
  Timed(state, body);
  state.counters["round_trips"] = static_cast<double>(rawRoundTrips - before) / state.iterations();
}

[[noreturn]] void Wrong(const char* what) {
  std::cerr << what << '\n';
  std::exit(1);
}

// ---- a document's row

void ReadRecord_Ours(benchmark::State& state) {
  qv::records::DBDocument mapper;
  auto doc = qv::records::QvRecord::Create("Qv_Records.QvDocument");
  const Variant record(qv::ObjectPtr{doc});
  OursOnServer(state, [&] {
    mapper.ReadRecord(kOursSmall, record);
    if (doc->State() != qv::records::kLoaded) Wrong("the document was not read");
  });
}

void ReadRecord_Raw(benchmark::State& state) {
  RawOnServer(state, [&] {
    Result r = RawRun(Folders::Get().Raw(), "doc", {"900011"});
    if (PQntuples(r.get()) != 1) Wrong("no document row");
    std::vector<std::string> values;
    for (int i = 0; i < PQnfields(r.get()); ++i) values.emplace_back(PQgetvalue(r.get(), 0, i));
    benchmark::DoNotOptimize(values);
  });
}

// ---- a document's cells

void ReadCellsOurs(benchmark::State& state, double doc, int count) {
  qv::records::DBDocument mapper;
  OursOnServer(state, [&] {
    qv::CollectionPtr cells = mapper.ReadCells(doc);
    if (cells->Count() != count) Wrong("wrong number of cells");
    benchmark::DoNotOptimize(cells);
  });
}

struct RawCell {
  std::string key, value;
  int type;
};

void ReadCellsRaw(benchmark::State& state, double doc, int count) {
  const std::string id = std::to_string(static_cast<int>(doc));
  RawOnServer(state, [&] {
    Result r = RawRun(Folders::Get().Raw(), "cells", {id.c_str()});
    std::vector<RawCell> cells;
    std::unordered_map<std::string, size_t> byKey;
    const int n = PQntuples(r.get());
    cells.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
      std::string key = PQgetvalue(r.get(), i, 0);
      if (!byKey.try_emplace(key, cells.size()).second) continue;
      cells.push_back(
          {std::move(key), PQgetvalue(r.get(), i, 1), std::atoi(PQgetvalue(r.get(), i, 2))});
    }
    if (static_cast<int>(cells.size()) != count) Wrong("wrong number of cells");
    benchmark::DoNotOptimize(cells);
  });
}

// The cells of a document with the values of a round, as SaveCells takes them.
qv::ado::RecordsetPtr CellsRecordset(const std::vector<std::string>& keys, int round) {
  auto rs = std::make_shared<qv::ado::Recordset>();
  rs->AppendField("cell_key", qv::ado::adVarWChar, 12, qv::ado::adFldIsNullable);
  rs->AppendField("first_value", qv::ado::adVarWChar, 250, qv::ado::adFldIsNullable);
  rs->AppendField("first_type", qv::ado::adInteger, 4, qv::ado::adFldIsNullable);
  rs->Open();
  for (size_t k = 0; k < keys.size(); ++k)
    rs->AppendRow(
        {Variant(keys[k]), Variant(Value(static_cast<int>(k), round)), Variant(int32_t{129})});
  return rs;
}

std::vector<std::string> Keys(int count) {
  std::vector<std::string> keys;
  for (int k = 0; k < count; ++k) keys.push_back(Key(k));
  return keys;
}

void SaveCells50_Ours(benchmark::State& state) {
  const Variant rounds[2] = {Variant(qv::ObjectPtr(CellsRecordset(Keys(kSmall), 1))),
                             Variant(qv::ObjectPtr(CellsRecordset(Keys(kSmall), 2)))};
  qv::records::DBDocument mapper;
  int round = 0;
  OursOnServer(state, [&] { mapper.SaveCells(kOursSmall, rounds[round++ % 2]); });
  if (mapper.ReadCells(kOursSmall)->Count() != kSmall) Wrong("cells lost");
}

void SaveCells50_Raw(benchmark::State& state) {
  Folders* f = Ready(state);
  if (!f) return;
  PGconn* conn = f->Raw();
  const std::vector<std::string> keys = Keys(kSmall);
  std::vector<std::string> values[2];
  for (int k = 0; k < kSmall; ++k) {
    values[0].push_back(Value(k, 1));
    values[1].push_back(Value(k, 2));
  }
  const char* doc = "900011";
  int round = 0;
  RawOnServer(state, [&] {
    const std::vector<std::string>& v = values[round++ % 2];
    std::vector<Call> calls{{"BEGIN", {}, true}, {"write_lock"}, {"doc_exists", {doc}}};
    for (int k = 0; k < kSmall; ++k)
      calls.push_back({"cell_update", {v[k].c_str(), doc, keys[k].c_str()}});
    std::vector<Result> done = Pipelined(conn, calls);
    if (PQntuples(done[2].get()) != 1) Wrong("no document");
    std::vector<Call> inserts;
    for (int k = 0; k < kSmall; ++k)
      if (std::strcmp(PQcmdTuples(done[3 + k].get()), "0") == 0)
        inserts.push_back({"cell_insert", {v[k].c_str(), doc, keys[k].c_str()}});
    inserts.push_back({"COMMIT", {}, true});
    Pipelined(conn, inserts);
  });
}

void ReadCells50_Ours(benchmark::State& s) {
  ReadCellsOurs(s, kOursSmall, kSmall);
}
void ReadCells50_Raw(benchmark::State& s) {
  ReadCellsRaw(s, kRawSmall, kSmall);
}
void ReadCells5000_Ours(benchmark::State& s) {
  ReadCellsOurs(s, kOursLarge, kLarge);
}
void ReadCells5000_Raw(benchmark::State& s) {
  ReadCellsRaw(s, kRawLarge, kLarge);
}

// ---- a legal person read with its lazy part and saved

void LegalPersonReadSave_Ours(benchmark::State& state) {
  qv::records::DBPerson mapper;
  auto r = qv::records::QvRecord::Create("Qv_Records.QvPerson");
  const Variant rec{qv::ObjectPtr(r)};
  int i = 0;
  OursOnServer(state, [&] {
    mapper.ReadRecord(kPerson, rec);
    mapper.ReadLazyFields(rec);
    r->Let("Phone", Variant(std::to_string(i++)));
    mapper.SaveRecord(rec, false);
  });
  if (!qv::CBool(r->Get("IsBranch"))) Wrong("the person was not read");
}

void LegalPersonReadSave_Raw(benchmark::State& state) {
  Folders* f = Ready(state);
  if (!f) return;
  PGconn* conn = f->Raw();
  const char* person = "900005";
  int i = 0;
  RawOnServer(state, [&] {
    Result header = RawRun(conn, "header", {person});
    if (PQntuples(header.get()) != 1) Wrong("no person");
    const std::string real = PQgetvalue(header.get(), 0, 1);
    std::vector<Result> read = Pipelined(conn, {{"base", {real.c_str()}},
                                                {"lazy", {real.c_str()}},
                                                {"branch", {person}},
                                                {"acc", {person}}});
    if (PQntuples(read[0].get()) != 1 || PQntuples(read[2].get()) != 1 ||
        PQntuples(read[3].get()) != 1)
      Wrong("the person's rows are missing");
    // The detail row's values as read, the phone changed.
    std::vector<std::string> values;
    std::vector<bool> null;
    for (int part = 0; part < 2; ++part)
      for (int c = 0; c < PQnfields(read[part].get()); ++c) {
        values.emplace_back(PQgetvalue(read[part].get(), 0, c));
        null.push_back(PQgetisnull(read[part].get(), 0, c) != 0);
      }
    values[kB + 25] = std::to_string(i++);  // Phone
    null[kB + 25] = false;
    std::vector<const char*> detail;
    for (size_t c = 0; c < values.size(); ++c)
      detail.push_back(null[c] ? nullptr : values[c].c_str());
    detail.push_back(real.c_str());
    const std::string type = PQgetvalue(header.get(), 0, 0);
    Pipelined(conn, {{"BEGIN", {}, true},
                     {"write_lock"},
                     {"seek_header", {person}},
                     {"seek_detail", {real.c_str()}},
                     {"write_detail", detail},
                     {"write_header", {type.c_str(), real.c_str(), person}},
                     {"COMMIT", {}, true}});
  });
}

// ---- the forms of a stream for a period

void GetBlanksByPeriod_Ours(benchmark::State& state) {
  Folders* f = Ready(state);
  if (!f) return;
  qv::queries::BlankQueries q;
  OursOnServer(state, [&] {
    qv::ado::RecordsetPtr rs = q.GetBlanksByPeriod(f->stream, 0, f->period);
    if (rs->RowCount() == 0) Wrong("no blanks offered");
    benchmark::DoNotOptimize(rs);
  });
}

void GetBlanksByPeriod_Raw(benchmark::State& state) {
  Folders* f = Ready(state);
  if (!f) return;
  PGconn* conn = f->Raw();
  RawOnServer(state, [&] {
    std::vector<std::vector<double>> rows;
    auto take = [&](const PGresult* r) {
      for (int i = 0; i < PQntuples(r); ++i) {
        std::vector<double> row;
        for (int c = 0; c < PQnfields(r); ++c)
          row.push_back(std::strtod(PQgetvalue(r, i, c), nullptr));
        rows.push_back(std::move(row));
      }
    };
    for (const Result& r : Pipelined(conn, {{"blanks0"}, {"blanks1"}, {"blanks2"}})) take(r.get());
    take(RawRun(conn, "blanks3", {}).get());
    if (rows.size() < 2) Wrong("no blanks offered");
    benchmark::DoNotOptimize(rows);
  });
}

// ---- a log entry

void LogEvent_Ours(benchmark::State& state) {
  qv::journal::DBLogs logs;
  Variant ids(qv::VariantArray::Of({Variant(1.0)})), names(qv::VariantArray::Of({Variant("a")}));
  OursOnServer(state, [&] { logs.LogEvent(0, "bench", 1, "Событие", ids, names); });
}

// Days since 30 December 1899 with the day's fraction, of the local time
// now: the event's time as the log stores it.
double OleNow() {
  const std::time_t t = std::time(nullptr);
  std::tm l{};
  localtime_r(&t, &l);
  // Days from 1 March of year 0 (proleptic Gregorian), then moved to 1899-12-30.
  const int y = l.tm_year + 1900 - (l.tm_mon < 2 ? 1 : 0);
  const int m = l.tm_mon + 1 + (l.tm_mon < 2 ? 9 : -3);
  const long days = 365L * y + y / 4 - y / 100 + y / 400 + (153 * m + 2) / 5 + l.tm_mday - 1;
  constexpr long k18991230 = 693899;  // the same count for 30 December 1899
  return static_cast<double>(days - k18991230) +
         (l.tm_hour * 3600 + l.tm_min * 60 + l.tm_sec) / 86400.0;
}

void LogEvent_Raw(benchmark::State& state) {
  Folders* f = Ready(state);
  if (!f) return;
  PGconn* conn = f->Raw();
  // The row ours writes: a random GUID as the key (a counter's would fill the
  // key's index at its end only, cheaper for the server than ours) and the
  // time of the call.
  RawOnServer(state, [&] {
    unsigned char id[16];
    if (getrandom(id, sizeof id, 0) != static_cast<ssize_t>(sizeof id)) Fail("getrandom", conn);
    id[6] = static_cast<unsigned char>((id[6] & 0x0F) | 0x40);
    id[8] = static_cast<unsigned char>((id[8] & 0x3F) | 0x80);
    char guid[40];
    std::snprintf(guid, sizeof guid,
                  "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", id[0],
                  id[1], id[2], id[3], id[4], id[5], id[6], id[7], id[8], id[9], id[10], id[11],
                  id[12], id[13], id[14], id[15]);
    char when[32];
    *std::to_chars(when, when + sizeof when - 1, OleNow()).ptr = 0;
    Pipelined(conn, {{"BEGIN", {}, true},
                     {"write_lock"},
                     {"log",
                      {guid, when, "0", "", "bench", "1", "Событие", "1", "a", nullptr, "", nullptr,
                       "", nullptr, ""}},
                     {"COMMIT", {}, true}});
  });
}

// ---- the typical request, on disk and on the server

enum class Where { kFile, kServer };

template <class Body>
void Typical(benchmark::State& state, Where where, Body body) {
  Folders* f = Ready(state);
  if (!f) return;
  if (where == Where::kFile)
    f->PointFile();
  else
    f->PointServer();
  body(*f);
  const uint64_t before = qv::jet::ServerRoundTrips();
  Timed(state, [&] { body(*f); });
  state.counters["round_trips"] =
      static_cast<double>(qv::jet::ServerRoundTrips() - before) / state.iterations();
}

void TypicalBlanks(benchmark::State& state, Where where) {
  qv::queries::BlankQueries q;
  Typical(state, where, [&](Folders& f) {
    if (q.GetBlanksByPeriod(f.stream, 0, f.period)->RowCount() == 0) Wrong("no blanks offered");
  });
}

void TypicalReadDocument(benchmark::State& state, Where where) {
  qv::records::DBDocument mapper;
  auto doc = qv::records::QvRecord::Create("Qv_Records.QvDocument");
  const Variant record(qv::ObjectPtr{doc});
  Typical(state, where, [&](Folders& f) {
    mapper.ReadRecord(f.document, record);
    if (doc->State() != qv::records::kLoaded) Wrong("the document was not read");
  });
}

void TypicalReadCells(benchmark::State& state, Where where) {
  qv::records::DBDocument mapper;
  Typical(state, where, [&](Folders& f) {
    if (mapper.ReadCells(f.document)->Count() == 0) Wrong("no cells");
  });
}

void TypicalSaveCells(benchmark::State& state, Where where) {
  Folders* ready = Ready(state);
  if (!ready) return;
  const Variant rounds[2] = {Variant(qv::ObjectPtr(CellsRecordset(ready->documentKeys, 1))),
                             Variant(qv::ObjectPtr(CellsRecordset(ready->documentKeys, 2)))};
  qv::records::DBDocument mapper;
  int round = 0;
  Typical(state, where, [&](Folders& f) { mapper.SaveCells(f.document, rounds[round++ % 2]); });
}

void TypicalLogEvent(benchmark::State& state, Where where) {
  qv::journal::DBLogs logs;
  Variant ids(qv::VariantArray::Of({Variant(1.0)})), names(qv::VariantArray::Of({Variant("a")}));
  Typical(state, where, [&](Folders&) { logs.LogEvent(0, "bench", 1, "Событие", ids, names); });
}

void Typical_Blanks_File(benchmark::State& s) {
  TypicalBlanks(s, Where::kFile);
}
void Typical_Blanks_Server(benchmark::State& s) {
  TypicalBlanks(s, Where::kServer);
}
void Typical_ReadDocument_File(benchmark::State& s) {
  TypicalReadDocument(s, Where::kFile);
}
void Typical_ReadDocument_Server(benchmark::State& s) {
  TypicalReadDocument(s, Where::kServer);
}
void Typical_ReadCells_File(benchmark::State& s) {
  TypicalReadCells(s, Where::kFile);
}
void Typical_ReadCells_Server(benchmark::State& s) {
  TypicalReadCells(s, Where::kServer);
}
void Typical_SaveCells_File(benchmark::State& s) {
  TypicalSaveCells(s, Where::kFile);
}
void Typical_SaveCells_Server(benchmark::State& s) {
  TypicalSaveCells(s, Where::kServer);
}
void Typical_LogEvent_File(benchmark::State& s) {
  TypicalLogEvent(s, Where::kFile);
}
void Typical_LogEvent_Server(benchmark::State& s) {
  TypicalLogEvent(s, Where::kServer);
}

}  // namespace

#define QV_SERVER_BENCH(name) BENCHMARK(name)->UseManualTime()->Unit(benchmark::kMicrosecond)

QV_SERVER_BENCH(ReadRecord_Ours);
QV_SERVER_BENCH(ReadRecord_Raw);
QV_SERVER_BENCH(ReadCells50_Ours);
QV_SERVER_BENCH(ReadCells50_Raw);
QV_SERVER_BENCH(ReadCells5000_Ours);
QV_SERVER_BENCH(ReadCells5000_Raw);
QV_SERVER_BENCH(SaveCells50_Ours);
QV_SERVER_BENCH(SaveCells50_Raw);
QV_SERVER_BENCH(LegalPersonReadSave_Ours);
QV_SERVER_BENCH(LegalPersonReadSave_Raw);
QV_SERVER_BENCH(GetBlanksByPeriod_Ours);
QV_SERVER_BENCH(GetBlanksByPeriod_Raw);
QV_SERVER_BENCH(LogEvent_Ours);
QV_SERVER_BENCH(LogEvent_Raw);
QV_SERVER_BENCH(Typical_Blanks_File);
QV_SERVER_BENCH(Typical_Blanks_Server);
QV_SERVER_BENCH(Typical_ReadDocument_File);
QV_SERVER_BENCH(Typical_ReadDocument_Server);
QV_SERVER_BENCH(Typical_ReadCells_File);
QV_SERVER_BENCH(Typical_ReadCells_Server);
QV_SERVER_BENCH(Typical_SaveCells_File);
QV_SERVER_BENCH(Typical_SaveCells_Server);
QV_SERVER_BENCH(Typical_LogEvent_File);
QV_SERVER_BENCH(Typical_LogEvent_Server);
