// Numbered counters and the delivery-number counter.

#include <gtest/gtest.h>

#include "CoreTestSupport.h"
#include "core/DBCommon.h"
#include "core/DBGlobalParams.h"
#include "core/mQvDaoDataBase.h"

namespace qv {
namespace {

using coretest::ExpectError;

using mQvDaoDataBase::QvExecuteSql;
using mQvDaoDataBase::QvQueryValue;

class Counters : public coretest::DataFolderTest {};

TEST_F(Counters, CountersCountPerTypeAndYear) {
  DBCommon common;
  const struct {
    const char* step;  // "next" or "curr"
    int32_t type, year, expected;
  } steps[] = {
      {"curr", 1, 0, 0},    {"next", 1, 0, 1}, {"next", 1, 0, 2},    {"curr", 1, 0, 2},
      {"next", 1, 2024, 1}, {"curr", 1, 0, 2}, {"curr", 1, 2024, 1}, {"next", 2, 0, 1},
      {"next", 1, 0, 3},    {"curr", 9, 9, 0}, {"next", -5, -1, 1},  {"curr", -5, -1, 1},
  };
  for (const auto& s : steps) {
    const int32_t got = std::string_view(s.step) == "next" ? common.GetNextCounter(s.type, s.year)
                                                           : common.GetCurrCounter(s.type, s.year);
    EXPECT_EQ(got, s.expected) << s.step << " " << s.type << " " << s.year;
  }
  // The year defaults to 0 when called by name.
  ObjectPtr byName = CreateObject("Qv_DBProvider.DBCommon");
  EXPECT_EQ(byName->CallV("GetNextCounter", 1), Variant(int32_t{4}));
  EXPECT_EQ(byName->CallV("GetCurrCounter", 1), Variant(int32_t{4}));
  EXPECT_EQ(QvQueryValue("select count(*) from Counters"), Variant(int32_t{4}));

  // A Null value counts as 0; the Long range is not left.
  QvExecuteSql("update Counters set CounterValue = Null where CounterType = 2");
  EXPECT_EQ(common.GetCurrCounter(2, 0), 0);
  EXPECT_EQ(common.GetNextCounter(2, 0), 1);
  QvExecuteSql("update Counters set CounterValue = 2147483647 where CounterType = 2");
  Error e = ExpectError(vberr::kOverflow, "", [&] { common.GetNextCounter(2, 0); });
  EXPECT_EQ(e.Description().substr(0, e.Description().find("\r\n")),
            "[Qv_DBProvider::DBCommon.GetNextCounter]");
  EXPECT_EQ(common.GetCurrCounter(2, 0), INT32_MAX);
}

TEST_F(Counters, DeliveryNumbersFollowTheRegisteredDocuments) {
  DBGlobalParams params;
  // An empty GlobalParams gets its row; no documents: 0.
  EXPECT_EQ(QvQueryValue("select count(*) from GlobalParams"), Variant(int32_t{0}));
  EXPECT_EQ(params.GetCurrentDeliveryNumber(), 0);
  EXPECT_EQ(QvQueryValue("select count(*) from GlobalParams"), Variant(int32_t{1}));
  EXPECT_EQ(params.GetNextDeliveryNumber(), 1);
  EXPECT_EQ(params.GetNextDeliveryNumber(), 2);

  QvExecuteSql("update GlobalParams set DeliveryNumber = 100");
  QvExecuteSql("insert into doc_registry (document_id, reg_number) values (1, 120)");
  QvExecuteSql("insert into doc_registry (document_id, reg_number) values (2, 7)");
  EXPECT_EQ(params.GetCurrentDeliveryNumber(), 120);
  EXPECT_EQ(params.GetNextDeliveryNumber(), 121);
  EXPECT_EQ(QvQueryValue("select DeliveryNumber from GlobalParams"), Variant(int32_t{121}));
  EXPECT_EQ(params.GetNextDeliveryNumber(), 122);

  QvExecuteSql("delete from GlobalParams");
  EXPECT_EQ(CreateObject("Qv_DBProvider.DBGlobalParams")->CallV("GetNextDeliveryNumber"),
            Variant(int32_t{121}));

  QvExecuteSql("drop table doc_registry");
  ExpectError(3078,
              "[Qv_DBProvider::DBGlobalParams.GetNextDeliveryNumber]\r\n"
              "[Qv_DBProvider::DBGlobalParams.LastRegNumber]\r\n"
              "[Qv_DBProvider::mQvDaoDataBase.QvGetMaximumFromTable]\r\n"
              "[Qv_DBProvider::mQvDaoDataBase.QvQueryValue]",
              [&] { params.GetNextDeliveryNumber(); });
}

}  // namespace
}  // namespace qv
