// Runs a .test file of Jet SQL behaviour (tests/sql) on both engines and
// compares them: every Jet statement and query goes to SQLite through the
// connection, as qv_sql_runner runs it, and to the PostgreSQL server named by
// QV_TEST_PG through the PostgreSQL dialect of the same emitter, over libpq.
//
// The server gets the tables the SQLite file has, made by the dialect's
// definitions from the catalogue and filled with the same rows, whenever a
// native or schema statement changed them. A statement or query whose
// translation calls a Jet function the server does not provide yet is run on
// SQLite only and counted as skipped (with the functions it needs). The
// results of a query must be the same rows (texts as they are, numbers to 12
// significant digits, in order unless the record says rowsort). The
// dialect's own differences (Null first in ORDER BY, Null bounds of Between,
// conditions as -1/0) are written by the emitter.
//
// Without QV_TEST_PG the program says so and exits 77 (ctest: skipped).

#include <libpq-fe.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <set>

#include "platform/automation/Variant.h"
#include "platform/automation/VbaText.h"
#include "platform/jet/JetConnection.h"
#include "platform/jet/JetTranslator.h"
#include "platform/jet/sql/JetPostgres.h"
#include "sql/SqlScript.h"
#include "support/PgTestProcess.h"

namespace qv::pgtest {
namespace {

using jet::Connection;
using jet::JetType;
using sqltest::Record;

// The translator's view of the SQLite file's catalogue, with the tables'
// names as stored (PostgreSQL's quoted names are case-sensitive).
class StoredNames : public jet::SchemaView {
 public:
  explicit StoredNames(jet::Catalog& catalog) : catalog_(catalog) {}
  const std::vector<jet::ColumnInfo>* TableColumns(std::string_view table) const override {
    return catalog_.TableColumns(table);
  }
  std::string StoredTableName(std::string_view table) const override {
    const auto spec = catalog_.FindTable(table);
    return spec ? spec->name : std::string();
  }

 private:
  jet::Catalog& catalog_;
};

struct PgResultFree {
  void operator()(PGresult* r) const { PQclear(r); }
};
using PgResult = std::unique_ptr<PGresult, PgResultFree>;

std::string Quoted(std::string_view name) {
  std::string out = "\"";
  for (const char c : name) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

bool IsNumberType(JetType t) {
  return !jet::IsTextType(t) && t != JetType::kNone && t != JetType::kBinary &&
         t != JetType::kVarBinary && t != JetType::kLongBinary;
}

std::string Number(double d) {
  if (d == 0) d = 0;  // -0 as 0
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.12g", d);
  return buf;
}

// A value read from SQLite as the comparison writes it.
std::string FromSqlite(const Variant& v, JetType type) {
  if (v.IsNull() || v.IsEmpty()) return "NULL";
  if (v.IsByteArray()) {
    std::string hex = "\\x";
    for (const uint8_t b : v.AsBytes().bytes) {
      char buf[3];
      std::snprintf(buf, sizeof buf, "%02x", b);
      hex += buf;
    }
    return hex;
  }
  if (IsNumberType(type) || (type == JetType::kNone && (v.IsNumericType() || v.IsDate())))
    return Number(CDbl(v));
  return CStr(v);
}

// A value read from the server (libpq's text form) as the comparison writes it.
std::string FromServer(const PGresult* r, int row, int col, JetType type) {
  if (PQgetisnull(r, row, col)) return "NULL";
  const std::string text = PQgetvalue(r, row, col);
  const bool number = IsNumberType(type) || type == JetType::kNone;
  if (number && !text.empty()) {
    char* end = nullptr;
    const double d = std::strtod(text.c_str(), &end);
    if (end != nullptr && *end == '\0') return Number(d);
  }
  return text;
}

// A stored value as a text parameter of an INSERT on the server.
std::optional<std::string> AsParameter(const Variant& v) {
  if (v.IsNull() || v.IsEmpty()) return std::nullopt;
  if (v.IsByteArray()) return FromSqlite(v, JetType::kBinary);
  if (v.IsString()) return v.AsString();
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", CDbl(v));
  return std::string(buf);
}

class Runner {
 public:
  Runner(std::string file, std::shared_ptr<Connection> db, PGconn* pg, bool serverFunctions)
      : file_(std::move(file)),
        db_(std::move(db)),
        pg_(pg),
        names_(db_->Schema()),
        serverFunctions_(serverFunctions) {}

  void Run(const Record& r) {
    try {
      RunRecord(r);
    } catch (const Error& e) {
      Fail(r, "error " + std::to_string(e.Number()) + ": " + e.Description());
    } catch (const std::exception& e) {
      Fail(r, std::string("bad record: ") + e.what());
    }
  }

  int Report(const std::string& path) const {
    std::string needs;
    for (const auto& [name, count] : needed_)
      needs += " " + name + "(" + std::to_string(count) + ")";
    std::cout << path << ": " << compared_ << " compared, " << agreed_ << " agree, " << skipped_
              << " skipped, " << failures_ << " failed\n";
    if (!needs.empty()) std::cout << "  server functions the skipped ones need:" << needs << "\n";
    if (compared_ == 0)
      std::cout << "  nothing compared: the file holds no statement a server runs\n";
    return failures_ == 0 && compared_ > 0 ? 0 : 1;
  }

 private:
  void RunRecord(const Record& r) {
    const std::vector<std::string> w = Words(r.directive);
    if (w.size() < 2) throw std::runtime_error("unknown directive: " + r.directive);
    if (w[0] == "statement" && w[1] == "native") {
      db_->ExecuteNative(r.sql);
      dirty_ = true;
    } else if (w[0] == "statement" && w[1] == "ok") {
      Statement(r);
    } else if (w[0] == "query" && w[1] != "native") {
      Query(r, w.size() > 2 && w[2] == "rowsort");
    }
    // Errors and native queries are qv_sql_runner's: they change nothing.
  }

  // The server's translation, or nullopt when it needs functions the server
  // lacks (counted as skipped).
  std::optional<jet::Translation> ForServer(const std::string& sql) {
    jet::Translation t = jet::TranslateJet(sql, names_, jet::SqlDialect::kPostgres);
    if (t.serverFunctions.empty() || serverFunctions_) return t;
    ++skipped_;
    for (const auto& f : t.serverFunctions) ++needed_[f];
    return std::nullopt;
  }

  void Statement(const Record& r) {
    jet::Statement s = db_->Prepare(r.sql);  // the catalogue is current from here
    const std::shared_ptr<const jet::Translation> sqlite = db_->Translate(r.sql);
    std::optional<jet::Translation> t;
    if (sqlite->kind != jet::StatementKind::kSchema) t = ForServer(r.sql);
    if (!t) {
      s.Run();
      dirty_ = true;  // the server did not follow: it is filled again before the next one
      return;
    }
    Sync();
    s.Run();
    ++compared_;
    PgResult res(PQexec(pg_, t->sql.c_str()));
    if (PQresultStatus(res.get()) != PGRES_COMMAND_OK) {
      dirty_ = true;
      return Fail(r, std::string("the server failed: ") + PQresultErrorMessage(res.get()) +
                         "  as PostgreSQL: " + t->sql);
    }
    ++agreed_;
  }

  void Query(const Record& r, bool rowsort) {
    jet::Statement s = db_->Prepare(r.sql);
    std::optional<jet::Translation> t = ForServer(r.sql);
    if (!t) return;
    Sync();
    ++compared_;
    std::vector<std::string> local;
    while (s.Step()) {
      std::string row;
      for (int i = 0; i < s.ColumnCount(); ++i)
        row += (i ? "\t" : "") + FromSqlite(s.Value(i), t->columns[static_cast<size_t>(i)].type);
      local.push_back(std::move(row));
    }
    PgResult res(PQexec(pg_, t->sql.c_str()));
    if (PQresultStatus(res.get()) != PGRES_TUPLES_OK)
      return Fail(r, std::string("the server failed: ") + PQresultErrorMessage(res.get()) +
                         "  as PostgreSQL: " + t->sql);
    const int columns = static_cast<int>(t->columns.size());
    if (PQnfields(res.get()) < columns)
      return Fail(r, "the server returned " + std::to_string(PQnfields(res.get())) +
                         " columns  as PostgreSQL: " + t->sql);
    std::vector<std::string> remote;
    for (int row = 0; row < PQntuples(res.get()); ++row) {
      std::string line;
      for (int i = 0; i < columns; ++i)
        line += (i ? "\t" : "") +
                FromServer(res.get(), row, i, t->columns[static_cast<size_t>(i)].type);
      remote.push_back(std::move(line));
    }
    if (rowsort) {
      std::sort(local.begin(), local.end());
      std::sort(remote.begin(), remote.end());
    }
    if (local == remote) {
      ++agreed_;
      return;
    }
    std::string msg = "SQLite:\n";
    for (const auto& l : local) msg += "    " + l + "\n";
    msg += "  PostgreSQL:\n";
    for (const auto& l : remote) msg += "    " + l + "\n";
    msg += "  as PostgreSQL: " + t->sql;
    Fail(r, msg);
  }

  void Fail(const Record& r, const std::string& what) {
    ++failures_;
    std::cerr << file_ << ":" << r.line << ": " << r.directive << "\n  " << r.sql << "\n  " << what
              << "\n";
  }

  void Exec(const std::string& sql) {
    PgResult res(PQexec(pg_, sql.c_str()));
    const ExecStatusType st = PQresultStatus(res.get());
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK)
      throw std::runtime_error("the server refused " + sql + ": " +
                               PQresultErrorMessage(res.get()));
  }

  // Makes the server's tables those of the SQLite file, rows included.
  void Sync() {
    if (!dirty_) return;
    dirty_ = false;
    for (const std::string& name : serverTables_) Exec("DROP TABLE IF EXISTS " + Quoted(name));
    serverTables_.clear();
    jet::Catalog& catalog = db_->Schema();
    for (const std::string& name : catalog.TableNames()) {
      const auto spec = catalog.FindTable(name);
      if (!spec) continue;
      Exec(jet::sql::PostgresCreateTableSql(*spec));
      serverTables_.push_back(spec->name);
      for (const jet::IndexSpec& x : spec->indexes)
        if (!x.primary) Exec(jet::sql::PostgresCreateIndexSql(spec->name, x));
      Copy(*spec);
    }
  }

  void Copy(const jet::TableSpec& spec) {
    std::string select = "SELECT ", insert = "INSERT INTO " + Quoted(spec.name) + " (";
    for (size_t i = 0; i < spec.fields.size(); ++i) {
      select += (i ? ", " : "") + Quoted(spec.fields[i].name);
      insert += (i ? ", " : "") + Quoted(spec.fields[i].name);
    }
    select += " FROM " + Quoted(spec.name);
    insert += ") VALUES (";
    for (size_t i = 0; i < spec.fields.size(); ++i)
      insert += (i ? ", $" : "$") + std::to_string(i + 1);
    insert += ")";
    jet::Statement rows = db_->PrepareNative(select);
    const auto n = static_cast<int>(spec.fields.size());
    std::vector<std::optional<std::string>> values(spec.fields.size());
    std::vector<const char*> params(spec.fields.size());
    while (rows.Step()) {
      for (int i = 0; i < n; ++i) {
        values[static_cast<size_t>(i)] = AsParameter(rows.Value(i));
        params[static_cast<size_t>(i)] =
            values[static_cast<size_t>(i)] ? values[static_cast<size_t>(i)]->c_str() : nullptr;
      }
      PgResult res(
          PQexecParams(pg_, insert.c_str(), n, nullptr, params.data(), nullptr, nullptr, 0));
      if (PQresultStatus(res.get()) != PGRES_COMMAND_OK)
        throw std::runtime_error("copying a row of " + spec.name +
                                 " failed: " + PQresultErrorMessage(res.get()));
    }
    // A counter goes on after the highest number SQLite handed out, deleted
    // rows' included.
    for (const jet::FieldSpec& f : spec.fields) {
      if (!f.autoIncrement) continue;
      int64_t last = 0;
      jet::Statement seq = db_->PrepareNative("SELECT seq FROM sqlite_sequence WHERE name = " +
                                              LiteralOf(spec.name));
      if (seq.Step()) last = static_cast<int64_t>(CDbl(seq.Value(0)));
      Exec("SELECT setval(pg_get_serial_sequence(" + LiteralOf(Quoted(spec.name)) + ", " +
           LiteralOf(f.name) + "), greatest(coalesce(max(" + Quoted(f.name) + "), 0), " +
           std::to_string(last) + ") + 1, false) FROM " + Quoted(spec.name));
    }
  }

  static std::string LiteralOf(std::string_view text) {
    std::string out = "'";
    for (const char c : text) {
      out += c;
      if (c == '\'') out += '\'';
    }
    return out + "'";
  }

  static std::vector<std::string> Words(const std::string& s) {
    std::istringstream in(s);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
  }

  std::string file_;
  std::shared_ptr<Connection> db_;
  PGconn* pg_;
  StoredNames names_;
  bool serverFunctions_;  // the server has the Jet functions (the module is loaded)
  bool dirty_ = true;
  std::vector<std::string> serverTables_;
  std::map<std::string, int> needed_;
  int compared_ = 0, agreed_ = 0, skipped_ = 0, failures_ = 0;
};

int Main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::cerr << "usage: qv_pg_corpus FILE.test [FUNCTIONS.sql]\n";
    return 2;
  }
  const char* conninfo = testsupport::TestServerOrSkip();
  if (conninfo == nullptr) return 77;
  const std::optional<std::string> text = qv::sqltest::ReadScriptFile(argv[1]);
  if (!text) return 2;
  // A schema of its own: the files run in parallel on one server. The Jet
  // functions, the collation jetru and the domains are created in it from
  // the script the build writes for the built module (pg/); without one,
  // jetru is ICU's root order at secondary strength and every statement
  // that calls a Jet function runs on SQLite only.
  std::optional<testsupport::TestSchema> schema;
  try {
    schema.emplace(conninfo, "qv_corpus_", argc == 3 ? argv[2] : nullptr);
    if (argc == 2)
      testsupport::PgAdmin(schema->Location())
          .Value(
              "CREATE COLLATION jetru (provider = icu, locale = 'und-u-ks-level2', "
              "deterministic = false)");
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return 1;
  }
  std::unique_ptr<PGconn, void (*)(PGconn*)> pg(PQconnectdb(schema->Location().c_str()), PQfinish);
  if (PQstatus(pg.get()) != CONNECTION_OK) {
    std::cerr << "cannot connect: " << PQerrorMessage(pg.get());
    return 1;
  }
  PgResult(PQexec(pg.get(), "SET client_min_messages TO warning"));
  std::string pattern = (std::filesystem::temp_directory_path() / "qvpgXXXXXX").string();
  const std::filesystem::path folder = mkdtemp(pattern.data());
  int status = 0;
  {
    Runner runner(argv[1], Connection::Create((folder / "Test.mdb").string()), pg.get(), argc == 3);
    for (const Record& r : sqltest::ParseScript(*text)) runner.Run(r);
    status = runner.Report(argv[1]);
  }
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  return status;
}

}  // namespace
}  // namespace qv::pgtest

int main(int argc, char** argv) {
  return qv::pgtest::Main(argc, argv);
}
