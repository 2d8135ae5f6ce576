// Document tables against plain SQLite doing the same work (bench/ratios
// prints ours/raw):
//   BigDocCells100K   a new big document filled with 1,000 sub-documents of
//     100 cells each (a third of them tabular rows, the rest static cells
//     two to a row) in one transaction, then its volume walked forward and
//     every cell read back one by one (ours: DBBigDocTable and the forward
//     iterator on a shard file made by the library; raw: a file of the same
//     tables and indexes, made by the statements the library's shard holds
//     (types, checks, collation), an UPDATE of the cell's row and an
//     INSERT when it changed nothing per cell, the walk an ORDER BY over
//     the volume's index and a point SELECT per cell)
//   KprCellWrites1000 1,000 cells of an open document written one by one,
//     each in a write transaction of its own (ours: DBKprDocTable.SetCell,
//     a seek and an add or edit; raw: BEGIN IMMEDIATE, UPDATE, an INSERT
//     when it changed nothing, COMMIT)

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/miDataBase.h"
#include "doctables/DBBigDocTable.h"
#include "doctables/DBBigDocs.h"
#include "doctables/DBKprDocTable.h"
#include "doctables/miBigDocument.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/Transaction.h"
#include "platform/dao/Workspace.h"
#include "platform/jet/JetConnection.h"

#include "BenchSupport.h"

namespace {

using qv::Variant;

constexpr int kSubDocs = 1000, kKeys = 100, kKprCells = 1000;

// The cell of key k: line k % 3 (line 1 is the static cell, line 2 a
// tabular row).
int LineOf(int k) {
  return k % 3;
}
std::string Value(int sub, int k) {
  return std::to_string(sub) + "." + std::to_string(k);
}

qvbench::DataFolder& Folder() {
  static qvbench::DataFolder f("qvdoctablesbench");
  return f;
}

void BigDocCells100K_Ours(benchmark::State& state) {
  Folder().PointSessionHere();
  // The session's workspace, where the library opens the shards.
  auto ws = qv::miDataBase::GetWorkspace();
  double doc = 0;
  int64_t wrong = 0;
  for (auto _ : state) {
    ++doc;
    // The document's storage is made as a new big document's is (its shard
    // 0 replaced), as the raw side makes its file: a repetition after the
    // first finds the documents of the one before deleted.
    qv::miBigDocument::ReplaceBigDocDataBase(doc, qv::miBigDocument::kDefaultShardSize);
    auto t = qv::doctables::DBBigDocs().GetBigDocTable(doc);
    const double volume = t->FindOrCreateVolume(1, 1);
    {
      qv::dao::Transaction tx(*ws);
      for (int s = 1; s <= kSubDocs; ++s) {
        const double sub = t->CreateSubDoc(1, 0, volume, s);
        for (int k = 0; k < kKeys; ++k) t->SetString(sub, k, Variant(Value(s, k)), LineOf(k), 0);
      }
      tx.Commit();
    }
    int s = 0;
    for (auto it = t->GetVolumeSubDocsList(volume); !it->IsEOF(); it->MoveNext()) {
      const double sub = it->GetDouble("ID", 0);
      ++s;
      for (int k = 0; k < kKeys; ++k)
        wrong += t->GetString(sub, k, LineOf(k), 0, "") != Value(s, k);
    }
    wrong += s != kSubDocs;
    state.PauseTiming();
    t->CloseDoc();
    qv::miBigDocument::DeleteBigDocDataBase(doc);
    state.ResumeTiming();
  }
  if (wrong) state.SkipWithError("cells read back wrong");
  state.counters["cells"] = kSubDocs * kKeys;
}

void Exec(sqlite3* db, const char* sql) {
  qvbench::Check(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), db);
}

void Step(sqlite3_stmt* st) {
  qvbench::Check(sqlite3_step(st), sqlite3_db_handle(st));
}

// The statements that make the tables and indexes of a shard 0 as the
// library makes them (types, checks, collation), read from one it made;
// its own catalogue tables (_jet_*) left out.
const std::string& ShardTablesSql() {
  static const std::string sql = [] {
    Folder().PointSessionHere();
    constexpr double kDoc = 999999;
    qv::miBigDocument::CreateBigDocDataBase(kDoc, 0);
    sqlite3* db = nullptr;
    sqlite3_open_v2(qv::miBigDocument::GetBigDocFileName(kDoc, 0).c_str(), &db,
                    SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = qvbench::MustPrepare(
        db,
        "SELECT sql FROM sqlite_master WHERE sql IS NOT NULL AND name NOT LIKE '\\_jet%' ESCAPE "
        "'\\' ORDER BY rowid");
    std::string text;
    while (sqlite3_step(st) == SQLITE_ROW)
      text += reinterpret_cast<const char*>(sqlite3_column_text(st, 0)) + std::string(";");
    sqlite3_finalize(st);
    sqlite3_close_v2(db);
    qv::miBigDocument::DeleteBigDocDataBase(kDoc);
    return text;
  }();
  return sql;
}

// A file with the tables and indexes of a shard 0.
sqlite3* RawShard(const std::string& file) {
  std::error_code ec;
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(file + suffix, ec);
  sqlite3* db = nullptr;
  sqlite3_open_v2(file.c_str(), &db,
                  SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  // The tables' checks (text sizes) and texts call the Jet functions and
  // collation on both sides.
  qv::jet::RegisterJetFunctions(db);
  qv::jet::RegisterJetCollation(db);
  Exec(db, "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;");
  Exec(db, ShardTablesSql().c_str());
  Exec(db, "INSERT INTO StorageInfo VALUES (1, 250000, 1, 0);");
  return db;
}

void BigDocCells100K_Raw(benchmark::State& state) {
  const std::string file = (Folder().Path() / "raw_shard.mdb").string();
  ShardTablesSql();
  int64_t wrong = 0;
  for (auto _ : state) {
    sqlite3* db = RawShard(file);
    sqlite3_stmt* volume =
        qvbench::MustPrepare(db, "INSERT INTO Volumes (ID, VolType, VolNum) VALUES (1, 1, 1)");
    sqlite3_stmt* lastSub = qvbench::MustPrepare(db, "SELECT max(ID) FROM SubDocs");
    sqlite3_stmt* addSub = qvbench::MustPrepare(
        db,
        "INSERT INTO SubDocs (ID, SubDocType, PfrPersonID, VolumeID, OrderNum) VALUES (?1, 1, 0, "
        "1, ?2)");
    // By LineOf: the static cells' Value0 and Value1, then the tabular cell.
    sqlite3_stmt* set[3] = {
        qvbench::MustPrepare(db,
                             "UPDATE StatCells SET Value0 = ?3 WHERE SubDocID = ?1 AND Key = ?2"),
        qvbench::MustPrepare(db,
                             "UPDATE StatCells SET Value1 = ?3 WHERE SubDocID = ?1 AND Key = ?2"),
        qvbench::MustPrepare(db,
                             "UPDATE DynCells SET Value = ?3 WHERE SubDocID = ?1 AND Key = ?2 AND "
                             "TableNum = 0 AND LineNum = ?4")};
    sqlite3_stmt* add[3] = {
        qvbench::MustPrepare(
            db, "INSERT INTO StatCells (SubDocID, Key, Value0, Value1) VALUES (?1, ?2, ?3, '')"),
        qvbench::MustPrepare(
            db, "INSERT INTO StatCells (SubDocID, Key, Value0, Value1) VALUES (?1, ?2, '', ?3)"),
        qvbench::MustPrepare(db,
                             "INSERT INTO DynCells (SubDocID, Key, TableNum, LineNum, Value) "
                             "VALUES (?1, ?2, 0, ?4, ?3)")};
    Exec(db, "BEGIN IMMEDIATE");
    Step(volume);
    for (int s = 1; s <= kSubDocs; ++s) {
      Step(lastSub);
      const int64_t sub = sqlite3_column_int64(lastSub, 0) + 1;
      sqlite3_reset(lastSub);
      sqlite3_bind_int64(addSub, 1, sub);
      sqlite3_bind_int(addSub, 2, s);
      Step(addSub);
      sqlite3_reset(addSub);
      for (int k = 0; k < kKeys; ++k) {
        const std::string v = Value(s, k);
        const int which = LineOf(k) == 2 ? 2 : k & 1;
        for (sqlite3_stmt* st : {set[which], add[which]}) {
          sqlite3_bind_int64(st, 1, sub);
          sqlite3_bind_int(st, 2, which == 2 ? k : k / 2 * 2);
          sqlite3_bind_text(st, 3, v.c_str(), -1, SQLITE_TRANSIENT);
          if (which == 2) sqlite3_bind_int(st, 4, 2);
          Step(st);
          sqlite3_reset(st);
          if (st == set[which] && sqlite3_changes(db) > 0) break;
        }
      }
    }
    Exec(db, "COMMIT");
    sqlite3_stmt* walk = qvbench::MustPrepare(
        db, "SELECT ID FROM SubDocs WHERE VolumeID = 1 ORDER BY VolumeID, OrderNum");
    sqlite3_stmt* getStat[2] = {
        qvbench::MustPrepare(db, "SELECT Value0 FROM StatCells WHERE SubDocID = ?1 AND Key = ?2"),
        qvbench::MustPrepare(db, "SELECT Value1 FROM StatCells WHERE SubDocID = ?1 AND Key = ?2")};
    sqlite3_stmt* getDyn = qvbench::MustPrepare(
        db,
        "SELECT Value FROM DynCells WHERE SubDocID = ?1 AND Key = ?2 AND TableNum = 0 AND "
        "LineNum = ?3");
    int s = 0;
    while (sqlite3_step(walk) == SQLITE_ROW) {
      const int64_t sub = sqlite3_column_int64(walk, 0);
      ++s;
      for (int k = 0; k < kKeys; ++k) {
        sqlite3_stmt* st = LineOf(k) == 2 ? getDyn : getStat[k & 1];
        sqlite3_bind_int64(st, 1, sub);
        sqlite3_bind_int(st, 2, LineOf(k) == 2 ? k : k / 2 * 2);
        if (st == getDyn) sqlite3_bind_int(st, 3, 2);
        const bool found = sqlite3_step(st) == SQLITE_ROW;
        wrong += !found || reinterpret_cast<const char*>(sqlite3_column_text(st, 0)) != Value(s, k);
        sqlite3_reset(st);
      }
    }
    wrong += s != kSubDocs;
    state.PauseTiming();
    for (sqlite3_stmt* st : {volume, lastSub, addSub, set[0], set[1], set[2], add[0], add[1],
                             add[2], walk, getStat[0], getStat[1], getDyn})
      sqlite3_finalize(st);
    sqlite3_close_v2(db);
    state.ResumeTiming();
  }
  if (wrong) state.SkipWithError("cells read back wrong");
  state.counters["cells"] = kSubDocs * kKeys;
}

// A KPR key of cell k: section 02, table 00, line 001, row offset k / 10,
// column k % 10 + 1.
std::string KprKey(int k) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0200001%03d%02d", k / 10, k % 10 + 1);
  return buf;
}

void KprCellWrites1000_Ours(benchmark::State& state) {
  Folder().PointSessionHere();
  if (Folder().raw) Folder().EmptyTheLog();
  qv::doctables::DBKprDocTable t;
  t.OpenDoc(1);
  int round = 0;
  for (auto _ : state) {
    ++round;
    for (int k = 0; k < kKprCells; ++k) {
      std::string value = std::to_string(k * 31 + round);
      t.SetCell(KprKey(k), value, 2);
    }
  }
  std::string value;
  int32_t type = 0;
  if (!t.GetCell(KprKey(kKprCells - 1), value, type) ||
      value != std::to_string((kKprCells - 1) * 31 + round))
    state.SkipWithError("the last cell was not written");
}

void KprCellWrites1000_Raw(benchmark::State& state) {
  qvbench::DataFolder& f = Folder();
  if (!f.raw) {
    qv::miDataBase::GetUserDataBase()->Connection().ExecuteNative(
        "CREATE TABLE IF NOT EXISTS raw_cells (document_id REAL NOT NULL, cell_key TEXT COLLATE "
        "JETRU NOT NULL, first_value TEXT COLLATE JETRU, first_type INTEGER);"
        "CREATE INDEX IF NOT EXISTS raw_cells_doc ON raw_cells (document_id, cell_key);");
    f.OpenRaw();
  }
  sqlite3* raw = f.raw;
  f.EmptyTheLog();
  sqlite3_stmt* update = f.MustPrepare(
      "UPDATE raw_cells SET first_value = ?1, first_type = 2 WHERE document_id = 2 AND cell_key = "
      "?2");
  sqlite3_stmt* insert = f.MustPrepare(
      "INSERT INTO raw_cells (document_id, cell_key, first_value, first_type) VALUES (2, ?2, ?1, "
      "2)");
  std::vector<std::string> keys;
  for (int k = 0; k < kKprCells; ++k) keys.push_back(KprKey(k));
  int round = 0;
  for (auto _ : state) {
    ++round;
    for (int k = 0; k < kKprCells; ++k) {
      const std::string value = std::to_string(k * 31 + round);
      Exec(raw, "BEGIN IMMEDIATE");
      for (sqlite3_stmt* st : {update, insert}) {
        sqlite3_bind_text(st, 1, value.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, keys[k].c_str(), -1, SQLITE_STATIC);
        Step(st);
        sqlite3_reset(st);
        if (st == update && sqlite3_changes(raw) > 0) break;
      }
      Exec(raw, "COMMIT");
    }
  }
  sqlite3_finalize(update);
  sqlite3_finalize(insert);
}

}  // namespace

BENCHMARK(BigDocCells100K_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BigDocCells100K_Raw)->Unit(benchmark::kMillisecond);
BENCHMARK(KprCellWrites1000_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(KprCellWrites1000_Raw)->Unit(benchmark::kMillisecond);
