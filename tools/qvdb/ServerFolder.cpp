#include "ServerFolder.h"

#include <libpq-fe.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>

#include "core/schema/SchemaBuilder.h"
#include "platform/automation/Error.h"
#include "platform/jet/JetError.h"
#include "platform/jet/PgConnection.h"
#include "platform/jet/ServerLocation.h"
#include "platform/jet/sql/JetPostgres.h"
#include "platform/jet/sql/JetServerFunctions.h"

namespace qvdb {

namespace schema = qv::schema;
namespace jeterr = qv::jet::jeterr;

namespace {

constexpr const char* kSource = "qvdb";

using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;

}  // namespace

// One libpq session for the administrative statements. Outside the anonymous
// namespace: the Impl of ServerFolderReader and ServerTableWriter, whose
// names the header gives, hold one.
class AdminSession {
 public:
  explicit AdminSession(const std::string& location)
      : conn_(PQconnectdb(location.c_str()), PQfinish) {
    if (PQstatus(conn_.get()) != CONNECTION_OK)
      throw qv::Error(jeterr::kOpenedExclusively,
                      "The server of '" + qv::jet::ShownLocation(location) +
                          "' cannot be reached: " + Trimmed(PQerrorMessage(conn_.get())),
                      kSource);
    // "already exists, skipping" and the like are not for the user.
    PQsetNoticeProcessor(
        conn_.get(), [](void*, const char*) {}, nullptr);
  }

  // Runs `sql` with `params` as $1, $2 ... (texts); the rows of a select.
  Result Run(const std::string& sql, const std::vector<std::string>& params = {}) {
    std::vector<const char*> values;
    for (const std::string& p : params) values.push_back(p.c_str());
    Result r(PQexecParams(conn_.get(), sql.c_str(), static_cast<int>(values.size()), nullptr,
                          values.data(), nullptr, nullptr, 0),
             PQclear);
    Check(r);
    return r;
  }

  // Runs a script of several statements (no parameters).
  void RunScript(const std::string& sql) {
    Result r(PQexec(conn_.get(), sql.c_str()), PQclear);
    Check(r);
  }

  PGconn* Conn() { return conn_.get(); }

  // A statement's result: an error of the server's raised as Jet's.
  void Check(const Result& r) {
    const ExecStatusType status = PQresultStatus(r.get());
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return;
    const char* state = PQresultErrorField(r.get(), PG_DIAG_SQLSTATE);
    throw qv::jet::PgToJetError(state ? state : "", Trimmed(PQresultErrorMessage(r.get())), "", "",
                                "", kSource);
  }

  static std::string Trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
  }

 private:
  std::unique_ptr<PGconn, decltype(&PQfinish)> conn_;
};

namespace {

// The schema names of a location's search path, in order.
std::vector<std::string> SearchPath(AdminSession& session) {
  Result r = session.Run("SELECT current_setting('search_path')");
  std::vector<std::string> names;
  std::string entry;
  std::istringstream in(PQgetvalue(r.get(), 0, 0));
  while (std::getline(in, entry, ',')) {
    entry.erase(0, entry.find_first_not_of(' '));
    entry.erase(entry.find_last_not_of(' ') + 1);
    if (entry.size() >= 2 && entry.front() == '"' && entry.back() == '"')
      entry = entry.substr(1, entry.size() - 2);
    if (!entry.empty()) names.push_back(entry);
  }
  return names;
}

// A schema name that goes into a statement's text: only a plain name.
const std::string& PlainSchema(const std::string& name, const std::string& location) {
  if (!qv::jet::IsPlainSchemaName(name))
    throw qv::Error(jeterr::kInvalidPath,
                    "'" + name + "' of '" + qv::jet::ShownLocation(location) +
                        "' is no plain schema name (a-z, 0-9 and _, at most 63 bytes)",
                    kSource);
  return name;
}

bool HasFunctions(AdminSession& session, const std::string& schemaName) {
  Result r = session.Run(
      "SELECT 1 FROM pg_proc p JOIN pg_namespace n ON n.oid = p.pronamespace "
      "WHERE n.nspname = $1 AND p.proname = 'jet_like'",
      {schemaName});
  return PQntuples(r.get()) > 0;
}

// The version the functions in `schemaName` answer (jet_functions_version):
// empty for a set made before sets answered one.
std::string FunctionsVersion(AdminSession& session, const std::string& schemaName) {
  const std::string name(qv::jet::sql::kServerFunctionsVersion);
  Result has = session.Run(
      "SELECT 1 FROM pg_proc p JOIN pg_namespace n ON n.oid = p.pronamespace "
      "WHERE n.nspname = $1 AND p.proname = $2",
      {schemaName, name});
  if (PQntuples(has.get()) == 0) return {};
  Result r = session.Run("SELECT " + schemaName + "." + name + "()");
  return PQgetvalue(r.get(), 0, 0);
}

// Runs `sql`; the server's SQLSTATE when it fails, else empty.
std::string Attempt(AdminSession& session, const std::string& sql) {
  Result r(PQexec(session.Conn(), sql.c_str()), PQclear);
  const ExecStatusType status = PQresultStatus(r.get());
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return {};
  const char* state = PQresultErrorField(r.get(), PG_DIAG_SQLSTATE);
  return state ? state : "?";
}

// Whether a failed CREATE EXTENSION qv_jet says the server has no such
// extension: it found no control file qv_jet.control (0A000 "extension is
// not available" with the file in the detail, as 15.20 says it; earlier
// releases raised the file's own 58P01 naming it). The file's name is no
// translated text, so this holds whatever the server's language. Another
// file of the extension missing (the install script, the module) is the
// server's own error.
bool LacksExtension(const PGresult* r) {
  const char* state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
  if (!state || (std::string_view(state) != "0A000" && std::string_view(state) != "58P01"))
    return false;
  for (int field : {PG_DIAG_MESSAGE_PRIMARY, PG_DIAG_MESSAGE_DETAIL}) {
    const char* text = PQresultErrorField(r, field);
    if (text && std::string_view(text).find("/qv_jet.control") != std::string_view::npos)
      return true;
  }
  return false;
}

// Replaces the older set of functions in `schemaName` by the library's, in
// one transaction (a failure leaves the older set): the same statements
// the script has, over the module the set names (its jet_like's), each
// function CREATE OR REPLACE in place, so that what depends on one (a
// column's default calling jet_now) stays. A function whose result type
// changed (jet_store_integer's integer, now bigint) is dropped and made
// again, taken out of the extension qv_jet and put back when it is one of
// its members, and a function the older set lacked is made a member of the
// extension too (a CREATE EXTENSION after a DROP EXTENSION would refuse to
// replace it); the domains and the collation are kept when there.
void ReplaceFunctions(AdminSession& session, const std::string& schemaName) {
  Result m = session.Run(
      "SELECT p.probin FROM pg_proc p JOIN pg_namespace n ON n.oid = p.pronamespace "
      "WHERE n.nspname = $1 AND p.proname = 'jet_like' LIMIT 1",
      {schemaName});
  if (PQntuples(m.get()) == 0 || PQgetisnull(m.get(), 0, 0))
    throw qv::Error(jeterr::kNotSupported,
                    "The Jet functions in schema " + schemaName + " name no module", kSource);
  const std::string module = PQgetvalue(m.get(), 0, 0);
  Result e = session.Run(
      "SELECT 1 FROM pg_extension e JOIN pg_namespace n ON n.oid = e.extnamespace "
      "WHERE n.nspname = $1 AND e.extname = 'qv_jet'",
      {schemaName});
  const bool extension = PQntuples(e.get()) > 0;
  const std::string script = qv::jet::sql::ServerFunctionsSql(module, false);
  session.RunScript("BEGIN; SET LOCAL search_path TO " + schemaName);
  std::string names;  // the set's functions and aggregates, "{a,b,...}"
  try {
    for (size_t at = 0, end; (end = script.find(";\n", at)) != std::string::npos; at = end + 2) {
      std::string statement = script.substr(at, end + 1 - at);
      while (statement.starts_with("--")) statement.erase(0, statement.find('\n') + 1);
      for (std::string_view made : {"CREATE OR REPLACE FUNCTION ", "CREATE OR REPLACE AGGREGATE "})
        if (statement.starts_with(made))
          names += (names.empty() ? "{" : ",") +
                   statement.substr(made.size(), statement.find('(') - made.size());
      const bool kept =
          statement.starts_with("CREATE DOMAIN ") || statement.starts_with("CREATE COLLATION ");
      session.RunScript("SAVEPOINT jet_replace");
      const std::string state = Attempt(session, statement);
      if (state.empty()) {
        session.RunScript("RELEASE SAVEPOINT jet_replace");
        continue;
      }
      session.RunScript("ROLLBACK TO SAVEPOINT jet_replace");
      if (kept && state == "42710") continue;  // the domain or the collation is there
      static constexpr std::string_view kFunction = "CREATE OR REPLACE FUNCTION ";
      if (state != "42P13" || !statement.starts_with(kFunction)) {
        session.RunScript(statement);  // raises the server's error
        continue;
      }
      const std::string signature =
          statement.substr(kFunction.size(), statement.find(')') + 1 - kFunction.size());
      if (extension) session.RunScript("ALTER EXTENSION qv_jet DROP FUNCTION " + signature);
      session.RunScript("DROP FUNCTION " + signature);
      session.RunScript(statement);
      if (extension) session.RunScript("ALTER EXTENSION qv_jet ADD FUNCTION " + signature);
    }
    if (extension && !names.empty()) {
      Result outside = session.Run(
          "SELECT p.oid::regprocedure::text, p.prokind FROM pg_proc p "
          "WHERE p.pronamespace = $1::regnamespace AND p.proname = ANY ($2::text[]) "
          "AND NOT EXISTS (SELECT 1 FROM pg_depend d WHERE d.classid = 'pg_proc'::regclass "
          "AND d.objid = p.oid AND d.deptype = 'e')",
          {schemaName, names + "}"});
      for (int i = 0; i < PQntuples(outside.get()); ++i)
        session.RunScript(std::string("ALTER EXTENSION qv_jet ADD ") +
                          (*PQgetvalue(outside.get(), i, 1) == 'a' ? "AGGREGATE " : "FUNCTION ") +
                          PQgetvalue(outside.get(), i, 0));
    }
    session.RunScript("COMMIT");
  } catch (...) {
    Attempt(session, "ROLLBACK");
    throw;
  }
}

std::string ReadScript(const std::string& path) {
  std::error_code ec;
  // A folder opens as a file that reads as empty.
  if (std::filesystem::is_directory(path, ec))
    throw qv::Error(qv::vberr::kPathFileAccessError,
                    "Path/File access error: " + path + " is a folder, not a script", kSource);
  std::ifstream in(path, std::ios::binary);
  if (!in) throw qv::Error(qv::vberr::kFileNotFound, "File not found: " + path, kSource);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A Jet table's or column's name as the server's quoted identifier (under
// its short form when it is beyond the server's limit: sql::ServerObjectName).
std::string Quoted(const std::string& name) {
  std::string out;
  qv::jet::sql::AppendServerName(out, name);
  return out;
}

// The text forms the copy's values are read and written in: bytes in hex,
// every double's shortest exact digits.
void SetTextForms(AdminSession& session) {
  session.RunScript("SET bytea_output = hex; SET extra_float_digits = 1");
}

}  // namespace

std::string RelativeNameOfSchema(std::string_view folderSchema, std::string_view schemaName) {
  if (schemaName == folderSchema) return std::string(schema::DbFileName(schema::DbFile::kUser));
  const std::string prefix = std::string(folderSchema) + "_";
  if (!schemaName.starts_with(prefix)) return {};
  const std::string rest(schemaName.substr(prefix.size()));
  for (auto file : {schema::DbFile::kKladr, schema::DbFile::kOkato}) {
    std::string name(schema::DbFileName(file));
    std::string stem = name.substr(0, name.size() - 4);
    std::transform(stem.begin(), stem.end(), stem.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (rest == stem) return name;
  }
  // A shard "BigDocs/NN/NN/<id>_<n>.mdb".
  static const std::regex shard("bigdocs_([0-9]{2})_([0-9]{2})_([0-9]+)_([0-9]+)");
  std::smatch m;
  if (std::regex_match(rest, m, shard))
    return "BigDocs/" + m[1].str() + "/" + m[2].str() + "/" + m[3].str() + "_" + m[4].str() +
           ".mdb";
  return {};
}

namespace {

// The folder's databases as the session sees them (ServerFolderDatabases).
std::vector<std::string> DatabasesOf(AdminSession& session, const std::string& location) {
  const std::string folderSchema = qv::jet::ServerFolderSchema(location);
  Result r = session.Run(
      "SELECT n.nspname FROM pg_namespace n "
      "WHERE (n.nspname = $1 OR left(n.nspname, length($1) + 1) = $1 || '_') "
      "AND EXISTS (SELECT 1 FROM pg_class c WHERE c.relnamespace = n.oid "
      "AND c.relname = '_jet_tables')",
      {folderSchema});
  std::vector<std::string> main, shards;
  for (int i = 0; i < PQntuples(r.get()); ++i) {
    std::string name = RelativeNameOfSchema(folderSchema, PQgetvalue(r.get(), i, 0));
    if (name.empty()) continue;
    (name.starts_with("BigDocs/") ? shards : main).push_back(std::move(name));
  }
  std::vector<std::string> names;
  for (auto file : schema::kDbFiles) {
    const std::string n(schema::DbFileName(file));
    if (std::find(main.begin(), main.end(), n) != main.end()) names.push_back(n);
  }
  std::sort(shards.begin(), shards.end());
  names.insert(names.end(), shards.begin(), shards.end());
  return names;
}

}  // namespace

std::vector<std::string> ServerFolderDatabases(const std::string& location) {
  AdminSession session(location);
  return DatabasesOf(session, location);
}

void InstallServerFunctions(const std::string& location, const std::string& script) {
  AdminSession session(location);
  const std::vector<std::string> path = SearchPath(session);
  const std::string target =
      script.empty() || path.size() < 2 ? std::string("jet") : PlainSchema(path[1], location);
  if (HasFunctions(session, target)) {
    if (FunctionsVersion(session, target) != qv::jet::sql::ServerFunctionsVersion())
      ReplaceFunctions(session, target);
    return;
  }
  if (script.empty()) {
    // The schema and the extension in one transaction: a server that has no
    // extension to make is left without the schema too.
    session.RunScript("BEGIN; CREATE SCHEMA IF NOT EXISTS jet");
    Result made(PQexec(session.Conn(), "CREATE EXTENSION IF NOT EXISTS qv_jet SCHEMA jet"),
                PQclear);
    if (PQresultStatus(made.get()) != PGRES_COMMAND_OK) {
      Attempt(session, "ROLLBACK");
      if (LacksExtension(made.get()))
        throw qv::Error(jeterr::kNotSupported,
                        "The server of '" + qv::jet::ShownLocation(location) +
                            "' has no extension qv_jet (the library's Jet functions): install "
                            "the package " +
                            kExtensionPackage +
                            " on the server, then run this again (nothing was made there)",
                        kSource);
      session.Check(made);
    }
    session.RunScript("COMMIT");
    return;
  }
  const std::string text = ReadScript(script);
  session.RunScript("CREATE SCHEMA IF NOT EXISTS " + target + "; SET search_path TO " + target);
  session.RunScript(text);
}

ServerFunctionsState BringServerFunctionsUpToDate(const std::string& location) {
  AdminSession session(location);
  std::vector<std::string> schemas = SearchPath(session);
  schemas.push_back("jet");
  ServerFunctionsState state;
  for (const std::string& name : schemas) {
    if (!qv::jet::IsPlainSchemaName(name) || !HasFunctions(session, name)) continue;
    state.schema = name;
    state.version = FunctionsVersion(session, name);
    if (state.version == qv::jet::sql::ServerFunctionsVersion()) return state;
    ReplaceFunctions(session, name);
    state.replaced = true;
    return state;
  }
  return state;
}

void CreateServerSchema(const std::string& location) {
  const std::string name = qv::jet::ServerFolderSchema(location);
  AdminSession session(location);
  session.RunScript("CREATE SCHEMA IF NOT EXISTS " + PlainSchema(name, location));
}

bool ServerSchemaExists(const std::string& location) {
  AdminSession session(location);
  Result r = session.Run("SELECT 1 FROM pg_namespace WHERE nspname = $1",
                         {qv::jet::ServerFolderSchema(location)});
  return PQntuples(r.get()) > 0;
}

void DropServerSchema(const std::string& location) {
  const std::string name = qv::jet::ServerFolderSchema(location);
  AdminSession session(location);
  session.RunScript("DROP SCHEMA IF EXISTS " + PlainSchema(name, location) + " CASCADE");
}

std::string SnapshotLocation(const std::string& location) {
  std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)> options(
      PQconninfoParse(location.c_str(), nullptr), PQconninfoFree);
  if (!options)
    throw qv::Error(jeterr::kInvalidPath,
                    "Not a server location: " + qv::jet::ShownLocation(location), kSource);
  auto quote = [](std::string_view value) {
    std::string out = "'";
    for (char c : value) {
      if (c == '\'' || c == '\\') out += '\\';
      out += c;
    }
    return out + "'";
  };
  std::string out, settings;
  for (PQconninfoOption* o = options.get(); o->keyword; ++o) {
    if (!o->val) continue;
    if (std::string_view(o->keyword) == "options") {
      settings = o->val;
      continue;
    }
    out += std::string(o->keyword) + "=" + quote(o->val) + " ";
  }
  settings +=
      " -c default_transaction_isolation=serializable -c default_transaction_read_only=on"
      " -c default_transaction_deferrable=on";
  return out + "options=" + quote(settings);
}

void MoveCountersOn(const std::string& location, const std::vector<CopiedCounter>& counters) {
  if (counters.empty()) return;
  AdminSession session(location);
  for (const CopiedCounter& c : counters) {
    // The server quotes the names into the statement it then runs (%I, %L).
    Result text = session.Run(
        "SELECT format('SELECT setval(pg_get_serial_sequence(%L, %L), "
        "greatest(coalesce(max(%I), 0), %s) + 1, false) FROM %I', quote_ident($1::text), "
        "$2::text, $2::text, $3::bigint, $1::text)",
        {qv::jet::sql::ServerObjectName(c.table), qv::jet::sql::ServerObjectName(c.column),
         std::to_string(c.highWater)});
    session.Run(PQgetvalue(text.get(), 0, 0));
  }
}

struct ServerFolderReader::Impl {
  AdminSession session;
  std::string location;
  explicit Impl(const std::string& where) : session(where), location(where) {}
};

ServerFolderReader::ServerFolderReader(const std::string& location, bool serializable)
    : impl_(std::make_unique<Impl>(location)) {
  SetTextForms(impl_->session);
  impl_->session.RunScript(serializable
                               ? "BEGIN ISOLATION LEVEL SERIALIZABLE, READ ONLY, DEFERRABLE"
                               : "BEGIN ISOLATION LEVEL REPEATABLE READ, READ ONLY");
}

ServerFolderReader::~ServerFolderReader() = default;

std::vector<std::string> ServerFolderReader::Databases() {
  return DatabasesOf(impl_->session, impl_->location);
}

int64_t ServerFolderReader::CounterHighWater(const std::string& schemaName,
                                             const std::string& table, const std::string& column) {
  // The sequence read as it stands (a sequence is outside every snapshot):
  // never below the values of the rows read.
  Result text = impl_->session.Run(
      "SELECT format('SELECT CASE WHEN is_called THEN last_value ELSE last_value - 1 END "
      "FROM %s', s) "
      "FROM pg_get_serial_sequence(quote_ident($1::text) || '.' || quote_ident($2::text), "
      "$3::text) AS s "
      "WHERE s IS NOT NULL",
      {schemaName, qv::jet::sql::ServerObjectName(table), qv::jet::sql::ServerObjectName(column)});
  if (PQntuples(text.get()) == 0) return 0;
  Result value = impl_->session.Run(PQgetvalue(text.get(), 0, 0));
  return std::max<int64_t>(0, std::atoll(PQgetvalue(value.get(), 0, 0)));
}

int64_t ServerFolderReader::Read(const std::string& schemaName, const std::string& table,
                                 const std::vector<std::string>& columns,
                                 const std::function<void(const std::vector<ServerText>&)>& row) {
  if (columns.empty()) return 0;
  std::string list;
  for (const std::string& c : columns) list += (list.empty() ? "" : ", ") + Quoted(c);
  const std::string sql =
      "SELECT " + list + " FROM " + PlainSchema(schemaName, schemaName) + "." + Quoted(table);
  PGconn* conn = impl_->session.Conn();
  // One row at a time: a table of large values is never held whole.
  if (!PQsendQuery(conn, sql.c_str()))
    throw qv::Error(jeterr::kDiskError,
                    qv::jet::JetErrorText(jeterr::kDiskError) + " " +
                        AdminSession::Trimmed(PQerrorMessage(conn)),
                    kSource);
  if (!PQsetSingleRowMode(conn)) {
    while (Result rest{PQgetResult(conn), PQclear}) {
    }
    throw qv::Error(qv::vberr::kInvalidProcedureCall, "The server's rows cannot be read one by one",
                    kSource);
  }
  std::vector<ServerText> values(columns.size());
  int64_t rows = 0;
  std::optional<Result> failed;
  for (;;) {
    Result r(PQgetResult(conn), PQclear);
    if (!r) break;
    if (PQresultStatus(r.get()) == PGRES_SINGLE_TUPLE) {
      if (failed) continue;
      for (int i = 0; i < static_cast<int>(columns.size()); ++i)
        values[static_cast<size_t>(i)] =
            PQgetisnull(r.get(), 0, i)
                ? ServerText()
                : ServerText(std::string(PQgetvalue(r.get(), 0, i),
                                         static_cast<size_t>(PQgetlength(r.get(), 0, i))));
      try {
        row(values);
      } catch (...) {
        // The rest of the result is read and dropped first: the session
        // stays usable.
        while (Result rest{PQgetResult(conn), PQclear}) {
        }
        throw;
      }
      ++rows;
    } else if (PQresultStatus(r.get()) != PGRES_TUPLES_OK && !failed) {
      failed.emplace(std::move(r));
    }
  }
  if (failed) impl_->session.Check(*failed);
  return rows;
}

struct ServerTableWriter::Impl {
  AdminSession session;
  std::string schema;
  int columns = 0;
  bool open = false;
  Impl(const std::string& location, std::string schemaName)
      : session(location), schema(std::move(schemaName)) {}
};

ServerTableWriter::ServerTableWriter(const std::string& location)
    : impl_(std::make_unique<Impl>(location, qv::jet::ServerFolderSchema(location))) {
  PlainSchema(impl_->schema, location);
  SetTextForms(impl_->session);
  impl_->session.RunScript("BEGIN");
}

// Without Commit the session ends with its transaction: nothing is written.
ServerTableWriter::~ServerTableWriter() = default;

void ServerTableWriter::Replace(const std::string& table, const std::vector<std::string>& columns) {
  const std::string name = impl_->schema + "." + Quoted(table);
  impl_->session.RunScript("DELETE FROM " + name);
  impl_->columns = static_cast<int>(columns.size());
  impl_->open = !columns.empty();
  if (!impl_->open) return;
  std::string list, params;
  for (size_t i = 0; i < columns.size(); ++i) {
    list += (i ? ", " : "") + Quoted(columns[i]);
    params += (i ? ", $" : "$") + std::to_string(i + 1);
  }
  // Parameters of no declared type: each takes its column's.
  Result r(PQprepare(impl_->session.Conn(), "",
                     ("INSERT INTO " + name + " (" + list + ") VALUES (" + params + ")").c_str(),
                     impl_->columns, nullptr),
           PQclear);
  impl_->session.Check(r);
}

void ServerTableWriter::Insert(const std::vector<ServerText>& values) {
  if (!impl_->open || static_cast<int>(values.size()) != impl_->columns)
    throw qv::Error(qv::vberr::kInvalidProcedureCall,
                    "Rows are written after Replace, with a value for each column", kSource);
  std::vector<const char*> p;
  std::vector<int> lengths;
  for (const ServerText& v : values) {
    p.push_back(v ? v->c_str() : nullptr);
    lengths.push_back(v ? static_cast<int>(v->size()) : 0);
  }
  Result r(PQexecPrepared(impl_->session.Conn(), "", impl_->columns, p.data(), lengths.data(),
                          nullptr, 0),
           PQclear);
  impl_->session.Check(r);
}

void ServerTableWriter::Commit() {
  impl_->session.RunScript("COMMIT");
  impl_->open = false;
}

}  // namespace qvdb
