// libFuzzer target: any input either translates or raises qv::Error, for
// each dialect (SQLite's, PostgreSQL's) and both ways a connection asks
// (the text as it stands; its literals as parameters, as the statement
// caches translate). Any other exception, a crash, a hang or a sanitizer
// report is a defect, and so is a SQLite statement SQLite cannot prepare
// over the same two tables with the Jet functions and collation registered:
// what the translator accepts must run.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/automation/Error.h"
#include "platform/automation/VbaText.h"
#include "platform/jet/JetError.h"
#include "platform/jet/JetFunctionImpl.h"
#include "platform/jet/JetTranslator.h"
#include "platform/jet/sql/JetLiterals.h"

namespace {

class FuzzSchema : public qv::jet::SchemaView {
 public:
  const std::vector<qv::jet::ColumnInfo>* TableColumns(std::string_view table) const override {
    using qv::jet::JetType;
    static const std::vector<qv::jet::ColumnInfo> t = {
        {"id", JetType::kLong},   {"name", JetType::kText, 50}, {"v", JetType::kDouble},
        {"d", JetType::kDate},    {"b", JetType::kBoolean},     {"c", JetType::kCurrency},
        {"memo", JetType::kMemo}, {"g", JetType::kGUID}};
    static const std::vector<qv::jet::ColumnInfo> u = {
        {"id", JetType::kLong}, {"tid", JetType::kLong}, {"name", JetType::kText, 30}};
    if (qv::NamesEqual(table, "t")) return &t;
    if (qv::NamesEqual(table, "u")) return &u;
    return nullptr;
  }
};

// An in-memory database with the schema's tables, as the catalogue makes
// them, for the translations to be prepared on.
sqlite3* Database() {
  static sqlite3* db = [] {
    sqlite3* d = nullptr;
    if (sqlite3_open(":memory:", &d) != SQLITE_OK) std::abort();
    qv::jet::RegisterJetFunctions(d);
    qv::jet::RegisterJetCollation(d);
    const char* tables =
        "CREATE TABLE t (id INTEGER, name TEXT, v REAL, d REAL, b INTEGER, c REAL, memo TEXT, "
        "g TEXT); CREATE TABLE u (id INTEGER, tid INTEGER, name TEXT)";
    if (sqlite3_exec(d, tables, nullptr, nullptr, nullptr) != SQLITE_OK) std::abort();
    return d;
  }();
  return db;
}

void MustPrepare(std::string_view jet, const qv::jet::Translation& t) {
  if (t.kind == qv::jet::StatementKind::kSchema || t.sql.empty()) return;
  sqlite3_stmt* st = nullptr;
  const int rc = sqlite3_prepare_v2(Database(), t.sql.c_str(), -1, &st, nullptr);
  sqlite3_finalize(st);
  if (rc == SQLITE_OK) return;
  const std::string_view message = sqlite3_errmsg(Database());
  // An expression nested deeper than SQLite's parser takes is refused as
  // Jet refuses it ("Query is too complex.").
  if (qv::jet::SqliteToJetError(rc, message, "").Number() == qv::jet::jeterr::kQueryTooComplex)
    return;
  std::fprintf(stderr, "Jet:    %.*s\nSQLite: %s\nerror:  %s\n", static_cast<int>(jet.size()),
               jet.data(), t.sql.c_str(), sqlite3_errmsg(Database()));
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const FuzzSchema schema;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  qv::jet::sql::LiteralScan scan;
  qv::jet::sql::ScanLiterals(text, scan);
  std::vector<size_t> positions;
  for (const qv::jet::sql::Literal& lit : scan.literals) positions.push_back(lit.pos);
  std::vector<qv::jet::LiteralUse> uses;
  for (const auto dialect : {qv::jet::SqlDialect::kSqlite, qv::jet::SqlDialect::kPostgres}) {
    const bool file = dialect == qv::jet::SqlDialect::kSqlite;
    try {
      const qv::jet::Translation t = qv::jet::TranslateJet(text, schema, dialect);
      if (file) MustPrepare(text, t);
    } catch (const qv::Error&) {
    }
    try {
      const qv::jet::Translation t =
          qv::jet::TranslateJetParameterized(text, schema, positions, uses, dialect);
      if (file) MustPrepare(text, t);
    } catch (const qv::Error&) {
    }
  }
  return 0;
}
