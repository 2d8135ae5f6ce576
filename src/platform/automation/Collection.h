#pragma once
// Collection with VBA.Collection semantics: items are 1-based, keys are
// optional texts compared case-insensitively; a duplicate key is error 457,
// a missing index or key error 5.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/automation/Object.h"
#include "platform/automation/SpareMemory.h"

namespace qv {

class Collection : public Object {
  QV_DECLARE_CLASS(Collection)

 public:
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  // Add(item, key, before, after): `before`/`after` are a 1-based index or a
  // key; at most one of them may be given.
  // (Late-bound callers reach it as "Add".)
  void AddAt(const Variant& item, const Variant& key, const Variant& before, const Variant& after);
  // Item by 1-based index (any numeric) or by key (a text).
  const Variant& Item(const Variant& indexOrKey) const;
  void Remove(const Variant& indexOrKey);

  // C++ conveniences.
  void Add(Variant item, std::string_view key = {});
  // Adds the item under a non-empty key unless an item has that key already
  // (false, nothing added): one lookup where FindByKey and Add take two.
  bool TryAdd(Variant item, std::string_view key);
  // Room for `count` items without moving any; with `keyed`, the key index
  // is sized for them too (items added without keys need none).
  void Reserve(size_t count, bool keyed = true);
  const Variant& At(int32_t index) const;                // 1-based
  const Variant* FindByKey(std::string_view key) const;  // null when absent
  // The key of the item at a 1-based index; empty when it has none.
  std::string KeyAt(int32_t index) const;

 private:
  // An item and where its key is in keys_: the key as given, followed by
  // the key folded when that differs (keys are mostly short and fold to
  // themselves: one buffer of them where two strings per item made each
  // item 120 bytes).
  struct Entry {
    // Made in place by emplace_back (a constructor: clang before 16 does
    // not make an aggregate from parentheses).
    Entry() = default;
    Entry(Variant v, uint32_t a, uint32_t key, uint32_t folded, uint32_t h)
        : value(std::move(v)), at(a), keyLength(key), foldedLength(folded), hash(h) {}
    Variant value;
    uint32_t at = 0;
    uint32_t keyLength = 0;     // 0: no key
    uint32_t foldedLength = 0;  // 0: the folded key is the key
    uint32_t hash = 0;          // of the folded key
  };
  // The index of the keyed items: open addressing with linear probing over
  // a power-of-two table at most half full. A slot holds the item's 1-based
  // position (0: empty) and its key's hash, so that a probe compares keys
  // only on equal hashes and the table grows without hashing again. One
  // vector for the whole index where a node-based map made an allocation
  // per key: a collection of the cells of a document has thousands.
  struct Slot {
    uint32_t item = 0;
    uint32_t hash = 0;
  };
  struct Probe {
    size_t slot;  // the key's slot, or the empty slot where it would go
    bool found;
  };
  static constexpr size_t kAbsent = SIZE_MAX;
  size_t IndexOf(const Variant& indexOrKey) const;  // 0-based; error 5 when absent
  size_t KeyIndex(std::string_view key) const;      // 0-based; kAbsent
  void Insert(size_t pos, Variant item, std::string_view key);
  Probe Find(std::string_view folded, uint32_t hash) const;
  std::string_view KeyOf(const Entry& e) const { return {keys_.data() + e.at, e.keyLength}; }
  std::string_view FoldedOf(const Entry& e) const {
    return e.foldedLength == 0
               ? KeyOf(e)
               : std::string_view(keys_.data() + e.at + e.keyLength, e.foldedLength);
  }
  // An entry of the key, folded and hashed; a non-empty key and its folded
  // form are appended to keys_ (DropKey takes them back off).
  Entry KeyedEntry(std::string_view key);
  void DropKey(const Entry& e);
  void Place(size_t item);  // indexes items_[item], whose key is absent
  // Rebuilds the index in a table of `tableSize` slots (after items moved).
  void Reindex(size_t tableSize);

  // The entries and the index are large for the cells of a document and
  // made and freed again at each reading: their memory is kept for the
  // thread when freed.
  std::vector<Entry, SpareAllocator<Entry>> items_;
  std::vector<Slot, SpareAllocator<Slot>> slots_;
  std::string keys_;
  size_t removedKeyBytes_ = 0;  // of removed items, still in keys_
  size_t keyed_ = 0;            // items with a key
};

using CollectionPtr = std::shared_ptr<Collection>;

}  // namespace qv
