#pragma once
// The order in which a recordset shows its rows: the rows not deleted that
// meet the Filter, in the order they were added, stably sorted by the Sort.
//
// Sort text: "Name [ASC|DESC], ..." (a name may be bracketed: [Tax Code]).
// Texts sort ignoring case in the Russian collation; Null sorts first.
// Filter text: "Field op value [AND Field op value ...]" with op one of
// = <> < > <= >= LIKE, and value a quoted text ('it''s'), a date (#2007-03-05#
// or #05.03.2007#), a number, or Null (with = and <> only). LIKE takes a text
// with * or % at its start, its end or both. Comparisons ignore case.

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/ado/RowTable.h"
#include "platform/automation/Variant.h"

namespace qv::ado {

struct SortKey {
  size_t col = 0;
  bool descending = false;
};

enum class FilterOp : uint8_t { kEq, kNe, kLt, kGt, kLe, kGe, kLike };

struct FilterTerm {
  size_t col = 0;
  FilterOp op = FilterOp::kEq;
  Variant value;  // converted to the column's type; Null for "= Null" / "<> Null"
};

// Error 3265 for an unknown field, 3001 for text that is not a sort order.
std::vector<SortKey> ParseSort(const RowTable& table, std::string_view text);
// Error 3265 for an unknown field, 3001 for text that is not a criteria
// (also OR, which is not supported, and a value of the wrong type).
std::vector<FilterTerm> ParseFilter(const RowTable& table, std::string_view text);

// -1, 0 or 1: the order of two values of one column (Null first).
int CompareCells(const Variant& a, const Variant& b);
bool Matches(const RowTable& table, size_t row, const std::vector<FilterTerm>& terms);

std::vector<uint32_t> OrderRows(const RowTable& table, const std::vector<FilterTerm>& filter,
                                const std::vector<SortKey>& sort);

}  // namespace qv::ado
