#include "platform/dao/Transaction.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "DaoTestSupport.h"
#include "platform/dao/Workspace.h"
#include "platform/jet/JetConnection.h"
#include "platform/jet/JetEngine.h"

namespace qv::dao::testing {
namespace {

using jet::JetType;

class TransactionTest : public DaoTest {
 protected:
  TransactionTest() { MakeTable(*db_, "T", {{"ID", JetType::kLong}}, {{"Id", "ID", true}}); }
  void Insert(int id) { db_->ExecuteSql("INSERT INTO T (ID) VALUES (" + std::to_string(id) + ")"); }
  std::string Rows() { return TableText(*db_, "T", "Id", {"ID"}); }
  int Depth() {
    return db_->IsServer() ? db_->ServerEngine().TransactionDepth()
                           : db_->Connection().TransactionDepth();
  }
};

// An outer scope with an inner one, each writing a row and registering an
// undo step; the join rule decides what the inner scope's end does.
TEST_F(TransactionTest, JoinRuleDecidesWhatAnInnerScopeEnds) {
  const struct {
    const char* what;
    // Both scopes inside a workspace transaction (the caller's) that then
    // commits (1) or rolls back (2); 0 none.
    int caller;
    TxJoin inner;
    bool innerCommits, outerCommits;
    int innerDepth;      // levels open inside the inner scope
    const char* rows;    // at the end (row 0 is the caller's, when there is one)
    const char* undone;  // undo steps run, in order
  } cases[] = {
      {"joined, both commit", 0, TxJoin::kJoin, true, true, 1, "1 | 2 | 3", ""},
      {"joined, inner left open", 0, TxJoin::kJoin, false, true, 1, "1 | 2 | 3", ""},
      {"joined, outer rolls back", 0, TxJoin::kJoin, true, false, 1, "", "ba"},
      {"nested, inner rolls back", 0, TxJoin::kNested, false, true, 2, "1 | 3", "b"},
      {"nested, outer rolls back", 0, TxJoin::kNested, true, false, 2, "", "ba"},
      {"caller's, outer rolls back", 1, TxJoin::kJoin, true, false, 2, "0", "ba"},
      {"caller's, both commit", 1, TxJoin::kJoin, true, true, 2, "0 | 1 | 2 | 3", ""},
      // The scopes committed as savepoints; the caller's rollback undoes
      // their rows and so runs their undo steps.
      {"caller's rolls back after both commit", 2, TxJoin::kJoin, true, true, 2, "", "ba"},
      {"caller's rolls back after a nested commit", 2, TxJoin::kNested, true, true, 3, "", "ba"},
  };
  auto ws = engine_->DefaultWorkspace();
  for (const auto& c : cases) {
    std::string undone;
    if (c.caller != 0) {
      ws->BeginTrans();
      Insert(0);
    }
    {
      Transaction outer(*db_);
      Insert(1);
      Transaction::OnRollback(*db_, [&] { undone += "a"; });
      {
        Transaction inner(*db_, {.join = c.inner});
        EXPECT_EQ(inner.Joined(), c.inner == TxJoin::kJoin) << c.what;
        EXPECT_EQ(Depth(), c.innerDepth) << c.what;
        Insert(2);
        Transaction::OnRollback(*db_, [&] { undone += "b"; });
        if (c.innerCommits) inner.Commit();
      }
      Insert(3);
      if (c.outerCommits) outer.Commit();
    }
    if (c.caller == 1) ws->CommitTrans(Variant());
    if (c.caller == 2) ws->Rollback();
    EXPECT_EQ(Depth(), 0) << c.what;
    EXPECT_EQ(Rows(), c.rows) << c.what;
    EXPECT_EQ(undone, c.undone) << c.what;
    db_->ExecuteSql("DELETE FROM T");
  }
  // No scope open: an undo step has nowhere to go and never runs.
  bool ran = false;
  Transaction::OnRollback(*db_, [&] { ran = true; });
  { Transaction tx(*db_); }
  EXPECT_FALSE(ran);
}

// A scope ends once: a second end, or an end of a joined scope, is refused.
TEST_F(TransactionTest, AScopeEndsOnce) {
  Insert(1);
  Transaction tx(*db_);
  Insert(2);
  tx.Rollback();
  EXPECT_EQ(Rows(), "1");
  ExpectError(3034, "", [&] { tx.Commit(); });
  ExpectError(3034, "", [&] { tx.Rollback(); });
  Transaction outer(*db_);
  Transaction joined(*db_);
  ExpectError(3034, "", [&] { joined.Rollback(); });
}

// kWriteLock holds the file's write lock from the start: another
// connection's write fails until the commit. A workspace scope covers every
// database of the workspace and ends with it.
TEST_F(TransactionTest, WriteLockKeepsOtherWritersOutUntilCommit) {
  engine_->SetLockTimeoutMs(50);
  auto other = engine_->CreateWorkspace("other", "admin", "", Variant(dbUseJet));
  auto writer = other->Open(db_->Name(), {});
  engine_->SetLockTimeoutMs(5000);
  auto write = [&](int id) {
    return testsupport::RaisedError([&] {
             // On a server the write lock keeps out the other write-locked
             // scopes; a plain write takes only its rows' locks.
             std::optional<Transaction> scope;
             if (writer->IsServer()) scope.emplace(*writer, kWriteLock);
             writer->ExecuteSql("INSERT INTO T (ID) VALUES (" + std::to_string(id) + ")");
             if (scope) scope->Commit();
           })
        .Number();
  };
  {
    Transaction tx(*db_, kWriteLock);
    EXPECT_EQ(write(7), 3218);
    Insert(1);
    tx.Commit();
  }
  EXPECT_EQ(write(7), 0);
  {
    Transaction tx(*engine_->DefaultWorkspace(), kWriteLock);
    EXPECT_EQ(write(8), 3218);
    Insert(2);
  }
  EXPECT_EQ(write(8), 0);
  EXPECT_EQ(Rows(), "1 | 7 | 8");
  EXPECT_EQ(engine_->DefaultWorkspace()->TransactionDepth(), 0);
}

// Steps registered with AfterCommit run once the rows are committed, in
// the order registered: a joined scope or a nested level that commits hands
// them to the scope around it, a rollback drops those its level holds, a
// failing step does not stop the others, and with no scope open a step runs
// at once. "|" marks where each case has come before its last commit; a
// step that runs while a level is still open shows "(open)".
TEST_F(TransactionTest, AfterCommitStepsWaitForTheOutermostCommit) {
  std::string ran;
  // A case's script: a letter registers that step ("!" one that throws),
  // "(" opens a scope, "{" a nested level, "<" the caller's transaction of
  // the workspace; "]" commits the innermost and ends it, ")" rolls it
  // back, "-" ends it as it is (which rolls a scope back).
  const auto run = [&](std::string_view script) {
    std::vector<std::unique_ptr<Transaction>> open;
    auto ws = engine_->DefaultWorkspace();
    for (char c : script) {
      switch (c) {
        case '(':
        case '{':
          open.push_back(std::make_unique<Transaction>(
              *db_, TxOptions{.join = c == '{' ? TxJoin::kNested : TxJoin::kJoin}));
          break;
        case '<':
          ws->BeginTrans();
          open.push_back(nullptr);
          break;
        case ']':
        case ')':
          if (!open.back())
            c == ']' ? ws->CommitTrans(Variant()) : ws->Rollback();
          else
            c == ']' ? open.back()->Commit() : open.back()->Rollback();
          [[fallthrough]];
        case '-':
          open.pop_back();
          break;
        case '|':
          ran += "|";
          break;
        case '!':
          dao::Transaction::AfterCommit(*db_, [] { throw std::runtime_error("step fails"); });
          break;
        default:
          dao::Transaction::AfterCommit(*db_, [&ran, c, this] {
            ran += c;
            if (Depth() != 0) ran += "(open)";
          });
      }
    }
  };
  const struct {
    const char* what;
    const char* script;
    const char* expected;
  } cases[] = {
      {"no scope", "A|", "A|"},
      {"one scope", "(AB|]", "|AB"},
      {"joined scope", "(A(B]C|]", "|ABC"},
      {"nested level commits", "(A{BC]D|]", "|ABCD"},
      {"nested level rolls back", "(A{B-C|]", "|AC"},
      {"outer scope rolls back after a nested commit", "(A{B]|)", "|"},
      // Scopes inside the caller's transaction are savepoints of it: their
      // steps, and those registered outside any scope, wait for the
      // caller's commit, and its rollback drops them.
      {"the caller's transaction commits", "<(A]B|]", "|AB"},
      {"the caller's transaction rolls back", "<(A]B|)", "|"},
      {"a failing step", "(A!B|]", "|AB"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ran.clear();
    ExpectError(0, "", [&] { run(c.script); });
    EXPECT_EQ(ran, c.expected);
    EXPECT_EQ(Depth(), 0);
  }
}

}  // namespace
}  // namespace qv::dao::testing
