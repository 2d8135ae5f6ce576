#include "platform/ado/RowOrder.h"

#include <gtest/gtest.h>

#include "AdoTestSupport.h"
#include "platform/automation/VbaDate.h"

namespace qv::ado {
namespace {

using test::ExpectError;

RecordsetPtr People() {
  return test::MakeRecordset(
      {{"ID", adInteger},
       {"Fio", adVarWChar, 50},
       {"Born", adDate},
       {"Sum", adDouble},
       {"Tax Code", adVarWChar, 12}},
      {{Variant(1), Variant("Иванов"), Variant(DateSerial(1970, 3, 5)), Variant(10.5),
        Variant("7701")},
       {Variant(2), Variant("иванова"), Variant(DateSerial(1985, 1, 1)), Variant(-2),
        Variant::Null()},
       {Variant(3), Variant("Петров"), Variant::Null(), Variant(0), Variant("7702")},
       {Variant(4), Variant("O'Brien"), Variant(DateSerial(2001, 12, 31)), Variant(10.5),
        Variant("7701")}});
}

TEST(RowOrder, FiltersByCriteria) {
  const struct {
    const char* criteria;
    const char* ids;
  } cases[] = {
      {"Fio = 'ИВАНОВ'", "1"},  // texts compare ignoring case
      {"Fio LIKE 'иван*'", "1,2"},
      {"Fio LIKE '%ов'", "1,3"},
      {"Fio LIKE '*ОВ*'", "1,2,3"},
      {"Fio = 'O''Brien'", "4"},
      {"Sum = 10.5 AND ID <> 1", "4"},
      {"Sum >= 0 and Sum < 10.5", "3"},
      {"Born > #1980-01-01#", "2,4"},
      {"Born <= #05.03.1970#", "1"},
      {"Born = Null", "3"},
      {"[Tax Code] <> NULL AND [Tax Code] = '7701'", "1,4"},
      {"ID = '3'", "3"},  // a quoted number compares with a number field as a number
      {"Sum > 100", ""},
      {"  ", "1,2,3,4"},
  };
  auto rs = People();
  for (const auto& c : cases) {
    rs->SetFilter(Variant(c.criteria));
    EXPECT_EQ(test::ColumnText(*rs, 0), c.ids) << c.criteria;
  }
  rs->SetFilter(Variant("Fio LIKE 'иван*'"));
  EXPECT_EQ(rs->RecordCount(), 2);
}

TEST(RowOrder, RejectsCriteriaItCannotRead) {
  const struct {
    const char* criteria;
    int32_t error;
  } cases[] = {
      {"Nope = 1", adoerr::kItemNotFound},
      {"ID = 1 OR ID = 2", adoerr::kBadArguments},
      {"ID = 'x'", adoerr::kBadArguments},
      {"ID 1", adoerr::kBadArguments},
      {"ID =", adoerr::kBadArguments},
      {"Fio = 'open", adoerr::kBadArguments},
      {"Born = #not a date#", adoerr::kBadArguments},
      {"ID > Null", adoerr::kBadArguments},
      {"ID LIKE '1*'", adoerr::kBadArguments},
      {"Fio LIKE 'a*b'", adoerr::kBadArguments},
      {"[Tax Code = '1'", adoerr::kBadArguments},
  };
  auto rs = People();
  rs->SetFilter(Variant("ID > 1"));
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.criteria);
    ExpectError(c.error, "", [&] { rs->SetFilter(Variant(c.criteria)); });
  }
  EXPECT_EQ(rs->Filter(), Variant("ID > 1"));  // the last good filter stays
  ExpectError(adoerr::kBadArguments, "", [&] { rs->SetFilter(Variant(2)); });
}

TEST(RowOrder, SortsByKeysWithNullsFirst) {
  const struct {
    const char* sort;
    const char* ids;
  } cases[] = {
      {"Sum", "2,3,1,4"},
      {"Born", "3,1,2,4"},
      {"Fio desc", "3,2,1,4"},  // the Jet order puts Latin before Cyrillic
      {"[Tax Code], Fio", "2,4,1,3"},
      {"[Sum] DESC, ID DESC", "4,1,3,2"},
      {"", "1,2,3,4"},
  };
  auto rs = People();
  for (const auto& c : cases) {
    rs->MoveLast();
    rs->SetSort(c.sort);
    EXPECT_EQ(rs->AbsolutePosition(), 1) << c.sort;
    EXPECT_EQ(test::ColumnText(*rs, 0), c.ids) << c.sort;
  }
  rs->SetSort("Sum");
  ExpectError(adoerr::kItemNotFound, "", [&] { rs->SetSort("Nope"); });
  ExpectError(adoerr::kBadArguments, "", [&] { rs->SetSort("Fio UP"); });
  EXPECT_EQ(rs->Sort(), "Sum");  // a rejected order leaves the old one
}

}  // namespace
}  // namespace qv::ado
