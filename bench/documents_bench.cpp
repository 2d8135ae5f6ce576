// Documents and the lists of forms against plain SQLite doing the same work
// on the same files (bench/ratios prints ours/raw):
//   SaveCells50, SaveCells5000   a document's cells rewritten with new values
//     (ours: DBDocument.SaveCells from an ADO recordset under the database
//     lock; both check the document, then run one UPDATE of the key's first
//     row per cell, an INSERT where it changed nothing, in one transaction)
//   ReadCells50, ReadCells5000   the cells as objects (ours: cell records in
//     a keyed collection; raw: the rows into a vector with a hash map of
//     their keys, a key stored twice kept once)
//   ReadRecord                   DBDocument.ReadRecord of one document
//     against its row read column by column
//   GetBlanksByPeriod10K, 1M     the forms of a stream for a period on data
//     folders of 10,000 and 1,000,000 documents made by `qvdb generate` (kept
//     in the build folder's bench/data/generated-N and reused; raw runs the
//     same translated statements: the owner's category, then the list)
// and ours on the 1M folder against ours on the 10K one (<Case>Scaling_1M
// over _10K): the cost of a call must not grow with the number of documents
// (a stream has about 100 documents in both folders):
//   GetBlanksByPeriodScaling     the list of forms above
//   ReadRecordScaling            DBDocument.ReadRecord of a document of the stream
//   DocumentsInPeriodScaling     GetDocumentsInPeriodAndAccStream: the
//     stream's documents of the period
//   DocCountScaling              GetDocCountForSolverInPeriod: the count of
//     the stream's current documents of the period
// and raw SQLite running the same two statements (translated by our engine)
// on the 1M folder over the 10K one, the growth the engine itself shows (a
// deeper index, more pages to reach):
//   DocumentsInPeriodRawScaling, DocCountRawScaling

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "core/mQvDaoDataBase.h"
#include "core/miDataBase.h"
#include "platform/ado/AdoConstants.h"
#include "platform/ado/Recordset.h"
#include "platform/dao/Database.h"
#include "platform/jet/JetConnection.h"
#include "queries/BlankQueries.h"
#include "queries/BlankSql.h"
#include "queries/DocumentQueries.h"
#include "queries/mCommonLookups.h"
#include "records/DBDocument.h"
#include "siblings/records/QvRecord.h"

#include "GeneratedDocuments.h"
#include "SameWork.h"

namespace {

using qv::Variant;

// Ours works on documents 1 (50 cells) and 2 (5000 cells), raw on their
// copies 11 and 12.
constexpr int kSmall = 50, kLarge = 5000;

using benchwork::Key;
using benchwork::Value;

struct CellsFolder : qvbench::DataFolder {
  CellsFolder() : DataFolder("qvdocsbench") {
    qv::jet::Connection& conn = qv::miDataBase::GetUserDataBase()->Connection();
    conn.BeginTrans();
    for (int doc : {1, 2, 11, 12})
      conn.ExecuteNative(
          "INSERT INTO doc_registry (document_id, template_id, time_id, "
          "taxpayer_id, Notes, Status_Qv, Currency_ID, Less) VALUES (" +
          std::to_string(doc) + ", 11, 2517, 1, 'Документ', 1, 157, 0)");
    qv::jet::Statement cell = conn.PrepareNative(
        "INSERT INTO doc_cell_values (document_id, cell_key, first_value, first_type) VALUES "
        "(?, ?, ?, 129)");
    for (int doc : {1, 2, 11, 12})
      for (int k = 0; k < (doc % 10 == 1 ? kSmall : kLarge); ++k) {
        std::vector<Variant> row{Variant(double(doc)), Variant(Key(k)), Variant(Value(k, 0))};
        cell.BindAll(row);
        cell.Run();
        cell.Reset();
      }
    conn.CommitTrans();
    // Raw writes the same table, whose rules call functions of our engine.
    OpenRaw();
    qv::jet::RegisterJetFunctions(raw);
  }
};

CellsFolder& Cells() {
  static CellsFolder f;
  return f;
}

// The cells of a document with the values of a round, as SaveCells takes them.
qv::ado::RecordsetPtr CellsRecordset(int count, int round) {
  auto rs = std::make_shared<qv::ado::Recordset>();
  rs->AppendField("cell_key", qv::ado::adVarWChar, 12, qv::ado::adFldIsNullable);
  rs->AppendField("first_value", qv::ado::adVarWChar, 250, qv::ado::adFldIsNullable);
  rs->AppendField("first_type", qv::ado::adInteger, 4, qv::ado::adFldIsNullable);
  rs->Open();
  for (int k = 0; k < count; ++k)
    rs->AppendRow({Variant(Key(k)), Variant(Value(k, round)), Variant(int32_t{129})});
  return rs;
}

void SaveCellsOurs(benchmark::State& state, double doc, int count) {
  Cells().PointSessionHere();
  const Variant rounds[2] = {Variant(qv::ObjectPtr(CellsRecordset(count, 1))),
                             Variant(qv::ObjectPtr(CellsRecordset(count, 2)))};
  qv::records::DBDocument mapper;
  int round = 0;
  for (auto _ : state) mapper.SaveCells(doc, rounds[round++ % 2]);
  if (mapper.ReadCells(doc)->Count() != count) state.SkipWithError("cells lost");
  state.counters["cells"] = count;
}

void SaveCellsRaw(benchmark::State& state, double doc, int count) {
  sqlite3* raw = Cells().raw;
  // The document is checked first; a cell's value goes into the first row
  // of its key (a key stored twice keeps its second copy), as ours does.
  sqlite3_stmt* exists = Cells().Prepare("SELECT 1 FROM doc_registry WHERE document_id = ?");
  sqlite3_stmt* update = Cells().Prepare(
      "UPDATE doc_cell_values SET first_value = ?1, first_type = 129 WHERE rowid = (SELECT rowid "
      "FROM doc_cell_values WHERE document_id = ?2 AND cell_key = ?3 ORDER BY document_id, "
      "cell_key, rowid LIMIT 1)");
  sqlite3_stmt* insert = Cells().Prepare(
      "INSERT INTO doc_cell_values (document_id, cell_key, first_value, first_type) VALUES (?2, "
      "?3, "
      "?1, 129)");
  if (!exists || !update || !insert) {
    state.SkipWithError(sqlite3_errmsg(raw));
    return;
  }
  std::vector<std::string> keys, values[2];
  for (int k = 0; k < count; ++k) {
    keys.push_back(Key(k));
    values[0].push_back(Value(k, 1));
    values[1].push_back(Value(k, 2));
  }
  qvbench::RawTransaction tx(raw, true);
  int round = 0;
  for (auto _ : state) {
    const std::vector<std::string>& v = values[round++ % 2];
    tx.Begin();
    sqlite3_bind_double(exists, 1, doc);
    if (sqlite3_step(exists) != SQLITE_ROW) state.SkipWithError("no document");
    sqlite3_reset(exists);
    for (int k = 0; k < count; ++k) {
      sqlite3_bind_text(update, 1, v[k].c_str(), -1, SQLITE_STATIC);
      sqlite3_bind_double(update, 2, doc);
      sqlite3_bind_text(update, 3, keys[k].c_str(), -1, SQLITE_STATIC);
      sqlite3_step(update);
      sqlite3_reset(update);
      if (sqlite3_changes(raw) == 0) {
        sqlite3_bind_text(insert, 1, v[k].c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_double(insert, 2, doc);
        sqlite3_bind_text(insert, 3, keys[k].c_str(), -1, SQLITE_STATIC);
        sqlite3_step(insert);
        sqlite3_reset(insert);
      }
    }
    tx.Commit();
  }
  sqlite3_finalize(exists);
  sqlite3_finalize(update);
  sqlite3_finalize(insert);
  state.counters["cells"] = count;
}

void ReadCellsOurs(benchmark::State& state, double doc, int count) {
  Cells().PointSessionHere();
  qv::records::DBDocument mapper;
  for (auto _ : state) {
    qv::CollectionPtr cells = mapper.ReadCells(doc);
    if (cells->Count() != count) state.SkipWithError("wrong number of cells");
    benchmark::DoNotOptimize(cells);
  }
  state.counters["cells"] = count;
}

struct RawCell {
  std::string key, value;
  int type;
};

void ReadCellsRaw(benchmark::State& state, double doc, int count) {
  sqlite3_stmt* s = Cells().Prepare(
      "SELECT cell_key, first_value, first_type FROM doc_cell_values WHERE document_id = ?");
  if (!s) {
    state.SkipWithError(sqlite3_errmsg(Cells().raw));
    return;
  }
  for (auto _ : state) {
    // Keyed by the cell key, a key stored twice kept once, as ours (by the
    // key as stored: the keys here have no letters to fold).
    std::vector<RawCell> cells;
    std::unordered_map<std::string, size_t> byKey;
    sqlite3_bind_double(s, 1, doc);
    while (sqlite3_step(s) == SQLITE_ROW) {
      std::string key = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
      if (!byKey.try_emplace(key, cells.size()).second) continue;
      cells.push_back({std::move(key), reinterpret_cast<const char*>(sqlite3_column_text(s, 1)),
                       sqlite3_column_int(s, 2)});
    }
    sqlite3_reset(s);
    if (static_cast<int>(cells.size()) != count) state.SkipWithError("wrong number of cells");
    benchmark::DoNotOptimize(cells);
  }
  sqlite3_finalize(s);
  state.counters["cells"] = count;
}

void SaveCells50_Ours(benchmark::State& s) {
  SaveCellsOurs(s, 1, kSmall);
}
void SaveCells50_Raw(benchmark::State& s) {
  SaveCellsRaw(s, 11, kSmall);
}
void SaveCells5000_Ours(benchmark::State& s) {
  SaveCellsOurs(s, 2, kLarge);
}
void SaveCells5000_Raw(benchmark::State& s) {
  SaveCellsRaw(s, 12, kLarge);
}
void ReadCells50_Ours(benchmark::State& s) {
  ReadCellsOurs(s, 1, kSmall);
}
void ReadCells50_Raw(benchmark::State& s) {
  ReadCellsRaw(s, 11, kSmall);
}
void ReadCells5000_Ours(benchmark::State& s) {
  ReadCellsOurs(s, 2, kLarge);
}
void ReadCells5000_Raw(benchmark::State& s) {
  ReadCellsRaw(s, 12, kLarge);
}

void ReadRecord_Ours(benchmark::State& state) {
  Cells().PointSessionHere();
  qv::records::DBDocument mapper;
  auto doc = qv::records::QvRecord::Create("Qv_Records.QvDocument");
  const Variant record(qv::ObjectPtr{doc});
  for (auto _ : state) {
    mapper.ReadRecord(1, record);
    if (doc->State() != qv::records::kLoaded) state.SkipWithError("not read");
  }
}

// Each value read as the type SQLite holds it (no number formatted as a
// text), into cells kept across calls, as a program that reads a row per
// call would.
void ReadRecord_Raw(benchmark::State& state) {
  sqlite3_stmt* s = Cells().Prepare("SELECT * FROM doc_registry WHERE document_id = ?");
  if (!s) {
    state.SkipWithError(sqlite3_errmsg(Cells().raw));
    return;
  }
  struct Cell {
    int type = SQLITE_NULL;
    int64_t integer = 0;
    double real = 0;
    std::string text;
  };
  std::vector<Cell> values(static_cast<size_t>(sqlite3_column_count(s)));
  for (auto _ : state) {
    sqlite3_bind_int(s, 1, 1);
    if (sqlite3_step(s) != SQLITE_ROW) state.SkipWithError("no row");
    for (int i = 0; i < static_cast<int>(values.size()); ++i) {
      Cell& c = values[static_cast<size_t>(i)];
      c.type = sqlite3_column_type(s, i);
      if (c.type == SQLITE_INTEGER)
        c.integer = sqlite3_column_int64(s, i);
      else if (c.type == SQLITE_FLOAT)
        c.real = sqlite3_column_double(s, i);
      else if (c.type != SQLITE_NULL)
        c.text.assign(reinterpret_cast<const char*>(sqlite3_column_text(s, i)),
                      static_cast<size_t>(sqlite3_column_bytes(s, i)));
    }
    sqlite3_reset(s);
    benchmark::DoNotOptimize(values);
  }
  sqlite3_finalize(s);
}

// ---- generated data folders

constexpr int k10K = 10000, k1M = 1000000;

struct GeneratedFolder : qvbench::GeneratedDocuments {
  double stream = 1, period = 0, document = 0;
  std::vector<std::string> rawSql;  // owner, category, branch, list

  explicit GeneratedFolder(int documents) : GeneratedDocuments(documents) {
    OpenRaw();
    // The stream's latest period with documents, and its first document there.
    sqlite3_stmt* s =
        Prepare("SELECT max(time_id) FROM doc_registry WHERE taxpayer_id = 1 AND time_id > 1000");
    if (s && sqlite3_step(s) == SQLITE_ROW) period = sqlite3_column_double(s, 0);
    sqlite3_finalize(s);
    s = Prepare("SELECT min(document_id) FROM doc_registry WHERE taxpayer_id = 1 AND time_id = ?");
    if (s && sqlite3_bind_double(s, 1, period) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW)
      document = sqlite3_column_double(s, 0);
    sqlite3_finalize(s);
    // What ours runs, translated by its engine: the owner, its category and
    // branch mark, the list.
    PointSessionHere();
    qv::jet::Connection& conn = qv::miDataBase::GetUserDataBase()->Connection();
    for (const std::string& jet : benchwork::BlanksByPeriodJet(stream, period))
      rawSql.push_back(conn.Translate(jet)->sql);
  }
};

// Each folder is made (or opened) on its first use only.
GeneratedFolder& Folder(int documents) {
  if (documents == k10K) {
    static GeneratedFolder small(k10K);
    return small;
  }
  static GeneratedFolder large(k1M);
  return large;
}

void BlanksOurs(benchmark::State& state, int documents) {
  GeneratedFolder& f = Folder(documents);
  f.PointSessionHere();
  qv::queries::BlankQueries q;
  for (auto _ : state) {
    qv::ado::RecordsetPtr rs = q.GetBlanksByPeriod(f.stream, 0, f.period);
    if (rs->RowCount() == 0) state.SkipWithError("no blanks offered");
    benchmark::DoNotOptimize(rs);
  }
  state.counters["documents"] = documents;
}

void BlanksRaw(benchmark::State& state, int documents) {
  GeneratedFolder& f = Folder(documents);
  std::vector<sqlite3_stmt*> statements;
  for (const std::string& sql : f.rawSql) statements.push_back(f.Prepare(sql.c_str()));
  for (sqlite3_stmt* s : statements)
    if (!s) {
      state.SkipWithError(sqlite3_errmsg(f.raw));
      return;
    }
  for (auto _ : state) {
    std::vector<std::vector<double>> rows;
    for (sqlite3_stmt* s : statements) {
      while (sqlite3_step(s) == SQLITE_ROW) {
        std::vector<double> row;
        for (int i = 0; i < sqlite3_column_count(s); ++i)
          row.push_back(sqlite3_column_double(s, i));
        rows.push_back(std::move(row));
      }
      sqlite3_reset(s);
    }
    if (rows.size() < 2) state.SkipWithError("no blanks offered");
    benchmark::DoNotOptimize(rows);
  }
  for (sqlite3_stmt* s : statements) sqlite3_finalize(s);
  state.counters["documents"] = documents;
}

void ReadDocument(benchmark::State& state, int documents) {
  GeneratedFolder& f = Folder(documents);
  f.PointSessionHere();
  qv::records::DBDocument mapper;
  auto doc = qv::records::QvRecord::Create("Qv_Records.QvDocument");
  const Variant record(qv::ObjectPtr{doc});
  for (auto _ : state) {
    mapper.ReadRecord(f.document, record);
    if (doc->State() != qv::records::kLoaded) state.SkipWithError("not read");
  }
}

void DocumentsInPeriod(benchmark::State& state, int documents) {
  GeneratedFolder& f = Folder(documents);
  f.PointSessionHere();
  qv::queries::DocumentQueries q;
  for (auto _ : state) {
    qv::ado::RecordsetPtr rs = q.GetDocumentsInPeriodAndAccStream(f.stream, f.period);
    if (rs->RowCount() == 0) state.SkipWithError("no documents");
    benchmark::DoNotOptimize(rs);
  }
}

void DocCount(benchmark::State& state, int documents) {
  GeneratedFolder& f = Folder(documents);
  f.PointSessionHere();
  qv::queries::DocumentQueries q;
  for (auto _ : state) {
    const int32_t n = q.GetDocCountForSolverInPeriod(f.stream, static_cast<int32_t>(f.period));
    if (n == 0) state.SkipWithError("no documents counted");
    benchmark::DoNotOptimize(n);
  }
}

// Raw SQLite stepping `jet`, translated by our engine, prepared once: every
// value of every row read as a number, as BlanksRaw reads them.
void RawStatement(benchmark::State& state, int documents, const std::string& jet) {
  GeneratedFolder& f = Folder(documents);
  f.PointSessionHere();
  sqlite3_stmt* s =
      f.Prepare(qv::miDataBase::GetUserDataBase()->Connection().Translate(jet)->sql.c_str());
  if (!s) {
    state.SkipWithError(sqlite3_errmsg(f.raw));
    return;
  }
  const int columns = sqlite3_column_count(s);
  for (auto _ : state) {
    std::vector<double> values;
    while (sqlite3_step(s) == SQLITE_ROW)
      for (int i = 0; i < columns; ++i) values.push_back(sqlite3_column_double(s, i));
    sqlite3_reset(s);
    if (values.empty()) state.SkipWithError("no rows");
    benchmark::DoNotOptimize(values);
  }
  sqlite3_finalize(s);
}

// The texts DocumentQueries builds for the two calls above.
void DocumentsInPeriodRaw(benchmark::State& state, int documents) {
  const GeneratedFolder& f = Folder(documents);
  RawStatement(state, documents,
               "select document_id, status_qv, template_id, top_doc_id from doc_registry "
               "where time_id = " +
                   qv::mQvDaoDataBase::Number2DaoSql(f.period) +
                   " and taxpayer_id = " + qv::mQvDaoDataBase::Number2DaoSql(f.stream) + ";");
}
void DocCountRaw(benchmark::State& state, int documents) {
  const GeneratedFolder& f = Folder(documents);
  RawStatement(state, documents,
               "select count(*) AS a From Doc_Registry where Taxpayer_ID = " +
                   qv::mQvDaoDataBase::Number2DaoSql(f.stream) + " and Time_ID = " +
                   qv::mQvDaoDataBase::Number2DaoSql(f.period) + " and Top_Doc_ID = 0 ");
}

void GetBlanksByPeriod10K_Ours(benchmark::State& s) {
  BlanksOurs(s, k10K);
}
void GetBlanksByPeriod10K_Raw(benchmark::State& s) {
  BlanksRaw(s, k10K);
}
void GetBlanksByPeriod1M_Ours(benchmark::State& s) {
  BlanksOurs(s, k1M);
}
void GetBlanksByPeriod1M_Raw(benchmark::State& s) {
  BlanksRaw(s, k1M);
}
void GetBlanksByPeriodScaling_1M(benchmark::State& s) {
  BlanksOurs(s, k1M);
}
void GetBlanksByPeriodScaling_10K(benchmark::State& s) {
  BlanksOurs(s, k10K);
}
void ReadRecordScaling_1M(benchmark::State& s) {
  ReadDocument(s, k1M);
}
void ReadRecordScaling_10K(benchmark::State& s) {
  ReadDocument(s, k10K);
}
void DocumentsInPeriodScaling_1M(benchmark::State& s) {
  DocumentsInPeriod(s, k1M);
}
void DocumentsInPeriodScaling_10K(benchmark::State& s) {
  DocumentsInPeriod(s, k10K);
}
void DocCountScaling_1M(benchmark::State& s) {
  DocCount(s, k1M);
}
void DocCountScaling_10K(benchmark::State& s) {
  DocCount(s, k10K);
}
void DocumentsInPeriodRawScaling_1M(benchmark::State& s) {
  DocumentsInPeriodRaw(s, k1M);
}
void DocumentsInPeriodRawScaling_10K(benchmark::State& s) {
  DocumentsInPeriodRaw(s, k10K);
}
void DocCountRawScaling_1M(benchmark::State& s) {
  DocCountRaw(s, k1M);
}
void DocCountRawScaling_10K(benchmark::State& s) {
  DocCountRaw(s, k10K);
}

}  // namespace

BENCHMARK(SaveCells50_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(SaveCells50_Raw)->Unit(benchmark::kMicrosecond);
BENCHMARK(SaveCells5000_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(SaveCells5000_Raw)->Unit(benchmark::kMillisecond);
BENCHMARK(ReadCells50_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(ReadCells50_Raw)->Unit(benchmark::kMicrosecond);
BENCHMARK(ReadCells5000_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(ReadCells5000_Raw)->Unit(benchmark::kMillisecond);
BENCHMARK(ReadRecord_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(ReadRecord_Raw)->Unit(benchmark::kMicrosecond);
BENCHMARK(GetBlanksByPeriod10K_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(GetBlanksByPeriod10K_Raw)->Unit(benchmark::kMicrosecond);
BENCHMARK(GetBlanksByPeriod1M_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(GetBlanksByPeriod1M_Raw)->Unit(benchmark::kMicrosecond);
BENCHMARK(GetBlanksByPeriodScaling_1M)->Unit(benchmark::kMicrosecond);
BENCHMARK(GetBlanksByPeriodScaling_10K)->Unit(benchmark::kMicrosecond);
BENCHMARK(ReadRecordScaling_1M)->Unit(benchmark::kMicrosecond);
BENCHMARK(ReadRecordScaling_10K)->Unit(benchmark::kMicrosecond);
BENCHMARK(DocumentsInPeriodScaling_1M)->Unit(benchmark::kMicrosecond);
BENCHMARK(DocumentsInPeriodScaling_10K)->Unit(benchmark::kMicrosecond);
BENCHMARK(DocCountScaling_1M)->Unit(benchmark::kMicrosecond);
BENCHMARK(DocCountScaling_10K)->Unit(benchmark::kMicrosecond);
BENCHMARK(DocumentsInPeriodRawScaling_1M)->Unit(benchmark::kMicrosecond);
BENCHMARK(DocumentsInPeriodRawScaling_10K)->Unit(benchmark::kMicrosecond);
BENCHMARK(DocCountRawScaling_1M)->Unit(benchmark::kMicrosecond);
BENCHMARK(DocCountRawScaling_10K)->Unit(benchmark::kMicrosecond);
