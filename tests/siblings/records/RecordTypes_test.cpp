#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/automation/VbaText.h"
#include "siblings/records/QvRecord.h"
#include "siblings/records/RecordClass.h"

namespace qv::records {
namespace {

std::vector<const RecordType*> BuiltInTypes() {
  std::vector<const RecordType*> out;
  for (auto table : {QvRecordsTypes(), QvPfrRecordsTypes()})
    for (const RecordType& t : table) out.push_back(&t);
  return out;
}

// The type a property's value must have on first read.
std::string CheckValue(const PropertyDef& p, const Variant& v) {
  switch (p.kind) {
    case Kind::kText:
      return v.IsString() ? "" : "not a String";
    case Kind::kLong:
      return v.Type() == VarType::kLong ? "" : "not a Long";
    case Kind::kDouble:
      return v.Type() == VarType::kDouble ? "" : "not a Double";
    case Kind::kDate:
      return v.IsDate() ? "" : "not a Date";
    case Kind::kBoolean:
      return v.Type() == VarType::kBoolean ? "" : "not a Boolean";
    case Kind::kVariant:
      return v.IsEmpty() ? "" : "not Empty";
    case Kind::kRecord: {
      auto r = v.ObjectAs<QvRecord>();
      return r && r->Type().progId == p.progId && r->State() == kNew ? "" : "not a new sub-record";
    }
    case Kind::kCollection: {
      auto c = v.ObjectAs<Collection>();
      return c && c->Count() == 0 ? "" : "not an empty Collection";
    }
    case Kind::kObject:
      return v.IsObject() && v.AsObject() && v.AsObject()->Class().ProgId() == p.progId
                 ? ""
                 : "not an object of its class";
  }
  return "unknown kind";
}

TEST(RecordTypes, EveryTypeIsCreatableByProgIdAndReadable) {
  for (const RecordType* t : BuiltInTypes()) {
    SCOPED_TRACE(std::string(t->progId));
    ObjectPtr o = CreateObject(t->progId);
    auto r = std::dynamic_pointer_cast<QvRecord>(o);
    ASSERT_TRUE(r);
    EXPECT_EQ(&r->Type(), t);
    EXPECT_EQ(r->Get("RState"), Variant(int32_t{0}));
    EXPECT_EQ(r->Get("ID"), t->textId ? Variant("") : Variant(0.0));
    EXPECT_EQ(r->Get("IsReadOnlyRecord"), Variant(t->readOnly));
    // A read-only type has no notifications nor store operations.
    EXPECT_EQ(r->Class().Find("AfterInsert") == nullptr, t->readOnly);
    for (const char* op :
         {"AfterUpdate", "AfterDelete", "SaveToStore", "DeleteFromStore", "DeafForNotifications"})
      EXPECT_TRUE(!t->readOnly || !r->Class().Find(op)) << op;
    EXPECT_TRUE(r->Get("IsBlank") == Variant(true));
    for (const PropertyDef& p : t->properties)
      EXPECT_EQ(CheckValue(p, r->Get(p.name)), "") << p.name;
    for (const LazyGroupDef& g : t->groups) EXPECT_EQ(r->Get(g.loadedFlag), Variant(true));
    EXPECT_EQ(r->State(), kNew);  // reading a new record changes nothing
  }
}

TEST(RecordTypes, DescriptorsAreConsistent) {
  for (const RecordType* t : BuiltInTypes()) {
    SCOPED_TRACE(std::string(t->progId));
    EXPECT_TRUE(t->progId.starts_with("Qv_Records.") || t->progId.starts_with("Qv_PfrRecords."));
    // Mappers are this library's classes, or the courier library's for the
    // courier objects a document or stream refers to.
    EXPECT_TRUE(t->mapperProgId.empty() || t->mapperProgId.starts_with("Qv_DBProvider.DB") ||
                t->mapperProgId.starts_with("Qv_CourDB.DBCour"))
        << t->mapperProgId;
    const RecordClass* cls = FindRecordClass(t->progId);
    ASSERT_TRUE(cls);

    // One name, one member: properties must not hide protocol members or
    // each other.
    std::set<std::string> names;
    for (const Member& m : cls->Info().Members())
      EXPECT_TRUE(names.insert(AsciiLower(m.name)).second) << "member " << m.name;
    std::vector<int> groupSizes(t->groups.size(), 0);
    for (const PropertyDef& p : t->properties) {
      EXPECT_TRUE(names.insert(AsciiLower(p.name)).second) << "property " << p.name;
      EXPECT_EQ(cls->PropertyIndex(AsciiLower(p.name)), &p - t->properties.data());
      if (p.group != kBase) {
        ASSERT_LT(p.group, static_cast<int>(t->groups.size())) << p.name;
        ++groupSizes[p.group];
        EXPECT_FALSE(p.resetOnSave) << p.name;
      }
      if (!p.marks.empty()) {
        const int flag = cls->PropertyIndex(p.marks);
        ASSERT_GE(flag, 0) << p.name;
        EXPECT_TRUE(cls->Property(flag).resetOnSave) << p.marks;
      }
      if (p.kind == Kind::kRecord) {
        EXPECT_TRUE(FindRecordClass(p.progId)) << p.name;
      }
      if (p.kind == Kind::kCollection && !p.progId.empty()) {
        EXPECT_TRUE(FindRecordClass(p.progId)) << p.name;
      }
      if (p.kind == Kind::kObject) {
        const ClassInfo* info = ProgIdRegistry::Find(p.progId);
        EXPECT_TRUE(info && info->Creatable()) << p.name;
      }
      if (p.kind != Kind::kRecord && p.kind != Kind::kObject && p.kind != Kind::kCollection) {
        EXPECT_TRUE(p.progId.empty()) << p.name;
      }
    }
    for (size_t g = 0; g < t->groups.size(); ++g) {
      EXPECT_GT(groupSizes[g], 0) << t->groups[g].name;
      EXPECT_FALSE(t->groups[g].loader.empty());
      EXPECT_EQ(t->groups[g].beginOp.empty(), t->groups[g].endOp.empty());
    }
    // A type with lazy parts loads them through its mapper.
    if (!t->groups.empty()) {
      EXPECT_FALSE(t->mapperProgId.empty());
    }
  }
}

}  // namespace
}  // namespace qv::records
