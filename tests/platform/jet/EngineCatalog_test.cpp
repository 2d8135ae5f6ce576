// The Jet catalogue through the engine seam: definitions given whole, read
// back, refused, and followed across connections, on a file and on the
// test server.

#include <string>
#include <vector>

#include "CatalogTestTables.h"
#include "EngineTestSupport.h"
#include "platform/jet/sql/JetPostgres.h"

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

// Jet's names go to 64 characters, 128 bytes in Cyrillic; the server's to 63
// bytes, so a server keeps a longer name under a short form of its own and
// names it so in every statement. Names that share their first 63 bytes stay
// apart: tables, fields, the indexes ("table$index") and checks
// ("jet_size:field") the server names after them, and the primary key the
// server names after its table; errors and a column's source give the Jet
// names.
TEST_F(EngineCatalog, NamesBeyondTheServersLimit) {
  auto cyrillic = [](int letters, const char* last) {
    std::string s;
    for (int i = 1; i < letters; ++i) s += "Ж";
    return "[" + s + last + "]";
  };
  // 62 bytes each: "t$a" and "t$b" share their first 63. Jet's longest
  // names, 128 bytes, sharing their first 126.
  const std::string t = cyrillic(31, "Т"), f = cyrillic(31, "П"), a = cyrillic(31, "А"),
                    b = cyrillic(31, "Б"), l1 = cyrillic(64, "Я"), l2 = cyrillic(64, "Ю"),
                    made = cyrillic(40, "Ё");
  const struct {
    std::string sql;
    int error = 0;
    std::string text = "";
  } steps[] = {
      {"CREATE TABLE " + t + " (Id LONG CONSTRAINT PrimaryKey PRIMARY KEY, " + f + " TEXT(3))"},
      {"CREATE INDEX " + a + " ON " + t + " (" + f + ")"},
      {"CREATE UNIQUE INDEX " + b + " ON " + t + " (" + f + ", Id)"},
      {"INSERT INTO " + t + " (Id, " + f + ") VALUES (1, 'abcd')", 3163},
      {"INSERT INTO " + t + " (Id, " + f + ") VALUES (1, 'abc')"},
      {"INSERT INTO " + t + " (Id) VALUES (1)", 3022},
      {"DROP INDEX " + b + " ON " + t},
      {"ALTER TABLE " + t + " DROP CONSTRAINT PrimaryKey"},
      {"INSERT INTO " + t + " (Id) VALUES (1)"},
      {"CREATE TABLE " + l1 + " (" + l1 + " TEXT(5), " + l2 + " LONG NOT NULL)"},
      {"CREATE TABLE " + l2 + " (" + l1 + " LONG CONSTRAINT " + l1 + " PRIMARY KEY)"},
      {"INSERT INTO " + l1 + " (" + l1 + ", " + l2 + ") VALUES ('один', 1)"},
      {"INSERT INTO " + l1 + " (" + l1 + ") VALUES ('два')", 3314,
       l1.substr(1, l1.size() - 2) + "." + l2.substr(1, l2.size() - 2)},
      {"INSERT INTO " + l1 + " (" + l1 + ", " + l2 + ") VALUES ('шестой', 1)", 3163},
      {"INSERT INTO " + l2 + " VALUES (7)"},
      {"INSERT INTO " + l2 + " VALUES (7)", 3022},
      {"UPDATE " + l1 + " SET " + l2 + " = " + l2 + " + 1"},
      {"ALTER TABLE " + l1 + " ADD COLUMN " + a + " TEXT(10)"},
      {"CREATE INDEX " + l2 + " ON " + l1 + " (" + l2 + ", " + l1 + ")"},
      {"SELECT " + l1 + " & " + l2 + " AS " + l2 + " INTO " + made + " FROM " + l1},
      {"ALTER TABLE " + l1 + " DROP COLUMN " + a},
      {"DROP INDEX " + l2 + " ON " + l1},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.sql);
    ExpectError(s.error, s.text, [&] { engine_->Execute(s.sql); });
  }
  auto bare = [](const std::string& bracketed) {
    return bracketed.substr(1, bracketed.size() - 2);
  };
  EXPECT_EQ(Value("SELECT Count(*) & ' ' & Max(" + f + ") FROM " + t), "String \"2 abc\"");
  EXPECT_EQ(RenderIndexes(*engine_->FindTable(bare(t))), "[" + bare(a) + " " + bare(f) + ",]");
  EXPECT_EQ(Value("SELECT x." + l1 + " & x." + l2 + " FROM (SELECT * FROM " + l1 + ") AS x"),
            "String \"один2\"");
  EXPECT_EQ(Value("SELECT " + l2 + " FROM " + made), "String \"один2\"");
  EXPECT_EQ(Value("SELECT Count(*) FROM " + l2 + " WHERE " + l1 + " = 7"), "Long 1");
  EXPECT_EQ(engine_->TableNames(),
            (std::vector<std::string>{"Persons", "Docs", bare(t), bare(l1), bare(l2), bare(made)}));
  EXPECT_EQ(RenderFields(*engine_->FindTable(bare(l1))),
            bare(l1) + ": " + bare(l1) + " Text(5); " + bare(l2) + " Long required;");
  EXPECT_EQ(RenderIndexes(*engine_->FindTable(bare(l2))),
            "[" + bare(l1) + " " + bare(l1) + ", primary unique]");
  auto s = engine_->Prepare("SELECT " + l2 + " FROM " + l1);
  EXPECT_EQ(s->Column(0).table + "." + s->Column(0).column, bare(l1) + "." + bare(l2));
  const FieldSpec noEmpty{.name = bare(f), .size = 5, .allowZeroLength = false};
  engine_->CreateTable({bare(a), {noEmpty}, {}});
  ExpectError(3315, "Field '" + bare(a) + "." + bare(f) + "' cannot be a zero-length string.",
              [&] { engine_->Execute("INSERT INTO " + a + " VALUES ('')"); });
  EXPECT_EQ(Value("SELECT Count(*) FROM " + l1, OpenOther().get()), "Long 1");
  engine_->Execute("DROP TABLE " + l1);
  EXPECT_EQ(Value("SELECT Count(*) FROM " + l2), "Long 1");
  if (!OnServer()) return;
  // A database made before the short forms holds the names the server cut
  // (its primary key named after the cut table name): the next open for
  // writing renames them, and the key is dropped by that name.
  testsupport::PgAdmin admin(location_);
  const std::string server = sql::ServerObjectName(bare(l2)), cut = sql::ServerCutName(bare(l2));
  admin.Value("ALTER TABLE \"" + server + "\" RENAME TO \"" + cut + "\"; ALTER TABLE \"" + cut +
              "\" RENAME COLUMN \"" + sql::ServerObjectName(bare(l1)) + "\" TO \"" +
              sql::ServerCutName(bare(l1)) + "\"; ALTER TABLE \"" + cut +
              "\" RENAME CONSTRAINT \"" + sql::PostgresPrimaryKeyName(bare(l2)) + "\" TO \"" +
              sql::PostgresPrimaryKeyName(cut) + "\"");
  auto reopened = OpenOther();
  EXPECT_EQ(Value("SELECT Count(*) FROM " + l2 + " WHERE " + l1 + " = 7", reopened.get()),
            "Long 1");
  reopened->Execute("ALTER TABLE " + l2 + " DROP CONSTRAINT " + l1);
  EXPECT_EQ(reopened->Execute("INSERT INTO " + l2 + " VALUES (7)"), 1);
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
