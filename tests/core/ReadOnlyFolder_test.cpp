// Data folders the library may only read, and files it opens only to read:
// reading works and leaves nothing behind; writing fails with 3027.

#include <grp.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

#include "CoreTestSupport.h"
#include "core/DBLockKeeper.h"
#include "core/mQvDaoDataBase.h"
#include "core/miDataBase.h"
#include "core/miLocks.h"
#include "platform/automation/Object.h"
#include "platform/jet/JetConnection.h"
#include "support/TestSupport.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
constexpr fs::perms kAllWrite =
    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;

class ReadOnlyFolder : public coretest::DataFolderTest {
 protected:
  std::set<std::string> Files() const {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder_)) names.insert(e.path().filename());
    return names;
  }
  // Takes write permission away from the folder and its files (and lets
  // anyone pass through the test's own folder to reach them).
  void MakeReadOnly() {
    fs::permissions(root_, fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);
    for (const auto& e : fs::directory_iterator(folder_))
      fs::permissions(e.path(), kAllWrite, fs::perm_options::remove);
    fs::permissions(folder_, kAllWrite, fs::perm_options::remove);
  }
  void TearDown() override {
    fs::permissions(folder_, fs::perms::owner_write, fs::perm_options::add);
    DataFolderTest::TearDown();
  }
};

// In a child process: without root's rights when the test runs as root,
// who may write whatever the permissions say. Empty when that fails.
std::string AsUnprivileged(const std::function<std::string()>& body) {
  return coretest::Child([&]() -> std::string {
           if (::geteuid() == 0) {
             constexpr gid_t kNobody = 65534;
             if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
               return "";
           }
           return body();
         })
      .Join();
}

struct Call {
  const char* progId;
  const char* method;
  std::vector<Variant> args;
};

std::string CallByName(const Call& c) {
  std::vector<Variant> args = c.args;
  Variant result;
  const Error e = testsupport::RaisedError([&] {
    result = CreateObject(std::string("Qv_DBProvider.") + c.progId)->Call(c.method, args);
  });
  if (e.Number() == 0) return coretest::RenderResult(result);
  return "error " + std::to_string(e.Number()) + ": " +
         e.Description().substr(e.Description().rfind('\n') + 1);
}

TEST_F(ReadOnlyFolder, EveryReadWorksAndEveryWriteFailsWith3027) {
  using mQvDaoDataBase::QvExecuteSql;
  QvExecuteSql("insert into Country (ID, ShortName, OrderNum) values (643, 'Россия', 1)");
  QvExecuteSql("insert into Person (ID, Type, PersonRealID) values (1, 2, 1)");
  QvExecuteSql("insert into LegalPerson (ID, ShortName, INN) values (1, 'Альфа', '7701')");
  QvExecuteSql("insert into AccPerson (PersonID) values (1)");
  QvExecuteSql("insert into Person (ID, Type, PersonRealID) values (2, 2, 1)");
  WriteFile("Qv_DBOptions.xml", "<DBOptions><Locking Enable=\"yes\"/></DBOptions>");
  const std::vector<Call> reads = {
      {"DictQueries", "GetCountry", {Variant(""), Variant(0)}},
      {"DictQueries", "GetNsiOKATO", {Variant(""), Variant("")}},  // the classifier file
      {"PersonQueries", "GetAccPersons", {Variant("name"), Variant(0)}},
      {"DBCommon", "GetDBVerion", {}},
      {"DBCommon", "IsDataBaseLockingEnabled", {}},
      {"DBCommon", "FlushObstacleData", {}},
  };
  const std::vector<Call> writes = {
      {"DBCommon", "GetNextCounter", {Variant(1)}},
      {"PersonQueries", "AddAccPerson", {Variant(2.0)}},
      {"PersonQueries", "RemoveAccPerson", {Variant(1.0)}},
  };
  std::string expected;
  for (const Call& c : reads) expected += CallByName(c) + "\n";
  for (size_t i = 0; i < writes.size(); ++i) expected += "error 3027\n";
  expected += "error 3027 under the lock\n";
  miDataBase::ResetSessionForThread();  // nothing open across the fork
  const std::set<std::string> before = Files();
  MakeReadOnly();

  const std::string got = AsUnprivileged([&] {
    std::string text;
    for (const Call& c : reads) text += CallByName(c) + "\n";
    for (const Call& c : writes) text += CallByName(c).substr(0, 10) + "\n";
    // A multi-step write under the database lock: no lock file is needed.
    const int32_t number = testsupport::RaisedError([] {
                             auto keeper = miLocks::LockUserDataBase(lockaction::kDefault);
                             QvExecuteSql("delete from AccPerson");
                           }).Number();
    text += "error " + std::to_string(number) + " under the lock\n";
    miDataBase::ResetSessionForThread();
    return text;
  });
  if (got.empty()) GTEST_SKIP() << "cannot run without root's rights here";
  EXPECT_EQ(got, expected);
  EXPECT_EQ(Files(), before);
}

// The classifier files are opened read-only; reading them leaves no
// journal or log beside them, and the user database is read and written as
// before.
TEST_F(ReadOnlyFolder, ClassifierReadsLeaveNothingBehind) {
  const std::set<std::string> before = Files();
  for (int round = 0; round < 2; ++round) {
    miDataBase::GetKladrDataBase()->OpenStatement("select count(*) from KladrObjects", 4);
    miDataBase::GetOkatoDataBase()->OpenStatement("select count(*) from NSI_OKATO", 4);
    mQvDaoDataBase::QvExecuteSql("insert into AccPerson (PersonID) values (" +
                                 std::to_string(round + 1) + ")");
    miDataBase::CloseDatabase();
    EXPECT_EQ(Files(), before) << round;
  }
  // A folder built before, with classifier files in write-ahead mode, is
  // switched by the next build.
  for (const char* name : {"Kladr.mdb", "Okato.mdb"})
    jet::Connection::Open((folder_ / name).string())->ExecuteNative("PRAGMA journal_mode = WAL");
  schema::BuildDataFolder(folder_.string());
  for (const char* name : {"Kladr.mdb", "Okato.mdb"}) {
    auto conn = jet::Connection::Open((folder_ / name).string());
    jet::Statement mode = conn->PrepareNative("PRAGMA journal_mode");
    ASSERT_TRUE(mode.Step());
    EXPECT_EQ(CStr(mode.Value(0)), "delete") << name;
  }
}

}  // namespace
}  // namespace qv
