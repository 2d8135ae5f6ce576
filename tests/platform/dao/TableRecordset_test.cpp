#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>

#include "DaoTestSupport.h"
#include "platform/dao/Transaction.h"
#include "platform/jet/JetConnection.h"

namespace qv::dao::testing {
namespace {

using jet::JetType;

class TableRecordsetTest : public DaoTest {
 protected:
  void SetUp() override {
    MakeTable(*db_, "Cells",
              {{"ID", JetType::kLong, 0, true},
               {"Doc", JetType::kLong},
               {"Key", JetType::kText, 10},
               {"Line", JetType::kInteger},
               {"Val", JetType::kText, 20, true, "\"-\""}},
              {{"ID", "ID", true}, {"SubDoc", "Doc;Key;Line"}, {"DocLine", "Doc;-Line"}});
    // In SubDoc order: 1 2 3 4 6 5 7; in DocLine order: 2 1 3 5 4 6 7.
    for (const char* row : {"1, 1, 'a', 1", "2, 1, 'a', 2", "3, 1, 'b', 1", "4, 2, 'a', 1",
                            "5, 2, 'c', 5", "6, 2, 'c', Null", "7, 3, 'b', 1"})
      db_->ExecuteSql(std::string("INSERT INTO Cells (ID, Doc, Key, Line) VALUES (") + row + ")");
  }
};

std::vector<Variant> Keys(std::initializer_list<Variant> keys) {
  return keys;
}

// Seek positions on the first row ("=", ">=", ">") or the last row ("<=",
// "<") that satisfies the comparison in index order; walking from there in
// either direction follows the index.
TEST_F(TableRecordsetTest, SeekFindsTheRowOfEachComparisonAndWalksTheIndex) {
  const std::map<std::string, std::string> orders = {
      {"SubDoc", "1 2 3 4 6 5 7"}, {"DocLine", "2 1 3 5 4 6 7"}, {"id", "1 2 3 4 5 6 7"}};
  const struct {
    const char* index;
    const char* cmp;
    std::vector<Variant> keys;
    const char* found;  // ID, or "" for NoMatch
  } cases[] = {
      {"SubDoc", "=", Keys({1}), "1"},
      {"SubDoc", "=", Keys({1, "b"}), "3"},
      {"SubDoc", "=", Keys({1, "A", 2}), "2"},  // texts compare without case
      {"SubDoc", "=", Keys({2, "c"}), "6"},     // Null sorts first
      {"SubDoc", "=", Keys({2, "c", Variant::Null()}), "6"},
      {"SubDoc", "=", Keys({2, "c", 5.0}), "5"},  // a Double key on an Integer column
      {"SubDoc", "=", Keys({"2", "c", 5}), "5"},  // a numeric text key on a Long column
      {"SubDoc", "=", Keys({4}), ""},
      {"SubDoc", "=", Keys({1, "c"}), ""},
      {"SubDoc", ">=", Keys({0}), "1"},
      {"SubDoc", ">=", Keys({1, "c"}), "4"},
      {"SubDoc", ">=", Keys({2, "c", 1}), "5"},
      {"SubDoc", ">=", Keys({4}), ""},
      {"SubDoc", ">", Keys({2}), "7"},
      {"SubDoc", ">", Keys({2, "a"}), "6"},
      {"SubDoc", ">", Keys({2, "c", Variant::Null()}), "5"},
      {"SubDoc", ">", Keys({3, "b", 1}), ""},
      {"SubDoc", "<=", Keys({2, "b"}), "4"},
      {"SubDoc", "<=", Keys({2}), "5"},
      {"SubDoc", "<=", Keys({2, "zz"}), "5"},
      {"SubDoc", "<=", Keys({2, 10}), "3"},  // a number as text: digits sort before letters
      {"SubDoc", "<=", Keys({3, "b", 1}), "7"},
      {"SubDoc", "<=", Keys({0}), ""},
      {"SubDoc", "<", Keys({2}), "3"},
      {"SubDoc", "<", Keys({2, "c", 5}), "6"},
      {"SubDoc", "<", Keys({2, "c", Variant::Null()}), "4"},
      {"SubDoc", "<", Keys({1}), ""},
      {"SubDoc", " < ", Keys({1, "b"}), "2"},  // spaces around the comparison
      {"DocLine", "=", Keys({2}), "5"},
      {"DocLine", ">=", Keys({2, 3}), "4"},
      {"DocLine", ">", Keys({2, 1}), "6"},
      {"DocLine", ">", Keys({2, Variant::Null()}), "7"},  // nulls last when descending
      {"DocLine", "<=", Keys({1, 1}), "3"},
      {"DocLine", "<", Keys({2, 5}), "3"},
      {"DocLine", "<", Keys({2, Variant::Null()}), "4"},
      {"DocLine", "<=", Keys({2, Variant::Null()}), "6"},
      {"id", "=", Keys({6}), "6"},
      {"id", "<", Keys({6}), "5"},
      {"id", ">", Keys({7}), ""},
  };
  auto rs = db_->OpenTable("Cells");
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.index) + " " + c.cmp + " " + std::to_string(c.keys.size()));
    rs->SetIndex(c.index);
    rs->Seek(c.cmp, c.keys);
    ASSERT_EQ(rs->NoMatch(), *c.found == 0);
    if (*c.found == 0) {
      EXPECT_TRUE(rs->IsEOF());
      ExpectError(3021, "", [&] { rs->FieldValue("ID"); });
      continue;
    }
    // The walks from the row found, in index order and back (IDs are one digit).
    const std::string& order = orders.at(c.index);
    const size_t at = order.find(c.found);
    std::string backward = order.substr(0, at + 1);
    std::reverse(backward.begin(), backward.end());
    EXPECT_EQ(WalkForward(*rs, "ID"), order.substr(at));
    rs->Seek(c.cmp, c.keys);
    EXPECT_EQ(WalkForward(*rs, "ID", false), backward);
  }
}

// Writes through the cursor while it walks the rows of one key: the cursor
// finds its way by key, so an edited row moves in the walk, a deleted row
// leads on to its successor and an added row shows up in its place.
TEST_F(TableRecordsetTest, WalkSurvivesWritesThroughTheSameCursor) {
  auto rs = db_->OpenTable("Cells");
  rs->SetIndex("SubDoc");
  rs->Seek("=", Keys({2}));
  ASSERT_FALSE(rs->NoMatch());
  std::string visited;
  std::set<int32_t> done;
  while (!rs->IsEOF() && CLng(rs->FieldValue("Doc")) == 2) {
    int32_t id = CLng(rs->FieldValue("ID"));
    visited += (visited.empty() ? "" : " ") + std::to_string(id);
    bool first = done.insert(id).second;
    if (id == 4 && first) {  // moves within the walk: (2,a,1) -> (2,a,9)
      WriteRow(*rs, false, {{"Line", Variant(9)}});
      EXPECT_EQ(RowText(*rs, {"ID", "Line"}), "4,9");  // still on the edited row
    } else if (id == 6 && first) {
      rs->Delete();
      ExpectError(3167, "", [&] { rs->FieldValue("ID"); });
    } else if (id == 5 && first) {
      WriteRow(
          *rs, true,
          {{"ID", Variant(8)}, {"Doc", Variant(2)}, {"Key", Variant("z")}, {"Line", Variant(1)}});
      EXPECT_EQ(RowText(*rs, {"ID"}), "5");  // back where it was before AddNew
    } else if (id == 8 && first) {           // moves back before the rows already seen
      WriteRow(*rs, false, {{"Key", Variant("b")}});
    }
    rs->MoveNext();
  }
  EXPECT_EQ(visited, "4 6 5 8 5");
  EXPECT_EQ(RowText(*rs, {"ID"}), "7");
  EXPECT_EQ(TableText(*db_, "Cells", "SubDoc", {"ID", "Doc", "Key", "Line", "Val"}),
            "1,1,a,1,- | 2,1,a,2,- | 3,1,b,1,- | 4,2,a,9,- | 8,2,b,1,- | 5,2,c,5,- | 7,3,b,1,-");
}

// Recordsets opened one after another reuse the statements of their seeks
// and writes; whatever dropped the connection's statement cache in between
// (its own clearing, a full cache, a change of the schema), the next
// recordset seeks, edits and adds rows as the first did.
TEST_F(TableRecordsetTest, SeeksAndWritesOfLaterRecordsetsAfterTheCacheIsDropped) {
  if (TestPlaces::OnServer()) GTEST_SKIP() << "the file connection's statement cache";
  const struct {
    const char* between;
    std::function<void()> drop;
  } cases[] = {
      {"nothing", [] {}},
      {"cleared", [&] { db_->Connection().ClearCaches(); }},
      {"full",
       [&] {
         for (int i = 0; i < 600; ++i)
           db_->Connection().PrepareNative("SELECT " + std::to_string(i) + " FROM Cells");
       }},
      {"schema", [&] { db_->Connection().ExecuteNative("CREATE TABLE Other (X INTEGER)"); }},
  };
  int32_t id = 100;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.between);
    for (int round = 0; round < 2; ++round) {
      if (round == 1) c.drop();
      auto rs = db_->OpenTable("Cells");
      rs->SetIndex("ID");
      rs->Seek("=", Keys({4}));
      ASSERT_FALSE(rs->NoMatch());
      WriteRow(*rs, false, {{"Val", Variant(std::string(c.between) + std::to_string(round))}});
      WriteRow(*rs, true, {{"ID", Variant(++id)}, {"Doc", Variant(9)}});
      rs->Close();
      auto check = db_->OpenTable("Cells");
      check->SetIndex("ID");
      check->Seek("=", Keys({4}));
      EXPECT_EQ(RowText(*check, {"ID", "Val"}),
                "4," + std::string(c.between) + std::to_string(round));
      check->Seek("=", Keys({id}));
      EXPECT_EQ(RowText(*check, {"ID", "Doc", "Val"}), std::to_string(id) + ",9,-");
    }
  }
  EXPECT_EQ(TableText(*db_, "Cells", "", {"ID"}),
            "1 | 2 | 3 | 4 | 5 | 6 | 7 | 101 | 102 | 103 | 104 | 105 | 106 | 107 | 108");
}

// An updated row is read again only when looked at: one deleted by another
// statement in between reads as deleted, and the walk goes on from the key
// it was updated to (in DocLine order from (2, 0) to 6, not from (2, 5) to 4).
TEST_F(TableRecordsetTest, UpdatedRowDeletedBeforeItIsReadAgain) {
  auto rs = db_->OpenTable("Cells");
  rs->SetIndex("DocLine");
  rs->Seek("=", Keys({2, 5}));
  WriteRow(*rs, false, {{"Line", Variant(0)}});
  db_->ExecuteSql("DELETE FROM Cells WHERE ID = 5");
  ExpectError(3167, "", [&] { rs->FieldValue("ID"); });
  rs->MoveNext();
  EXPECT_EQ(RowText(*rs, {"ID"}), "6");
}

// SeekUnread finds the row Seek finds but reads only its position: what
// follows (a field looked at, a walk, an Edit of some fields, a Delete)
// sees and writes the row as stored. Each case runs in a transaction that
// is rolled back.
TEST_F(TableRecordsetTest, SeekUnreadActsOnTheStoredRow) {
  const std::string stored =
      "1,a,1,- | 2,a,2,- | 3,b,1,- | 4,a,1,- | 6,c,Null,- | 5,c,5,- | 7,b,1,-";
  const struct {
    const char* what;
    const char* index;
    std::vector<Variant> keys;
    std::function<std::string(Recordset&)> then;
    std::string seen;
    std::string table;  // ID,Key,Line,Val in SubDoc order
  } cases[] = {
      {"fields, then a walk", "DocLine", Keys({2, 5}),
       [](Recordset& rs) {
         std::string row = RowText(rs, {"ID", "Key", "Val"});
         return row + " " + WalkForward(rs, "ID");
       },
       "5,c,- 5 4 6 7", stored},
      {"a walk before any field", "SubDoc", Keys({2, "c"}),
       [](Recordset& rs) {
         rs.MovePrevious();
         return RowText(rs, {"ID"});
       },
       "4", stored},
      {"an edit of one field", "ID", Keys({3}),
       [](Recordset& rs) {
         rs.Edit();
         rs.SetField("Val", Variant("x"));
         std::string during = RowText(rs, {"Key", "Line", "Val"});
         rs.Update();
         return during + " " + RowText(rs, {"ID", "Key", "Val"});
       },
       "b,1,x 3,b,x", "1,a,1,- | 2,a,2,- | 3,b,1,x | 4,a,1,- | 6,c,Null,- | 5,c,5,- | 7,b,1,-"},
      {"an edit of a key, then on", "SubDoc", Keys({1, "a", 2}),
       [](Recordset& rs) {
         WriteRow(rs, false, {{"Key", Variant("c")}});
         rs.MoveNext();
         return RowText(rs, {"ID"});
       },
       "4", "1,a,1,- | 3,b,1,- | 2,c,2,- | 4,a,1,- | 6,c,Null,- | 5,c,5,- | 7,b,1,-"},
      {"a delete, then on", "SubDoc", Keys({1, "b"}),
       [](Recordset& rs) {
         rs.Delete();
         rs.MoveNext();
         return RowText(rs, {"ID"});
       },
       "4", "1,a,1,- | 2,a,2,- | 4,a,1,- | 6,c,Null,- | 5,c,5,- | 7,b,1,-"},
      {"the row deleted under the edit", "ID", Keys({5}),
       [this](Recordset& rs) {
         rs.Edit();
         rs.SetField("Val", Variant("x"));
         db_->ExecuteSql("DELETE FROM Cells WHERE ID = 5");
         // On both engines the row is read when a field is looked at (a
         // server's probe read the key alone).
         ExpectError(3167, "", [&] { rs.FieldValue("Key"); });
         ExpectError(3167, "", [&] { rs.Update(); });
         return std::string();
       },
       "", "1,a,1,- | 2,a,2,- | 3,b,1,- | 4,a,1,- | 6,c,Null,- | 7,b,1,-"},
      {"no match", "SubDoc", Keys({1, "c"}),
       [](Recordset& rs) {
         ExpectError(3021, "", [&] { rs.Edit(); });
         return std::string(rs.NoMatch() && rs.IsEOF() ? "none" : "a row");
       },
       "none", stored},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Transaction tx(*db_);
    auto rs = db_->OpenTable("Cells");
    rs->SetIndex(c.index);
    rs->SeekUnread("=", c.keys);
    EXPECT_EQ(c.then(*rs), c.seen);
    EXPECT_EQ(TableText(*db_, "Cells", "SubDoc", {"ID", "Key", "Line", "Val"}), c.table);
  }
}

TEST_F(TableRecordsetTest, AddNewEditCancelAndTheTableRules) {
  auto rs = db_->OpenTable("Cells");
  rs->SetIndex("ID");
  rs->Seek("=", Keys({3}));

  // AddNew shows the defaults; CancelUpdate leaves the table and the position.
  rs->AddNew();
  EXPECT_EQ(rs->EditMode(), dbEditAdd);
  EXPECT_EQ(Text(rs->FieldValue("Val")), "-");
  EXPECT_EQ(Text(rs->FieldValue("Doc")), "Null");
  rs->SetField("ID", Variant(100));
  rs->CancelUpdate();
  EXPECT_EQ(rs->EditMode(), dbEditNone);
  EXPECT_EQ(RowText(*rs, {"ID"}), "3");
  EXPECT_EQ(rs->RecordCount(), 7);

  const struct {
    const char* what;
    std::function<void()> write;
    int32_t error;
  } cases[] = {
      {"text longer than the field", [&] { rs->SetField("Key", Variant("12345678901")); }, 3163},
      {"a text that is no number", [&] { rs->SetField("Doc", Variant("many")); }, 3421},
      {"Integer overflow", [&] { rs->SetField("Line", Variant(70000)); }, 3349},
      {"required field left Null", [&] { rs->Update(); }, 3314},
      {"duplicate primary key",
       [&] {
         rs->SetField("ID", Variant(3));
         rs->Update();
       },
       3022},
  };
  rs->AddNew();
  rs->SetField("Key", Variant("1234567890"));  // exactly the size
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.what);
    ExpectError(c.error, "", c.write);
    EXPECT_EQ(rs->EditMode(), dbEditAdd);  // a failed Update keeps the edit
  }
  rs->SetField("ID", Variant(9));
  rs->Update();
  EXPECT_EQ(RowText(*rs, {"ID"}), "3");
  rs->SetBookmark(rs->LastModified());
  EXPECT_EQ(RowText(*rs, {"ID", "Key", "Val"}), "9,1234567890,-");
  EXPECT_EQ(rs->RecordCount(), 8);

  // Edit shows the row with the fields set; a refresh under the edit (a
  // rollback, Idle) keeps the row it started from; CancelUpdate drops the
  // change and shows the row as stored; a move drops it too.
  rs->Edit();
  rs->SetField("Val", Variant("changed"));
  EXPECT_EQ(RowText(*rs, {"ID", "Key", "Val"}), "9,1234567890,changed");
  db_->ExecuteSql("UPDATE Cells SET Key = 'other' WHERE ID = 9");
  rs->Refresh();
  EXPECT_EQ(RowText(*rs, {"Key", "Val"}), "1234567890,changed");
  rs->CancelUpdate();
  EXPECT_EQ(RowText(*rs, {"Key", "Val"}), "other,-");
  rs->Edit();
  rs->SetField("Val", Variant("lost"));
  rs->MoveFirst();
  EXPECT_EQ(rs->EditMode(), dbEditNone);
  EXPECT_EQ(TableText(*db_, "Cells", "", {"Val"}), "- | - | - | - | - | - | - | -");
}

TEST_F(TableRecordsetTest, DeleteAndMovesAtTheEnds) {
  auto rs = db_->OpenTable("Cells");
  rs->SetIndex("ID");
  EXPECT_EQ(RowText(*rs, {"ID"}), "1");  // a table opens on its first row
  rs->MoveLast();
  rs->Delete();
  ExpectError(3167, "", [&] { rs->Edit(); });
  rs->MoveNext();
  EXPECT_TRUE(rs->IsEOF());
  ExpectError(3021, "", [&] { rs->MoveNext(); });
  rs->MovePrevious();
  EXPECT_EQ(RowText(*rs, {"ID"}), "6");
  rs->Move(-2);
  EXPECT_EQ(RowText(*rs, {"ID"}), "4");
  rs->Move(10);
  EXPECT_TRUE(rs->IsEOF());
  rs->MoveFirst();
  rs->Move(-1);
  EXPECT_TRUE(rs->IsBOF());
  ExpectError(3021, "", [&] { rs->MovePrevious(); });
  rs->MoveNext();
  EXPECT_EQ(RowText(*rs, {"ID"}), "1");
  // Move(0) reads the row again: a change made behind the cursor shows, a
  // row deleted behind it is gone.
  db_->ExecuteSql("UPDATE Cells SET Val = 'x' WHERE ID = 1");
  rs->Move(0);
  EXPECT_EQ(RowText(*rs, {"ID", "Val"}), "1,x");
  db_->ExecuteSql("DELETE FROM Cells WHERE ID = 1");
  rs->Move(0);
  ExpectError(3167, "", [&] { rs->Edit(); });

  db_->ExecuteSql("DELETE FROM Cells");
  auto empty = db_->OpenTable("Cells");
  EXPECT_TRUE(empty->IsEOF() && empty->IsBOF());
  ExpectError(3021, "", [&] { empty->MoveFirst(); });
  EXPECT_EQ(empty->RecordCount(), 0);
}

// A table-type recordset with no index walks the primary key, a dynaset on
// the same table the rows as stored; recordsets of one table share their
// statement texts, so each must get its own whichever opens first.
TEST_F(TableRecordsetTest, TableAndDynasetOfOneTableKeepTheirOrders) {
  for (bool dynasetFirst : {false, true}) {
    const std::string name = dynasetFirst ? "OrdB" : "OrdA";
    MakeTable(*db_, name, {{"ID", JetType::kLong, 0, true}}, {{"PK", "ID", true}});
    for (const char* id : {"3", "1", "2"})
      db_->ExecuteSql("INSERT INTO " + name + " (ID) VALUES (" + id + ")");
    auto walk = [&](int32_t type) {
      auto rs = db_->OpenTable(name, type);
      return WalkForward(*rs, "ID");
    };
    std::string dynaset, table;
    if (dynasetFirst) dynaset = walk(dbOpenDynaset);
    table = walk(dbOpenTable);
    if (!dynasetFirst) dynaset = walk(dbOpenDynaset);
    EXPECT_EQ(table, "1 2 3") << name;
    // A server's table has no rowid: its dynaset runs in the key's order.
    EXPECT_EQ(dynaset, TestPlaces::OnServer() ? "1 2 3" : "3 1 2") << name;
  }
}

Variant Bytes(std::initializer_list<uint8_t> bytes) {
  return Variant(ByteArray{0, std::vector<uint8_t>(bytes)});
}

// A Binary field as a key: Seek compares the bytes in order (unsigned, a
// shorter prefix first), the walk follows them, and writes find their row
// by the binary key.
TEST_F(DaoTest, BinaryKeysSeekWalkAndWrite) {
  MakeTable(*db_, "Blobs", {{"K", JetType::kBinary, 8, true}, {"Name", JetType::kText, 10}},
            {{"PK", "K", true}});
  const std::vector<std::pair<Variant, std::string>> rows = {{Bytes({0x10}), "b"},
                                                             {Bytes({0x10, 0x00}), "c"},
                                                             {Bytes({0x01, 0xff}), "a"},
                                                             {Bytes({0xf0}), "e"},
                                                             {Bytes({0x80, 0x01}), "d"}};
  {
    auto rs = db_->OpenTable("Blobs");
    for (const auto& [key, name] : rows) WriteRow(*rs, true, {{"K", key}, {"Name", Variant(name)}});
  }
  auto rs = db_->OpenTable("Blobs");
  rs->SetIndex("PK");
  rs->MoveFirst();
  EXPECT_EQ(WalkForward(*rs, "Name"), "a b c d e");
  const struct {
    const char* cmp;
    Variant key;
    const char* found;  // Name, "" for NoMatch
    const char* after;  // the walk from there on
  } cases[] = {
      {"=", Bytes({0x10}), "b", "b c d e"},
      {"=", Bytes({0x10, 0x00}), "c", "c d e"},
      {"=", Bytes({0x10, 0x01}), "", ""},
      {">=", Bytes({0x10, 0x01}), "d", "d e"},
      {">", Bytes({0x10}), "c", "c d e"},
      {"<", Bytes({0x80, 0x01}), "c", "c d e"},
      {"<=", Bytes({0x02}), "a", "a b c d e"},
      {"<", Bytes({0x01}), "", ""},
      {">", Bytes({0xff}), "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.cmp) + " " + c.found);
    rs->Seek(c.cmp, Keys({c.key}));
    EXPECT_EQ(rs->NoMatch(), *c.found == '\0');
    if (*c.found == '\0') continue;
    EXPECT_EQ(Text(rs->FieldValue("Name")), c.found);
    EXPECT_EQ(WalkForward(*rs, "Name"), c.after);
  }
  rs->Seek("=", Keys({Bytes({0x10, 0x00})}));
  WriteRow(*rs, false, {{"Name", Variant("C")}});
  rs->Seek("=", Keys({Bytes({0x80, 0x01})}));
  WriteRow(*rs, false, {{"K", Bytes({0x00})}});  // the key itself: the row moves to the front
  rs->Seek("=", Keys({Bytes({0xf0})}));
  rs->Delete();
  EXPECT_EQ(TableText(*db_, "Blobs", "PK", {"Name"}), "d | a | b | C");
  ExpectError(3022, "", [&] { WriteRow(*rs, true, {{"K", Bytes({0x10})}}); });
}

// A cursor on a row whose key changes under it: a rollback of its own key
// change puts it back on the row under the old key, on a table with a
// primary key and on one without (nested levels too). Another session's
// change of the key: a file's cursor keeps the row by its rowid, as a
// server's keeps a table without a primary key by its row key; a server's
// cursor on a keyed table finds the row by the key and so loses it (3167).
TEST_F(DaoTest, ACursorKeepsItsRowWhenItsKeyChangesUnderIt) {
  MakeTable(*db_, "Keyed", {{"ID", JetType::kLong, 0, true}, {"Name", JetType::kText, 10}},
            {{"PK", "ID", true}});
  MakeTable(*db_, "Plain", {{"ID", JetType::kLong}, {"Name", JetType::kText, 10}});
  auto ws = engine_->DefaultWorkspace();
  auto writerWs = engine_->CreateWorkspace("writer", "admin", "", Variant(dbUseJet));
  auto writer = writerWs->Open(db_->Name(), {});
  std::string table;  // the case's table
  // "<" begins a level, a digit edits the row's ID to it, "]" commits the
  // innermost level, ")" rolls it back; no script: another session's change.
  auto change = [&](Recordset& rs, const char* script) {
    if (!script) {
      writer->ExecuteSql("UPDATE " + table + " SET ID = 4 WHERE ID = 2");
      engine_->Idle(Variant(dbRefreshCache));
    }
    for (; script && *script; ++script) {
      if (*script == '<') {
        ws->BeginTrans();
      } else if (*script == ']') {
        ws->CommitTrans(Variant());
      } else if (*script == ')') {
        ws->Rollback();
      } else {
        WriteRow(rs, false, {{"ID", Variant(*script - '0')}});
        EXPECT_EQ(RowText(rs, {"ID", "Name"}), std::string(1, *script) + ",b");
      }
    }
  };
  const struct {
    const char* what;
    const char* script;
    const char* keyed;  // the cursor's row after it ("3167" when lost)
    const char* plain;
  } cases[] = {
      {"an own change rolled back", "<5)", "2,b", "2,b"},
      {"two own changes rolled back", "<56)", "2,b", "2,b"},
      {"an inner level's change committed, the outer rolled back", "<<7])", "2,b", "2,b"},
      {"an inner level rolled back, the outer's change kept", "<8<9)]", "8,b", "8,b"},
      {"another session's change", nullptr, TestPlaces::OnServer() ? "3167" : "4,b", "4,b"},
  };
  for (const auto& c : cases)
    for (const char* name : {"Keyed", "Plain"}) {
      table = name;
      SCOPED_TRACE(std::string(c.what) + " " + table);
      db_->ExecuteSql("DELETE FROM " + table);
      db_->ExecuteSql("INSERT INTO " + table + " (ID, Name) VALUES (1, 'a')");
      db_->ExecuteSql("INSERT INTO " + table + " (ID, Name) VALUES (2, 'b')");
      auto rs = db_->OpenTable(table);
      rs->MoveFirst();
      rs->MoveNext();
      ASSERT_EQ(RowText(*rs, {"ID", "Name"}), "2,b");
      change(*rs, c.script);
      const std::string expected = table == "Keyed" ? c.keyed : c.plain;
      if (expected == "3167") {
        ExpectError(3167, "", [&] { rs->FieldValue("ID"); });
        continue;
      }
      EXPECT_EQ(RowText(*rs, {"ID", "Name"}), expected);
      rs->MoveNext();  // and walks on from there
      EXPECT_TRUE(rs->IsEOF());
    }
}

// Recordsets of wide tables opened, edited and closed in turn, some open at
// once (a mapper's header and detail tables): each shows its own table's
// row, an edit writes only its own row, and closing one leaves the rows of
// the others as they were.
TEST_F(TableRecordsetTest, RowsOfWideTablesOpenedEditedAndClosedInTurn) {
  const std::map<std::string, int> widths = {
      {"Wide17", 17}, {"Wide20", 20}, {"Wide40", 40}, {"Narrow3", 3}};
  std::map<std::string, std::vector<std::string>> names, stored;
  for (const auto& [table, width] : widths) {
    std::vector<FieldDef> fields;
    std::string columns, values;
    for (int i = 0; i < width; ++i) {
      const std::string name = "F" + std::to_string(i);
      fields.push_back({name, JetType::kText, 20});
      names[table].push_back(name);
      stored[table].push_back(table + "." + std::to_string(i));
      columns += (i ? ", " : "") + name;
      values += (i ? ", '" : "'") + stored[table].back() + "'";
    }
    MakeTable(*db_, table, fields);
    db_->ExecuteSql("INSERT INTO " + table + " (" + columns + ") VALUES (" + values + ")");
  }
  auto text = [](const std::vector<std::string>& values) {
    std::string out;
    for (const std::string& v : values) out += (out.empty() ? "" : ",") + v;
    return out;
  };
  // "+T" opens a recordset of T, "*T" edits its field F1, "-T" closes it.
  const char* steps[] = {"+Wide20", "*Wide20",  "+Wide40",  "-Wide20", "+Wide17", "*Wide40",
                         "-Wide40", "+Narrow3", "*Narrow3", "+Wide20", "*Wide17", "-Wide17",
                         "+Wide40", "*Wide40",  "-Narrow3", "-Wide20", "+Wide17", "-Wide40",
                         "*Wide17", "-Wide17",  "+Wide40"};
  std::map<std::string, std::shared_ptr<Recordset>> open;
  int edits = 0;
  for (const char* step : steps) {
    SCOPED_TRACE(step);
    const std::string table = step + 1;
    if (step[0] == '+') {
      open[table] = db_->OpenTable(table);
    } else if (step[0] == '*') {
      stored[table][1] = "edit " + std::to_string(++edits);
      WriteRow(*open[table], false, {{"F1", Variant(stored[table][1])}});
    } else {
      open[table]->Close();
      open.erase(table);
    }
    for (const auto& [name, rs] : open)
      EXPECT_EQ(RowText(*rs, names[name]), text(stored[name])) << name;
  }
  for (const auto& [table, width] : widths)
    EXPECT_EQ(TableText(*db_, table, "", names[table]), text(stored[table])) << table;
}

}  // namespace
}  // namespace qv::dao::testing
