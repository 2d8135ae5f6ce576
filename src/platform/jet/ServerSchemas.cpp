#include "platform/jet/ServerSchemas.h"

#include <libpq-fe.h>

#include <algorithm>
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

bool ServerSchemaExists(std::string_view location) {
  const std::string schema = ServerFolderSchema(location);
  ConnPtr conn = Connect(location);
  ResultPtr r = Run(conn.get(), "SELECT 1 FROM pg_namespace WHERE nspname = $1", {schema});
  return PQntuples(r.get()) > 0;
}

std::vector<std::string> ServerSchemasNumbered(std::string_view location, std::string_view prefix,
                                               bool* builds) {
  ConnPtr conn = Connect(location);
  ResultPtr r = Run(conn.get(),
                    "SELECT nspname FROM pg_namespace "
                    "WHERE left(nspname, length($1)) = $1 ORDER BY nspname",
                    {std::string(prefix)});
  std::vector<std::string> names;
  for (int i = 0; i < PQntuples(r.get()); ++i) {
    const std::string name = PQgetvalue(r.get(), i, 0);
    const std::string_view rest = std::string_view(name).substr(prefix.size());
    const size_t n = std::min(rest.find_first_not_of("0123456789"), rest.size());
    if (n > 0 && n == rest.size()) names.push_back(name);
    if (builds && n > 0 && rest.substr(n, 2) == "_n") *builds = true;
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

namespace {

// What follows a schema's name and "_n" in the name of a temporary schema of
// its build: the builder's session id, or an older build's pid and count.
constexpr std::string_view kBuildSuffix = "[0-9]+(_[0-9]+)?$";

// A temporary schema's build lock and open lock (of pg_namespace's row)
// taken as exclusive transaction locks, without waiting: true for each that
// no other session holds.
std::string BuildLockTaken() {
  return "pg_try_advisory_xact_lock(" + std::to_string(kBuildLockClass) +
         ", hashtext(nspname::text))";
}
std::string OpenLockTaken() {
  return "pg_try_advisory_xact_lock(" + std::to_string(kOpenLockClass) + ", oid::integer)";
}

// Whether pg_namespace's row is named $1 followed by a match of the pattern
// $2 (anchored at its start).
constexpr std::string_view kNamedAsBuilds =
    "left(nspname, length($1)) = $1 AND substr(nspname, length($1) + 1) ~ ('^' || $2)";

// The schemas named as builds (kNamedAsBuilds) that are not being built:
// their builder's lock and any open lock taken here, without waiting (nor
// will the transaction's removals wait for a table lock). CASE keeps the
// locks off every other schema.
std::string LeftoverTemporarySchemas() {
  return "SELECT nspname FROM pg_namespace, set_config('lock_timeout', '1', true) "
         "WHERE CASE WHEN " +
         std::string(kNamedAsBuilds) + " THEN " + BuildLockTaken() + " AND " + OpenLockTaken() +
         " ELSE false END";
}

// Removes those (LeftoverTemporarySchemas) in one transaction, or, when
// another session holds a lock on one of their tables, none: they are left
// for the next removal. How many went.
int DropLeftovers(PGconn* conn, const std::string& prefix, const std::string& pattern) {
  try {
    Run(conn, "BEGIN", {});
    ResultPtr gone = Run(conn, LeftoverTemporarySchemas(), {prefix, pattern});
    for (int i = 0; i < PQntuples(gone.get()); ++i)
      Run(conn, "DROP SCHEMA IF EXISTS " + Quoted(conn, PQgetvalue(gone.get(), i, 0)) + " CASCADE",
          {});
    Run(conn, "COMMIT", {});
    return PQntuples(gone.get());
  } catch (const Error&) {
    PQclear(PQexec(conn, "ROLLBACK"));
    return 0;
  }
}

}  // namespace

std::vector<TemporarySchema> SweepTemporarySchemas(std::string_view location,
                                                   std::string_view prefix,
                                                   std::string_view pattern, bool remove) {
  ConnPtr conn = Connect(location);
  PGconn* c = conn.get();
  std::vector<TemporarySchema> found;
  Run(c, "BEGIN", {});
  try {
    // Both locks tried for every schema: each says what holds the schema.
    ResultPtr r = Run(c,
                      "SELECT nspname, NOT " + BuildLockTaken() + ", NOT " + OpenLockTaken() +
                          " FROM pg_namespace, set_config('lock_timeout', '1', true) WHERE " +
                          std::string(kNamedAsBuilds) + " ORDER BY nspname",
                      {std::string(prefix), std::string(pattern)});
    for (int i = 0; i < PQntuples(r.get()); ++i)
      found.push_back({PQgetvalue(r.get(), i, 0), *PQgetvalue(r.get(), i, 1) == 't',
                       *PQgetvalue(r.get(), i, 2) == 't'});
    for (TemporarySchema& t : found) {
      if (!remove || t.building || t.held) continue;
      // Each on its own: one whose tables another transaction locks stays.
      Run(c, "SAVEPOINT sweep", {});
      try {
        Run(c, "DROP SCHEMA IF EXISTS " + Quoted(c, t.name) + " CASCADE", {});
        Run(c, "RELEASE SAVEPOINT sweep", {});
        t.removed = true;
      } catch (const Error& e) {
        if (e.Number() != jeterr::kLocked) throw;
        Run(c, "ROLLBACK TO SAVEPOINT sweep", {});
        t.held = true;
      }
    }
    Run(c, remove ? "COMMIT" : "ROLLBACK", {});
  } catch (...) {
    PQclear(PQexec(c, "ROLLBACK"));
    throw;
  }
  return found;
}

std::string FamilyBuildPattern() {
  return "[0-9]+_n" + std::string(kBuildSuffix);
}

int DropLeftoverBuilds(std::string_view location, std::string_view prefix) {
  ConnPtr conn = Connect(location);
  const std::vector<std::string> params = {std::string(prefix), FamilyBuildPattern()};
  ResultPtr found =
      Run(conn.get(),
          "SELECT 1 FROM pg_namespace WHERE " + std::string(kNamedAsBuilds) + " LIMIT 1", params);
  return PQntuples(found.get()) > 0 ? DropLeftovers(conn.get(), params[0], params[1]) : 0;
}

ServerSchemaBuild::ServerSchemaBuild(std::string_view location, std::string_view family)
    : conn_(Connect(location).release(), PQfinish), schema_(ServerFolderSchema(location)) {
  tempSchema_ = schema_ + "_n" + std::to_string(PQbackendPID(conn_.get()));
  temp_ = ServerLocationInSchema(location, tempSchema_);
  PGconn* conn = conn_.get();
  // The lock first, so that no other build takes the schema for a leftover
  // once it exists; the name as the server keeps it (::name cuts it).
  const std::string prefix = family.empty() ? schema_ + "_n" : std::string(family);
  const std::string pattern = family.empty() ? std::string(kBuildSuffix) : FamilyBuildPattern();
  ResultPtr found = Run(conn,
                        "SELECT nspname FROM pg_namespace WHERE left(nspname, length($1)) = $1 "
                        "AND substr(nspname, length($1) + 1) ~ ('^' || $3) "
                        "UNION ALL SELECT NULL FROM pg_advisory_lock_shared(" +
                            std::to_string(kBuildLockClass) + ", hashtext($2::name::text))",
                        {prefix, tempSchema_, pattern});
  // Left by builds cut off.
  if (PQntuples(found.get()) > 1) DropLeftovers(conn, prefix, pattern);
  if (!Run(conn, "CREATE SCHEMA " + Quoted(conn, tempSchema_), {}, kDuplicateSchema))
    ThrowJet(jeterr::kDatabaseExists, {}, kSourceWorkspace);
}

ServerSchemaBuild::~ServerSchemaBuild() {
  // Without waiting: one that cannot go now is removed by the next build.
  if (!done_)
    PQclear(PQexec(conn_.get(), ("SET lock_timeout = 1; DROP SCHEMA IF EXISTS " +
                                 Quoted(conn_.get(), tempSchema_) + " CASCADE")
                                    .c_str()));
}

bool ServerSchemaBuild::Publish() {
  done_ = Run(conn_.get(),
              "ALTER SCHEMA " + Quoted(conn_.get(), tempSchema_) + " RENAME TO " +
                  Quoted(conn_.get(), schema_),
              {}, kDuplicateSchema) != nullptr;
  return done_;
}

}  // namespace qv::jet
