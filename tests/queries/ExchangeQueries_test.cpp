// The queries of the exchanges with the filing operator and the insurer's
// server, the solver's counts and the consolidated streams, over one small
// registry of documents.

#include <gtest/gtest.h>

#include "platform/automation/VbaDate.h"
#include "queries/DBQConsStream.h"
#include "queries/DBQFss.h"
#include "queries/DBQKontur.h"
#include "queries/DBQSolver.h"
#include "queries/PersonQueriesFixture.h"

namespace qv::queries {
namespace {

using testing::ExpectError;
using testing::IdList;

// Periods of 2025: months 2501..2512, quarters 2513..2516, the year 2517.
class ExchangeQueriesTest : public testing::PersonQueriesTest {
 protected:
  void SetUp() override {
    PersonQueriesTest::SetUp();
    InsertRows("insert into TaxOffice (ID, Code, ShortName)",
               {"(1, '7701', 'ИФНС 1')", "(2, '7702', 'ИФНС 2')"});
    // An organisation (1) with a branch (2), an entrepreneur (3), and an
    // organisation nobody keeps accounts for (4) with the first one's INN.
    InsertRows("insert into Person (ID, Type, PersonRealID)",
               {"(1, 2, 1)", "(2, 2, 2)", "(3, 1, 1)", "(4, 2, 3)"});
    InsertRows("insert into LegalPerson (ID, INN, KPP)",
               {"(1, '7701000001', '770101001')", "(2, '7701000001', '770102001')",
                "(3, '7701000001', '770101001')"});
    InsertRows("insert into NaturalPerson (ID, INN)", {"(1, '770100000001')"});
    InsertRows("insert into AccPerson (PersonID)", {"(1)", "(3)"});
    Sql("insert into Branches (ID, ParentPersonID, ChildPersonID) values (1, 1, 2)");
    // Stream 11 is at another office, 14 of type 3, 15 of the person nobody
    // keeps accounts for.
    InsertRows(
        "insert into AccStream (ID, PersonID, AccStreamType, KPP, TaxOfficeID)",
        {"(10, 1, 1, '770101001', 1)", "(11, 1, 1, '770101001', 2)", "(12, 2, 2, '770102001', 1)",
         "(13, 3, 1, '', 1)", "(14, 1, 3, '770101001', 1)", "(15, 4, 1, '770101001', 1)"});
    InsertRows("insert into doc_type_class (doc_type_id, KND)",
               {"(1, '1151001')", "(2, '1152016')", "(3, '')", "(435, '1151100')", "(437, '')"});
    // Templates 103 and 104 are in folder 3, 105 in folder 4.
    InsertRows("insert into doc_templates (template_id, doc_type_id, FolderID)",
               {"(101, 1, 1)", "(102, 2, 1)", "(103, 1, 3)", "(104, 3, 3)", "(105, 2, 4)",
                "(435, 435, 1)", "(437, 437, 1)"});
    InsertRows(
        "insert into doc_registry (Document_ID, Taxpayer_ID, Template_ID, Time_ID, Top_Doc_ID, "
        "Status_Qv, KonDC_GUID, PfrMasterDocID, FssDocCircleID)",
        {
            // Linkable documents of form 1151001 and what keeps others out.
            "(1, 10, 101, 2513, 0, 2, '', 0, 1)",
            "(2, 10, 101, 2502, 0, 3, '', 0, 2)",
            "(3, 10, 101, 2513, 4, 2, '', 0, 0)",      // an older version
            "(4, 10, 101, 2513, 0, 1, '', 0, 3)",      // in work
            "(5, 10, 101, 2513, 0, 2, '{A1}', 0, 0)",  // linked already
            "(6, 11, 101, 2513, 0, 2, '', 0, 0)",      // another office
            "(7, 12, 101, 2513, 0, 2, '', 0, 0)",      // the branch's
            "(8, 10, 102, 2513, 0, 2, '', 0, 0)",      // another form
            "(9, 10, 101, 2514, 0, 2, '', 0, 0)",      // the second quarter
            "(10, 13, 101, 2513, 0, 2, '', 0, 0)",     // the entrepreneur's
            "(11, 14, 101, 2513, 0, 2, '', 0, 0)",     // a stream of type 3
            "(12, 10, 101, 2517, 0, 2, '', 0, 2)",     // the year
            "(13, 15, 101, 2513, 0, 2, '', 0, 99)",    // no accounts kept
                                                       // Form 1151100 with its sub-documents under
                                                       // period 246.
            "(20, 10, 435, 2513, 0, 2, '', 0, 0)",
            "(21, 10, 437, 246, 0, 3, '', 20, 0)",
            "(22, 10, 437, 246, 0, 1, '', 20, 0)",  // in work
            "(23, 10, 437, 246, 0, 2, '', 9, 0)",   // of the second quarter
                                                    // Stream 16 for the solver's counts.
            "(40, 16, 101, 2513, 42, 1, '', 0, 0)",
            "(42, 16, 101, 2513, 0, 1, '', 0, 0)",
            "(43, 16, 102, 2513, 0, 1, '', 0, 0)",
            "(44, 16, 103, 2513, 0, 1, '', 0, 0)",
            "(45, 16, 104, 2513, 0, 1, '', 0, 0)",
            "(46, 16, 103, 2513, 0, 1, '', 0, 0)",
            "(47, 16, 105, 2513, 0, 1, '', 0, 0)",
            "(48, 16, 101, 2514, 0, 1, '', 0, 0)",
        });
    InsertRows("insert into FssDocCircles (ID, Status)", {"(1, 20)", "(2, 40)", "(3, 10)"});
  }
};

Variant D(int32_t y, int32_t m, int32_t d) {
  return Variant(DateSerial(y, m, d));
}

TEST_F(ExchangeQueriesTest, DocumentsForLinking) {
  const std::string org = "7701000001", kpp = "770101001", ip = "770100000001";
  const Variant jan = D(2025, 1, 1), mar = D(2025, 3, 31), dec = D(2025, 12, 31);
  const Variant jan10 = D(2025, 1, 10), jan20 = D(2025, 1, 20);
  const struct {
    const char* name;
    std::string inn, kpp, office, knd;
    Variant beg, end;
    IdList ids;
  } cases[] = {
      {"organisation, first quarter", org, kpp, "7701", "1151001", jan, mar, {1, 2}},
      {"branch by its KPP", org, "770102001", "7701", "1151001", jan, mar, {7}},
      {"entrepreneur", ip, "", "7701", "1151001", jan, mar, {10}},
      {"the whole year", org, kpp, "7701", "1151001", jan, dec, {1, 2, 9, 12}},
      {"pension-fund form with its sub-documents", org, kpp, "7701", "1151100", jan, mar, {20, 21}},
      {"no period lies within the range", org, kpp, "7701", "1151001", jan10, jan20, {}},
      {"dates of two years", org, kpp, "7701", "1151001", D(2024, 12, 1), mar, {}},
      {"no date", org, kpp, "7701", "1151001", Variant::Null(), mar, {}},
      {"organisation without KPP", org, "", "7701", "1151001", jan, mar, {}},
      {"entrepreneur with KPP", ip, kpp, "7701", "1151001", jan, mar, {}},
      {"short office code", org, kpp, "770", "1151001", jan, mar, {}},
      {"no form", org, kpp, "7701", "", jan, mar, {}},
      {"unknown INN", "7709999999", kpp, "7701", "1151001", jan, mar, {}},
  };
  DBQKontur q;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Sorted(Ids(q.FindDocumentsForLinking(c.inn, c.kpp, c.office, c.knd, c.beg, c.end))),
              c.ids);
  }
  ExpectError(13, "", [&] {
    q.FindDocumentsForLinking(org, kpp, "7701", "1151001", Variant(std::string("x")), mar);
  });
}

TEST_F(ExchangeQueriesTest, SolverCounts) {
  const struct {
    double stream;
    int32_t period;
    std::string excluded;
    int32_t docs, taxmonTypes;
  } cases[] = {
      // 42 and 43; 44..46 are folder 3 (types 1 and 3), 47 folder 4, 40 older.
      {16, 2513, "", 2, 2},    {16, 2513, "2", 1, 2}, {16, 2513, "1, 3", 1, 0},
      {16, 2513, "1;2", 0, 1}, {16, 2514, "", 1, 0},  {99, 2513, "", 0, 0},
  };
  DBQSolver q;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.period) + " excluding " + c.excluded);
    EXPECT_EQ(q.GetDocCountInPeriod(c.stream, c.period, c.excluded), c.docs);
    EXPECT_EQ(q.GetTaxmonDocCountInPeriod(c.stream, c.period, c.excluded), c.taxmonTypes);
  }
}

TEST_F(ExchangeQueriesTest, ExchangesToCheckAndConsStreams) {
  // Exchanges of status 20 or 40 only; a document naming no stored
  // exchange is none.
  Variant params(VariantArray::Of({}));
  EXPECT_EQ(Rows(DBQFss().GetDocsNeedToBeCheckedAtServer(params), {"ID"}), "1; 2; 12");

  DBQConsStream cons;
  EXPECT_EQ(Ids(cons.GetAllConsStreams()), IdList({}));
  InsertRows("insert into ConsStream (ID, DisplayName)", {"(3, 'b')", "(1, 'a')"});
  EXPECT_EQ(Sorted(Ids(cons.GetAllConsStreams())), IdList({1, 3}));
}

}  // namespace
}  // namespace qv::queries
