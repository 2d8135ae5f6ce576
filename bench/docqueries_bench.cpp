// Document queries, files and blobs against plain SQLite doing the same work
// on the same file, in the same run (bench/ratios prints ours/raw):
//   NewAdjustment500   a new adjustment of the newest version of a document
//                      of 500 cells, its cells copied (ours:
//                      DocumentQueries.CreateNewAdjustment2 with the cells of
//                      the archive: records, the date service, numbers, the
//                      base's link, the copy, in one transaction; raw: the
//                      next identifier and number, the base's row, an
//                      INSERT, the base's UPDATE and one INSERT .. SELECT of
//                      the cells in BEGIN IMMEDIATE .. COMMIT)
//   DocsInPeriod100K   the documents of a stream in a period on the data
//                      folder of 100,000 documents made by `qvdb generate`
//                      (kept in the build folder's bench/data), as a
//                      disconnected recordset against the same statement
//                      stepped through into a vector
//   BlobSave1MB        1 MB of content saved compressed into an existing
//                      blob (DBDataBlob.SaveRecord; raw: zlib at level 7 and
//                      an UPDATE)
//   BlobRead1MB        a blob of 1 MB read back (a record's Content; raw: a
//                      SELECT and zlib); both blobs are written when the
//                      folder is made, so the pair runs on its own

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/miDataBase.h"
#include "platform/ado/Recordset.h"
#include "platform/dao/Database.h"
#include "queries/DocumentQueries.h"
#include "records/FileMappers.h"
#include "siblings/records/QvByteStream.h"
#include "siblings/records/QvRecord.h"

#include "GeneratedDocuments.h"

namespace {

using qv::Variant;

constexpr int kCells = 500;
constexpr size_t kBlobBytes = 1 << 20;
// Ours builds on document kOursBase in stream 200 and works on blob 1, raw
// on kRawBase in stream 201 and blob 2.
constexpr double kOursBase = 1, kRawBase = 2;
constexpr double kOursBlob = 1;

std::vector<uint8_t> BlobContent(int round) {
  std::vector<uint8_t> b(kBlobBytes);
  for (size_t i = 0; i < b.size(); ++i)
    b[i] = static_cast<uint8_t>((i / 13 + round) % 61 + (i % 5) * 40);
  return b;
}

// Ours: `content` saved into the blob record read from row kOursBlob.
void OursSaveBlob(qv::records::DBDataBlob& mapper, const qv::records::QvRecordPtr& blob,
                  std::vector<uint8_t> content) {
  auto stream = std::make_shared<qv::records::QvByteStream>();
  stream->SetData(std::move(content));
  blob->Let("Content", Variant(qv::ObjectPtr(stream)));
  mapper.SaveRecord(Variant(qv::ObjectPtr(blob)), false);
}

// Raw: `content` compressed as ours compresses it and written into blob 2.
void RawSaveBlob(const qvbench::DataFolder& f, sqlite3_stmt* update,
                 const std::vector<uint8_t>& content) {
  uLongf size = compressBound(static_cast<uLong>(content.size()));
  std::vector<uint8_t> packed(size);
  if (compress2(packed.data(), &size, content.data(), static_cast<uLong>(content.size()), 7) !=
      Z_OK)
    std::abort();
  f.Check(sqlite3_exec(f.raw, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr));
  sqlite3_bind_int64(update, 1, static_cast<sqlite3_int64>(size));
  sqlite3_bind_blob(update, 2, packed.data(), static_cast<int>(size), SQLITE_STATIC);
  f.Check(sqlite3_step(update));
  sqlite3_reset(update);
  f.Check(sqlite3_exec(f.raw, "COMMIT", nullptr, nullptr, nullptr));
}

constexpr const char* kRawBlobUpdate =
    "UPDATE CourBlobs SET ContentLength = ?, DesiredCompressionType = 1, "
    "ActualCompressionType = 1, Content = ? WHERE ID = 2";

// Two documents of 500 cells in streams of their own and two blobs of 1 MB.
struct Fixture : qvbench::DataFolder {
  Fixture() : DataFolder("qvdocqbench") {
    auto db = qv::miDataBase::GetUserDataBase();
    db->ExecuteSql(
        "insert into doc_type_class (doc_type_id, ID, KND, scale_index) values (10, "
        "10, '1151001', 1)");
    db->ExecuteSql(
        "insert into doc_templates (template_id, doc_type_id, enable, EditorType) "
        "values (101, 10, 1, 1)");
    db->ExecuteSql("insert into Person (ID, Type, PersonRealID) values (1, 2, 1)");
    db->ExecuteSql("insert into LegalPerson (ID, ShortName, LPCategory) values (1, 'Org', 1)");
    db->ExecuteSql("insert into CourBlobs (ID, ContentLength) values (1, 0)");
    db->ExecuteSql("insert into CourBlobs (ID, ContentLength) values (2, 0)");
    OpenRaw();
    qv::jet::RegisterJetFunctions(raw);
    Check(sqlite3_exec(raw, "BEGIN", nullptr, nullptr, nullptr));
    Check(sqlite3_exec(raw,
                       "INSERT INTO AccStream (ID, PersonID, AccStreamType) VALUES (200, 1, 1), "
                       "(201, 1, 1)",
                       nullptr, nullptr, nullptr));
    sqlite3_stmt* doc = Prepare(
        "INSERT INTO doc_registry (document_id, template_id, time_id, taxpayer_id, "
        "instance_number, doc_type, top_doc_id, bottom_next_id, status_qv, currency_id, "
        "reg_number, Less) VALUES (?1, 101, 2513, ?2, 0, 0, 0, 0, 1, 157, ?1, 1)");
    sqlite3_stmt* cell = Prepare(
        "INSERT INTO doc_cell_values (document_id, cell_key, first_value, first_type) VALUES "
        "(?, ?, ?, 129)");
    for (double base : {kOursBase, kRawBase}) {
      sqlite3_bind_double(doc, 1, base);
      sqlite3_bind_int(doc, 2, base == kOursBase ? 200 : 201);
      Check(sqlite3_step(doc));
      sqlite3_reset(doc);
      for (int k = 0; k < kCells; ++k) {
        char key[16];
        std::snprintf(key, sizeof key, "%02d00%03d000%02d", 1 + k / 100, k % 100, 1);
        const std::string value = std::to_string(k * 7919 % 100003);
        sqlite3_bind_double(cell, 1, base);
        sqlite3_bind_text(cell, 2, key, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(cell, 3, value.c_str(), -1, SQLITE_TRANSIENT);
        Check(sqlite3_step(cell));
        sqlite3_reset(cell);
      }
    }
    sqlite3_finalize(doc);
    sqlite3_finalize(cell);
    Check(sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr));

    qv::records::DBDataBlob mapper;
    auto blob = qv::records::QvRecord::Create("Qv_Records.QvDataBlob");
    mapper.ReadRecord(kOursBlob, Variant(qv::ObjectPtr(blob)));
    blob->Let("DesiredCompressionType", Variant(1));
    OursSaveBlob(mapper, blob, BlobContent(0));
    sqlite3_stmt* update = Prepare(kRawBlobUpdate);
    RawSaveBlob(*this, update, BlobContent(0));
    sqlite3_finalize(update);
  }
};

Fixture& Db() {
  static Fixture f;
  return f;
}

double RawNumber(sqlite3_stmt* s) {
  Db().Check(sqlite3_step(s));
  const double v = sqlite3_column_double(s, 0);
  sqlite3_reset(s);
  return v;
}

int RawCells(double doc) {
  sqlite3_stmt* s = Db().MustPrepare("SELECT count(*) FROM doc_cell_values WHERE document_id = ?");
  sqlite3_bind_double(s, 1, doc);
  const int n = static_cast<int>(RawNumber(s));
  sqlite3_finalize(s);
  return n;
}

// ---- a new adjustment with its cells

void NewAdjustment500_Ours(benchmark::State& state) {
  Db().PointSessionHere();
  Db().EmptyTheLog();
  qv::queries::DocumentQueries q;
  double base = kOursBase;
  for (auto _ : state) base = q.CreateNewAdjustment2(200, 2513, 101, true, base, 0, -1, 1, 0)->Id();
  if (RawCells(base) != kCells) state.SkipWithError("the cells were not copied");
}

void NewAdjustment500_Raw(benchmark::State& state) {
  Db();
  Db().EmptyTheLog();
  sqlite3* raw = Db().raw;
  sqlite3_stmt* nextId = Db().MustPrepare(
      "SELECT document_id + 1 FROM doc_registry ORDER BY document_id DESC LIMIT 1");
  sqlite3_stmt* nextReg = Db().MustPrepare("SELECT max(reg_number) + 1 FROM doc_registry");
  sqlite3_stmt* baseRow = Db().MustPrepare(
      "SELECT instance_number, doc_type, Less FROM doc_registry WHERE document_id = ?");
  sqlite3_stmt* insert = Db().MustPrepare(
      "INSERT INTO doc_registry (document_id, template_id, time_id, taxpayer_id, "
      "registry_date, instance_number, doc_type, top_doc_id, bottom_next_id, status_qv, status, "
      "currency_id, reg_number, Less, EditorType) VALUES (?, 101, 2513, 201, julianday('now') - "
      "2415018.5, ?, ?, 0, ?, 1, 1, 157, ?, ?, 1)");
  sqlite3_stmt* link =
      Db().MustPrepare("UPDATE doc_registry SET top_doc_id = ? WHERE document_id = ?");
  sqlite3_stmt* copy = Db().MustPrepare(
      "INSERT INTO doc_cell_values (document_id, cell_key, first_value, first_type) SELECT ?, "
      "cell_key, first_value, first_type FROM doc_cell_values WHERE document_id = ?");
  qvbench::RawTransaction tx(raw, true);
  double base = kRawBase;
  for (auto _ : state) {
    tx.Begin();
    const double id = RawNumber(nextId);
    const double reg = RawNumber(nextReg);
    sqlite3_bind_double(baseRow, 1, base);
    Db().Check(sqlite3_step(baseRow));
    const int instance = sqlite3_column_int(baseRow, 0);
    const int adjustment = sqlite3_column_int(baseRow, 1) + 1;
    const int scale = sqlite3_column_int(baseRow, 2);
    sqlite3_reset(baseRow);
    sqlite3_bind_double(insert, 1, id);
    sqlite3_bind_int(insert, 2, instance);
    sqlite3_bind_int(insert, 3, adjustment);
    sqlite3_bind_double(insert, 4, base);
    sqlite3_bind_double(insert, 5, reg);
    sqlite3_bind_int(insert, 6, scale);
    Db().Check(sqlite3_step(insert));
    sqlite3_reset(insert);
    sqlite3_bind_double(link, 1, id);
    sqlite3_bind_double(link, 2, base);
    Db().Check(sqlite3_step(link));
    sqlite3_reset(link);
    sqlite3_bind_double(copy, 1, id);
    sqlite3_bind_double(copy, 2, base);
    Db().Check(sqlite3_step(copy));
    sqlite3_reset(copy);
    tx.Commit();
    base = id;
  }
  for (sqlite3_stmt* s : {nextId, nextReg, baseRow, insert, link, copy}) sqlite3_finalize(s);
  if (RawCells(base) != kCells) state.SkipWithError("the cells were not copied");
}

// ---- a stream's documents in a period

// The generated folder of 100,000 documents, and the stream and period
// with the most documents in it.
struct Documents100K : qvbench::GeneratedDocuments {
  double stream = 0, period = 0;
  int64_t rows = 0;
  Documents100K() : GeneratedDocuments(100000) {
    OpenRaw();
    sqlite3_stmt* s = Prepare(
        "SELECT taxpayer_id, time_id, count(*) FROM doc_registry GROUP BY taxpayer_id, time_id "
        "ORDER BY 3 DESC, 1, 2 LIMIT 1");
    if (s && sqlite3_step(s) == SQLITE_ROW) {
      stream = sqlite3_column_double(s, 0);
      period = sqlite3_column_double(s, 1);
      rows = sqlite3_column_int64(s, 2);
    }
    sqlite3_finalize(s);
  }
};

Documents100K& Folder100K() {
  static Documents100K f;
  return f;
}

void DocsInPeriod100K_Ours(benchmark::State& state) {
  Documents100K& f = Folder100K();
  f.PointSessionHere();
  qv::queries::DocumentQueries q;
  int64_t rows = 0;
  for (auto _ : state) {
    qv::ado::RecordsetPtr rs = q.GetDocumentsInPeriodAndAccStream(f.stream, f.period);
    rows = static_cast<int64_t>(rs->RowCount());
    benchmark::DoNotOptimize(rs);
  }
  if (rows == 0 || rows != f.rows) state.SkipWithError("rows missing");
  state.counters["rows"] = static_cast<double>(rows);
}

void DocsInPeriod100K_Raw(benchmark::State& state) {
  Documents100K& f = Folder100K();
  sqlite3_stmt* s = f.Prepare(
      "SELECT document_id, status_qv, template_id, top_doc_id FROM doc_registry WHERE time_id = "
      "? AND taxpayer_id = ?");
  if (!s) {
    state.SkipWithError(sqlite3_errmsg(f.raw));
    return;
  }
  struct Row {
    double id, status, tmpl, top;
  };
  int64_t rows = 0;
  for (auto _ : state) {
    std::vector<Row> out;
    sqlite3_bind_double(s, 1, f.period);
    sqlite3_bind_double(s, 2, f.stream);
    while (sqlite3_step(s) == SQLITE_ROW)
      out.push_back({sqlite3_column_double(s, 0), sqlite3_column_double(s, 1),
                     sqlite3_column_double(s, 2), sqlite3_column_double(s, 3)});
    sqlite3_reset(s);
    rows = static_cast<int64_t>(out.size());
    benchmark::DoNotOptimize(out);
  }
  sqlite3_finalize(s);
  if (rows == 0 || rows != f.rows) state.SkipWithError("rows missing");
  state.counters["rows"] = static_cast<double>(rows);
}

// ---- a blob of 1 MB

void BlobSave1MB_Ours(benchmark::State& state) {
  Db().PointSessionHere();
  Db().EmptyTheLog();
  qv::records::DBDataBlob mapper;
  auto blob = qv::records::QvRecord::Create("Qv_Records.QvDataBlob");
  mapper.ReadRecord(kOursBlob, Variant(qv::ObjectPtr(blob)));
  int round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<uint8_t> content = BlobContent(++round);
    state.ResumeTiming();
    OursSaveBlob(mapper, blob, std::move(content));
  }
  const int32_t stored = CLng(blob->Get("ContentLength"));
  if (stored <= 0 || stored >= static_cast<int32_t>(kBlobBytes))
    state.SkipWithError("not stored compressed");
}

void BlobSave1MB_Raw(benchmark::State& state) {
  Db();
  Db().EmptyTheLog();
  sqlite3_stmt* update = Db().MustPrepare(kRawBlobUpdate);
  int round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const std::vector<uint8_t> content = BlobContent(++round);
    state.ResumeTiming();
    RawSaveBlob(Db(), update, content);
  }
  sqlite3_finalize(update);
}

void BlobRead1MB_Ours(benchmark::State& state) {
  Db().PointSessionHere();
  qv::records::DBDataBlob mapper;
  size_t bytes = 0;
  for (auto _ : state) {
    auto blob = qv::records::QvRecord::Create("Qv_Records.QvDataBlob");
    mapper.ReadRecord(kOursBlob, Variant(qv::ObjectPtr(blob)));
    auto stream =
        std::dynamic_pointer_cast<qv::records::QvByteStream>(blob->Get("Content").AsObject());
    bytes = stream->Data().size();
    benchmark::DoNotOptimize(stream);
  }
  if (bytes != kBlobBytes) state.SkipWithError("the blob was not read back");
}

void BlobRead1MB_Raw(benchmark::State& state) {
  sqlite3_stmt* select = Db().MustPrepare(
      "SELECT ContentLength, ActualCompressionType, Content FROM CourBlobs WHERE ID = 2");
  size_t bytes = 0;
  for (auto _ : state) {
    Db().Check(sqlite3_step(select));
    const auto* data = static_cast<const Bytef*>(sqlite3_column_blob(select, 2));
    const uLong stored = static_cast<uLong>(sqlite3_column_bytes(select, 2));
    std::vector<uint8_t> content(kBlobBytes);
    uLongf size = content.size();
    if (uncompress(content.data(), &size, data, stored) != Z_OK) state.SkipWithError("damaged");
    sqlite3_reset(select);
    bytes = size;
    benchmark::DoNotOptimize(content);
  }
  sqlite3_finalize(select);
  if (bytes != kBlobBytes) state.SkipWithError("the blob was not read back");
}

}  // namespace

BENCHMARK(NewAdjustment500_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(NewAdjustment500_Raw)->Unit(benchmark::kMicrosecond);
BENCHMARK(DocsInPeriod100K_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(DocsInPeriod100K_Raw)->Unit(benchmark::kMicrosecond);
BENCHMARK(BlobSave1MB_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BlobSave1MB_Raw)->Unit(benchmark::kMillisecond);
BENCHMARK(BlobRead1MB_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BlobRead1MB_Raw)->Unit(benchmark::kMillisecond);
