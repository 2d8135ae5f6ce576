#pragma once
// A fresh folder per test and a connection to a new database in it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/automation/Error.h"
#include "platform/jet/JetConnection.h"

namespace qv::jet::testing {

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qvjetXXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

class JetTest : public ::testing::Test {
 protected:
  JetTest() : db_(Connection::Create(folder_.File("Test.mdb"))) {}

  // The single value of a native query, as Variant::Describe renders it.
  std::string Native(const std::string& sql) {
    Statement s = db_->PrepareNative(sql);
    if (!s.Step()) return "(no row)";
    return s.Value(0).Describe();
  }

  TempFolder folder_;
  std::shared_ptr<Connection> db_;
};

// The number of the Error `f` raises, or 0 when it raises none.
template <class F>
int32_t ErrorNumber(F&& f, std::string* description = nullptr) {
  try {
    f();
  } catch (const Error& e) {
    if (description) *description = e.Description();
    return e.Number();
  }
  return 0;
}

}  // namespace qv::jet::testing
