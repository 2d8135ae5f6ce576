#include <gtest/gtest.h>

#include "DaoTestSupport.h"
#include "platform/dao/Transaction.h"
#include "platform/dao/Workspace.h"

namespace qv::dao::testing {
namespace {

class SchemaStatementsTest : public DaoTest {
 protected:
  std::string TableText(const std::string& name) {
    auto table = db_->TableDefsCollection()->Find(name);
    return table ? Describe(*table) : "(none)";
  }
};

// Each statement changes the table as the objects then report it, without
// a Refresh of the collection.
TEST_F(SchemaStatementsTest, TableDefsShowWhatStatementsMade) {
  struct Step {
    const char* sql;
    const char* table;
  };
  const Step steps[] = {
      {"CREATE TABLE Doc (Id COUNTER CONSTRAINT Key PRIMARY KEY, Name TEXT(30) NOT NULL, "
       "Made DATETIME DEFAULT Now())",
       "Doc\n"
       "  Id type=4 size=4 counter\n"
       "  Name type=10 size=30 required\n"
       "  Made type=8 size=8 default=Now()\n"
       "  index Key (Id) primary unique\n"},
      {"CREATE UNIQUE INDEX ByName ON Doc (Name, Made DESC)",
       "Doc\n"
       "  Id type=4 size=4 counter\n"
       "  Name type=10 size=30 required\n"
       "  Made type=8 size=8 default=Now()\n"
       "  index Key (Id) primary unique\n"
       "  index ByName (Name;-Made) unique\n"},
      {"ALTER TABLE Doc ADD COLUMN Note MEMO, Kind SHORT CONSTRAINT ByKind UNIQUE",
       "Doc\n"
       "  Id type=4 size=4 counter\n"
       "  Name type=10 size=30 required\n"
       "  Made type=8 size=8 default=Now()\n"
       "  Note type=12 size=0\n"
       "  Kind type=3 size=2\n"
       "  index Key (Id) primary unique\n"
       "  index ByName (Name;-Made) unique\n"
       "  index ByKind (Kind) unique\n"},
      {"DROP INDEX ByName ON Doc",
       "Doc\n"
       "  Id type=4 size=4 counter\n"
       "  Name type=10 size=30 required\n"
       "  Made type=8 size=8 default=Now()\n"
       "  Note type=12 size=0\n"
       "  Kind type=3 size=2\n"
       "  index Key (Id) primary unique\n"
       "  index ByKind (Kind) unique\n"},
      {"ALTER TABLE Doc DROP COLUMN Made",
       "Doc\n"
       "  Id type=4 size=4 counter\n"
       "  Name type=10 size=30 required\n"
       "  Note type=12 size=0\n"
       "  Kind type=3 size=2\n"
       "  index Key (Id) primary unique\n"
       "  index ByKind (Kind) unique\n"},
      {"ALTER TABLE Doc DROP CONSTRAINT ByKind",
       "Doc\n"
       "  Id type=4 size=4 counter\n"
       "  Name type=10 size=30 required\n"
       "  Note type=12 size=0\n"
       "  Kind type=3 size=2\n"
       "  index Key (Id) primary unique\n"},
      {"DROP TABLE Doc", "(none)"},
  };
  EXPECT_EQ(db_->TableDefsCollection()->Count(), 0);
  for (const Step& step : steps) {
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
