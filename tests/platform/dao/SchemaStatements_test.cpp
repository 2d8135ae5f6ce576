#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "DaoTestSupport.h"
#include "platform/dao/Transaction.h"
#include "platform/dao/Workspace.h"

namespace qv::dao::testing {
namespace {

class SchemaStatementsTest : public DaoTest {
 protected:
  std::string TableText(const std::string& name) {
    auto table = db_->TableDefsCollection()->Find(name);
    if (!table) return "(none)";
    std::string text = Describe(*table);
    if (!db_->IsServer()) return text;
    // A server's catalogue keeps no creation order: its indexes come in
    // name order; the lines are compared in the file's order.
    std::istringstream in(text);
    std::vector<std::string> lines, indexes;
    for (std::string line; std::getline(in, line);)
      (line.starts_with("  index ") ? indexes : lines).push_back(line);
    const std::vector<std::string> made = {"  index Key ", "  index ByName ", "  index ByKind "};
    auto rank = [&](const std::string& line) {
      return std::find_if(made.begin(), made.end(),
                          [&](const std::string& m) { return line.starts_with(m); }) -
             made.begin();
    };
    std::stable_sort(indexes.begin(), indexes.end(),
                     [&](const std::string& a, const std::string& b) { return rank(a) < rank(b); });
    std::string out;
    for (const std::string& line : lines) out += line + "\n";
    for (const std::string& line : indexes) out += line + "\n";
    return out;
  }
};

// Each statement changes the table as the objects then report it, without
// a Refresh of the collection.
TEST_F(SchemaStatementsTest, TableDefsShowWhatStatementsMade) {
  const std::string id = "  Id type=4 size=4 counter\n", name = "  Name type=10 size=30 required\n",
                    made = "  Made type=8 size=8 default=Now()\n", note = "  Note type=12 size=0\n",
                    kind = "  Kind type=3 size=2\n", key = "  index Key (Id) primary unique\n",
                    byName = "  index ByName (Name;-Made) unique\n",
                    byKind = "  index ByKind (Kind) unique\n";
  const struct {
    const char* sql;
    std::string table;
  } steps[] = {
      {"CREATE TABLE Doc (Id COUNTER CONSTRAINT Key PRIMARY KEY, Name TEXT(30) NOT NULL, "
       "Made DATETIME DEFAULT Now())",
       "Doc\n" + id + name + made + key},
      {"CREATE UNIQUE INDEX ByName ON Doc (Name, Made DESC)",
       "Doc\n" + id + name + made + key + byName},
      {"ALTER TABLE Doc ADD COLUMN Note MEMO, Kind SHORT CONSTRAINT ByKind UNIQUE",
       "Doc\n" + id + name + made + note + kind + key + byName + byKind},
      {"DROP INDEX ByName ON Doc", "Doc\n" + id + name + made + note + kind + key + byKind},
      {"ALTER TABLE Doc DROP COLUMN Made", "Doc\n" + id + name + note + kind + key + byKind},
      {"ALTER TABLE Doc DROP CONSTRAINT ByKind", "Doc\n" + id + name + note + kind + key},
      {"DROP TABLE Doc", "(none)"},
  };
  EXPECT_EQ(db_->TableDefsCollection()->Count(), 0);
  for (const auto& step : steps) {
    SCOPED_TRACE(step.sql);
    db_->Execute(step.sql, Variant());
    EXPECT_EQ(TableText("Doc"), step.table);
  }
}

// Inside a workspace transaction the statements are part of it: a rollback
// takes the tables, fields and indexes they made away again, from the file,
// the catalogue, the collections and the statements prepared afterwards.
TEST_F(SchemaStatementsTest, RollbackUndoesTheStatementsOfTheTransaction) {
  db_->Execute("CREATE TABLE Kept (Id LONG CONSTRAINT Key PRIMARY KEY, Name TEXT(10))", Variant());
  db_->Execute("INSERT INTO Kept (Id, Name) VALUES (1, 'один')", Variant());
  const std::string kept = TableText("Kept");
  {
    Transaction tx(*engine_->DefaultWorkspace());
    db_->Execute("ALTER TABLE Kept ADD COLUMN Extra LONG", Variant());
    db_->Execute("CREATE INDEX ByName ON Kept (Name)", Variant());
    db_->Execute("SELECT Id, Name INTO Copy FROM Kept", Variant());
    EXPECT_EQ(db_->RecordsAffected(), 1);
    db_->Execute("DROP TABLE Kept", Variant());
    EXPECT_EQ(TableText("Kept"), "(none)");
    EXPECT_EQ(TableText("Copy"), "Copy\n  Id type=4 size=4\n  Name type=10 size=10\n");
    tx.Rollback();
  }
  EXPECT_EQ(TableText("Kept"), kept);
  EXPECT_EQ(TableText("Copy"), "(none)");
  EXPECT_EQ(db_->TableDefsCollection()->Count(), 1);
  EXPECT_EQ(WalkForward(*db_->OpenStatement("SELECT * FROM Kept"), "Name"), "один");
  ExpectError(3078, "Copy", [&] { db_->OpenStatement("SELECT * FROM Copy"); });
  // Nothing of the undone statements is left in the catalogue either.
  db_->Execute("SELECT Id INTO Copy FROM Kept", Variant());
  db_->Execute("ALTER TABLE Kept ADD COLUMN Extra TEXT(5)", Variant());
  EXPECT_EQ(TableText("Copy"), "Copy\n  Id type=4 size=4\n");
}

}  // namespace
}  // namespace qv::dao::testing
