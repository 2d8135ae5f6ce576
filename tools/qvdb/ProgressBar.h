#pragma once
// A progress bar on stderr, redrawn at most ten times a second; a new label
// (the file an import is at) starts a new bar.

#include <chrono>
#include <cstdint>
#include <string>

namespace qvdb {

class ProgressBar {
 public:
  explicit ProgressBar(std::string unit) : unit_(std::move(unit)) {}
  void operator()(int64_t done, int64_t total) { Draw("", unit_, done, total); }
  void Draw(const std::string& label, const std::string& unit, int64_t done, int64_t total);

 private:
  std::string unit_;
  std::string label_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point last_{};
};

}  // namespace qvdb
