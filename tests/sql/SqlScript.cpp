#include "SqlScript.h"

#include <sstream>

#include "platform/automation/VbaText.h"

namespace qv::sqltest {

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
    if (TrimWhitespace(line).empty()) {
      current = nullptr;
      continue;
    }
    if (!current) {
      current = &out.emplace_back();
      current->line = number;
      current->directive = std::string(TrimWhitespace(line));
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
      parts.emplace_back(TrimWhitespace(cur));
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!TrimWhitespace(cur).empty()) parts.emplace_back(TrimWhitespace(cur));
  return parts;
}

}  // namespace qv::sqltest
