#include "siblings/records/RecordClass.h"

#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>

#include "platform/automation/VbaText.h"
#include "siblings/records/QvRecord.h"

namespace qv::records {

namespace {

struct Registry {
  std::mutex mutex;
  std::vector<std::unique_ptr<RecordClass>> classes;
  std::map<std::string, const RecordClass*> byLowerProgId;
};

Registry& TheRegistry() {
  static Registry r;
  return r;
}

// What help prints for a group's members: "Sub BeginLazyLoad()" and
// "Function LazyLoaded() As Boolean".
std::shared_ptr<const Signature> GroupOpSignature() {
  static const auto s = std::make_shared<const Signature>(Signature{{}, nullptr, 0});
  return s;
}
std::shared_ptr<const Signature> GroupLoadedSignature() {
  static const auto s =
      std::make_shared<const Signature>(Signature{{}, &dispatch::TypeName<bool>, 0});
  return s;
}

// A member taking no arguments, bound to one group of the type.
Member GroupMember(std::string_view name, int group, void (*op)(QvRecord&, int)) {
  return Member{std::string(name),
                [name = std::string(name), group, op](Object& o, Args args) {
                  if (!args.empty()) ThrowVb(vberr::kWrongArguments, name + " takes no arguments");
                  op(static_cast<QvRecord&>(o), group);
                  return Variant();
                },
                nullptr, GroupOpSignature()};
}

}  // namespace

Variant DefaultValueOf(const PropertyDef& p) {
  switch (p.kind) {
    case Kind::kText:
      return Variant("");
    case Kind::kLong:
      return Variant(int32_t{0});
    case Kind::kDouble:
      return Variant(0.0);
    case Kind::kDate:
      return Variant(OleDate{});
    case Kind::kBoolean:
      return Variant(false);
    default:
      return Variant();  // kVariant Empty; objects are made on first read
  }
}

RecordClass::RecordClass(const RecordType& type)
    : type_(type), info_(std::string(type.progId), BuildMembers(), [this]() -> ObjectPtr {
        return std::make_shared<QvRecord>(*this);
      }) {
  if (type.groups.size() > kMaxGroups)
    throw std::length_error(std::string(type.progId) + " has more lazy groups than a record keeps");
  for (int i = 0; i < PropertyCount(); ++i) byLowerName_.emplace(AsciiLower(Property(i).name), i);
  marks_.assign(PropertyCount(), -1);
  for (int i = 0; i < PropertyCount(); ++i)
    if (!Property(i).marks.empty()) marks_[i] = PropertyIndex(Property(i).marks);
  for (int i = 0; i < PropertyCount(); ++i) defaults_.push_back(DefaultValueOf(Property(i)));
}

int RecordClass::PropertyIndex(std::string_view name) const {
  char buf[64];
  if (name.size() > sizeof buf) return -1;  // no property has so long a name
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    buf[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  }
  auto it = byLowerName_.find(std::string(buf, name.size()));
  return it == byLowerName_.end() ? -1 : it->second;
}

int RecordClass::GroupIndexByFlag(std::string_view name) const {
  for (size_t g = 0; g < type_.groups.size(); ++g)
    if (EqualsAsciiNoCase(type_.groups[g].loadedFlag, name)) return static_cast<int>(g);
  return -1;
}

std::vector<Member> RecordClass::BuildMembers() const {
  using R = QvRecord;
  std::vector<Member> m{
      qv::Property("ID", &R::IdValue, &R::SetID),
      Method("SetID(aID)", &R::SetID),
      Method("RState", &R::State),
      Method("IsReadOnlyRecord", &R::IsReadOnlyRecord),
      Method("IsBlank", &R::IsBlank),
      Method("Clear", &R::Clear),
      Method("BeginLoad(aID)", &R::BeginLoad),
      Method("EndLoad", &R::EndLoad),
      Method("MarkNotFound(aID)", &R::MarkNotFound),
      Method("AssignNewID(aID)", &R::AssignNewID),
      Method("Delete", &R::Delete),
      qv::Property("LoadOnSetID", &R::LoadOnSetID, &R::SetLoadOnSetID),
  };
  if (!type_.readOnly) {
    m.push_back(Method("AfterInsert", &R::AfterInsert));
    m.push_back(Method("AfterUpdate", &R::AfterUpdate));
    m.push_back(Method("AfterDelete", &R::AfterDelete));
    m.push_back(qv::Property("DeafForNotifications", &R::DeafForNotifications,
                             &R::SetDeafForNotifications));
  }
  if (!type_.mapperProgId.empty()) {
    m.push_back(Method("Refresh", &R::Refresh));
    if (!type_.readOnly) {
      m.push_back(Method("SaveToStore(aRecursive, aExtra)", &R::SaveToStore,
                         {Variant(false), Variant::Missing()}));
      m.push_back(Method("DeleteFromStore", &R::DeleteFromStore));
    }
  }
  for (size_t g = 0; g < type_.groups.size(); ++g) {
    const LazyGroupDef& def = type_.groups[g];
    const int gi = static_cast<int>(g);
    m.push_back(
        Member{std::string(def.loadedFlag),
               [gi](Object& o, Args) { return Variant(static_cast<R&>(o).GroupLoaded(gi)); },
               nullptr, GroupLoadedSignature()});
    if (!def.beginOp.empty())
      m.push_back(GroupMember(def.beginOp, gi, [](R& r, int i) { r.BeginGroupLoad(i); }));
    if (!def.endOp.empty())
      m.push_back(GroupMember(def.endOp, gi, [](R& r, int i) { r.EndGroupLoad(i); }));
  }
  for (const ExtraDef& x : type_.extras)
    m.push_back(Member{std::string(x.name),
                       [call = x.call](Object& o, Args a) { return call(static_cast<R&>(o), a); },
                       nullptr, x.signature ? x.signature() : nullptr});
  return m;
}

const RecordClass& RegisterRecordType(const RecordType& type) {
  Registry& r = TheRegistry();
  const RecordClass* cls = nullptr;
  {
    std::lock_guard lock(r.mutex);
    r.classes.push_back(std::make_unique<RecordClass>(type));
    cls = r.classes.back().get();
    r.byLowerProgId[AsciiLower(type.progId)] = cls;
  }
  ProgIdRegistry::Register(cls->Info());
  return *cls;
}

const RecordClass* FindRecordClass(std::string_view progId) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  auto it = r.byLowerProgId.find(AsciiLower(progId));
  return it == r.byLowerProgId.end() ? nullptr : it->second;
}

// Every type of the built-in tables, registered by one loop at load time.
[[maybe_unused]] static const bool kBuiltInTypesRegistered = [] {
  for (auto table : {QvRecordsTypes(), QvPfrRecordsTypes()})
    for (const RecordType& type : table) RegisterRecordType(type);
  return true;
}();

}  // namespace qv::records
