// The cell rows `qvdb generate` writes, through our stack against plain
// SQLite in the same run: one iteration is one document of 50 cells of
// doc_cell_values, committed every 1000 documents. Ours: a table-type DAO
// recordset (AddNew, four fields, Update) in a workspace transaction, on the
// table as the schema defines it (Jet collation, the rules as constraints).
// Raw: one prepared INSERT on a table of the same SQLite definition (the
// collation and the rules' checks, with our functions registered) and the
// same index, in BEGIN .. COMMIT, on a file with the same journal settings
// (WAL, synchronous NORMAL).

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/automation/Variant.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/Workspace.h"
#include "platform/jet/JetCatalog.h"
#include "platform/jet/JetConnection.h"
#include "platform/jet/JetFunctionImpl.h"
#include "platform/jet/JetTableSql.h"

namespace {

using qv::Variant;

constexpr int kCells = 50;
constexpr int64_t kDocumentsPerTransaction = 1000;

// As qvdb does: keep the top of the heap between statements (see its main).
[[maybe_unused]] const bool kHeapKept = [] {
  mallopt(M_TRIM_THRESHOLD, 128 << 20);
  mallopt(M_TOP_PAD, 16 << 20);
  return true;
}();

std::string Key(int k) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d00%03d000%02d", 2 + k / 120, 10 * (1 + (k / 4) % 30),
                3 + k % 4);
  return buf;
}

struct Folder {
  std::filesystem::path path;
  Folder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qvgenbenchXXXXXX").string();
    path = mkdtemp(pattern.data());
  }
  ~Folder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
};

std::vector<std::string> Keys() {
  std::vector<std::string> keys;
  for (int k = 0; k < kCells; ++k) keys.push_back(Key(k));
  return keys;
}

qv::jet::TableSpec CellTable() {
  qv::jet::TableSpec t;
  t.name = "doc_cell_values";
  t.fields = {{"document_id", qv::jet::JetType::kDouble, 0, true},
              {"cell_key", qv::jet::JetType::kText, 12, true},
              {"first_value", qv::jet::JetType::kText, 255},
              {"first_type", qv::jet::JetType::kInteger}};
  t.indexes.push_back({"Document_ID", qv::jet::IndexSpec::ParseFields("document_id;cell_key")});
  return t;
}

void CellRows_Ours(benchmark::State& state) {
  Folder folder;
  auto ws = qv::dao::DBEngine::ForThread()->CreateWorkspace("bench", "admin", "",
                                                            Variant(qv::dao::dbUseJet));
  auto db = ws->Create((folder.path / "Ours.mdb").string(), qv::jet::kLocaleRussian);
  db->Connection().Schema().CreateTable(CellTable());
  auto rs = db->OpenTable("doc_cell_values");
  const std::vector<std::string> keys = Keys();
  int64_t doc = 0;
  ws->BeginTrans();
  for (auto _ : state) {
    const Variant id(static_cast<double>(++doc));
    for (int k = 0; k < kCells; ++k) {
      rs->AddNew();
      rs->SetField(0, id);
      rs->SetField(1, Variant(keys[k]));
      rs->SetField(2, Variant(std::to_string(doc * 31 + k)));
      rs->SetField(3, Variant(int16_t{129}));
      rs->Update();
    }
    if (doc % kDocumentsPerTransaction == 0) {
      ws->CommitTrans(Variant());
      ws->BeginTrans();
    }
  }
  ws->CommitTrans(Variant());
  state.SetItemsProcessed(state.iterations() * kCells);
  rs->Close();
  ws->Close();
}

void CellRows_Raw(benchmark::State& state) {
  Folder folder;
  sqlite3* db = nullptr;
  sqlite3_open_v2((folder.path / "Raw.db").c_str(), &db,
                  SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  qv::jet::RegisterJetCollation(db);
  qv::jet::RegisterJetFunctions(db);
  qv::jet::TableSpec t = CellTable();
  t.indexes[0].sqliteName = "cells_doc";
  const std::string ddl = "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; " +
                          qv::jet::ddl::CreateTableSql(t) + "; " +
                          qv::jet::ddl::CreateIndexSql(t.name, t.indexes[0]);
  if (sqlite3_exec(db, ddl.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    state.SkipWithError(sqlite3_errmsg(db));
    sqlite3_close_v2(db);
    return;
  }
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO doc_cell_values VALUES (?, ?, ?, ?)", -1, &insert, nullptr);
  const std::vector<std::string> keys = Keys();
  int64_t doc = 0;
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  for (auto _ : state) {
    ++doc;
    for (int k = 0; k < kCells; ++k) {
      const std::string value = std::to_string(doc * 31 + k);
      sqlite3_bind_double(insert, 1, static_cast<double>(doc));
      sqlite3_bind_text(insert, 2, keys[k].c_str(), static_cast<int>(keys[k].size()),
                        SQLITE_TRANSIENT);
      sqlite3_bind_text(insert, 3, value.c_str(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
      sqlite3_bind_int(insert, 4, 129);
      if (sqlite3_step(insert) != SQLITE_DONE) state.SkipWithError(sqlite3_errmsg(db));
      sqlite3_reset(insert);
    }
    if (doc % kDocumentsPerTransaction == 0) {
      sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
      sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    }
  }
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  state.SetItemsProcessed(state.iterations() * kCells);
  sqlite3_finalize(insert);
  sqlite3_close_v2(db);
}

BENCHMARK(CellRows_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(CellRows_Raw)->Unit(benchmark::kMicrosecond);

}  // namespace
