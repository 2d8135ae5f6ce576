#include "ProgressBar.h"

#include <cstdio>

namespace qvdb {

void ProgressBar::Draw(const std::string& label, const std::string& unit, int64_t done,
                       int64_t total) {
  const auto now = std::chrono::steady_clock::now();
  if (label != label_) {
    label_ = label;
    start_ = now;
  } else if (done < total && now - last_ < std::chrono::milliseconds(100)) {
    return;
  }
  last_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  const int width = 30;
  const int filled = total ? static_cast<int>(width * done / total) : width;
  std::fprintf(stderr, "\r%s%s[%.*s%*s] %3d%% %lld/%lld %s, %.0f/s ", label.c_str(),
               label.empty() ? "" : " ", filled, "##############################", width - filled,
               "", total ? static_cast<int>(100 * done / total) : 100, static_cast<long long>(done),
               static_cast<long long>(total), unit.c_str(), seconds > 0 ? done / seconds : 0.0);
  if (done >= total) std::fprintf(stderr, "\n");
}

}  // namespace qvdb
