#include "DataFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "Call.h"
#include "QvdbTestSupport.h"
#include "core/mQvRegistryParams.h"
#include "core/miDataBase.h"
#include "platform/automation/Error.h"
#include "platform/automation/Object.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/Workspace.h"
#include "platform/os/RegistryStore.h"

namespace qvdb {
namespace {

std::string CountRows(const fs::path& folder, const std::string& table) {
  return test::Rows(UserDatabasePath(folder), "select count(*) from " + table);
}

TEST(DataFolder, InitCreatesTheFolderAndRecordsIt) {
  TempFolder tmp;
  const fs::path folder = tmp / "a/b/data";  // parents are made too
  const InitResult r = InitDataFolder(folder, false);
  EXPECT_EQ(r.files, (std::vector<std::string>{"Quivane.mdb", "Kladr.mdb", "Okato.mdb"}));
  EXPECT_GT(r.referenceRows, 10000u);  // periods and the calendar
  EXPECT_TRUE(r.optionsWritten);
  EXPECT_THAT(test::ReadFileText(folder / kOptionsFileName),
              HasSubstr("<DBOptions><Locking Enable=\"no\"/></DBOptions>"));
  EXPECT_EQ(r.registryFile, tmp / "registry.ini");
  EXPECT_EQ(RegisteredDataFolder(), folder.string());
  EXPECT_EQ(qv::mQvRegistryParams::GetDataBasePath(), folder.string() + "/");
  EXPECT_NE(CountRows(folder, "time_by_month"), "0\n");
  // Countries are found by code and by name before any data is generated.
  qv::miDataBase::ResetSessionForThread();
  const qv::ObjectPtr kladr = qv::CreateObject("Qv_DBProvider.DBQKladr");
  for (const char* text : {"643", "россия", "Республика Беларусь"})
    EXPECT_NE(qv::CDbl(kladr->CallV("RecognizeCountry", std::string(text))), 0) << text;
  qv::miDataBase::ResetSessionForThread();
}

TEST(DataFolder, InitRefusesAnExistingDatabaseUnlessForced) {
  TempFolder tmp;
  const fs::path folder = test::CopyOfPristine(tmp);
  Execute(UserDatabasePath(folder), {"insert into Post (ID, ShortName) values (1, 'marker')"});
  std::ofstream(folder / kOptionsFileName) << "<DBOptions><Locking Enable=\"yes\"/></DBOptions>";
  ExpectError(3204, "--force", [&] { InitDataFolder(folder, false); });
  EXPECT_EQ(CountRows(folder, "Post"), "1\n");  // untouched
  EXPECT_THAT(test::ReadFileText(folder / kOptionsFileName), HasSubstr("\"yes\""));

  fs::create_directories(folder / "BigDocs");
  std::ofstream(folder / "BigDocs" / "7_0.mdb") << "x";
  const InitResult r = InitDataFolder(folder, true);
  EXPECT_EQ(CountRows(folder, "Post"), "0\n");  // a new database
  EXPECT_TRUE(r.optionsWritten);
  EXPECT_THAT(test::ReadFileText(folder / kOptionsFileName), HasSubstr("\"no\""));
  EXPECT_FALSE(fs::exists(folder / "BigDocs"));
}

// A folder without a database keeps its options file; a file is no folder.
TEST(DataFolder, InitKeepsAnOptionsFileOfAFolderWithoutDatabase) {
  TempFolder tmp;
  std::ofstream(tmp / "file") << "x";
  ExpectError(75, "", [&] { InitDataFolder(tmp / "file", false); });
  EXPECT_FALSE(RegisteredDataFolder());
  const fs::path folder = tmp / "data";
  fs::create_directories(folder);
  std::ofstream(folder / kOptionsFileName) << "<DBOptions><Locking Enable=\"yes\"/></DBOptions>";
  const InitResult r = InitDataFolder(folder, false);
  EXPECT_FALSE(r.optionsWritten);
  EXPECT_THAT(test::ReadFileText(folder / kOptionsFileName), HasSubstr("\"yes\""));
}

TEST(DataFolder, ResolvesCommandLineThenRegistryThenFallback) {
  TempFolder tmp;
  const qv::testsupport::ScopedEnv xdg("XDG_DATA_HOME", (tmp / "xdg").c_str());
  EXPECT_EQ(ResolveDataFolder(std::nullopt), tmp / "xdg" / "qvdb");
  qv::os::RegistryStore::ForThread().SetValue(qv::os::RegistryRoot::kLocalMachine, kGeneralKey,
                                              kDataBasePathValue,
                                              qv::os::RegistryValue::String("/srv/qv//"));
  EXPECT_EQ(RegisteredDataFolder(), "/srv/qv");
  EXPECT_EQ(ResolveDataFolder(std::nullopt), "/srv/qv");
  EXPECT_EQ(ResolveDataFolder(std::string("/x/y/../z")), "/x/z");
  EXPECT_EQ(ResolveDataFolder(std::string("rel")), fs::current_path() / "rel");
  EXPECT_EQ(ResolveDataFolder(std::string("")), "/srv/qv");  // --data "" is no --data
  qv::os::RegistryStore::ForThread().SetValue(qv::os::RegistryRoot::kLocalMachine, kGeneralKey,
                                              kDataBasePathValue,
                                              qv::os::RegistryValue::String(""));
  EXPECT_EQ(ResolveDataFolder(std::nullopt), tmp / "xdg" / "qvdb");
}

// The library (its mappers called by name included) reads the folder given
// to PointLibraryAt and follows it to another; the user's registry file
// keeps its content, other settings included.
TEST(DataFolder, PointLibraryAtLeavesTheUsersRegistryAlone) {
  test::PristineDataFolder();  // before tmp, whose registry file then stands
  TempFolder tmp;
  const fs::path user = tmp / "registry.ini";
  std::ofstream(user) << "[HKLM\\SOFTWARE\\Kestrane\\Quivane\\General]\n"
                         "DataBasePath = \"/old/\"\nBigFilesTempPath = \"/big\"\n";
  const std::string before = test::ReadFileText(user);
  const fs::path a = test::CopyOfPristine(tmp, "a"), b = test::CopyOfPristine(tmp, "b");
  for (const auto& [folder, name] : {std::pair{a, "A"}, std::pair{b, "B"}})
    Execute(UserDatabasePath(folder), {"insert into TaxOffice (ID, Code, ShortName) values "
                                       "(9999, '9999', '" +
                                       std::string(name) + "')"});
  auto office = [] {
    std::ostringstream out;
    RunCall("DBTaxOffice.ReadRecord", {"9999", "@Qv_Records.QvTaxOffice"}, Format::kJson, out);
    const std::string json = out.str();
    const size_t at = json.find("\"ShortName\":\"") + 13;
    return json.substr(at, json.find('"', at) - at);
  };
  PointLibraryAt(a);
  EXPECT_EQ(office(), "A");
  EXPECT_EQ(qv::mQvRegistryParams::GetDataBasePath(), a.string() + "/");
  EXPECT_EQ(qv::mQvRegistryParams::GetBigFilesTempPath(false), "/big/");
  EXPECT_EQ(test::ReadFileText(user), before);
  const std::string overlay = std::getenv("QV_REGISTRY");
  EXPECT_NE(overlay, user.string());
  PointLibraryAt(b);  // again: the same temporary file
  EXPECT_EQ(std::getenv("QV_REGISTRY"), overlay);
  EXPECT_EQ(office(), "B");
  qv::miDataBase::ResetSessionForThread();
}

}  // namespace
}  // namespace qvdb
