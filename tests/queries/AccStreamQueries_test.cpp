// The stream lists and tests of DBQAccStream.

#include "queries/DBQAccStream.h"

#include <gtest/gtest.h>

#include "queries/PersonQueriesFixture.h"

namespace qv::queries::testing {
namespace {

TEST_F(PersonQueriesTest, StreamsByPersonInEachSortMode) {
  Legal(1, "7700000001", "770001001", "Alpha");
  Stream({.id = 10, .person = 1, .kpp = "770001003", .name = "B", .taxOffice = 7});
  Stream({.id = 11, .person = 1, .kpp = "770001001", .name = "C", .taxOffice = 5});
  Stream({.id = 12, .person = 1, .kpp = "770001002", .name = "A", .taxOffice = 7});
  Stream({.id = 13, .person = 2, .kpp = "770001000", .name = "0"});
  DBQAccStream q;
  EXPECT_EQ(Sorted(Ids(q.GetAccStreamsByPerson(1, "", 0))), IdList({10, 11, 12}));
  EXPECT_EQ(Ids(q.GetAccStreamsByPerson(1, "name", 0)), IdList({12, 10, 11}));
  EXPECT_EQ(Ids(q.GetAccStreamsByPerson(1, "name", 1)), IdList({11, 10, 12}));
  EXPECT_EQ(Ids(q.GetAccStreamsByPerson(1, "kpp", 1)), IdList({10, 12, 11}));
  EXPECT_EQ(Ids(q.GetAccStreamsByPerson(1, "imns", 0)), IdList({11, 12, 10}));
  // Any other direction leaves the columns without a direction: ascending.
  EXPECT_EQ(Ids(q.GetAccStreamsByPerson(1, "imns", 7)), IdList({11, 12, 10}));
}

}  // namespace
}  // namespace qv::queries::testing
