#pragma once
// The data folder a benchmark works on and the plain SQLite connection its
// raw side uses on the same user database.

#include <sqlite3.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>

#include "core/miDataBase.h"
#include "core/schema/SchemaBuilder.h"
#include "platform/jet/JetFunctionImpl.h"
#include "platform/os/RegistryStore.h"

namespace qvbench {

// A raw-side result code: anything but OK, ROW or DONE ends the program
// with SQLite's message.
inline void Check(int rc, sqlite3* db) {
  if (rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE) {
    std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
    std::abort();
  }
}

// A statement of a raw connection (flags as sqlite3_prepare_v3 takes them);
// null when it does not prepare.
inline sqlite3_stmt* Prepare(sqlite3* db, std::string_view sql, unsigned flags = 0) {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()), flags, &s, nullptr) !=
      SQLITE_OK) {
    sqlite3_finalize(s);
    return nullptr;
  }
  return s;
}

// As Prepare; the program ends with SQLite's message when the statement
// does not prepare.
inline sqlite3_stmt* MustPrepare(sqlite3* db, std::string_view sql, unsigned flags = 0) {
  sqlite3_stmt* s = Prepare(db, sql, flags);
  if (!s) {
    std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(sql.size()), sql.data(),
                 sqlite3_errmsg(db));
    std::abort();
  }
  return s;
}

// BEGIN (IMMEDIATE when asked) and COMMIT of a raw connection, prepared
// once as the library keeps its transaction statements per connection
// (parsing them per call is work ours does not do). Each ends the program
// with SQLite's message when it fails.
class RawTransaction {
 public:
  RawTransaction(sqlite3* db, bool immediate)
      : db_(db),
        begin_(MustPrepare(db, immediate ? "BEGIN IMMEDIATE" : "BEGIN")),
        commit_(MustPrepare(db, "COMMIT")) {}
  ~RawTransaction() {
    sqlite3_finalize(begin_);
    sqlite3_finalize(commit_);
  }
  RawTransaction(const RawTransaction&) = delete;
  RawTransaction& operator=(const RawTransaction&) = delete;
  void Begin() { Run(begin_); }
  void Commit() { Run(commit_); }

 private:
  void Run(sqlite3_stmt* s) {
    Check(sqlite3_step(s), db_);
    sqlite3_reset(s);
  }
  sqlite3* db_;
  sqlite3_stmt* begin_;
  sqlite3_stmt* commit_;
};

class DataFolder {
 public:
  // A temporary folder built from the schema, with a registry file of its
  // own (QV_REGISTRY) pointing the library's session at it.
  explicit DataFolder(const char* stem) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / (std::string(stem) + "XXXXXX")).string();
    if (!mkdtemp(pattern.data())) std::abort();
    path_ = pattern;
    qv::schema::BuildDataFolder(path_.string());
    PointSessionHere();
  }
  // A folder kept between runs (under the build folder): made and built
  // from the schema when it has no user database, then `fill` called on it
  // once; left in place at the end.
  DataFolder(const std::filesystem::path& kept, const std::function<void(DataFolder&)>& fill)
      : path_(kept), kept_(true) {
    if (!std::filesystem::exists(path_ / "filled")) {
      std::filesystem::remove_all(path_);
      std::filesystem::create_directories(path_);
      qv::schema::BuildDataFolder(path_.string());
      fill(*this);
      std::ofstream(path_ / "filled") << "1\n";
    }
    PointSessionHere();
  }
  // Benchmark fixtures are static: this runs after the thread's session is
  // gone (thread-local objects end before static ones), so it only closes
  // the raw connection and removes the files of a temporary folder.
  ~DataFolder() {
    sqlite3_close_v2(raw);
    if (kept_) return;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }

  // Points the library's session of this thread at this folder (a
  // benchmark program with several folders switches between them).
  void PointSessionHere() const {
    const std::string registry = (path_ / "registry.ini").string();
    ::setenv("QV_REGISTRY", registry.c_str(), 1);
    qv::os::RegistryStore(registry).SetValue(qv::os::RegistryRoot::kLocalMachine,
                                             "SOFTWARE\\Kestrane\\Quivane\\General", "DataBasePath",
                                             qv::os::RegistryValue::String(path_.string()));
    qv::miDataBase::ResetSessionForThread();
  }
  DataFolder(const DataFolder&) = delete;
  DataFolder& operator=(const DataFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path UserDatabase() const { return path_ / "Quivane.mdb"; }

  // Opens `raw` on the user database, with the text collation the schema
  // declares so that both sides compare and sort texts alike.
  void OpenRaw() {
    sqlite3_open_v2(UserDatabase().c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                    nullptr);
    sqlite3_busy_timeout(raw, 5000);
    sqlite3_exec(raw, "PRAGMA synchronous = NORMAL", nullptr, nullptr, nullptr);
    qv::jet::RegisterJetCollation(raw);
  }
  // A statement of the raw side; null when it does not prepare.
  sqlite3_stmt* Prepare(std::string_view sql) const { return qvbench::Prepare(raw, sql); }
  // A statement of the raw side that must prepare.
  sqlite3_stmt* MustPrepare(std::string_view sql) const { return qvbench::MustPrepare(raw, sql); }
  // Empties the write-ahead log, so that what one side wrote before does
  // not make the other's commits pay for its checkpoints.
  void EmptyTheLog() const {
    Check(sqlite3_wal_checkpoint_v2(raw, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr));
  }
  // Ends the program with SQLite's message unless `rc` is a success.
  void Check(int rc) const { qvbench::Check(rc, raw); }
  static void Check(int rc, sqlite3* db) { qvbench::Check(rc, db); }

  sqlite3* raw = nullptr;

 private:
  std::filesystem::path path_;
  bool kept_ = false;
};

// The folder of the running benchmark program (the build folder's bench/),
// where folders kept between runs live.
inline std::filesystem::path ProgramFolder() {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

}  // namespace qvbench
