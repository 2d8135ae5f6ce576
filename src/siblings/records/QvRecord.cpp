#include "siblings/records/QvRecord.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <functional>
#include <new>
#include <string>
#include <unordered_map>
#include <utility>

#include "platform/automation/ErrorGuard.h"
#include "platform/automation/SpareMemory.h"
#include "platform/automation/VbaText.h"

namespace qv::records {

namespace {

thread_local NoticeSink tNoticeSink;

bool IsObjectKind(Kind k) {
  return k == Kind::kRecord || k == Kind::kObject || k == Kind::kCollection;
}

}  // namespace

NoticeSink SetNoticeSink(NoticeSink sink) {
  std::swap(sink, tNoticeSink);
  return sink;
}

QvRecord::QvRecord(const RecordClass& cls)
    : cls_(cls), id_(cls.Type().textId ? Variant("") : Variant(0.0)) {}

const RecordClass& QvRecord::ClassOf(std::string_view progId) {
  // Record classes stay registered for the life of the process, so each
  // thread keeps the ones it found under the spelling it asked with: a
  // sub-record made on first read, or a record per row, costs no lock and
  // no lower-case copy of its ProgID.
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  thread_local std::unordered_map<std::string, const RecordClass*, Hash, std::equal_to<>> known;
  if (auto it = known.find(progId); it != known.end()) return *it->second;
  const RecordClass* cls = FindRecordClass(progId);
  if (!cls) ThrowVb(vberr::kCannotCreateObject, std::string(progId) + " is not a record type");
  known.emplace(std::string(progId), cls);
  return *cls;
}

QvRecordPtr QvRecord::Create(std::string_view progId) {
  return std::make_shared<QvRecord>(ClassOf(progId));
}

// ---- values

Variant QvRecord::DefaultOf(const PropertyDef& p) const {
  return DefaultValueOf(p);
}

Variant QvRecord::Convert(const PropertyDef& p, const Variant& v) const {
  switch (p.kind) {
    case Kind::kText:
      return Variant(CStr(v));
    case Kind::kLong:
      return Variant(CLng(v));
    case Kind::kDouble:
      return Variant(CDbl(v));
    case Kind::kDate:
      return Variant(CDate(v));
    case Kind::kBoolean:
      return Variant(CBool(v));
    case Kind::kVariant:
      return v;
    default:
      break;
  }
  // Nothing (or Empty) drops the object; the next read makes a new empty one.
  if (v.IsEmpty() || v.IsNothing()) return Variant();
  if (!v.IsObject()) ThrowVb(vberr::kObjectRequired, "the property " + std::string(p.name));
  bool fits = false;
  if (p.kind == Kind::kRecord) {
    auto r = v.ObjectAs<QvRecord>();
    fits = r && EqualsAsciiNoCase(r->Type().progId, p.progId);
  } else if (p.kind == Kind::kCollection) {
    fits = v.ObjectAs<Collection>() != nullptr;
  } else {
    fits = EqualsAsciiNoCase(v.AsObject()->Class().ProgId(), p.progId);
  }
  if (!fits)
    ThrowVb(vberr::kTypeMismatch,
            std::string(p.name) + " takes an object of " +
                (p.kind == Kind::kCollection ? "Collection" : std::string(p.progId)));
  return v;
}

namespace {

// True when `v` is what Convert makes of it for `p`.
bool OfKind(const PropertyDef& p, const Variant& v) {
  switch (p.kind) {
    case Kind::kText:
      return v.IsString();
    case Kind::kLong:
      return v.Type() == VarType::kLong;
    case Kind::kDouble:
      return v.Type() == VarType::kDouble;
    case Kind::kDate:
      return v.IsDate();
    case Kind::kBoolean:
      return v.Type() == VarType::kBoolean;
    case Kind::kVariant:
      return true;
    default:
      return v.IsEmpty();
  }
}

}  // namespace

namespace {

// Room for a known number of objects that allocate_shared makes one at a
// time (each in its control block), taken from one allocation (a block of
// many records from the thread's spare memory, SpareMemory.h). Every copy
// of an allocator over it (each control block keeps one) holds a
// reference; the last one frees the memory. An object's own deallocation
// frees nothing: its slot is not reused.
class RecordBlock {
 public:
  explicit RecordBlock(size_t count) : count_(count) {}
  RecordBlock(const RecordBlock&) = delete;
  RecordBlock& operator=(const RecordBlock&) = delete;
  ~RecordBlock() { FreeSpare(bytes_, capacity_); }

  void* Take(size_t size, size_t align) {
    size = (size + kAlign - 1) / kAlign * kAlign;
    if (align > kAlign || (bytes_ && used_ + size > capacity_)) return nullptr;
    if (!bytes_) {
      capacity_ = size * count_;
      bytes_ = static_cast<char*>(AllocateSpare(capacity_));
    }
    void* p = bytes_ + used_;
    used_ += size;
    return p;
  }
  bool Holds(const void* p) const {
    return bytes_ && p >= bytes_ && static_cast<const char*>(p) < bytes_ + capacity_;
  }
  void Hold() { refs_.fetch_add(1, std::memory_order_relaxed); }
  void Release() {
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }

 private:
  static constexpr size_t kAlign = alignof(std::max_align_t);
  const size_t count_;
  size_t capacity_ = 0, used_ = 0;
  char* bytes_ = nullptr;
  std::atomic<size_t> refs_{1};
};

template <class T>
class RecordBlockAllocator {
 public:
  using value_type = T;
  explicit RecordBlockAllocator(RecordBlock* block) : block_(block) {}  // adopts a reference
  RecordBlockAllocator(const RecordBlockAllocator& o) : block_(o.block_) { block_->Hold(); }
  template <class U>
  RecordBlockAllocator(const RecordBlockAllocator<U>& o) : block_(o.block_) {
    block_->Hold();
  }
  RecordBlockAllocator& operator=(const RecordBlockAllocator&) = delete;
  ~RecordBlockAllocator() { block_->Release(); }

  // Beyond the room counted (not expected), from the heap.
  T* allocate(size_t n) {
    if (void* p = block_->Take(n * sizeof(T), alignof(T))) return static_cast<T*>(p);
    return std::allocator<T>().allocate(n);
  }
  void deallocate(T* p, size_t n) {
    if (!block_->Holds(p)) std::allocator<T>().deallocate(p, n);
  }
  template <class U>
  bool operator==(const RecordBlockAllocator<U>& o) const {
    return block_ == o.block_;
  }

 private:
  template <class U>
  friend class RecordBlockAllocator;
  RecordBlock* block_;
};

}  // namespace

void QvRecord::TakeRow(const SharedRows& rows, size_t offset) {
  const Variant* row = rows->data() + offset;
  bool plain = cls_.Type().groups.empty();
  for (int i = 0; plain && i < cls_.PropertyCount(); ++i)
    plain = cls_.MarkedBy(i) < 0 && OfKind(cls_.Property(i), row[i]);
  if (!plain) {  // conversions, lazy groups and marks as SetValue makes them
    for (int i = 0; i < cls_.PropertyCount(); ++i) SetValue(i, row[i]);
    return;
  }
  rows_ = rows;
  rowOffset_ = offset;
  state_ = kChanged;
}

QvRecordPtr QvRecord::OfSharedRow(const RecordClass& cls, SharedRows rows, size_t offset) {
  auto record = std::make_shared<QvRecord>(cls);
  record->TakeRow(rows, offset);
  return record;
}

std::vector<QvRecordPtr> QvRecord::OfSharedRows(const RecordClass& cls, const SharedRows& rows) {
  const size_t width = static_cast<size_t>(cls.PropertyCount());
  const size_t count = width ? rows->size() / width : 0;
  std::vector<QvRecordPtr> records;
  records.reserve(count);
  const RecordBlockAllocator<QvRecord> alloc(new RecordBlock(count));
  for (size_t offset = 0; offset < count * width; offset += width) {
    records.push_back(std::allocate_shared<QvRecord>(alloc, cls));
    records.back()->TakeRow(rows, offset);
  }
  return records;
}

std::vector<Variant>& QvRecord::Values() {
  if (!values_.empty()) return values_;
  if (rows_) {
    const Variant* row = rows_->data() + rowOffset_;
    values_.assign(row, row + cls_.PropertyCount());
    rows_.reset();
  } else {
    values_ = cls_.Defaults();
  }
  return values_;
}

const Variant& QvRecord::ValueOrDefault(int index) const {
  if (!values_.empty()) return values_[index];
  return rows_ ? (*rows_)[rowOffset_ + index] : cls_.Defaults()[index];
}

const Variant& QvRecord::Materialize(int index) {
  Variant& slot = Values()[index];
  const PropertyDef& p = cls_.Property(index);
  if (p.kind == Kind::kRecord && !slot.IsEmpty() && !slot.IsObject()) {
    // A reference SetSubRecordID left for now.
    QvRecordPtr sub = Create(p.progId);
    sub->SetID(slot);
    slot = Variant(std::move(sub));
  } else if (slot.IsEmpty() && IsObjectKind(p.kind)) {
    if (p.kind == Kind::kRecord)
      slot = Variant(Create(p.progId));
    else if (p.kind == Kind::kCollection)
      slot = Variant(std::make_shared<Collection>());
    else
      slot = Variant(CreateObject(p.progId));
  }
  return slot;
}

const Variant& QvRecord::Value(int index) {
  EnsureLoaded();
  const PropertyDef& p = cls_.Property(index);
  if (p.group != kBase) EnsureGroupLoaded(p.group);
  // A value of a plain kind in values made already is as it stands (a
  // save compares every value of hundreds of items).
  if (!values_.empty() && !IsObjectKind(p.kind)) return values_[index];
  return Materialize(index);
}

namespace {

// True when `v` is already of the type a property of `kind` holds (a mapper
// hands over values converted by their column): it is kept as it is.
bool HoldsKind(Kind kind, const Variant& v) {
  switch (kind) {
    case Kind::kText:
      return v.Type() == VarType::kString;
    case Kind::kLong:
      return v.Type() == VarType::kLong;
    case Kind::kDouble:
      return v.Type() == VarType::kDouble;
    case Kind::kDate:
      return v.Type() == VarType::kDate;
    case Kind::kBoolean:
      return v.Type() == VarType::kBoolean;
    default:
      return false;
  }
}

}  // namespace

void QvRecord::SetValue(int index, Variant value) {
  const PropertyDef& p = cls_.Property(index);
  // A value that does not convert changes nothing. One of the property's
  // kind (most values a mapper reads) is stored as it came, not moved
  // through a second Variant.
  if (!HoldsKind(p.kind, value)) value = Convert(p, value);
  EnsureLoaded();
  const bool bracketed = p.group != kBase && !Type().groups[p.group].endOp.empty();
  // A lazy value of a stored record: read its group first, so that saving
  // the group afterwards keeps the values the caller did not touch.
  if (bracketed) EnsureGroupLoaded(p.group);
  Values()[index] = std::move(value);
  // A group handed over in one assignment (a collection) is present now.
  if (p.group != kBase && !bracketed) groupLoaded_ |= uint64_t{1} << p.group;
  if (Quiet()) return;
  if (state_ == kNew) state_ = kChanged;
  if (const int flag = cls_.MarkedBy(index); flag >= 0) Values()[flag] = Variant(true);
}

Variant* QvRecord::LoadSlot(int index) {
  if (!loading_ || cls_.Property(index).group != kBase) return nullptr;
  return &Values()[index];
}

Variant* QvRecord::LoadSlots() {
  return loading_ ? Values().data() : nullptr;
}

void QvRecord::LoadedValue(int index) {
  const PropertyDef& p = cls_.Property(index);
  Variant& slot = values_[index];
  if (!HoldsKind(p.kind, slot)) slot = Convert(p, slot);
}

QvRecordPtr QvRecord::SubRecord(int index) {
  return std::static_pointer_cast<QvRecord>(Value(index).AsObject());
}

void QvRecord::SetSubRecordID(int index, const Variant& id) {
  EnsureLoaded();
  const PropertyDef& p = cls_.Property(index);
  if (p.group != kBase) EnsureGroupLoaded(p.group);
  Variant& slot = Values()[index];
  // A number or text is kept as it is until the sub-record is asked for;
  // SetID on a record just made gives then what it would give now.
  if (!slot.IsObject() && (id.IsNumericType() || id.IsString())) {
    slot = id;
    return;
  }
  static_cast<QvRecord&>(*Materialize(index).AsObject()).SetID(id);
}

std::optional<double> QvRecord::ReferencedId(int index) {
  EnsureLoaded();
  const PropertyDef& p = cls_.Property(index);
  if (p.group != kBase) EnsureGroupLoaded(p.group);
  const Variant& slot = Values()[index];
  if (p.kind != Kind::kRecord || !slot.IsNumericType()) return std::nullopt;
  // Materialize would make a record of the class and SetID the number: a
  // stored class's record of a numeric key is then a reference (or new for
  // 0), whose Id() is the number.
  const RecordClass& sub = ClassOf(p.progId);
  if (!sub.HasMapper() || sub.Type().textId) return std::nullopt;
  return CDbl(slot);
}

CollectionPtr QvRecord::CollectionAt(int index) {
  return std::static_pointer_cast<Collection>(Value(index).AsObject());
}

void QvRecord::ResetValues(int group, std::span<const uint8_t> kept) {
  if (values_.empty() && !rows_) return;  // every value is its default already
  if (group == kBase) {
    if (rows_) {
      rows_.reset();
      return;
    }
    // Each value back to its default where it is: a text keeps its
    // string's memory for the next load (LoadSlot).
    const std::vector<Variant>& defaults = cls_.Defaults();
    if (kept.empty()) {
      std::copy(defaults.begin(), defaults.end(), values_.begin());
      return;
    }
    for (size_t i = 0; i < values_.size(); ++i)
      if (!kept[i]) values_[i] = defaults[i];
    return;
  }
  Values();
  for (int i = 0; i < cls_.PropertyCount(); ++i) {
    const PropertyDef& p = cls_.Property(i);
    if (p.group == group) values_[i] = cls_.Defaults()[i];
  }
}

void QvRecord::ResetFlags() {
  for (int i = 0; i < cls_.PropertyCount(); ++i)
    if (cls_.Property(i).resetOnSave) Values()[i] = Variant(false);
}

void QvRecord::SetAllGroups(bool loaded) {
  groupLoaded_ = loaded ? ~uint64_t{0} : 0;
  groupTried_ = 0;
}

// ---- identifier and state

bool QvRecord::IdIsEmpty() const {
  return Type().textId ? id_.AsString().empty() : CDbl(id_) == 0;
}

double QvRecord::Id() const {
  return Type().textId ? 0 : CDbl(id_);
}

Variant QvRecord::ConvertId(const Variant& id) const {
  return Type().textId ? Variant(CStr(id)) : Variant(CDbl(id));
}

bool QvRecord::IsBlank() const {
  if (state_ == kReference || !IdIsEmpty()) return false;
  for (int i = 0; i < cls_.PropertyCount(); ++i) {
    const PropertyDef& p = cls_.Property(i);
    const Variant& v = ValueOrDefault(i);
    if (p.resetOnSave) continue;
    switch (p.kind) {
      case Kind::kObject:
        break;  // its content is its class's business
      case Kind::kRecord:
        // A reference not made yet is made: its identifier and state decide.
        if (!v.IsEmpty() && !v.IsObject()) const_cast<QvRecord*>(this)->Materialize(i);
        if (!v.IsEmpty()) {
          // Only its identifier and state: a record may refer to itself.
          const auto& sub = static_cast<const QvRecord&>(*v.AsObject());
          if (!sub.IdIsEmpty() || sub.state_ == kChanged) return false;
        }
        break;
      case Kind::kCollection:
        if (!v.IsEmpty() && static_cast<const Collection&>(*v.AsObject()).Count() > 0) return false;
        break;
      default:
        if (!(v == DefaultOf(p))) return false;
    }
  }
  return true;
}

void QvRecord::SetID(const Variant& id) {
  Variant v = ConvertId(id);
  if (!cls_.HasMapper()) {
    // A record its owner fills: the identifier is one more value.
    id_ = std::move(v);
    if (!Quiet() && state_ == kNew) state_ = kChanged;
    return;
  }
  if (v == id_ && (state_ == kReference || state_ == kLoaded)) return;
  ResetValues(kBase);
  id_ = std::move(v);
  loadTried_ = false;
  const bool empty = IdIsEmpty();
  state_ = empty ? kNew : kReference;
  SetAllGroups(empty);
  if (!empty && loadOnSetId_) EnsureLoaded();
}

void QvRecord::Clear() {
  ResetValues(kBase);
  id_ = ConvertId(Variant());
  state_ = kNew;
  loading_ = false;
  loadingGroup_ = -1;
  loadTried_ = false;
  SetAllGroups(true);
}

void QvRecord::BeginLoad(const Variant& id) {
  BeginLoadKeeping(id, {});
}

void QvRecord::BeginLoadKeeping(const Variant& id, std::span<const uint8_t> kept) {
  Variant v = ConvertId(id);
  ResetValues(kBase, kept);
  id_ = std::move(v);
  state_ = kReference;
  loading_ = true;
  loadingGroup_ = -1;
  loadTried_ = true;
  SetAllGroups(false);
}

void QvRecord::EndLoad() {
  loading_ = false;
  state_ = kLoaded;
}

void QvRecord::MarkNotFound(const Variant& id) {
  Variant v = ConvertId(id);
  ResetValues(kBase);
  id_ = std::move(v);
  state_ = kNew;
  loading_ = false;
  loadingGroup_ = -1;
  loadTried_ = true;  // no row to read: later reads do not ask again
  SetAllGroups(true);
}

void QvRecord::AssignNewID(const Variant& id) {
  id_ = ConvertId(id);
}

void QvRecord::AfterInsert() {
  if (state_ == kChanged) state_ = kLoaded;
  ResetFlags();
  Notify(Notice::kInserted);
}

void QvRecord::AfterUpdate() {
  if (state_ == kChanged) state_ = kLoaded;
  ResetFlags();
  Notify(Notice::kUpdated);
}

void QvRecord::AfterDelete() {
  state_ = kDeleted;
  Notify(Notice::kDeleted);
}

void QvRecord::Delete() {
  state_ = kDeleted;
}

void QvRecord::RestoreAfterRollback(const Variant& id, int32_t state) {
  id_ = ConvertId(id);
  state_ = state;
}

void QvRecord::Notify(Notice notice) const {
  if (!deaf_ && tNoticeSink) tNoticeSink(*this, notice);
}

void QvRecord::BeginGroupLoad(int group) {
  ResetValues(group);
  loadingGroup_ = group;
}

void QvRecord::EndGroupLoad(int group) {
  groupLoaded_ |= uint64_t{1} << group;
  loadingGroup_ = -1;
}

// ---- loading through the mapper

void QvRecord::EnsureLoaded() {
  if (state_ != kReference || Quiet() || loadTried_ || !cls_.HasMapper() || IdIsEmpty()) return;
  loadTried_ = true;
  busy_ = true;
  try {
    GuardIn(cls_.Info().Library(), cls_.Name(), "Load", [&] {
      std::vector<Variant> args{id_, Variant(shared_from_this())};
      CreateMapper()->Call("ReadRecord", args);
    });
  } catch (...) {
    busy_ = false;
    loadTried_ = false;  // the next read asks again, and fails visibly again
    throw;
  }
  busy_ = false;
}

void QvRecord::EnsureGroupLoaded(int group) {
  if (((groupLoaded_ | groupTried_) >> group & 1) || Quiet() || !cls_.HasMapper() || IdIsEmpty())
    return;
  if (state_ != kReference && state_ != kLoaded) return;  // nothing stored to read
  const LazyGroupDef& g = Type().groups[group];
  busy_ = true;
  try {
    GuardIn(cls_.Info().Library(), cls_.Name(), "Load" + std::string(g.name), [&] {
      std::vector<Variant> args{Variant(shared_from_this())};
      CreateMapper()->Call(g.loader, args);
    });
  } catch (...) {
    busy_ = false;
    throw;
  }
  busy_ = false;
  groupTried_ |= uint64_t{1} << group;
}

ObjectPtr QvRecord::CreateMapper() const {
  if (!cls_.HasMapper())
    ThrowVb(vberr::kInvalidProcedureCall, std::string(cls_.Name()) + " has no mapper");
  return CreateObjectErr(cls_.Info().Library(), cls_.Name(), Type().mapperProgId);
}

void QvRecord::Refresh() {
  std::vector<Variant> args{id_, Variant(shared_from_this())};
  CreateMapper()->Call("ReadRecord", args);
}

void QvRecord::SaveToStore(bool recursive, const Variant& extra) {
  std::vector<Variant> args{Variant(shared_from_this()), Variant(recursive)};
  if (!extra.IsMissing()) args.push_back(extra);
  CreateMapper()->Call("SaveRecord", args);
}

void QvRecord::DeleteFromStore() {
  std::vector<Variant> args{Variant(shared_from_this())};
  CreateMapper()->Call("DeleteRecord", args);
}

// ---- late binding

Variant QvRecord::InvokeProperty(int index, CallKind kind, Args args) {
  const PropertyDef& p = cls_.Property(index);
  if (kind == CallKind::kLet) {
    if (args.size() != 1)
      ThrowVb(vberr::kWrongArguments, "the property " + std::string(p.name) + " takes one value");
    SetValue(index, args[0]);
    return Variant();
  }
  if (!args.empty())
    ThrowVb(vberr::kWrongArguments, "the property " + std::string(p.name) + " takes no arguments");
  return Value(index);
}

Variant QvRecord::Invoke(std::string_view name, CallKind kind, Args args) {
  return GuardIn(cls_.Info().Library(), cls_.Name(), name, [&]() -> Variant {
    const int index = cls_.PropertyIndex(name);
    if (index >= 0) return InvokeProperty(index, kind, args);
    return Object::Invoke(name, kind, args);
  });
}

std::vector<std::string> QvRecord::MemberNames() const {
  std::vector<std::string> names;
  for (const PropertyDef& p : Type().properties) names.emplace_back(p.name);
  for (std::string& m : Object::MemberNames()) names.push_back(std::move(m));
  return names;
}

}  // namespace qv::records
