#include "platform/dao/RowStore.h"

#include <algorithm>
#include <memory>
#include <new>

namespace qv::dao {

namespace {

using Kind = jet::Statement::Cell::Kind;

}  // namespace

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
  // The texts go into the store as the row is read; a value of another kind
  // is read as a Variant, its slot then saying where it went.
  if (st.PackRow(std::span<Slot>(row, columns_), texts_))
    for (size_t i = 0; i < columns_; ++i)
      if (row[i].kind == Kind::kOther) {
        row[i].at = others_.size();
        others_.push_back(st.Value(static_cast<int>(i)));
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
      case Kind::kInteger:
        ::new (at) Variant(static_cast<int16_t>(s->number));
        break;
      case Kind::kByte:
        ::new (at) Variant(static_cast<uint8_t>(s->number));
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
