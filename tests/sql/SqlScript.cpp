#include "SqlScript.h"

#include <sstream>

namespace qv::sqltest {

std::string TrimSpaces(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

std::vector<Record> ParseScript(const std::string& text) {
  std::vector<Record> out;
  std::istringstream in(text);
  std::string line;
  int number = 0;
  Record* current = nullptr;
  bool inExpected = false;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '#') continue;
    if (TrimSpaces(line).empty()) {
      current = nullptr;
      continue;
    }
    if (!current) {
      current = &out.emplace_back();
      current->line = number;
      current->directive = TrimSpaces(line);
      inExpected = false;
      continue;
    }
    if (!inExpected && line == "----") {
      current->hasExpected = true;
      inExpected = true;
    } else if (inExpected) {
      current->expected.push_back(line);
    } else {
      current->sql += current->sql.empty() ? line : "\n" + line;
    }
  }
  return out;
}

std::vector<std::string> SplitTopLevel(const std::string& s, char sep) {
  std::vector<std::string> parts;
  int depth = 0;
  bool quoted = false;
  std::string cur;
  for (char c : s) {
    if (c == '"') quoted = !quoted;
    if (!quoted && c == '(') ++depth;
    if (!quoted && c == ')') --depth;
    if (!quoted && depth == 0 && c == sep) {
      parts.push_back(TrimSpaces(cur));
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!TrimSpaces(cur).empty()) parts.push_back(TrimSpaces(cur));
  return parts;
}

}  // namespace qv::sqltest
