#include "platform/automation/Collection.h"

#include <cmath>
#include <cstring>

#include "platform/automation/VbaText.h"

namespace qv {

QV_DEFINE_CLASS(Collection, "VBA.Collection", QV_CREATABLE(Collection),
                Method("Count", &Collection::Count),
                Method("Add(item, key, before, after)", &Collection::AddAt,
                       {Variant(), Variant(), Variant()}),
                Method("Item(indexOrKey)", &Collection::Item),
                Method("Remove(indexOrKey)", &Collection::Remove))

namespace {

std::string KeyText(const Variant& key) {
  if (!key.IsString()) ThrowVb(vberr::kTypeMismatch, "a collection key must be a text");
  return key.AsString();
}

}  // namespace

void Collection::AddAt(const Variant& item, const Variant& key, const Variant& before,
                       const Variant& after) {
  const bool hasBefore = !before.IsEmpty() && !before.IsMissing();
  const bool hasAfter = !after.IsEmpty() && !after.IsMissing();
  if (hasBefore && hasAfter) ThrowVb(vberr::kInvalidProcedureCall, "both Before and After given");
  std::string k;
  if (!key.IsEmpty() && !key.IsMissing()) k = KeyText(key);
  size_t pos = items_.size();
  if (hasBefore) pos = IndexOf(before);
  if (hasAfter) pos = IndexOf(after) + 1;
  Insert(pos, item, k);
}

void Collection::Add(Variant item, std::string_view key) {
  Insert(items_.size(), std::move(item), key);
}

namespace {

// Eight bytes at a time, each word mixed in by a multiplication, the high
// bits folded into the low ones the table's mask keeps: a key of a
// document's cell (12 bytes) costs a fifth of std::hash's.
uint32_t HashOf(std::string_view folded) {
  constexpr uint64_t kMul = 0x9E3779B97F4A7C15u;
  uint64_t h = folded.size() * kMul;
  size_t i = 0;
  for (; i + 8 <= folded.size(); i += 8) {
    uint64_t w;
    std::memcpy(&w, folded.data() + i, 8);
    h = (h ^ w) * kMul;
  }
  if (i < folded.size()) {
    uint64_t w = 0;
    std::memcpy(&w, folded.data() + i, folded.size() - i);
    h = (h ^ w) * kMul;
  }
  h ^= h >> 29;
  h *= 0xBF58476D1CE4E5B9u;
  return static_cast<uint32_t>(h ^ h >> 32);
}

// The table's size for `keyed` keys: a power of two, at most half full.
size_t TableSize(size_t keyed) {
  size_t n = 16;
  while (n < 2 * keyed) n *= 2;
  return n;
}

}  // namespace

Collection::Entry Collection::KeyedEntry(std::string_view key) {
  Entry e;
  if (key.empty()) return e;
  // Most keys (a document's cell keys: digits) fold to themselves: no fold
  // is built for them.
  std::string folded;
  if (!FoldsToItself(key)) folded = FoldCase(key);
  const size_t folds = folded.empty() || folded == key ? 0 : folded.size();
  if (keys_.size() + key.size() + folds > UINT32_MAX)
    ThrowVb(vberr::kOutOfMemory, "the keys of a collection exceed 4 GB");
  e.at = static_cast<uint32_t>(keys_.size());
  e.keyLength = static_cast<uint32_t>(key.size());
  e.foldedLength = static_cast<uint32_t>(folds);
  keys_ += key;
  if (folds != 0) keys_ += folded;
  e.hash = HashOf(FoldedOf(e));
  return e;
}

void Collection::DropKey(const Entry& e) {
  keys_.resize(e.at);
}

Collection::Probe Collection::Find(std::string_view folded, uint32_t hash) const {
  const size_t mask = slots_.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& s = slots_[i];
    if (s.item == 0) return {i, false};
    if (s.hash == hash && FoldedOf(items_[s.item - 1]) == folded) return {i, true};
  }
}

void Collection::Place(size_t item) {
  const Entry& e = items_[item];
  slots_[Find(FoldedOf(e), e.hash).slot] = Slot{static_cast<uint32_t>(item + 1), e.hash};
}

void Collection::Reindex(size_t tableSize) {
  slots_.assign(tableSize, Slot{});
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].keyLength != 0) Place(i);
}

void Collection::Reserve(size_t count, bool keyed) {
  items_.reserve(count);
  if (keyed && TableSize(count) > slots_.size()) Reindex(TableSize(count));
}

bool Collection::TryAdd(Variant item, std::string_view key) {
  // The item is moved once, into its entry made in place; the key is
  // indexed once the entry is there.
  const Entry e = KeyedEntry(key);
  const auto add = [&] {
    items_.emplace_back(std::move(item), e.at, e.keyLength, e.foldedLength, e.hash);
  };
  if (e.keyLength == 0) {
    add();
    return true;
  }
  if (slots_.size() < TableSize(keyed_ + 1)) Reindex(TableSize(keyed_ + 1));
  const Probe p = Find(FoldedOf(e), e.hash);
  if (!p.found) {
    try {
      add();
    } catch (...) {
      DropKey(e);
      throw;
    }
    slots_[p.slot] = Slot{static_cast<uint32_t>(items_.size()), e.hash};
    ++keyed_;
    return true;
  }
  DropKey(e);
  return false;
}

void Collection::Insert(size_t pos, Variant item, std::string_view key) {
  if (pos == items_.size()) {
    if (!TryAdd(std::move(item), key)) ThrowVb(vberr::kDuplicateKey, std::string(key));
    return;
  }
  Entry e = KeyedEntry(key);
  if (e.keyLength != 0) {
    if (keyed_ != 0 && Find(FoldedOf(e), e.hash).found) {
      DropKey(e);
      ThrowVb(vberr::kDuplicateKey, std::string(key));
    }
    ++keyed_;
  }
  e.value = std::move(item);
  items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(pos), std::move(e));
  Reindex(TableSize(keyed_));  // the items after `pos` moved
}

size_t Collection::IndexOf(const Variant& indexOrKey) const {
  if (indexOrKey.IsString()) {
    const size_t pos = KeyIndex(indexOrKey.AsString());
    if (pos == kAbsent)
      ThrowVb(vberr::kInvalidProcedureCall,
              "no item with the key \"" + indexOrKey.AsString() + "\"");
    return pos;
  }
  if (indexOrKey.IsObject() || indexOrKey.IsNull() || indexOrKey.IsEmpty())
    ThrowVb(vberr::kTypeMismatch, "a collection index must be a number or a text");
  const int32_t i = CLng(indexOrKey);
  if (i < 1 || i > Count())
    ThrowVb(vberr::kInvalidProcedureCall,
            "index " + std::to_string(i) + " out of 1.." + std::to_string(Count()));
  return static_cast<size_t>(i - 1);
}

const Variant& Collection::Item(const Variant& indexOrKey) const {
  return items_[IndexOf(indexOrKey)].value;
}

const Variant& Collection::At(int32_t index) const {
  return Item(Variant(index));
}

size_t Collection::KeyIndex(std::string_view key) const {
  if (keyed_ == 0 || key.empty()) return kAbsent;
  std::string folding;
  const std::string_view folded = FoldsToItself(key) ? key : (folding = FoldCase(key));
  const Probe p = Find(folded, HashOf(folded));
  return p.found ? slots_[p.slot].item - 1 : kAbsent;
}

const Variant* Collection::FindByKey(std::string_view key) const {
  const size_t pos = KeyIndex(key);
  return pos == kAbsent ? nullptr : &items_[pos].value;
}

std::string Collection::KeyAt(int32_t index) const {
  return std::string(KeyOf(items_[IndexOf(Variant(index))]));
}

void Collection::Remove(const Variant& indexOrKey) {
  const size_t pos = IndexOf(indexOrKey);
  const Entry& e = items_[pos];
  if (e.keyLength != 0) {
    --keyed_;
    removedKeyBytes_ += e.keyLength + e.foldedLength;
  }
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(pos));
  // The removed keys' bytes are dropped once they are half of the buffer.
  if (removedKeyBytes_ * 2 > keys_.size()) {
    std::string kept;
    for (Entry& k : items_) {
      if (k.keyLength == 0) continue;
      const size_t at = kept.size();
      kept.append(keys_, k.at, k.keyLength + k.foldedLength);
      k.at = static_cast<uint32_t>(at);
    }
    keys_ = std::move(kept);
    removedKeyBytes_ = 0;
  }
  Reindex(TableSize(keyed_));  // the items after `pos` moved
}

}  // namespace qv
