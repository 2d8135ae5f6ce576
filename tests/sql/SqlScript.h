#pragma once
// The records of a .test file of Jet SQL behaviour (the format SqlRunner.cpp
// describes), shared by the runners that read them.

#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/automation/VbaText.h"

namespace qv::sqltest {

struct Record {
  int line = 0;                       // of the directive
  std::string directive;              // "statement ok", "query TT rowsort", "table ..." ...
  std::string sql;                    // the lines after the directive up to "----"
  std::vector<std::string> expected;  // the lines after "----"
};

// Blocks separated by blank lines; lines starting with "#" are comments.
inline std::vector<Record> ParseScript(const std::string& text) {
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
      inExpected = true;
    } else if (inExpected) {
      current->expected.push_back(line);
    } else {
      current->sql += current->sql.empty() ? line : "\n" + line;
    }
  }
  return out;
}

// The whole text of a .test file; nullopt, said on stderr, when it cannot be read.
inline std::optional<std::string> ReadScriptFile(const char* path) {
  std::ifstream in(path);
  if (!in) {
    std::cerr << "cannot read " << path << "\n";
    return std::nullopt;
  }
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace qv::sqltest
