#pragma once
// A fresh data folder per test: the schema's files, built once per test
// program and copied, with a registry file of the test's own pointing the
// library at it (QV_REGISTRY) and the thread's session started anew.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/mErrorHandling.h"
#include "core/miDataBase.h"
#include "core/schema/SchemaBuilder.h"
#include "platform/automation/Error.h"
#include "platform/os/RegistryStore.h"

namespace qv::coretest {

namespace fs = std::filesystem;

inline fs::path MakeTempDir(const char* stem) {
  std::string pattern = (fs::temp_directory_path() / (std::string(stem) + "XXXXXX")).string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  return pattern;
}

// The folder built from the schema, once per process.
inline const fs::path& TemplateFolder() {
  struct Template {
    fs::path dir = MakeTempDir("qvcore-template");
    Template() { schema::BuildDataFolder(dir.string()); }
    ~Template() {
      std::error_code ec;
      fs::remove_all(dir, ec);
    }
  };
  static Template t;
  return t.dir;
}

inline constexpr std::string_view kGeneralKey = "SOFTWARE\\Kestrane\\Quivane\\General";

// The error `f` raises, or nullopt.
inline std::optional<Error> Caught(const std::function<void()>& f) {
  try {
    f();
  } catch (const Error& e) {
    return e;
  }
  return std::nullopt;
}

class DataFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = MakeTempDir("qvcore");
    folder_ = root_ / "data";
    fs::create_directory(folder_);
    for (const auto& entry : fs::directory_iterator(TemplateFolder()))
      fs::copy(entry.path(), folder_ / entry.path().filename());
    if (const char* v = std::getenv("QV_REGISTRY")) savedRegistry_ = v;
    ::setenv("QV_REGISTRY", (root_ / "registry.ini").c_str(), 1);
    SetDataBasePath(folder_.string());
    previousSink_ = SetErrorDisplaySink([this](const ErrorDisplay& d) { shown_.push_back(d); });
  }
  void TearDown() override {
    miDataBase::ResetSessionForThread();
    SetErrorDisplaySink(previousSink_);
    if (savedRegistry_)
      ::setenv("QV_REGISTRY", savedRegistry_->c_str(), 1);
    else
      ::unsetenv("QV_REGISTRY");
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
  void WriteFile(const std::string& name, const std::string& content) {
    std::ofstream(folder_ / name, std::ios::binary) << content;
  }
  // The folder as the library writes it, ending in "/".
  std::string Folder() const { return folder_.string() + "/"; }

  fs::path root_;
  fs::path folder_;
  std::vector<ErrorDisplay> shown_;

 private:
  std::optional<std::string> savedRegistry_;
  ErrorDisplaySink previousSink_;
};

}  // namespace qv::coretest
