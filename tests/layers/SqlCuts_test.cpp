// SQL texts in the code are cut at their clauses. Adjacent string literals
// ("..." "...", the compiler joins them) are where a writer chose to cut a
// statement; every such piece after the first of an SQL text must start
//  - at a clause keyword: SELECT, FROM, [INNER|LEFT|RIGHT|FULL|CROSS [OUTER]]
//    JOIN, ON, WHERE, GROUP BY, HAVING, ORDER BY, UNION, SET, VALUES, INTO,
//    LIMIT, PIVOT, TRANSFORM, WHEN, ELSE, END;
//  - at AND or OR (a long condition), "+" or "&" (a long expression), a
//    comma or after a piece that ends with one (a long list), or at a
//    bracket that closes a sub-select or opens one with SELECT.
// A run of literals is an SQL text when it holds one of SELECT, FROM, WHERE,
// INSERT INTO, UPDATE, DELETE, VALUES, JOIN, ORDER BY, GROUP BY as a word and
// is no prose (no word followed by ". " or a final "."). A piece after a
// value ("... = " + id + " and ...") is where the value cut the text and is
// not checked. Every source and header under src/ and tools/ is scanned.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Piece {
  int line;
  std::string text;  // as written, escapes not decoded
};
using Run = std::vector<Piece>;

bool WordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// The runs of adjacent string literals of a C++ text: literals separated
// only by spaces and comments form one run. Comments, character literals
// and preprocessor lines are skipped; raw strings are read whole.
std::vector<Run> LiteralRuns(std::string_view s) {
  std::vector<Run> runs;
  Run cur;
  auto endRun = [&] {
    if (!cur.empty()) runs.push_back(std::move(cur));
    cur.clear();
  };
  const size_t n = s.size();
  int line = 1;
  bool lineStart = true;  // nothing but spaces since the last line break
  size_t i = 0;
  // Skips to `end` (exclusive), counting the line breaks passed.
  auto skipTo = [&](size_t end) {
    end = std::min(end, n);
    for (; i < end; ++i) line += s[i] == '\n';
  };
  while (i < n) {
    const char c = s[i];
    if (c == '\n') {
      lineStart = true;
      skipTo(i + 1);
      continue;
    }
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
      continue;
    }
    const bool atLineStart = lineStart;
    lineStart = false;
    if (s.substr(i, 2) == "//") {
      i = std::min(s.find('\n', i), n);
    } else if (s.substr(i, 2) == "/*") {
      const size_t end = s.find("*/", i + 2);
      skipTo(end == std::string_view::npos ? n : end + 2);
    } else if (c == '#' && atLineStart) {
      // A preprocessor line, with its continuations.
      endRun();
      size_t end = s.find('\n', i);
      while (end != std::string_view::npos && s[end - 1] == '\\') end = s.find('\n', end + 1);
      skipTo(end);
    } else if (c == '\'') {
      endRun();
      size_t j = i + 1;
      while (j < n && s[j] != '\'') j += s[j] == '\\' ? 2 : 1;
      skipTo(j + 1);
    } else if (WordChar(c)) {
      size_t j = i;
      // A number may hold digit separators (1'000).
      while (j < n && (WordChar(s[j]) || (s[j] == '\'' && std::isdigit(s[i])))) ++j;
      const std::string_view word = s.substr(i, j - i);
      const bool prefix =
          j < n && s[j] == '"' &&
          (word == "u8" || word == "u" || word == "U" || word == "L" || word == "R" ||
           word == "u8R" || word == "uR" || word == "UR" || word == "LR");
      if (!prefix) {
        endRun();
        i = j;
        continue;
      }
      const int start = line;
      if (word.back() == 'R') {
        const size_t open = s.find('(', j);
        const std::string close = ")" + std::string(s.substr(j + 1, open - j - 1)) + "\"";
        const size_t end = std::min(s.find(close, open), n);
        cur.push_back({start, std::string(s.substr(open + 1, end - open - 1))});
        skipTo(end == n ? n : end + close.size());
      } else {
        i = j;  // the quote, read below
      }
    } else if (c == '"') {
      size_t j = i + 1;
      while (j < n && s[j] != '"') j += s[j] == '\\' ? 2 : 1;
      cur.push_back({line, std::string(s.substr(i + 1, j - i - 1))});
      i = j + 1;
    } else {
      endRun();
      ++i;
    }
  }
  endRun();
  return runs;
}

bool IsSqlText(const std::string& joined) {
  static const std::regex sql(
      R"(\b(select|from|where|insert\s+into|update|delete|values|join|order\s+by|group\s+by)\b)",
      std::regex::icase);
  static const std::regex prose(R"([A-Za-z]\.(\s|$))");
  return std::regex_search(joined, sql) && !std::regex_search(joined, prose);
}

// True when `piece`, following `previous` in one run, starts at a cut the
// rule allows.
bool StartsAtCut(const std::string& previous, const std::string& piece) {
  static const std::regex cut(
      R"(^\s*((select|from|where|group\s+by|having|order\s+by|union|)"
      R"(((inner|left|right|full|cross)\s+(outer\s+)?)?join|on|set|values|into|limit|pivot|)"
      R"(transform|when|else|end|and|or)\b|\)|\(\s*select\b|,|\+|&))",
      std::regex::icase);
  const size_t last = previous.find_last_not_of(" \t");
  if (last != std::string::npos && previous[last] == ',') return true;
  return std::regex_search(piece, cut);
}

// "line: piece" for every piece of an SQL text that starts mid-clause.
std::vector<std::string> MidClausePieces(std::string_view source) {
  std::vector<std::string> out;
  for (const Run& run : LiteralRuns(source)) {
    if (run.size() < 2) continue;
    std::string joined;
    for (const Piece& p : run) joined += p.text;
    if (!IsSqlText(joined)) continue;
    for (size_t k = 1; k < run.size(); ++k)
      if (!StartsAtCut(run[k - 1].text, run[k].text))
        out.push_back(std::to_string(run[k].line) + ": \"" + run[k].text + "\"");
  }
  return out;
}

TEST(SqlCuts, NoSqlTextOfTheSourceTreeIsCutMidClause) {
  const char* root = std::getenv("QV_SOURCE_DIR");
  ASSERT_NE(root, nullptr) << "QV_SOURCE_DIR names the source tree (ctest sets it)";
  std::string violations;
  int files = 0;
  for (const char* folder : {"src", "tools"}) {
    const fs::path dir = fs::path(root) / folder;
    ASSERT_TRUE(fs::is_directory(dir)) << dir;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
      const std::string ext = entry.path().extension().string();
      if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp")) continue;
      ++files;
      std::ifstream in(entry.path());
      std::stringstream text;
      text << in.rdbuf();
      for (const std::string& piece : MidClausePieces(text.str()))
        violations += fs::relative(entry.path(), root).generic_string() + ":" + piece + "\n";
    }
  }
  EXPECT_GT(files, 100);
  EXPECT_EQ(violations, "");
}

}  // namespace
