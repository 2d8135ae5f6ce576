#include "platform/os/HostServices.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace qv::os {

namespace {
int64_t ClockMilliseconds(clockid_t clock) {
  timespec ts{};
  if (::clock_gettime(clock, &ts) != 0) ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1000000;
}
}  // namespace

uint32_t GetTickCount() {
  return static_cast<uint32_t>(ClockMilliseconds(CLOCK_BOOTTIME));
}

int64_t MonotonicMilliseconds() {
  return ClockMilliseconds(CLOCK_MONOTONIC);
}

std::string SystemTempPath() {
  const char* env = std::getenv("TMPDIR");
  std::string path = env && *env ? env : "/tmp";
  if (path.back() != '/') path += '/';
  return path;
}

bool IsFileReadable(const std::string& path) {
  // Non-blocking, so that probing a FIFO does not wait for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return false;
  struct stat st {};
  const bool ok = ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
  ::close(fd);
  return ok;
}

bool IsWritable(const std::string& path) {
  return !path.empty() && ::access(path.c_str(), W_OK) == 0;
}

bool OpensReadOnly(const std::string& file) {
  const std::string folder = std::filesystem::path(file).parent_path().string();
  return IsFileReadable(file) && !(IsWritable(file) && IsWritable(folder.empty() ? "." : folder));
}

}  // namespace qv::os
