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
// conditions as -1/0) are written by the emitter. A select the file
// refuses with an error (statement error) must be refused by the server
// with the same Jet number.
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

#include "JetRandom.h"
#include "platform/automation/Variant.h"
#include "platform/automation/VbaText.h"
#include "platform/jet/JetConnection.h"
#include "platform/jet/JetTranslator.h"
#include "platform/jet/PgConnection.h"
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

// A name in double quotes, or with `q` '\'' a text literal.
std::string Quoted(std::string_view name, char q = '"') {
  std::string out(1, q);
  for (const char c : name) out += c == q ? std::string(2, c) : std::string(1, c);
  return out + q;
}

bool IsNumberType(JetType t) {
  return !jet::IsTextType(t) && t != JetType::kNone && t != JetType::kBinary &&
         t != JetType::kVarBinary && t != JetType::kLongBinary;
}

// A Single to its own precision: the server writes a real in the fewest
// digits that read back as it (1e+15), SQLite gives it as a double.
std::string Number(double d, JetType type = JetType::kDouble) {
  if (d == 0) d = 0;  // -0 as 0
  char buf[40];
  if (type == JetType::kSingle)
    std::snprintf(buf, sizeof buf, "%.7g", static_cast<double>(static_cast<float>(d)));
  else
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
    return Number(CDbl(v), type);
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
    if (end != nullptr && *end == '\0') return Number(d, type);
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

  // A Jet statement run on the file only; the server follows before the next
  // comparison.
  void OnFile(const std::string& sql) {
    db_->Prepare(sql).Run();
    dirty_ = true;
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
    } else if (w[0] == "statement" && w[1] == "error" && w.size() > 2 && w.size() < 4) {
      ExpectError(r, std::atoi(w[2].c_str()));
    }
    // Native queries are qv_sql_runner's: they change nothing.
  }

  // A select the file refuses (qv_sql_runner checks that) is refused by the
  // server with the same number. The translator's own errors are the same
  // for both dialects; other statements' errors are not compared.
  void ExpectError(const Record& r, int32_t number) {
    std::shared_ptr<const jet::Translation> sqlite;
    try {
      sqlite = db_->Translate(r.sql);
    } catch (const Error&) {
      return;
    }
    if (sqlite->kind != jet::StatementKind::kSelect) return;
    std::optional<jet::Translation> t = ForServer(r.sql);
    if (!t) return;
    Sync();
    ++compared_;
    const Answer remote = ServerAnswer(*t);
    if (remote.failed && remote.error == number) {
      ++agreed_;
      return;
    }
    Fail(r, "expected error " + std::to_string(number) + ", PostgreSQL:\n" + remote.Shown() +
                "  as PostgreSQL: " + t->sql);
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
    const Answer local = FileAnswer(s, *t);
    const Answer remote = ServerAnswer(*t);
    if (remote.failed)
      return Fail(r, "the server failed: " + remote.message + "  as PostgreSQL: " + t->sql);
    if (Same(local, remote, rowsort)) {
      ++agreed_;
      return;
    }
    Fail(r, "SQLite:\n" + local.Shown() + "  PostgreSQL:\n" + remote.Shown() +
                "  as PostgreSQL: " + t->sql);
  }

 public:
  // One engine's answer to a select: its rows as the comparison writes
  // them, or the Jet error it raised.
  struct Answer {
    bool failed = false;
    int32_t error = 0;
    std::string message;
    std::vector<std::string> rows;
    std::string Shown() const {
      if (failed) return "    error " + std::to_string(error) + ": " + message + "\n";
      std::string out;
      for (const auto& l : rows) out += "    " + l + "\n";
      return out;
    }
  };

  static bool Same(const Answer& a, const Answer& b, bool rowsort) {
    if (a.failed || b.failed) return a.failed == b.failed && a.error == b.error;
    if (!rowsort) return a.rows == b.rows;
    std::vector<std::string> x = a.rows, y = b.rows;
    std::sort(x.begin(), x.end());
    std::sort(y.begin(), y.end());
    return x == y;
  }

  // A Jet select asked of both engines: the file's answer, the server's,
  // and the server's translation (empty when the translator refused it:
  // its errors are the same for both dialects, and both answers carry it).
  struct Asked {
    Answer file, server;
    std::string sqlite, postgres;
  };
  // Both engines' translations of `sql` into `out`, the server's returned;
  // none when the translator refuses it (both answers then carry its error).
  std::optional<jet::Translation> Translated(const std::string& sql, Asked& out) {
    Sync();
    try {
      out.sqlite = db_->Translate(sql)->sql;
      jet::Translation t = jet::TranslateJet(sql, names_, jet::SqlDialect::kPostgres);
      out.postgres = t.sql;
      return t;
    } catch (const Error& e) {
      out.file = out.server = Refused(e);
      return std::nullopt;
    }
  }
  Asked Ask(const std::string& sql) {
    Asked out;
    const std::optional<jet::Translation> t = Translated(sql, out);
    if (!t) return out;
    try {
      jet::Statement s = db_->Prepare(sql);
      out.file = FileAnswer(s, *t);
    } catch (const Error& e) {
      out.file = Refused(e);
    }
    out.server = ServerAnswer(*t);
    return out;
  }

  // A Jet statement that changes rows, run on both engines in a transaction
  // of each, undone after: its Jet error, or (both having run) the rows the
  // selects `after` read then, each engine's in one answer, sorted.
  Asked Change(const std::string& sql, const std::vector<std::string>& after) {
    Asked out;
    const std::optional<jet::Translation> t = Translated(sql, out);
    if (!t) return out;
    db_->ExecuteNative("BEGIN");
    Exec("BEGIN");
    try {
      db_->Prepare(sql).Run();
    } catch (const Error& e) {
      out.file = Refused(e);
    }
    {
      PgResult res(PQexec(pg_, t->sql.c_str()));
      if (PQresultStatus(res.get()) != PGRES_COMMAND_OK) out.server = ServerFailure(res.get());
    }
    if (!out.file.failed && !out.server.failed) {
      for (const std::string& select : after) {
        const Asked rows = Ask(select);
        for (const auto& [from, to] :
             {std::pair{&rows.file, &out.file}, {&rows.server, &out.server}})
          for (const std::string& row : from->rows) to->rows.push_back(select + ": " + row);
      }
      std::sort(out.file.rows.begin(), out.file.rows.end());
      std::sort(out.server.rows.begin(), out.server.rows.end());
    }
    db_->ExecuteNative("ROLLBACK");
    Exec("ROLLBACK");
    return out;
  }

 private:
  static Answer Refused(const Error& e) { return Answer{true, e.Number(), e.Description(), {}}; }

  // Throws the Jet error a step raised.
  static Answer FileAnswer(jet::Statement& s, const jet::Translation& t) {
    Answer a;
    while (s.Step()) {
      std::string row;
      for (int i = 0; i < s.ColumnCount(); ++i)
        row += (i ? "\t" : "") + FromSqlite(s.Value(i), t.columns[static_cast<size_t>(i)].type);
      a.rows.push_back(std::move(row));
    }
    return a;
  }

  // The server's rows, or its failure as the library's server connection
  // reports it (PgToJetError).
  static Answer ServerFailure(const PGresult* r) {
    auto field = [&](int code) {
      const char* v = PQresultErrorField(r, code);
      return std::string(v ? v : "");
    };
    const Error e = jet::PgToJetError(field(PG_DIAG_SQLSTATE), field(PG_DIAG_MESSAGE_PRIMARY),
                                      field(PG_DIAG_TABLE_NAME), field(PG_DIAG_COLUMN_NAME),
                                      field(PG_DIAG_CONSTRAINT_NAME));
    return Answer{true, e.Number(), PQresultErrorMessage(r), {}};
  }

  Answer ServerAnswer(const jet::Translation& t) {
    PgResult res(PQexec(pg_, t.sql.c_str()));
    if (PQresultStatus(res.get()) != PGRES_TUPLES_OK) return ServerFailure(res.get());
    const int columns = static_cast<int>(t.columns.size());
    if (PQnfields(res.get()) < columns)
      return Answer{
          true, 0, "the server returned " + std::to_string(PQnfields(res.get())) + " columns", {}};
    Answer a;
    for (int row = 0; row < PQntuples(res.get()); ++row) {
      std::string line;
      for (int i = 0; i < columns; ++i)
        line +=
            (i ? "\t" : "") + FromServer(res.get(), row, i, t.columns[static_cast<size_t>(i)].type);
      a.rows.push_back(std::move(line));
    }
    return a;
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
                                              Quoted(spec.name, '\''));
      if (seq.Step()) last = static_cast<int64_t>(CDbl(seq.Value(0)));
      Exec("SELECT setval(pg_get_serial_sequence(" + Quoted(Quoted(spec.name), '\'') + ", " +
           Quoted(f.name, '\'') + "), greatest(coalesce(max(" + Quoted(f.name) + "), 0), " +
           std::to_string(last) + ") + 1, false) FROM " + Quoted(spec.name));
    }
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

// Whether the rows of `sql` come in an order both engines must keep.
bool Ordered(const std::string& sql) {
  return sql.find(" order by ") != std::string::npos;
}

// What kind of disagreement an answer pair is: which side failed with
// which error, or other rows, or the same rows in another order (a smaller
// statement must keep it).
std::string Kind(const Runner::Asked& a) {
  auto side = [](const Runner::Answer& x) {
    return x.failed ? "error " + std::to_string(x.error) : std::string("rows");
  };
  if (!a.file.failed && !a.server.failed && Runner::Same(a.file, a.server, true)) return "order";
  return side(a.file) + " / " + side(a.server);
}

// Random statements of `seed` on both engines (JetRandom.h): selects, or
// with `changes` statements that change rows, then compared by the tables'
// rows. Each disagreement is printed made as small as it stays one of its
// kind. Returns the count of disagreements.
int RunRandom(Runner& runner, uint64_t seed, int count, bool changes) {
  for (const std::string& sql : RandomTables()) runner.OnFile(sql);
  const std::vector<std::string> tables = {"select * from t", "select * from u"};
  auto ask = [&](const std::string& sql) {
    return changes ? runner.Change(sql, tables) : runner.Ask(sql);
  };
  int rows = 0, refused = 0, differ = 0;
  std::map<int32_t, int> errors;
  for (int i = 0; i < count; ++i) {
    const uint64_t at = seed * 1000003 + static_cast<uint64_t>(i);
    Piece statement = changes ? RandomChange(at) : RandomSelect(at);
    std::string sql = statement.Render();
    Runner::Asked asked = ask(sql);
    if (Runner::Same(asked.file, asked.server, !Ordered(sql))) {
      asked.file.failed ? (++refused, ++errors[asked.file.error]) : ++rows;
      continue;
    }
    ++differ;
    const std::string kind = Kind(asked);
    std::cerr << "statement " << i << " of seed " << seed << ": " << sql << "\n";
    // Smaller while it still disagrees the same way.
    for (int tries = 0, changed = 1; changed && tries < 400;) {
      changed = 0;
      for (const Piece& smaller : Smaller(statement)) {
        if (++tries >= 400) break;
        const std::string text = smaller.Render();
        Runner::Asked a = ask(text);
        if (!Runner::Same(a.file, a.server, !Ordered(text)) && Kind(a) == kind) {
          statement = smaller;
          asked = std::move(a);
          changed = 1;
          break;
        }
      }
    }
    std::cerr << "  made smaller: " << statement.Render() << "\n  as SQLite: " << asked.sqlite
              << "\n  as PostgreSQL: " << asked.postgres << "\n  SQLite:\n"
              << asked.file.Shown() << "  PostgreSQL:\n"
              << asked.server.Shown() << "  (" << kind << ")\n";
  }
  std::cout << "seed " << seed << ": " << count << (changes ? " changes, " : " selects, ") << rows
            << (changes ? " left the same rows, " : " gave the same rows, ") << refused
            << " the same error,";
  for (const auto& [number, n] : errors) std::cout << " " << number << "(" << n << ")";
  std::cout << "; " << differ << " disagreed\n";
  return differ;
}

int Main(int argc, char** argv) {
  const bool random = argc == 5 && (std::string_view(argv[1]) == "--random" ||
                                    std::string_view(argv[1]) == "--random-changes");
  if ((argc != 2 && argc != 3 && !random) || (argc > 1 && argv[1][0] == '-' && !random)) {
    std::cerr << "usage: qv_pg_corpus FILE.test [FUNCTIONS.sql]\n"
                 "       qv_pg_corpus --random SEED COUNT FUNCTIONS.sql\n"
                 "       qv_pg_corpus --random-changes SEED COUNT FUNCTIONS.sql\n";
    return 2;
  }
  const char* conninfo = testsupport::TestServerOrSkip();
  if (conninfo == nullptr) return 77;
  const char* functions = random ? argv[4] : argc == 3 ? argv[2] : nullptr;
  std::optional<std::string> text;
  if (!random && !(text = qv::sqltest::ReadScriptFile(argv[1]))) return 2;
  // A schema of its own: the files run in parallel on one server. The Jet
  // functions, the collation jetru and the domains are created in it from
  // the script the build writes for the built module (pg/); without one,
  // jetru is ICU's root order at secondary strength and every statement
  // that calls a Jet function runs on SQLite only.
  std::optional<testsupport::TestSchema> schema;
  try {
    schema.emplace(conninfo, "qv_corpus_", functions);
    if (functions == nullptr)
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
  PgResult(PQexec(pg.get(), "SET statement_timeout TO '20s'"));
  std::string pattern = (std::filesystem::temp_directory_path() / "qvpgXXXXXX").string();
  const std::filesystem::path folder = mkdtemp(pattern.data());
  int status = 0;
  {
    Runner runner(argv[1], Connection::Create((folder / "Test.mdb").string()), pg.get(),
                  functions != nullptr);
    if (random) {
      status = RunRandom(runner, std::strtoull(argv[2], nullptr, 10), std::atoi(argv[3]),
                         std::string_view(argv[1]) == "--random-changes")
                   ? 1
                   : 0;
    } else {
      for (const Record& r : sqltest::ParseScript(*text)) runner.Run(r);
      status = runner.Report(argv[1]);
    }
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
