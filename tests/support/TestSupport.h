#pragma once
// Helpers every test program may share: a temporary folder removed with all
// it holds at the end, and the number of the qv::Error a call raises.

#include <stdlib.h>

#include <filesystem>
#include <functional>
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

// The number of the Error `f` raises (0 for none); its description and
// source into the pointers when given.
inline int32_t ErrorNumber(const std::function<void()>& f, std::string* description = nullptr,
                           std::string* source = nullptr) {
  try {
    f();
  } catch (const Error& e) {
    if (description) *description = e.Description();
    if (source) *source = e.Source();
    return e.Number();
  }
  return 0;
}

}  // namespace qv::testsupport
