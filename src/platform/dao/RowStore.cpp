#include "platform/dao/RowStore.h"

#include <algorithm>
#include <string_view>

#include "platform/jet/JetCellValue.h"

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
  using Cell = jet::Statement::Cell;
  const Slot* s = slots_.data + static_cast<size_t>(row) * columns_;
  for (size_t i = 0; i < columns_; ++i, ++s) {
    // Written where it is, as Statement::Values writes its cells (each kind
    // handed over as a constant, so that the setter's test of it folds).
    switch (s->kind) {
      case Kind::kText:
        jet::SetCellValue(out[i],
                          Cell{Kind::kText, 0, std::string_view(texts_.data + s->at, s->size)});
        break;
      case Kind::kOther:
        out[i] = others_[static_cast<size_t>(s->at)];
        break;
      default:
        jet::SetCellValue(out[i], Cell{s->kind, s->number, {}});
        break;
    }
  }
}

}  // namespace qv::dao
