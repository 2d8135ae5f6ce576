#pragma once
// Data folders on the test server for the fixtures of every subsystem, when
// the environment asks for them (QV_TEST_FOLDER=server, QV_TEST_PG naming the
// server, QV_TEST_JET_SQL the Jet functions' script): a server folder is a
// database of the server with the folder's schemas in it, so a fresh folder
// per test is a copy of a template database built once per process.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "core/miDataBase.h"
#include "core/schema/SchemaBuilder.h"
#include "support/PgTestProcess.h"

namespace qv::testsupport {

// The test server's connection string when the fixtures' folders are to be
// on it (QV_TEST_FOLDER=server), else null. Throws std::runtime_error when
// the folders are asked on a server and QV_TEST_PG names none (TestMain
// skips the program before any test in that case).
inline const char* ServerForTestFolders() {
  const char* mode = std::getenv("QV_TEST_FOLDER");
  if (mode == nullptr || std::string_view(mode) != "server") return nullptr;
  const char* conninfo = std::getenv("QV_TEST_PG");
  if (conninfo == nullptr || *conninfo == '\0')
    throw std::runtime_error("QV_TEST_FOLDER=server needs QV_TEST_PG");
  return conninfo;
}

// The template database `qvtpl_<pid>`: the Jet functions in its schema `jet`
// and the whole data folder built in `public` (a folder location without a
// search path has its schema there, and every folder's search path ends in
// `jet`). New() copies it into a database of the test's own. What the setup
// costs is printed when the process ends. Dropped, with every copy left, at
// the end of the process.
class ServerFolderTemplate {
 public:
  static ServerFolderTemplate& Instance(const char* conninfo) {
    static ServerFolderTemplate t(conninfo);
    return t;
  }

  // A new database copied from the template; its location (the server's
  // connection string naming it) for the registry's DataBasePath.
  std::string New(std::string& name) {
    const auto start = Clock::now();
    name = "qvt_" + std::to_string(::getpid()) + "_" + std::to_string(++count_);
    // The default strategy (WAL_LOG): FILE_COPY took 0.17 s against 0.30 s
    // alone, but checkpoints on each copy, 0.77 s each with two programs at once.
    admin_->Value("CREATE DATABASE " + name + " TEMPLATE " + name_);
    createSeconds_ += Seconds(start);
    return conninfo_ + " dbname=" + name;
  }
  // Drops `name` whatever sessions still use it.
  void Drop(const std::string& name) {
    const auto start = Clock::now();
    admin_->Value("DROP DATABASE IF EXISTS " + name + " WITH (FORCE)");
    dropSeconds_ += Seconds(start);
  }

  ~ServerFolderTemplate() {
    // A forked child that leaves by exit() runs this too: it must neither
    // drop the template nor end the parent's session on the shared socket.
    if (::getpid() != owner_) {
      (void)admin_.release();
      return;
    }
    try {
      admin_->Value("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s\n", e.what());
    }
    if (count_ > 0)
      std::fprintf(stderr,
                   "server folders: template %s built in %.2f s; %d test databases, "
                   "%.1f ms to create and %.1f ms to drop each\n",
                   name_.c_str(), buildSeconds_, count_, 1000 * createSeconds_ / count_,
                   1000 * dropSeconds_ / count_);
  }
  ServerFolderTemplate(const ServerFolderTemplate&) = delete;
  ServerFolderTemplate& operator=(const ServerFolderTemplate&) = delete;

 private:
  using Clock = std::chrono::steady_clock;
  static double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
  }

  explicit ServerFolderTemplate(const char* conninfo)
      : conninfo_(conninfo),
        admin_(std::make_unique<PgAdmin>(conninfo)),
        name_("qvtpl_" + std::to_string(::getpid())) {
    const auto start = Clock::now();
    admin_->Value("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
    admin_->Value("CREATE DATABASE " + name_);
    const std::string location = conninfo_ + " dbname=" + name_;
    {
      const char* functions = std::getenv("QV_TEST_JET_SQL");
      if (functions == nullptr || *functions == '\0')
        throw std::runtime_error("QV_TEST_JET_SQL (the Jet functions' script) is not set");
      const std::optional<std::string> script = sqltest::ReadScriptFile(functions);
      if (!script) throw std::runtime_error(std::string("cannot read ") + functions);
      PgAdmin db(location);
      db.Value("CREATE SCHEMA jet");
      db.Value("SET search_path TO jet");
      db.Value(*script);
    }
    schema::BuildDataFolder(location);
    // No session may use the template while it is copied.
    miDataBase::ResetSessionForThread();
    buildSeconds_ = Seconds(start);
  }

  std::string conninfo_;
  pid_t owner_ = ::getpid();
  std::unique_ptr<PgAdmin> admin_;
  std::string name_;
  int count_ = 0;
  double buildSeconds_ = 0, createSeconds_ = 0, dropSeconds_ = 0;
};

}  // namespace qv::testsupport
