// The warrants of a worker and the active one per kind of recipient
// authority, called by name as the application does.

#include <gtest/gtest.h>

#include "warrants/WarrantFixture.h"
#include "warrants/WarrantMappers.h"

namespace qv::warrants::testing {
namespace {

class ActiveWarrants : public WarrantTest {
 protected:
  void SetUp() override {
    WarrantTest::SetUp();
    // Worker 7: kind 1 with overlapping terms (2 active, 3 the latest), two
    // of kind 2 beginning the same day, an active one of kind 3. Worker 8:
    // none active.
    InsertRows(
        "insert into Warrants (ID, WorkerID, ContoraType, DateBeg, DateEnd, IsActive, Caption)",
        {"(1, 7, 1, 45292, 45657, 0, 'Д1')", "(2, 7, 1, 45444, 45808, 1, 'Д2')",
         "(3, 7, 1, 45658, 0, 0, 'Д3')", "(4, 7, 2, 45352, 0, 0, 'Д4')",
         "(5, 7, 2, 45352, 0, 0, 'Д5')", "(6, 7, 3, 44927, 0, 1, 'Д6')",
         "(7, 8, 1, 44562, 0, 0, 'Д7')", "(8, 8, 2, 45047, 0, 0, 'Д8')"});
    queries_ = CreateObject("Qv_DBProvider.DBQWarrant");
  }
  // The identifier of the warrant a call returns, 0 for Nothing.
  static double IdOf(const Variant& v) { return v.IsNothing() ? 0 : CDbl(v.AsObject()->Get("ID")); }

  ObjectPtr queries_;
};

TEST_F(ActiveWarrants, TheActiveOneOrTheLatestStandsIn) {
  const struct {
    double worker;
    int32_t kind;
    bool surrogate;
    double expected;
  } cases[] = {
      {7, 1, false, 2},  {7, 1, true, 2},   // the active one, not the latest
      {7, 2, false, 0},  {7, 2, true, 5},   // none active: the latest, the larger ID on a tie
      {7, 3, true, 6},   {7, 4, true, 0},   // a kind without warrants
      {8, -1, false, 0}, {8, -1, true, 8},  // every kind: the latest of all
      {9, 1, true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.worker) + " kind " + std::to_string(c.kind));
    EXPECT_EQ(IdOf(queries_->CallV("GetActiveWarrantEx", c.worker, c.kind, c.surrogate)),
              c.expected);
  }
  EXPECT_EQ(IdOf(queries_->CallV("GetActiveWarrant", 8.0, true)), 7);
  // The record returned reads itself on first use.
  EXPECT_EQ(CStr(queries_->CallV("GetActiveWarrant", 7.0, false).AsObject()->Get("Caption")), "Д2");

  EXPECT_EQ(coretest::RenderResult(queries_->CallV("GetWarrantsOfWorkerEx", 7.0, int32_t{2})),
            "4;5;");
  EXPECT_TRUE(CBool(queries_->CallV("HasWorkerAnyWarrantEx", 7.0, int32_t{3})));
  EXPECT_FALSE(CBool(queries_->CallV("HasWorkerAnyWarrantEx", 7.0, int32_t{4})));
  EXPECT_FALSE(CBool(queries_->CallV("HasWorkerAnyWarrant", 9.0)));
}

TEST_F(ActiveWarrants, OneActivePerWorkerAndKind) {
  using V = Variant;
  const struct {
    const char* method;
    std::vector<Variant> args;
    const char* active;  // the warrants flagged afterwards; 2 and 6 before
  } cases[] = {
      {"SetActiveWarrantEx", {V(3.0), V(7.0), V(1)}, "3; 6"},    // another of the kind
      {"SetActiveWarrantEx", {V(2.0), V(7.0), V(1)}, "2; 6"},    // the active one again
      {"SetActiveWarrantEx", {V(0.0), V(7.0), V(1)}, "6"},       // none
      {"SetActiveWarrant", {V(4.0), V(7.0)}, "2; 4; 6"},         // the kind of the warrant
      {"SetActiveWarrantIfAloneEx", {V(7.0), V(2)}, "2; 6"},     // two of the kind: not alone
      {"SetActiveWarrantIfAloneEx", {V(7.0), V(3)}, "2; 6"},     // alone and active
      {"SetActiveWarrantIfAlone", {V(8.0)}, "2; 6; 7"},          // alone (kind 1)
      {"SetActiveWarrantIfAloneEx", {V(8.0), V(2)}, "2; 6; 8"},  // alone (kind 2)
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.method) + " " + CStr(c.args[0]));
    Sql("update Warrants set IsActive = 0");
    Sql("update Warrants set IsActive = 1 where ID in (2, 6)");
    std::vector<Variant> args = c.args;
    queries_->Call(c.method, args);
    EXPECT_EQ(Rows("select ID from Warrants where IsActive = 1 order by ID"), c.active);
  }
}

}  // namespace
}  // namespace qv::warrants::testing
