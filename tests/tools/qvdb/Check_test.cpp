#include "Check.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>

#include "ConsoleTester.h"
#include "QvdbTestSupport.h"
#include "core/schema/SchemaBuilder.h"
#include "platform/automation/Error.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/Workspace.h"
#include "platform/jet/JetCatalog.h"
#include "platform/jet/JetConnection.h"

namespace qvdb {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

// A self-test stand-in: one passing test, one failing, one without a result.
class FakeSelfTest : public qv::Object {
  QV_DECLARE_CLASS(FakeSelfTest)

 public:
  void TestClassesRegistration(qv::ObjectPtr tester) {
    tester->CallV("TryBegin", "Qv_Records.QvPerson");
    tester->CallV("TrySuccess");
    tester->CallV("TryBegin", "(ADODB.Connection) ADODB.Connection.2.6");
    tester->CallV("TryFailed", "ActiveX component can't create object");
    tester->CallV("TryBegin", "(DAO.TableDef) DAO.TableDef.36");
  }
};
QV_DEFINE_CLASS(FakeSelfTest, "QvdbTest.FakeSelfTest", QV_CREATABLE(FakeSelfTest),
                qv::Method("TestClassesRegistration", &FakeSelfTest::TestClassesRegistration))

void WithDatabase(const fs::path& file, const std::function<void(qv::jet::Connection&)>& fn) {
  auto db = qv::dao::DBEngine::ForThread()->DefaultWorkspace()->Open(file.string(), {});
  fn(db->Connection());
  db->Close();
}

// Table Post made again with ID of `idType` and ShortName of `shortNameSize`.
void RecreatePost(const fs::path& folder, qv::jet::JetType idType, int32_t shortNameSize) {
  WithDatabase(folder / "Quivane.mdb", [&](qv::jet::Connection& c) {
    c.Schema().DropTable("Post");
    qv::jet::TableSpec t;
    t.name = "Post";
    t.fields = {{"ID", idType, 0, true},
                {"ShortName", qv::jet::JetType::kText, shortNameSize},
                {"FullName", qv::jet::JetType::kText, 255}};
    t.indexes.push_back({"Id", qv::jet::IndexSpec::ParseFields("ID"), true});
    c.Schema().CreateTable(t);
  });
}

struct Damage {
  const char* name;
  std::function<void(const fs::path& folder)> apply;
  const char* expected;  // a line of the report
};

TEST(Check, ReportsWhatIsWrong) {
  const Damage cases[] = {
      {"nothing", [](const fs::path&) {}, ""},
      {"missing index",
       [](const fs::path& f) {
         WithDatabase(f / "Quivane.mdb", [](qv::jet::Connection& c) {
           c.Schema().DropIndex("doc_cell_values", "Document_ID");
         });
       },
       "index doc_cell_values.Document_ID is missing"},
      {"missing table",
       [](const fs::path& f) {
         WithDatabase(f / "Kladr.mdb",
                      [](qv::jet::Connection& c) { c.Schema().DropTable("KladrAbbrevs"); });
       },
       "table KladrAbbrevs is missing"},
      {"column of another type",
       [](const fs::path& f) { RecreatePost(f, qv::jet::JetType::kDouble, 255); },
       "column Post.ID is Double, expected Long"},
      {"text of another size",
       [](const fs::path& f) { RecreatePost(f, qv::jet::JetType::kLong, 100); },
       "column Post.ShortName is Text(100), expected Text(255)"},
      {"missing file", [](const fs::path& f) { fs::remove(f / "Okato.mdb"); },
       "the file is missing"},
      {"not a database",
       [](const fs::path& f) {
         fs::remove(f / "Okato.mdb");
         std::ofstream(f / "Okato.mdb") << std::string(8192, 'x');
       },
       "Error 3343"},
      {"a shard without its cell table",
       [](const fs::path& f) {
         fs::create_directories(f / "BigDocs");
         auto ws = qv::dao::DBEngine::ForThread()->DefaultWorkspace();
         for (int k : {0, 1}) {
           auto db = ws->Create((f / "BigDocs" / ("5_" + std::to_string(k) + ".mdb")).string(),
                                qv::jet::kLocaleRussian);
           qv::schema::CreateBigDocTables(*db, k == 0);
           if (k == 1) db->Connection().Schema().DropTable("WideCells");
           db->Close();
         }
       },
       "table WideCells is missing"},
      {"a malformed options file",
       [](const fs::path& f) {
         std::ofstream(f / "Qv_DBOptions.xml") << "<DBOptions><Locking Enable=\"yes\">";
       },
       "Qv_DBOptions.xml' cannot be read; database locking stays off.\n          "
       "   Reason: "},
      {"an options word locking does not know",
       [](const fs::path& f) {
         std::ofstream(f / "Qv_DBOptions.xml") << "<DBOptions><Locking Enable=\"ja\"/></DBOptions>";
       },
       "has Locking Enable=\"ja\""},
  };
  for (const Damage& d : cases) {
    TempFolder tmp;
    const fs::path folder = test::CopyOfPristine(tmp);
    d.apply(folder);
    std::ostringstream out;
    const CheckResult r = CheckDataFolder(folder, out);
    const std::string report = out.str();
    EXPECT_GE(r.selfTestFailed, 0) << d.name;  // the registration self-test ran
    EXPECT_NE(report.find("\nRegistration self-test:\n"), std::string::npos) << d.name;
    if (std::string(d.expected).empty()) {
      EXPECT_EQ(r.problems, 0) << report;
      EXPECT_EQ(r.files, 3) << report;
      continue;
    }
    EXPECT_GE(r.problems, 1) << d.name << "\n" << report;
    EXPECT_NE(report.find(d.expected), std::string::npos) << d.name << "\n" << report;
  }
}

TEST(Check, ShardsAreChecked) {
  TempFolder tmp;
  const fs::path folder = test::CopyOfPristine(tmp);
  fs::create_directories(folder / "BigDocs" / "sub");
  auto ws = qv::dao::DBEngine::ForThread()->DefaultWorkspace();
  for (const char* name : {"9_0.mdb", "sub/9_1.mdb"}) {
    auto db = ws->Create((folder / "BigDocs" / name).string(), qv::jet::kLocaleRussian);
    qv::schema::CreateBigDocTables(*db, std::string(name) == "9_0.mdb");
    db->Close();
  }
  std::ostringstream out;
  const CheckResult r = CheckDataFolder(folder, out);
  EXPECT_EQ(r.files, 5);
  EXPECT_EQ(r.problems, 0) << out.str();
}

TEST(Check, MissingFolder) {
  TempFolder tmp;
  std::ostringstream out;
  {
    const qv::Error e = qv::testsupport::ExpectError(qv::testsupport::kAnyError, "",
                                                     [&] { CheckDataFolder(tmp / "none", out); });

    EXPECT_EQ(e.Number(), 3044);
  }
}

TEST(Check, SelfTestPrintsALinePerTest) {
  std::ostringstream out;
  EXPECT_EQ(RunSelfTest("QvdbTest.FakeSelfTest", out), 2);
  EXPECT_EQ(out.str(),
            "  ok      Qv_Records.QvPerson\n"
            "  FAILED  (ADODB.Connection) ADODB.Connection.2.6: ActiveX component can't create "
            "object\n"
            "  FAILED  (DAO.TableDef) DAO.TableDef.36: no result reported\n"
            "  1 passed, 2 failed\n");
  std::ostringstream none;
  EXPECT_EQ(RunSelfTest("QvdbTest.NoSuchSelfTest", none), -1);
  EXPECT_EQ(none.str(),
            "  not available: QvdbTest.NoSuchSelfTest is not registered in this build\n");
}

// The library's own self-test, through the console tester: a line per test,
// the record classes of the library among them.
TEST(Check, TheLibrarysSelfTest) {
  ASSERT_TRUE(qv::ProgIdRegistry::Find(kSelfTestProgId));
  std::ostringstream out;
  const int failed = RunSelfTest(kSelfTestProgId, out);
  const std::string report = out.str();
  EXPECT_NE(report.find("  ok      Qv_Records.QvPerson\n"), std::string::npos) << report;
  EXPECT_NE(report.find("  ok      (DAO.TableDef) DAO.TableDef.36\n"), std::string::npos);
  std::istringstream lines(report);
  int failedLines = 0;
  for (std::string line; std::getline(lines, line);)
    if (line.starts_with("  FAILED  ")) ++failedLines;
  EXPECT_EQ(failedLines, failed) << report;
  EXPECT_NE(report.find(" failed\n"), std::string::npos);
}

TEST(Check, ConsoleTesterIsLateBound) {
  std::ostringstream out;
  auto tester = std::make_shared<ConsoleTester>(out);
  qv::ObjectPtr o = tester;
  o->CallV("TryBegin", "a");
  o->CallV("TryBegin", "b");  // "a" had no result
  o->CallV("TrySuccess");
  {
    const qv::Error e = qv::testsupport::ExpectError(qv::testsupport::kAnyError, "",
                                                     [&] { o->CallV("TrySuccess", "extra"); });

    EXPECT_EQ(e.Number(), 450);
  }
  EXPECT_EQ(tester->Passed(), 1);
  EXPECT_EQ(tester->Failed(), 1);
  EXPECT_EQ(out.str(), "  FAILED  a: no result reported\n  ok      b\n");
}

}  // namespace
}  // namespace qvdb
