#include "Check.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>

#include "DataFolder.h"
#include "QvdbTestSupport.h"
#include "core/schema/SchemaBuilder.h"
#include "doctables/DBBigDocTable.h"
#include "doctables/DBBigDocs.h"
#include "doctables/miBigDocument.h"
#include "platform/automation/Error.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/Workspace.h"
#include "platform/jet/JetCatalog.h"
#include "platform/jet/JetConnection.h"

namespace qvdb {
namespace {

// A self-test stand-in: one passing test, one failing, one of a class no
// library here registers, one without a result.
class FakeSelfTest : public qv::Object {
  QV_DECLARE_CLASS(FakeSelfTest)

 public:
  void TestClassesRegistration(qv::ObjectPtr tester) {
    tester->CallV("TryBegin", "Qv_Records.QvPerson");
    tester->CallV("TrySuccess");
    tester->CallV("TryBegin", "(ADODB.Connection) ADODB.Connection.2.6");
    tester->CallV("TryFailed", "ActiveX component can't create object");
    tester->CallV("TryBegin", "Qv_Storages.ArrayOfDouble");
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
    c.Schema().CreateTable({"Post",
                            {{"ID", idType, 0, true},
                             {"ShortName", qv::jet::JetType::kText, shortNameSize},
                             {"FullName", qv::jet::JetType::kText, 255}},
                            {{"Id", qv::jet::IndexSpec::ParseFields("ID"), true}}});
  });
}

// Runs `sql` on a user database holding three documents: 1 and its
// adjustment 2 (linked both ways), 3 alone; two cells each.
std::function<void(const fs::path&)> OnDocs(std::string_view sql) {
  return [sql](const fs::path& folder) {
    WithDatabase(folder / "Quivane.mdb", [&](qv::jet::Connection& c) {
      for (std::string_view row : {"1, 1, 0, 2, 0", "2, 1, 1, 0, 1", "3, 2, 0, 0, 0"})
        c.Execute(
            "insert into doc_registry (document_id, taxpayer_id, bottom_next_id, top_doc_id, "
            "doc_type) values (" +
            std::string(row) + ")");
      for (int d = 1; d <= 3; ++d)
        for (const char* cell : {"'A'", "'B'"})
          c.Execute("insert into doc_cell_values (document_id, cell_key) values (" +
                    std::to_string(d) + ", " + cell + ")");
      c.Execute(sql);
    });
  };
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
      {"a Top_Doc_ID naming no document",
       OnDocs("update doc_registry set top_doc_id = 99999 where document_id = 2"),
       "1 documents whose Top_Doc_ID names no document (the first: document 2)"},
      {"a newer version not naming its older one",
       OnDocs("update doc_registry set bottom_next_id = 0 where document_id = 2"),
       "1 documents whose newer version (Top_Doc_ID) does not name them as its Bottom_Next_ID "
       "(the first: document 1)"},
      {"an older version not naming its newer one",
       OnDocs("update doc_registry set top_doc_id = 0 where document_id = 1"),
       "1 documents whose older version (Bottom_Next_ID) does not name them as its Top_Doc_ID "
       "(the first: document 2)"},
      {"a newer version of another instance",
       OnDocs("update doc_registry set instance_number = 5 where document_id = 2"),
       "1 documents whose newer version (Top_Doc_ID) is no later adjustment of their instance "
       "(the first: document 1)"},
      {"two current versions", OnDocs("update doc_registry set top_doc_id = 0"),
       "1 instances (stream, period, doc type, instance) with more than one current version"},
      {"a cell key twice",
       OnDocs("update doc_cell_values set cell_key = 'A' where document_id = 3"),
       "1 cell keys stored twice in one document (a read shows one of the values) (the first: "
       "document 3)"},
      {"cells of a missing document", OnDocs("delete from doc_registry where document_id = 3"),
       "2 cells of missing documents (the first: document 3)"},
      {"a malformed options file",
       [](const fs::path& f) {
         std::ofstream(f / "Qv_DBOptions.xml") << "<DBOptions><Locking Enable=\"yes\">";
       },
       "Qv_DBOptions.xml' cannot be read; database locking stays off.\n          "
       "   Reason: "},
  };
  for (const Damage& d : cases) {
    TempFolder tmp;
    const fs::path folder = test::CopyOfPristine(tmp);
    d.apply(folder);
    std::ostringstream out;
    const CheckResult r = CheckDataFolder(folder, out);
    const std::string report = out.str();
    EXPECT_GE(r.selfTestFailed, 0) << d.name;  // the registration self-test ran
    EXPECT_THAT(report, HasSubstr("\nRegistration self-test:\n")) << d.name;
    if (std::string(d.expected).empty()) {
      EXPECT_EQ(r.problems, 0) << report;
      EXPECT_EQ(r.files, 3) << report;
      continue;
    }
    EXPECT_GE(r.problems, 1) << d.name << "\n" << report;
    EXPECT_THAT(report, HasSubstr(d.expected)) << d.name;
  }
}

TEST(Check, ShardsAreChecked) {
  TempFolder tmp;
  const fs::path folder = test::CopyOfPristine(tmp);
  PointLibraryAt(folder);
  // Document 9 with shards 0 and 1 (ten sub-documents to a shard).
  qv::miBigDocument::CreateBigDocDataBase(9, 10);
  qv::doctables::DBBigDocs().GetBigDocTable(9)->SetString(15, 1, qv::Variant("x"), 0, 0);
  // Each document an instance of its own, so that the chain check has
  // nothing to say.
  auto addDoc = [&](int id) {
    Execute(
        folder / "Quivane.mdb",
        {"insert into doc_registry (document_id, template_id, time_id, taxpayer_id, "
         "instance_number, doc_type, top_doc_id, bottom_next_id, Status_Qv, Currency_ID, "
         "EditorType) values (" +
         std::to_string(id) + ", 11, 2513, 1, " + std::to_string(id) + ", 0, 0, 0, 1, 157, 6)"});
  };
  addDoc(9);
  std::ostringstream out;
  CheckResult r = CheckDataFolder(folder, out);
  EXPECT_EQ(r.files, 5);
  EXPECT_EQ(r.problems, 0) << out.str();

  const fs::path shard0 = folder / "BigDocs/09/00/9_0.mdb";
  const Damage damages[] = {
      {"a shard in another document's folder",
       [&](const fs::path& f) {
         fs::create_directories(f / "BigDocs/07/00");
         fs::copy_file(shard0, f / "BigDocs/07/00/7_0.mdb");
       },
       "StorageInfo names version 1, document 9, shard 0"},
      {"a shard outside its folder",
       [&](const fs::path& f) {
         fs::create_directories(f / "BigDocs/sub");
         fs::copy_file(f / "BigDocs/09/00/9_1.mdb", f / "BigDocs/sub/9_1.mdb");
       },
       "the file does not lie in the folder of document 9"},
      {"a big document without its shard 0", [&](const fs::path&) { addDoc(8); },
       "document 8 of editor type 6 has no BigDocs/08/00/8_0.mdb"},
  };
  for (const Damage& d : damages) d.apply(folder);
  out.str("");
  r = CheckDataFolder(folder, out);
  // The copy in document 7's folder is also a shard of no document.
  EXPECT_EQ(r.problems, 4) << out.str();
  EXPECT_THAT(out.str(), HasSubstr("Shard files of no document:\n  FAILED  " +
                                   (folder / "BigDocs/07/00/7_0.mdb").string()));
  for (const Damage& d : damages) EXPECT_THAT(out.str(), HasSubstr(d.expected)) << d.name;
}

TEST(Check, SkippedLogWritesAreReported) {
  TempFolder tmp;
  const fs::path folder = test::CopyOfPristine(tmp);
  std::ostringstream clean;
  EXPECT_EQ(CheckDataFolder(folder, clean).skippedLogWrites, 0);
  Execute(folder / "Quivane.mdb",
          {"insert into Counters (CounterType, TheYear, CounterValue) values (-8001, 0, 3)"});
  std::ostringstream out;
  EXPECT_EQ(CheckDataFolder(folder, out).skippedLogWrites, 3);
  EXPECT_THAT(out.str(), HasSubstr("\nEvent log:\n  3 log writes skipped"));
}

TEST(Check, SelfTestPrintsALinePerTest) {
  std::ostringstream out;
  EXPECT_EQ(RunSelfTest("QvdbTest.FakeSelfTest", out), 2);
  EXPECT_EQ(out.str(),
            "  ok      Qv_Records.QvPerson\n"
            "  FAILED  (ADODB.Connection) ADODB.Connection.2.6: ActiveX component can't create "
            "object\n"
            "  absent  Qv_Storages.ArrayOfDouble: no library of this build registers it\n"
            "  FAILED  (DAO.TableDef) DAO.TableDef.36: no result reported\n"
            "  1 passed, 2 failed, 1 absent\n");
  std::ostringstream none;
  EXPECT_EQ(RunSelfTest("QvdbTest.NoSuchSelfTest", none), -1);
  EXPECT_EQ(none.str(),
            "  not available: QvdbTest.NoSuchSelfTest is not registered in this build\n");
}

}  // namespace
}  // namespace qvdb
