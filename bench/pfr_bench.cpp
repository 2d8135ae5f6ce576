// The pension-fund cells against plain SQLite doing the same work on the
// same table and index, in the same run (bench/ratios prints ours/raw):
//   CellSession:  random single cells of 100 000 (200 sub-documents of 500
//                 cells), three gets to one set, through the cell-storage
//                 session, against a prepared seek on index "SubDoc" and an
//                 update by rowid of the row it found (each set its own
//                 transaction on both sides, as the session writes);
//   SubDocSave:   a sub-document of 500 cells of which 10 changed saved by
//                 the mapper (its row, its owners checked, the cells compared
//                 with the stored rows, the 10 rows updated, in one
//                 transaction), against one transaction updating the row,
//                 reading its document and the document's taxpayer (the
//                 owners ours checks), reading the 500 stored cells by the
//                 index, finding each one's cell by identifier through a
//                 hash map made for the save (the cells may have changed
//                 since the last), comparing it in all its columns and
//                 updating the 10 that differ.

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/miDataBase.h"
#include "pfr/IntPfrCellValuesTable.h"
#include "pfr/PfrMappers.h"
#include "platform/dao/Database.h"
#include "siblings/records/QvRecord.h"

#include "BenchSupport.h"

namespace {

using qv::Variant;

constexpr int kSubDocs = 200;
constexpr int kKeys = 50;   // keys 1000.. of each sub-document
constexpr int kLines = 10;  // lines 0..9 of each key
constexpr int kCellsPerSubDoc = kKeys * kLines;
constexpr int kCells = kSubDocs * kCellsPerSubDoc;
constexpr int kChanged = 10;

struct Cell {
  double subDoc;
  int32_t key, line;
};

// The i-th cell of a fixed pseudo-random walk over all cells.
Cell CellAt(uint64_t i) {
  const auto n = static_cast<int>((i * 2654435761u) % kCells);
  return {1.0 + n / kCellsPerSubDoc, 1000 + (n % kCellsPerSubDoc) / kLines, n % kLines};
}

// A document of a stream and the sub-documents' cells, written by the raw
// connection in one transaction.
struct Fixture : qvbench::DataFolder {
  Fixture() : DataFolder("qvpfrbench") {
    auto db = qv::miDataBase::GetUserDataBase();
    db->ExecuteSql("insert into AccStream (ID, PersonID) values (50, 5)");
    db->ExecuteSql("insert into doc_registry (document_id, taxpayer_id) values (500, 50)");
    OpenRaw();
    // The table's rules (text sizes) call Jet functions on both sides.
    qv::jet::RegisterJetFunctions(raw);
    Check(sqlite3_exec(raw, "BEGIN", nullptr, nullptr, nullptr));
    sqlite3_stmt* sub =
        Prepare("INSERT INTO PfrSubDocs (ID, DocumentID, SubDocType) VALUES (?, 500, 1)");
    sqlite3_stmt* cell = Prepare(
        "INSERT INTO PfrCellValues (ID, SubDocID, Key, LineNum, TableNum, ValueType, Value) "
        "VALUES (?, ?, ?, ?, 0, 1, ?)");
    int id = 0;
    for (int s = 1; s <= kSubDocs; ++s) {
      sqlite3_bind_int(sub, 1, s);
      Check(sqlite3_step(sub));
      sqlite3_reset(sub);
      for (int k = 0; k < kKeys; ++k)
        for (int l = 0; l < kLines; ++l) {
          const std::string value = "value " + std::to_string(++id);
          sqlite3_bind_int(cell, 1, id);
          sqlite3_bind_int(cell, 2, s);
          sqlite3_bind_int(cell, 3, 1000 + k);
          sqlite3_bind_int(cell, 4, l);
          sqlite3_bind_text(cell, 5, value.c_str(), -1, SQLITE_TRANSIENT);
          Check(sqlite3_step(cell));
          sqlite3_reset(cell);
        }
    }
    sqlite3_finalize(sub);
    sqlite3_finalize(cell);
    Check(sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr));
  }
};

Fixture& Db() {
  static Fixture f;
  return f;
}

void CellSession_Ours(benchmark::State& state) {
  Db();
  auto session = qv::pfr::IntPfrCellValuesTable::OpenSession();
  Db().EmptyTheLog();
  uint64_t i = 0;
  size_t bytes = 0;
  for (auto _ : state) {
    const Cell c = CellAt(i);
    session->SetSubDocID(c.subDoc);
    if (i % 4 == 3)
      session->SetString(c.key, "set " + std::to_string(i), c.line, 0);
    else
      bytes += session->GetString(c.key, c.line, 0).size();
    ++i;
  }
  if (bytes == 0) state.SkipWithError("nothing read");
  benchmark::DoNotOptimize(bytes);
}

void CellSession_Raw(benchmark::State& state) {
  // A read asks for the value alone, as ours reads it; a write asks for
  // what it compares and the row to update.
  const char* kWhere =
      " FROM PfrCellValues WHERE SubDocID = ? AND Key = ? AND TableNum = ? AND LineNum = ?";
  sqlite3_stmt* read = Db().MustPrepare(std::string("SELECT Value") + kWhere);
  sqlite3_stmt* seek = Db().MustPrepare(std::string("SELECT ValueType, Value, rowid") + kWhere);
  sqlite3_stmt* update =
      Db().MustPrepare("UPDATE PfrCellValues SET ValueType = ?, Value = ? WHERE rowid = ?");
  Db().EmptyTheLog();
  uint64_t i = 0;
  size_t bytes = 0;
  for (auto _ : state) {
    const Cell c = CellAt(i);
    const bool write = i % 4 == 3;
    sqlite3_stmt* s = write ? seek : read;
    sqlite3_bind_double(s, 1, c.subDoc);
    sqlite3_bind_int(s, 2, c.key);
    sqlite3_bind_int(s, 3, 0);
    sqlite3_bind_int(s, 4, c.line);
    if (sqlite3_step(s) != SQLITE_ROW) state.SkipWithError("no cell");
    if (write) {
      const auto* stored = reinterpret_cast<const char*>(sqlite3_column_text(seek, 1));
      const std::string value = "set " + std::to_string(i);
      const sqlite3_int64 rowid = sqlite3_column_int64(seek, 2);
      const bool same = sqlite3_column_int(seek, 0) == 1 && stored && value == stored;
      sqlite3_reset(seek);
      if (!same) {
        sqlite3_bind_int(update, 1, 1);
        sqlite3_bind_text(update, 2, value.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(update, 3, rowid);
        Db().Check(sqlite3_step(update));
        sqlite3_reset(update);
      }
    } else {
      const auto* stored = reinterpret_cast<const char*>(sqlite3_column_text(read, 0));
      bytes += std::string(stored ? stored : "").size();
      sqlite3_reset(read);
    }
    ++i;
  }
  sqlite3_finalize(read);
  sqlite3_finalize(seek);
  sqlite3_finalize(update);
  if (bytes == 0) state.SkipWithError("nothing read");
  benchmark::DoNotOptimize(bytes);
}

// Rounds of saves, counted over every run of a benchmark so that each
// round's values differ from what the table holds.
int gRound = 0;

// The 10 cells of sub-document 1 that a save changes: every 50th.
bool IsChanged(int position) {
  return position % (kCellsPerSubDoc / kChanged) == 0;
}

void SubDocSave_Ours(benchmark::State& state) {
  Db();
  qv::pfr::DBPfrSubDoc mapper;
  auto rec = qv::records::QvRecord::Create("Qv_PfrRecords.QvPfrSubDoc");
  const Variant arg{qv::ObjectPtr(rec)};
  mapper.ReadRecord(1, arg);
  mapper.ReadCells(arg);
  auto cells = std::static_pointer_cast<qv::Collection>(rec->Get("Cells").AsObject());
  if (cells->Count() != kCellsPerSubDoc) state.SkipWithError("cells missing");
  Db().EmptyTheLog();
  for (auto _ : state) {
    const int round = ++gRound;
    for (int p = 0; p < kCellsPerSubDoc; ++p)
      if (IsChanged(p))
        cells->At(p + 1).AsObject()->Let("Value", Variant("saved " + std::to_string(round)));
    rec->Let("CellsModified", Variant(true));
    mapper.SaveRecord(arg, false, true);
  }
}

void SubDocSave_Raw(benchmark::State& state) {
  sqlite3* raw = Db().raw;
  sqlite3_stmt* row = Db().MustPrepare(
      "UPDATE PfrSubDocs SET PfrPersonID = ?, SubDocType = ?, Disabled = 0, EndDocumentID = 0, "
      "EndPersonNumber = 0, MaxErrorLevel = 0, ManualSheafID = 0 WHERE ID = ?");
  sqlite3_stmt* stored = Db().MustPrepare(
      "SELECT ID, Key, LineNum, TableNum, ValueType, Value FROM PfrCellValues WHERE SubDocID = ? "
      "ORDER BY SubDocID, Key, TableNum, LineNum");
  sqlite3_stmt* update = Db().MustPrepare(
      "UPDATE PfrCellValues SET Key = ?, LineNum = ?, TableNum = ?, ValueType = ?, Value = ? "
      "WHERE ID = ?");
  sqlite3_stmt* document = Db().MustPrepare("SELECT DocumentID FROM PfrSubDocs WHERE ID = ?");
  sqlite3_stmt* taxpayer =
      Db().MustPrepare("SELECT Taxpayer_ID FROM doc_registry WHERE document_id = ?");
  // The caller's cells as ours holds them: key, line and value by position.
  struct Mine {
    double id;
    int key, line;
    std::string value;
  };
  std::vector<Mine> mine;
  sqlite3_bind_int(stored, 1, 2);
  while (sqlite3_step(stored) == SQLITE_ROW)
    mine.push_back({sqlite3_column_double(stored, 0), sqlite3_column_int(stored, 1),
                    sqlite3_column_int(stored, 2),
                    reinterpret_cast<const char*>(sqlite3_column_text(stored, 5))});
  sqlite3_reset(stored);
  if (mine.size() != kCellsPerSubDoc) state.SkipWithError("cells missing");
  std::vector<size_t> differing;
  Db().EmptyTheLog();
  // BEGIN and COMMIT prepared once, as ours keeps its transaction statements.
  qvbench::RawTransaction tx(raw, true);
  for (auto _ : state) {
    const int round = ++gRound;
    for (int p = 0; p < kCellsPerSubDoc; ++p)
      if (IsChanged(p)) mine[p].value = "saved " + std::to_string(round);
    tx.Begin();
    sqlite3_bind_int(row, 1, 0);
    sqlite3_bind_int(row, 2, 1);
    sqlite3_bind_int(row, 3, 2);
    Db().Check(sqlite3_step(row));
    sqlite3_reset(row);
    sqlite3_bind_int(document, 1, 2);
    if (sqlite3_step(document) != SQLITE_ROW) state.SkipWithError("no sub-document");
    sqlite3_bind_double(taxpayer, 1, sqlite3_column_double(document, 0));
    sqlite3_reset(document);
    if (sqlite3_step(taxpayer) != SQLITE_ROW) state.SkipWithError("no document");
    sqlite3_reset(taxpayer);
    std::unordered_map<double, size_t> byId;
    byId.reserve(mine.size());
    for (size_t m = 0; m < mine.size(); ++m) byId.try_emplace(mine[m].id, m);
    sqlite3_bind_int(stored, 1, 2);
    size_t p = 0;
    differing.clear();
    // Every stored row is matched with its cell by identifier and compared
    // in all the columns the cell holds, as ours compares them.
    for (; sqlite3_step(stored) == SQLITE_ROW; ++p) {
      const auto found = byId.find(sqlite3_column_double(stored, 0));
      if (found == byId.end()) {
        state.SkipWithError("the stored rows are not the cells' rows");
        break;
      }
      const Mine& m = mine[found->second];
      const auto* v = reinterpret_cast<const char*>(sqlite3_column_text(stored, 5));
      if (sqlite3_column_int(stored, 1) != m.key || sqlite3_column_int(stored, 2) != m.line ||
          sqlite3_column_int(stored, 3) != 0 || sqlite3_column_int(stored, 4) != 1 ||
          std::strcmp(v ? v : "", m.value.c_str()) != 0)
        differing.push_back(found->second);
    }
    sqlite3_reset(stored);
    for (size_t d : differing) {
      sqlite3_bind_int(update, 1, mine[d].key);
      sqlite3_bind_int(update, 2, mine[d].line);
      sqlite3_bind_int(update, 3, 0);
      sqlite3_bind_int(update, 4, 1);
      sqlite3_bind_text(update, 5, mine[d].value.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_double(update, 6, mine[d].id);
      Db().Check(sqlite3_step(update));
      sqlite3_reset(update);
    }
    tx.Commit();
    if (p != kCellsPerSubDoc || differing.size() != kChanged) state.SkipWithError("not 10 of 500");
  }
  for (sqlite3_stmt* s : {row, stored, update, document, taxpayer}) sqlite3_finalize(s);
}

BENCHMARK(CellSession_Ours);
BENCHMARK(CellSession_Raw);
BENCHMARK(SubDocSave_Ours);
BENCHMARK(SubDocSave_Raw);

}  // namespace
