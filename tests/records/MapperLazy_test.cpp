// Lazy columns through the engine: a test record type over ConsStream whose
// LPCategory is lazy, with a mapper declared the way later mappers are.

#include <gtest/gtest.h>

#include "records/EntityFixture.h"
#include "records/PlainMapper.h"
#include "siblings/records/RecordFactory.h"

namespace qv::records::testing {
namespace {

constexpr PropertyDef kProps[] = {decl::Text("DisplayName"), decl::Long("LPCategory", 0)};
constexpr LazyGroupDef kGroups[] = {kLazyFields};
constexpr RecordType kLazyStream{.progId = "QvTest.LazyStream",
                                 .mapperProgId = "QvTest.LazyStreamMapper",
                                 .properties = kProps,
                                 .groups = kGroups};
[[maybe_unused]] const bool kRegistered = (RegisterRecordType(kLazyStream), true);

constexpr ColumnDef kColumns[] = {col::Text("DisplayName"), col::Lazy(col::Long("LPCategory"))};
constexpr ColumnMap kMap{"ConsStream", kColumns};

class LazyStreamMapper : public PlainMapper<LazyStreamMapper> {
  QV_DECLARE_CLASS(LazyStreamMapper)

 public:
  static const MapperDef& Def() {
    static const MapperDef def{"QvTest.LazyStream", kMap, true};
    return def;
  }
};

QV_DEFINE_CLASS(LazyStreamMapper, "QvTest.LazyStreamMapper", QV_CREATABLE(LazyStreamMapper),
                QV_LAZY_MAPPER_MEMBERS(LazyStreamMapper))

using MapperLazy = EntityTest;

TEST_F(MapperLazy, LazyColumnsAreReadOnFirstUseAndWrittenOnlyWhenHeld) {
  Sql("insert into ConsStream (ID, DisplayName, LPCategory) values (5, 'five', 2)");
  auto factory = RecordFactory::ForThisThread();
  int group = 0;

  auto r = factory->GetRecord("QvTest.LazyStream", Variant(5.0));
  EXPECT_EQ(CStr(r->Get("DisplayName")), "five");
  EXPECT_FALSE(r->GroupLoaded(group));
  // Saved without its lazy columns: the stored LPCategory stays.
  r->Let("DisplayName", Variant("renamed"));
  r->SaveToStore(false);
  EXPECT_EQ(CStr(Scalar("select DisplayName from ConsStream where ID = 5")), "renamed");
  EXPECT_EQ(CLng(Scalar("select LPCategory from ConsStream where ID = 5")), 2);
  EXPECT_FALSE(r->GroupLoaded(group));
  // First use of a lazy property reads the group; then it is written.
  EXPECT_EQ(CLng(r->Get("LPCategory")), 2);
  EXPECT_TRUE(r->GroupLoaded(group));
  r->Let("LPCategory", Variant(int32_t{9}));
  r->SaveToStore(false);
  EXPECT_EQ(CLng(Scalar("select LPCategory from ConsStream where ID = 5")), 9);

  // ReadLazyFields on a reference not read reads the base columns first; on
  // an identifier without row it marks the record not found.
  ObjectPtr mapper = CreateObject("QvTest.LazyStreamMapper");
  auto ref = factory->GetRecord("QvTest.LazyStream", Variant(5.0));
  mapper->CallV("ReadLazyFields", Obj(ref));
  EXPECT_EQ(ref->State(), kLoaded);
  EXPECT_TRUE(ref->GroupLoaded(group));
  EXPECT_EQ(CStr(ref->Get("DisplayName")), "renamed");
  auto gone = factory->GetRecord("QvTest.LazyStream", Variant(6.0));
  mapper->CallV("ReadLazyFields", Obj(gone));
  EXPECT_EQ(gone->State(), kNew);
  EXPECT_EQ(gone->Id(), 6);
}

}  // namespace
}  // namespace qv::records::testing
