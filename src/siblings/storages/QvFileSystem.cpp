#include "siblings/storages/QvFileSystem.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

namespace qv::storages {

namespace fs = std::filesystem;

bool MatchesWildcard(std::string_view name, std::string_view pattern) {
  // Greedy matching with one backtrack point: the last "*" seen.
  size_t n = 0, p = 0, star = std::string_view::npos, mark = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++n, ++p;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool QvFileSystem::ForceFolder(const std::string& aPath, std::string& rErrorText) {
  rErrorText.clear();
  if (aPath.empty()) {
    rErrorText = "Cannot create a folder without a name";
    return false;
  }
  std::error_code ec;
  fs::create_directories(aPath, ec);
  if (!ec && fs::is_directory(aPath, ec)) return true;
  if (!ec) ec = std::make_error_code(std::errc::not_a_directory);
  rErrorText = "Cannot create the folder " + aPath + ": " + ec.message();
  return false;
}

int32_t QvFileSystem::DeleteFiles(const std::string& aMask) {
  const fs::path mask(aMask);
  const std::string pattern = mask.filename().string();
  const fs::path folder = mask.has_parent_path() ? mask.parent_path() : fs::path(".");
  std::error_code ec;
  std::vector<fs::path> matching;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeEc;
    if (it->is_regular_file(typeEc) && MatchesWildcard(it->path().filename().string(), pattern))
      matching.push_back(it->path());
  }
  std::sort(matching.begin(), matching.end());
  int32_t deleted = 0;
  for (const fs::path& file : matching) {
    if (!fs::remove(file, ec) && ec)
      ThrowVb(vberr::kPathFileAccessError, file.string() + ": " + ec.message());
    ++deleted;
  }
  return deleted;
}

QV_DEFINE_CLASS(QvFileSystem, "Qv_Storages.QvFileSystem", QV_CREATABLE(QvFileSystem),
                Method("ForceFolder(aPath, rErrorText)", &QvFileSystem::ForceFolder),
                Method("DeleteFiles(aMask)", &QvFileSystem::DeleteFiles))

}  // namespace qv::storages
