#include <gtest/gtest.h>

#include <sstream>

#include "Call.h"
#include "DataFolder.h"
#include "QvdbTestSupport.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/Workspace.h"

namespace qvdb {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

void AddOffice(const fs::path& folder, const std::string& name) {
  auto db = qv::dao::DBEngine::ForThread()->DefaultWorkspace()->Open(
      UserDatabasePath(folder).string(), {});
  db->ExecuteSql("insert into TaxOffice (ID, Code, ShortName) values (9999, '9999', '" + name +
                 "')");
  db->Close();
}

std::string OfficeName(const std::vector<std::string>& args) {
  std::ostringstream out;
  RunCall("DBTaxOffice.ReadRecord", args, Format::kJson, out);
  const test::Json j = test::ParseJson(out.str());
  EXPECT_EQ(j["args"][1]["RState"].number, 3) << out.str();
  return j["args"][1]["props"]["ShortName"].text;
}

// The library's mappers read the folder the registry names, and follow it
// when PointLibraryAt names another.
TEST(PointLibraryAt, MappersReadTheFolderPointedAt) {
  TempFolder tmp;
  const fs::path a = test::CopyOfPristine(tmp, "a"), b = test::CopyOfPristine(tmp, "b");
  AddOffice(a, "Инспекция A");
  AddOffice(b, "Инспекция B");
  PointLibraryAt(a);
  EXPECT_EQ(OfficeName({"9999", "@Qv_Records.QvTaxOffice"}), "Инспекция A");
  PointLibraryAt(b);
  EXPECT_EQ(OfficeName({"9999", "@Qv_Records.QvTaxOffice"}), "Инспекция B");
}

}  // namespace
}  // namespace qvdb
