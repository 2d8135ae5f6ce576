#include <gtest/gtest.h>

#include <optional>
#include <sstream>

#include "DaoTestSupport.h"
#include "platform/dao/Transaction.h"
#include "platform/dao/Workspace.h"
#include "platform/jet/JetConnection.h"

namespace qv::dao::testing {
namespace {

using jet::JetType;

// Five databases in one workspace (more than a walk over them holds in
// place), each with table T(ID): nested transactions commit and roll back
// them all together, and another connection sees only what the outermost
// commit made final.
class WorkspaceTest : public ::testing::Test {
 protected:
  WorkspaceTest() : engine_(DBEngine::ForThread()) {
    ws_ = engine_->CreateWorkspace("qvz", "admin", "", Variant(dbUseJet));
    engine_->WorkspacesCollection()->Append(ws_);
    for (const char* name : {"One.mdb", "Two.mdb", "3.mdb", "4.mdb", "5.mdb"}) {
      auto db = ws_->Create(places_.Location(name), dbLangCyrillic);
      MakeTable(*db, "T", {{"ID", JetType::kLong}});
      dbs_.push_back(db);
    }
  }
  ~WorkspaceTest() override {
    ws_->Close();
    engine_->WorkspacesCollection()->Delete("qvz");
  }

  void Insert(int id) {
    for (auto& db : dbs_) db->ExecuteSql("INSERT INTO T (ID) VALUES (" + std::to_string(id) + ")");
  }
  // The rows of T in file `i` as a separate connection reads them.
  std::string Seen(int i) {
    auto other = engine_->CreateWorkspace("other", "admin", "", Variant(dbUseJet));
    return Ids(*other->Open(dbs_[static_cast<size_t>(i)]->Name(), {}));
  }
  std::string Mine(int i) { return Ids(*dbs_[static_cast<size_t>(i)]); }
  static std::string Ids(Database& db) {
    return WalkForward(*db.OpenStatement("SELECT ID FROM T ORDER BY ID"), "ID");
  }

  TestPlaces places_;
  std::shared_ptr<DBEngine> engine_;
  std::shared_ptr<Workspace> ws_;
  std::vector<std::shared_ptr<Database>> dbs_;
};

TEST_F(WorkspaceTest, NestedTransactionsSpanTheWorkspacesDatabases) {
  // A script of steps: B begins, C commits, F commits with a flush, R rolls
  // back, a number inserts that ID.
  const struct {
    const char* script;
    const char* mine;  // what the workspace reads at the end
    const char* seen;  // what another connection reads at the end
  } cases[] = {
      {"1", "1", "1"},
      {"B 1 C", "1", "1"},
      {"B 1 R", "", ""},
      {"B 1 B 2 C", "1 2", ""},             // still open
      {"B 1 B 2 R 3 F", "1 3", "1 3"},      // inner rollback, outer commit
      {"B 1 B 2 C R", "", ""},              // inner commit, outer rollback
      {"B B 1 B 2 R C 3 C", "1 3", "1 3"},  // three levels
  };
  for (const auto& c : cases) {
    std::istringstream steps(c.script);
    for (std::string step; steps >> step;) {
      if (step == "B")
        ws_->BeginTrans();
      else if (step == "C")
        ws_->CommitTrans(Variant());
      else if (step == "F")
        ws_->CommitTrans(Variant(dbForceOSFlush));
      else if (step == "R")
        ws_->Rollback();
      else
        Insert(std::stoi(step));
    }
    for (int i = 0; i < 5; ++i) {
      EXPECT_EQ(Mine(i), c.mine) << c.script << " db " << i;
      EXPECT_EQ(Seen(i), c.seen) << c.script << " db " << i;
    }
    while (ws_->TransactionDepth() > 0) ws_->Rollback();
    for (auto& db : dbs_) db->ExecuteSql("DELETE FROM T");
  }
  ExpectError(3034, "", [&] { ws_->CommitTrans(Variant()); });
  ExpectError(3034, "", [&] { ws_->Rollback(); });
}

TEST_F(WorkspaceTest, ADatabaseOpenedInsideATransactionJoinsIt) {
  auto three = ws_->Create(places_.Location("Three.mdb"), dbLangGeneral);
  MakeTable(*three, "T", {{"ID", JetType::kLong}});
  three->Close();
  ws_->BeginTrans();
  Insert(1);
  auto joined = ws_->Open(places_.Location("Three.mdb"), {});
  joined->ExecuteSql("INSERT INTO T (ID) VALUES (7)");
  ws_->BeginTrans();
  joined->ExecuteSql("INSERT INTO T (ID) VALUES (8)");
  ws_->CommitTrans(Variant());
  ws_->Rollback();
  auto rs = joined->OpenStatement("SELECT count(*) FROM T");
  EXPECT_EQ(CLng(rs->FieldValue(0)), 0);
  EXPECT_EQ(Mine(0), "");
}

// A rollback takes back a row added under a table cursor: the cursor's row
// is gone (an edit rolled back: TableRecordset's ACursorKeepsItsRow...).
TEST_F(WorkspaceTest, RollbackRefreshesOpenCursors) {
  Insert(1);
  auto rs = dbs_[0]->OpenTable("T");
  ws_->BeginTrans();
  WriteRow(*rs, true, {{"ID", Variant(6)}});
  rs->SetBookmark(rs->LastModified());
  ws_->Rollback();
  ExpectError(3167, "", [&] { rs->FieldValue("ID"); });
}

// Idle(dbRefreshCache) shows another connection's commits in an open
// cursor; Idle(dbFreeLocks) ends the snapshot a statement left stepping
// holds, so that the connection's next read shows them too.
TEST_F(WorkspaceTest, IdleRefreshesCursorsAndEndsSnapshots) {
  Insert(1);
  auto rs = dbs_[0]->OpenTable("T");
  EXPECT_EQ(CLng(rs->FieldValue("ID")), 1);  // the cursor's row is read now
  auto other = engine_->CreateWorkspace("writer", "admin", "", Variant(dbUseJet));
  auto writer = other->Open(dbs_[0]->Name(), {});
  writer->ExecuteSql("UPDATE T SET ID = 2");
  EXPECT_EQ(CLng(rs->FieldValue("ID")), 1);
  engine_->Idle(Variant(dbRefreshCache));
  EXPECT_EQ(CLng(rs->FieldValue("ID")), 2);
  rs->Close();

  QV_SKIP_ON_SERVER("a native statement held open is the file engine's own connection");
  jet::Statement held = dbs_[0]->Connection().PrepareNative("SELECT ID FROM T");
  ASSERT_TRUE(held.Step());
  writer->ExecuteSql("INSERT INTO T (ID) VALUES (3)");
  EXPECT_EQ(Mine(0), "2");
  engine_->Idle(Variant(dbFreeLocks));
  EXPECT_EQ(Mine(0), "2 3");
  ASSERT_TRUE(held.Step());  // the reset statement starts over
  EXPECT_EQ(held.Int64(0), 2);
}

// BeginTransImmediate locks every database of the workspace for writing at
// once: another connection's write waits and fails until the commit.
TEST_F(WorkspaceTest, AnImmediateTransactionKeepsOtherWritersOut) {
  engine_->SetLockTimeoutMs(50);
  auto other = engine_->CreateWorkspace("other", "admin", "", Variant(dbUseJet));
  auto db = other->Open(dbs_[1]->Name(), {});
  engine_->SetLockTimeoutMs(5000);
  // On a server the lock keeps out the other workspaces' immediate
  // transactions; a plain write takes only its rows' locks.
  auto insertSeven = [&] {
    std::optional<Transaction> scope;
    if (db->IsServer()) scope.emplace(*other, kWriteLock);
    db->ExecuteSql("INSERT INTO T (ID) VALUES (7)");
    if (scope) scope->Commit();
  };
  ws_->BeginTransImmediate();
  ws_->BeginTrans();
  EXPECT_EQ(ws_->TransactionDepth(), 2);
  ExpectError(3218, "", insertSeven);
  Insert(1);
  ws_->CommitTrans(Variant());
  ws_->CommitTrans(Variant(dbForceOSFlush));
  EXPECT_EQ(db->ExecuteSql("INSERT INTO T (ID) VALUES (7)"), 1);
  EXPECT_EQ(Seen(0), "1");
  EXPECT_EQ(Seen(1), "1 7");
  ws_->BeginTransImmediate();
  Insert(2);
  ws_->Rollback();
  EXPECT_EQ(Mine(0), "1");
  EXPECT_EQ(db->ExecuteSql("INSERT INTO T (ID) VALUES (8)"), 1);
}

}  // namespace
}  // namespace qv::dao::testing
