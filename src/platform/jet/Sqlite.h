#pragma once
// The thin RAII layer over the SQLite C API. Internal to platform/jet: this
// is the one header that includes sqlite3.h, and only platform/jet sources
// include it.

#include <sqlite3.h>

#include <memory>
#include <string_view>

#include "platform/automation/Error.h"
#include "platform/jet/JetError.h"

namespace qv::jet::sqlite {

struct DbCloser {
  // close_v2 defers the close until the last statement is finalized.
  void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
struct StmtFinalizer {
  void operator()(sqlite3_stmt* s) const noexcept { sqlite3_finalize(s); }
};
using DbPtr = std::unique_ptr<sqlite3, DbCloser>;
using StmtPtr = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

// Raises the Jet error for `rc` unless it is SQLITE_OK, SQLITE_ROW or
// SQLITE_DONE. An error a Jet user function raised while the call ran is
// raised as it was (its number and text), not as SQLite's wrapper of it.
inline void Check(int rc, sqlite3* db, std::string_view source = kSourceDatabase);
[[noreturn]] void Throw(int rc, sqlite3* db, std::string_view source = kSourceDatabase);

// Prepares one statement; `persistent` hints that it will be cached.
StmtPtr Prepare(sqlite3* db, std::string_view sql, bool persistent = false,
                std::string_view source = kSourceDatabase);
// Runs SQL text (one or more statements) without results.
void Exec(sqlite3* db, const char* sql, std::string_view source = kSourceDatabase);

// A scoped savepoint: released by Commit, rolled back (and released) when
// it ends without. Nested in an open transaction, what it released stays
// part of that transaction and is undone by its rollback.
class Savepoint {
 public:
  explicit Savepoint(sqlite3* db);
  ~Savepoint();
  Savepoint(const Savepoint&) = delete;
  Savepoint& operator=(const Savepoint&) = delete;
  void Commit();

 private:
  sqlite3* db_;
};

// A Jet user function reports its Error through this slot (per thread: the
// function runs inside the sqlite3_step of the same thread) before it calls
// sqlite3_result_error; Throw raises it in place of SQLite's message.
void SetFunctionError(Error e);

// Appends `name` to `out` as a quoted SQLite identifier.
void AppendQuoted(std::string& out, std::string_view name);
// Appends `text` to `out` as a SQLite string literal.
void AppendLiteral(std::string& out, std::string_view text);

inline void Check(int rc, sqlite3* db, std::string_view source) {
  if (rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE) Throw(rc, db, source);
}

}  // namespace qv::jet::sqlite
