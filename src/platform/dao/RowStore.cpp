#include "platform/dao/RowStore.h"

#include <algorithm>
#include <memory>
#include <new>

namespace qv::dao {

namespace {

constexpr size_t kBlockCells = 4096;
constexpr size_t kPooledBlocks = 16;

// Released blocks of kBlockCells cells, holding no text, object or array.
std::vector<std::unique_ptr<Variant[]>>& Pool() {
  thread_local std::vector<std::unique_ptr<Variant[]>> pool;
  return pool;
}

}  // namespace

RowStore::~RowStore() {
  Release();
}

void RowStore::Release() {
  const size_t used = static_cast<size_t>(rows_ % rowsPerBlock_) * columns_;
  for (size_t b = 0; b < blocks_.size(); ++b) {
    if (blockCells_ != kBlockCells || Pool().size() >= kPooledBlocks) break;
    // Every block but the last is full.
    size_t cells = b + 1 < blocks_.size() || used == 0 ? blockCells_ : used;
    Variant* p = blocks_[b].get();
    for (size_t i = 0; i < cells; ++i) {
      if (p[i].IsString() || p[i].IsObject() || p[i].IsArray()) {
        std::destroy_at(p + i);
        ::new (static_cast<void*>(p + i)) Variant();
      }
    }
    Pool().push_back(std::move(blocks_[b]));
  }
  blocks_.clear();
  rows_ = 0;
}

void RowStore::Reset(int32_t columns) {
  Release();
  columns_ = static_cast<size_t>(std::max(columns, 1));
  blockCells_ = std::max(kBlockCells, columns_);
  rowsPerBlock_ = static_cast<int64_t>(blockCells_ / columns_);
}

Variant* RowStore::AppendRow() {
  size_t slot = static_cast<size_t>(rows_ % rowsPerBlock_);
  if (slot == 0) {
    auto& pool = Pool();
    if (blockCells_ == kBlockCells && !pool.empty()) {
      blocks_.push_back(std::move(pool.back()));
      pool.pop_back();
    } else {
      blocks_.push_back(std::make_unique<Variant[]>(blockCells_));
    }
  }
  ++rows_;
  return blocks_.back().get() + slot * columns_;
}

}  // namespace qv::dao
