// `qvdb call` on a query class: a recordset result printed as JSON with its
// fields and rows, the arguments after it.

#include <gtest/gtest.h>

#include <sstream>

#include "Call.h"
#include "DataFolder.h"
#include "QvdbTestSupport.h"
#include "core/miDataBase.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/Workspace.h"

namespace qvdb {
namespace {

namespace fs = std::filesystem;

TEST(QueryCall, RecordsetResultAsJson) {
  test::TempFolder tmp;
  const fs::path data = test::CopyOfPristine(tmp);
  {
    auto db = qv::dao::DBEngine::ForThread()->DefaultWorkspace()->Open(
        UserDatabasePath(data).string(), {});
    db->ExecuteSql(
        "insert into Country (ID, Alfa2, ShortName, OrderNum) values (643, 'RU', "
        "'Россия', 1)");
    db->ExecuteSql(
        "insert into Country (ID, Alfa2, ShortName, OrderNum) values (179, 'ZZ', "
        "'Без страны', 0)");
    db->Close();
  }
  PointLibraryAt(data);
  std::ostringstream out;
  RunCall("DictQueries.GetCountry", {"", "1"}, Format::kJson, out);
  qv::miDataBase::ResetSessionForThread();
  const test::Json j = test::ParseJson(out.str());
  const test::Json& fields = j["result"]["fields"];
  ASSERT_EQ(fields.kind, test::Json::kArray) << out.str();
  EXPECT_EQ(fields[0]["name"].text, "ID");
  EXPECT_EQ(fields[4]["name"].text, "ShortName");
  const test::Json& rows = j["result"]["rows"];
  ASSERT_EQ(rows.kind, test::Json::kArray) << out.str();
  ASSERT_EQ(rows.items.size(), 1u) << out.str();
  EXPECT_EQ(rows[0][0].number, 643);  // 179 is left out by flag 1
  EXPECT_EQ(rows[0][4].text, "Россия");
  EXPECT_EQ(j["args"][0].text, "");
  EXPECT_EQ(j["args"][1].number, 1);
}

}  // namespace
}  // namespace qvdb
