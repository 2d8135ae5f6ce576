#pragma once
// The registry store: one text file of keys and values (RegistryFormat.h)
// standing in for the system registry. Reading never fails: a missing file
// is an empty registry, and malformed lines are skipped and listed by
// Problems(). Writing (for tools and tests) edits the file in place of its
// line, keeping comments and layout, and replaces the file atomically.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os/RegistryFormat.h"

struct stat;

namespace qv::os {

// A line the reader skipped. `line` is 1-based; 0 when the file itself
// could not be read.
struct RegistryProblem {
  int32_t line = 0;
  std::string text;
  std::string reason;
  bool operator==(const RegistryProblem&) const = default;
};

class RegistryStore {
 public:
  explicit RegistryStore(std::filesystem::path file);
  ~RegistryStore();
  RegistryStore(const RegistryStore&) = delete;
  RegistryStore& operator=(const RegistryStore&) = delete;

  // The file the library reads: $QV_REGISTRY when set and not empty, else
  // $XDG_CONFIG_HOME/qvdb/registry.ini (when that variable is an absolute
  // path), else ~/.config/qvdb/registry.ini.
  static std::filesystem::path DefaultPath();
  // The calling thread's store of DefaultPath(); a new one when the
  // environment now names another file.
  static RegistryStore& ForThread();

  const std::filesystem::path& Path() const { return path_; }

  // The value, or nullopt when the key or the value is absent. Names ignore
  // letter case; when a value is given twice, the last one counts. The file
  // is read again when its inode, size or modification time changed.
  std::optional<RegistryValue> Read(RegistryRoot root, std::string_view keyPath,
                                    std::string_view valueName);
  // True for a key named in the file and for every key above it.
  bool KeyExists(RegistryRoot root, std::string_view keyPath);
  // The lines the last read skipped, in file order.
  const std::vector<RegistryProblem>& Problems();
  // Reads the file again when it changed (as a Read does) and returns the
  // number of file readings any store of the process has made: while it is
  // the same, so are the values this store reads. For caching what is
  // worked out from registry values.
  uint64_t Version();

  // Sets a value, creating its key and the file (and its folder) as needed.
  // The value's line is replaced where it stands (its duplicates removed);
  // a new value goes after the last value of its key. Error 5 for an empty
  // key path, a root outside the enumeration, or a name or text holding
  // NUL, CR or LF; error 75 when the file cannot be read or written. The file
  // is left as it was on any error.
  void SetValue(RegistryRoot root, std::string_view keyPath, std::string_view valueName,
                const RegistryValue& value);
  // Removes the value; false when it was not there (the file is not touched).
  bool DeleteValue(RegistryRoot root, std::string_view keyPath, std::string_view valueName);

 private:
  struct Stamp {
    bool exists = false;
    uint64_t device = 0, inode = 0, size = 0;
    int64_t mtimeNs = 0, ctimeNs = 0;
    bool operator==(const Stamp&) const = default;
  };
  using Values = std::map<std::string, RegistryValue>;  // by ValueNameLookupForm

  static Stamp StampOf(const struct ::stat& st);
  void Refresh();
  void Load(std::string_view text);
  // Opens watch_ on the file the path names.
  void Watch();
  static std::string KeyId(RegistryRoot root, std::string_view keyPath);
  // Rewrites the file with `valueName` of the key replaced by `line`, or
  // removed when `line` is nullopt; false when there was nothing to remove.
  bool Edit(RegistryRoot root, std::string_view keyPath, std::string_view valueName,
            const std::optional<std::string>& line);

  std::filesystem::path path_;
  bool loaded_ = false;
  Stamp stamp_;
  // The file read last (O_PATH; -1: none), and the second of the coarse
  // clock the path was last looked up in.
  int watch_ = -1;
  int64_t watchedSecond_ = -1;
  std::map<std::string, Values> keys_;  // by KeyId
  std::set<std::string> knownKeys_;     // KeyIds of every key and its ancestors
  std::vector<RegistryProblem> problems_;
};

}  // namespace qv::os
