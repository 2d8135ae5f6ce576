#include "platform/jet/JetCatalog.h"

#include "CatalogTestTables.h"
#include "JetTestSupport.h"

namespace qv::jet::testing {
namespace {

// A table as one line: fields with their properties, then indexes.
std::string Render(const TableSpec& t) {
  return RenderFields(t) + " " + RenderIndexes(t);
}

class CatalogTest : public JetTest {
 protected:
  CatalogTest() {
    for (const TableSpec& t : CatalogTestTables()) db_->Schema().CreateTable(t);
  }

  int32_t Exec(const std::string& sql) {
    return testsupport::RaisedError([&] { db_->ExecuteNative(sql); }).Number();
  }
};

// The definitions themselves read back through the engine (EngineCatalog);
// here what only the file keeps: the SQLite names of indexes and the
// columns the translator is given.
TEST_F(CatalogTest, IndexesAndColumnsAsTheFileKeepsThem) {
  // Index names are per table: both tables have "Id", behind distinct SQLite names.
  EXPECT_EQ(db_->Schema().FindTable("PERSONS")->FindIndex("id")->sqliteName, "Persons.Id");
  EXPECT_EQ(db_->Schema().FindTable("docs")->FindIndex("ID")->sqliteName, "Docs.Id");
  const std::vector<ColumnInfo>* cols = db_->Schema().TableColumns("docs");
  ASSERT_TRUE(cols);
  ASSERT_EQ(cols->size(), 2u);
  EXPECT_EQ((*cols)[1].name, "Title");
  EXPECT_EQ((*cols)[1].type, JetType::kText);
  EXPECT_EQ((*cols)[1].size, 50);
  EXPECT_EQ(db_->Schema().TableColumns("Nope"), nullptr);
  EXPECT_EQ(db_->Locale(), kLocaleRussian);
}

// Indexes and fields made, refused and dropped by DDL are checked in
// tests/sql/ddl.test; the catalogue's own call refuses a name in use. How
// text columns sort and compare is checked through Jet statements in
// tests/sql/collation.test; a native lookup by a literal uses the index.
TEST_F(CatalogTest, AnIndexNameIsTakenOncePerTableAndALookupUsesTheIndex) {
  db_->Schema().CreateIndex("docs", Index("ByTitle", "Title"));
  EXPECT_EQ(db_->Schema().FindTable("Docs")->indexes.size(), 2u);
  ExpectError(3284, "", [&] { db_->Schema().CreateIndex("Docs", Index("bytitle", "Id")); });
  Statement plan = db_->PrepareNative("EXPLAIN QUERY PLAN SELECT Id FROM Docs WHERE Title = 'x'");
  ASSERT_TRUE(plan.Step());
  EXPECT_NE(plan.Text(3).find("USING INDEX Docs.ByTitle (Title=?)"), std::string::npos)
      << plan.Text(3);
}

// The definition a look-up gives right after the table is made (kept from
// what was written) is the one read back from the file; a rollback of the
// enclosing transaction or another connection's change of the table drops it.
TEST_F(CatalogTest, ATableJustMadeIsDescribedAsTheFileKeepsIt) {
  auto full = [](const TableSpec& t) {
    std::string out = Render(t);
    for (const FieldSpec& f : t.fields) out += f.autoIncrement ? " counter=" + f.name : "";
    for (const IndexSpec& x : t.indexes) out += " " + x.sqliteName + (x.unique ? "!" : "");
    return out;
  };
  TableSpec counted{"Counted",
                    {{.name = "N", .type = JetType::kLong, .autoIncrement = true},
                     {"Txt", JetType::kText},
                     {"Amount", JetType::kCurrency}},
                    {Index("PK", "N", true), Index("ByTxt", "-Txt;Amount")}};
  enum class Then { kNothing, kCommit, kRollback, kOtherRemakes };
  const struct {
    const char* name;
    bool inTransaction;
    Then then;
  } cases[] = {{"alone", false, Then::kNothing},
               {"committed", true, Then::kCommit},
               {"rolled back", true, Then::kRollback},
               {"remade by another connection", false, Then::kOtherRemakes}};
  for (const auto& c : cases) {
    for (TableSpec spec : {CatalogTestTables()[0], counted}) {
      SCOPED_TRACE(std::string(c.name) + ", " + spec.name);
      spec.name += std::to_string(&c - cases);
      if (c.inTransaction) db_->BeginTrans();
      db_->Schema().CreateTable(spec);
      auto kept = db_->Schema().FindTable(spec.name);
      ASSERT_TRUE(kept);
      if (c.then == Then::kCommit) db_->CommitTrans();
      if (c.then == Then::kRollback) db_->Rollback();
      if (c.then == Then::kOtherRemakes) {
        auto other = Connection::Open(folder_.File("Test.mdb"));
        other->Schema().DropTable(spec.name);
        other->Schema().CreateTable({spec.name, {FieldSpec{"Other", JetType::kByte}}, {}});
      }
      auto seen = db_->Schema().FindTable(spec.name);
      db_->Schema().Invalidate();
      auto read = db_->Schema().FindTable(spec.name);
      if (c.then == Then::kRollback) {
        EXPECT_EQ(seen, nullptr);
        EXPECT_EQ(read, nullptr);
        continue;
      }
      ASSERT_TRUE(seen && read);
      EXPECT_EQ(full(*seen), full(*read));
      if (c.then != Then::kOtherRemakes) {
        EXPECT_EQ(full(*kept), full(*read));
      }
    }
  }
}

TEST_F(CatalogTest, TablesMadeWithoutTheCatalogueAreDescribedFromSqlite) {
  Exec("CREATE TABLE Plain (a INTEGER NOT NULL, b VARCHAR(20), c REAL, d BLOB, e DATETIME)");
  Exec("CREATE UNIQUE INDEX PlainA ON Plain (a DESC)");
  auto t = db_->Schema().FindTable("plain");
  ASSERT_TRUE(t);
  EXPECT_EQ(Render(*t),
            "Plain: a Long required; b Text(20); c Double; d LongBinary; e Date; [PlainA -a, "
            "unique]");
}

// A journal mode this connection sets, by either kind of native statement,
// closes or opens its log, through which the catalogue learns of other
// connections' commits: a table another connection makes afterwards is
// still seen at the next lookup. Each way on a connection of its own, as
// the first such statement tells the connection for good.
TEST_F(CatalogTest, LookupsFollowOtherConnectionsAcrossJournalModes) {
  const struct {
    bool prepared;       // PrepareNative and Step, else ExecuteNative
    const char* pragma;  // the pragma's name as written
  } ways[] = {{false, "journal_mode"}, {true, "Journal_Mode"}};
  for (const auto& w : ways) {
    SCOPED_TRACE(w.pragma);
    db_ = Connection::Open(folder_.File("Test.mdb"));
    ASSERT_NE(db_->Schema().FindTable("Persons"), nullptr);  // a lookup in WAL mode first
    for (const std::string mode : {"delete", "wal"}) {
      const std::string set = std::string("PRAGMA ") + w.pragma + " = " + mode;
      if (w.prepared) {
        Statement s = db_->PrepareNative(set);
        ASSERT_TRUE(s.Step());
        ASSERT_EQ(s.Text(0), mode);
      } else {
        db_->ExecuteNative(set);
      }
      const std::string table = "Made_" + mode + (w.prepared ? "_prepared" : "");
      EXPECT_EQ(db_->Schema().FindTable(table), nullptr);
      auto other = Connection::Open(folder_.File("Test.mdb"));
      other->Schema().CreateTable({table, {FieldSpec{"A", JetType::kLong}}, {}});
      EXPECT_NE(db_->Schema().FindTable(table), nullptr);
    }
  }
}

// A statement reading only a temporary table holds a read transaction on
// the temporary schema alone: another connection's table made meanwhile by
// a native statement, without the catalogue, is still seen at the next
// lookup, although the last one found no such table.
TEST_F(CatalogTest, LookupsSeeOtherConnectionsWhileATemporaryTableIsRead) {
  db_->ExecuteNative("CREATE TEMP TABLE scratch (c INTEGER)");
  db_->ExecuteNative("INSERT INTO temp.scratch VALUES (1), (2)");
  ASSERT_NE(db_->Schema().FindTable("Persons"), nullptr);
  EXPECT_EQ(db_->Schema().FindTable("Made_Meanwhile"), nullptr);
  Statement reading = db_->PrepareNative("SELECT c FROM temp.scratch");
  ASSERT_TRUE(reading.Step());
  auto other = Connection::Open(folder_.File("Test.mdb"));
  other->ExecuteNative("CREATE TABLE made_meanwhile (c INTEGER)");
  EXPECT_NE(db_->Schema().FindTable("Made_Meanwhile"), nullptr);
  ASSERT_TRUE(reading.Step());
  EXPECT_EQ(reading.Int64(0), 2);
}

}  // namespace
}  // namespace qv::jet::testing
