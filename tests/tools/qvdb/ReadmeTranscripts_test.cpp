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
// - A block after the line "<!-- transcript needs a PostgreSQL server -->"
//   runs in a test of its own against the test server (QV_TEST_PG), skipped
//   without one: the blocks from the last one before it that starts with
//   `qvdb init` of a folder, then the server's. Its locations,
//   postgresql://qv@127.0.0.1:41813/NAME, are each a database of the test
//   server made for the run (the server package's Jet functions there in
//   their schema "jet", as the package's extension puts them) and dropped
//   after; the output shows them as the file does.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <map>
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
  bool server = false;  // runs against a PostgreSQL server
};

constexpr std::string_view kServerMark = "<!-- transcript needs a PostgreSQL server -->";
// The server as the file's transcripts show it.
constexpr std::string_view kShownServer = "postgresql://qv@127.0.0.1:41813/";

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
    Block b{i + 1, {}, i > 0 && lines[i - 1] == kServerMark};
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

bool StartsFresh(const Block& b) {
  const std::string& first = b.commands.front().text;
  return first.starts_with("qvdb init ") && !first.starts_with("qvdb init --server");
}

// The test server's databases that stand for the file's server locations.
class ServerLocations {
 public:
  // `conninfo` is the test server's (QV_TEST_PG: host, port and user).
  ServerLocations(const std::string& conninfo, fs::path functions)
      : conninfo_(conninfo), functions_(std::move(functions)) {
    std::map<std::string, std::string> keys;
    std::istringstream in(conninfo);
    for (std::string word; in >> word;)
      if (const size_t eq = word.find('='); eq != std::string::npos)
        keys[word.substr(0, eq)] = word.substr(eq + 1);
    std::string host;
    for (char c : keys["host"]) host += c == '/' ? std::string("%2F") : std::string(1, c);
    prefix_ = "qv_readme_" + std::to_string(getpid()) + "_";
    uri_ = "postgresql://" + keys["user"] + "@" + host + ":" + keys["port"] + "/" + prefix_;
  }
  ~ServerLocations() {
    for (const std::string& name : made_)
      Psql("postgres", "DROP DATABASE IF EXISTS " + prefix_ + name + " WITH (FORCE)");
  }

  // The command with the file's locations replaced by the test server's,
  // each of their databases made (with the Jet functions) the first time.
  std::string Command(const std::string& text) {
    std::string out = text;
    for (size_t at = out.find(kShownServer); at != std::string::npos;
         at = out.find(kShownServer, at + uri_.size())) {
      size_t end = at + kShownServer.size();
      while (end < out.size() &&
             (std::isalnum(static_cast<unsigned char>(out[end])) || out[end] == '_'))
        ++end;
      const std::string name = out.substr(at + kShownServer.size(), end - at - kShownServer.size());
      if (std::find(made_.begin(), made_.end(), name) == made_.end()) Make(name);
      out.replace(at, kShownServer.size(), uri_);
    }
    return out;
  }
  // Output with the test server's locations written as the file's.
  std::string Shown(const std::string& output) const {
    return ReplaceAll(output, uri_, std::string(kShownServer));
  }

 private:
  void Make(const std::string& name) {
    made_.push_back(name);
    Psql("postgres", "CREATE DATABASE " + prefix_ + name);
    // What the server package's extension holds, in the schema it uses.
    Psql(prefix_ + name,
         "CREATE SCHEMA jet; SET search_path TO jet; \\i '" + functions_.string() + "'");
  }
  void Psql(const std::string& db, const std::string& sql) const {
    const std::string command = "psql '" + conninfo_ + " dbname=" + db +
                                "' -qX -v ON_ERROR_STOP=1 >/dev/null <<'EOF'\n" + sql + "\nEOF";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }

  std::string conninfo_;
  fs::path functions_;
  std::string prefix_, uri_;
  std::vector<std::string> made_;
};

// Runs the blocks' commands as the file's rules say and compares what they
// print; returns the number of commands run.
size_t RunBlocks(const std::vector<Block>& blocks, ServerLocations* server) {
  const char* root = std::getenv("QV_SOURCE_DIR");
  EXPECT_NE(root, nullptr) << "QV_SOURCE_DIR names the source tree (ctest sets it)";
  if (!root) return 0;
  const fs::path source = root;
  const fs::path qvdb =
      fs::canonical("/proc/self/exe").parent_path().parent_path() / "tools" / "qvdb" / "qvdb";
  EXPECT_TRUE(fs::exists(qvdb)) << "build the qvdb target first";
  const fs::path fruit = fs::path(QV_TEST_CACHE) / "fruit.mdb";

  TempFolder tmp;
  const fs::path home = tmp / "home", work = tmp / "work", bin = tmp / "bin";
  fs::create_directories(work);
  fs::create_directories(bin);
  fs::create_symlink(qvdb, bin / "qvdb");
  if (fs::exists(fruit)) fs::copy_file(fruit, work / "fruit.mdb");

  size_t run = 0;
  for (const Block& b : blocks) {
    if (StartsFresh(b)) {
      std::error_code ec;
      fs::remove_all(home, ec);
    }
    fs::create_directories(home);
    for (const Command& c : b.commands) {
      // fruit.mdb and what the README makes of it (fruit-linux.mdb) need the fetched file.
      if (c.text.find("fruit") != std::string::npos && !fs::exists(fruit)) {
        std::cerr << "README.md:" << c.line << ": not run: no " << fruit << "\n";
        continue;
      }
      const std::string text = server ? server->Command(c.text) : c.text;
      const std::string shell = "cd '" + work.string() + "' && env -i HOME='" + home.string() +
                                "' PATH='" + bin.string() + ":/usr/bin:/bin' LANG=C.UTF-8 " +
                                "bash -c " + "'" + ReplaceAll(text, "'", "'\\''") + "' >'" +
                                (tmp / "out").string() + "' 2>&1";
      const int status = std::system(shell.c_str());
      std::string out = test::ReadFileText(tmp / "out");
      out = ReplaceAll(out, home.string(), "/home/me");
      out = ReplaceAll(out, (source / "data" / "refdata").string(),
                       "/usr/share/Qv_DBProvider/refdata");
      if (server) out = server->Shown(out);
      EXPECT_TRUE(WIFEXITED(status)) << c.text;
      EXPECT_TRUE(Matches(out, c.expected))
          << "README.md:" << c.line << ": $ " << c.text << "\n--- the file shows:\n"
          << c.expected << "--- qvdb printed:\n"
          << out;
      ++run;
    }
  }
  return run;
}

std::vector<Block> ReadmeBlocks() {
  const char* root = std::getenv("QV_SOURCE_DIR");
  if (!root) return {};
  return QvdbBlocks(test::ReadFileText(fs::path(root) / "README.md"));
}

TEST(ReadmeTranscripts, ShowWhatQvdbPrints) {
  std::vector<Block> blocks = ReadmeBlocks();
  ASSERT_GE(blocks.size(), 4u);
  std::erase_if(blocks, [](const Block& b) { return b.server; });
  EXPECT_GE(RunBlocks(blocks, nullptr), 20u);
}

// The office server's transcripts, after the blocks that make the folder
// they start from.
TEST(ReadmeTranscripts, OfficeServerShowsWhatQvdbPrints) {
  const char* conninfo = std::getenv("QV_TEST_PG");
  if (!conninfo || !*conninfo)
    GTEST_SKIP() << "QV_TEST_PG is not set (scripts/test starts a PostgreSQL server and sets it)";
  const fs::path functions =
      fs::canonical("/proc/self/exe").parent_path().parent_path() / "pg" / "qv_jet_test.sql";
  if (!fs::exists(functions))
    GTEST_SKIP() << "no Jet functions' script " << functions
                 << " (a build without the server module)";
  const std::vector<Block> all = ReadmeBlocks();
  const auto first = std::find_if(all.begin(), all.end(), [](const Block& b) { return b.server; });
  ASSERT_NE(first, all.end()) << "README.md has no server transcript";
  auto from = first;
  while (from != all.begin() && !StartsFresh(*from)) --from;
  const auto last =
      std::find_if(all.rbegin(), all.rend(), [](const Block& b) { return b.server; }).base();
  const std::vector<Block> blocks(from, last);
  ServerLocations server(conninfo, functions);
  size_t serverCommands = 0;
  for (const Block& b : blocks)
    if (b.server) serverCommands += b.commands.size();
  EXPECT_GE(serverCommands, 5u);
  EXPECT_GE(RunBlocks(blocks, &server), serverCommands);
}

}  // namespace
}  // namespace qvdb
