#include "platform/automation/Collection.h"

#include <cmath>

#include "platform/automation/VbaText.h"

namespace qv {

QV_DEFINE_CLASS(Collection, "VBA.Collection", QV_CREATABLE(Collection),
                Method("Count", &Collection::Count),
                Method("Add", &Collection::AddAt, {Variant(), Variant(), Variant()}),
                Method("Item", &Collection::Item), Method("Remove", &Collection::Remove))

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
  Insert(pos, item, std::move(k));
}

void Collection::Add(Variant item, std::string_view key) {
  Insert(items_.size(), std::move(item), std::string(key));
}

bool Collection::TryAdd(Variant item, std::string key) {
  if (!byKey_.try_emplace(FoldCase(key), items_.size()).second) return false;
  items_.push_back(Entry{std::move(item), std::move(key)});
  return true;
}

void Collection::Insert(size_t pos, Variant item, std::string key) {
  if (!key.empty() && !byKey_.try_emplace(FoldCase(key), pos).second)
    ThrowVb(vberr::kDuplicateKey, key);
  items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(pos),
                Entry{std::move(item), std::move(key)});
  if (pos + 1 < items_.size()) Reindex(pos);
}

void Collection::Reindex(size_t from) {
  for (size_t i = from; i < items_.size(); ++i)
    if (!items_[i].key.empty()) byKey_[FoldCase(items_[i].key)] = i;
}

size_t Collection::IndexOf(const Variant& indexOrKey) const {
  if (indexOrKey.IsString()) {
    auto it = byKey_.find(FoldCase(indexOrKey.AsString()));
    if (it == byKey_.end())
      ThrowVb(vberr::kInvalidProcedureCall,
              "no item with the key \"" + indexOrKey.AsString() + "\"");
    return it->second;
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

const Variant* Collection::FindByKey(std::string_view key) const {
  auto it = byKey_.find(FoldCase(key));
  return it == byKey_.end() ? nullptr : &items_[it->second].value;
}

const std::string& Collection::KeyAt(int32_t index) const {
  return items_[IndexOf(Variant(index))].key;
}

void Collection::Remove(const Variant& indexOrKey) {
  const size_t pos = IndexOf(indexOrKey);
  if (!items_[pos].key.empty()) byKey_.erase(FoldCase(items_[pos].key));
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(pos));
  Reindex(pos);
}

}  // namespace qv
