#include "platform/os/RegistryStore.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <system_error>

#include "platform/automation/Error.h"

namespace qv::os {

namespace fs = std::filesystem;

namespace {

constexpr int32_t kPathFileAccessError = 75;
constexpr std::string_view kBom = "\xEF\xBB\xBF";

[[noreturn]] void ThrowFileError(std::string_view what, const fs::path& path, int err) {
  throw Error(kPathFileAccessError, "Path/File access error: cannot " + std::string(what) +
                                        " the registry file '" + path.string() +
                                        "': " + std::strerror(err));
}

// Reads the whole file; 0 on success, else the errno of the failure.
int ReadWholeFile(const fs::path& path, std::string& out, struct stat* st = nullptr) {
  out.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  int err = 0;
  struct stat local {};
  if (::fstat(fd, st ? st : &local) != 0) err = errno;
  char buf[16384];
  while (err == 0) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0)
      out.append(buf, static_cast<size_t>(n));
    else if (n == 0)
      break;
    else if (errno != EINTR)
      err = errno;
  }
  ::close(fd);
  return err;
}

void WriteAll(int fd, std::string_view text, const fs::path& tmp) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int err = errno;
      ::close(fd);
      ::unlink(tmp.c_str());
      ThrowFileError("write", tmp, err);
    }
    text.remove_prefix(static_cast<size_t>(n));
  }
}

// Writes `text` to a new file beside `path` and renames it over `path`, so
// a reader sees either the old or the new content, never a part.
void WriteAtomically(fs::path path, std::string_view text) {
  std::error_code ec;
  if (fs::is_symlink(fs::symlink_status(path, ec))) {  // replace the target, not the link
    path = fs::canonical(path, ec);
    if (ec) ThrowFileError("resolve", path, ec.value());
  }
  if (path.has_parent_path()) fs::create_directories(path.parent_path(), ec);
  if (ec) ThrowFileError("create the folder of", path, ec.value());

  static std::atomic<uint32_t> counter{0};
  const fs::path tmp = path.string() + ".tmp-" + std::to_string(::getpid()) + "-" +
                       std::to_string(counter.fetch_add(1));
  struct stat old {};
  const mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) ThrowFileError("create a temporary copy of", path, errno);
  ::fchmod(fd, mode);  // the umask must not narrow an existing file's mode
  WriteAll(fd, text, tmp);
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    const int err = errno;
    ::unlink(tmp.c_str());
    ThrowFileError("write", tmp, err);
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(tmp.c_str());
    ThrowFileError("replace", path, err);
  }
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const size_t nl = text.find('\n');
    lines.emplace_back(text.substr(0, nl));
    if (nl == std::string_view::npos) break;
    text.remove_prefix(nl + 1);
  }
  return lines;
}

RegistryLine ParseStoredLine(std::string_view line, bool first) {
  if (first && line.starts_with(kBom)) line.remove_prefix(kBom.size());
  return ParseRegistryLine(line);
}

// A line that starts a key, readable or not: its first non-blank is "[".
bool IsKeyLine(std::string_view line) {
  if (line.starts_with(kBom)) line.remove_prefix(kBom.size());
  const size_t first = line.find_first_not_of(" \t");
  return first != std::string_view::npos && line[first] == '[';
}

std::string EnvOrEmpty(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

bool HasControlCharacter(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) < 0x20) return true;
  return false;
}

void CheckWritable(RegistryRoot root, std::string_view keyPath, std::string_view valueName,
                   const RegistryValue* value) {
  if (RegistryRootName(root).empty())
    ThrowVb(vberr::kInvalidProcedureCall, "unknown registry root key");
  if (NormalizeKeyPath(keyPath).empty())
    ThrowVb(vberr::kInvalidProcedureCall, "a registry value needs a key path below the root");
  if (HasControlCharacter(keyPath))
    ThrowVb(vberr::kInvalidProcedureCall, "a registry key path cannot hold control characters");
  // The file holds one value per line, and the registry's texts end at NUL.
  constexpr std::string_view kRejected("\0\r\n", 3);
  const auto bad = [&](std::string_view t) { return t.find_first_of(kRejected) != t.npos; };
  bool rejected = bad(valueName);
  if (value) {
    rejected = rejected || bad(value->text);
    for (const auto& item : value->items) rejected = rejected || bad(item);
  }
  if (rejected)
    ThrowVb(vberr::kInvalidProcedureCall,
            "registry names and texts cannot hold NUL, CR or LF characters");
}

}  // namespace

RegistryStore::RegistryStore(fs::path file) : path_(std::move(file)) {}

RegistryStore::~RegistryStore() {
  if (watch_ >= 0) ::close(watch_);
}

namespace {
std::atomic<uint64_t> fileReadings{0};  // of every store (Version)
}  // namespace

uint64_t RegistryStore::Version() {
  Problems();  // reads the file again when it changed
  return fileReadings.load(std::memory_order_relaxed);
}

fs::path RegistryStore::DefaultPath() {
  const std::string explicitPath = EnvOrEmpty("QV_REGISTRY");
  if (!explicitPath.empty()) return explicitPath;
  const fs::path tail = fs::path("qvdb") / "registry.ini";
  const fs::path xdg = EnvOrEmpty("XDG_CONFIG_HOME");
  if (xdg.is_absolute()) return xdg / tail;
  std::string home = EnvOrEmpty("HOME");
  if (home.empty()) {
    struct passwd pw {};
    struct passwd* found = nullptr;
    char buf[4096];
    if (::getpwuid_r(::getuid(), &pw, buf, sizeof buf, &found) == 0 && found && pw.pw_dir)
      home = pw.pw_dir;
  }
  return fs::path(home) / ".config" / tail;
}

RegistryStore& RegistryStore::ForThread() {
  thread_local std::unique_ptr<RegistryStore> store;
  // The variables DefaultPath read for it: while they are the same, so is
  // the path (a HOME not set takes the password entry's, looked up again).
  thread_local std::string seen[3];
  static constexpr const char* kNames[3] = {"QV_REGISTRY", "XDG_CONFIG_HOME", "HOME"};
  bool same = store != nullptr;
  for (int i = 0; i < 3; ++i) {
    const char* v = std::getenv(kNames[i]);
    const std::string_view now = v ? v : "";
    if (now != seen[i]) {
      seen[i] = now;
      same = false;
    }
  }
  const bool fromPasswd = seen[0].empty() && !seen[1].starts_with('/') && seen[2].empty();
  if (same && !fromPasswd) return *store;
  fs::path path = DefaultPath();
  if (!store || store->Path() != path) store = std::make_unique<RegistryStore>(std::move(path));
  return *store;
}

std::string RegistryStore::KeyId(RegistryRoot root, std::string_view keyPath) {
  return std::to_string(static_cast<uint32_t>(root)) + ":" + KeyPathLookupForm(keyPath);
}

RegistryStore::Stamp RegistryStore::StampOf(const struct ::stat& st) {
  return {true,
          static_cast<uint64_t>(st.st_dev),
          static_cast<uint64_t>(st.st_ino),
          static_cast<uint64_t>(st.st_size),
          int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec,
          int64_t{st.st_ctim.tv_sec} * 1000000000 + st.st_ctim.tv_nsec};
}

namespace {

// Seconds of a clock that is read without a system call.
int64_t CoarseSeconds() {
  struct timespec t {};
  ::clock_gettime(CLOCK_MONOTONIC_COARSE, &t);
  return t.tv_sec;
}

}  // namespace

void RegistryStore::Refresh() {
  // The file read last is looked at through a descriptor of its own: fstat
  // walks no path, which was most of the cost of a call that reads the
  // registry anew. An edit in place changes its size or times; a rename
  // over it leaves it unlinked; a rename of it away (an editor keeping a
  // backup) changes its change time. Any of those, and once a second in
  // any case (a symbolic link or a folder of the path changed, which the
  // file does not show), the path is looked up again.
  struct stat st {};
  const int64_t second = CoarseSeconds();
  if (loaded_ && watch_ >= 0 && second == watchedSecond_ && ::fstat(watch_, &st) == 0 &&
      st.st_nlink > 0 && StampOf(st) == stamp_)
    return;
  Stamp now;
  int statErr = 0;
  if (::stat(path_.c_str(), &st) == 0)
    now = StampOf(st);
  else
    statErr = errno;
  watchedSecond_ = second;
  if (loaded_ && now == stamp_) {
    if (watch_ < 0 && now.exists) Watch();
    return;
  }

  ++fileReadings;
  loaded_ = true;
  stamp_ = now;
  keys_.clear();
  knownKeys_.clear();
  problems_.clear();
  if (watch_ >= 0) {
    ::close(watch_);
    watch_ = -1;
  }
  if (!now.exists) {
    if (statErr != ENOENT && statErr != ENOTDIR && !path_.empty())
      problems_.push_back({0, path_.string(), std::strerror(statErr)});
    return;
  }
  std::string text;
  if (const int err = ReadWholeFile(path_, text); err != 0) {
    problems_.push_back({0, path_.string(), std::strerror(err)});
    return;
  }
  Load(text);
  Watch();
}

void RegistryStore::Watch() {
  // Opened after the stamp was taken: should the path name another file by
  // now, the next look finds its stamp different and reads it.
  watch_ = ::open(path_.c_str(), O_PATH | O_CLOEXEC);
}

void RegistryStore::Load(std::string_view text) {
  const std::vector<std::string> lines = SplitLines(text);
  Values* current = nullptr;
  bool skipping = false;  // values under a key line that could not be read
  for (size_t i = 0; i < lines.size(); ++i) {
    RegistryLine l = ParseStoredLine(lines[i], i == 0);
    const auto lineNo = static_cast<int32_t>(i + 1);
    std::string shown = lines[i];
    if (!shown.empty() && shown.back() == '\r') shown.pop_back();
    switch (l.kind) {
      case RegistryLine::Kind::kBlank:
      case RegistryLine::Kind::kComment:
        break;
      case RegistryLine::Kind::kMalformed:
        problems_.push_back({lineNo, shown, l.error});
        if (IsKeyLine(shown)) {
          current = nullptr;
          skipping = true;
        }
        break;
      case RegistryLine::Kind::kKey: {
        current = &keys_[KeyId(l.root, l.keyPath)];
        skipping = false;
        std::string_view path = l.keyPath;
        knownKeys_.insert(KeyId(l.root, path));
        for (size_t s = path.rfind('\\'); s != std::string_view::npos; s = path.rfind('\\')) {
          path = path.substr(0, s);
          knownKeys_.insert(KeyId(l.root, path));
        }
        knownKeys_.insert(KeyId(l.root, ""));
        break;
      }
      case RegistryLine::Kind::kValue:
        if (current)
          (*current)[ValueNameLookupForm(l.name)] = std::move(l.value);
        else if (!skipping)
          problems_.push_back({lineNo, shown, "value before any key line"});
        break;
    }
  }
}

std::optional<RegistryValue> RegistryStore::Read(RegistryRoot root, std::string_view keyPath,
                                                 std::string_view valueName) {
  Refresh();
  const auto key = keys_.find(KeyId(root, keyPath));
  if (key == keys_.end()) return std::nullopt;
  const auto value = key->second.find(ValueNameLookupForm(valueName));
  if (value == key->second.end()) return std::nullopt;
  return value->second;
}

bool RegistryStore::KeyExists(RegistryRoot root, std::string_view keyPath) {
  if (RegistryRootName(root).empty()) return false;
  if (NormalizeKeyPath(keyPath).empty()) return true;
  Refresh();
  return knownKeys_.contains(KeyId(root, keyPath));
}

const std::vector<RegistryProblem>& RegistryStore::Problems() {
  Refresh();
  return problems_;
}

void RegistryStore::SetValue(RegistryRoot root, std::string_view keyPath,
                             std::string_view valueName, const RegistryValue& value) {
  CheckWritable(root, keyPath, valueName, &value);
  Edit(root, keyPath, valueName, FormatRegistryValueLine(valueName, value));
}

bool RegistryStore::DeleteValue(RegistryRoot root, std::string_view keyPath,
                                std::string_view valueName) {
  CheckWritable(root, keyPath, valueName, nullptr);
  return Edit(root, keyPath, valueName, std::nullopt);
}

bool RegistryStore::Edit(RegistryRoot root, std::string_view keyPath, std::string_view valueName,
                         const std::optional<std::string>& line) {
  std::string text;
  if (const int err = ReadWholeFile(path_, text); err != 0 && err != ENOENT)
    ThrowFileError("read", path_, err);
  std::vector<std::string> lines = SplitLines(text);
  const bool crlf = !lines.empty() && lines.front().ends_with('\r');
  const std::string eol = crlf ? "\r" : "";

  const std::string target = KeyId(root, keyPath);
  const std::string name = ValueNameLookupForm(valueName);
  std::vector<size_t> matches;
  std::optional<size_t> insertAfter;  // last header or value line of the key
  bool inTarget = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    const RegistryLine l = ParseStoredLine(lines[i], i == 0);
    if (IsKeyLine(lines[i])) {
      inTarget = l.kind == RegistryLine::Kind::kKey && KeyId(l.root, l.keyPath) == target;
      if (inTarget) insertAfter = i;
    } else if (inTarget && l.kind == RegistryLine::Kind::kValue) {
      insertAfter = i;
      if (ValueNameLookupForm(l.name) == name) matches.push_back(i);
    }
  }

  if (!line && matches.empty()) return false;
  std::vector<std::string> out;
  out.reserve(lines.size() + 3);
  for (size_t i = 0; i < lines.size(); ++i) {
    const bool isMatch = std::find(matches.begin(), matches.end(), i) != matches.end();
    if (isMatch && line && i == matches.front())
      out.push_back(*line + eol);
    else if (!isMatch)
      out.push_back(lines[i]);
    if (line && matches.empty() && insertAfter == i) out.push_back(*line + eol);
  }
  if (line && !insertAfter) {
    if (!out.empty() && out.back().find_first_not_of(" \t\r") != std::string::npos)
      out.push_back(eol);
    out.push_back(FormatRegistryKeyLine(root, keyPath) + eol);
    out.push_back(*line + eol);
  }
  std::string joined;
  for (const auto& l : out) joined += l + "\n";
  WriteAtomically(path_, joined);
  loaded_ = false;
  return true;
}

}  // namespace qv::os
