#include "platform/dao/RowStore.h"

#include <algorithm>
#include <memory>
#include <new>
#include <utility>

#include "platform/jet/JetStatement.h"

namespace qv::dao {

namespace {

using Kind = jet::Statement::Cell::Kind;

// Released buffers are kept unless they grew past these: a big result's
// memory goes back when its recordset closes.
constexpr size_t kPooledStores = 2;
constexpr size_t kPooledSlots = size_t{1} << 17;
constexpr size_t kPooledTexts = size_t{1} << 20;

struct Buffers {
  std::vector<RowStore::Slot> slots;
  std::string texts;
};

std::vector<Buffers>& Pool() {
  thread_local std::vector<Buffers> pool;
  return pool;
}

}  // namespace

RowStore::~RowStore() {
  Release();
}

void RowStore::Release() {
  others_.clear();
  rows_ = 0;
  if (slots_.capacity() == 0 && texts_.capacity() == 0) return;
  if (Pool().size() < kPooledStores && slots_.capacity() <= kPooledSlots &&
      texts_.capacity() <= kPooledTexts) {
    slots_.clear();
    texts_.clear();
    Pool().push_back({std::move(slots_), std::move(texts_)});
  }
  slots_ = {};
  texts_ = {};
}

void RowStore::Reset(int32_t columns) {
  Release();
  columns_ = static_cast<size_t>(std::max(columns, 0));
  if (columns_ > 0 && !Pool().empty()) {
    slots_ = std::move(Pool().back().slots);
    texts_ = std::move(Pool().back().texts);
    Pool().pop_back();
  }
}

void RowStore::Append(const jet::Statement& st) {
  const size_t first = slots_.size();
  slots_.resize(first + columns_);
  Slot* s = slots_.data() + first;
  for (size_t i = 0; i < columns_; ++i, ++s) {
    const jet::Statement::Cell c = st.CellAt(static_cast<int>(i));
    s->kind = static_cast<uint32_t>(c.kind);
    s->size = 0;
    switch (c.kind) {
      case Kind::kText:
        s->at = texts_.size();
        s->size = static_cast<uint32_t>(c.text.size());
        texts_.append(c.text);
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
  const Slot* s = slots_.data() + static_cast<size_t>(row) * columns_;
  for (size_t i = 0; i < columns_; ++i, ++s) {
    Variant* cell = out + i;
    const auto kind = static_cast<Kind>(s->kind);
    if (kind == Kind::kText) {
      cell->SetString(std::string_view(texts_.data() + s->at, s->size));
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
