// The accounted persons, branches and workers of PersonQueries.

#include "queries/PersonQueries.h"

#include <gtest/gtest.h>

#include "queries/PersonQueriesFixture.h"

namespace qv::queries::testing {
namespace {

TEST_F(PersonQueriesTest, AddAccPersonTwiceKeepsOneRowAndRemoveDeletesIt) {
  Legal(1, "7700000001", "770001001", "Alpha");
  PersonQueries q;
  q.AddAccPerson(1);
  q.AddAccPerson(1);
  EXPECT_EQ(CountOf("select count(*) from AccPerson where PersonID = 1"), 1);
  q.RemoveAccPerson(1);
  EXPECT_EQ(CountOf("select count(*) from AccPerson"), 0);
  q.RemoveAccPerson(1);  // nothing to remove is no error
}

TEST_F(PersonQueriesTest, AddBranchKeepsOneParentPerBranch) {
  Legal(1, "7700000001", "770001001", "Alpha");
  Legal(2, "7700000001", "770002001", "Alpha-2");
  Legal(3, "7700000003", "770003001", "Gamma");
  PersonQueries q;
  q.AddBranch(1, 2);
  q.AddBranch(1, 2);
  EXPECT_EQ(CountOf("select count(*) from Branches where ChildPersonID = 2"), 1);
  const struct {
    double parent, child;
  } rejected[] = {{3, 2}, {1, 1}, {1, 99}, {99, 3}, {0, 3}, {1, 2.5}};
  for (const auto& r : rejected) {
    auto e = coretest::Caught([&] { q.AddBranch(r.parent, r.child); });
    ASSERT_TRUE(e) << r.parent << " -> " << r.child;
    EXPECT_EQ(e->Number(), 5);
    EXPECT_NE(e->Description().find("PersonQueries.AddBranch"), std::string::npos);
  }
  EXPECT_EQ(CountOf("select count(*) from Branches"), 1);
  EXPECT_EQ(Ids(q.GetBranchesByParentOrg(1, "", 0)), IdList({2}));
  q.RemoveBranch(2);
  EXPECT_EQ(CountOf("select count(*) from Branches"), 0);
}

}  // namespace
}  // namespace qv::queries::testing
