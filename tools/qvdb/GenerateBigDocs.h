#pragma once
// `qvdb generate`, big-document part: each document of editor type 6 (the
// 6-NDFL calculations from 2024) gets its shard files through the
// library's big-document tables: one volume with 3 to 8 sub-documents, one
// per employee's income statement, each with its static cells (statement
// number, income code, income, tax) and a tabular cell of three monthly
// lines (line 1 is the static cell of its key; lines 2 and 3 are tabular
// rows).
//
// The files are written while the document's registry row is still
// uncommitted, so that a killed run leaves no row without its files (at
// worst files without a row, which `qvdb check` reports and removes).
// The library must read the data folder of the user database
// (PointLibraryAt). Each document's shards are written in one transaction
// of the thread's engine; the seed alone decides the values (a sequence of
// its own, taken in the order of the documents).

#include <cstdint>

#include "SampleData.h"

namespace qvdb {

struct BigDocCounts {
  int64_t documents = 0, subDocs = 0, cells = 0;
};

// Cell keys of an income statement (sub-document type 1) of a big document.
inline constexpr int32_t kStatementNumberKey = 1, kIncomeCodeKey = 2, kIncomeKey = 3, kTaxKey = 4;
inline constexpr int32_t kMonthlyIncomeKey = 10;  // lines 1 .. 3
inline constexpr int32_t kStatementSubDoc = 1;

class BigDocWriter {
 public:
  explicit BigDocWriter(uint64_t seed);
  // Makes and fills the shards of the new document `id` (files of that
  // identifier, left by an interrupted run, are replaced).
  void Write(double id);
  const BigDocCounts& Counts() const { return counts_; }

 private:
  sample::Random r_;
  BigDocCounts counts_;
};

}  // namespace qvdb
