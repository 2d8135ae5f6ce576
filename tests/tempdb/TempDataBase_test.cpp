// Temporary databases: two tables with indexes made, filled, queried with
// Jet SQL and dropped, the file gone afterwards; the folder they live in;
// definitions the engine refuses; names that must not collide; and a
// process that ends with a database still open.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>

#include "core/CoreTestSupport.h"
#include "platform/automation/Object.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/Database.h"
#include "platform/dao/Field.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/TableDef.h"
#include "support/DaoTables.h"
#include "support/TestSupport.h"
#include "tempdb/TempDBTable.h"
#include "tempdb/TempDataBase.h"

namespace qv::tempdb {
namespace {

using coretest::fs::path;
using qv::testsupport::ExpectError;

constexpr int32_t kLong = 4, kDouble = 7, kDate = 8, kText = 10, kMemo = 12;

class TempDbTest : public coretest::DataFolderTest {
 protected:
  void SetUp() override {
    DataFolderTest::SetUp();
    big_ = root_ / "big" / "files";  // made on first use
    SetBigFilesTempPath(big_.string());
  }
  void SetBigFilesTempPath(const std::string& folder) {
    os::RegistryStore(root_ / "registry.ini")
        .SetValue(os::RegistryRoot::kLocalMachine, coretest::kGeneralKey, "BigFilesTempPath",
                  os::RegistryValue::String(folder));
    miDataBase::ResetSessionForThread();
  }
  // The names of the files in a folder, sorted, "; " between them.
  static std::string Files(const path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : coretest::fs::directory_iterator(folder, ec))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    std::string text;
    for (const auto& n : names) text += (text.empty() ? "" : "; ") + n;
    return text;
  }
  static ObjectPtr NewDb(const std::string& prefix = "") {
    ObjectPtr db = CreateObject("Qv_DBProvider.TempDataBase");
    db->CallV("CreateMdb", prefix);
    return db;
  }
  path big_;
};

TEST_F(TempDbTest, TwoTablesAreMadeFilledQueriedAndLeaveNoFile) {
  {
    ObjectPtr temp = NewDb();
    const std::string file = CStr(temp->CallV("FileName"));
    EXPECT_EQ(path(file).parent_path(), big_);
    EXPECT_TRUE(
        std::regex_match(path(file).filename().string(), std::regex("QvzTemp-[0-9]+\\.mdb")))
        << file;

    ObjectPtr people = temp->CallV("CreateTable", "People@").AsObject();
    ObjectPtr sums = temp->CallV("CreateTable", "Sums@").AsObject();
    EXPECT_EQ(CStr(people->CallV("Name")), "People1");
    EXPECT_EQ(CStr(sums->CallV("Name")), "Sums2");

    people->CallV("AddField", "ID", kLong);
    auto name = std::dynamic_pointer_cast<dao::Field>(
        people->CallV("AddField", "Name", kText, 0).AsObject());
    name->SetUnicodeCompression(true);
    people->CallV("AddField", "Born", kDate);
    people->CallV("AddIndex", "PK", true, false, VariantArray::Of({Variant("ID")}));
    people->CallV("AddIndex", "ByName", false, true, "Name");
    people->Let("ClearUnicodeCompression", Variant(true));
    people->CallV("CommitCreateTable");

    sums->CallV("AddField", "PersonID", kLong);
    sums->CallV("AddField", "Amount", kDouble);
    auto note =
        std::dynamic_pointer_cast<dao::Field>(sums->CallV("AddField", "Note", kMemo).AsObject());
    note->SetUnicodeCompression(true);
    sums->CallV("AddIndex", "ByPerson", false, false,
                VariantArray::Of({Variant("PersonID"), Variant("Amount")}));
    sums->CallV("CommitCreateTable");

    // The rules of the fields: text size 255, required, "" allowed; a date
    // may be Null; UnicodeCompression cleared only where asked.
    EXPECT_EQ(name->Size(), 255);
    EXPECT_TRUE(name->Required() && name->AllowZeroLength());
    EXPECT_FALSE(name->UnicodeCompression());
    EXPECT_TRUE(note->UnicodeCompression());

    // Adds a row of the values given in the field order, through the table's cursor.
    const auto add = [](dao::Recordset& rs, std::vector<const char*> fields,
                        std::vector<Variant> values) {
      rs.AddNew();
      for (size_t i = 0; i < fields.size(); ++i) rs.SetField(fields[i], values[i]);
      rs.Update();
    };
    auto rs = std::dynamic_pointer_cast<dao::Recordset>(people->CallV("GetTableRS").AsObject());
    add(*rs, {"ID", "Name", "Born"}, {Variant(1), Variant("Иванов"), Variant(OleDate{30000})});
    add(*rs, {"ID", "Name", "Born"}, {Variant(2), Variant(""), Variant::Null()});
    rs->Close();
    auto amounts =
        std::dynamic_pointer_cast<dao::Recordset>(sums->CallV("GetTableRS", "ByPerson").AsObject());
    for (auto [person, amount] : {std::pair{1, 10.5}, {1, 2.0}, {2, 7.0}})
      add(*amounts, {"PersonID", "Amount", "Note"},
          {Variant(person), Variant(amount), Variant("")});
    // A required number refuses Null.
    ExpectError(3314, "", [&] { add(*amounts, {"PersonID", "Note"}, {Variant(3), Variant("x")}); });
    amounts->CancelUpdate();
    const Variant key[] = {Variant(1), Variant(2.0)};
    amounts->Seek(">", key);
    EXPECT_EQ(CDbl(amounts->FieldValue("Amount")), 10.5);  // the next row of person 1 by index
    amounts->Close();

    auto db = std::dynamic_pointer_cast<dao::Database>(temp->CallV("DaoDataBase").AsObject());
    EXPECT_EQ(testsupport::StatementRows(
                  *db,
                  "select p.Name, sum(s.Amount) as Total, count(*) as N from People1 as p inner "
                  "join Sums2 as s on s.PersonID = p.ID group by p.Name order by p.Name"),
              "|7|1;Иванов|12.5|2;");
    // Another connection cannot open the file while it is in use.
    dao::DBEngine::ForThread()->SetLockTimeoutMs(50);
    ExpectError(3045, "", [&] {
      dao::DBEngine::ForThread()->OpenDatabase(file, Variant(), Variant(), Variant());
    });

    sums->CallV("DeleteTable");
    ExpectError(3078, "", [&] { db->OpenTable("Sums2"); });
    EXPECT_EQ(Files(big_).rfind(path(file).filename().string(), 0), 0u);  // and its journal
    dao::DBEngine::ForThread()->SetLockTimeoutMs(5000);
  }
  // The last reference went: the table was dropped and the file removed.
  EXPECT_EQ(Files(big_), "");
}

TEST_F(TempDbTest, DefinitionsTheEngineRefusesLeaveNoFile) {
  const struct {
    const char* table;
    std::vector<std::pair<const char*, int32_t>> fields;
    int32_t error;
    const char* where;
  } cases[] = {
      {"T[1]", {{"A", kLong}}, 3125, "TempDBTable.CommitCreateTable"},
      {"T", {{"A", 99}}, 3259, "TempDBTable.CommitCreateTable"},
      {"T", {{"A", kLong}, {"a", kText}}, 3191, "TempDBTable.AddField"},
      {"T", {}, 3264, "TempDBTable.CommitCreateTable"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.table + std::string(" ") + std::to_string(c.error));
    ExpectError(c.error, c.where, [&] {
      ObjectPtr temp = NewDb();
      ObjectPtr t = temp->CallV("CreateTable", c.table).AsObject();
      for (const auto& [name, type] : c.fields) t->CallV("AddField", name, type);
      t->CallV("CommitCreateTable");
    });
    EXPECT_EQ(Files(big_), "");
  }
  // A prefix that is no file name creates nothing anywhere.
  for (const char* prefix : {"../x", "a/b", "tab\there"}) {
    SCOPED_TRACE(::testing::Message() << prefix);
    ExpectError(5, "", [&] { NewDb(prefix); });
    EXPECT_EQ(Files(big_), "");
  }
  // A table made by name is bound to nothing.
  ExpectError(91, "",
              [] { CreateObject("Qv_DBProvider.TempDBTable")->CallV("AddField", "A", kLong); });
  ExpectError(91, "",
              [] { CreateObject("Qv_DBProvider.TempDataBase")->CallV("CreateTable", "T"); });
}

// The system temporary folder serves when none is configured; databases
// made in one tick get names of their own; a file left by an ended process
// is replaced, one held open elsewhere is not touched.
TEST_F(TempDbTest, FoldersAndNames) {
  const path system = root_ / "system";
  coretest::fs::create_directory(system);
  const testsupport::ScopedEnv tmp("TMPDIR", (system.string() + "/").c_str());
  SetBigFilesTempPath("");
  {
    std::vector<ObjectPtr> dbs;
    for (int i = 0; i < 5; ++i) dbs.push_back(NewDb("Scratch"));
    std::set<std::string> names;
    for (const auto& db : dbs) {
      const path f = CStr(db->CallV("FileName"));
      EXPECT_EQ(f.parent_path(), system);
      names.insert(f.filename().string());
    }
    EXPECT_EQ(names.size(), 5u);
    dbs[0]->CallV("CloseDB");
    dbs[0]->CallV("CloseDB");
    EXPECT_EQ(CStr(dbs[0]->CallV("FileName")), "");
    EXPECT_TRUE(dbs[0]->CallV("DaoDataBase").IsNothing());
  }
  EXPECT_EQ(Files(system), "");
}

// A process that ends normally with a database it never closed (a leaked
// reference) leaves no file.
TEST_F(TempDbTest, AProcessThatEndsLeavesNoFile) {
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    // Never released, but held by statics: still reachable, so the leak
    // checker of the sanitizer build does not fail the child at its exit.
    static auto* leaked = new ObjectPtr(NewDb("Leaked"));
    auto table = (*leaked)->CallV("CreateTable", "T").AsObject();
    table->CallV("AddField", "A", kLong);
    table->CallV("CommitCreateTable");
    static auto* leakedTable = new ObjectPtr(table);
    (void)leakedTable;
    std::exit(Files(big_).find("Leaked-") == 0 ? 0 : 3);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);  // the child saw its file
  EXPECT_EQ(Files(big_), "");
}

}  // namespace
}  // namespace qv::tempdb
