// PeriodQueries over the reference periods of a new data folder
// (time_id = (year - 2000) * 100 + report code for 2003..2030), document
// counts by status, the common lookups with the thread's period cache, the
// row-count errors, and calls by name through the ProgIDs.

#include "queries/PeriodQueries.h"

#include <gtest/gtest.h>

#include "core/mQvRegistryParams.h"
#include "core/miDataBase.h"
#include "platform/dao/Transaction.h"
#include "platform/os/RegistryStore.h"
#include "queries/DictPeriodFixture.h"
#include "queries/mCommonLookups.h"
#include "records/miDocument.h"

namespace qv::queries::testing {
namespace {

using PeriodQueriesTest = DictPeriodTest;

// An accounting stream of a natural person (so the owner lookup needs no
// legal-person row) of the given type.
void AddStream(double id, int32_t type) {
  using mQvDaoDataBase::QvExecuteSql;
  QvExecuteSql("insert into Person (ID, Type, PersonRealID) values (" + CStr(Variant(id)) +
               ", 1, 1)");
  QvExecuteSql("insert into AccStream (ID, PersonID, AccStreamType) values (" + CStr(Variant(id)) +
               ", " + CStr(Variant(id)) + ", " + std::to_string(type) + ")");
}

TEST_F(PeriodQueriesTest, YearsFromTheStreamTypesFirstYear) {
  // Periods outside 2003..2099 are never offered.
  InsertRows("insert into time_by_month (time_id, the_year, report_id)",
             {"(90001, 2100, 1)", "(90002, 2002, 1)"});
  PeriodQueries q;
  auto years = q.GetAllowedYears();
  EXPECT_EQ(years->RowCount(), 28u);
  EXPECT_EQ(CLng(years->Value(0, 0)), 2030);
  EXPECT_EQ(CLng(years->Value(27, 0)), 2003);

  const struct {
    int32_t type;
    bool development;
    int32_t first;
  } cases[] = {
      {2, false, 2009}, {4, false, 2010},  {6, false, 2010},  {7, false, 2011},
      {8, false, 2011}, {9, false, 2015},  {10, false, 2019}, {11, false, 2023},
      {11, true, 2022}, {12, false, 2022}, {1, false, 2003},  {99, true, 2003},
  };
  os::RegistryStore registry(root_ / "registry.ini");
  double id = 1;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.type) + (c.development ? " development" : ""));
    if (c.development)
      registry.SetValue(os::RegistryRoot::kLocalMachine, mQvRegistryParams::kDevelopmentKey,
                        "DevelopmentMode", os::RegistryValue::String("yes"));
    else
      registry.DeleteValue(os::RegistryRoot::kLocalMachine, mQvRegistryParams::kDevelopmentKey,
                           "DevelopmentMode");
    AddStream(id, c.type);
    auto rs = q.GetAllowedYearsInAccStream(id++);
    ASSERT_GT(rs->RowCount(), 0u);
    EXPECT_EQ(CStr(rs->Value(0, 0)) + ".." + CStr(rs->Value(rs->RowCount() - 1, 0)) + " in " +
                  std::to_string(rs->RowCount()),
              "2030.." + std::to_string(c.first) + " in " + std::to_string(2031 - c.first));
  }
}

TEST_F(PeriodQueriesTest, PeriodsOfAYearAQuarterAndAStreamType) {
  InsertRows(
      "insert into Report_by_AccStreamType (AccStreamType, Report_ID, BegYear, EndYear, OrderNum)",
      {"(5, 13, 2010, 2099, 2)", "(5, 17, 2010, 2099, 1)", "(5, 14, 2025, 2099, 3)",
       "(6, 1, 2010, 2099, 1)"});
  PeriodQueries q;
  // Months before the quarter that ends with them, by end date.
  const IdList year = Ids(q.GetAllowedTimePeriodsInYear(2020));
  ASSERT_GE(year.size(), 5u);
  EXPECT_EQ(IdList(year.begin(), year.begin() + 5), IdList({2001, 2002, 2003, 2013, 2004}));
  EXPECT_EQ(Ids(q.GetAllowedTimePeriodsInYear(1990)), IdList({}));
  EXPECT_EQ(Ids(q.GetAllowedTimePeriodsInYear3(2020, 5)), IdList({2017, 2013}));
  EXPECT_EQ(Ids(q.GetAllowedTimePeriodsInYear3(2026, 5)), IdList({2617, 2613, 2614}));
  EXPECT_EQ(Ids(q.GetAllowedTimePeriodsInYear3(2005, 5)), IdList({}));

  const struct {
    double timeId;
    const char* months;
  } quarters[] = {{2013, "2001; 2002; 2003"},
                  {2014, "2004; 2005; 2006"},
                  {2015, "2007; 2008; 2009"},
                  {2016, "2010; 2011; 2012"},
                  {2005, ""},
                  {2017, ""}};
  for (const auto& c : quarters) {
    SCOPED_TRACE(c.timeId);
    EXPECT_EQ(Rows(q.GetAllowedTimePeriodsInQuartal(c.timeId), {"time_id"}), c.months);
  }

  EXPECT_EQ(q.GetTimeIDByYearAndMonth(2020, 5), 2005);
  EXPECT_EQ(q.GetTimeIDByYearAndMonth(2020, 16), 2016);
  EXPECT_EQ(q.GetTimeIDByYearAndMonth(1999, 5), 0);
  EXPECT_EQ(q.GetOtherDocsPeriodID(), 163);
  auto calendar = q.GetCalendar();
  ASSERT_GT(calendar->RowCount(), 1u);
  EXPECT_GT(CDbl(calendar->Value(0, 0)), CDbl(calendar->Value(1, 0)));

  // The requests' period of a year, or the latest of any year.
  EXPECT_EQ(q.GetReqsPeriodIDByYear(2020, false), 2021);
  EXPECT_EQ(q.GetReqsPeriodIDByYear(2031, false), 0);
  EXPECT_EQ(q.GetReqsPeriodIDByYear(2031, true), 3021);
  Sql("delete from time_by_month where report_id = 21");
  EXPECT_EQ(q.GetReqsPeriodIDByYear(2031, true), 0);
}

TEST_F(PeriodQueriesTest, ParentAndChildPeriods) {
  const struct {
    double timeId;
    bool found;
    const char* info;  // report/year/kind/parent
    const char* children;
    double parentTimeId;
  } cases[] = {
      {2005, true, "5/2020/1/14", "-1", 2014},
      {2014, true, "14/2020/2/17", "2004, 2005, 2006", 2017},
      {2017, true, "17/2020/3/0", "2013, 2014, 2015, 2016, 2019, 2020", -1},
      {163, false, "18/0/-5/0", "default", 0},  // no year: kind left alone
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.timeId);
    int32_t report = -1, year = -1, kind = -5, parent = -1;
    bool found = !c.found;
    PeriodQueries::GetTimeIDInfo(c.timeId, report, year, kind, parent, found);
    EXPECT_EQ(std::to_string(report) + "/" + std::to_string(year) + "/" + std::to_string(kind) +
                  "/" + std::to_string(parent),
              c.info);
    EXPECT_EQ(found, c.found);
    EXPECT_EQ(PeriodQueries::GetChildTimeIDs(c.timeId, "ignored", "default"), c.children);
    if (c.parentTimeId >= 0) {
      EXPECT_EQ(PeriodQueries::GetParentTimeID(c.timeId), c.parentTimeId);
    }
  }
}

TEST_F(PeriodQueriesTest, ExactlyOneRowReadsFailWith40090) {
  AddStream(1, 2);
  // A second Q2 period of 2020: the parent of May is no longer one period.
  Sql("insert into time_by_month (time_id, the_year, report_id) values (99014, 2020, 14)");
  Sql("insert into Person (ID, Type, PersonRealID) values (66, 2, 99)");
  Sql("insert into AccStream (ID, PersonID, AccStreamType) values (66, 66, 1)");
  PeriodQueries q;
  const std::string none = "Запрос значения не возвратил ни одной записи.";
  const auto owner = [](double stream) {
    int32_t category = 0, type = 0;
    bool branch = false;
    GetAccStreamOwnerInfo(stream, category, type, branch);
  };
  const struct {
    const char* what;
    std::function<void()> call;
    std::string text;
  } cases[] = {
      {"quarter of an unknown period", [&] { q.GetAllowedTimePeriodsInQuartal(77777); }, none},
      {"years of an unknown stream", [&] { q.GetAllowedYearsInAccStream(5); }, none},
      {"information of an unknown period",
       [] {
         int32_t a = 0, b = 0, c = 0, d = 0;
         bool f = false;
         PeriodQueries::GetTimeIDInfo(77777, a, b, c, d, f);
       },
       none},
      {"parent of an unknown period", [] { PeriodQueries::GetParentTimeID(77777); }, none},
      {"parent found twice", [] { PeriodQueries::GetParentTimeID(2005); },
       "Запрос значения возвратил несколько записей (2)."},
      {"owner of an unknown stream", [&] { owner(8); }, none},
      {"person of an unknown stream", [] { GetAccStreamPersonID(8); }, none},
      {"owner organisation without its detail row", [&] { owner(66); }, none},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectError(40090, c.text, c.call);
  }
}

// Stream 10's documents: ordinary ones of 2020 Q1 (2013) and 2021 (2117),
// three pension-fund masters in 2013 whose end documents (period 246)
// decide their status, and a document of another stream.
class DocStatusesTest : public DictPeriodTest {
 protected:
  void SetUp() override {
    DictPeriodTest::SetUp();
    InsertRows("insert into doc_templates (template_id, PfrMaster)",
               {"(1, 0)", "(2, 1)", "(3, 0)"});
    InsertRows(
        "insert into doc_registry (document_id, template_id, time_id, taxpayer_id, Status_Qv, "
        "PfrMasterDocID)",
        {"(1, 1, 2013, 10, 1, 0)", "(2, 1, 2013, 10, 2, 0)", "(3, 1, 2013, 10, 2, 0)",
         "(4, 1, 2013, 10, 3, 0)", "(5, 1, 2117, 10, 1, 0)", "(6, 1, 2013, 10, 0, 0)",
         "(7, 1, 2013, 11, 3, 0)",
         // masters: 20 all delivered, 21 one still in work, 22 without end documents
         "(20, 2, 2013, 10, 1, 0)", "(21, 2, 2013, 10, 3, 0)", "(22, 2, 2013, 10, 3, 0)",
         "(30, 3, 246, 10, 3, 20)", "(31, 3, 246, 10, 3, 20)", "(32, 3, 246, 10, 1, 21)",
         "(33, 3, 246, 10, 3, 21)"});
  }
};

TEST_F(DocStatusesTest, CountsOverwriteTheCallersCounters) {
  const struct {
    int32_t type;
    Variant data;
    const char* counts;  // in work/complete/delivered
  } cases[] = {
      // masters: 20 delivered, 21 completed, 22 in work; end documents
      // (period 246, no year) count as ordinary documents only without a
      // period restriction
      {2, Variant(2013.0), "2/3/2"},
      {1, Variant("2020"), "2/3/2"},
      {1, Variant(int32_t{2021}), "1/0/0"},
      {2, Variant(2001.0), "0/0/0"},
      {0, Variant(), "4/3/5"},
  };
  PeriodQueries q;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.type) + " " + CStr(c.data));
    int32_t inWork = 99, complete = 99, delivered = 99;
    q.CountDocStatuses(10, c.type, c.data, inWork, complete, delivered);
    EXPECT_EQ(
        std::to_string(inWork) + "/" + std::to_string(complete) + "/" + std::to_string(delivered),
        c.counts);
  }
  int32_t a = 0, b = 0, c = 0;
  ExpectError(13, "PeriodQueries.CountDocStatuses",
              [&] { q.CountDocStatuses(10, 1, Variant("x"), a, b, c); });
  EXPECT_TRUE(q.CountDocStatusesInYear(10, 2020) == nullptr);
  EXPECT_TRUE(q.CountDocStatusesInTimePeriod(10, 2013) == nullptr);
}

TEST_F(DocStatusesTest, MasterStatusFromItsEndDocuments) {
  const struct {
    std::vector<int> statuses;
    int32_t expected;
  } cases[] = {
      {{}, 1},     {{1}, 1},    {{2}, 2}, {{3, 3}, 3}, {{3, 1}, 2},
      {{3, 2}, 2}, {{1, 0}, 1}, {{5}, 3},  // other statuses count for nothing: nothing stops "all
                                           // delivered"
  };
  for (const auto& c : cases) {
    Sql("delete from doc_registry where PfrMasterDocID = 50");
    std::string trace;
    double id = 500;
    for (int s : c.statuses) {
      trace += std::to_string(s) + " ";
      Sql("insert into doc_registry (document_id, template_id, time_id, taxpayer_id, Status_Qv, "
          "PfrMasterDocID) values (" +
          CStr(Variant(id++)) + ", 3, 246, 10, " + std::to_string(s) + ", 50)");
    }
    SCOPED_TRACE(trace);
    EXPECT_EQ(miDocument::IntGetPfrMasterStatus_Dao(50), c.expected);
  }
  EXPECT_EQ(miDocument::IntGetPfrMasterStatus_Dao(0), 0);
}

TEST_F(PeriodQueriesTest, PeriodCacheIsFilledOnceAndForgottenWithTheSession) {
  int32_t year = 0, report = 0;
  ASSERT_TRUE(GetPeriodFromCache(2013, year, report));
  EXPECT_EQ(year * 100 + report, 202013);
  ASSERT_NE(GetPeriodByYearAndReport(2020, 14), nullptr);
  EXPECT_EQ(GetPeriodByYearAndReport(2020, 14)->TimeID, 2014);
  EXPECT_EQ(GetPeriodByYearAndReport(1990, 14), nullptr);

  // A commit the connection did not note as its own (a statement in
  // autocommit; another process's alike) moves its data generation: the
  // periods are read again. One in a transaction of its own does not.
  Sql("insert into time_by_month (time_id, the_year, report_id) values (90001, 2031, 5)");
  ASSERT_TRUE(GetPeriodFromCache(90001, year, report));
  EXPECT_EQ(year, 2031);
  {
    auto db = miDataBase::GetUserDataBase();
    dao::Transaction tx(*db, dao::kWriteLock);
    Sql("insert into time_by_month (time_id, the_year, report_id) values (90002, 2032, 5)");
    tx.Commit();
  }
  EXPECT_FALSE(GetPeriodFromCache(90002, year, report));
  miDataBase::ResetSessionForThread();
  ASSERT_TRUE(GetPeriodFromCache(90002, year, report));
  EXPECT_EQ(year, 2032);

  const struct {
    int32_t timeId;
    const char* found;  // recognised year/month/type
  } cases[] = {
      {2005, "1 2020/5/1"},   {2013, "1 2020/3/2"}, {2015, "1 2020/9/2"},  {2016, "1 2020/12/3"},
      {2017, "0 2020/-1/-1"}, {163, "0 0/-1/-1"},   {77777, "0 -1/-1/-1"},
  };
  for (const auto& c : cases) {
    int32_t y = -1, m = -1, t = -1;
    const bool recognised = GetPeriodMonthAndType(c.timeId, y, m, t);
    EXPECT_EQ(std::to_string(recognised) + " " + std::to_string(y) + "/" + std::to_string(m) + "/" +
                  std::to_string(t),
              c.found)
        << c.timeId;
  }
}

TEST_F(PeriodQueriesTest, StreamOwnersAndBranches) {
  InsertRows("insert into Person (ID, Type, PersonRealID)",
             {"(1, 1, 1)", "(2, 2, 1)", "(3, 2, 2)", "(4, 3, 0)", "(5, 2, 9)"});
  InsertRows("insert into LegalPerson (ID, LPCategory)", {"(1, 3)", "(2, 4)", "(9, 7)"});
  InsertRows("insert into AccStream (ID, PersonID, AccStreamType)",
             {"(11, 1, 2)", "(12, 2, 4)", "(13, 3, 5)", "(14, 4, 7)", "(15, 5, 1)"});
  InsertRows("insert into Branches (ID, ParentPersonID, ChildPersonID)",
             {"(1, 2, 3)", "(2, 2, 4)", "(3, 5, 4)", "(4, 2, 5)", "(5, 3, 5)"});
  Sql("insert into AccPerson (PersonID) values (3)");
  InsertRows("insert into ConsStream (ID, LPCategory)", {"(1, 8)", "(2, Null)"});
  const struct {
    double stream;
    const char* owner;  // category/type/branch
  } cases[] = {
      {11, "6/2/0"},   // natural person
      {12, "3/4/0"},   // legal person, head organisation
      {13, "4/5/1"},   // legal person, branch
      {14, "-1/7/1"},  // another kind of person: category and flag untouched
      {15, "7/1/1"},   // legal person, a branch recorded twice
  };
  for (const auto& c : cases) {
    int32_t category = -1, type = -1;
    bool branch = true;
    GetAccStreamOwnerInfo(c.stream, category, type, branch);
    EXPECT_EQ(std::to_string(category) + "/" + std::to_string(type) + "/" + std::to_string(branch),
              c.owner)
        << c.stream;
  }
  EXPECT_EQ(GetAccStreamPersonID(13), 3);
  EXPECT_EQ(GetParentOfBranch(3), 2);
  EXPECT_EQ(GetParentOfBranch(2), 0);
  EXPECT_EQ(GetParentOfBranch(4), 0);  // two parents: none to rely on
  EXPECT_EQ(GetConsStreamLPCategory(1), 8);
  EXPECT_EQ(GetConsStreamLPCategory(2), 0);
  EXPECT_EQ(GetConsStreamLPCategory(3), 0);
}

}  // namespace
}  // namespace qv::queries::testing
