// Consolidated streams and the scattering of a document's rows.

#include <gtest/gtest.h>

#include "queries/DBQConsStream.h"
#include "queries/DBQScattering.h"
#include "queries/DictPeriodFixture.h"
#include "siblings/records/QvRecord.h"

namespace qv::queries {
namespace {

using testing::ExpectError;

using ConsQueriesTest = testing::DictPeriodTest;
using mQvDaoDataBase::QvQuerySqlA;

// One document whose rows R01..R04 name a stream (C01) with its sum (C05)
// and tax (C06): row 03 has no tax, row 04 an empty stream cell, and a
// cell of another document sits at the same key. Names that are no
// identifiers are refused.
TEST_F(ConsQueriesTest, ScatteringSpreadsRowsOverStreamsNamedByIdentifiers) {
  InsertRows("insert into doc_cell_values (document_id, cell_key, first_value, first_type)",
             {"(7, 'R01C01', '101', 1)", "(7, 'R01C05', '1500', 2)", "(7, 'R01C06', '195', 2)",
              "(7, 'R02C01', '102', 1)", "(7, 'R02C05', '700', 2)", "(7, 'R02C06', '91', 2)",
              "(7, 'R03C01', '103', 1)", "(7, 'R03C05', '40', 2)", "(7, 'R04C01', '', 1)",
              "(7, 'R04C05', '9', 2)", "(8, 'R01C05', 'other', 2)", "(7, 'A07B', 'page', 1)",
              "(7, 'A08B', 'next', 1)"});
  DBQScattering q;
  EXPECT_EQ(Rows(q.GetAccStreamsFromDocument(7, "R##C01", "Stream", "R##C05,R##C06", "Sum,Tax"),
                 {"Stream", "Stream_key", "Sum", "Sum_key", "Tax"}),
            "101|R01C01|1500|R01C05|195; 102|R02C01|700|R02C05|91; 103|R03C01|40|R03C05|Null");
  // No field masks: the main cells alone.
  EXPECT_EQ(Rows(q.GetAccStreamsFromDocument(7, "R##C01", "Stream", "", ""), {"Stream"}),
            "101; 102; 103");
  EXPECT_EQ(Rows(q.GetScatteringPage(7, "07", "A##B", false), {"cell_key", "first_value"}),
            "A07B|page");
  EXPECT_EQ(Rows(q.GetScatteringPage(7, "08", "A##B,R01C05", false), {"first_value"}),
            "next; 1500");

  const struct {
    const char *mainName, *masks, *names;
  } kCases[] = {{"Stream from doc_cell_values; --", "", ""},
                {"Stream", "R##C05", "Sum, Tax"},
                {"Stream", "R##C05,R##C06", "Sum"},
                {"1Stream", "", ""},
                {"", "", ""}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.mainName + std::string(" / ") + c.names);
    const Error e = ExpectError(
        5, "", [&] { q.GetAccStreamsFromDocument(7, "R##C01", c.mainName, c.masks, c.names); });
    EXPECT_EQ(e.Description().find("Запрос"), std::string::npos) << e.Description();
  }
  // A quote in a mask is a character of the key, not the end of the text.
  EXPECT_EQ(Rows(q.GetScatteringPage(7, "0'", "A##B\",A##B", false), {"cell_key"}), "");

  // Templates up to the size of one literal are filled in one pass; longer
  // ones (a megabyte did not come back in minutes) are refused before any work.
  std::string many;
  while (many.size() + 9 <= 65536) many += "A##B,";
  many += "A##B";
  EXPECT_EQ(Rows(q.GetScatteringPage(7, "08", many, false), {"first_value"}), "next");
  const std::string megabyte(1 << 20, '#');
  ExpectError(5, "templates", [&] { q.GetScatteringPage(7, "08", megabyte, false); });
  ExpectError(5, "masks", [&] { q.GetAccStreamsFromDocument(7, megabyte, "Stream", "", ""); });
}

TEST_F(ConsQueriesTest, MembersFollowSavesAndDeletedStreams) {
  InsertRows("insert into AccStream (ID, DisplayName)", {"(10, 'a')", "(11, 'b')", "(12, 'c')"});
  Sql("insert into ConsMembers (ID, ConsStreamID, AccStreamID) values (40, 2, 10)");
  DBQConsStream q;
  auto members = [&](double cons) { return Rows(q.GetMembersListOfConsStream(cons), {"ID"}); };

  q.SaveMembersList(1, "10,11;12");
  EXPECT_EQ(members(1), "10; 11; 12");
  // New rows follow the largest identifier of the table, whoever owns it.
  EXPECT_EQ(
      Rows(QvQuerySqlA("select ID from ConsMembers where ConsStreamID = 1 order by ID"), {"ID"}),
      "41; 42; 43");

  auto stream = records::QvRecord::Create("Qv_Records.QvAccStream");
  ObjectPtr mapper = CreateObject("Qv_DBProvider.DBAccStream");
  mapper->CallV("ReadRecord", 11.0, Variant(ObjectPtr(stream)));
  mapper->CallV("DeleteRecord", Variant(ObjectPtr(stream)));
  EXPECT_EQ(members(1), "10; 12");
  EXPECT_EQ(members(2), "10");

  // A list that is no identifier list changes nothing.
  ExpectError(5, "aMembersIDs", [&] { q.SaveMembersList(1, "10,12) or (1=1"); });
  EXPECT_EQ(members(1), "10; 12");

  q.SaveMembersList(1, "");
  EXPECT_EQ(members(1), "");
  EXPECT_EQ(members(2), "10");
}

}  // namespace
}  // namespace qv::queries
