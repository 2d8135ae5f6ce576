#include "platform/dao/RowStore.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>

#include "platform/automation/SpareMemory.h"

namespace qv::dao {

namespace {

using Kind = jet::Statement::Cell::Kind;

// Where the thread's next store of T's starts: the size its last store
// would have grown to for what it held (the smallest size the spare memory
// keeps, doubled), unless the spare memory would not keep that.
template <class T>
size_t& FirstBytes() {
  thread_local size_t bytes = kSpareMinBytes;
  return bytes;
}

}  // namespace

template <class T>
void RowStore::Buffer<T>::Grow(size_t n) {
  static_assert(std::is_trivially_copyable_v<T> && kSpareMinBytes % sizeof(T) == 0);
  // Whole multiples of the smallest kept size, doubled: a result read again
  // asks for the sizes it asked for before, which the spare memory has.
  const size_t needed = (size + n) * sizeof(T);
  size_t bytes = capacity > 0 ? 2 * capacity * sizeof(T) : FirstBytes<T>();
  if (bytes < needed) bytes = (needed + kSpareMinBytes - 1) / kSpareMinBytes * kSpareMinBytes;
  T* grown = static_cast<T*>(AllocateSpare(bytes));
  if (size > 0) std::memcpy(grown, data, size * sizeof(T));
  FreeSpare(data, capacity * sizeof(T));
  data = grown;
  capacity = bytes / sizeof(T);
}

template <class T>
void RowStore::Buffer<T>::Free() noexcept {
  if (!data) return;
  size_t used = kSpareMinBytes;
  while (used < size * sizeof(T)) used *= 2;
  FirstBytes<T>() = used <= kSpareBytes ? used : kSpareMinBytes;
  FreeSpare(data, capacity * sizeof(T));
  *this = {};
}

RowStore::~RowStore() {
  slots_.Free();
  texts_.Free();
}

void RowStore::Reset(int32_t columns) {
  others_.clear();
  rows_ = 0;
  columns_ = static_cast<size_t>(std::max(columns, 0));
  // Freed while they still hold what they held: Free notes the size the
  // next store starts at from it.
  if (columns_ == 0) {
    slots_.Free();
    texts_.Free();
  }
  slots_.size = 0;
  texts_.size = 0;
}

void RowStore::Append(const jet::Statement& st) {
  Slot* row = slots_.Extend(columns_);
  st.PackRow(std::span<Slot>(row, columns_));
  // A text is copied from the statement, a value of another kind read as
  // a Variant; their slots then say where they went.
  for (size_t i = 0; i < columns_; ++i) {
    Slot& s = row[i];
    if (s.kind == Kind::kText) {
      const char* text = s.text;
      s.at = texts_.size;
      if (s.size > 0) std::memcpy(texts_.Extend(s.size), text, s.size);
    } else if (s.kind == Kind::kOther) {
      s.at = others_.size();
      others_.push_back(st.Value(static_cast<int>(i)));
    }
  }
  ++rows_;
}

void RowStore::Read(int64_t row, Variant* out) const {
  const Slot* s = slots_.data + static_cast<size_t>(row) * columns_;
  for (size_t i = 0; i < columns_; ++i, ++s) {
    Variant* cell = out + i;
    const Kind kind = s->kind;
    if (kind == Kind::kText) {
      cell->SetString(std::string_view(texts_.data + s->at, s->size));
      continue;
    }
    if (kind == Kind::kOther) {
      *cell = others_[static_cast<size_t>(s->at)];
      continue;
    }
    // Built in place, as Statement::Values builds its cells: a number needs
    // no destructor run before it is overwritten, and these cannot throw.
    if (cell->IsString() || cell->IsObject() || cell->IsArray()) std::destroy_at(cell);
    void* at = static_cast<void*>(cell);
    switch (kind) {
      case Kind::kLong:
        ::new (at) Variant(static_cast<int32_t>(s->number));
        break;
      case Kind::kDouble:
        ::new (at) Variant(s->number);
        break;
      case Kind::kDate:
        ::new (at) Variant(OleDate{s->number});
        break;
      default:
        ::new (at) Variant(Variant::Null());
        break;
    }
  }
}

}  // namespace qv::dao
