#include "platform/jet/JetConnection.h"

#include <filesystem>
#include <fstream>
#include <functional>

#include "CatalogTestTables.h"
#include "JetTestSupport.h"

namespace qv::jet::testing {
namespace {

TEST(JetConnectionFiles, OpenAndCreateErrorsNameThePath) {
  TempFolder folder;
  std::string missing = folder.File("Quivane.mdb");
  std::string noFolder = folder.File("no/such/Kladr.mdb");
  std::string text = folder.File("notes.mdb");
  std::ofstream(text) << "this is not a database, just some text that is long enough to be "
                         "read as a header by the engine and rejected by it.";
  struct Case {
    std::string path;
    bool create;
    int32_t number;
    std::string description;
  };
  const Case cases[] = {
      {missing, false, 3024, "Could not find file '" + missing + "'."},
      {noFolder, false, 3044, "'" + noFolder + "' is not a valid path."},
      {noFolder, true, 3044, "'" + noFolder + "' is not a valid path."},
      {text, false, 3343, "Unrecognized database format '" + text + "'."},
      {text, true, 3204, "Database already exists."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const std::string description =
        ExpectError(c.number, "", [&] {
          c.create ? Connection::Create(c.path) : Connection::Open(c.path);
        }).Description();
    EXPECT_TRUE(description.starts_with(c.description)) << description;
  }
}

// A file that is no database of ours is refused as it is: an open writes
// nothing into it and leaves nothing beside it.
TEST(JetConnectionFiles, FilesNotOursAreRefusedUntouched) {
  TempFolder folder;
  const std::string empty = folder.File("Empty.mdb");
  std::ofstream(empty).close();
  // Another program's SQLite file, with SQLite's default rollback journal.
  const std::string foreign = folder.File("Foreign.mdb");
  Connection::Create(foreign)->ExecuteNative(
      "DROP TABLE _jet_meta; DROP TABLE _jet_columns; DROP TABLE _jet_indexes; "
      "CREATE TABLE Country (ID INTEGER); PRAGMA journal_mode = DELETE");
  const std::string text = folder.File("Text.mdb");
  std::ofstream(text) << std::string(4096, 'x');
  for (const std::string& path : {empty, foreign, text}) {
    for (bool readOnly : {false, true}) {
      SCOPED_TRACE(path + (readOnly ? " read-only" : ""));
      const std::string before = testsupport::ReadFileText(path);
      ExpectError(3343, "Unrecognized database format '" + path + "'.",
                  [&] { Connection::Open(path, {.readOnly = readOnly}); });
      EXPECT_EQ(testsupport::ReadFileText(path), before);
      for (const char* side : {"-wal", "-shm", "-journal"})
        EXPECT_FALSE(std::filesystem::exists(path + side)) << side;
    }
  }
}

TEST(JetConnectionFiles, LocaleIsKeptAndReadOnlyRefusesWrites) {
  TempFolder folder;
  std::string path = folder.File("Okato.mdb");
  {
    auto db = Connection::Create(path, kLocaleGeneral);
    db->Schema().CreateTable({"T", {{"A", JetType::kLong}}, {}});
  }
  auto ro = Connection::Open(path, {.readOnly = true});
  EXPECT_EQ(ro->Locale(), kLocaleGeneral);
  EXPECT_TRUE(ro->IsReadOnly());
  ExpectError(3027, "", [&] { ro->ExecuteNative("INSERT INTO T VALUES (1)"); });
  auto rw = Connection::Open(path);
  EXPECT_EQ(rw->ExecuteNative("INSERT INTO T VALUES (1)"), 1);
  Statement s = ro->PrepareNative("SELECT A FROM T");
  ASSERT_TRUE(s.Step());
  EXPECT_EQ(s.Value(0), Variant(int32_t{1}));
}

// Two connections to one file with table T(A): `a` the test's own, `b`
// another that waits 50 ms for a lock.
class TwoConnections : public JetTest {
 protected:
  TwoConnections() {
    db_->Schema().CreateTable({"T", {{"A", JetType::kLong}}, {}});
    b = Connection::Open(db_->Path(), {.busyTimeoutMs = 50});
  }
  // T's rows as `b` reads them.
  std::string Seen() {
    Statement st = b->PrepareNative("SELECT group_concat(A) FROM (SELECT A FROM T ORDER BY A)");
    st.Step();
    return st.Text(0);
  }
  std::shared_ptr<Connection>& a = db_;
  std::shared_ptr<Connection> b;
};

// The data generation, which caches of rows key on, moves with what may
// have changed rows this connection read, and stays after what did not.
TEST_F(TwoConnections, TheDataGenerationMovesWithWhatMayChangeRowsRead) {
  const struct {
    const char* event;
    std::function<void()> run;
    bool moves;
  } events[] = {
      {"nothing", [] {}, false},
      {"a read", [&] { a->PrepareNative("SELECT count(*) FROM T").Step(); }, false},
      {"another connection's commit", [&] { b->ExecuteNative("INSERT INTO T VALUES (1)"); }, true},
      {"an own transaction's commit",
       [&] {
         a->BeginTrans(true);
         a->ExecuteNative("INSERT INTO T VALUES (2)");
         a->CommitTrans();
       },
       false},
      {"a rollback of a write",
       [&] {
         a->BeginTrans();
         a->ExecuteNative("INSERT INTO T VALUES (3)");
         a->Rollback();
       },
       true},
      {"a rollback of reads",
       [&] {
         a->BeginTrans();
         a->PrepareNative("SELECT count(*) FROM T").Step();
         a->Rollback();
       },
       false},
      {"an own change of the schema", [&] { a->Execute("CREATE TABLE U (x LONG)"); }, true},
      {"another connection's change of the schema", [&] { b->Execute("CREATE TABLE V (x LONG)"); },
       true},
  };
  uint64_t before = a->DataGeneration();
  for (const auto& e : events) {
    e.run();
    const uint64_t after = a->DataGeneration();
    EXPECT_EQ(after != before, e.moves) << e.event;
    before = after;
  }
}

// An immediate outermost level holds the write lock from its start: another
// connection can neither write nor begin one until it ends; a deferred one
// lets the other writer in, and its own later write then fails. Nested
// levels inside an immediate one commit and roll back as savepoints.
TEST_F(TwoConnections, ImmediateTransactionsHoldTheWriteLockFromTheStart) {
  a->BeginTrans(true);
  ExpectError(3218, "", [&] { b->ExecuteNative("INSERT INTO T VALUES (9)"); });
  ExpectError(3218, "", [&] { b->BeginTrans(true); });
  EXPECT_EQ(b->TransactionDepth(), 0);
  a->ExecuteNative("INSERT INTO T VALUES (1)");
  a->BeginTrans(true);  // inner: a savepoint
  a->ExecuteNative("INSERT INTO T VALUES (2)");
  a->Rollback();
  a->BeginTrans();
  a->ExecuteNative("INSERT INTO T VALUES (3)");
  a->CommitTrans();
  EXPECT_EQ(Seen(), "");
  a->CommitTrans();
  EXPECT_EQ(a->TransactionDepth(), 0);
  EXPECT_EQ(Seen(), "1,3");

  a->BeginTrans(true);
  a->ExecuteNative("INSERT INTO T VALUES (4)");
  a->Rollback();
  EXPECT_EQ(Seen(), "1,3");
  EXPECT_EQ(b->ExecuteNative("INSERT INTO T VALUES (5)"), 1);  // the lock is free again

  // Deferred: the read does not keep the other writer out, and the write
  // after its commit cannot be made on the stale snapshot.
  a->BeginTrans();
  Statement read = a->PrepareNative("SELECT max(A) FROM T");
  ASSERT_TRUE(read.Step());
  EXPECT_EQ(read.Int64(0), 5);
  read.Reset();
  EXPECT_EQ(b->ExecuteNative("INSERT INTO T VALUES (6)"), 1);
  ExpectError(3218, "", [&] { a->ExecuteNative("INSERT INTO T VALUES (6)"); });
  a->Rollback();
  EXPECT_EQ(Seen(), "1,3,5,6");
}

class ConnectionTest : public JetTest {
 protected:
  ConnectionTest() { db_->Schema().CreateTable(EveryTypeTable()); }
  // The first column of a statement's rows, a space after each.
  static std::string Rows(Statement s) {
    std::string seen;
    while (s.Step()) seen += std::to_string(s.Int64(0)) + " ";
    return seen;
  }
};

// A native statement given back to the cache starts unbound (one taken while
// another of its text steps is EngineStatements' case).
TEST_F(ConnectionTest, CachedNativeStatementsStartUnboundAndKeptTextsFollowTheSchema) {
  db_->ExecuteNative("INSERT INTO T (Id) VALUES (1), (2), (3)");
  const std::string sql = "SELECT Id FROM T WHERE Id >= ? ORDER BY Id";
  // The second statement of the text is kept idle with its binding; taken
  // again, it binds Null.
  for (int i = 0; i < 2; ++i) db_->PrepareNative(sql).Bind(1, Variant(int32_t{1}));
  EXPECT_FALSE(db_->PrepareNative(sql).Step());
  // A text its caller keeps (NativeText) is prepared again after a change of
  // the schema, and holds no statement once the connection closes: one left
  // would keep the file open and its -wal beside it.
  Connection::NativeText kept;
  const auto columns = [&] { return db_->PrepareNative("SELECT * FROM T", kept).ColumnCount(); };
  const int before = columns();
  db_->Execute("ALTER TABLE T ADD COLUMN More LONG");
  for (int i = 0; i < 2; ++i) EXPECT_EQ(columns(), before + 1);  // the second one kept idle
  db_.reset();
  EXPECT_FALSE(std::filesystem::exists(folder_.File("Test.mdb") + "-wal"));
}

// A Jet text keeps its statement and binds its literals again on each
// prepare: texts of one shape (the same statement, other literals), the same
// text again, and two of one shape stepping at once each see their own
// values, of every kind of literal.
TEST_F(ConnectionTest, CachedTextsBindTheirOwnLiterals) {
  const char* guid = "{guid {6F9619FF-8B86-D011-B42D-00C04FC964FF}}";
  db_->Execute("INSERT INTO T (Id, Txt, Dbl) VALUES (1, 'a''b', 2.5)");
  db_->Execute("INSERT INTO T (Id, Txt, Dbl) VALUES (2, \"a\"\"b\", 30)");
  db_->Execute("INSERT INTO T (Id, Txt, Dbl) VALUES (3, 'x', -1)");
  db_->Execute(std::string("INSERT INTO T (Id, Txt, G) VALUES (4, '', ") + guid + ")");
  const auto ids = [&](const std::string& sql) { return Rows(db_->Prepare(sql)); };
  const struct {
    std::string sql, expected;
  } cases[] = {
      {"SELECT Id FROM T WHERE Txt = 'x'", "3 "},
      {"SELECT Id FROM T WHERE Txt = 'a''b'", "1 "},
      {"SELECT Id FROM T WHERE Txt = \"a\"\"b\"", "2 "},
      {"SELECT Id FROM T WHERE Txt = 'nothing'", ""},
      {"SELECT Id FROM T WHERE Id > 2 ORDER BY Id", "3 4 "},
      {"SELECT Id FROM T WHERE Id > 0 ORDER BY Id", "1 2 3 4 "},
      {"SELECT Id FROM T WHERE Id > 9999999999", ""},
      // a literal written into the statement before one bound
      {"SELECT TOP 2 Id FROM T WHERE Id > 0 ORDER BY Id", "1 2 "},
      {"SELECT TOP 3 Id FROM T WHERE Id > 1 ORDER BY Id", "2 3 4 "},
      {"SELECT Id FROM T WHERE Dbl = 2.5", "1 "},
      {"SELECT Id FROM T WHERE Dbl > 1E1", "2 "},
      // parameters numbered past nine
      {"SELECT Id FROM T WHERE Id IN (91, 92, 93, 94, 95, 96, 97, 98, 99, 3, 4) ORDER BY Id",
       "3 4 "},
      // one text after another differing in the last literal: its kind,
      // length and value (a Long, a Double, a whole number past Long)
      {"SELECT Id FROM T WHERE Id = 3", "3 "},
      {"SELECT Id FROM T WHERE Id = 1", "1 "},
      {"SELECT Id FROM T WHERE Id = 4294967298", ""},
      {"SELECT Id FROM T WHERE Id = 2.0", "2 "},
      {"SELECT Id FROM T WHERE Id = 40", ""},
      {"SELECT Id FROM T WHERE Id = .4E1", "4 "},
      // the last literal a column's number: its value is the translation's
      {"SELECT Id, Dbl FROM T WHERE Id > 0 ORDER BY 2", "4 3 1 2 "},
      {"SELECT Id, Dbl FROM T WHERE Id > 0 ORDER BY 1", "1 2 3 4 "},
      {std::string("SELECT Id FROM T WHERE G = ") + guid, "4 "},
  };
  for (int round = 0; round < 3; ++round)
    for (const auto& c : cases) {
      SCOPED_TRACE(c.sql);
      EXPECT_EQ(ids(c.sql), c.expected);
      EXPECT_EQ(ids(c.sql), c.expected);  // its statement given back, taken again
    }
  // A caller's own binding is not kept for the text's next prepare.
  db_->Prepare("SELECT Id FROM T WHERE Id = 3").Bind(1, Variant(int32_t{1}));
  EXPECT_EQ(ids("SELECT Id FROM T WHERE Id = 3"), "3 ");
  // One shape stepping twice at once: the second prepare takes a statement
  // of its own and binds its own literal, leaving alone the bytes the first
  // one's text is bound from.
  Statement outer = db_->Prepare("SELECT Id FROM T WHERE Txt >= 'a' ORDER BY Id");
  ASSERT_TRUE(outer.Step());
  EXPECT_EQ(ids("SELECT Id FROM T WHERE Txt >= 'y' ORDER BY Id"), "");
  EXPECT_EQ(outer.Int64(0), 1);
  ASSERT_TRUE(outer.Step());
  EXPECT_EQ(outer.Int64(0), 2);
  ASSERT_TRUE(outer.Step());
  EXPECT_EQ(outer.Int64(0), 3);
  EXPECT_FALSE(outer.Step());
  outer.Reset();  // run again: its literal read again where it was bound
  EXPECT_EQ(Rows(std::move(outer)), "1 2 3 ");
}

// A full cache drops its oldest text for each new one, whichever way it was
// kept (a shape's one translation, one by literal values, a native text): a
// statement taken before keeps stepping, and a text dropped comes back.
TEST_F(ConnectionTest, AFullCacheDropsItsOldestTexts) {
  db_->ExecuteNative("INSERT INTO T (Id) VALUES (1), (2), (3)");
  // Its text literal is read where the connection keeps its text: the
  // texts after it leave those bytes alone while it is out.
  Statement held = db_->Prepare("SELECT Id & 'held' FROM T WHERE Id > 1 ORDER BY Id");
  ASSERT_TRUE(held.Step());
  for (int i = 0; i < 1200; ++i) {
    SCOPED_TRACE(i);
    const std::string n = std::to_string(i % 700);
    // A new text may take the storage of a dropped one: nothing of it stays.
    Statement named = db_->Prepare("SELECT Id AS c" + n + " FROM T WHERE Id = 2");
    ASSERT_EQ(named.Column(0).name, "c" + n);
    ASSERT_EQ(Rows(std::move(named)), "2 ");
    ASSERT_EQ(Rows(db_->Prepare("SELECT TOP " + std::to_string(i % 700 + 1) +
                                " Id FROM T ORDER BY Id DESC")),
              std::string("3 2 1 ").substr(0, 2 * std::min(i % 700 + 1, 3)));
    ASSERT_EQ(Rows(db_->PrepareNative("SELECT count(*) + " + n + " FROM T")),
              std::to_string(i % 700 + 3) + " ");
  }
  ASSERT_TRUE(held.Step());
  EXPECT_EQ(held.Text(0), "3held");
  held.Reset();  // run again: its literal read again where it was bound
  ASSERT_TRUE(held.Step());
  EXPECT_EQ(held.Text(0), "2held");
}

// A native statement's engine errors name the source its caller set (the
// numbers themselves are checked through the engine in EngineStatements).
TEST_F(ConnectionTest, ErrorsNameTheStatementsSource) {
  Statement dup =
      db_->PrepareNative("INSERT INTO T (Id, Txt) VALUES (2, 'abcdefghijklmnopqrstuvwxyz')");
  EXPECT_EQ(ExpectError(3163, "", [&] { dup.Run(); }).Source(), "DAO.Database");
  dup.SetSource(kSourceRecordset);
  EXPECT_EQ(ExpectError(3163, "", [&] { dup.Run(); }).Source(), "DAO.Recordset");
}

}  // namespace
}  // namespace qv::jet::testing
