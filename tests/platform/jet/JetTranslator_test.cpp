#include "platform/jet/JetTranslator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "JetTestSupport.h"
#include "platform/jet/JetCatalog.h"

namespace qv::jet {
namespace {

// The result columns as "name:Type, ..." (text sizes as Text(n)).
std::string Columns(const Translation& t) {
  std::string out;
  for (const auto& c : t.columns) {
    if (!out.empty()) out += ", ";
    out += c.name + ':' + std::string(c.type == JetType::kNone ? "None" : JetTypeName(c.type));
    if (c.type == JetType::kText) out += "(" + std::to_string(c.size) + ")";
  }
  return out;
}

constexpr const char* kTables[] = {
    "CREATE TABLE t (id LONG, name TEXT(50), v DOUBLE, d DATETIME, b BIT, c CURRENCY, "
    "n SHORT, bt BYTE, s SINGLE, memo MEMO, g GUID)",
    "CREATE TABLE u (id LONG, tid LONG, name TEXT(30))",
    "CREATE TABLE Кадры (Код LONG, Фамилия TEXT(60))"};

// The SQLite emitter over the catalogue of a file holding kTables.
class JetTranslator : public testing::JetTest {
 protected:
  JetTranslator() {
    for (const char* ddl : kTables) db_->Execute(ddl);
  }
  Translation Translate(const std::string& sql) { return TranslateJet(sql, db_->Schema()); }
};

// The engine's translator (on a server the PostgreSQL emitter) over a
// database holding kTables: what a translation means to a caller (the
// result's Jet columns, the refusals) is the same on both engines.
class EngineTranslator : public testing::EngineTest {
 protected:
  EngineTranslator() {
    for (const char* ddl : kTables) engine_->Execute(ddl);
  }
  Translation Translate(const std::string& sql) { return *engine_->Translate(sql); }
};

struct TypingCase {
  const char* jet;
  const char* columns;
};

TEST_F(EngineTranslator, TypesAndNamesResultColumns) {
  const TypingCase cases[] = {
      // literals and name generation
      {"select 1, 'a', 1.5, #2007-03-05#, True, Null, {guid "
       "{0a1b2c3d-0000-1111-2222-333344445555}}",
       "Expr1000:Long, Expr1001:Text(255), Expr1002:Double, Expr1003:Date, Expr1004:Boolean, "
       "Expr1005:None, Expr1006:GUID"},
      {"select 3000000000, 2147483647", "Expr1000:Double, Expr1001:Long"},
      {"select id, id + 1, name AS nm, v * 2 from t",
       "id:Long, Expr1000:Long, nm:Text(50), Expr1001:Double"},
      // dates
      {"select DateSerial(2007,3,5)+1", "Expr1000:Date"},
      {"select d - 1, d - d, d + d, 1 + d from t",
       "Expr1000:Date, Expr1001:Double, Expr1002:Date, Expr1003:Date"},
      // numeric promotion
      {"select bt + bt, bt + n, n + id, id + s, s + v, c + id, c * v, b + b from t",
       "Expr1000:Byte, Expr1001:Integer, Expr1002:Long, Expr1003:Single, Expr1004:Double, "
       "Expr1005:Currency, Expr1006:Double, Expr1007:Integer"},
      {"select id / n, id \\ v, bt \\ bt, n Mod id, 2 ^ 2, -bt, -b from t",
       "Expr1000:Double, Expr1001:Long, Expr1002:Byte, Expr1003:Long, Expr1004:Double, "
       "Expr1005:Integer, Expr1006:Integer"},
      // texts
      {"select name + name, name & id, name + memo, memo & name, name + id from t",
       "Expr1000:Text(255), Expr1001:Text(255), Expr1002:Memo, Expr1003:Memo, Expr1004:Double"},
      // comparisons and logic are booleans; bitwise on integers
      {"select id = 1, name Like 'a*', id Between 1 And 2, id In (1, 2), name Is Null, "
       "Not b, id And 3, Not id from t",
       "Expr1000:Boolean, Expr1001:Boolean, Expr1002:Boolean, Expr1003:Boolean, "
       "Expr1004:Boolean, Expr1005:Boolean, Expr1006:Long, Expr1007:Long"},
      // functions from the table
      {"select CStr(id), CLng(name), Trim$(name), Val(name), Nz(v, 0), Year(d), Left(name, 1) from "
       "t",
       "Expr1000:Text(255), Expr1001:Long, Expr1002:Text(255), Expr1003:Double, Expr1004:Double, "
       "Expr1005:Integer, Expr1006:Text(255)"},
      {"select IIf(b, id, v), IIf(b, name, Null), IIf(b, 1, 'x'), IsNull(name) from t",
       "Expr1000:Double, Expr1001:Text(50), Expr1002:Text(255), Expr1003:Boolean"},
      // aggregates
      {"select count(*), count(name), sum(n), avg(id), max(name), min(d), first(v) from t",
       "Expr1000:Long, Expr1001:Long, Expr1002:Integer, Expr1003:Double, Expr1004:Text(50), "
       "Expr1005:Date, Expr1006:Double"},
      // stars and collisions of names
      {"select * from u", "id:Long, tid:Long, name:Text(30)"},
      {"select a.*, now() as delivery_date from u As a",
       "id:Long, tid:Long, name:Text(30), delivery_date:Date"},
      {"select a.id, b.id, a.name from t as a inner join u as b on a.id = b.tid",
       "a.id:Long, b.id:Long, name:Text(50)"},
      {"select a.*, 'x' as name from u as a", "id:Long, tid:Long, a.name:Text(30), name:Text(255)"},
      {"select * from (select a.*, a.id + 1 as tid from u as a) order by tid",
       "id:Long, a.tid:Long, name:Text(30), tid:Long"},
      {"select * from t as a inner join u as b on a.id = b.tid where a.id = 1",
       "a.id:Long, a.name:Text(50), v:Double, d:Date, b:Boolean, c:Currency, n:Integer, bt:Byte, "
       "s:Single, memo:Memo, g:GUID, b.id:Long, tid:Long, b.name:Text(30)"},
      // derived tables, scalar sub-selects, unions
      {"select x.k, Expr1000 from (select id as k, id * 2.5 from t) as x",
       "k:Long, Expr1000:Double"},
      {"select count(*) from (select top 1 id from t)", "Expr1000:Long"},
      {"select (select max(v) from t) as m, (select top 1 name from u where u.tid = t.id) from t",
       "m:Double, Expr1000:Text(30)"},
      {"select id, name from t union select tid, Null from u", "id:Long, name:Text(50)"},
      {"select n from t union all select v from t union select bt from t", "n:Double"},
      // TOP with ties: still exactly the Jet columns
      {"select top 2 name, v from t order by v desc", "name:Text(50), v:Double"},
      {"select top 50 percent id from t", "id:Long"},
      // Cyrillic names
      {"select [Фамилия], к.Код from Кадры as к", "Фамилия:Text(60), Код:Long"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.jet);
    const Translation t = Translate(c.jet);
    EXPECT_EQ(Columns(t), c.columns);
    EXPECT_EQ(t.hiddenTrailingColumns, 0);
    EXPECT_EQ(t.kind, StatementKind::kSelect);
  }
}

struct ShapeCase {
  const char* jet;
  const char* contains;     // a piece the SQLite text must hold
  const char* notContains;  // and one it must not (may be empty)
};

// The decisions of the emitter that no result shows (what the rows are is
// checked by the SQL scripts of tests/sql): a plain column compares and
// orders without a collation of its own, so that its index serves; numbers,
// dates and texts that need no Jet rule use SQLite's own operators; TOP
// without ties is a LIMIT; constant Between bounds are put in order once.
TEST_F(JetTranslator, EmitsJetSemanticsIntoSqlite) {
  const ShapeCase cases[] = {
      {"select id from t where id = 5", "WHERE (\"t\".\"id\" = 5)", "COLLATE"},
      {"select id from t where name = 'Ёлка'", "(\"t\".\"name\" = 'Ёлка')", "COLLATE"},
      {"select id from t order by name", "ORDER BY \"t\".\"name\"", "COLLATE"},
      {"select id from t where v > 1 and n < 2", "((\"t\".\"v\" > 1) AND (\"t\".\"n\" < 2))",
       "COLLATE"},
      {"select id + v, d + 1 from t", "(\"t\".\"id\" + \"t\".\"v\")", "jet_add"},
      {"select name + 'a' from t", "(\"t\".\"name\" || 'a')", "jet_add"},
      {"select CStr(DateSerial(2007, 1, 1))", "jet_cstr(jet_dateserial(2007, 1, 1))", "asdate"},
      {"select max(d) from t", "max(\"t\".\"d\")", "jet_asdate"},
      {"select #2007-03-05#, #03/05/2007 12:00#, #1899-12-29#, #12:00#",
       "39146.0 AS \"Expr1000\", 39146.5 AS \"Expr1001\", (-1.0) AS \"Expr1002\", 0.5 AS", ""},
      {"select id from t where id Between 10 And 1", "BETWEEN 1 AND 10", "min("},
      {"select top 1 id from t", "LIMIT 1", "rank()"},
      // joins keep their nesting; an alias of the select list may be used in
      // the same select
      {"select a.id from (t as a inner join u as b on a.id = b.tid) left join u as c on c.id = "
       "a.id",
       "FROM \"t\" AS \"a\" INNER JOIN \"u\" AS \"b\" ON (\"a\".\"id\" = \"b\".\"tid\") LEFT JOIN "
       "\"u\" AS \"c\"",
       ""},
      {"select a.id from t as a left join (u as b inner join u as c on b.id = c.id) on b.tid = "
       "a.id",
       "LEFT JOIN (\"u\" AS \"b\" INNER JOIN \"u\" AS \"c\" ON", ""},
      {"select id * 2 as x from t where x > 4 order by x",
       "WHERE ((\"t\".\"id\" * 2) > 4) ORDER BY (\"t\".\"id\" * 2)", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.jet);
    const Translation t = Translate(c.jet);
    EXPECT_NE(t.sql.find(c.contains), std::string::npos) << t.sql;
    if (*c.notContains) {
      EXPECT_EQ(t.sql.find(c.notContains), std::string::npos) << t.sql;
    }
  }
}

// A number, text, name or q.name that ends its expression is parsed as the
// leaf it is, and only then: an operator after it still takes it as an
// operand, and a token that cannot follow an expression is still refused.
TEST_F(JetTranslator, PlainOperandsParseAsWithinExpressions) {
  const std::pair<const char*, const char*> cases[] = {
      {"select t.id, name, 2, 'x' as s from t order by t.id",
       "SELECT \"t\".\"id\" AS \"id\", \"t\".\"name\" AS \"name\", 2 AS \"Expr1000\", 'x' "
       "COLLATE JETRU AS \"s\" FROM \"t\" ORDER BY \"t\".\"id\""},
      {"select id ^ 2, id Mod 3, name & 'a' from t",
       "SELECT jet_pow(\"t\".\"id\", 2) AS \"Expr1000\", jet_mod(\"t\".\"id\", 3) AS "
       "\"Expr1001\", jet_concat(\"t\".\"name\", 'a') COLLATE JETRU AS \"Expr1002\" FROM \"t\""},
      {"select id from t where id Between 1 And 2 ^ 3",
       "WHERE (\"t\".\"id\" BETWEEN min(1, jet_pow(2, 3)) AND max(1, jet_pow(2, 3)))"},
      {"select id from t where name Like 'a' & 'b' and v > 2 * 3",
       "WHERE ((jet_like(\"t\".\"name\", jet_concat('a', 'b')) <> 0) AND (\"t\".\"v\" > (2 * "
       "3)))"},
      {"select id as [a\"b] from t", "SELECT \"t\".\"id\" AS \"a\"\"b\" FROM \"t\""},
      {"select Yes, No, t.[b] from t",
       "SELECT -1 AS \"Expr1000\", 0 AS \"Expr1001\", \"t\".\"b\" AS \"b\" FROM \"t\""},
      {"select Left(name, 2), UCase(t.name) from t",
       "SELECT jet_left(\"t\".\"name\", 2) COLLATE JETRU AS \"Expr1000\", "
       "jet_ucase(\"t\".\"name\") COLLATE JETRU AS \"Expr1001\" FROM \"t\""},
      // a literal's value, the quotes undoubled, and a GUID's, in upper case
      {"select 'it''s', \"a\"\"b\", 'x' from t where g = {guid "
       "{0a1b2c3d-abcd-1111-2222-3333444455ff}}",
       "SELECT 'it''s' COLLATE JETRU AS \"Expr1000\", 'a\"b' COLLATE JETRU AS \"Expr1001\", 'x' "
       "COLLATE JETRU AS \"Expr1002\" FROM \"t\" WHERE (\"t\".\"g\" = "
       "'{0A1B2C3D-ABCD-1111-2222-3333444455FF}')"},
  };
  for (const auto& [jet, sql] : cases) {
    SCOPED_TRACE(jet);
    const std::string out = Translate(jet).sql;
    EXPECT_NE(out.find(sql), std::string::npos) << out;
  }
  for (const char* jet : {"select id name from t", "select t.id t.name from t", "select 1 2",
                          "select id from t where id = 1 2"}) {
    SCOPED_TRACE(jet);
    testsupport::ExpectError(3075, "", [&] { Translate(jet); });
  }
}

// A statement given as a view of a longer text ends where the view does,
// though the text goes on with the word it ends in (the loops over a word's
// bytes stop at the view's end; the address sanitizer sees a read past a
// text that ends in a word exactly where its allocation does).
TEST_F(JetTranslator, AStatementEndsWhereItsViewEnds) {
  const std::string text = "select id from tt";
  const std::string_view view = std::string_view(text).substr(0, text.size() - 1);
  EXPECT_EQ(TranslateJet(view, db_->Schema()).sql, Translate("select id from t").sql);
  const std::vector<char> exact(view.begin(), view.end());
  EXPECT_EQ(db_->Prepare(std::string_view(exact.data(), exact.size())).ColumnCount(), 1);
}

// The refused statements and their texts are in tests/sql/errors.test;
// here the nesting limit, and the source every translation error names.
TEST_F(EngineTranslator, RefusesTooDeepStatementsAsTheDatabase) {
  std::string sum = "select 1";
  for (int i = 0; i < 400; ++i) sum += " + 1";
  const std::pair<std::string, int32_t> cases[] = {
      {"select " + std::string(200, '(') + "1" + std::string(200, ')'), 3360},
      {sum, 3360},
      {"selec * from t", 3129}};
  for (const auto& [jet, number] : cases) {
    SCOPED_TRACE(jet.substr(0, 60));
    EXPECT_EQ(testsupport::ExpectError(number, "", [&] { Translate(jet); }).Source(),
              "DAO.Database");
  }
}

// Every prefix of a long statement either translates or raises qv::Error.
TEST_F(EngineTranslator, PrefixesOfAStatementNeverFailOtherwise) {
  const std::string full =
      "select top 3 a.id, [b].[name] & \"x\" as n, (select count(*) from u where u.tid = a.id) "
      "from (t as a inner join u as b on a.id = b.tid) where a.d between #1/2/2003# and "
      "#2003-01-01 "
      "10:00# and a.name like 'A*' and a.g = {guid {0a1b2c3d-abcd-1111-2222-333344445555}} group "
      "by a.id, b.name having count(*) > 1 order by 1 desc;";
  int translated = 0;
  for (size_t n = 0; n <= full.size(); ++n)  // any other exception fails the test
    translated += testsupport::RaisedError([&] { Translate(full.substr(0, n)); }).Number() == 0;
  EXPECT_GE(translated, 2);  // the whole statement and the one without ";"
}

}  // namespace
}  // namespace qv::jet
