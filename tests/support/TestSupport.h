#pragma once
// Helpers every test program shares: a temporary folder removed with all it
// holds at the end, an environment variable set for a scope, a file read
// whole, and the one check of the qv::Error a call raises (or a table of them).

#include <stdlib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <source_location>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/automation/Error.h"

namespace qv::testsupport {

class TempFolder {
 public:
  explicit TempFolder(std::string_view stem = "qvtest") {
    std::string pattern =
        (std::filesystem::temp_directory_path() / (std::string(stem) + "XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::string File(std::string_view name) const { return (path_ / name).string(); }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Sets an environment variable (unsets it for nullptr) for the life of the
// object, then restores what was there before.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    Set(value);
  }
  ~ScopedEnv() { Set(old_ ? old_->c_str() : nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

  void Set(const char* value) const {
    if (value)
      ::setenv(name_, value, 1);
    else
      ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// The whole content of a file, "" when it cannot be read.
inline std::string ReadFileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The Error `call` raises, number 0 when none: for tables whose expected
// outcome is data (a rendered state, "error N"); checks use ExpectError.
inline Error RaisedError(const std::function<void()>& call) {
  try {
    call();
  } catch (const Error& e) {
    return e;
  }
  return Error(0, {});
}

// Checks that `call` raises the Error `number` whose description contains
// `textPart` (any description when it is empty); with `number` 0, that it
// raises nothing. A failure is reported at the caller's line. Returns the
// Error raised (number 0 when none), for checks on its source or chain.
inline constexpr int32_t kAnyError = -1;  // `number` for "some Error, whichever"
inline Error ExpectError(int32_t number, std::string_view textPart,
                         const std::function<void()>& call,
                         std::source_location where = std::source_location::current()) {
  const Error e = RaisedError(call);
  if (e.Number() != 0) {
    const bool numberOk = number == kAnyError ? e.Number() != 0 : e.Number() == number;
    if (!numberOk || e.Description().find(textPart) == std::string::npos)
      ADD_FAILURE_AT(where.file_name(), static_cast<int>(where.line()))
          << "raised " << e.Number() << " \"" << e.Description() << "\" (" << e.Source()
          << "); expected " << number << " with \"" << textPart << "\"";
    return e;
  }
  if (number != 0)
    ADD_FAILURE_AT(where.file_name(), static_cast<int>(where.line()))
        << "raised nothing; expected " << number << " with \"" << textPart << "\"";
  return e;
}

// A call that must raise the Error `number`; `what` names it in a failure.
struct ErrorCase {
  const char* what;
  std::function<void()> call;
  int32_t number;
};

// Runs the cases in order, checking each as ExpectError(number, "", call).
inline void ExpectErrors(std::initializer_list<ErrorCase> cases,
                         std::source_location where = std::source_location::current()) {
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectError(c.number, "", c.call, where);
  }
}

}  // namespace qv::testsupport
