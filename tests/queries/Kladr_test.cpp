// The address classifier searches and the recognition of countries and
// regions, called by name as the application calls them (hostile texts are
// HostileInputTest's rows).

#include <gtest/gtest.h>

#include "core/miDataBase.h"
#include "platform/jet/JetConnection.h"
#include "platform/jet/JetEngine.h"
#include "queries/DBQKladr.h"
#include "queries/DictPeriodFixture.h"
#include "support/PgTestProcess.h"

namespace qv::queries {
namespace {

using testing::ExpectError;

class KladrTest : public testing::DictPeriodTest {
 protected:
  void SetUp() override {
    DictPeriodTest::SetUp();
    std::vector<std::string> seed;
    for (const char* row : {"(1, 'г')", "(2, 'обл')", "(3, 'ул')", "(4, 'пр-кт')", "(5, 'пер')"})
      seed.push_back(std::string("insert into KladrAbbrevs (ID, ShortName) values ") + row);
    for (const char* row :
         {"(77, 0, 1, 'Москва', 1, '')", "(50, 0, 1, 'Московская', 2, '')",
          "(66, 0, 1, 'Свердловская', 2, '')", "(100, 50, 3, 'Подольск', 1, '142100')",
          "(101, 66, 3, 'Екатеринбург', 1, '620000')", "(200, 77, 5, 'Ленина', 3, '119000')",
          "(201, 77, 5, 'Ленинградский', 4, '125040')", "(202, 77, 5, 'Лесная', 3, '127055')",
          "(203, 77, 5, 'Арбат', 3, '119002')", "(204, 77, 5, 'ленинский', 4, '119049')",
          "(205, 77, 5, 'Звёздный', 5, '129515')", "(206, 77, 5, '3-я Ямского Поля', 3, '125124')",
          "(207, 101, 5, 'Ленина', 4, '620014')"})
      seed.push_back(
          std::string("insert into KladrObjects (ID, ParentID, Level, ObjName, AbbrevID, "
                      "PostIndex) values ") +
          row);
    KladrSql(seed);
    InsertRows("insert into Country (ID, Code, ShortName, FullName)",
               {"(643, '643', 'Россия', 'Российская Федерация')",
                "(4, '004', 'Афганистан', 'Исламская Республика Афганистан')"});
    InsertRows("insert into Region (ID, Code, Name, NameNoAb, AbName)",
               {"(50, '50', 'Московская обл', 'Московская', 'обл')"});
    kladr_ = CreateObject("Qv_DBProvider.DBQKladr");
  }

  // The IDs of a recordset the class returns.
  std::string Ids(const Variant& rs) { return Rows(rs.ObjectAs<ado::Recordset>(), {"ID"}); }
  std::string Start(int32_t parent, int32_t level, const std::string& text, int32_t max = 0) {
    return Ids(kladr_->CallV("FindKladrObjectsByNameStart", parent, level, text, max));
  }

  ObjectPtr kladr_;
};

TEST_F(KladrTest, SearchesByNameStartCodeAndName) {
  // By the start of a name, in any letter case, under one parent and level,
  // ordered by name.
  EXPECT_EQ(Start(77, 5, "лен"), "200; 201; 204");
  EXPECT_EQ(Start(77, 5, "ЛЕНИНГ"), "201");
  EXPECT_EQ(Start(77, 5, "Лен", 2), "200; 201");
  EXPECT_EQ(Start(77, 5, "звёзд"), "205");
  EXPECT_EQ(Start(77, 5, "3-я"), "206");
  EXPECT_EQ(Start(66, 3, "е"), "101");
  EXPECT_EQ(Start(77, 5, ""), "206; 203; 205; 200; 201; 204; 202");
  EXPECT_EQ(Start(77, 1, "Лен"), "");

  const auto list = kladr_->CallV("GetKladrObjects", 0, 1);
  EXPECT_EQ(Rows(list.ObjectAs<ado::Recordset>(), {"SeekName"}),
            "50 Московская обл; 66 Свердловская обл; 77 Москва г");
  // The statement leaves the order open: sorted as texts.
  EXPECT_EQ(Rows(kladr_->CallV("GetKladrObjectByIDList", "77, 50;100").ObjectAs<ado::Recordset>(),
                 {"ID"}, true),
            "100; 50; 77");
  EXPECT_EQ(kladr_->CallV("IsKladrObjectsExist", 101, 5), Variant(true));
  EXPECT_EQ(kladr_->CallV("IsKladrObjectsExist", 100, 5), Variant(false));
  EXPECT_EQ(CDbl(kladr_->CallV("FindKladrObjectByName", 77, 5, "ЛЕНИНА УЛ", true)), 200);
  EXPECT_EQ(CDbl(kladr_->CallV("FindKladrObjectByName", 101, 5, "ленина", false)), 207);
  EXPECT_EQ(CDbl(kladr_->CallV("FindKladrObjectByName15", 77, 5, "ленинградский", "ПР-КТ")), 201);
  EXPECT_EQ(CDbl(kladr_->CallV("RecognizeCountry", " 643 ")), 643);
  EXPECT_EQ(CDbl(kladr_->CallV("RecognizeCountry", "РОССИЯ")), 643);
  EXPECT_EQ(CDbl(kladr_->CallV("RecognizeCountry", "4")), 4);
  EXPECT_EQ(CDbl(kladr_->CallV("RecognizeCountry", "исламская республика афганистан")), 4);
  EXPECT_EQ(CDbl(kladr_->CallV("RecognizeRegion", "московская ОБЛ")), 50);
}

TEST_F(KladrTest, WithoutTheClassifierOnlyThePresenceTestAnswers) {
  RemoveFolderDatabase(miDataBase::GetKladrDBFileName());
  EXPECT_EQ(kladr_->CallV("IsKladrPresents"), Variant(false));
  ExpectError(3024, "Kladr.mdb", [&] { kladr_->CallV("FindKladrObjectsByNameStart", 77, 5, "Л"); });
}

// The name search reads the children of one parent through the
// (ParentID, Level) index, not the whole table.
TEST_F(KladrTest, NameSearchUsesTheParentIndex) {
  const std::string location = miDataBase::GetKladrDBFileName();
  if (OnServer()) {
    // The server's plan, on a connection of the test's to the classifier's
    // schema. On so few rows the planner scans whatever the indexes; with
    // scans priced out, a plan that still scans the objects shows a
    // statement no index can serve.
    auto kladr = dao::DBEngine::ForThread()->DefaultWorkspace()->Open(location, {});
    const std::string sql =
        kladr->ServerEngine().Translate(KladrNameStartSql(77, 5, "Лен", 20))->sql;
    kladr->Close();
    testsupport::PgAdmin admin(location);
    admin.Value("SET enable_seqscan TO off");
    const std::string plan = admin.Value("EXPLAIN (FORMAT JSON) " + sql);
    EXPECT_NE(plan.find("\"Index Cond\""), std::string::npos) << plan;
    EXPECT_EQ(plan.find("\"Seq Scan\""), std::string::npos) << plan;
    return;
  }
  auto kladr = jet::Connection::Open(location);
  const std::string sql = kladr->Translate(KladrNameStartSql(77, 5, "Лен", 20))->sql;
  auto plan = kladr->PrepareNative("EXPLAIN QUERY PLAN " + sql);
  std::string text;
  while (plan.Step()) text += CStr(plan.Value(3)) + "\n";
  EXPECT_NE(text.find("USING INDEX"), std::string::npos) << text;
  EXPECT_EQ(text.find("SCAN a"), std::string::npos) << text;
}

}  // namespace
}  // namespace qv::queries
