#pragma once
// Collection with VBA.Collection semantics: items are 1-based, keys are
// optional texts compared case-insensitively; a duplicate key is error 457,
// a missing index or key error 5.

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/automation/Object.h"

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
  bool TryAdd(Variant item, std::string key);
  const Variant& At(int32_t index) const;                // 1-based
  const Variant* FindByKey(std::string_view key) const;  // null when absent
  // The key of the item at a 1-based index; empty when it has none.
  const std::string& KeyAt(int32_t index) const;

 private:
  struct Entry {
    Variant value;
    std::string key;  // as given
  };
  size_t IndexOf(const Variant& indexOrKey) const;  // 0-based; error 5 when absent
  void Insert(size_t pos, Variant item, std::string key);
  void Reindex(size_t from);

  std::vector<Entry> items_;
  std::unordered_map<std::string, size_t> byKey_;  // folded key -> 0-based index
};

using CollectionPtr = std::shared_ptr<Collection>;

}  // namespace qv
