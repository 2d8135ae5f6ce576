#include "journal/SkippedLogWrites.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/os/HostServices.h"

namespace qv::journal {

namespace {

namespace fs = std::filesystem;

fs::path StateFolder() {
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/')
    return fs::path(state);
  if (const char* home = std::getenv("HOME"); home && *home == '/')
    return fs::path(home) / ".local" / "state";
  return fs::path(os::SystemTempPath());
}

// FNV-1a of the path: a stable name for it.
std::string KeyOf(const std::string& path) {
  uint64_t h = 14695981039346656037ull;
  for (unsigned char c : path) h = (h ^ c) * 1099511628211ull;
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
  return hex;
}

}  // namespace

std::string SkippedWritesFile(const std::string& dbFile) {
  std::error_code ec;
  fs::path absolute = fs::absolute(dbFile, ec);
  if (ec) absolute = dbFile;
  const std::string path = absolute.lexically_normal().string();
  return (StateFolder() / "Qv_DBProvider" / "skipped-log-writes" / KeyOf(path)).string();
}

bool KeepSkippedWrites(const std::string& dbFile, int32_t count) noexcept {
  try {
    const fs::path file = SkippedWritesFile(dbFile);
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const std::string line = std::to_string(count) + "\n";
    const bool ok = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    return ::close(fd) == 0 && ok;
  } catch (...) {
    return false;
  }
}

int64_t KeptSkippedWrites(const std::string& dbFile) {
  std::ifstream in(SkippedWritesFile(dbFile));
  int64_t total = 0;
  for (int64_t n = 0; in >> n;) total += n;
  return total;
}

}  // namespace qv::journal
