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

using coretest::kAnyError;

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
  EXPECT_EQ(miDBProviderFactory::IntGetDBQPfr(), nullptr);
  SetUnattended(false);
  ProgIdRegistry::Register(*real);
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].title, "Сбой программы");
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
  std::string expected;
  for (const char* p :
       {"ArrayOfDouble", "ArrayOfStrings", "QvPropertyStorage", "DictOfStrings", "MatrixOfStrings"})
    expected += "begin Qv_Storages." + std::string(p) +
                "\n  failed: ActiveX component can't create object: Qv_Storages." + p + "\n";
  for (const char* r :
       {"QvAccStream", "QvAddress", "QvAdrCountry", "QvAdrRegion", "QvConsDocument", "QvConsStream",
        "QvDocument", "QvPerson", "QvTaxOffice", "QvTemplType", "QvTimePeriod", "QvWorker"})
    expected += "begin Qv_Records." + std::string(r) + "\n  ok\n";
  for (const char* suffix : {".2.6", ""})
    for (const char* a : {"Connection", "Recordset", "Command", "Parameter"})
      expected += "begin (ADODB." + std::string(a) + ") ADODB." + a + suffix + "\n  ok\n";
  expected += "begin (DAO.TableDef) DAO.TableDef.36\n  ok\n";
  expected += "begin (DAO.QueryDef) DAO.QueryDef.36\n  ok\n";
  EXPECT_EQ(tester->calls, expected);

  tester->calls.clear();
  selfTest->CallV("TestControlsRegistartion", ObjectPtr(tester));
  std::vector<Variant> args{Variant(ObjectPtr(tester)),
                            Variant(VariantArray::Of({Variant(int32_t{1})}))};
  EXPECT_TRUE(selfTest->Call("TestExecute", args).IsEmpty());
  EXPECT_EQ(tester->calls, "");
}

}  // namespace
}  // namespace qv
