#pragma once
// The cells of recordsets' rows and edit buffers, kept per thread between
// recordsets: a mapper opens, edits and closes its tables' recordsets on
// every call, and a table of dozens of fields makes vectors of a few
// kilobytes, beyond the heap's per-thread cache, so each went through the
// heap's bins (about 1.3k instructions a malloc in a person's save). A
// closed recordset gives its vectors back empty; an open or an edit takes
// one of the capacity it needs. Under the address sanitizer nothing is kept,
// so that a use of a closed recordset's cells is still caught.

#include <cstddef>
#include <utility>
#include <vector>

#include "platform/automation/Variant.h"

namespace qv::dao {

namespace spare_cells {

// Smaller vectors come from the heap's per-thread cache anyway.
inline constexpr size_t kMinCells = 16;
inline constexpr size_t kMaxKept = 8;
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kKeep = false;
#else
inline constexpr bool kKeep = true;
#endif

struct Kept {
  std::vector<Variant> cells[kMaxKept];
  size_t count = 0;
  ~Kept();
};

// Set when the thread's kept cells are gone (a recordset closed by another
// object's destructor at thread exit gives its cells to the heap); trivially
// destructible, so valid until the thread's end.
inline thread_local bool tGone = false;

inline Kept::~Kept() {
  tGone = true;
}

inline Kept* ThreadKept() {
  if (tGone) return nullptr;
  thread_local Kept kept;
  return &kept;
}

}  // namespace spare_cells

// An empty vector with room for `cells` values at least.
inline std::vector<Variant> TakeSpareCells(size_t cells) {
  using namespace spare_cells;
  if (kKeep && cells >= kMinCells)
    if (Kept* k = ThreadKept())
      for (size_t i = 0; i < k->count; ++i)
        if (k->cells[i].capacity() >= cells) {
          std::vector<Variant> v = std::move(k->cells[i]);
          if (i + 1 < k->count) k->cells[i] = std::move(k->cells[k->count - 1]);
          --k->count;
          return v;
        }
  std::vector<Variant> v;
  v.reserve(cells);
  return v;
}

// Empties `cells` (its values destroyed) and keeps its memory for the
// thread's next TakeSpareCells; `cells` is left without memory.
inline void GiveSpareCells(std::vector<Variant>& cells) {
  using namespace spare_cells;
  cells.clear();
  if (kKeep && cells.capacity() >= kMinCells)
    if (Kept* k = ThreadKept(); k && k->count < kMaxKept) k->cells[k->count++] = std::move(cells);
  cells = {};
}

}  // namespace qv::dao
