#pragma once
// The cells of materialised rows, row-major in blocks of about 4096 cells.
// Blocks are never moved once filled (a row's cells stay where they are
// while rows are added), and a thread keeps a few released blocks for its
// next recordset, so that reading many small results does not allocate and
// free the same memory over and over.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/automation/Variant.h"

namespace qv::dao {

class RowStore {
 public:
  RowStore() = default;
  ~RowStore();
  RowStore(const RowStore&) = delete;
  RowStore& operator=(const RowStore&) = delete;

  // Empties the store for rows of `columns` cells.
  void Reset(int32_t columns);
  // The cells of a new last row, to be set (they may hold numbers of an
  // earlier row).
  Variant* AppendRow();
  // REQUIRES: row < Rows().
  const Variant* Row(int64_t row) const {
    return blocks_[static_cast<size_t>(row / rowsPerBlock_)].get() +
           static_cast<size_t>(row % rowsPerBlock_) * columns_;
  }
  int64_t Rows() const { return rows_; }

 private:
  void Release();

  size_t columns_ = 0;
  int64_t rowsPerBlock_ = 1;
  size_t blockCells_ = 0;
  int64_t rows_ = 0;
  std::vector<std::unique_ptr<Variant[]>> blocks_;
};

}  // namespace qv::dao
