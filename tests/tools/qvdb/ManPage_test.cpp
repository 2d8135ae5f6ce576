// The hand-written manual page tools/qvdb/qvdb.1 against the program: every
// command and every option `qvdb --help-all` lists is described there, the
// sections a manual page needs are there, and groff reads it without a
// warning.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "QvdbTestSupport.h"

namespace qvdb {
namespace {

// The commands ("kladr import" for a nested one) and the long options of
// each, as `qvdb --help-all` lists them.
std::map<std::string, std::set<std::string>> HelpCommands(const std::string& help) {
  std::map<std::string, std::set<std::string>> commands;
  static const std::regex command(R"(^([a-z][a-z-]*)$)");
  static const std::regex nested(R"(^    ([a-z][a-z-]*)  +\S.*)");
  static const std::regex option(R"(^\s+(?:-[a-zA-Z],)?(--[a-z][a-z-]*))");
  std::istringstream in(help);
  std::string current;
  bool inSubcommands = false;
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (std::regex_match(line, m, command)) {
      current = m[1];
      commands[current];
      inSubcommands = false;
    } else if (current.empty()) {
      continue;
    } else if (line == "  Subcommands:") {
      inSubcommands = true;
    } else if (inSubcommands && std::regex_match(line, m, nested)) {
      commands[current + " " + m[1].str()];
    } else if (std::regex_search(line, m, option)) {
      commands[current].insert(m[1]);
    }
  }
  return commands;
}

// The page's text with roff's escaped hyphens plain.
std::string PageText(const std::string& roff) {
  std::string s;
  for (size_t i = 0; i < roff.size(); ++i) {
    if (roff[i] == '\\' && i + 1 < roff.size() && roff[i + 1] == '-') {
      s += '-';
      ++i;
    } else {
      s += roff[i];
    }
  }
  return s;
}

TEST(ManPage, DescribesEveryCommandAndOption) {
  const char* root = std::getenv("QV_SOURCE_DIR");
  ASSERT_NE(root, nullptr) << "QV_SOURCE_DIR names the source tree (ctest sets it)";
  const fs::path page = fs::path(root) / "tools" / "qvdb" / "qvdb.1";
  const std::string text = PageText(test::ReadFileText(page));
  const fs::path qvdb =
      fs::canonical("/proc/self/exe").parent_path().parent_path() / "tools" / "qvdb" / "qvdb";
  ASSERT_TRUE(fs::exists(qvdb)) << "build the qvdb target first";
  const auto commands = HelpCommands(CommandOutput("'" + qvdb.string() + "' --help-all"));
  ASSERT_GE(commands.size(), 12u);
  ASSERT_TRUE(commands.contains("refdata load"));
  ASSERT_TRUE(commands.at("sql").contains("--bail"));  // the parse reads options

  for (const auto& [name, options] : commands) {
    // A nested command's parent has no section of its own.
    const bool parent = std::any_of(commands.begin(), commands.end(),
                                    [&](const auto& c) { return c.first.starts_with(name + " "); });
    if (parent) continue;
    EXPECT_THAT(text, HasSubstr(".SS \"" + name + " ")) << "no section for " << name;
    EXPECT_THAT(text, HasSubstr(".B qvdb " + name + "\n")) << name << " is not in the synopsis";
    for (const std::string& o : options)
      EXPECT_THAT(text, HasSubstr(o)) << name << " " << o << " is not described";
  }

  const char* kSections[] = {".SH NAME",     ".SH SYNOPSIS",    ".SH DESCRIPTION",
                             ".SH COMMANDS", ".SH EXIT STATUS", ".SH ENVIRONMENT",
                             ".SH FILES",    ".SH EXAMPLES",    ".B QV_REGISTRY"};
  for (const char* s : kSections) EXPECT_THAT(text, HasSubstr(s));

  // groff reads it without a warning (where it is installed).
  if (std::system("command -v groff >/dev/null 2>&1") == 0) {
    EXPECT_EQ(CommandOutput("groff -man -Tutf8 -ww -z '" + page.string() + "' 2>&1"), "");
  }
}

}  // namespace
}  // namespace qvdb
