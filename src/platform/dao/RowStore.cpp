#include "platform/dao/RowStore.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>

#include "platform/automation/SpareMemory.h"
#include "platform/jet/JetStatement.h"

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
  slots_.size = 0;
  texts_.size = 0;
  columns_ = static_cast<size_t>(std::max(columns, 0));
  if (columns_ == 0) {
    slots_.Free();
    texts_.Free();
  }
}

void RowStore::Append(const jet::Statement& st) {
  Slot* s = slots_.Extend(columns_);
  for (size_t i = 0; i < columns_; ++i, ++s) {
    const jet::Statement::Cell c = st.CellAt(static_cast<int>(i));
    s->kind = static_cast<uint32_t>(c.kind);
    s->size = 0;
    switch (c.kind) {
      case Kind::kText:
        s->at = texts_.size;
        s->size = static_cast<uint32_t>(c.text.size());
        if (!c.text.empty())
          std::memcpy(texts_.Extend(c.text.size()), c.text.data(), c.text.size());
        break;
      case Kind::kOther:
        s->at = others_.size();
        others_.push_back(st.Value(static_cast<int>(i)));
        break;
      default:
        s->number = c.number;
        break;
    }
  }
  ++rows_;
}

void RowStore::Read(int64_t row, Variant* out) const {
  const Slot* s = slots_.data + static_cast<size_t>(row) * columns_;
  for (size_t i = 0; i < columns_; ++i, ++s) {
    Variant* cell = out + i;
    const auto kind = static_cast<Kind>(s->kind);
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
