#include "siblings/records/RecordFactory.h"

#include <gtest/gtest.h>

#include <thread>

#include "siblings/records/FakeMapper.h"
#include "support/TestSupport.h"

namespace qv::records {
namespace {

TEST(RecordFactory, OnePerThread) {
  auto mine = RecordFactory::ForThisThread();
  EXPECT_EQ(RecordFactory::ForThisThread(), mine);
  std::shared_ptr<RecordFactory> other;
  std::thread([&] { other = RecordFactory::ForThisThread(); }).join();
  EXPECT_NE(other, mine);
}

TEST(RecordFactory, HandsOutRecordsByTypeAndIdentifier) {
  testing::ResetFake();
  for (const char* progId : {"Qv_Records.RecordFactory", "Qv_PfrRecords.RecordFactory"}) {
    SCOPED_TRACE(progId);
    ObjectPtr f = CreateObject(progId);
    const struct {
      const char* call;
      Variant id;
      int32_t state;
    } cases[] = {
        {"GetRecord", Variant(5), kReference},
        {"GetRecord", Variant(0), kNew},
        {"GetLoadedRecord", Variant(7), kLoaded},
        {"GetLoadedRecord", Variant(0), kNew},
    };
    for (const auto& c : cases) {
      ObjectPtr r = f->CallV(c.call, testing::kTestType, c.id).AsObject();
      EXPECT_EQ(r->Class().ProgId(), testing::kTestType);
      EXPECT_EQ(r->Get("RState"), Variant(c.state)) << c.call << " " << c.id.Describe();
      EXPECT_EQ(r->Get("ID"), Variant(CDbl(c.id)));
    }
    ObjectPtr fresh = f->CallV("NewRecord", "qv_pfrrecords.QVWJEVENT").AsObject();
    EXPECT_EQ(fresh->Class().ProgId(), "Qv_PfrRecords.QvWjEvent");
    EXPECT_EQ(fresh->Get("RState"), Variant(int32_t{0}));
    // No cache: each call gives its own object.
    EXPECT_NE(f->CallV("GetRecord", "Qv_Records.QvPerson", 1).AsObject(),
              f->CallV("GetRecord", "Qv_Records.QvPerson", 1).AsObject());
  }
  EXPECT_EQ(testing::FakeLog(), (std::vector<std::string>{"ReadRecord 7", "ReadRecord 7"}));
}

TEST(RecordFactory, RejectsWhatIsNotARecordType) {
  auto f = RecordFactory::ForThisThread();
  for (const char* progId : {"Qv_Records.Nothing", "VBA.Collection", ""}) {
    SCOPED_TRACE(progId);
    testsupport::ExpectError(vberr::kCannotCreateObject, "RecordFactory.NewRecord",
                             [&] { f->NewRecord(progId); });
  }
}

}  // namespace
}  // namespace qv::records
