// Statements, values, transactions and the catalogue through the engine
// seam, run on a file and (platform_jet_server) on the test server.

#include <algorithm>
#include <string>
#include <vector>

#include "CatalogTestTables.h"
#include "EngineTestSupport.h"
#include "platform/automation/VbaText.h"
#include "platform/jet/PgConnection.h"

namespace qv::jet::testing {
namespace {

class EngineStatements : public EngineTest {
 protected:
  EngineStatements() { engine_->CreateTable(EveryTypeTable()); }

  // Column 0 of every row of a Jet select, joined by ",".
  std::string Rows(const std::string& jetSql, Engine* on = nullptr) {
    auto s = (on ? on : engine_.get())->Prepare(jetSql);
    std::string out;
    while (s->Step()) out += (out.empty() ? "" : ",") + CStr(s->Value(0));
    return out;
  }
};

// Each literal of the text is a parameter of its kind (a whole number, a
// number, a text); a value bound in its place is stored and read back as
// the column's Jet type makes it.
TEST_F(EngineStatements, ValuesRoundTripTypedByTheirColumns) {
  auto ins = engine_->Prepare("INSERT INTO T VALUES (0, 0, 0, 0, 0.5, 0.5, 0.5, 0.5, '', '', '')");
  ASSERT_EQ(ins->ParameterCount(), 11);
  const Variant row[] = {Variant(int32_t{7}),
                         Variant(true),
                         Variant(uint8_t{200}),
                         Variant(int16_t{-5}),
                         Variant(Currency{12345678}),
                         Variant(1.5f),
                         Variant(2.25),
                         Variant(OleDate{39083.5}),
                         Variant("Привет"),
                         Variant(ByteArray{0, {1, 2, 3}}),
                         Variant("{6F9619FF-8B86-D011-B42D-00C04FC964FF}")};
  for (int i = 0; i < 11; ++i) ins->Bind(i + 1, row[i]);
  EXPECT_EQ(ins->Run(), 1);
  EXPECT_EQ(engine_->Changes(), 1);
  EXPECT_EQ(engine_->LastInsertId(), 1);
  auto s = engine_->Prepare("SELECT * FROM T");
  ASSERT_TRUE(s->Step());
  ASSERT_EQ(s->ColumnCount(), 11);
  std::vector<Variant> values(11);
  s->Values(values);
  for (int i = 0; i < 11; ++i) {
    EXPECT_EQ(s->Value(i).Describe(), row[i].Describe()) << i;
    EXPECT_EQ(values[static_cast<size_t>(i)].Describe(), row[i].Describe()) << i;
  }
  EXPECT_EQ(s->Column(8).name, "Txt");
  EXPECT_EQ(s->Column(8).type, JetType::kText);
  EXPECT_EQ(s->Column(8).size, 20);
  ExpectError(3265, "", [&] { s->Value(11); });
  EXPECT_FALSE(s->Step());

  auto nulls = engine_->Prepare("INSERT INTO T (Id, Flag, Txt) VALUES (0, 0, '')");
  nulls->Bind(1, Variant(int32_t{8}));
  nulls->Bind(2, Variant::Null());
  nulls->Bind(3, Variant());
  nulls->Run();
  auto r = engine_->Prepare("SELECT Flag, Txt FROM T WHERE Id = 8");
  ASSERT_TRUE(r->Step());
  EXPECT_TRUE(r->Value(0).IsNull());
  EXPECT_TRUE(r->Value(1).IsNull());
  ExpectError(3265, "", [&] { nulls->Bind(4, Variant(1.0)); });
  ExpectError(3265, "", [&] { nulls->Bind(0, Variant(1.0)); });

  // No bytes are a value of their own, not Null.
  auto empty = engine_->Prepare("INSERT INTO T (Id, Bin) VALUES (9, '')");
  empty->Bind(2, Variant(ByteArray{}));
  empty->Run();
  EXPECT_EQ(Value("SELECT Bin FROM T WHERE Id = 9"), Variant(ByteArray{}).Describe());
}

// A column read straight from a table names the table and the column it
// comes from (a recordset field's SourceTable and SourceField); a computed
// one names none. A column added after a first read is named too.
TEST_F(EngineStatements, ColumnsNameTheirSourceTableAndField) {
  engine_->Execute("CREATE TABLE [Кадры] ([Код] LONG, [Фамилия] TEXT(60))");
  const struct {
    const char* sql;
    const char* sources;  // table.column of each column, "-" for none
  } cases[] = {
      {"SELECT Id, Txt AS Named, Id * 2, D FROM T", "T.Id T.Txt - T.D"},
      {"SELECT k.[Фамилия], t.Dbl FROM [Кадры] AS k INNER JOIN T AS t ON k.[Код] = t.Id",
       "Кадры.Фамилия T.Dbl"},
      {"SELECT x.Flag, x.Cur FROM (SELECT Flag, Cur FROM T) AS x", "T.Flag T.Cur"},
      {"SELECT Count(*), Max(Txt) FROM T", "- -"},
      {"SELECT 'a' & Txt, Sng FROM T", "- T.Sng"},
  };
  auto sources = [&](const std::string& sql) {
    auto s = engine_->Prepare(sql);
    std::string out;
    for (int i = 0; i < s->ColumnCount(); ++i) {
      const ColumnMeta& c = s->Column(i);
      out += (i ? " " : "") + (c.table.empty() ? std::string("-") : c.table + "." + c.column);
    }
    return out;
  };
  for (const auto& c : cases) EXPECT_EQ(sources(c.sql), c.sources) << c.sql;
  // The names of a table met before cost a new statement no round trip:
  // it takes as many as one of computed columns only.
  auto roundTrips = [&](const std::string& sql) {
    const uint64_t before = ServerRoundTrips();
    engine_->Prepare(sql);
    return ServerRoundTrips() - before;
  };
  EXPECT_EQ(roundTrips("SELECT Dbl, Bin FROM T WHERE Id = 1"), roundTrips("SELECT Id + 1 FROM T"));
  engine_->Execute("ALTER TABLE T ADD COLUMN Later LONG");
  EXPECT_EQ(sources("SELECT Later, G FROM T"), "T.Later T.G");
}

// A bound text reaches the engine whole and a function and a comparison
// see the same text. A server's text cannot hold a NUL character: there
// such a text is refused when it is bound (3421), where a file keeps every
// byte.
TEST_F(EngineStatements, BoundTextsKeepEveryByte) {
  const struct {
    std::string text;
    bool hasNul;
  } cases[] = {{"", false},
               {"abc", false},
               {"Привет", false},
               {std::string(5000, 'x'), false},
               {std::string("a\0b", 3), true},
               {std::string("\0", 1), true},
               {std::string("ab\0", 3), true}};
  auto s = engine_->Prepare("SELECT 'a', Len('a'), 'a' = 'a', 'a' & '!'");
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.text.size()));
    if (OnServer() && c.hasNul) {
      ExpectError(3421, "", [&] { s->Bind(1, Variant(c.text)); });
      ASSERT_TRUE(s->Step());  // the text bound before stays
      EXPECT_EQ(CStr(s->Value(0)), std::string(5000, 'x'));
      s->Reset();
      continue;
    }
    for (int i = 1; i <= 5; ++i) s->Bind(i, Variant(c.text));
    s->Bind(4, Variant(std::string(c.text)));
    ASSERT_TRUE(s->Step());
    EXPECT_EQ(CStr(s->Value(0)), c.text);
    EXPECT_EQ(CLng(s->Value(1)), qv::Len(c.text));
    EXPECT_EQ(s->Value(2).Describe(), "Boolean True");
    EXPECT_EQ(CStr(s->Value(3)), c.text + "!");
    s->Reset();
  }
}

// The same text prepared while a statement of it is stepping is a second
// statement with bindings of its own; one prepared again afterwards binds
// the text's own literals, not those a caller bound before.
TEST_F(EngineStatements, CachedStatementsCanBeNestedAndReused) {
  engine_->Execute("INSERT INTO T (Id) VALUES (1)");
  engine_->Execute("INSERT INTO T (Id) VALUES (2)");
  engine_->Execute("INSERT INTO T (Id) VALUES (3)");
  const std::string sql = "SELECT Id FROM T WHERE Id >= 0 ORDER BY Id";
  std::string seen;
  {
    auto outer = engine_->Prepare(sql);
    outer->Bind(1, Variant(int32_t{2}));
    while (outer->Step()) {
      auto inner = engine_->Prepare(sql);
      inner->Bind(1, Variant(int32_t{3}));
      int n = 0;
      while (inner->Step()) ++n;
      seen += CStr(outer->Value(0)) + ":" + std::to_string(n) + " ";
    }
  }
  EXPECT_EQ(seen, "2:1 3:1 ");
  EXPECT_EQ(Rows(sql), "1,2,3");
  // Reset keeps the bindings and starts before the first row again.
  auto again = engine_->Prepare(sql);
  again->Bind(1, Variant(int32_t{3}));
  ASSERT_TRUE(again->Step());
  again->Reset();
  EXPECT_EQ(again->Step() ? CStr(again->Value(0)) : "", "3");
  EXPECT_FALSE(again->Step());
}

// A text literal is the text between its quotes, a quote written twice read
// once. The same shape with other values, again and in turn, takes the
// cached statement and binds each text's own values. A binary column given a
// text holds the text's own bytes, whatever they spell.
TEST_F(EngineStatements, TextLiteralsAreBoundAsTheTextReads) {
  engine_->Execute("INSERT INTO T (Id, Txt, Bin) VALUES (1, 'a', '\\x4142')");
  const struct {
    const char* sql;
    const char* value;
  } cases[] = {
      {"SELECT 'plain' & Txt FROM T", "plaina"},
      {"SELECT 'it''s' & Txt FROM T", "it'sa"},
      {"SELECT \"say \"\"hi\"\"\" & Txt FROM T", "say \"hi\"a"},
      {"SELECT \"it's\" & Txt FROM T", "it'sa"},
      {"SELECT '' & Txt FROM T", "a"},
      {"SELECT '''' & Txt FROM T", "'a"},
      {"SELECT 'Привет' & Txt FROM T", "Приветa"},
      {"SELECT Len(Bin) & IIf(Bin = 'AB', 'AB', '') & IIf(Bin = '\\x4142', 'x', '') FROM T", "6x"},
  };
  for (int round = 0; round < 2; ++round)
    for (const auto& c : cases) {
      SCOPED_TRACE(c.sql);
      EXPECT_EQ(Value(c.sql), "String \"" + std::string(c.value) + "\"");
    }
}

// A function's error keeps its number, the statement runs again after it,
// and a text too long for its field is refused with Jet's number.
TEST_F(EngineStatements, ErrorsKeepTheirNumbersAndStatementsRunAgain) {
  engine_->Execute("INSERT INTO T (Id, Txt) VALUES (1, NULL)");
  auto s = engine_->Prepare("SELECT CLng(Txt) FROM T");
  ExpectError(94, "", [&] { s->Step(); });
  engine_->Execute("UPDATE T SET Txt = '12'");
  s->Reset();
  ASSERT_TRUE(s->Step());
  EXPECT_EQ(s->Value(0), Variant(int32_t{12}));
  ExpectError(3163, "", [&] {
    engine_->Execute("INSERT INTO T (Id, Txt) VALUES (2, 'abcdefghijklmnopqrstuvwxyz')");
  });
  EXPECT_EQ(Rows("SELECT Id FROM T"), "1");
  ExpectError(3078, "", [&] { engine_->Prepare("SELECT * FROM Nowhere"); });
  ExpectError(3061, "", [&] { engine_->Prepare("SELECT Nothing FROM T"); });
}

// Inner levels commit into and roll back within the outer one; another
// connection sees the outermost level's commit only.
TEST_F(EngineStatements, NestedTransactions) {
  auto other = OpenOther();
  const std::string ids = "SELECT Id FROM T ORDER BY Id";
  ExpectError(3034, "", [&] { engine_->CommitTrans(); });
  ExpectError(3034, "", [&] { engine_->Rollback(); });
  engine_->BeginTrans();
  engine_->Execute("INSERT INTO T (Id) VALUES (1)");
  engine_->BeginTrans();
  EXPECT_EQ(engine_->TransactionDepth(), 2);
  engine_->Execute("INSERT INTO T (Id) VALUES (2)");
  engine_->Rollback();
  engine_->BeginTrans();
  engine_->Execute("INSERT INTO T (Id) VALUES (3)");
  engine_->BeginTrans();
  engine_->Execute("INSERT INTO T (Id) VALUES (4)");
  engine_->CommitTrans();
  engine_->CommitTrans();
  EXPECT_EQ(Rows(ids), "1,3,4");
  EXPECT_EQ(Rows(ids, other.get()), "");
  // a failing statement undoes itself alone; the transaction goes on
  ExpectError(3163, "", [&] {
    engine_->Execute("INSERT INTO T (Id, Txt) VALUES (5, 'abcdefghijklmnopqrstuvwxyz')");
  });
  engine_->Execute("INSERT INTO T (Id) VALUES (6)");
  engine_->CommitTrans();
  EXPECT_EQ(engine_->TransactionDepth(), 0);
  EXPECT_EQ(Rows(ids, other.get()), "1,3,4,6");

  engine_->BeginTrans();
  engine_->Execute("DELETE FROM T WHERE Id > 1");
  engine_->BeginTrans();
  engine_->Execute("INSERT INTO T (Id) VALUES (7)");
  engine_->CommitTrans();
  engine_->Rollback();  // the outer level takes the inner one's commit with it
  EXPECT_EQ(Rows(ids), "1,3,4,6");
  EXPECT_EQ(Rows(ids, other.get()), "1,3,4,6");
}

// A write that needs a row another connection's transaction holds (here the
// same key) waits for it up to the busy timeout, then fails with 3218; a
// reader meanwhile sees the last committed rows.
TEST_F(EngineStatements, AWriterWaitsThenFailsWithLocked) {
  engine_->Execute("CREATE TABLE K (A LONG CONSTRAINT PrimaryKey PRIMARY KEY)");
  auto b = OpenOther({.busyTimeoutMs = 50});
  engine_->BeginTrans();
  engine_->Execute("INSERT INTO K VALUES (1)");
  ExpectError(3218, "Could not update; currently locked.",
              [&] { b->Execute("INSERT INTO K VALUES (1)"); });
  EXPECT_EQ(Rows("SELECT A FROM K", b.get()), "");
  engine_->CommitTrans();
  EXPECT_EQ(b->Execute("INSERT INTO K VALUES (2)"), 1);
  ExpectError(3022, "", [&] { b->Execute("INSERT INTO K VALUES (1)"); });
  EXPECT_EQ(Rows("SELECT A FROM K ORDER BY A", b.get()), "1,2");
}

}  // namespace
}  // namespace qv::jet::testing
