// The accounted persons, branches, workers and checks of PersonQueries.

#include "queries/PersonQueries.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>

#include "core/miDataBase.h"
#include "queries/PersonQueriesFixture.h"
#include "siblings/records/QvRecord.h"

namespace qv::queries::testing {
namespace {

// An accounted person or a branch added twice is one row, a branch has one
// parent; removing deletes the row.
TEST_F(PersonQueriesTest, AddsKeepOneRowAndRemovesDeleteIt) {
  Legal(1, "7700000001", "770001001", "Alpha");
  Legal(2, "7700000001", "770002001", "Alpha-2");
  Legal(3, "7700000003", "770003001", "Gamma");
  PersonQueries q;
  EXPECT_FALSE(q.IsAnyAccPersonExists());
  q.AddAccPerson(1);
  q.AddAccPerson(1);
  EXPECT_EQ(CountOf("select count(*) from AccPerson where PersonID = 1"), 1);
  EXPECT_TRUE(q.IsAccPerson(1));
  EXPECT_TRUE(q.IsAnyAccPersonExists());
  for (double bad : {0.0, -1.0, 1.5, 99.0}) ExpectError(5, "", [&] { q.AddAccPerson(bad); });
  q.RemoveAccPerson(1);
  EXPECT_EQ(CountOf("select count(*) from AccPerson"), 0);
  q.RemoveAccPerson(1);  // nothing to remove is no error

  q.AddBranch(1, 2);
  q.AddBranch(1, 2);
  EXPECT_EQ(CountOf("select count(*) from Branches where ChildPersonID = 2"), 1);
  const struct {
    double parent, child;
  } rejected[] = {{3, 2}, {1, 1}, {1, 99}, {99, 3}, {0, 3}, {1, 2.5}};
  for (const auto& r : rejected) {
    ExpectError(5, "PersonQueries.AddBranch", [&] { q.AddBranch(r.parent, r.child); });
  }
  EXPECT_EQ(CountOf("select count(*) from Branches"), 1);
  EXPECT_TRUE(q.IsBranch(2));
  EXPECT_TRUE(q.HasBranches(1));
  EXPECT_FALSE(q.HasBranches(2));
  EXPECT_EQ(q.GetParentOfUniqueBranch(2), 1);
  EXPECT_EQ(q.GetParentOfUniqueBranch(3), 0);
  EXPECT_EQ(Ids(q.GetBranchesByParentOrg(1, "", 0)), IdList({2}));
  q.RemoveBranch(2);
  EXPECT_EQ(CountOf("select count(*) from Branches"), 0);
  EXPECT_FALSE(q.IsBranch(2));
}

// Several processes adding the same accounted persons and branches at once
// leave one row each.
TEST_F(PersonQueriesTest, ConcurrentAddsLeaveOneRowEach) {
  constexpr int kPersons = 160;
  constexpr int kProcesses = 4;
  for (int id = 1; id <= kPersons; ++id)
    Legal(id, "77000000" + std::to_string(10 + id), "770001001", "P" + std::to_string(id));
  miDataBase::ResetSessionForThread();  // no database open across the fork
  coretest::Signal go;
  std::vector<std::unique_ptr<coretest::Child>> children;
  for (int p = 0; p < kProcesses; ++p) {
    children.push_back(std::make_unique<coretest::Child>([&go] {
      go.Wait();
      PersonQueries q;
      // All in the same order, so that they meet on the same rows.
      for (int id = 2; id <= kPersons; ++id) q.AddBranch(1, id);
      for (int id = 1; id <= kPersons; ++id) q.AddAccPerson(id);
      return std::string("done");
    }));
  }
  for (int p = 0; p < kProcesses; ++p) go.Send();
  for (auto& child : children) EXPECT_EQ(child->Join(), "done");
  EXPECT_EQ(CountOf("select count(*) from AccPerson"), kPersons);
  EXPECT_EQ(CountOf("select count(*) from Branches"), kPersons - 1);
  EXPECT_EQ(CountOf("select count(*) from (select distinct ChildPersonID from Branches)"),
            kPersons - 1);
}

// Accounted persons: 1 and 2 legal (same INN, KPPs 2 and 1), 3 legal with
// a smaller INN, 4 natural; 5 has no Person row.
class AccPersons : public PersonQueriesTest {
 protected:
  void SetUp() override {
    PersonQueriesTest::SetUp();
    Legal(1, "7700000005", "770002001", "Beta");
    Legal(2, "7700000005", "770001001", "Alpha");
    Legal(3, "7700000001", "770009001", "Gamma");
    Natural(4, "500000000004", "Aaronov");
    for (double id : {4, 2, 1, 3, 5}) AccPerson(id);
  }
};

TEST_F(AccPersons, SortModes) {
  PersonQueries q;
  const IdList all{1, 2, 3, 4};
  const struct {
    const char* mode;
    int32_t dir;
    IdList ids;  // empty: any order of `all`
  } cases[] = {
      {"", 0, {}},
      {"xyz", 0, {}},
      {"name", 0, {2, 1, 3, 4}},  // legal persons first, then the natural person
      {"name", 1, {4, 3, 1, 2}},
      {"inn", 0, {4, 3, 2, 1}},  // the natural person's empty KPP; INN, then KPP
      {"inn", 1, {1, 2, 3, 4}},
      {"inn", 7, {4, 3, 2, 1}},  // no direction: ascending
  };
  for (const auto& c : cases) {
    const IdList got = Ids(q.GetAccPersons(c.mode, c.dir));
    if (c.ids.empty())
      EXPECT_EQ(Sorted(got), all) << c.mode;
    else
      EXPECT_EQ(got, c.ids) << c.mode << " " << c.dir;
  }
}

TEST_F(AccPersons, AccPersonsAndBranchesEachOnce) {
  Legal(10, "7700000005", "770010001", "Beta-10");
  Legal(11, "7700000099", "770011001", "Other-11");
  Legal(12, "7700000099", "770012001", "Other-12");
  Branch(1, 1, 10);
  Branch(2, 11, 12);  // the parent is no accounted person
  AccPerson(10);      // a branch that is an accounted person too
  EXPECT_EQ(Sorted(Ids(PersonQueries().GetAccPersonsAndBranches())), IdList({1, 2, 3, 4, 5, 10}));
}

// Branches of 1: 10 (KPP 3, "C"), 11 (KPP 1, "A"), 12 (KPP 2, "B"); of 2: 20.
class Branches : public PersonQueriesTest {
 protected:
  void SetUp() override {
    PersonQueriesTest::SetUp();
    Legal(1, "7700000002", "770001001", "Parent-1");
    Legal(2, "7700000001", "770002001", "Parent-2");
    Legal(10, "7700000002", "770000003", "C", "Full C");
    Legal(11, "7700000002", "770000001", "A", "Full A");
    Legal(12, "7700000002", "770000002", "B", "Full B");
    Legal(20, "7700000001", "770000009", "D", "Full D");
    Branch(1, 1, 10);
    Branch(2, 1, 11);
    Branch(3, 1, 12);
    Branch(4, 2, 20);
  }
};

TEST_F(Branches, SortModes) {
  PersonQueries q;
  EXPECT_EQ(Sorted(Ids(q.GetBranchesByParentOrg(1, "", 0))), IdList({10, 11, 12}));
  EXPECT_EQ(Sorted(Ids(q.GetBranchesByParentOrg(1, "other", 0))), IdList({10, 11, 12}));
  EXPECT_EQ(Ids(q.GetBranchesByParentOrg(1, "name", 0)), IdList({11, 12, 10}));
  EXPECT_EQ(Ids(q.GetBranchesByParentOrg(1, "name", 1)), IdList({10, 12, 11}));
  EXPECT_EQ(Ids(q.GetBranchesByParentOrg(1, "kpp", 1)), IdList({10, 12, 11}));
  EXPECT_EQ(Ids(q.GetAllBranches("inn", 0)), IdList({20, 11, 12, 10}));
  EXPECT_EQ(Ids(q.GetAllBranches("inn", 1)), IdList({10, 12, 11, 20}));
  EXPECT_EQ(Ids(q.GetAllBranches("name", 1)), IdList({20, 10, 12, 11}));
  EXPECT_EQ(Ids(q.GetAllBranches("", 1)), IdList({20, 12, 11, 10}));
  EXPECT_EQ(Ids(q.GetAllBranches("xyz", 0)), IdList({10, 11, 12, 20}));
}

TEST_F(Branches, ClosedBranches) {
  PersonQueries q;
  // Parent 1: 10 closed (both streams have a last year), 11 open (one of
  // two), 12 without streams. Parent 2: 20 closed.
  Stream({.id = 1, .person = 10, .lastYear = 2020});
  Stream({.id = 2, .person = 10, .lastYear = 2021});
  Stream({.id = 3, .person = 11, .lastYear = 2020});
  Stream({.id = 4, .person = 11});
  Stream({.id = 5, .person = 20, .lastYear = 2019});
  // "closed? 10 11 12 | has closed (true/false) of 1, 2, 99".
  const auto answers = [&] {
    std::string text;
    for (double branch : {10, 11, 12}) text += std::to_string(q.IsBranchClosed(branch));
    text += " |";
    for (double parent : {1, 2, 99})
      text += " " + std::to_string(q.HasClosedBranches(parent, true)) +
              std::to_string(q.HasClosedBranches(parent, false));
    return text;
  };
  EXPECT_EQ(answers(), "100 | 11 10 00");
  // Without 10 and 11, parent 1 has only a branch without streams: not closed.
  Sql("delete from Branches where ChildPersonID in (10, 11)");
  EXPECT_EQ(answers(), "100 | 01 10 00");
}

TEST_F(Branches, BranchDuplicatesByKpp) {
  Natural(13, "500000000013", "Ivanov");
  Branch(5, 1, 13);
  Legal(14, "7700000002", "770000001", "A-bis");
  Branch(6, 1, 14);
  PersonQueries q;
  EXPECT_EQ(Sorted(Ids(q.FindBranchDuplicates(1, "770000001", 0))), IdList({11, 14}));
  EXPECT_EQ(Ids(q.FindBranchDuplicates(1, "770000001", 11)), IdList({14}));
  EXPECT_EQ(Ids(q.FindBranchDuplicates(2, "770000001", 0)), IdList({}));
  EXPECT_EQ(Ids(q.FindBranchDuplicates(1, "", 0)), IdList({}));  // the natural person's no match
}

TEST_F(Branches, BranchStreamsRecordsetSortModes) {
  Stream({.id = 1, .person = 10, .type = 1, .name = "s-b", .taxOffice = 3});
  Stream({.id = 2, .person = 11, .type = 1, .name = "s-c", .taxOffice = 1});
  Stream({.id = 3, .person = 12, .type = 1, .name = "s-a", .taxOffice = 2});
  Stream({.id = 4, .person = 10, .type = 2, .name = "other type"});
  Stream({.id = 5, .person = 20, .type = 1, .name = "other parent"});
  PersonQueries q;
  auto ids = [&](const char* mode, int32_t dir) {
    return Rows(q.GetBranchAccStreams(1, 1, mode, dir), {"ID"});
  };
  EXPECT_EQ(ids("", 1), "1; 2; 3");
  EXPECT_EQ(ids("acstr", 1), "2; 1; 3");
  EXPECT_EQ(ids("imns", 0), "2; 3; 1");
  EXPECT_EQ(ids("org", 1), "1; 3; 2");  // owners C, B, A
  EXPECT_EQ(ids("kpp", 0), "2; 3; 1");  // owners' KPPs 1, 2, 3
  ExpectError(5, "", [&] { q.GetBranchAccStreams(1, 1, "bogus", 0); });
}

TEST_F(PersonQueriesTest, PersonsByGiin) {
  for (double id : {1, 2, 3}) Legal(id, "770000000" + N(id), "770001001", "P" + N(id));
  Stream({.id = 10, .person = 1, .type = 9, .giin = "AbC123.00000.LE.643"});
  Stream({.id = 11, .person = 2, .type = 9, .giin = "abc123.00000.le.643"});
  Stream({.id = 12, .person = 3, .type = 8, .giin = "ABC123.00000.LE.643"});
  PersonQueries q;
  for (int32_t max : {0, -1})
    EXPECT_EQ(Sorted(Ids(q.GetPersonsByGiin("ABC123.00000.LE.643", max))), IdList({1, 2})) << max;
  EXPECT_EQ(Ids(q.GetPersonsByGiin("abc123.00000.le.643", 1)).size(), 1u);
  EXPECT_EQ(Ids(q.GetPersonsByGiin("XYZ", -1)), IdList({}));
}

// Job place 1 with workers 10 (person 5), 11 (person 6); job place 2
// with worker 20 (person 5).
class Workers : public PersonQueriesTest {
 protected:
  void SetUp() override {
    PersonQueriesTest::SetUp();
    Worker(10, 1, 5);
    Worker(11, 1, 6, true);
    Worker(20, 2, 5, true);
  }
  // The flagged bosses of a job place.
  static std::string Bosses(double jobPlace) {
    return Rows(mQvDaoDataBase::QvQuerySqlA("select ID from Personnel where IsFormalBoss = 1 and "
                                            "JobPlaceID = " +
                                            N(jobPlace) + " order by ID"),
                {"ID"});
  }
  static double BossId(PersonQueries& q, double jobPlace) {
    ObjectPtr boss = q.GetFormalBoss(jobPlace);
    return boss ? std::dynamic_pointer_cast<records::QvRecord>(boss)->Id() : 0;
  }
};

TEST_F(Workers, FormalBoss) {
  PersonQueries q;
  EXPECT_EQ(Sorted(Ids(q.GetWorkers(1))), IdList({10, 11}));
  EXPECT_TRUE(q.HasWorkers(1));
  EXPECT_FALSE(q.HasWorkers(3));
  EXPECT_EQ(BossId(q, 1), 11);
  q.SetFormalBoss(10, 1);
  EXPECT_EQ(Bosses(1), "10");
  EXPECT_EQ(BossId(q, 1), 10);
  Sql("update Personnel set IsFormalBoss = 1 where ID = 11");  // two flagged by hand
  q.SetFormalBoss(11, 1);
  EXPECT_EQ(Bosses(1), "11");
  q.SetFormalBoss(11, 1);
  EXPECT_EQ(Bosses(1), "11");
  EXPECT_EQ(Bosses(2), "20");  // another job place is untouched
  ExpectError(5, "", [&] { q.SetFormalBoss(20, 1); });
  EXPECT_EQ(Bosses(1), "11");
  EXPECT_EQ(Bosses(2), "20");
  q.SetFormalBoss(0, 1);
  EXPECT_EQ(Bosses(1), "");
  EXPECT_EQ(q.GetFormalBoss(1), nullptr);
  EXPECT_EQ(q.GetFormalBoss(3), nullptr);
}

TEST_F(Workers, WorkerIdFallbacks) {
  // Job place 3 is a branch of 1, 4 a branch of 2; person 7 works at 1
  // twice (30 shown in branches, 31 not) and at 2 (32, not shown).
  Branch(1, 1, 3);
  Branch(2, 2, 4);
  Worker(31, 1, 7);
  Worker(30, 1, 7, false, true);
  Worker(32, 2, 7);
  Worker(33, 3, 8);
  PersonQueries q;
  const struct {
    double person, jobPlace, worker;
  } cases[] = {
      {5, 2, 20},             // at the job place itself
      {5, 0, 10},             // no job place: the first row anywhere
      {7, 3, 30},             // a branch: the parent's row shown in branches first
      {7, 4, 32},             // a branch: else the parent's row
      {5, 4, 20},             // (person 5 works at 2, the parent of 4)
      {6, 4, 11},             // nothing at the branch or its parent: anywhere
      {7, 9, 30},             // a job place that is no branch: anywhere
      {8, 3, 33}, {9, 1, 0},  // no row at all
  };
  for (const auto& c : cases)
    EXPECT_EQ(q.GetWorkerIDByPersonID(c.person, c.jobPlace), c.worker)
        << c.person << " at " << c.jobPlace;
}

TEST_F(PersonQueriesTest, CheckPersonBeforeSaving) {
  Legal(1, "7700000001", "770001001", "Alpha", "Alpha Ltd");
  Legal(2, "7700000002", "770002001", "Beta", "Beta Ltd");
  Natural(3, "500000000003", "Ivanov", "Ivan", "Ivanovich");
  Natural(4, "500000000004", "Petrov", "Petr", "Petrovich");
  // A person record of `type` with the texts the checks read: surname, name
  // and patronymic of a natural person (1), KPP, short and full name of a
  // legal one (2).
  const auto person = [](int32_t type, double id, const char* inn, const char* a, const char* b,
                         const char* c) {
    static const char* kNames[2][3] = {{"Surname", "Name", "Patronymic"},
                                       {"KPP", "ShortName", "FullName"}};
    auto r = records::QvRecord::Create("Qv_Records.QvPerson");
    r->SetValue(r->PropertyIndex("Type"), Variant(type));
    r->SetValue(r->PropertyIndex("INN"), Variant(inn));
    const char* values[] = {a, b, c};
    for (int i = 0; i < 3; ++i)
      r->SetValue(r->PropertyIndex(kNames[type - 1][i]), Variant(values[i]));
    if (id != 0) r->AssignNewID(Variant(id));
    return r;
  };
  const struct {
    const char* what;
    ObjectPtr record;
    int32_t result;
    double collision;
  } cases[] = {
      {"new, unique", person(2, 0, "7700000009", "770009001", "New", "New Ltd"), -1, 0},
      {"same INN and KPP", person(2, 0, "7700000001", "770001001", "New", "New Ltd"), 1, 1},
      {"KPP stored normalised", person(2, 0, "7700000001", " 770001001 ", "New", "New Ltd"), 1, 1},
      {"same INN, other KPP", person(2, 0, "7700000001", "770001002", "New", "New Ltd"), -1, 0},
      {"INN without KPP", person(2, 0, "7700000001", "", "New", "New Ltd"), -1, 0},
      {"itself", person(2, 1, "7700000001", "770001001", "Alpha", "Alpha Ltd"), -1, 0},
      {"same short name", person(2, 0, "7700000009", "770009001", "beta", "New Ltd"), 3, 2},
      {"same full name", person(2, 0, "7700000009", "770009001", "New", "Alpha Ltd"), 4, 1},
      {"natural, same INN", person(1, 0, "500000000004", "Sidorov", "S", "S"), 2, 4},
      {"natural, same name", person(1, 0, "", "Ivanov", "Ivan", "Ivanovich"), 5, 3},
      {"natural, no patronymic", person(1, 0, "", "Ivanov", "Ivan", ""), -1, 0},
      {"natural itself", person(1, 3, "500000000003", "Ivanov", "Ivan", "Ivanovich"), -1, 0},
      {"legal INN of a natural", person(2, 0, "500000000003", "", "X", "X Ltd"), -1, 0},
      {"no type", records::QvRecord::Create("Qv_Records.QvPerson"), 6, 0},
      {"a stream record", records::QvRecord::Create("Qv_Records.QvAccStream"), 6, 0},
  };
  PersonQueries q;
  for (const auto& c : cases) {
    int32_t result = 99;
    double collision = 99;
    const bool ok = q.CheckPersonBeforeSaving(c.record, result, collision);
    EXPECT_EQ(result, c.result) << c.what;
    EXPECT_EQ(collision, c.collision) << c.what;
    EXPECT_EQ(ok, c.result == -1) << c.what;
  }
  int32_t result = 0;
  double collision = 0;
  ExpectError(424, "", [&] { q.CheckPersonBeforeSaving(nullptr, result, collision); });
}

// The worker search lists natural persons who work somewhere.
TEST_F(PersonQueriesTest, PersonsAllowedToBeWorkers) {
  Natural(5, "500000000005", "Ivanov", "Ivan", "Ivanovich");
  Worker(10, 1, 5);
  ObjectPtr q = CreateObject("Qv_DBProvider.PersonQueries");
  std::vector<Variant> filter{Variant()};
  auto rs = q->Call("GetAllPersonsAllowedToBeWorkers", filter).ObjectAs<ado::Recordset>();
  ASSERT_TRUE(rs);
  ASSERT_EQ(rs->RowCount(), 1u);
  EXPECT_EQ(CStr(rs->Value(0, rs->FieldIndex("Fio"))), "Ivanov Ivan Ivanovich");
}

}  // namespace
}  // namespace qv::queries::testing
