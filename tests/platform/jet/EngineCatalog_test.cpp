// The Jet catalogue through the engine seam: definitions given whole, read
// back, refused, and followed across connections, on a file and on the
// test server.

#include <string>
#include <vector>

#include "CatalogTestTables.h"
#include "EngineTestSupport.h"

namespace qv::jet::testing {
namespace {

class EngineCatalog : public EngineTest {
 protected:
  EngineCatalog() {
    for (const TableSpec& t : CatalogTestTables()) engine_->CreateTable(t);
  }

  int32_t Exec(const std::string& jetSql) {
    return testsupport::RaisedError([&] { engine_->Execute(jetSql); }).Number();
  }
};

TEST_F(EngineCatalog, DefinitionsReadBackAsCreated) {
  auto t = engine_->FindTable("PERSONS");  // names are case-insensitive
  ASSERT_TRUE(t);
  EXPECT_EQ(RenderFields(*t),
            "Persons: Id Long; Name Text(10) required; Code Text(5) nozls; Born Date; Active "
            "Boolean default=No; Amount Currency default=0; Small Byte; Uid GUID; Notes Memo "
            "compressed;");
  // A file keeps the indexes' creation order; a server's catalogue keeps
  // none and gives them in name order.
  EXPECT_EQ(RenderIndexes(*t),
            OnServer() ? "[ByName Name,-Born,][Id Id, unique][PrimaryKey Id, primary unique]"
                       : "[PrimaryKey Id, primary unique][Id Id, unique][ByName Name,-Born,]");
  EXPECT_EQ(RenderIndexes(*engine_->FindTable("docs")), "[Id Id, primary unique]");
  EXPECT_EQ(engine_->TableNames(), (std::vector<std::string>{"Persons", "Docs"}));
  EXPECT_EQ(engine_->FindTable("Nope"), nullptr);
}

// A field that refuses the empty text cannot be declared through DDL.
TEST_F(EngineCatalog, AFieldWithoutZeroLengthRefusesTheEmptyText) {
  ExpectError(3315, "Field 'Persons.Code' cannot be a zero-length string.", [&] {
    engine_->Execute("INSERT INTO Persons (Id, Name, Code) VALUES (99, 'x', '')");
  });
  EXPECT_EQ(Exec("INSERT INTO Persons (Id, Name, Code) VALUES (99, 'x', 'c')"), 0);
}

TEST_F(EngineCatalog, RequiredFieldsWithDefaultsFillThemselves) {
  // Jet's texts of an empty-string default, of a number and of a quoted text.
  const FieldSpec value{.name = "Value", .size = 255, .required = true, .defaultValue = "\"\""},
      kind{.name = "Kind", .type = JetType::kInteger, .required = true, .defaultValue = "=0"},
      quoted{.name = "Note", .size = 20, .defaultValue = "'it''s'"};
  engine_->CreateTable({"Cells", {FieldSpec{"Id", JetType::kLong}, value, kind, quoted}, {}});
  EXPECT_EQ(Exec("INSERT INTO Cells (Id) VALUES (1)"), 0);
  EXPECT_EQ(Value("SELECT '[' & Value & '] ' & Kind & ' ' & Note FROM Cells"),
            "String \"[] 0 it's\"");
  EXPECT_EQ(Exec("INSERT INTO Cells (Id, Value) VALUES (2, NULL)"), 3314);
  EXPECT_EQ(Value("SELECT Count(*) FROM Cells"), "Long 1");
}

// The other refusals of a definition are checked through DDL in
// tests/sql/ddl.test and through the TableDefs collections.
TEST_F(EngineCatalog, DefinitionErrorsLeaveNothingBehind) {
  ExpectError(3259, "", [&] { engine_->CreateTable({"T", {FieldSpec{"A", JetType::kNone}}, {}}); });
  const FieldSpec badDefault{.name = "A", .type = JetType::kLong, .defaultValue = "1 +"};
  ExpectError(3001, "", [&] { engine_->CreateTable({"T", {badDefault}, {}}); });
  ExpectError(3010, "", [&] {
    engine_->CreateTable({"docs", {FieldSpec{"A", JetType::kLong}}, {}});
  });
  ExpectError(3191, "", [&] { engine_->AddField("Docs", FieldSpec{"TITLE", JetType::kLong}); });
  EXPECT_EQ(engine_->TableNames(), (std::vector<std::string>{"Persons", "Docs"}));
  EXPECT_EQ(RenderFields(*engine_->FindTable("Docs")), "Docs: Id Long; Title Text(50);");
  engine_->AddField("Docs", FieldSpec{"Pages", JetType::kInteger});
  EXPECT_EQ(RenderFields(*engine_->FindTable("Docs")),
            "Docs: Id Long; Title Text(50); Pages Integer;");
}

// Tables another connection creates or drops are seen at a later look-up
// (on a server a moment after the other's commit returns).
TEST_F(EngineCatalog, LookupsFollowOtherConnectionsSchemaChanges) {
  auto other = OpenOther();
  EXPECT_EQ(engine_->FindTable("select * from Later where x = 1"), nullptr);
  EXPECT_EQ(engine_->FindTable("Later"), nullptr);
  other->CreateTable({"Later", {FieldSpec{"A", JetType::kLong}}, {}});
  ASSERT_TRUE(Eventually([&] { return engine_->FindTable("LATER") != nullptr; }));
  EXPECT_EQ(engine_->FindTable("later")->name, "Later");
  EXPECT_EQ(Value("SELECT Count(*) FROM Later"), "Long 0");
  other->Execute("ALTER TABLE Later ADD COLUMN B TEXT(5)");
  EXPECT_TRUE(Eventually([&] { return engine_->FindTable("Later")->fields.size() == 2; }));
  other->Execute("DROP TABLE Later");
  EXPECT_TRUE(Eventually([&] { return engine_->FindTable("Later") == nullptr; }));
  ExpectError(3078, "", [&] { engine_->Prepare("SELECT * FROM Later"); });
}

}  // namespace
}  // namespace qv::jet::testing
