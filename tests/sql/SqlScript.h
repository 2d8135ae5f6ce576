#pragma once
// Reading a .test file into records; see SqlRunner.cpp for the format.

#include <string>
#include <vector>

namespace qv::sqltest {

struct Record {
  int line = 0;                       // of the directive
  std::string directive;              // "statement ok", "query TT rowsort", "table ..." ...
  std::string sql;                    // the lines after the directive up to "----"
  bool hasExpected = false;           // a "----" line was present
  std::vector<std::string> expected;  // the lines after "----"
};

// Blocks separated by blank lines; lines starting with "#" are comments.
std::vector<Record> ParseScript(const std::string& text);

// Splits `s` at `sep` outside parentheses and double quotes; parts trimmed.
std::vector<std::string> SplitTopLevel(const std::string& s, char sep);

}  // namespace qv::sqltest
