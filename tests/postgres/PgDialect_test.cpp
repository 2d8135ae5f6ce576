// The PostgreSQL dialect of the Jet SQL emitter, without a server: what it
// writes where the engines differ, the tables' definitions, and the list of
// Jet functions a statement needs from the server.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "platform/automation/Error.h"
#include "platform/jet/JetFunctions.h"
#include "platform/jet/JetSchemaChange.h"
#include "platform/jet/JetTranslator.h"
#include "platform/jet/sql/JetPostgres.h"
#include "platform/jet/sql/JetServerFunctions.h"

namespace qv::jet {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// A table stored as "Fruit", which statements may name in any case.
class FruitSchema : public SchemaView {
 public:
  const std::vector<ColumnInfo>* TableColumns(std::string_view table) const override {
    if (table == "fruit" || table == "Fruit" || table == "FRUIT" || table == "f2") return &fruit_;
    return nullptr;
  }
  std::string StoredTableName(std::string_view table) const override {
    return table == "f2" ? "f2" : "Fruit";
  }

 private:
  std::vector<ColumnInfo> fruit_{{"id", JetType::kLong},
                                 {"name", JetType::kText, 50},
                                 {"price", JetType::kDouble},
                                 {"ripe", JetType::kBoolean},
                                 {"picked", JetType::kDate}};
};

struct DialectCase {
  const char* jet;
  std::vector<const char*> pieces;       // each must occur in the PostgreSQL text
  std::vector<const char*> absent = {};  // none may occur in it
  std::vector<const char*> functions = {};
};

TEST(PgDialect, WritesWhatTheEnginesDoDifferently) {
  const DialectCase cases[] = {
      // the stored name, whatever case the statement writes
      {"select id from FRUIT", {"FROM \"Fruit\""}, {"\"FRUIT\""}},
      // a value as a condition, alone and under AND / OR / NOT
      {"select id from fruit where ripe", {"WHERE (\"Fruit\".\"ripe\" <> 0)"}},
      {"select id from fruit where ripe and id > 1 or not ripe",
       {"((\"Fruit\".\"ripe\" <> 0) AND (\"Fruit\".\"id\" > 1))",
        "(NOT (\"Fruit\".\"ripe\" <> 0))"}},
      // integers under AND stay bitwise
      {"select id and 6 as x from fruit", {"(\"Fruit\".\"id\" & 6)"}, {"<> 0"}},
      {"select iif(ripe, 1, 2) as x from fruit", {"CASE WHEN (\"Fruit\".\"ripe\" <> 0) THEN 1"}},
      // a choice of numbers alone stays a number
      {"select iif(ripe, id, price) as x from fruit", {}, {"jet_concat"}},
      // a call of literals in a part that may not run is the lazy form, which
      // the planner does not compute first; elsewhere the one it folds
      {"select switch(1 \\ 1 = 1, id \\ 2, 2 \\ 0 = 1, abs(-1)) as x, 7 \\ 2 as y from fruit",
       {"WHEN (jet_idiv(1, 1) = 1) THEN jet_idiv(\"Fruit\".\"id\", 2) WHEN",
        "WHEN (jet_idiv_lazy(2, 0) = 1) THEN jet_abs_lazy((- 1)) END", "jet_idiv(7, 2) AS \"y\""},
       {},
       {"jet_abs_lazy", "jet_idiv", "jet_idiv_lazy"}},
      // TOP without ORDER BY is a LIMIT
      {"select top 2 id from fruit", {"LIMIT 2"}, {"FETCH"}},
      // PERCENT ranks in a window: every derived table has a name
      {"select top 50 percent id from fruit order by id",
       {") AS \"$t\" WHERE", "count(*) OVER ()"}},
      {"select top 1 id from fruit union select id from fruit",
       {"SELECT * FROM (SELECT \"Fruit\".\"id\" AS \"id\" FROM \"Fruit\" LIMIT 1) AS \"$u\" "
        "UNION"}},
      // Jet's functions keep their names and are listed for the server
      {"select UCase(name) & '!' as u from fruit where name like 'a*'",
       {"jet_concat(jet_ucase(\"Fruit\".\"name\"), '!')",
        "(jet_like(\"Fruit\".\"name\", 'a*') <> 0)"},
       {},
       {"jet_concat", "jet_like", "jet_ucase"}},
      {"select count(*) as n, sum(price) as s from fruit", {"count(*)", "sum("}},
      {"select 'it''s' & picked as x from fruit",
       {"'it''s'", "jet_asdate(\"Fruit\".\"picked\")"},
       {},
       {"jet_asdate", "jet_concat"}},
      // statements: stored names, DELETE through a join by ctid
      {"insert into fruit (id, name) values (7, 'x')",
       {"INSERT INTO \"Fruit\" (\"id\", \"name\")"}},
      {"update fruit set price = price * 2 where ripe",
       {"UPDATE \"Fruit\" SET \"price\" = (\"Fruit\".\"price\" * 2) WHERE (\"Fruit\".\"ripe\" <> "
        "0)"}},
      {"delete f.* from fruit as f inner join f2 on f.id = f2.id",
       {"DELETE FROM \"Fruit\" WHERE ctid IN (SELECT \"f\".ctid FROM \"Fruit\" AS \"f\" INNER JOIN "
        "\"f2\""},
       {"rowid"}},
      {"update fruit set ripe = id",
       {"SET \"ripe\" = jet_store_boolean("},
       {},
       {"jet_store_boolean"}},
  };
  const FruitSchema schema;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.jet);
    const Translation t = TranslateJet(c.jet, schema, SqlDialect::kPostgres);
    for (const char* p : c.pieces) EXPECT_THAT(t.sql, HasSubstr(p));
    for (const char* p : c.absent) EXPECT_THAT(t.sql, Not(HasSubstr(p)));
    EXPECT_EQ(t.serverFunctions, std::vector<std::string>(c.functions.begin(), c.functions.end()));
    // The SQLite text of the same statement lists no server functions.
    EXPECT_TRUE(TranslateJet(c.jet, schema).serverFunctions.empty());
  }
}

TEST(PgDialect, LiteralsBecomeDollarParameters) {
  const FruitSchema schema;
  const std::string jet = "select id from fruit where name = 'a' and price > 2.5";
  const std::vector<size_t> positions{jet.find("'a'"), jet.find("2.5")};
  std::vector<LiteralUse> uses;
  const Translation pg =
      TranslateJetParameterized(jet, schema, positions, uses, SqlDialect::kPostgres);
  EXPECT_THAT(pg.sql, HasSubstr("= $1"));
  EXPECT_THAT(pg.sql, HasSubstr("> $2"));
  const Translation lite = TranslateJetParameterized(jet, schema, positions, uses);
  EXPECT_THAT(lite.sql, HasSubstr("= ?1"));
}

TEST(PgDialect, CalledFunctionsSkipLiteralsAndQuotedNames) {
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"SELECT jet_a(x), jet_b (y), jet_a(z)", {"jet_a"}},
      {"SELECT 'jet_a(' || \"jet_b(\" FROM t", {}},
      {"SELECT 'it''s jet_x(' , jet_y(1)", {"jet_y"}},
      {"SELECT \"a\"\"jet_x(\", xjet_z(1), jet_c(jet_d(1))", {"jet_c", "jet_d"}},
  };
  for (const auto& [sql, want] : cases) EXPECT_EQ(sql::CalledJetFunctions(sql), want) << sql;
}

TEST(PgDialect, ColumnsCarryJetTypesAndRules) {
  auto field = [](JetType type, int32_t size = 0) {
    FieldSpec f;
    f.name = "c";
    f.type = type;
    f.size = size;
    return f;
  };
  FieldSpec required = field(JetType::kText, 10);
  required.required = true;
  required.allowZeroLength = false;
  FieldSpec defaults = field(JetType::kText, 5);
  defaults.defaultValue = "=\"it's\"";
  FieldSpec now = field(JetType::kDate);
  now.defaultValue = "Now()";
  FieldSpec counter = field(JetType::kLong);
  counter.autoIncrement = true;
  // Text(n)'s check in UTF-16 units (a character beyond U+FFFF counts 2).
  auto size = [](int n) {
    const std::string s = std::to_string(n);
    return "(octet_length(\"c\") <= " + s + " OR char_length(regexp_replace(\"c\" COLLATE \"C\", " +
           "'[\\U00010000-\\U0010FFFF]', '..', 'g')) <= " + s + ")";
  };
  const std::pair<FieldSpec, std::string> cases[] = {
      {field(JetType::kLong), "\"c\" integer"},
      {field(JetType::kInteger), "\"c\" smallint"},
      {field(JetType::kByte),
       "\"c\" smallint CONSTRAINT \"jet_type:c\" CHECK (\"c\" BETWEEN 0 AND 255)"},
      {field(JetType::kBoolean),
       "\"c\" smallint CONSTRAINT \"jet_type:c\" CHECK (\"c\" IN (-1, 0))"},
      {field(JetType::kCurrency), "\"c\" double precision"},
      {field(JetType::kDate), "\"c\" double precision"},
      {field(JetType::kText, 20),
       "\"c\" text COLLATE JETRU CONSTRAINT \"jet_size:c\" CHECK (octet_length(\"c\") <= 20 OR "
       "char_length(regexp_replace(\"c\" COLLATE \"C\", '[\\U00010000-\\U0010FFFF]', '..', 'g')) "
       "<= "
       "20)"},
      {field(JetType::kText),
       "\"c\" text COLLATE JETRU CONSTRAINT \"jet_size:c\" CHECK " + size(255)},
      {field(JetType::kMemo), "\"c\" text COLLATE JETRU"},
      {field(JetType::kLongBinary), "\"c\" bytea"},
      {required, "\"c\" text COLLATE JETRU NOT NULL CONSTRAINT \"jet_size:c\" CHECK " + size(10) +
                     " CONSTRAINT \"jet_zls:c\" CHECK (\"c\" <> '')"},
      {counter, "\"c\" integer GENERATED BY DEFAULT AS IDENTITY"},
      {defaults,
       "\"c\" text COLLATE JETRU DEFAULT 'it''s' CONSTRAINT \"jet_size:c\" CHECK " + size(5)},
      {now, "\"c\" double precision DEFAULT (jet_now())"},
  };
  for (const auto& [f, want] : cases) EXPECT_EQ(sql::PostgresColumnSql(f), want);
  EXPECT_THAT(sql::PostgresColumnSql(field(JetType::kGUID)),
              HasSubstr("\"c\" text CONSTRAINT \"jet_type:c\" CHECK (\"c\" ~ '^\\{"));

  TableSpec t;
  t.name = "Кадры";
  t.fields = {field(JetType::kLong)};
  IndexSpec pk;
  pk.name = "PrimaryKey";
  pk.primary = true;
  pk.fields = {{"c", false}};
  t.indexes = {pk};
  EXPECT_EQ(sql::PostgresCreateTableSql(t),
            "CREATE TABLE \"Кадры\" (\"c\" integer, PRIMARY KEY (\"c\"))");
  // Without a primary key, with a unique index or none: the row key, last.
  IndexSpec unique = pk;
  unique.primary = false;
  unique.unique = true;
  for (const std::vector<IndexSpec>& indexes : {std::vector<IndexSpec>{}, {unique}}) {
    t.indexes = indexes;
    EXPECT_EQ(sql::PostgresCreateTableSql(t),
              "CREATE TABLE \"Кадры\" (\"c\" integer, \"_jet_row\" integer GENERATED ALWAYS AS "
              "IDENTITY UNIQUE)");
  }
  IndexSpec byC;
  byC.name = "ByC";
  byC.fields = {{"c", true}};
  EXPECT_EQ(sql::PostgresCreateIndexSql("Кадры", byC),
            "CREATE INDEX \"Кадры$ByC\" ON \"Кадры\" (\"c\" DESC)");
}

// A table without a primary key, as the server's catalogue gives it: its
// fields, then the row key.
class KeylessSchema : public SchemaView {
 public:
  const std::vector<ColumnInfo>* TableColumns(std::string_view table) const override {
    return table == "Loose" || table == "loose" ? &loose_ : nullptr;
  }
  std::string StoredTableName(std::string_view table) const override {
    return TableColumns(table) ? "Loose" : "";
  }

 private:
  std::vector<ColumnInfo> loose_{
      {"a", JetType::kLong}, {"b", JetType::kText, 5}, {"_jet_row", JetType::kLong}};
};

TEST(PgDialect, TheRowKeyIsNamedOnlyWhereAStatementNamesIt) {
  struct Case {
    const char* jet;
    const char* columns;  // the result's columns, or the made table's fields
    std::vector<const char*> pieces;
    std::vector<const char*> absent;
    int hidden;  // the translation's hidden trailing columns
  };
  const Case cases[] = {
      {"select * from loose", "a,b", {}, {"_jet_row"}, 0},
      {"select l.* from loose as l", "a,b", {}, {"_jet_row"}, 0},
      {"select top 1 a, [_jet_row] from loose where [_jet_row] > 5 order by [_jet_row]",
       "a,_jet_row",
       {"WHERE (\"Loose\".\"_jet_row\" > 5) ORDER BY \"Loose\".\"_jet_row\""},
       {},
       0},
      // one row: its key comes back, as no column
      {"insert into loose values (1, 'x')",
       "",
       {"INSERT INTO \"Loose\" (\"a\", \"b\") VALUES (1, 'x') RETURNING \"_jet_row\""},
       {},
       1},
      {"insert into loose (b) values ('x')", "", {"(\"b\") VALUES ('x') RETURNING"}, {}, 1},
      {"insert into loose values (1, 'x', 2)", "error 3346", {}, {}, 0},
      // rows of a select: by name or by position, never into the row key
      {"insert into loose select * from loose",
       "",
       {"INSERT INTO \"Loose\" (\"a\", \"b\") SELECT"},
       {"RETURNING", "\"_jet_row\" FROM"},
       0},
      {"insert into loose select b as x, a as y from loose",
       "",
       {"INSERT INTO \"Loose\" (\"a\", \"b\") "},
       {"RETURNING"},
       0},
      {"select * into copy from loose", "a,b", {}, {"_jet_row"}, 0},
  };
  const KeylessSchema schema;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.jet);
    Translation t;
    try {
      t = TranslateJet(c.jet, schema, SqlDialect::kPostgres);
    } catch (const Error& e) {
      EXPECT_EQ("error " + std::to_string(e.Number()), c.columns);
      continue;
    }
    std::string columns;
    if (t.change) {
      for (const FieldSpec& f : t.change->table.fields)
        columns += (columns.empty() ? "" : ",") + f.name;
      t.sql = t.change->selectSql;
    }
    for (const ResultColumn& rc : t.columns) columns += (columns.empty() ? "" : ",") + rc.name;
    EXPECT_EQ(columns, c.columns);
    for (const char* p : c.pieces) EXPECT_THAT(t.sql, HasSubstr(p));
    for (const char* p : c.absent) EXPECT_THAT(t.sql, Not(HasSubstr(p)));
    EXPECT_EQ(t.hiddenTrailingColumns, c.hidden);
  }
}

}  // namespace
}  // namespace qv::jet

namespace qv::jet {
namespace {

// The functions and aggregates the server's script creates: name -> the
// argument counts (-1: variadic).
std::map<std::string, std::set<int>> CreatedByScript(const std::string& sql) {
  std::map<std::string, std::set<int>> out;
  static const std::regex create(R"(CREATE (?:OR REPLACE )?(FUNCTION|AGGREGATE) (\w+)\(([^)]*)\))");
  for (auto it = std::sregex_iterator(sql.begin(), sql.end(), create); it != std::sregex_iterator();
       ++it) {
    const std::string args = (*it)[3];
    int count = args.empty() ? 0 : 1;
    for (const char c : args) count += c == ',';
    if (args.starts_with("VARIADIC")) count = -1;
    out[(*it)[2]].insert(count);
  }
  return out;
}

// Every function SQLite gets from the table, the server's script creates
// with every argument count the table allows: a function given a SQLite
// form but no body, or a count the script leaves out, would be missing on
// the server for the statements that call it.
TEST(PgServerFunctions, ScriptCreatesEveryFunctionOfTheTable) {
  const std::string sql = sql::ServerFunctionsSql("MODULE_PATHNAME", true);
  const auto created = CreatedByScript(sql);
  int checked = 0;
  for (const JetFunction& f : JetFunctionTable()) {
    if (f.impl == nullptr) continue;  // the translator's CASE or the engine's own aggregate
    SCOPED_TRACE(std::string(f.name));
    const auto it = created.find(std::string(f.sqliteName));
    ASSERT_NE(it, created.end()) << f.sqliteName << " is not created on the server";
    if (f.maxArgs < 0) {
      EXPECT_TRUE(it->second.count(-1)) << "variadic";
    } else {
      for (int n = f.minArgs; n <= f.maxArgs; ++n)
        EXPECT_TRUE(it->second.count(n)) << n << " arguments";
    }
    ++checked;
  }
  EXPECT_GT(checked, 90);
  EXPECT_THAT(sql, HasSubstr("CREATE COLLATION jetru"));
  EXPECT_TRUE(sql.starts_with("-- ")) << "a comment, then the guard of an extension script";
  EXPECT_THAT(sql, HasSubstr("\\echo Use \"CREATE EXTENSION qv_jet\""));
}

// What the emitter calls in statements that use operators and functions is
// on the server, with the argument count the statement gives.
TEST(PgServerFunctions, EmittedCallsAreCreated) {
  FruitSchema schema;
  const auto created = CreatedByScript(sql::ServerFunctionsSql("m", false));
  for (const char* jet : {
           "SELECT name & 'x' & id, id \\ 2, id Mod 3, price / 2, price ^ 2, name + id FROM Fruit",
           "SELECT First(name), Last(picked) FROM Fruit",
           "SELECT Nz(name), Nz(name, 'n'), Round(price), Round(price, 2), Choose(id, 'a', 'b') "
           "FROM Fruit",
           "SELECT Format(picked, 'yyyy'), CStr(ripe), Mid(name, 2), Mid(name, 2, 3), "
           "DateDiff('d', picked, Now()) FROM Fruit WHERE name Like 'a*'",
           "UPDATE Fruit SET ripe = price, id = price, name = UCase(name)",
           "SELECT IIf(ripe, name, price), Switch(id = 1, 'a', True, id) FROM Fruit",
       }) {
    SCOPED_TRACE(jet);
    const Translation t = TranslateJet(jet, schema, SqlDialect::kPostgres);
    ASSERT_FALSE(t.serverFunctions.empty());
    for (const std::string& name : t.serverFunctions)
      EXPECT_TRUE(created.contains(name)) << name << " is not created on the server";
  }
}

}  // namespace
}  // namespace qv::jet
