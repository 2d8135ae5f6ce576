// The busiest lookups of the pension-fund and 2-NDFL query classes against
// plain SQLite doing the same work on the same tables and indexes, in the
// same run (bench/ratios prints ours/raw), on a data folder with 10 000
// insured persons and 100 000 sub-documents (10 documents, one statement
// of each person in each):
//   PersonSubDoc:     DBQPfr.GetFirstSubDocIDOfPersonInDocument of a
//                     random person and document, against one prepared
//                     statement on the same columns;
//   NdflCorrection:   DBQ2Ndfl.GetNdflSheetNumForCorrection of a random
//                     person in an adjustment (two versions; half the
//                     persons' latest statements are cancelling ones, so
//                     the older version is searched too), against the same
//                     walk with prepared statements: the chain, the person's
//                     statements per version, their kind, number and
//                     correction cells by the index "SubDoc".

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/miDataBase.h"
#include "pfr/DBQ2Ndfl.h"
#include "pfr/DBQPfr.h"
#include "platform/dao/Database.h"

#include "BenchSupport.h"

namespace {

constexpr int kPersons = 10000;
constexpr int kDocuments = 10;  // document 2 is the adjustment of document 1

int PersonAt(uint64_t i) {
  return 1 + static_cast<int>((i * 2654435761u) % kPersons);
}

using qvbench::Check;

struct Fixture : qvbench::DataFolder {
  Fixture() : DataFolder("qvpfrqbench") {
    auto db = qv::miDataBase::GetUserDataBase();
    db->ExecuteSql("insert into AccStream (ID, PersonID) values (50, 5)");
    OpenRaw();
    // The tables' rules (text sizes) call Jet functions on both sides.
    qv::jet::RegisterJetFunctions(raw);
    Check(sqlite3_exec(raw, "BEGIN", nullptr, nullptr, nullptr), raw);
    sqlite3_stmt* doc = Prepare(
        "INSERT INTO doc_registry (document_id, taxpayer_id, top_doc_id, bottom_next_id) VALUES "
        "(?, 50, ?, ?)");
    for (int d = 1; d <= kDocuments; ++d) {
      sqlite3_bind_int(doc, 1, d);
      sqlite3_bind_int(doc, 2, d == 1 ? 2 : 0);
      sqlite3_bind_int(doc, 3, d == 2 ? 1 : 0);
      Check(sqlite3_step(doc), raw);
      sqlite3_reset(doc);
    }
    sqlite3_stmt* person =
        Prepare("INSERT INTO PfrPersons (ID, Person_ID, Surname) VALUES (?, 5, ?)");
    sqlite3_stmt* sub = Prepare(
        "INSERT INTO PfrSubDocs (ID, DocumentID, PfrPersonID, SubDocType) VALUES (?, ?, ?, 66)");
    sqlite3_stmt* cell = Prepare(
        "INSERT INTO PfrCellValues (ID, SubDocID, Key, LineNum, TableNum, ValueType, Value) "
        "VALUES (?, ?, ?, 0, 0, 1, ?)");
    int subId = 0, cellId = 0;
    const auto addCell = [&](int subDoc, int key, const std::string& value) {
      sqlite3_bind_int(cell, 1, ++cellId);
      sqlite3_bind_int(cell, 2, subDoc);
      sqlite3_bind_int(cell, 3, key);
      sqlite3_bind_text(cell, 4, value.c_str(), -1, SQLITE_TRANSIENT);
      Check(sqlite3_step(cell), raw);
      sqlite3_reset(cell);
    };
    for (int p = 1; p <= kPersons; ++p) {
      const std::string surname = "Person " + std::to_string(p);
      sqlite3_bind_int(person, 1, p);
      sqlite3_bind_text(person, 2, surname.c_str(), -1, SQLITE_TRANSIENT);
      Check(sqlite3_step(person), raw);
      sqlite3_reset(person);
      for (int d = 1; d <= kDocuments; ++d) {
        sqlite3_bind_int(sub, 1, ++subId);
        sqlite3_bind_int(sub, 2, d);
        sqlite3_bind_int(sub, 3, p);
        Check(sqlite3_step(sub), raw);
        sqlite3_reset(sub);
        if (d > 2) continue;
        addCell(subId, 800013, std::to_string(p));
        addCell(subId, 820014, d == 1 ? "0" : p % 2 ? "1" : "2");
        if (d == 2) addCell(subId, 820015, "1");
      }
    }
    for (sqlite3_stmt* s : {doc, person, sub, cell}) sqlite3_finalize(s);
    Check(sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr), raw);
  }
};

Fixture& Db() {
  static Fixture f;
  return f;
}

sqlite3_stmt* RawPrepare(const char* sql) {
  sqlite3_stmt* s = Db().Prepare(sql);
  if (!s) {
    std::fprintf(stderr, "%s: %s\n", sql, sqlite3_errmsg(Db().raw));
    std::abort();
  }
  return s;
}

void PersonSubDoc_Ours(benchmark::State& state) {
  Db();
  qv::pfr::DBQPfr q;
  uint64_t i = 0;
  double found = 0;
  for (auto _ : state) {
    found += q.GetFirstSubDocIDOfPersonInDocument(1 + static_cast<double>(i % kDocuments),
                                                  PersonAt(i), "66") != 0;
    ++i;
  }
  if (found != static_cast<double>(i)) state.SkipWithError("a statement not found");
}

void PersonSubDoc_Raw(benchmark::State& state) {
  sqlite3_stmt* first = RawPrepare(
      "SELECT ID FROM PfrSubDocs WHERE PfrPersonID = ? AND DocumentID = ? AND SubDocType IN "
      "(66) LIMIT 1");
  uint64_t i = 0, found = 0;
  for (auto _ : state) {
    sqlite3_bind_int(first, 1, PersonAt(i));
    sqlite3_bind_int(first, 2, 1 + static_cast<int>(i % kDocuments));
    found += sqlite3_step(first) == SQLITE_ROW && sqlite3_column_double(first, 0) != 0;
    sqlite3_reset(first);
    ++i;
  }
  sqlite3_finalize(first);
  if (found != i) state.SkipWithError("a statement not found");
}

void NdflCorrection_Ours(benchmark::State& state) {
  Db();
  qv::pfr::DBQ2Ndfl q;
  uint64_t i = 0;
  int64_t sum = 0;
  for (auto _ : state) {
    int32_t sheet = 0, correction = 0;
    q.GetNdflSheetNumForCorrection(2, PersonAt(i++), 994, sheet, correction);
    sum += sheet + correction;
  }
  benchmark::DoNotOptimize(sum);
  if (sum == 0) state.SkipWithError("nothing found");
}

void NdflCorrection_Raw(benchmark::State& state) {
  sqlite3_stmt* older = RawPrepare("SELECT bottom_next_id FROM doc_registry WHERE document_id = ?");
  sqlite3_stmt* statements = RawPrepare(
      "SELECT ID FROM PfrSubDocs WHERE PfrPersonID = ? AND DocumentID = ? AND SubDocType IN (66)");
  sqlite3_stmt* cell = RawPrepare(
      "SELECT Value FROM PfrCellValues WHERE SubDocID = ? AND Key = ? AND TableNum = 0 AND "
      "LineNum = 0");
  const auto text = [&](sqlite3_int64 subDoc, int key) {
    sqlite3_bind_int64(cell, 1, subDoc);
    sqlite3_bind_int(cell, 2, key);
    std::string v;
    if (sqlite3_step(cell) == SQLITE_ROW && sqlite3_column_text(cell, 0))
      v = reinterpret_cast<const char*>(sqlite3_column_text(cell, 0));
    sqlite3_reset(cell);
    return v;
  };
  uint64_t i = 0;
  int64_t sum = 0;
  for (auto _ : state) {
    const int person = PersonAt(i++);
    sqlite3_int64 found = 0;
    for (int doc = 2, steps = 0; doc != 0 && !found && steps < 100; ++steps) {
      sqlite3_bind_int(statements, 1, person);
      sqlite3_bind_int(statements, 2, doc);
      while (!found && sqlite3_step(statements) == SQLITE_ROW) {
        const sqlite3_int64 id = sqlite3_column_int64(statements, 0);
        if (text(id, 820014) != "2") found = id;
      }
      sqlite3_reset(statements);
      sqlite3_bind_int(older, 1, doc);
      doc = sqlite3_step(older) == SQLITE_ROW ? sqlite3_column_int(older, 0) : 0;
      sqlite3_reset(older);
    }
    if (!found) continue;
    const std::string kind = text(found, 820014);
    const int sheet = std::atoi(text(found, 800013).c_str());
    const int correction = kind == "1" ? std::atoi(text(found, 820015).c_str()) + 1 : 1;
    sum += sheet + correction;
  }
  for (sqlite3_stmt* s : {older, statements, cell}) sqlite3_finalize(s);
  benchmark::DoNotOptimize(sum);
  if (sum == 0) state.SkipWithError("nothing found");
}

BENCHMARK(PersonSubDoc_Ours);
BENCHMARK(PersonSubDoc_Raw);
BENCHMARK(NdflCorrection_Ours);
BENCHMARK(NdflCorrection_Raw);

}  // namespace
