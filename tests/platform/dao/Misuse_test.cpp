#include <gtest/gtest.h>

#include "DaoTestSupport.h"
#include "platform/dao/Workspace.h"
#include "platform/jet/PgConnection.h"

namespace qv::dao::testing {
namespace {

using jet::JetType;

class MisuseTest : public DaoTest {
 protected:
  void SetUp() override {
    MakeTable(*db_, "T", {{"ID", JetType::kLong}, {"Name", JetType::kText, 10}},
              {{"Id", "ID", true}});
    db_->ExecuteSql("INSERT INTO T (ID, Name) VALUES (1, 'a')");
    engine_->SetLockTimeoutMs(50);
  }
  void TearDown() override { engine_->SetLockTimeoutMs(5000); }
};

// What a caller sees for each misuse: Jet's number, and the name of what
// was missing where Jet names it. (A missing file, table or index, a
// snapshot's Edit, an exclusive open and a commit without a transaction
// are refused in the tests of their paths.)
TEST_F(MisuseTest, ErrorsNameWhatWentWrong) {
  auto rs = db_->OpenTable("T");
  auto snapshot = db_->OpenStatement("SELECT * FROM T", dbOpenSnapshot);
  const struct {
    const char* what;
    std::function<void()> call;
    int32_t number;
    std::string inText;  // a part of the description
  } cases[] = {
      {"unknown field", [&] { rs->FieldValue("Nope"); }, 3265, "Item not found"},
      {"unknown field position", [&] { rs->FieldValue(7); }, 3265, ""},
      {"Seek without an index", [&] { rs->Seek("=", std::vector<Variant>{Variant(1)}); }, 3019,
       "current index"},
      {"Seek with too many keys",
       [&] {
         rs->SetIndex("id");
         rs->Seek("=", std::vector<Variant>{Variant(1), Variant(2)});
       },
       3001, ""},
      {"Seek with a bad comparison", [&] { rs->Seek("==", std::vector<Variant>{Variant(1)}); },
       3001, ""},
      {"Seek with a key that is no number",
       [&] { rs->Seek("=", std::vector<Variant>{Variant("x")}); }, 3464, ""},
      {"Update without AddNew", [&] { rs->Update(); }, 3020, "without AddNew or Edit"},
      {"CancelUpdate without AddNew", [&] { rs->CancelUpdate(); }, 3020, ""},
      {"SetField without Edit", [&] { rs->SetField("Name", Variant("b")); }, 3020, ""},
      {"move past the end",
       [&] {
         rs->MoveLast();
         rs->MoveNext();
         rs->MoveNext();
       },
       3021, "No current record"},
      {"read at the end", [&] { rs->FieldValue("ID"); }, 3021, ""},
      {"Delete at the end", [&] { rs->Delete(); }, 3021, ""},
      {"Index of a snapshot", [&] { snapshot->SetIndex("Id"); }, 3251, ""},
      {"statement as table",
       [&] { db_->OpenRecordset("SELECT * FROM T", Variant(dbOpenTable), Variant(), Variant()); },
       3219, ""},
      {"syntax error", [&] { db_->ExecuteSql("UPDATE T SET ID = = 1"); }, 3075, ""},
      {"ODBC workspace", [&] { engine_->CreateWorkspace("o", "u", "", Variant(dbUseODBC)); }, 3251,
       ""},
      {"TableDefs item", [&] { db_->TableDefsCollection()->Item(Variant("Nope")); }, 3265, ""},
      {"TableDefs delete", [&] { db_->TableDefsCollection()->Delete("Nope"); }, 3265, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectError(c.number, c.inText, c.call);
  }
}

// Exclusive and read-only opens: the lock names the file; writes to a
// read-only file fail; everything refuses work after Close.
TEST_F(MisuseTest, LocksReadOnlyAndClosedObjects) {
  std::string path = places_.Location("Excl.mdb");
  auto ws = engine_->DefaultWorkspace();
  ws->Create(path, dbLangGeneral)->Close();
  auto other = engine_->CreateWorkspace("other", "admin", "", Variant(dbUseJet));
  const std::string shown = TestPlaces::OnServer() ? jet::ShownLocation(path) : "Excl.mdb";
  auto exclusive = ws->OpenDatabase(path, Variant(true), Variant(false), Variant());
  MakeTable(*exclusive, "T", {{"ID", JetType::kLong}}, {{"PK", "ID", true}});
  ExpectError(3045, shown, [&] { other->Open(path, {}); });
  ExpectError(3045, shown, [&] { ws->Open(path, {.readOnly = true}); });
  exclusive->Close();
  auto shared = other->Open(path, {});
  ExpectError(3045, shown, [&] { ws->Open(path, {.exclusive = true}); });
  shared->ExecuteSql("INSERT INTO T (ID) VALUES (1)");
  shared->Close();

  auto ro = other->Open(path, {.readOnly = true});
  EXPECT_FALSE(ro->Updatable());
  ExpectError(3027, "", [&] { ro->ExecuteSql("DELETE FROM T"); });
  auto rs = ro->OpenTable("T");
  ExpectError(3027, "", [&] { rs->Edit(); });
  EXPECT_EQ(CLng(rs->FieldValue("ID")), 1);

  auto tables = ro->TableDefsCollection();
  ro->Close();
  testsupport::ExpectErrors({
      {"recordset move", [&] { rs->MoveNext(); }, 3420},
      {"recordset EOF", [&] { rs->IsEOF(); }, 3420},
      {"recordset field", [&] { rs->FieldValue(0); }, 3420},
      {"database execute", [&] { ro->ExecuteSql("DELETE FROM T"); }, 3420},
      {"database open", [&] { ro->OpenTable("T"); }, 3420},
      {"table definitions", [&] { tables->Count(); }, 3420},
  });
}

}  // namespace
}  // namespace qv::dao::testing
