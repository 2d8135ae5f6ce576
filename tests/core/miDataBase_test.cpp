// The thread's database session: databases held and reopened, the
// classifier probes, the options file, and DBCommon and ServerStuff as a
// caller reaches them by ProgID.

#include <gtest/gtest.h>

#include <thread>

#include "CoreTestSupport.h"
#include "core/DBCommon.h"
#include "core/ServerStuff.h"
#include "core/miDataBase.h"
#include "platform/ado/Connection.h"
#include "platform/dao/DaoCollections.h"

namespace qv {
namespace {

using coretest::ExpectError;

class Session : public coretest::DataFolderTest {};

TEST_F(Session, DatabasesAreHeldUntilClosedThenReopened) {
  auto first = miDataBase::GetUserDataBase();
  EXPECT_EQ(miDataBase::GetUserDataBase(), first);
  EXPECT_EQ(first->Name(), Folder() + "Quivane.mdb");
  auto ws = miDataBase::GetWorkspace();
  EXPECT_EQ(ws->Name(), "qvz");
  EXPECT_EQ(ws->UserName(), "admin");
  EXPECT_EQ(miDataBase::GetDBEngine()->WorkspacesCollection()->Find("qvz"), ws);
  auto kladr = miDataBase::GetKladrDataBase();
  EXPECT_TRUE(kladr->IsReadOnly());
  EXPECT_EQ(miDataBase::GetKladrDataBase(), kladr);

  miDataBase::CloseDatabase();
  EXPECT_FALSE(first->IsOpen());
  EXPECT_FALSE(kladr->IsOpen());
  auto second = miDataBase::GetUserDataBase();
  EXPECT_NE(second, first);
  EXPECT_TRUE(second->IsOpen());
  EXPECT_EQ(miDataBase::GetWorkspace(), ws);  // the workspace stays

  // Another thread has a session of its own.
  std::shared_ptr<dao::Database> other;
  std::thread([&] {
    other = miDataBase::GetUserDataBase();
    miDataBase::ResetSessionForThread();
  }).join();
  EXPECT_NE(other, second);
}

TEST_F(Session, AMissingUserDatabaseFailsEachTimeAndNamesTheChain) {
  std::filesystem::remove(folder_ / "Quivane.mdb");
  DBCommon common;
  Error e = ExpectError(3024, "", [&] { common.GetFormatDBVerion(); });
  EXPECT_EQ(e.Description(),
            "[Qv_DBProvider::DBCommon.GetFormatDBVerion]\r\n"
            "[Qv_DBProvider::miDataBase.GetUserDataBase]\r\n"
            "[Qv_DBProvider::miDataBase.OpenUserDataBase]\r\n"
            "[DAO.Workspace]\r\n"
            "Could not find file '" +
                Folder() + "Quivane.mdb'.");
  EXPECT_EQ(e.Source(), "");
  // Nothing was held: once the file is back the next call opens it.
  std::filesystem::copy(coretest::TemplateFolder() / "Quivane.mdb", folder_ / "Quivane.mdb");
  EXPECT_EQ(common.GetFormatDBVerion(), "4.0");
}

TEST_F(Session, ClassifierPresenceIsProbedOncePerThread) {
  std::filesystem::remove(folder_ / "Kladr.mdb");
  ServerStuff stuff;
  EXPECT_FALSE(stuff.IsKladrDataBasePresent());
  EXPECT_TRUE(stuff.IsOkatoDataBasePresent());
  std::filesystem::copy(coretest::TemplateFolder() / "Kladr.mdb", folder_ / "Kladr.mdb");
  EXPECT_FALSE(stuff.IsKladrDataBasePresent());  // the first answer stands
  std::filesystem::remove(folder_ / "Okato.mdb");
  EXPECT_TRUE(stuff.IsOkatoDataBasePresent());
  // The database itself opens whatever the probe said; a missing file fails.
  EXPECT_TRUE(stuff.GetKladrDataBase()->IsOpen());
  Error e = ExpectError(3024, "", [&] { stuff.GetOkatoDataBase(); });
  bool fresh = true;
  std::thread([&] {
    fresh = miDataBase::IsKladrFilePresents();
    miDataBase::ResetSessionForThread();
  }).join();
  EXPECT_TRUE(fresh);
}

// A file that says nothing usable leaves locking off without raising, and
// is shown to the user once, with what is wrong and where.
TEST_F(Session, OptionsFileWordsSwitchLocking) {
  const struct {
    std::optional<std::string> file;  // nullopt: no file
    bool enabled;
    const char* shown = "";  // the start of the reason shown, "" for nothing
  } cases[] = {
      {std::nullopt, false},
      {"<DBOptions><Locking Enable=\"yes\"/></DBOptions>", true},
      {"<DBOptions><Locking Enable=\" YES \"/></DBOptions>", true},
      {"<DBOptions><Locking Enable=\"True\"/></DBOptions>", true},
      {"<DBOptions><Locking Enable=\"1\"/></DBOptions>", true},
      {"<DBOptions><Locking Enable=\"no\"/></DBOptions>", false},
      {"<DBOptions><Locking Enable=\"0\"/></DBOptions>", false},
      {"<DBOptions><Locking Enable=\"on\"/></DBOptions>", false, "has Locking Enable=\"on\""},
      {"<DBOptions><Locking Enable=\"-1\"/></DBOptions>", false, "has Locking Enable=\"-1\""},
      {"<DBOptions><Locking/></DBOptions>", false},
      {"<DBOptions><Other Enable=\"yes\"/></DBOptions>", false},
      {"<Options><Locking Enable=\"yes\"/></Options>", false},
      {"<DBOptions><Locking Enable=\"yes\"></DBOptions>", false,
       "cannot be read; database locking stays off.\r\n   Reason: Start-end tags mismatch"},
      {"", false, "cannot be read; database locking stays off.\r\n   Reason: No document element"},
  };
  const std::string path = Folder() + "Qv_DBOptions.xml";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file.value_or("(no file)"));
    std::filesystem::remove(folder_ / "Qv_DBOptions.xml");
    if (c.file) WriteFile("Qv_DBOptions.xml", *c.file);
    miDataBase::ResetSessionForThread();
    shown_.clear();
    EXPECT_EQ(miDataBase::IsDBLockingEnabled(), c.enabled);
    EXPECT_EQ(DBCommon().IsDataBaseLockingEnabled(), c.enabled);
    EXPECT_EQ(miDataBase::ReadDBOptionsFile(path).lockingEnabled, c.enabled);
    if (*c.shown == 0) {
      EXPECT_TRUE(shown_.empty()) << shown_.front().text;
      EXPECT_EQ(miDataBase::ReadDBOptionsFile(path).problem, "");
      continue;
    }
    ASSERT_EQ(shown_.size(), 1u);  // once per thread, though asked twice
    EXPECT_EQ(shown_[0].text, "[Qv_DBProvider::miDataBase.EnsureDBOptionsLoaded]\r\n" +
                                  miDataBase::ReadDBOptionsFile(path).problem);
    EXPECT_TRUE(miDataBase::ReadDBOptionsFile(path).problem.starts_with("The options file '" +
                                                                        path + "' " + c.shown))
        << miDataBase::ReadDBOptionsFile(path).problem;
  }
  // Read once per thread: a change is seen by the next session only.
  WriteFile("Qv_DBOptions.xml", "<DBOptions><Locking Enable=\"yes\"/></DBOptions>");
  EXPECT_FALSE(miDataBase::IsDBLockingEnabled());
}

// A server location as the data folder: each database of the folder is a
// schema named after the folder's, the locking always on; nothing here
// connects.
TEST_F(Session, ServerFolderNamesSchemas) {
  SetDataBasePath("postgresql://qv:pw@db/office?options=-csearch_path%3Dacme");
  EXPECT_TRUE(miDataBase::IsServerDataFolder());
  const struct {
    const char* name;
    const char* searchPath;  // "" for 3044
  } cases[] = {
      {"Quivane.mdb", "acme,jet"},
      {"Kladr.mdb", "acme_kladr,jet"},
      {"Okato.MDB", "acme_okato,jet"},
      {"12/1200_3.mdb", "acme_12_1200_3,jet"},
      {"Архив.mdb", "acme___________,jet"},
      {"notes", "acme_notes,jet"},
      {"a-very-long-name-of-a-shard-that-does-not-fit-into-63-bytes.mdb", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (*c.searchPath == 0) {
      ExpectError(3044, "longer than the server", [&] { miDataBase::DataFolderLocation(c.name); });
      continue;
    }
    const std::string location = miDataBase::DataFolderLocation(c.name);
    EXPECT_NE(location.find("options='-c search_path=" + std::string(c.searchPath) + "'"),
              std::string::npos)
        << location;
    EXPECT_NE(location.find("dbname='office'"), std::string::npos) << location;
  }
  EXPECT_EQ(miDataBase::GetKladrDBFileName(), miDataBase::DataFolderLocation("Kladr.mdb"));
  EXPECT_TRUE(miDataBase::IsDBLockingEnabled());
  EXPECT_TRUE(shown_.empty());

  SetDataBasePath(folder_.string());
  EXPECT_FALSE(miDataBase::IsServerDataFolder());
  EXPECT_EQ(miDataBase::DataFolderLocation("Kladr.mdb"), Folder() + "Kladr.mdb");
}

TEST_F(Session, PublicClassesByProgId) {
  ObjectPtr common = CreateObject("Qv_DBProvider.DBCommon");
  EXPECT_EQ(common->CallV("GetDBVerion"), Variant("1.0.4"));
  EXPECT_EQ(common->CallV("GetDaoVersion"), Variant("3.6"));
  EXPECT_EQ(common->CallV("GetFormatDBVerion"), Variant("4.0"));
  // A file folder's locking is off without its options file; a server
  // folder's is always on.
  EXPECT_EQ(common->CallV("IsDataBaseLockingEnabled"), Variant(OnServer()));
  EXPECT_TRUE(common->CallV("GetUserDBLockManager").IsObject());

  auto a = common->CallV("GetDBConnection").ObjectAs<ado::Connection>();
  auto b = common->CallV("GetDBConnection").ObjectAs<ado::Connection>();
  ASSERT_TRUE(a && b);
  EXPECT_NE(a, b);
  EXPECT_EQ(a->State(), ado::adStateOpen);
  EXPECT_EQ(a->ConnectionString(), "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" +
                                       (OnServer() ? miDataBase::DataFolderLocation("Quivane.mdb")
                                                   : Folder() + "Quivane.mdb"));
  // The connection and the session see each other's committed rows.
  a->Run("insert into Counters (CounterType, TheYear, CounterValue) values (7, 0, 41)");
  EXPECT_EQ(common->CallV("GetCurrCounter", 7), Variant(int32_t{41}));
  a->Close();
  EXPECT_EQ(b->State(), ado::adStateOpen);

  common->CallV("FlushObstacleData");
  common->CallV("CloseDatabase");
  EXPECT_EQ(common->CallV("GetCurrCounter", 7, 0), Variant(int32_t{41}));

  ObjectPtr stuff = CreateObject("Qv_DBProvider.ServerStuff");
  auto db = stuff->CallV("GetUserDataBase").ObjectAs<dao::Database>();
  EXPECT_EQ(db, miDataBase::GetUserDataBase());
  EXPECT_EQ(stuff->CallV("IsOkatoDataBasePresent"), Variant(true));
  EXPECT_TRUE(stuff->CallV("GetOkatoDataBase").ObjectAs<dao::Database>()->IsReadOnly());

  SetDataBasePath((root_ / "nowhere").string());
  Error e = ExpectError(3044, "", [&] { common->CallV("GetDBConnection"); });
  EXPECT_EQ(e.Description().substr(0, e.Description().find("\r\n")),
            "[Qv_DBProvider::DBCommon.GetDBConnection]");
}

}  // namespace
}  // namespace qv
