// `qvdb call` on the library's classes: mappers and queries read the folder
// PointLibraryAt names and follow it to another; a query's recordset prints
// as JSON with its fields and rows, the arguments after it.

#include <gtest/gtest.h>

#include <sstream>

#include "Call.h"
#include "DataFolder.h"
#include "QvdbTestSupport.h"
#include "core/miDataBase.h"

namespace qvdb {
namespace {

test::Json Call(const std::string& target, const std::vector<std::string>& args) {
  std::ostringstream out;
  RunCall(target, args, Format::kJson, out);
  return test::ParseJson(out.str());
}

std::string OfficeName() {
  const test::Json j = Call("DBTaxOffice.ReadRecord", {"9999", "@Qv_Records.QvTaxOffice"});
  EXPECT_EQ(j["args"][1]["RState"].number, 3);
  return j["args"][1]["props"]["ShortName"].text;
}

TEST(PointLibraryAt, MappersAndQueriesReadTheFolderPointedAt) {
  TempFolder tmp;
  const fs::path a = test::CopyOfPristine(tmp, "a"), b = test::CopyOfPristine(tmp, "b");
  Execute(UserDatabasePath(a),
          {"insert into TaxOffice (ID, Code, ShortName) values (9999, '9999', 'Инспекция A')",
           "insert into Country (ID, Alfa2, ShortName, OrderNum) values (179, 'ZZ', 'Без "
           "страны', 0)"});
  Execute(UserDatabasePath(b),
          {"insert into TaxOffice (ID, Code, ShortName) values (9999, '9999', 'Инспекция B')"});
  PointLibraryAt(a);
  EXPECT_EQ(OfficeName(), "Инспекция A");
  const test::Json j = Call("DictQueries.GetCountry", {"", "1"});
  const test::Json& fields = j["result"]["fields"];
  ASSERT_EQ(fields.kind, test::Json::kArray);
  EXPECT_EQ(fields[0]["name"].text, "ID");
  EXPECT_EQ(fields[4]["name"].text, "ShortName");
  const test::Json& rows = j["result"]["rows"];
  ASSERT_EQ(rows.kind, test::Json::kArray);
  ASSERT_FALSE(rows.items.empty());
  EXPECT_EQ(rows[0][0].number, 643);  // the countries of init, Russia first
  EXPECT_EQ(rows[0][4].text, "Россия");
  for (const test::Json& row : rows.items) EXPECT_NE(row[0].number, 179);  // left out by flag 1
  EXPECT_EQ(j["args"][0].text, "");
  EXPECT_EQ(j["args"][1].number, 1);
  PointLibraryAt(b);
  EXPECT_EQ(OfficeName(), "Инспекция B");
  qv::miDataBase::ResetSessionForThread();
}

}  // namespace
}  // namespace qvdb
