// The stream lists and tests of DBQAccStream.

#include "queries/DBQAccStream.h"

#include <gtest/gtest.h>

#include "queries/PersonQueriesFixture.h"

namespace qv::queries::testing {
namespace {

using AccStreamQueriesTest = PersonQueriesTest;

TEST_F(AccStreamQueriesTest, StreamsByPersonInEachSortMode) {
  Legal(1, "7700000001", "770001001", "Alpha");
  Stream({.id = 10, .person = 1, .kpp = "770001003", .name = "B", .taxOffice = 7});
  Stream({.id = 11, .person = 1, .kpp = "770001001", .name = "C", .taxOffice = 5});
  Stream({.id = 12, .person = 1, .kpp = "770001002", .name = "A", .taxOffice = 7});
  Stream({.id = 13, .person = 2, .type = 2, .kpp = "770001000", .name = "0"});
  DBQAccStream q;
  EXPECT_EQ(Sorted(Ids(q.GetAccStreamsByPerson(1, "", 0))), IdList({10, 11, 12}));
  EXPECT_EQ(Sorted(Ids(q.GetAccStreamsByPerson(1, "type_kpp", 0))), IdList({10, 11, 12}));
  EXPECT_EQ(Ids(q.GetAccStreamsByPerson(1, "name", 0)), IdList({12, 10, 11}));
  EXPECT_EQ(Ids(q.GetAccStreamsByPerson(1, "name", 1)), IdList({11, 10, 12}));
  EXPECT_EQ(Ids(q.GetAccStreamsByPerson(1, "kpp", 1)), IdList({10, 12, 11}));
  EXPECT_EQ(Ids(q.GetAccStreamsByPerson(1, "imns", 0)), IdList({11, 12, 10}));
  EXPECT_EQ(Ids(q.GetAllAccStreams("kpp", 0)), IdList({13, 11, 12, 10}));
  EXPECT_EQ(Sorted(Ids(q.GetAccStreamsByPersonAndType(1, 1))), IdList({10, 11, 12}));
  EXPECT_EQ(Ids(q.GetAccStreamsByPersonAndType(2, 2)), IdList({13}));
  EXPECT_EQ(Ids(q.GetAccStreamsByPersonAndType(2, 1)), IdList({}));
  EXPECT_EQ(q.HasAccStreams(1), -1);
  EXPECT_EQ(q.HasAccStreams(3), 0);
  EXPECT_TRUE(q.IsAnyAccStreamExists());
  EXPECT_TRUE(q.IsAnyAccStreamWithTypeExists(2));
  EXPECT_FALSE(q.IsAnyAccStreamWithTypeExists(9));
  EXPECT_EQ(q.GetPersonIDByAccStreamID(13), 2);
  ExpectError(40090, "DBQAccStream.GetPersonIDByAccStreamID",
              [&] { q.GetPersonIDByAccStreamID(99); });
}

// Persons: 1 accounted, 2 its branch, 3 neither, 4 a branch of 3.
TEST_F(AccStreamQueriesTest, AliveStreamsBelongToAccountedPersonsAndBranches) {
  AccPerson(1);
  Branch(1, 1, 2);
  Branch(2, 3, 4);
  Stream({.id = 1, .person = 1, .type = 2, .kpp = "2", .taxOffice = 1});
  Stream({.id = 2, .person = 1, .type = 1, .kpp = "3", .taxOffice = 2});
  Stream({.id = 3, .person = 2, .type = 1, .kpp = "1", .taxOffice = 2});
  Stream({.id = 4, .person = 3, .type = 1, .kpp = "0"});
  Stream({.id = 5, .person = 4, .type = 2, .kpp = "4", .taxOffice = 1});
  DBQAccStream q;
  EXPECT_EQ(Sorted(Ids(q.GetAllAliveAccStreams("", 0))), IdList({1, 2, 3, 5}));
  EXPECT_EQ(Ids(q.GetAllAliveAccStreams("kpp", 0)), IdList({3, 1, 2, 5}));
  EXPECT_EQ(Ids(q.GetAllAliveAccStreams("type_kpp", 0)), IdList({3, 2, 1, 5}));
  EXPECT_EQ(Ids(q.GetAllAliveAccStreams("type_kpp", 1)), IdList({5, 1, 2, 3}));
  EXPECT_EQ(Ids(q.GetAllAliveAccStreams("type_imns", 1)), IdList({5, 1, 2, 3}));
  EXPECT_EQ(Ids(q.GetAllAliveAccStreams("imns", 1)), IdList({2, 3, 5, 1}));
  EXPECT_EQ(Ids(q.GetAllAliveAccStreamsWithType(1, "kpp", 1)), IdList({2, 3}));
  EXPECT_EQ(Sorted(Ids(q.GetAllAliveAccStreamsWithType(2, "type_kpp", 1))), IdList({1, 5}));
}

TEST_F(AccStreamQueriesTest, StreamsForSolverCarryTheOwnersNumbers) {
  Legal(1, "7700000001", "770001001", "Alpha");
  Sql("update LegalPerson set LPCategory = 3 where ID = 1001");
  Natural(2, "500000000002", "Ivanov");
  AccPerson(1);
  AccPerson(2);
  Stream({.id = 1, .person = 1, .kpp = "770001002", .giin = "G1"});
  Stream({.id = 2, .person = 2, .kpp = "770001003"});
  Stream({.id = 3, .person = 9});  // no accounted owner
  EXPECT_EQ(Rows(DBQAccStream().GetAccStreamsForSolver(),
                 {"AccStreamID", "inn", "kpp", "LPCategory", "Type"}, true),
            "1|7700000001|770001002|3|2; 2|500000000002||0|1");
}

TEST_F(AccStreamQueriesTest, FindDuplicatesPerStreamType) {
  // Person 1; every row differs from the probe (KPP K, offices 5 and 6) in
  // one respect, or not at all.
  struct Row {
    double id;
    int type;
    const char* kpp;
    int office1, office2;
  };
  const Row rows[] = {
      {1, 1, "K", 5, 6},   {2, 1, "K", 4, 6},  {3, 1, "X", 5, 6},  {4, 2, "K", 5, 6},
      {5, 2, "K", 4, 6},   {6, 4, "X", 5, 6},  {7, 5, "K", 4, 6},  {8, 12, "K", 4, 6},
      {9, 12, "X", 5, 6},  {10, 9, "X", 4, 7}, {11, 9, "Y", 1, 6}, {12, 1, "K", 5, 7},
      {13, 13, "X", 4, 6},
  };
  for (const Row& r : rows) Stream({r.id, 1, r.type, r.kpp, {}, r.office1, r.office2});
  Stream({.id = 20, .person = 2, .type = 1, .kpp = "K", .taxOffice = 5, .taxOffice2 = 6});
  const struct {
    int type;
    double office1, office2, exclude;
    IdList ids;
  } cases[] = {
      {1, 5, 6, 0, {1}},      // KPP, main and second office
      {1, 5, 0, 0, {1, 12}},  // no second office: any
      {1, 5, 6, 1, {}},       // the stream itself excluded
      {2, 5, 6, 0, {4}},      // with a main office
      {2, 0, 6, 0, {4, 5}},   // without: any main office
      {4, 0, 6, 0, {}},       // KPP differs
      {5, 0, 6, 0, {7}},
      {5, 5, 6, 0, {}},
      {12, 5, 6, 0, {8}},            // KPP only, the main office ignored
      {9, 5, 0, 0, {10, 11}},        // type 9: person and type only
      {9, 5, 7, 0, {10}},            //   and the second office
      {9, 5, 1e9 + 7, 0, {10, 11}},  // a user office is no second-office rule
      {13, 5, 6, 0, {13}},           // an unknown type: as 8 to 11
  };
  DBQAccStream q;
  for (const auto& c : cases)
    EXPECT_EQ(Sorted(Ids(q.FindDuplicates(1, c.type, "K", c.office1, c.office2, c.exclude))), c.ids)
        << "type " << c.type << " offices " << c.office1 << "/" << c.office2;
}

TEST_F(AccStreamQueriesTest, StreamsByGiinAndCallsByName) {
  Stream({.id = 1, .person = 1, .type = 9, .giin = "AbC123.00000.LE.643"});
  Stream({.id = 2, .person = 2, .type = 9, .giin = "abc123.00000.le.643"});
  Stream({.id = 3, .person = 3, .type = 9, .giin = "ABC123.00000.LE.643"});
  Stream({.id = 4, .person = 3, .type = 1, .giin = "ABC123.00000.LE.643"});
  Stream({.id = 5, .person = 4, .type = 9, .giin = "ABC123.00000.LE.644"});
  DBQAccStream q;
  const struct {
    int32_t max;
    size_t count;
  } cases[] = {{-1, 3}, {0, 3}, {-5, 3}, {1, 1}, {2, 2}, {10, 3}};
  for (const auto& c : cases) {
    const IdList got = Ids(q.GetAccStreamsByGiin("abC123.00000.Le.643", c.max));
    EXPECT_EQ(got.size(), c.count) << c.max;
    for (double id : got) EXPECT_TRUE(id >= 1 && id <= 3) << id;
  }
  EXPECT_EQ(Ids(q.GetAccStreamsByGiin("", -1)), IdList({}));
  // Called by name, the count is optional (no limit).
  ObjectPtr byName = CreateObject("Qv_DBProvider.DBQAccStream");
  auto streams = byName->CallV("GetAccStreamsByGiin", "abC123.00000.Le.643").ObjectAs<Collection>();
  ASSERT_TRUE(streams);
  EXPECT_EQ(Sorted(Ids(streams)), IdList({1, 2, 3}));
}

TEST_F(AccStreamQueriesTest, DocumentsOfAStream) {
  InsertRows("insert into doc_registry (document_id, template_id, taxpayer_id)",
             {"(1, 607, 10)", "(2, 607, 11)", "(3, 100, 11)"});
  DBQAccStream q;
  std::string answers;  // has documents, ban on moving (not for template 607 alone)
  for (double stream : {10, 11, 12})
    answers +=
        std::to_string(q.HasDocuments(stream)) + std::to_string(q.IsBanMoveAccStream(stream));
  EXPECT_EQ(answers, "101100");
}

}  // namespace
}  // namespace qv::queries::testing
