#pragma once
// Helpers of the programs that run one table of steps on a database file
// and on a schema of the test server (QV_TEST_PG), and report each step
// whose outcome is not the expected one.

#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>

#include "platform/automation/Error.h"
#include "platform/automation/Variant.h"
#include "platform/automation/VbaText.h"
#include "support/PgTestProcess.h"

namespace qv::testsupport {

// The two places a program runs the same steps on: the database file
// `fileName` in a temporary folder of its own, and a TestSchema (`prefix`,
// `functionsScript`); both removed with the object. Throws
// std::runtime_error.
class FileAndSchema {
 public:
  FileAndSchema(const std::string& conninfo, const std::string& prefix, const char* functionsScript,
                const std::string& fileName)
      : conninfo_(conninfo), schema_(conninfo, prefix, functionsScript) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    folder_ = pattern;
    file_ = (folder_ / fileName).string();
  }
  ~FileAndSchema() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  FileAndSchema(const FileAndSchema&) = delete;
  FileAndSchema& operator=(const FileAndSchema&) = delete;

  const std::string& Conninfo() const { return conninfo_; }
  const std::string& File() const { return file_; }
  const std::string& Server() const { return schema_.Location(); }
  const std::string& SchemaName() const { return schema_.Name(); }

 private:
  std::string conninfo_;
  TestSchema schema_;
  std::filesystem::path folder_;
  std::string file_;
};

// The exit status of a program of steps on both engines: 77 (skipped)
// without QV_TEST_PG, else `run`'s failures (a qv::Error it lets through
// one more) over the places of a FileAndSchema: 0 when there are none.
inline int RunOnFileAndServer(const std::string& prefix, const char* functionsScript,
                              const std::string& fileName,
                              const std::function<int(const FileAndSchema&)>& run) {
  const char* conninfo = TestServerOrSkip();
  if (conninfo == nullptr) return 77;
  std::optional<FileAndSchema> places;
  try {
    places.emplace(conninfo, prefix, functionsScript, fileName);
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return 1;
  }
  try {
    return run(*places) == 0 ? 0 : 1;
  } catch (const Error& e) {
    std::cout << "FAILED: " << e.Number() << " " << e.Description() << '\n';
    return 1;
  }
}

// A value with its type ("Long:5", "Str:x", "Null"): the engines must agree
// on both.
inline std::string RenderTyped(const Variant& v) {
  switch (v.Type()) {
    case VarType::kNull:
      return "Null";
    case VarType::kBoolean:
      return CBool(v) ? "Bool:True" : "Bool:False";
    case VarType::kByte:
      return "Byte:" + CStr(v);
    case VarType::kInteger:
      return "Int:" + CStr(v);
    case VarType::kLong:
      return "Long:" + CStr(v);
    case VarType::kDouble:
      return "Dbl:" + CStr(v);
    case VarType::kSingle:
      return "Sng:" + CStr(v);
    case VarType::kCurrency:
      return "Cur:" + CStr(v);
    case VarType::kDate:
      return "Date:" + CStr(Variant(v.AsDateSerial()));
    case VarType::kString:
      return "Str:" + v.AsString();
    default:
      return "?" + CStr(v);
  }
}

// 1 after saying so when a step's outcome `got` is not `expected`, else 0.
inline int StepFailed(const std::string& engine, const std::string& step,
                      const std::string& expected, const std::string& got) {
  if (got == expected) return 0;
  std::cout << engine << ": FAILED " << step << "\n  expected: " << expected
            << "\n  got:      " << got << '\n';
  return 1;
}

// StepFailed for `call`'s outcome: "error N" for the Error it raises, "ok"
// when none.
inline int StepFailed(const std::string& engine, const std::string& step,
                      const std::string& expected, const std::function<void()>& call) {
  std::string got = "ok";
  try {
    call();
  } catch (const Error& e) {
    got = "error " + std::to_string(e.Number());
  }
  return StepFailed(engine, step, expected, got);
}

}  // namespace qv::testsupport
