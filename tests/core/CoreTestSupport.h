#pragma once
// A fresh data folder per test: the schema's files, built once per test
// program and copied, with a registry file of the test's own pointing the
// library at it (QV_REGISTRY) and the thread's session started anew. With
// QV_TEST_FOLDER=server the folder is a database of the test server instead
// (support/ServerTestFolders.h), copied from a template built once per
// program: the same tests, the other engine.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/mErrorHandling.h"
#include "core/miDataBase.h"
#include "core/schema/SchemaBuilder.h"
#include "platform/ado/Recordset.h"
#include "platform/automation/Collection.h"
#include "platform/automation/Error.h"
#include "platform/os/RegistryStore.h"
#include "support/ServerTestFolders.h"
#include "support/TestSupport.h"

namespace qv::coretest {

namespace fs = std::filesystem;
using testsupport::ExpectError;
using testsupport::kAnyError;
using testsupport::RaisedError;

// The folder built from the schema, once per process.
inline const fs::path& TemplateFolder() {
  struct Template {
    testsupport::TempFolder dir{"qvcore-template"};
    Template() { schema::BuildDataFolder(dir.Path().string()); }
  };
  static Template t;
  return t.dir.Path();
}

inline constexpr std::string_view kGeneralKey = "SOFTWARE\\Kestrane\\Quivane\\General";

// What an operation called by name gave, as one text: every column of
// every row of a recordset ("a|b;" per row), the identifiers of a
// collection's items ("1;2;"), a plain value as CStr writes it.
inline std::string RenderResult(const Variant& v) {
  if (v.IsNull()) return "Null";
  if (!v.IsObject()) return CStr(v);
  if (auto rs = std::dynamic_pointer_cast<ado::Recordset>(v.AsObject())) {
    std::string text;
    for (size_t r = 0; r < rs->RowCount(); ++r) {
      for (size_t c = 0; c < rs->FieldCount(); ++c) {
        const Variant& cell = rs->Value(r, c);
        text += (c ? "|" : "") + (cell.IsNull() ? std::string("Null") : CStr(cell));
      }
      text += ";";
    }
    return text;
  }
  if (auto c = std::dynamic_pointer_cast<Collection>(v.AsObject())) {
    std::string text;
    for (int32_t i = 1; i <= c->Count(); ++i) text += CStr(c->At(i).AsObject()->Get("ID")) + ";";
    return text;
  }
  return "an object";
}

// A forked child process running `body`: its result text comes back
// through a pipe once the child has ended. The child leaves by _exit, so
// nothing of the test program (static destructors, gtest) runs in it.
// REQUIRES: the calling process holds no open database at the fork.
class Child {
 public:
  explicit Child(const std::function<std::string()>& body) {
    if (::pipe(out_) != 0) throw std::runtime_error("pipe failed");
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      ::close(out_[0]);
      std::string text;
      try {
        text = body();
      } catch (const Error& e) {
        text = "error " + std::to_string(e.Number()) + ": " + e.Description();
      } catch (...) {
        text = "unknown exception";
      }
      size_t done = 0;
      while (done < text.size()) {
        const ssize_t n = ::write(out_[1], text.data() + done, text.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
      }
      ::_exit(0);
    }
    ::close(out_[1]);
  }
  ~Child() {
    if (pid_ > 0) Join();
  }
  // Ends the child at once (SIGKILL): nothing of it runs after this.
  void Kill() {
    if (pid_ > 0) ::kill(pid_, SIGKILL);
  }
  // Waits for the child's end; its result text.
  std::string Join() {
    std::string text;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(out_[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
    ::close(out_[0]);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = 0;
    return text;
  }

 private:
  pid_t pid_ = 0;
  int out_[2] = {-1, -1};
};

// A one-byte signal between processes.
class Signal {
 public:
  Signal() {
    if (::pipe(fds_) != 0) throw std::runtime_error("pipe failed");
  }
  ~Signal() {
    ::close(fds_[0]);
    ::close(fds_[1]);
  }
  void Send() {
    const char c = 1;
    if (::write(fds_[1], &c, 1) != 1) throw std::runtime_error("signal lost");
  }
  void Wait() {
    char c;
    if (::read(fds_[0], &c, 1) != 1) throw std::runtime_error("signal lost");
  }

 private:
  int fds_[2];
};

class DataFolderTest : public ::testing::Test {
 protected:
  // A test may end and start again (TearDown, SetUp) for a fresh folder.
  void SetUp() override {
    fs::create_directories(folder_);
    if (const char* server = testsupport::ServerForTestFolders()) {
      location_ = testsupport::ServerFolderTemplate::Instance(server).New(serverDatabase_);
    } else {
      for (const auto& entry : fs::directory_iterator(TemplateFolder()))
        fs::copy(entry.path(), folder_ / entry.path().filename());
      location_ = folder_.string();
    }
    SetDataBasePath(location_);
    previousSink_ = SetErrorDisplaySink([this](const ErrorDisplay& d) { shown_.push_back(d); });
  }
  void TearDown() override {
    miDataBase::ResetSessionForThread();
    SetErrorDisplaySink(previousSink_);
    serverAdmin_.reset();
    if (!serverDatabase_.empty()) {
      testsupport::ServerFolderTemplate::Instance(testsupport::ServerForTestFolders())
          .Drop(serverDatabase_);
      serverDatabase_.clear();
    }
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  // Points the registry at `path` and starts the session anew.
  void SetDataBasePath(const std::string& path) {
    os::RegistryStore(root_ / "registry.ini")
        .SetValue(os::RegistryRoot::kLocalMachine, kGeneralKey, "DataBasePath",
                  os::RegistryValue::String(path));
    miDataBase::ResetSessionForThread();
  }
  // Writes a file into the local folder folder_. On a server the library
  // reads no file of it (a server folder has no options file: its locking is
  // always on), so a test whose meaning is such a file is a file folder's.
  void WriteFile(const std::string& name, const std::string& content) {
    std::ofstream(folder_ / name, std::ios::binary) << content;
  }
  // Turns the database lock on in the folder's options file and starts the
  // session anew, so that the next open reads it. A server folder's lock is
  // on already: there only the session starts anew.
  void EnableLocking() {
    if (!OnServer())
      WriteFile("Qv_DBOptions.xml", "<DBOptions><Locking Enable=\"yes\"/></DBOptions>");
    miDataBase::ResetSessionForThread();
  }
  // The local folder as the library writes it, ending in "/": the data
  // folder itself on disk. On a server it is a local folder of the test
  // only (the data folder is Location()), which the library does not use.
  std::string Folder() const { return folder_.string() + "/"; }
  // The data folder's location as the registry holds it: the folder's path
  // on disk, or the server database's connection string.
  const std::string& Location() const { return location_; }
  // Whether this run's folders are on the test server.
  bool OnServer() const { return !serverDatabase_.empty(); }
  // A statement of the server's own on the test's server database (its
  // folder schema `public` first in the path), through a connection of the
  // test's apart from the library's sessions; its first value.
  std::string ServerSql(const std::string& sql) {
    if (!OnServer()) throw std::logic_error("ServerSql needs a server folder");
    if (!serverAdmin_) serverAdmin_ = std::make_unique<testsupport::PgAdmin>(location_);
    return serverAdmin_->Value(sql);
  }

  testsupport::TempFolder temp_{"qvcore"};
  const fs::path root_ = temp_.Path();
  const fs::path folder_ = root_ / "data";
  std::vector<ErrorDisplay> shown_;

 private:
  testsupport::ScopedEnv registry_{"QV_REGISTRY", (root_ / "registry.ini").c_str()};
  ErrorDisplaySink previousSink_;
  std::string location_;
  std::string serverDatabase_;  // the test's database on the server
  std::unique_ptr<testsupport::PgAdmin> serverAdmin_;
};

}  // namespace qv::coretest
