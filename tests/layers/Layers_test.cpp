// Layers include only downwards. Every #include "folder/..." of a source
// file under src/ is checked against the table below: a file may include
// its own layer and the layers its row lists, nothing else. A layer that
// needs something from above reaches it through an interface or by ProgID.
// The table is the order src/README.md draws.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Layer {
  std::string_view folder;  // below src/
  std::vector<std::string_view> mayInclude;
};

// src/README.md draws the same order. Every folder of src/ has its row (a
// sibling each, the platform's parts each): a new folder fails the test
// until it is placed.
const std::vector<Layer>& Layers() {
  static const std::vector<Layer> layers = {
      {"platform/automation", {}},
      {"platform/jet", {"platform/automation"}},
      // The lock service locks on a server through the server engine's
      // locations and sessions.
      {"platform/os", {"platform/automation", "platform/jet"}},
      {"platform/dao", {"platform/automation", "platform/jet"}},
      {"platform/ado", {"platform/automation", "platform/jet", "platform/dao"}},
      // The stand-ins for the sibling libraries know only the platform, and
      // not one another: the library reaches them by ProgID.
      {"siblings/records", {"platform"}},
      {"siblings/courier", {"platform"}},
      {"siblings/kprapplied", {"platform"}},
      {"siblings/kprsrv", {"platform"}},
      {"siblings/packer", {"platform"}},
      {"siblings/pfractions", {"platform"}},
      {"siblings/storages", {"platform"}},
      {"siblings/things", {"platform"}},
      {"core", {"platform", "siblings"}},
      // Temporary databases need the session and the toolkit only.
      {"tempdb", {"platform", "siblings", "core"}},
      {"records", {"platform", "siblings", "core"}},
      {"queries", {"platform", "siblings", "core", "records"}},
      // The domain subsystems stand side by side on the queries; the one
      // step between them: the event log names an entry's user by the
      // rights system's lookup (miPerms::GetUserName).
      {"perms", {"platform", "siblings", "core", "records", "queries"}},
      {"journal", {"platform", "siblings", "core", "records", "queries", "perms"}},
      {"warrants", {"platform", "siblings", "core", "records", "queries"}},
      {"doctables", {"platform", "siblings", "core", "records", "queries"}},
      {"pfr", {"platform", "siblings", "core", "records", "queries"}},
  };
  return layers;
}

bool Under(std::string_view path, std::string_view folder) {
  return path.starts_with(folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

// The layer a path below src/ belongs to: the most specific row, or null.
const Layer* LayerOf(std::string_view path) {
  const Layer* best = nullptr;
  for (const Layer& l : Layers())
    if (Under(path, l.folder) && (!best || l.folder.size() > best->folder.size())) best = &l;
  return best;
}

// True when the file `from` (below src/) may include `target` (as written
// in its #include, relative to src/). A file in no row may include nothing.
bool MayInclude(std::string_view from, std::string_view target) {
  const Layer* own = LayerOf(from);
  if (!own) return false;
  if (Under(target, own->folder)) return true;
  for (std::string_view a : own->mayInclude)
    if (Under(target, a)) return true;
  return false;
}

// Every folder of src/ that holds sources has its own row, or sits below
// one that is not split further (core/schema under core).
TEST(Layers, EveryFolderHasARow) {
  const char* root = std::getenv("QV_SOURCE_DIR");
  ASSERT_NE(root, nullptr) << "QV_SOURCE_DIR names the source tree (ctest sets it)";
  const fs::path src = fs::path(root) / "src";
  std::string missing;
  for (const auto& entry : fs::recursive_directory_iterator(src)) {
    if (!entry.is_directory()) continue;
    const std::string folder = fs::relative(entry.path(), src).generic_string();
    const bool split = folder == "platform" || folder == "siblings";
    const Layer* row = LayerOf(folder);
    if (!split && !row) missing += folder + "\n";
  }
  EXPECT_EQ(missing, "");
}

TEST(Layers, NoSourceIncludesALayerAboveIt) {
  const char* root = std::getenv("QV_SOURCE_DIR");
  ASSERT_NE(root, nullptr) << "QV_SOURCE_DIR names the source tree (ctest sets it)";
  const fs::path src = fs::path(root) / "src";
  ASSERT_TRUE(fs::is_directory(src)) << src;
  const std::regex include(R"re(^\s*#\s*include\s*"([^"]+/[^"]+)")re");
  std::string violations;
  int files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(src)) {
    const std::string ext = entry.path().extension().string();
    if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp")) continue;
    ++files;
    const std::string from = fs::relative(entry.path(), src).generic_string();
    std::ifstream in(entry.path());
    std::string line;
    std::smatch m;
    while (std::getline(in, line))
      if (std::regex_search(line, m, include) && !MayInclude(from, m[1].str()))
        violations += from + " includes " + m[1].str() + "\n";
  }
  EXPECT_GT(files, 100);
  EXPECT_EQ(violations, "");
}

}  // namespace
