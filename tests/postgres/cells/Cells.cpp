// Cells on both kinds of data folder: a folder on disk and a folder on the
// PostgreSQL server QV_TEST_PG names (a schema of its own, the Jet
// functions in a second schema of its search path; a big document's shards
// are schemas beside it). Each scenario runs on both through the library's
// public calls and renders what it read as one text, which must be the
// expected one on both: the saves of a document's cells a server batches,
// and their round trips, and a big document's removal (refused while
// another connection uses a shard). (A sub-document's cell values and the
// walk of a volume are the pfr and doctables suites' cases, on a server
// folder too.) Without QV_TEST_PG the program says so and exits 77
// (skipped).

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/CoreTestSupport.h"
#include "core/mQvDaoDataBase.h"
#include "core/miDataBase.h"
#include "core/schema/SchemaBuilder.h"
#include "doctables/DBBigDocTable.h"
#include "doctables/DBBigDocs.h"
#include "doctables/miBigDocument.h"
#include "platform/ado/AdoConstants.h"
#include "platform/ado/Recordset.h"
#include "platform/automation/Collection.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/Workspace.h"
#include "platform/jet/PgConnection.h"
#include "platform/jet/ServerLocation.h"
#include "siblings/records/QvRecord.h"
#include "support/PgTestProcess.h"
#include "support/TestSupport.h"

namespace qv::pgtest {
namespace {

namespace fs = std::filesystem;
using testsupport::PgAdmin;
using testsupport::RaisedError;

std::string gConninfo;             // QV_TEST_PG
const char* gFunctions = nullptr;  // the Jet functions' script, when built

// The schema the Jet functions are in, once per process, second in every
// server folder's search path.
const std::string& FunctionsSchema() {
  static testsupport::TestSchema schema(gConninfo, "qvcellsfn", gFunctions);
  static const std::string name = "qvcellsfn" + std::to_string(getpid());
  return name;
}

std::string ErrorText(const Error& e) {
  return "error " + std::to_string(e.Number());
}

class Cells : public coretest::DataFolderTest {
 protected:
  void SetUp() override {
    DataFolderTest::SetUp();
    const std::string& functions = FunctionsSchema();
    admin_.Value("DROP SCHEMA IF EXISTS " + folderSchema_ + " CASCADE");
    admin_.Value("CREATE SCHEMA " + folderSchema_);
    serverFolder_ = gConninfo + " options='-c search_path=" + folderSchema_ + "," + functions + "'";
  }
  void TearDown() override {
    miDataBase::ResetSessionForThread();
    // The folder's schema and those named after it (a big document's shards).
    const std::string names = admin_.Value(
        "SELECT string_agg(quote_ident(nspname), ', ') FROM pg_namespace WHERE nspname = '" +
        folderSchema_ + "' OR left(nspname, " + std::to_string(folderSchema_.size() + 1) + ") = '" +
        folderSchema_ + "_'");
    if (!names.empty()) admin_.Value("DROP SCHEMA " + names + " CASCADE");
    DataFolderTest::TearDown();
  }

  // Runs `scenario` on the folder on disk, then on the server's: the two
  // outcomes, "file" and "server" named in a failure.
  void ExpectOnBoth(const std::string& expected, const std::function<std::string(bool)>& scenario,
                    bool userDatabase = false) {
    SetDataBasePath(Folder());
    EXPECT_EQ(scenario(false), expected) << "on the folder on disk";
    SetDataBasePath(serverFolder_);
    if (userDatabase) schema::BuildDataFolder(serverFolder_);
    EXPECT_EQ(scenario(true), expected) << "on the server folder";
    miDataBase::ResetSessionForThread();
  }

  // The shards of `doc` that exist (0 .. 5), "0,1" ...
  std::string Shards(double doc, bool server) {
    std::string text;
    for (int32_t k = 0; k <= 5; ++k) {
      const std::string where = miBigDocument::GetBigDocFileName(doc, k);
      std::error_code ec;
      const bool present =
          server ? admin_.Value("SELECT count(*) FROM pg_namespace WHERE nspname = '" +
                                jet::ServerFolderSchema(where) + "'") == "1"
                 : fs::exists(where, ec);
      if (present) text += (text.empty() ? "" : ",") + std::to_string(k);
    }
    return text;
  }

  PgAdmin admin_{gConninfo};
  const std::string folderSchema_ = "qvcells" + std::to_string(getpid());
  std::string serverFolder_;
};

// ---- a document's cells

struct Cell {
  std::string key;
  Variant value;
  int32_t type;
};

// The recordset the application hands to SaveCells.
Variant CellsRs(const std::vector<Cell>& cells) {
  auto rs = std::make_shared<ado::Recordset>();
  rs->AppendField("cell_key", ado::adVarWChar, 300, ado::adFldIsNullable);
  rs->AppendField("first_value", ado::adVarWChar, 300, ado::adFldIsNullable);
  rs->AppendField("first_type", ado::adInteger, 4, ado::adFldIsNullable);
  rs->Open();
  for (const Cell& c : cells) rs->AppendRow({Variant(c.key), c.value, Variant(c.type)});
  return Variant(ObjectPtr(rs));
}

// "key=value/type" of the document's cells as ReadCells gives them, in key
// order (a server returns rows in no set order), "; " between them; more
// than 8 cells as their count and the first and last.
std::string ReadCells(double doc) {
  ObjectPtr mapper = CreateObject("Qv_DBProvider.DBDocument");
  auto cells = mapper->CallV("ReadCells", doc).ObjectAs<Collection>();
  std::vector<std::string> items;
  for (int32_t i = 1; i <= cells->Count(); ++i) {
    auto c = std::dynamic_pointer_cast<records::QvRecord>(cells->Item(Variant(i)).AsObject());
    items.push_back(CStr(c->Get("Cell_Key")) + "=" + CStr(c->Get("First_Value")) + "/" +
                    CStr(c->Get("First_Type")));
  }
  std::sort(items.begin(), items.end());
  if (items.size() > 8)
    return std::to_string(items.size()) + " cells: " + items.front() + " .. " + items.back();
  std::string text;
  for (const std::string& s : items) text += (text.empty() ? "" : "; ") + s;
  return text;
}

void SaveCells(double doc, const std::vector<Cell>& cells) {
  CreateObject("Qv_DBProvider.DBDocument")->CallV("SaveCells", doc, CellsRs(cells));
}

void AddDocument(double id) {
  mQvDaoDataBase::QvExecuteSql(
      "insert into doc_registry (document_id, template_id, time_id, taxpayer_id, "
      "instance_number, doc_type, top_doc_id, bottom_next_id, Status_Qv, Currency_ID) values (" +
          mQvDaoDataBase::Number2DaoSql(id) + ", 101, 2513, 5, 0, 0, 0, 0, 1, 157)",
      miDataBase::GetUserDataBase());
}

void ClearDocuments() {
  mQvDaoDataBase::QvExecuteSql("delete from doc_cell_values", miDataBase::GetUserDataBase());
  mQvDaoDataBase::QvExecuteSql("delete from doc_registry", miDataBase::GetUserDataBase());
}

TEST_F(Cells, DocumentCells) {
  std::vector<Cell> many, manyAgain;
  for (int i = 0; i < 600; ++i) {
    char key[16];
    std::snprintf(key, sizeof key, "%06d00001", i);
    many.push_back({key, Variant("значение " + std::to_string(i)), 129});
    manyAgain.push_back({key, Variant("новое " + std::to_string(i)), 200});
  }
  struct Case {
    const char* what;
    std::vector<std::vector<Cell>> saves;  // in turn, on document 7
    std::string expected;                  // its cells then
  };
  // What one save does to a document's cells, the refusals and a failed
  // save's rollback included, the records suite checks on a server folder
  // too; these are the saves a server batches.
  const std::vector<Case> cases = {
      {"many cells",
       {many},
       "600 cells: 00000000001=значение 0/129 .. 00059900001=значение 599/129"},
      {"many cells saved again replace every value",
       {many, manyAgain},
       "600 cells: 00000000001=новое 0/200 .. 00059900001=новое 599/200"},
      {"a key given twice, its case apart: one row with the later value",
       {{{"ИНН000100001", Variant("1"), 129},
         {"010000100001", Variant("a"), 129},
         {"инн000100001", Variant("2"), 200}}},
       "010000100001=a/129; ИНН000100001=2/200"},
      {"a key of digits given twice: one row with the later value",
       {{{"010000100001", Variant("a"), 129}, {"010000100001", Variant("b"), 200}}},
       "010000100001=b/200"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectOnBoth(
        c.expected,
        [&](bool) {
          AddDocument(7);
          for (const auto& save : c.saves) SaveCells(7, save);
          const std::string read = ReadCells(7);
          ClearDocuments();
          return read;
        },
        true);
  }
}

// On a server a save's round trips do not grow with its cells: the
// document's check and the updates of the cells go together, then the
// inserts of the keys no update found. A folder on disk makes none.
TEST_F(Cells, SaveRoundTripsDoNotGrowWithCells) {
  const int counts[] = {2, 40, 400};
  ExpectOnBoth(
      "",
      [&](bool server) {
        AddDocument(7);
        // The first save prepares the statements and reads the table's definition.
        SaveCells(7, {{"999999990001", Variant("w"), 129}});
        std::string unequal;
        // The lock service's key, the write lock, the document's check and
        // the updates; the inserts of new keys; the commit.
        const uint64_t expected[2] = {3, 2};
        for (int n : counts) {
          std::vector<Cell> cells;
          for (int i = 0; i < n; ++i) {
            char key[32];
            std::snprintf(key, sizeof key, "%04d%04d0001", n, i);
            cells.push_back({key, Variant("v" + std::to_string(i)), 129});
          }
          for (int save = 0; save < 2; ++save) {  // new keys, then stored ones
            const uint64_t before = jet::ServerRoundTrips();
            SaveCells(7, cells);
            const uint64_t made = jet::ServerRoundTrips() - before;
            if (made != (server ? expected[save] : 0))
              unequal += std::to_string(n) + " cells, save " + std::to_string(save + 1) + ": " +
                         std::to_string(made) + " round trips; ";
          }
        }
        ClearDocuments();
        return unequal;
      },
      true);
}

// ---- big documents

constexpr double kBigDoc = 4321;

// Shard size 2: sub-documents 1 .. 5 are in shards 0, 1, 1, 2, 2.
std::shared_ptr<doctables::DBBigDocTable> NewBigDoc(int32_t subDocs) {
  miBigDocument::CreateBigDocDataBase(kBigDoc, 2);
  auto table = doctables::DBBigDocs().GetBigDocTable(kBigDoc);
  const double volume = table->FindOrCreateVolume(1, 1);
  for (int32_t i = 0; i < subDocs; ++i) table->CreateSubDoc(1, 0, volume, i + 1);
  return table;
}

TEST_F(Cells, BigDocumentRemoval) {
  ExpectOnBoth(
      "0,1 | in use: error 3045, 0,1, kept | open: error 3045, 0,1 | removed: , error 3024 | "
      "anew: 0, ''",
      [&](bool server) {
        auto table = NewBigDoc(5);
        table->SetString(3, 10, Variant("kept"), 1, 1);
        table->CloseDoc();
        std::string text = Shards(kBigDoc, server);
        {
          // Another connection reads shard 1 in a transaction.
          auto ws = dao::DBEngine::ForThread()->CreateWorkspace("other", "admin", "",
                                                                Variant(dao::dbUseJet));
          auto db = ws->Open(miBigDocument::GetBigDocFileName(kBigDoc, 1), {});
          ws->BeginTrans();
          auto rs = db->OpenStatement("select count(*) from StatCells", dao::dbOpenSnapshot);
          const Error e = RaisedError([&] { miBigDocument::DeleteBigDocDataBase(kBigDoc); });
          text += " | in use: " + ErrorText(e) + ", " + Shards(kBigDoc, server) + ", ";
          rs->Close();
          ws->Rollback();
          db->Close();
        }
        table = doctables::DBBigDocs().GetBigDocTable(kBigDoc);
        text += table->GetString(3, 10, 1, 1, "lost");
        table->CloseDoc();
        {
          // Another connection only has shard 1 open, in no transaction:
          // the shard is in use all the same, and nothing is removed.
          auto ws = dao::DBEngine::ForThread()->CreateWorkspace("open", "admin", "",
                                                                Variant(dao::dbUseJet));
          auto db = ws->Open(miBigDocument::GetBigDocFileName(kBigDoc, 1), {});
          const Error e = RaisedError([&] { miBigDocument::DeleteBigDocDataBase(kBigDoc); });
          text += " | open: " + ErrorText(e) + ", " + Shards(kBigDoc, server);
          db->Close();
        }
        miBigDocument::DeleteBigDocDataBase(kBigDoc);
        text += " | removed: " + Shards(kBigDoc, server) + ", " +
                ErrorText(RaisedError([&] { doctables::DBBigDocs().GetBigDocTable(kBigDoc); }));
        miBigDocument::CreateBigDocDataBase(kBigDoc, 2);
        table = doctables::DBBigDocs().GetBigDocTable(kBigDoc);
        text +=
            " | anew: " + Shards(kBigDoc, server) + ", '" + table->GetString(3, 10, 1, 1, "") + "'";
        table->CloseDoc();
        miBigDocument::DeleteBigDocDataBase(kBigDoc);
        return text;
      });
}

}  // namespace
}  // namespace qv::pgtest

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const char* conninfo = qv::testsupport::TestServerOrSkip();
  if (conninfo == nullptr) return 77;
  qv::pgtest::gConninfo = conninfo;
  qv::pgtest::gFunctions = qv::testsupport::FunctionsScriptOrSkip(
      argc, argv, 1, "a server folder's defaults are written through them");
  if (qv::pgtest::gFunctions == nullptr) return 77;
  return RUN_ALL_TESTS();
}
