// The console transcripts of README.md that run qvdb, run again as a new
// user would type them, and compared line by line with what they show.
//
// The rules, so that the file reads naturally and the comparison is exact
// where it can be:
// - Commands run in order in one home folder (HOME; no QV_REGISTRY, so the
//   registry is ~/.config/qvdb/registry.ini) with a work folder as the
//   current one, qvdb on PATH and fruit.mdb (the tests' Jet file) in it.
//   A block whose first command is `qvdb init` starts from an empty home.
// - What a command prints on both streams is compared, with the home folder
//   written as /home/me and the source tree's reference data folder as the
//   installed one, /usr/share/Qv_DBProvider/refdata.
// - The one line that depends on the machine's speed, generate's
//   "  N.NN s, N documents/s", matches any numbers.
// - Blocks that run other programs (cmake, python3) are checked by the
//   install tests; a block after the line "<!-- transcript not run: WHY -->"
//   is skipped (it needs a state the file does not set up).

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>

#include "QvdbTestSupport.h"

namespace qvdb {
namespace {

struct Command {
  size_t line;  // in README.md
  std::string text, expected;
};

struct Block {
  size_t line;
  std::vector<Command> commands;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

// The console blocks whose every command runs qvdb.
std::vector<Block> QvdbBlocks(const std::string& readme) {
  const std::vector<std::string> lines = Lines(readme);
  std::vector<Block> blocks;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] != "```console") continue;
    const bool skipped = i > 0 && lines[i - 1].starts_with("<!-- transcript not run");
    Block b{i + 1, {}};
    bool allQvdb = true;
    for (++i; i < lines.size() && lines[i] != "```"; ++i) {
      if (lines[i].starts_with("$ ")) {
        b.commands.push_back({i + 1, lines[i].substr(2), ""});
        allQvdb = allQvdb && b.commands.back().text.find("qvdb ") != std::string::npos;
      } else if (!b.commands.empty()) {
        b.commands.back().expected += lines[i] + "\n";
      }
    }
    if (!skipped && allQvdb && !b.commands.empty()) blocks.push_back(std::move(b));
  }
  return blocks;
}

std::string ReplaceAll(std::string s, const std::string& from, const std::string& to) {
  for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
    s.replace(at, from.size(), to);
  return s;
}

// Whether the output is what the file shows, line by line (the speed line
// matches any numbers).
bool Matches(const std::string& actual, const std::string& expected) {
  static const std::regex speed(R"(  [0-9]+\.[0-9]+ s, [0-9]+ documents/s)");
  const auto a = Lines(actual), e = Lines(expected);
  if (a.size() != e.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != e[i] && !(std::regex_match(a[i], speed) && std::regex_match(e[i], speed)))
      return false;
  return true;
}

TEST(ReadmeTranscripts, ShowWhatQvdbPrints) {
  const char* root = std::getenv("QV_SOURCE_DIR");
  ASSERT_NE(root, nullptr) << "QV_SOURCE_DIR names the source tree (ctest sets it)";
  const fs::path source = root;
  const fs::path qvdb =
      fs::canonical("/proc/self/exe").parent_path().parent_path() / "tools" / "qvdb" / "qvdb";
  ASSERT_TRUE(fs::exists(qvdb)) << "build the qvdb target first";
  const fs::path fruit = fs::path(QV_TEST_CACHE) / "fruit.mdb";

  TempFolder tmp;
  const fs::path home = tmp / "home", work = tmp / "work", bin = tmp / "bin";
  fs::create_directories(work);
  fs::create_directories(bin);
  fs::create_symlink(qvdb, bin / "qvdb");
  if (fs::exists(fruit)) fs::copy_file(fruit, work / "fruit.mdb");

  const std::vector<Block> blocks = QvdbBlocks(test::ReadFileText(source / "README.md"));
  ASSERT_GE(blocks.size(), 4u);
  size_t run = 0;
  for (const Block& b : blocks) {
    if (b.commands.front().text.starts_with("qvdb init ")) {
      std::error_code ec;
      fs::remove_all(home, ec);
    }
    fs::create_directories(home);
    for (const Command& c : b.commands) {
      if (c.text.find("fruit.mdb") != std::string::npos && !fs::exists(fruit)) {
        std::cerr << "README.md:" << c.line << ": not run: no " << fruit << "\n";
        continue;
      }
      const std::string shell = "cd '" + work.string() + "' && env -i HOME='" + home.string() +
                                "' PATH='" + bin.string() + ":/usr/bin:/bin' LANG=C.UTF-8 " +
                                "bash -c " + "'" + ReplaceAll(c.text, "'", "'\\''") + "' >'" +
                                (tmp / "out").string() + "' 2>&1";
      const int status = std::system(shell.c_str());
      std::string out = test::ReadFileText(tmp / "out");
      out = ReplaceAll(out, home.string(), "/home/me");
      out = ReplaceAll(out, (source / "data" / "refdata").string(),
                       "/usr/share/Qv_DBProvider/refdata");
      EXPECT_TRUE(WIFEXITED(status)) << c.text;
      EXPECT_TRUE(Matches(out, c.expected))
          << "README.md:" << c.line << ": $ " << c.text << "\n--- the file shows:\n"
          << c.expected << "--- qvdb printed:\n"
          << out;
      ++run;
    }
  }
  EXPECT_GE(run, 20u);
}

}  // namespace
}  // namespace qvdb
