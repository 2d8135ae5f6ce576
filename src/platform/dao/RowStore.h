#pragma once
// The rows of a statement kept compactly: a cell that is a number, a date,
// a Null or a text takes one 16-byte slot, a text's bytes going into one
// buffer of all the texts, so that reading a row allocates nothing; other
// values (byte arrays, Booleans, Currency ...) are kept as Variants aside.
// A row becomes Variants only when it is read, into cells the reader keeps
// from row to row. A thread keeps the buffers of a few released stores for
// its next recordset, so that reading many results does not allocate and
// fault in the same memory over and over.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/automation/Variant.h"

namespace qv::jet {
class Statement;
}

namespace qv::dao {

class RowStore {
 public:
  RowStore() = default;
  ~RowStore();
  RowStore(const RowStore&) = delete;
  RowStore& operator=(const RowStore&) = delete;

  // Empties the store for rows of `columns` cells.
  void Reset(int32_t columns);
  // Appends the current row of `st`: its first `columns` cells, as
  // Statement::Values reads them.
  void Append(const jet::Statement& st);
  // Row `row`'s values into out[0 .. columns); a text goes into the String
  // a cell holds already. REQUIRES: row < Rows().
  void Read(int64_t row, Variant* out) const;
  int64_t Rows() const { return rows_; }

  // A cell: its kind (jet::Statement::Cell::Kind) and its value, or where
  // its text or its Variant is.
  struct Slot {
    uint32_t kind;
    uint32_t size;  // a text's bytes
    union {
      double number;
      uint64_t at;  // a text's offset in texts_, a value's index in others_
    };
  };

 private:
  void Release();

  size_t columns_ = 0;
  int64_t rows_ = 0;
  std::vector<Slot> slots_;
  std::string texts_;
  std::vector<Variant> others_;
};

}  // namespace qv::dao
