#pragma once
// Random Jet selects for the check that the file engine and the server
// answer alike (qv_pg_corpus --random). A statement is a tree of pieces of
// text, so that one the engines disagree on can be made smaller: a piece
// replaced by one of its own expressions, an optional piece left out.

#include <cstdint>
#include <string>
#include <vector>

namespace qv::pgtest {

struct Piece {
  std::string text;  // '\x01' marks where the next part goes
  std::vector<Piece> parts;
  bool expr = false;      // an expression: may stand for an enclosing expression
  bool optional = false;  // may be left out
  std::string Render() const;
};

// The Jet statements that make and fill the tables the selects read.
std::vector<std::string> RandomTables();

// The select of `seed`. Its ORDER BY, when it has one, leaves no two rows of
// one table tied (grouped or distinct rows may tie, as texts equal but for
// case do).
Piece RandomSelect(uint64_t seed);

// The UPDATE, INSERT or DELETE of `seed`, of the same tables.
Piece RandomChange(uint64_t seed);

// Every statement one step smaller than `p`.
std::vector<Piece> Smaller(const Piece& p);

}  // namespace qv::pgtest
