#pragma once
// The rows of a statement kept compactly: a cell that is a number, a date,
// a Null or a text takes one 16-byte slot, a text's bytes going into one
// buffer of all the texts, so that reading a row allocates nothing; other
// values (byte arrays, Booleans, Currency ...) are kept as Variants aside.
// A row becomes Variants only when it is read, into cells the reader keeps
// from row to row. The slots and the texts come from the thread's spare
// memory (SpareMemory.h), first in the size the thread's last store grew
// to for what it held (at least the smallest size kept there), so that
// reading many results, small or large, neither allocates nor faults in
// the same memory over and over, nor grows the buffers again each time.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/automation/SpareMemory.h"
#include "platform/automation/Variant.h"
#include "platform/jet/JetStatement.h"

namespace qv::dao {

class RowStore {
 public:
  RowStore() = default;
  RowStore(const RowStore&) = delete;
  RowStore& operator=(const RowStore&) = delete;

  // Empties the store for rows of `columns` cells; 0 gives its memory back.
  void Reset(int32_t columns);
  // Appends the current row of `st`: its first `columns` cells, as
  // Statement::Values reads them.
  void Append(const jet::Statement& st);
  // Row `row`'s values into out[0 .. columns); a text goes into the String
  // a cell holds already. REQUIRES: row < Rows().
  void Read(int64_t row, Variant* out) const;
  int64_t Rows() const { return rows_; }

  // A cell: its kind and its value, or where its text (an offset in
  // texts_) or its Variant (an index in others_) is, in `at`.
  using Slot = jet::Statement::PackedCell;

 private:
  size_t columns_ = 0;
  int64_t rows_ = 0;
  SpareBuffer<Slot> slots_;
  SpareBuffer<char> texts_;
  std::vector<Variant> others_;
};

}  // namespace qv::dao
