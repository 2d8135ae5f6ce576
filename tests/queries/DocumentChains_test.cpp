// What keeps a document's adjustment chain and cells whole while documents
// are made and merged: a new adjustment continues the chain's current
// version whatever is accepted, a version number is never given twice, and
// a copy or merge leaves one row per cell key; and how a document's chain
// continues into the neighbouring periods.

#include <gtest/gtest.h>

#include "platform/automation/Object.h"
#include "records/DocumentFixture.h"
#include "siblings/records/QvRecord.h"

namespace qv::queries::testing {
namespace {

using records::testing::DocumentTest;
using records::testing::ExpectError;

class DocumentChains : public DocumentTest {
 protected:
  void SetUp() override {
    DocumentTest::SetUp();
    q_ = CreateObject("Qv_DBProvider.DocumentQueries");
  }
  ObjectPtr q_;
};

// Stream 5, Q1: instance 0 is 1 (delivered, accepted) <- 2 (current, not
// accepted yet); instance 1 is 3 alone. Each step makes a new version, which
// must continue the current one; the cells copied are the named version's.
TEST_F(DocumentChains, AnAdjustmentContinuesTheCurrentVersion) {
  AddDoc(1, "top_doc_id = 2, accept_date = DateSerial(2025, 4, 20)");
  AddDoc(2, "doc_type = 1, bottom_next_id = 1");
  AddDoc(3, "instance_number = 1, accept_date = DateSerial(2025, 4, 1)");
  AddCell(1, "010000100001", "delivered");
  AddCell(2, "010000100001", "current");
  using V = Variant;
  const struct {
    const char* what;
    std::vector<Variant> args;  // of CreateNewAdjustment2
    const char* made;           // id:instance.adjustment <bottom >top, as Chain shows it
    const char* cells;
  } steps[] = {
      {"found for instance 0",
       {V(5.0), V(2513.0), V(101.0), V(true)},
       "4:0.2 <2 >0",
       "010000100001=current/129"},
      {"an older version named",
       {V(5.0), V(2513.0), V(101.0), V(true), V(1.0)},
       "5:0.3 <4 >0",
       "010000100001=delivered/129"},
      {"another instance",
       {V(5.0), V(2513.0), V(102.0), V(false), V(0.0), V(1)},
       "6:1.1 <3 >0",
       ""},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.what);
    std::vector<Variant> args = s.args;
    auto doc = q_->Call("CreateNewAdjustment2", args).ObjectAs<records::QvRecord>();
    EXPECT_NE(Chain().find(s.made), std::string::npos) << Chain();
    EXPECT_EQ(Cells(doc->Id()), s.cells);
    EXPECT_EQ(ChainFaults(), "");
  }
  // An imported version of a number the instance has is refused.
  const std::string before = Chain();
  ExpectError(5, "[Qv_DBProvider::DocumentQueries.CreateImportingDocument]",
              [&] { q_->CallV("CreateImportingDocument", 5.0, 2513.0, 101.0, 0, 2); });
  EXPECT_EQ(Chain(), before);
}

// A copy or merge into a document with cells: one row per key, the value
// brought in wins, the target's other cells stay.
TEST_F(DocumentChains, CopiesAndMergesKeepOneRowPerKey) {
  const auto copy = [&](double from, double to) { q_->CallV("CopyDocumentCells", from, to); };
  const auto merge = [&](double from, double to) {
    std::vector<Variant> args{Variant(from),   Variant(4),  Variant(6.0),
                              Variant(2514.0), Variant(to), Variant(0.0)};
    q_->Call("MoveDocument", args);
  };
  const struct {
    const char* what;
    std::function<void()> run;
    const char* cells;  // of document 2 afterwards
  } cases[] = {
      {"a copy", [&] { copy(1, 2); },
       "010000100001=brought/129; 010000200001=both new/129; 010000300001=targets/129"},
      {"a copy into itself", [&] { copy(2, 2); },
       "010000200001=both old/129; 010000300001=targets/129"},
      {"a merge", [&] { merge(1, 2); },
       "010000100001=brought/129; 010000200001=both new/129; 010000300001=targets/129"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Sql("delete from doc_registry");
    Sql("delete from doc_cell_values");
    AddDoc(1);
    AddDoc(2, "taxpayer_id = 6, time_id = 2514");
    AddCell(1, "010000100001", "brought");
    AddCell(1, "010000200001", "both new");
    AddCell(2, "010000200001", "both old");
    AddCell(2, "010000300001", "targets");
    c.run();
    EXPECT_EQ(Cells(2), c.cells);
    EXPECT_EQ(ChainFaults(), "");
  }
}

// Stream 5: across years and quarters, months of a monthly class, versions
// not accepted yet; stream 6: class 10 continued by its alternative class
// 20 (22's previous quarter has only 21 of class 20, continued forwards by
// class 10, whose alternative it is), versions and instances by their
// acceptance.
TEST_F(DocumentChains, NeighbouringPeriods) {
  Sql("insert into doc_type_class (doc_type_id, ID, KND) values (30, 30, '0710099')");
  Sql("insert into doc_templates (template_id, doc_type_id, enable, EditorType) values (301, 30, "
      "1, 1)");
  Sql("update doc_type_class set alter_doc_type_id = 20 where doc_type_id = 10");
  AddDoc(1, "time_id = 2416");                     // IV quarter 2024
  AddDoc(2, "time_id = 2513");                     // I quarter 2025
  AddDoc(3, "time_id = 2412, template_id = 301");  // December 2024
  AddDoc(4, "time_id = 2501, template_id = 301");  // January 2025
  AddDoc(5, "time_id = 2502, template_id = 301, instance_number = 1");
  Sql("update doc_registry set accept_date = DateSerial(2025, 4, 1)");
  const std::string ie = "taxpayer_id = 6, ";
  AddDoc(21, ie + "time_id = 2416, template_id = 201, accept_date = DateSerial(2025, 1, 20)");
  AddDoc(22, ie + "accept_date = DateSerial(2025, 4, 20)");
  AddDoc(23, ie + "time_id = 2514, template_id = 102, accept_date = DateSerial(2025, 7, 20)");
  AddDoc(24, ie + "time_id = 2514, doc_type = 1, accept_date = DateSerial(2025, 7, 25)");
  AddDoc(25, ie + "time_id = 2514, instance_number = 1, accept_date = DateSerial(2025, 7, 26)");
  AddDoc(26, ie + "time_id = 2514, accept_date = DateSerial(2025, 4, 1)");  // accepted before 22
  AddDoc(6, "time_id = 2514");                                              // not accepted yet
  AddDoc(7, "time_id = 2414, instance_number = 1");  // 2024, neither accepted
  AddDoc(8, "time_id = 2415, instance_number = 1");
  Sql("update doc_registry set accept_date = Null where document_id in (7, 8)");
  const struct {
    double doc;
    double prev, next;
  } cases[] = {{1, 0, 2}, {2, 1, 6},    {6, 2, 0},   {3, 0, 4},   {4, 3, 0},   {5, 0, 0}, {7, 0, 8},
               {8, 7, 0}, {22, 21, 24}, {24, 22, 0}, {23, 22, 0}, {21, 0, 22}, {99, 0, 0}};
  const auto neighbour = [&](const char* operation, double doc) {
    std::vector<Variant> args{Variant(doc), Variant(-1.0)};
    EXPECT_TRUE(CBool(q_->Call(operation, args)));
    return CDbl(args[1]);
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.doc);
    EXPECT_EQ(neighbour("GetPrevPeriodDocID", c.doc), c.prev);
    EXPECT_EQ(neighbour("GetNextPeriodDocID", c.doc), c.next);
  }
}

}  // namespace
}  // namespace qv::queries::testing
