#include "platform/jet/ServerSchemas.h"

#include <libpq-fe.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/automation/Error.h"
#include "platform/jet/JetError.h"
#include "platform/jet/PgConnection.h"
#include "platform/jet/ServerLocation.h"

namespace qv::jet {

namespace {

using ConnPtr = std::unique_ptr<PGconn, void (*)(PGconn*)>;
using ResultPtr = std::unique_ptr<PGresult, void (*)(PGresult*)>;

// PostgreSQL's code for a schema that exists.
constexpr std::string_view kDuplicateSchema = "42P06";

ConnPtr Connect(std::string_view location) {
  ConnPtr conn(PQconnectdb(std::string(location).c_str()), PQfinish);
  if (PQstatus(conn.get()) != CONNECTION_OK) {
    std::string message = PQerrorMessage(conn.get());
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
      message.pop_back();
    const std::string shown = ShownLocation(location);
    throw Error(jeterr::kOpenedExclusively,
                JetErrorText(jeterr::kOpenedExclusively, {shown}) + " " + message,
                std::string(kSourceDatabase));
  }
  PQclear(PQexec(conn.get(), "SET client_min_messages TO warning"));
  return conn;
}

std::string Field(const PGresult* r, int code) {
  const char* v = PQresultErrorField(r, code);
  return v ? v : "";
}

// Runs `sql` with text parameters; the result, or nullptr when the server
// refused it with `tolerated`; any other failure raised as Jet's.
ResultPtr Run(PGconn* conn, const std::string& sql, const std::vector<std::string>& params,
              std::string_view tolerated = {}) {
  std::vector<const char*> values;
  for (const auto& p : params) values.push_back(p.c_str());
  ResultPtr r(PQexecParams(conn, sql.c_str(), static_cast<int>(values.size()), nullptr,
                           values.data(), nullptr, nullptr, 0),
              PQclear);
  const ExecStatusType st = PQresultStatus(r.get());
  if (st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK) return r;
  const std::string state = Field(r.get(), PG_DIAG_SQLSTATE);
  if (!tolerated.empty() && state == tolerated) return ResultPtr(nullptr, PQclear);
  throw PgToJetError(state, Field(r.get(), PG_DIAG_MESSAGE_PRIMARY), "", "", "");
}

std::string Quoted(PGconn* conn, std::string_view name) {
  std::unique_ptr<char, void (*)(void*)> q(PQescapeIdentifier(conn, name.data(), name.size()),
                                           PQfreemem);
  return q ? std::string(q.get()) : std::string();
}

}  // namespace

void CreateServerSchema(std::string_view location) {
  const std::string schema = ServerFolderSchema(location);
  ConnPtr conn = Connect(location);
  if (!Run(conn.get(), "CREATE SCHEMA " + Quoted(conn.get(), schema), {}, kDuplicateSchema))
    ThrowJet(jeterr::kDatabaseExists, {}, kSourceWorkspace);
}

bool RenameServerSchema(std::string_view location, std::string_view newName) {
  const std::string schema = ServerFolderSchema(location);
  ConnPtr conn = Connect(location);
  return Run(conn.get(),
             "ALTER SCHEMA " + Quoted(conn.get(), schema) + " RENAME TO " +
                 Quoted(conn.get(), newName),
             {}, kDuplicateSchema) != nullptr;
}

bool ServerSchemaExists(std::string_view location) {
  const std::string schema = ServerFolderSchema(location);
  ConnPtr conn = Connect(location);
  ResultPtr r = Run(conn.get(), "SELECT 1 FROM pg_namespace WHERE nspname = $1", {schema});
  return PQntuples(r.get()) > 0;
}

std::vector<std::string> ServerSchemasNumbered(std::string_view location, std::string_view prefix) {
  ConnPtr conn = Connect(location);
  ResultPtr r = Run(conn.get(),
                    "SELECT nspname FROM pg_namespace "
                    "WHERE left(nspname, length($1)) = $1 ORDER BY nspname",
                    {std::string(prefix)});
  std::vector<std::string> names;
  for (int i = 0; i < PQntuples(r.get()); ++i) {
    const std::string name = PQgetvalue(r.get(), i, 0);
    const std::string_view rest = std::string_view(name).substr(prefix.size());
    bool digits = !rest.empty();
    for (char c : rest) digits = digits && c >= '0' && c <= '9';
    if (digits) names.push_back(name);
  }
  return names;
}

void DropServerSchemas(std::string_view location, const std::vector<std::string>& names,
                       bool probe) {
  if (names.empty()) return;
  ConnPtr conn = Connect(location);
  Run(conn.get(), "BEGIN", {});
  Run(conn.get(), "SET LOCAL lock_timeout = 1", {});
  // A schema another session has open (PgConnection's kOpenLockClass) is
  // in use: no waiting for it.
  for (const std::string& name : names) {
    ResultPtr held = Run(conn.get(),
                         "SELECT NOT pg_try_advisory_xact_lock(" + std::to_string(kOpenLockClass) +
                             ", oid::integer) FROM pg_namespace WHERE nspname = $1",
                         {name});
    if (PQntuples(held.get()) > 0 && *PQgetvalue(held.get(), 0, 0) == 't')
      throw Error(jeterr::kLocked, JetErrorText(jeterr::kLocked), std::string(kSourceDatabase));
  }
  for (const std::string& name : names)
    Run(conn.get(), "DROP SCHEMA IF EXISTS " + Quoted(conn.get(), name) + " CASCADE", {});
  Run(conn.get(), probe ? "ROLLBACK" : "COMMIT", {});
}

}  // namespace qv::jet
