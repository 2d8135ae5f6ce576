// The busiest lookups of the pension-fund and 2-NDFL query classes against
// plain SQLite doing the same work on the same tables and indexes, in the
// same run (bench/ratios prints ours/raw), on a data folder with 10 000
// insured persons and 100 000 sub-documents (10 documents, one statement
// of each person in each):
//   PersonSubDoc:     DBQPfr.GetFirstSubDocIDOfPersonInDocument of a
//                     random person and document, against one prepared
//                     statement on the same columns (the least key, as
//                     ours answers: the first row the index gives is that
//                     one only where the rows were written in key order);
//   NdflCorrection:   DBQ2Ndfl.GetNdflSheetNumForCorrection of a random
//                     person in an adjustment (two versions; half the
//                     persons' latest statements are cancelling ones, so
//                     the older version is searched too), against the same
//                     walk with prepared statements in the same
//                     transactions: the chain to its end, the person's
//                     statements per version read in full, then their kind,
//                     number and correction cells by the index "SubDoc";
//   RsvPastSums:      DBQPfr.CalcRsvPastSumsForPerson of a random person in
//                     the nine months (the first quarter's report and the
//                     current one of two versions of the half year's,
//                     template 317, one rate-table line each), through one
//                     cell session kept across calls, against the same
//                     statements prepared: the current document per
//                     period, the person's section, its line count, rate
//                     code and fifteen amounts by the index "SubDoc".

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/miDataBase.h"
#include "pfr/DBQ2Ndfl.h"
#include "pfr/DBQPfr.h"
#include "platform/dao/Database.h"

#include "BenchSupport.h"

namespace {

constexpr int kPersons = 10000;
constexpr int kDocuments = 10;  // document 2 is the adjustment of document 1
// Contribution reports of template 317: 11 in the first quarter of 2024, 12
// and its adjustment 13 in the half year; sections in 11 and 13.
constexpr int kQuarterReport = 11, kHalfYearReport = 13;
constexpr int kNineMonths2024 = 2415;
constexpr int kRateLinesKey = 1024000, kRateCodeKey = 1024005;

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
    AddContributionReports(subId, cellId);
    Check(sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr), raw);
  }

  void AddContributionReports(int subId, int cellId) {
    Check(sqlite3_exec(raw,
                       "DELETE FROM doc_templates WHERE template_id = 317; "
                       "INSERT INTO doc_templates (template_id, doc_type_id) VALUES (317, 9317); "
                       "INSERT INTO doc_registry (document_id, taxpayer_id, template_id, time_id, "
                       "instance_number, doc_type, bottom_next_id, top_doc_id) VALUES "
                       "(11, 50, 317, 2413, 0, 0, 0, 0), (12, 50, 317, 2414, 0, 0, 0, 13), "
                       "(13, 50, 317, 2414, 0, 1, 12, 0)",
                       nullptr, nullptr, nullptr),
          raw);
    sqlite3_stmt* sub = Prepare(
        "INSERT INTO PfrSubDocs (ID, DocumentID, PfrPersonID, SubDocType) VALUES (?, ?, ?, 26)");
    sqlite3_stmt* cell = Prepare(
        "INSERT INTO PfrCellValues (ID, SubDocID, Key, LineNum, TableNum, ValueType, Value) "
        "VALUES (?, ?, ?, ?, ?, 1, ?)");
    const auto addCell = [&](int subDoc, int key, int line, const char* value) {
      sqlite3_bind_int(cell, 1, ++cellId);
      sqlite3_bind_int(cell, 2, subDoc);
      sqlite3_bind_int(cell, 3, key);
      sqlite3_bind_int(cell, 4, line);
      sqlite3_bind_int(cell, 5, line == 0 ? 0 : 1);
      sqlite3_bind_text(cell, 6, value, -1, SQLITE_STATIC);
      Check(sqlite3_step(cell), raw);
      sqlite3_reset(cell);
    };
    for (int p = 1; p <= kPersons; ++p)
      for (int d : {kQuarterReport, kHalfYearReport}) {
        sqlite3_bind_int(sub, 1, ++subId);
        sqlite3_bind_int(sub, 2, d);
        sqlite3_bind_int(sub, 3, p);
        Check(sqlite3_step(sub), raw);
        sqlite3_reset(sub);
        addCell(subId, kRateLinesKey, 0, "1");
        addCell(subId, kRateCodeKey, 1, "01");
        for (int i = 1; i <= 5; ++i)
          for (int m = 1; m <= 3; ++m) addCell(subId, kRateLinesKey + 10 * i + m, 1, "1.25");
      }
    for (sqlite3_stmt* s : {sub, cell}) sqlite3_finalize(s);
  }
};

Fixture& Db() {
  static Fixture f;
  return f;
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
  sqlite3_stmt* first = Db().MustPrepare(
      "SELECT min(ID) FROM PfrSubDocs WHERE PfrPersonID = ? AND DocumentID = ? AND SubDocType "
      "IN (66)");
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
  sqlite3_stmt* older =
      Db().MustPrepare("SELECT bottom_next_id FROM doc_registry WHERE document_id = ?");
  sqlite3_stmt* statements = Db().MustPrepare(
      "SELECT ID FROM PfrSubDocs WHERE PfrPersonID = ? AND DocumentID = ? AND SubDocType IN (66)");
  sqlite3_stmt* cell = Db().MustPrepare(
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
    // The chain is walked to its end first, and a version's statements are
    // read in full before their cells, in the transactions ours runs.
    int chain[101] = {2};
    int versions = 1;
    for (; versions < 101; ++versions) {
      sqlite3_bind_int(older, 1, chain[versions - 1]);
      chain[versions] = sqlite3_step(older) == SQLITE_ROW ? sqlite3_column_int(older, 0) : 0;
      sqlite3_reset(older);
      if (chain[versions] == 0) break;
    }
    sqlite3_int64 found = 0;
    for (int v = 0; v < versions && !found; ++v) {
      sqlite3_bind_int(statements, 1, person);
      sqlite3_bind_int(statements, 2, chain[v]);
      std::vector<sqlite3_int64> ids;
      while (sqlite3_step(statements) == SQLITE_ROW)
        ids.push_back(sqlite3_column_int64(statements, 0));
      sqlite3_reset(statements);
      for (sqlite3_int64 id : ids)
        if (!found && text(id, 820014) != "2") found = id;
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

// Each person's sums: 2 reports x 3 months x 1.25 per indicator.
constexpr double kPastSum = 7.5;

void RsvPastSums_Ours(benchmark::State& state) {
  Db();
  qv::pfr::DBQPfr q;
  qv::Variant session, none;
  uint64_t i = 0, right = 0;
  for (auto _ : state) {
    qv::Variant sums;
    q.CalcRsvPastSumsForPerson(50, kNineMonths2024, PersonAt(i++), "01", sums, "", none, session);
    right += qv::CDbl(sums.AsArray().items[1]) == kPastSum;
  }
  if (right != i) state.SkipWithError("a sum is wrong");
}

void RsvPastSums_Raw(benchmark::State& state) {
  sqlite3_stmt* actual = Db().MustPrepare(
      "SELECT reg.document_id FROM doc_registry AS reg WHERE reg.taxpayer_id = ? AND "
      "reg.time_id = ? AND reg.template_id IN (SELECT t2.template_id FROM doc_templates AS t1 "
      "INNER JOIN doc_templates AS t2 ON t1.doc_type_id = t2.doc_type_id WHERE t1.template_id = "
      "317) AND reg.instance_number = 0 AND reg.top_doc_id = 0 ORDER BY reg.doc_type DESC LIMIT 1");
  sqlite3_stmt* section = Db().MustPrepare(
      "SELECT ID FROM PfrSubDocs WHERE PfrPersonID = ? AND DocumentID = ? AND SubDocType IN (26) "
      "LIMIT 1");
  sqlite3_stmt* cell = Db().MustPrepare(
      "SELECT Value FROM PfrCellValues WHERE SubDocID = ? AND Key = ? AND TableNum = ? AND "
      "LineNum = ?");
  const auto text = [&](sqlite3_int64 subDoc, int key, int line) {
    sqlite3_bind_int64(cell, 1, subDoc);
    sqlite3_bind_int(cell, 2, key);
    sqlite3_bind_int(cell, 3, line == 0 ? 0 : 1);
    sqlite3_bind_int(cell, 4, line);
    std::string v;
    if (sqlite3_step(cell) == SQLITE_ROW && sqlite3_column_text(cell, 0))
      v = reinterpret_cast<const char*>(sqlite3_column_text(cell, 0));
    sqlite3_reset(cell);
    return v;
  };
  const int earlier[] = {2413, 2414};  // the nine months' earlier periods
  uint64_t i = 0, right = 0;
  for (auto _ : state) {
    const int person = PersonAt(i++);
    double sums[5] = {};
    for (int period : earlier) {
      sqlite3_bind_int(actual, 1, 50);
      sqlite3_bind_int(actual, 2, period);
      const sqlite3_int64 doc =
          sqlite3_step(actual) == SQLITE_ROW ? sqlite3_column_int64(actual, 0) : 0;
      sqlite3_reset(actual);
      if (doc == 0) continue;
      sqlite3_bind_int(section, 1, person);
      sqlite3_bind_int64(section, 2, doc);
      const sqlite3_int64 sub =
          sqlite3_step(section) == SQLITE_ROW ? sqlite3_column_int64(section, 0) : 0;
      sqlite3_reset(section);
      if (sub == 0) continue;
      const int lines = std::atoi(text(sub, kRateLinesKey, 0).c_str());
      for (int line = 1; line <= lines; ++line) {
        if (text(sub, kRateCodeKey, line) != "01") continue;
        for (int k = 0; k < 5; ++k) {
          double total = 0;
          for (int m = 1; m <= 3; ++m)
            total +=
                std::strtod(text(sub, kRateLinesKey + 10 * (k + 1) + m, line).c_str(), nullptr);
          sums[k] = std::round((sums[k] + total) * 100) / 100;
        }
      }
    }
    right += sums[0] == kPastSum;
  }
  for (sqlite3_stmt* s : {actual, section, cell}) sqlite3_finalize(s);
  if (right != i) state.SkipWithError("a sum is wrong");
}

BENCHMARK(PersonSubDoc_Ours);
BENCHMARK(PersonSubDoc_Raw);
BENCHMARK(NdflCorrection_Ours);
BENCHMARK(NdflCorrection_Raw);
BENCHMARK(RsvPastSums_Ours);
BENCHMARK(RsvPastSums_Raw);

}  // namespace
