#pragma once
// The collections of the data-access objects: items by 0-based position or by
// name (case-insensitive), 3265 for a missing one. NamedList keeps the items
// of the collections that hold objects of one class (Fields, Indexes,
// Properties, Workspaces, Databases); owners watch Append and Delete through
// hooks, which run first and may refuse by raising.

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/Object.h"
#include "platform/automation/VbaText.h"
#include "platform/dao/DaoError.h"

namespace qv::dao {

class Field;
class Index;
class Property;
class Workspace;
class Database;

class DaoCollection : public Object {
 public:
  virtual int32_t Count() = 0;
  // The item at a 0-based position (a number) or of a name (a text).
  ObjectPtr Item(const Variant& indexOrName);
  virtual void Refresh() {}

 protected:
  virtual ObjectPtr At(int32_t i) = 0;                 // REQUIRES: 0 <= i < Count()
  virtual ObjectPtr Named(std::string_view name) = 0;  // null when absent
  virtual std::string_view Source() const = 0;
};

template <class T>
class NamedList : public DaoCollection {
 public:
  using Hook = std::function<void(const std::shared_ptr<T>&)>;

  int32_t Count() override { return static_cast<int32_t>(items_.size()); }
  const std::vector<std::shared_ptr<T>>& Items() const { return items_; }
  std::shared_ptr<T> Find(std::string_view name) const {
    for (const auto& item : items_)
      if (NamesEqual(item->Name(), name)) return item;
    return nullptr;
  }

  // Errors: 3219 a collection that cannot change, 3367 (3191 for fields,
  // 3284 for indexes) a name already there, and whatever the hook raises.
  void Append(std::shared_ptr<T> item) {
    if (!editable_) ThrowDao(daoerr::kInvalidOperation, Source());
    if (!item) ThrowVb(vberr::kObjectNotSet, "Append");
    if (Find(item->Name())) ThrowDao(DuplicateError(), Source());
    if (onAppend_) onAppend_(item);
    items_.push_back(std::move(item));
  }
  // Errors: 3265 no such item, 3219 a collection that cannot change.
  void Delete(const std::string& name) {
    if (!editable_) ThrowDao(daoerr::kInvalidOperation, Source());
    for (auto it = items_.begin(); it != items_.end(); ++it) {
      if (!NamesEqual((*it)->Name(), name)) continue;
      std::shared_ptr<T> item = *it;
      if (onDelete_) onDelete_(item);
      items_.erase(std::find(items_.begin(), items_.end(), item));
      return;
    }
    ThrowDao(daoerr::kItemNotFound, Source());
  }

  // For the owner: hooks, and changes that bypass them.
  void SetHooks(Hook onAppend, Hook onDelete) {
    onAppend_ = std::move(onAppend);
    onDelete_ = std::move(onDelete);
  }
  void SetEditable(bool editable) { editable_ = editable; }
  void Add(std::shared_ptr<T> item) { items_.push_back(std::move(item)); }
  void Remove(const std::shared_ptr<T>& item) { std::erase(items_, item); }
  void Reset(std::vector<std::shared_ptr<T>> items) { items_ = std::move(items); }

 protected:
  ObjectPtr At(int32_t i) override { return items_[static_cast<size_t>(i)]; }
  ObjectPtr Named(std::string_view name) override { return Find(name); }
  virtual int32_t DuplicateError() const { return daoerr::kNameExists; }

  std::vector<std::shared_ptr<T>> items_;
  bool editable_ = true;
  Hook onAppend_, onDelete_;
};

// A member giving a collection that also takes an item's position or name,
// as late-bound callers write rs.Fields("Name") (Item being the collection's
// default member).
template <class C, class Coll>
Member CollectionMember(std::string name, std::shared_ptr<Coll> (C::*getter)()) {
  Invoker call = [getter](Object& self, Args args) -> Variant {
    std::shared_ptr<Coll> coll = (static_cast<C&>(self).*getter)();
    if (args.empty() || args[0].IsMissing()) return Variant(ObjectPtr(coll));
    if (args.size() > 1) ThrowVb(vberr::kWrongArguments, "one item at a time");
    return Variant(coll->Item(args[0]));
  };
  static const auto signature = std::make_shared<const Signature>(
      Signature{{Param{"aIndex", &dispatch::TypeName<Variant>, false, true, Variant::Missing()}},
                &dispatch::TypeName<std::shared_ptr<Coll>>,
                1});
  return Member{std::move(name), std::move(call), nullptr, signature};
}

class Fields final : public NamedList<Field> {
  QV_DECLARE_CLASS(Fields)

 public:
  // The fields of a recordset: fixed.
  static std::shared_ptr<Fields> Fixed(std::vector<std::shared_ptr<Field>> items);

 protected:
  std::string_view Source() const override { return kSourceFields; }
  int32_t DuplicateError() const override { return daoerr::kFieldDefinedTwice; }
};

class Indexes final : public NamedList<Index> {
  QV_DECLARE_CLASS(Indexes)

 protected:
  std::string_view Source() const override { return kSourceIndexes; }
  int32_t DuplicateError() const override { return daoerr::kIndexExists; }
};

class Properties final : public NamedList<Property> {
  QV_DECLARE_CLASS(Properties)

 protected:
  std::string_view Source() const override { return kSourceProperties; }
};

class Workspaces final : public NamedList<Workspace> {
  QV_DECLARE_CLASS(Workspaces)

 protected:
  std::string_view Source() const override { return kSourceWorkspaces; }
};

class Databases final : public NamedList<Database> {
  QV_DECLARE_CLASS(Databases)

 protected:
  std::string_view Source() const override { return kSourceDatabases; }
};

}  // namespace qv::dao
