#include "platform/jet/Sqlite.h"

#include <cstring>
#include <optional>
#include <string>

namespace qv::jet::sqlite {

namespace {
thread_local std::optional<Error> tFunctionError;
}  // namespace

void SetFunctionError(Error e) {
  tFunctionError = std::move(e);
}

void Throw(int rc, sqlite3* db, std::string_view source) {
  if (tFunctionError) {
    Error e = std::move(*tFunctionError);
    tFunctionError.reset();
    throw e;
  }
  int code = db ? sqlite3_extended_errcode(db) : rc;
  // The connection's code can be stale when the failing call did not set it
  // (a misuse); the returned code then decides.
  if ((code & 0xff) != (rc & 0xff)) code = rc;
  std::string_view message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  Error e = SqliteToJetError(code, message, source);
  // Jet's text for a failed read or write says nothing of the cause; the
  // system's does (a full disk, the file-size limit, a lost share).
  const int primary = code & 0xff;
  const int cause = db ? sqlite3_system_errno(db) : 0;
  if ((primary == SQLITE_IOERR || primary == SQLITE_FULL) && cause != 0)
    e = Error(e.Number(), e.Description() + " (" + std::strerror(cause) + ")", e.Source());
  throw e;
}

StmtPtr Prepare(sqlite3* db, std::string_view sql, bool persistent, std::string_view source) {
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  int rc = sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()),
                              persistent ? SQLITE_PREPARE_PERSISTENT : 0, &raw, &tail);
  StmtPtr stmt(raw);
  Check(rc, db, source);
  if (!stmt) ThrowJet(jeterr::kInvalidArgument, {}, source);  // empty text or a comment
  return stmt;
}

void Exec(sqlite3* db, const char* sql, std::string_view source) {
  Check(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), db, source);
}

void AppendQuoted(std::string& out, std::string_view name) {
  // Sized once and written byte by byte: every name of a translated
  // statement comes here, and names are short (appending the runs between
  // quotes cost a search and three appends per name).
  size_t quotes = 0;
  for (const char c : name) quotes += c == '"' ? 1 : 0;
  const size_t at = out.size();
  out.resize(at + name.size() + quotes + 2);
  char* p = out.data() + at;
  *p++ = '"';
  for (const char c : name) {
    *p++ = c;
    if (c == '"') *p++ = '"';
  }
  *p = '"';
}

void AppendLiteral(std::string& out, std::string_view text) {
  out += '\'';
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  out += '\'';
}

Savepoint::Savepoint(sqlite3* db) : db_(db) {
  Exec(db_, "SAVEPOINT jet_catalogue");
}

Savepoint::~Savepoint() {
  if (db_)
    sqlite3_exec(db_, "ROLLBACK TO jet_catalogue; RELEASE jet_catalogue", nullptr, nullptr,
                 nullptr);
}

void Savepoint::Commit() {
  Exec(db_, "RELEASE jet_catalogue");
  db_ = nullptr;
}

}  // namespace qv::jet::sqlite
