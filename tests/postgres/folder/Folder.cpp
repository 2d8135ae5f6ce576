// A data folder on the test server against the same folder on disk: the
// schema builder makes the user database, the classifiers and their
// reference rows as schemas, a second build changes nothing, a version newer
// than the library's is refused before anything changes, and with the
// registry's DataBasePath set to the server's location the session opens
// them there.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/miDataBase.h"
#include "core/schema/Schema.h"
#include "core/schema/SchemaBuilder.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/Workspace.h"
#include "platform/jet/JetCatalog.h"
#include "platform/jet/JetEngine.h"
#include "platform/os/RegistryStore.h"
#include "support/PgTestProcess.h"
#include "support/TestSupport.h"

namespace qv {
namespace {

const char* gFunctions = nullptr;
const char* gServer = nullptr;

constexpr std::string_view kGeneralKey = "SOFTWARE\\Kestrane\\Quivane\\General";

// Every row of `table` as text, one line per row, sorted: what the two
// engines must agree on whatever order they keep.
std::vector<std::string> Rows(dao::Database& db, const std::string& table) {
  auto rs = db.OpenStatement("SELECT * FROM [" + table + "]", dao::dbOpenSnapshot);
  std::vector<std::string> rows;
  for (; !rs->IsEOF(); rs->MoveNext()) {
    std::string line;
    for (int32_t i = 0; i < rs->FieldCount(); ++i) {
      const Variant& v = rs->FieldValue(i);
      line += (i ? "|" : "") + (v.IsNull() ? std::string("Null") : CStr(v));
    }
    rows.push_back(std::move(line));
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

std::string Shape(const jet::TableSpec& t) {
  std::string out;
  for (const jet::FieldSpec& f : t.fields)
    out += f.name + ":" + std::to_string(static_cast<int>(f.type)) + "/" + std::to_string(f.size) +
           (f.required ? "R" : "") + "=" + f.defaultValue + " ";
  return out;
}

class ServerFolderTest : public ::testing::Test {
 protected:
  testsupport::TempFolder temp_{"qvpgfolder"};
  testsupport::ServerFolder server_{gServer, "qvpgf", gFunctions};
};

TEST_F(ServerFolderTest, BuiltAsOnDiskAndOpenedThroughTheRegistry) {
  const auto file = schema::BuildDataFolder(temp_.Path().string());
  const auto built = schema::BuildDataFolder(server_.Location());
  ASSERT_EQ(built.size(), file.size());
  for (size_t i = 0; i < built.size(); ++i) {
    SCOPED_TRACE(schema::DbFileName(built[i].file));
    EXPECT_TRUE(built[i].created);
    EXPECT_EQ(built[i].fromVersion, 0);
    EXPECT_EQ(built[i].toVersion, schema::CurrentSchemaVersion());
    EXPECT_EQ(built[i].rowsInserted, file[i].rowsInserted);
    EXPECT_EQ(built[i].stepsRun, file[i].stepsRun);
  }

  // Every table of every database: the same fields and the same rows.
  auto engine = dao::DBEngine::ForThread();
  auto ws = engine->CreateWorkspace("cmp", "admin", "", Variant(dao::dbUseJet));
  size_t tables = 0, rows = 0;
  for (const auto& r : file) {
    SCOPED_TRACE(schema::DbFileName(r.file));
    auto onDisk = ws->Open(r.path, {});
    auto onServer = ws->Open(schema::DatabaseLocation(server_.Location(), r.file), {});
    ASSERT_TRUE(onServer->IsServer());
    EXPECT_EQ(onServer->SchemaVersion(), onDisk->SchemaVersion());
    std::vector<std::string> names = onDisk->TableNames(), serverNames = onServer->TableNames();
    std::sort(names.begin(), names.end());
    std::sort(serverNames.begin(), serverNames.end());
    EXPECT_EQ(serverNames, names);
    for (const std::string& t : names) {
      SCOPED_TRACE(t);
      auto spec = onServer->FindTableSpec(t);
      ASSERT_TRUE(spec);
      EXPECT_EQ(Shape(*spec), Shape(*onDisk->FindTableSpec(t)));
      const auto expected = Rows(*onDisk, t);
      EXPECT_EQ(Rows(*onServer, t), expected);
      ++tables;
      rows += expected.size();
    }
  }
  EXPECT_GT(tables, 100u);
  EXPECT_GT(rows, 100u);

  // A second build finds every database at its version.
  for (const auto& r : schema::BuildDataFolder(server_.Location())) {
    EXPECT_FALSE(r.created);
    EXPECT_TRUE(r.stepsRun.empty());
    EXPECT_EQ(r.rowsInserted, 0u);
  }

  // The session through the registry: the user database and the
  // classifiers are the folder's schemas.
  testsupport::ScopedEnv registry("QV_REGISTRY", (temp_.Path() / "registry.ini").c_str());
  os::RegistryStore(temp_.Path() / "registry.ini")
      .SetValue(os::RegistryRoot::kLocalMachine, kGeneralKey, "DataBasePath",
                os::RegistryValue::String(server_.Location()));
  miDataBase::ResetSessionForThread();
  EXPECT_TRUE(miDataBase::GetUserDataBase()->IsServer());
  EXPECT_TRUE(miDataBase::IsKladrFilePresents());
  EXPECT_TRUE(miDataBase::GetOkatoDataBase()->IsReadOnly());
  auto rs = miDataBase::GetUserDataBase()->OpenStatement("SELECT BuildNumber FROM DBVersion",
                                                         dao::dbOpenSnapshot);
  EXPECT_EQ(CLng(rs->FieldValue(0)), schema::CurrentSchemaVersion());
  rs->Close();
  miDataBase::ResetSessionForThread();
}

// A database whose version is newer than the library's is refused before
// any database of the folder is changed, its location shown without the
// password.
TEST_F(ServerFolderTest, NewerVersionRefusedBeforeAnyChange) {
  schema::BuildDataFolder(server_.Location(), schema::DefaultSchema(1));
  {
    auto ws = dao::DBEngine::ForThread()->CreateWorkspace("v", "admin", "", Variant(dao::dbUseJet));
    ws->Open(schema::DatabaseLocation(server_.Location(), schema::DbFile::kOkato), {})
        ->SetSchemaVersion(schema::CurrentSchemaVersion() + 1);
  }
  const Error e = testsupport::RaisedError([&] { schema::BuildDataFolder(server_.Location()); });
  EXPECT_EQ(e.Number(), 3343);
  EXPECT_NE(std::string(e.Description()).find(server_.Schema() + "_okato"), std::string::npos)
      << e.Description();
  auto ws = dao::DBEngine::ForThread()->CreateWorkspace("w", "admin", "", Variant(dao::dbUseJet));
  EXPECT_EQ(ws->Open(schema::DatabaseLocation(server_.Location(), schema::DbFile::kUser), {})
                ->SchemaVersion(),
            1);
}

// Version 4 on a server: a Yes/No column built without its rules gets them,
// its Nulls the default first (the upgrade altered the server's column).
TEST_F(ServerFolderTest, VersionFourGivesLooseColumnsTheirRules) {
  schema::BuildDataFolder(server_.Location());
  auto ws = dao::DBEngine::ForThread()->CreateWorkspace("r", "admin", "", Variant(dao::dbUseJet));
  const std::string location = schema::DatabaseLocation(server_.Location(), schema::DbFile::kUser);
  {
    auto user = ws->Open(location, {});
    jet::FieldSpec loose = *user->FindTableSpec("Warrants")->FindField("IsActive");
    loose.required = false;
    loose.defaultValue.clear();
    user->Engine().ChangeFieldRules("Warrants", std::span(&loose, 1));
    user->ExecuteSql("insert into Warrants (ID, WorkerID) values (1, 7)");
    user->SetSchemaVersion(3);
    user->ExecuteSql("UPDATE DBVersion SET BuildNumber = 3");
  }
  EXPECT_EQ(schema::BuildDataFolder(server_.Location())[0].fromVersion, 3);
  auto user = ws->Open(location, {});
  EXPECT_TRUE(user->FindTableSpec("Warrants")->FindField("IsActive")->required);
  EXPECT_EQ(
      CLng(user->OpenStatement("SELECT count(*) FROM Warrants WHERE IsActive = 0")->FieldValue(0)),
      1);
  EXPECT_EQ(testsupport::RaisedError([&] {
              user->ExecuteSql("UPDATE Warrants SET IsActive = Null");
            }).Number(),
            3314);
}

// A session the server ends (as a restart ends every one): the statement
// that finds it gone fails with 3043; outside a transaction the next one
// connects again, a statement held from before included; inside one the
// transaction is lost, every statement fails until the caller ends it, and
// none of its rows stays.
TEST(LostSession, TheNextCallConnectsAgain) {
  testsupport::ServerFolder folder(gServer, "qvpgl", nullptr);
  const std::string app = "qvlost" + std::to_string(getpid());
  auto engine = jet::OpenEngine(folder.Location() + " application_name=" + app, {.create = true});
  engine->Execute("CREATE TABLE T (ID Long CONSTRAINT PK PRIMARY KEY, N Text(10))");
  engine->Execute("INSERT INTO T (ID, N) VALUES (1, 'a')");
  auto count = [&] {
    auto st = engine->Prepare("SELECT Count(*) FROM T");
    st->Step();
    return CLng(st->Value(0));
  };
  // Ends the engine's session and waits until the server has.
  auto endSession = [&] { ASSERT_EQ(folder.Admin().EndSessions(app), 1); };

  std::unique_ptr<jet::EngineStatement> held = engine->Prepare("SELECT N FROM T WHERE ID = 1");
  ASSERT_TRUE(held->Step());
  held->Reset();
  endSession();
  EXPECT_EQ(testsupport::RaisedError([&] { held->Step(); }).Number(), 3043);
  held->Reset();
  ASSERT_TRUE(held->Step());
  EXPECT_EQ(CStr(held->Value(0)), "a");
  held->Reset();
  EXPECT_EQ(engine->Execute("INSERT INTO T (ID, N) VALUES (2, 'b')"), 1);

  struct Case {
    const char* what;
    bool commit;  // the caller ends the transaction with CommitTrans (3043) or Rollback
  };
  for (const Case c : {Case{"rolled back", false}, Case{"committed", true}}) {
    SCOPED_TRACE(c.what);
    engine->BeginTrans();
    engine->Execute("INSERT INTO T (ID, N) VALUES (3, 'c')");
    endSession();
    EXPECT_EQ(testsupport::RaisedError([&] {
                engine->Execute("INSERT INTO T (ID) VALUES (4)");
              }).Number(),
              3043);
    EXPECT_EQ(testsupport::RaisedError([&] { count(); }).Number(), 3043);
    if (c.commit)
      EXPECT_EQ(testsupport::RaisedError([&] { engine->CommitTrans(); }).Number(), 3043);
    else
      engine->Rollback();
    EXPECT_EQ(engine->TransactionDepth(), 0);
    EXPECT_EQ(count(), 2);
  }
}

}  // namespace
}  // namespace qv

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  qv::gServer = qv::testsupport::TestServerOrSkip();
  if (!qv::gServer) return 77;
  qv::gFunctions = qv::testsupport::FunctionsScriptOrSkip(
      argc, argv, 1, "a server folder's defaults are written through them");
  if (!qv::gFunctions) return 77;
  return RUN_ALL_TESTS();
}
