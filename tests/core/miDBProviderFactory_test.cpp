// The per-thread object factory and the registration self-test.

#include "core/miDBProviderFactory.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "CoreTestSupport.h"
#include "core/STQvDBProvider.h"

namespace qv {
namespace {

using coretest::ExpectError;

// Stands in for a courier class no library of ours provides.
class FakeCourBlob : public Object {
  QV_DECLARE_CLASS(FakeCourBlob)
};
QV_DEFINE_CLASS(FakeCourBlob, "QvCoreTest.FakeCourBlob", QV_CREATABLE(FakeCourBlob))

// Records what the self-test asks of it.
class FakeTester : public Object {
  QV_DECLARE_CLASS(FakeTester)

 public:
  void TryBegin(const std::string& label) { calls += "begin " + label + "\n"; }
  void TrySuccess() { calls += "  ok\n"; }
  void TryFailed(const std::string& description) { calls += "  failed: " + description + "\n"; }
  std::string calls;
};
QV_DEFINE_CLASS(FakeTester, "QvCoreTest.FakeTester", QV_CREATABLE(FakeTester),
                Method("TryBegin", &FakeTester::TryBegin),
                Method("TrySuccess", &FakeTester::TrySuccess),
                Method("TryFailed", &FakeTester::TryFailed))

class Factory : public coretest::DataFolderTest {};

// Two creators on one slot would hand out each other's objects.
TEST_F(Factory, SlotsAreDistinct) {
  std::set<int32_t> used;
  for (const auto& c : miDBProviderFactory::Creators()) {
    EXPECT_TRUE(used.insert(c.slot).second) << c.name;
    EXPECT_LT(c.slot, miDBProviderFactory::kSlotCount);
  }
}

TEST_F(Factory, AMissingClassIsShown) {
  // DBQPfr made not creatable for the call, as when its library is missing.
  const ClassInfo* real = ProgIdRegistry::Find("Qv_DBProvider.DBQPfr");
  ASSERT_TRUE(real);
  static const ClassInfo missing("Qv_DBProvider.DBQPfr", {}, nullptr);
  ProgIdRegistry::Register(missing);
  SetUnattended(true);
  EXPECT_EQ(miDBProviderFactory::IntGetDBQPfr(), nullptr);  // shown, not raised
  SetUnattended(false);
  ProgIdRegistry::Register(*real);
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].title, "Сбой программы");
  EXPECT_EQ(shown_[0].style, 16);
  EXPECT_EQ(shown_[0].text.substr(0, shown_[0].text.find("\r\n")),
            "[Qv_DBProvider::miDBProviderFactory.IntGetDBQPfr]");

  // The package service: a new object each time.
  ObjectPtr first = miDBProviderFactory::NewKPRDocsPackageSrv();
  ASSERT_TRUE(first);
  EXPECT_NE(miDBProviderFactory::NewKPRDocsPackageSrv(), first);
}

TEST_F(Factory, OneInstancePerSlotAndThread) {
  if (!ProgIdRegistry::Find("Qv_CourDB.DBCourBlob"))
    ProgIdRegistry::Register("Qv_CourDB.DBCourBlob", &FakeCourBlob::StaticClass);
  ObjectPtr first = miDBProviderFactory::IntGetDBCourBlob();
  ASSERT_TRUE(first);
  EXPECT_EQ(miDBProviderFactory::IntGetDBCourBlob(), first);
  ObjectPtr other;
  std::thread([&] { other = miDBProviderFactory::IntGetDBCourBlob(); }).join();
  ASSERT_TRUE(other);
  EXPECT_NE(other, first);
}

TEST_F(Factory, SelfTestReportsEachClassInOrder) {
  auto tester = std::make_shared<FakeTester>();
  ObjectPtr selfTest = CreateObject("Qv_DBProvider.STQvDBProvider");
  selfTest->CallV("TestClassesRegistration", ObjectPtr(tester));
  // A class whose library is missing is reported as failed, and the run goes on
  // to the last class.
  EXPECT_TRUE(tester->calls.starts_with(
      "begin Qv_Storages.ArrayOfDouble\n  failed: ActiveX component can't create object: "
      "Qv_Storages.ArrayOfDouble\n"))
      << tester->calls;
  EXPECT_NE(tester->calls.find("begin Qv_Records.QvWorker\n  ok\n"), std::string::npos);
  EXPECT_TRUE(tester->calls.ends_with("begin (DAO.QueryDef) DAO.QueryDef.36\n  ok\n"));

  tester->calls.clear();
  selfTest->CallV("TestControlsRegistartion", ObjectPtr(tester));
  std::vector<Variant> args{Variant(ObjectPtr(tester)),
                            Variant(VariantArray::Of({Variant(int32_t{1})}))};
  EXPECT_TRUE(selfTest->Call("TestExecute", args).IsEmpty());
  EXPECT_EQ(tester->calls, "");
}

}  // namespace
}  // namespace qv
