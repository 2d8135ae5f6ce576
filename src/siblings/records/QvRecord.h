#pragma once
// QvRecord: one row of one entity, the generic record object of the record
// libraries. Its type (a RecordType descriptor) names its properties; the
// record implements the load and save protocol the mappers rely on.
//
// States (RState):
//   0  new or empty: nothing to save (created, Clear, MarkNotFound, SetID(0))
//   1  a reference to a stored row not read yet (SetID, the factory); it
//      reads itself through its mapper on first use of a property, and a
//      recursive save leaves it alone
//   2  new data to be written (a state-0 record that was given a value)
//   3  holds a row read by ReadRecord (EndLoad) or written by a save
//      (AfterInsert, AfterUpdate); changing it keeps state 3, so the next
//      save writes it
//   4  deleted (Delete, AfterDelete): references to it are written as 0
// Loading brackets (BeginLoad .. EndLoad, the lazy groups' brackets) assign
// properties without changing the state.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "platform/automation/Collection.h"
#include "platform/automation/Object.h"
#include "siblings/records/RecordClass.h"

namespace qv::records {

enum RState : int32_t {
  kNew = 0,
  kReference = 1,
  kChanged = 2,
  kLoaded = 3,
  kDeleted = 4,
};

class QvRecord;
using QvRecordPtr = std::shared_ptr<QvRecord>;

// What a record tells the application after its row was written.
enum class Notice { kInserted, kUpdated, kDeleted };
using NoticeSink = std::function<void(const QvRecord&, Notice)>;
// Replaces this thread's receiver of record notices and returns the previous
// one (none by default). Records whose DeafForNotifications is True send none.
NoticeSink SetNoticeSink(NoticeSink sink);

class QvRecord final : public Object {
 public:
  explicit QvRecord(const RecordClass& cls);

  // A new empty record (state 0) of a registered record type; error 429 when
  // `progId` is not one.
  static QvRecordPtr Create(std::string_view progId);
  // The registered class of `progId`; error 429 when it is none. Callers
  // making many records of one type look it up once.
  static const RecordClass& ClassOf(std::string_view progId);
  // Values that records read together share: a row per record, its values
  // in property order.
  using SharedRows = std::shared_ptr<const std::vector<Variant>>;
  // A new record whose values are the row at `offset` of `rows`, in the
  // state SetValue given them in order leaves (2). A row of values of the
  // properties' kinds stays shared until the record's values are first
  // read or changed, when the record takes a copy of its own. Other values
  // are converted at once (error 13 when one does not convert).
  // REQUIRES: rows->size() >= offset + cls.PropertyCount().
  static QvRecordPtr OfSharedRow(const RecordClass& cls, SharedRows rows, size_t offset);
  // OfSharedRow of every row of `rows`, in order, the records in one
  // allocation freed when the last of them goes: a reader making a record
  // per row allocates per block of rows, not per record (a record kept
  // alone keeps its block's memory).
  // REQUIRES: rows->size() is a multiple of cls.PropertyCount().
  static std::vector<QvRecordPtr> OfSharedRows(const RecordClass& cls, const SharedRows& rows);

  const ClassInfo& Class() const override { return cls_.Info(); }
  const RecordClass& RecordClassOf() const { return cls_; }
  const RecordType& Type() const { return cls_.Type(); }

  // Late binding: the type's properties first (get, let, and set for
  // objects), then the protocol members. Errors carry the record type and the
  // member in their location line.
  Variant Invoke(std::string_view name, CallKind kind, Args args) override;
  std::vector<std::string> MemberNames() const override;

  // ---- fast access for C++ callers (the mapper engine): resolve the index
  // once per type with PropertyIndex, then read and write without names.
  int PropertyIndex(std::string_view name) const { return cls_.PropertyIndex(name); }
  // The value (an object property as its object, made when absent). Reading
  // a stored record that is not read yet loads it first, as a late-bound
  // read does. REQUIRES: 0 <= index < property count.
  const Variant& Value(int index);
  // Assigns with the kind's conversion (error 13 when it does not convert;
  // an object property takes an object of its class or Nothing).
  void SetValue(int index, Variant value);
  // Inside BeginLoad .. EndLoad, the slot of base property `index`, for a
  // reader that writes a value into it where it is (a text into the string
  // the slot kept from the load before); LoadedValue then converts it as
  // SetValue would (error 13, the slot then left to its caller). Null
  // outside a load or for a property of a lazy group.
  Variant* LoadSlot(int index);
  // The slots of a load by property index, LoadSlot(i) being &LoadSlots()[i]
  // for a base property; null outside a load.
  Variant* LoadSlots();
  void LoadedValue(int index);
  QvRecordPtr SubRecord(int index);  // REQUIRES: a kRecord property
  // SubRecord(index)->SetID(id), the sub-record made on first use when it
  // does not exist yet: a reader fills every reference of a record, and
  // most of them are never looked at. REQUIRES: a kRecord property.
  void SetSubRecordID(int index, const Variant& id);
  // The Id() the sub-record of a number SetSubRecordID left would have (a
  // reference to a stored row: nothing to save first), without making it;
  // nothing when the sub-record is made already or is not such a reference.
  // REQUIRES: a kRecord property.
  std::optional<double> ReferencedId(int index);
  CollectionPtr CollectionAt(int index);  // REQUIRES: a kCollection property

  // ---- the protocol
  const Variant& IdValue() const { return id_; }
  double Id() const;  // 0 for a text identifier
  int32_t State() const { return state_; }
  bool IsReadOnlyRecord() const { return Type().readOnly; }
  bool IsBlank() const;
  void SetID(const Variant& id);
  void Clear();
  void BeginLoad(const Variant& id);
  // BeginLoad, except that the properties `kept` marks (an element per
  // property, nonzero) keep their values: the caller's load writes each of
  // them into its slot (LoadSlot), and a text keeps its string's memory
  // from the read before. A load that fails puts their defaults back.
  void BeginLoadKeeping(const Variant& id, std::span<const uint8_t> kept);
  void EndLoad();
  void MarkNotFound(const Variant& id);
  void AssignNewID(const Variant& id);
  void AfterInsert();
  void AfterUpdate();
  void AfterDelete();
  void Delete();  // marks the record deleted; the store is not touched
  // The write that gave the record `id`'s successor or its state was rolled
  // back: the identifier and state it had before come back (values stay).
  void RestoreAfterRollback(const Variant& id, int32_t state);

  // Lazy groups (by index into Type().groups).
  bool GroupLoaded(int group) const { return (groupLoaded_ >> group) & 1; }
  void BeginGroupLoad(int group);
  void EndGroupLoad(int group);

  // True: the next SetID reads the row at once instead of on first use.
  bool LoadOnSetID() const { return loadOnSetId_; }
  void SetLoadOnSetID(bool on) { loadOnSetId_ = on; }
  bool DeafForNotifications() const { return deaf_; }
  void SetDeafForNotifications(bool deaf) { deaf_ = deaf; }

  // Through the type's mapper, created by ProgID: ReadRecord(ID, Me),
  // SaveRecord(Me, aRecursive[, aExtra]) (aExtra: the third argument some
  // mappers take, such as the owner's identifier; passed when given),
  // DeleteRecord(Me). Error 429 naming the mapper when it cannot be
  // created; error 5 for a type without a mapper.
  void Refresh();
  void SaveToStore(bool recursive, const Variant& extra = Variant::Missing());
  void DeleteFromStore();
  // The type's mapper, created by ProgID (for operations of its own).
  ObjectPtr CreateMapper() const;

 private:
  bool IdIsEmpty() const;
  Variant ConvertId(const Variant& id) const;
  // Gives a new record the row at `offset` of `rows` (OfSharedRow).
  void TakeRow(const SharedRows& rows, size_t offset);
  // kBase: everything (but the properties `kept` marks, when given).
  void ResetValues(int group, std::span<const uint8_t> kept = {});
  void ResetFlags();
  void SetAllGroups(bool loaded);
  Variant DefaultOf(const PropertyDef& p) const;
  Variant Convert(const PropertyDef& p, const Variant& value) const;
  // The values, made from the shared row or the class's defaults on first
  // need: a reference that is never read (most records of a list)
  // allocates none.
  std::vector<Variant>& Values();
  const Variant& ValueOrDefault(int index) const;
  const Variant& Materialize(int index);
  bool Quiet() const { return loading_ || loadingGroup_ >= 0 || busy_; }
  void EnsureLoaded();
  void EnsureGroupLoaded(int group);
  void Notify(Notice notice) const;
  Variant InvokeProperty(int index, CallKind kind, Args args);

  const RecordClass& cls_;
  // Per property (Empty for an object not made yet; for a sub-record not
  // made yet that refers to a row, that row's identifier: SetSubRecordID);
  // no elements while every value is its default.
  std::vector<Variant> values_;
  // While values_ has no elements: the shared row holding the values (no
  // row: they are the class's defaults).
  SharedRows rows_;
  size_t rowOffset_ = 0;
  // Per lazy group, a bit (a type has at most kMaxGroups groups): loaded,
  // and handed to its loader once.
  uint64_t groupLoaded_ = ~uint64_t{0};
  uint64_t groupTried_ = 0;
  Variant id_;
  int32_t state_ = kNew;
  int loadingGroup_ = -1;   // inside a group's bracket
  bool loading_ = false;    // inside BeginLoad .. EndLoad
  bool busy_ = false;       // a load of our own is calling the mapper
  bool loadTried_ = false;  // the reference was handed to the mapper once
  bool loadOnSetId_ = false;
  bool deaf_ = false;
};

}  // namespace qv::records
