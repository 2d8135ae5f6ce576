#pragma once
// Helpers of the qvdb tests: a temporary folder with a registry file of its
// own (so no test reads or writes the user's), a data folder built once per
// test program, and statements run on a database file.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DataFolder.h"
#include "core/mQvRegistryParams.h"
#include "platform/jet/JetConnection.h"
#include "support/TestSupport.h"

namespace qvdb::test {

namespace fs = std::filesystem;

// A temporary folder whose registry file QV_REGISTRY names while it lives.
class TempFolder : public qv::testsupport::TempFolder {
 public:
  TempFolder() : qv::testsupport::TempFolder("qvdbtest") {
    qv::mQvRegistryParams::ResetRegistryCachesForThread();
  }
  ~TempFolder() { qv::mQvRegistryParams::ResetRegistryCachesForThread(); }

 private:
  qv::testsupport::ScopedEnv registry_{"QV_REGISTRY", File("registry.ini").c_str()};
};

// A data folder made by InitDataFolder once per test program and copied for
// each test that changes it (building one takes a noticeable moment).
inline const fs::path& PristineDataFolder() {
  // Lives to the end of the program (its registry variable with it); the
  // folder goes at exit, in this process only, not in a forked child.
  static TempFolder* holder = [] {
    static const pid_t owner = ::getpid();
    std::atexit([] {
      std::error_code ec;
      if (::getpid() == owner) fs::remove_all(holder->Path(), ec);
    });
    return new TempFolder();
  }();
  static const fs::path folder = [] {
    const fs::path f = holder->Path() / "pristine";
    InitDataFolder(f, false);
    return f;
  }();
  return folder;
}

inline fs::path CopyOfPristine(const TempFolder& into, const std::string& name = "data") {
  const fs::path target = into / name;
  fs::copy(PristineDataFolder(), target, fs::copy_options::recursive);
  return target;
}

using qv::testsupport::ReadFileText;

// Runs statements on a database file, each committed on its own.
inline void Execute(const fs::path& db, const std::vector<std::string>& statements) {
  auto conn = qv::jet::Connection::Open(db.string());
  for (const std::string& sql : statements) conn->Execute(sql);
}

// Every row of a statement on a database file, "|" between values, one line
// per row.
inline std::string Rows(const fs::path& db, const std::string& sql) {
  auto conn = qv::jet::Connection::Open(db.string());
  auto st = conn->Prepare(sql);
  std::string out;
  while (st.Step()) {
    for (int i = 0; i < st.ColumnCount(); ++i) {
      const qv::Variant v = st.Value(i);
      out += (i ? "|" : "") + (v.IsNull() ? std::string("Null") : qv::CStr(v));
    }
    out += "\n";
  }
  return out;
}

// What a shell command prints on its standard output (empty when it cannot
// be started).
inline std::string CommandOutput(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    ::pclose(p);
  }
  return out;
}

}  // namespace qvdb::test

// What every qvdb test file names without its namespace.
namespace qvdb {
namespace fs = std::filesystem;
using qv::Variant;
using qv::testsupport::ExpectError;
using test::CommandOutput;
using test::Execute;
using test::Rows;
using test::TempFolder;
using ::testing::HasSubstr;
using ::testing::Not;
}  // namespace qvdb
