#include "platform/jet/JetFunctions.h"

#include "JetTestSupport.h"

namespace qv::jet::testing {
namespace {

// What tests/sql/functions.test and expressions.test check through Jet
// statements is not repeated here: these are the arguments and edges the
// statements there do not reach.
struct Case {
  const char* expr;      // a native SQL expression calling the registered functions
  const char* expected;  // Variant::Describe of the value, or "error N"
};

using JetFunctionsTest = JetTest;

TEST_F(JetFunctionsTest, ValuesErrorsAndNullRules) {
  const Case cases[] = {
      // operators
      {"jet_add(NULL, 1)", "Null"},
      {"jet_add('1', 2)", "Double 3"},
      {"jet_add(2147483647, 1)", "Double 2147483648"},
      {"jet_add('x', 1)", "error 13"},
      {"jet_cstr(jet_add(jet_dateserial(2007, 1, 31), 1))", "String \"01.02.2007\""},
      {"jet_concat('a', NULL, 1.5)", "String \"a1.5\""},
      {"jet_concat('x', jet_dateserial(2007, 3, 5))", "String \"x05.03.2007\""},
      {"jet_concat('flag ', jet_asbool(-1))", "String \"flag True\""},
      {"jet_concat('n', 2147483648)", "String \"n2147483648\""},
      {"jet_nz(NULL, 5)", "Long 5"},
      {"jet_mod(7.5, 2)", "Long 0"},
      {"jet_mod(NULL, 2)", "Null"},
      {"jet_pow(-8, 0.5)", "error 5"},
      {"jet_like('ЦиТрус', '*ц?т*')", "Long -1"},
      {"jet_like(12345, '1#3*')", "Long -1"},
      // conversions
      {"jet_clng('12')", "Long 12"},
      {"jet_clng(3000000000)", "error 6"},
      {"jet_cint(40000)", "error 6"},
      {"jet_cstr(NULL)", "error 94"},
      {"jet_cbool('abc')", "error 13"},
      {"jet_val('&H1F')", "Double 31"},
      {"jet_val(NULL)", "error 94"},
      {"jet_str(5)", "String \" 5\""},
      {"jet_str(-5)", "String \"-5\""},
      {"jet_isnumeric('12.5')", "Long -1"},
      {"jet_isnumeric('12a')", "Long 0"},
      {"jet_isdate('31.12.2006')", "Long -1"},
      {"jet_isdate('31.13.2006')", "Long 0"},
      // texts
      {"jet_left('a', -1)", "error 5"},
      {"jet_len('a😀')", "Long 3"},  // UTF-16 units
      {"jet_len(12.5)", "Long 4"},
      {"jet_instr('Привет', 'ИВ')", "Long 3"},  // text comparison unless 0 is given
      {"jet_instr(1, 'Привет', 'ИВ', 0)", "Long 0"},
      {"jet_instr('abc', NULL)", "Null"},
      {"jet_ucase(NULL)", "Null"},
      {"jet_string(3, 'ab')", "String \"aaa\""},  // the first character only
      {"jet_string(2, 192)", "String \"АА\""},    // a code is read in code page 1251
      {"jet_replace('aaa', 'a', 'b', 2)", "String \"bb\""},
      {"jet_replace('aaa', 'a', 'b', 1, 2)", "String \"bba\""},
      {"jet_replace('aAa', 'a', 'b', 1, -1, 0)", "String \"bAb\""},
      {"jet_strcomp('a', 'B', 0)", "Long 1"},
      {"jet_strcomp(NULL, 'a')", "Null"},
      {"jet_strreverse('абв')", "String \"вба\""},
      {"jet_asc('Ё')", "Long 168"},
      {"jet_asc('')", "error 5"},
      {"jet_ascw('я')", "Long 1103"},
      {"jet_chr(185)", "String \"№\""},
      {"jet_chrw(1071)", "String \"Я\""},
      {"jet_format(1234.5, '#,##0.00')", "String \"1,234.50\""},
      {"jet_format(2.5)", "String \"2.5\""},
      // dates and numbers
      {"jet_dateserial(NULL, 1, 1)", "Null"},
      {"jet_dateserial(10000, 1, 1)", "error 5"},
      {"jet_cstr(jet_timeserial(14, 30, 0))", "String \"14:30:00\""},
      {"jet_cstr(jet_datevalue('05.03.2007 14:30'))", "String \"05.03.2007\""},
      {"jet_cstr(jet_timevalue('05.03.2007 14:30'))", "String \"14:30:00\""},
      {"jet_year('05.03.2007')", "Long 2007"},
      {"jet_day(jet_dateserial(2007, 3, 5))", "Long 5"},
      {"jet_hour(0.75)", "Long 18"},
      {"jet_year('no date')", "error 13"},
      {"jet_weekday(jet_dateserial(2007, 3, 5), 2)", "Long 1"},
      {"jet_cstr(jet_dateadd('yyyy', 1, jet_dateserial(2008, 2, 29)))", "String \"28.02.2009\""},
      {"jet_cstr(jet_dateadd('d', -1, jet_dateserial(2007, 3, 1)))", "String \"28.02.2007\""},
      {"jet_cstr(jet_dateadd('h', 25, jet_dateserial(2007, 3, 1)))",
       "String \"02.03.2007 1:00:00\""},
      {"jet_dateadd('x', 1, 1)", "error 5"},
      {"jet_datediff('m', jet_dateserial(2007, 1, 31), jet_dateserial(2007, 2, 1))", "Long 1"},
      {"jet_datediff('ww', jet_dateserial(2007, 3, 3), jet_dateserial(2007, 3, 4))", "Long 1"},
      {"jet_datediff('d', jet_dateserial(2007, 3, 2), jet_dateserial(2007, 3, 1))", "Long -1"},
      {"jet_datepart('q', jet_dateserial(2007, 8, 1))", "Long 3"},
      {"jet_datepart('y', jet_dateserial(2007, 3, 1))", "Long 60"},
      {"jet_abs(-3)", "Long 3"},  // a Long stays a Long
      {"jet_abs(NULL)", "Null"},
      {"jet_int(7)", "Long 7"},
      {"jet_cstr(jet_int(jet_add(jet_dateserial(2007, 3, 5), 0.75)))", "String \"05.03.2007\""},
      {"jet_round(5)", "Long 5"},
      {"jet_sgn(0)", "Long 0"},
      {"jet_sqr(-1)", "error 5"},
      {"jet_sqr(16)", "Double 4"},
  };
  for (const Case& c : cases) {
    std::string got;
    const int32_t n =
        testsupport::RaisedError([&] { got = Native(std::string("SELECT ") + c.expr); }).Number();
    EXPECT_EQ(n ? "error " + std::to_string(n) : got, c.expected) << c.expr;
  }
}

TEST_F(JetFunctionsTest, FirstAndLastFollowRowOrder) {
  db_->ExecuteNative(
      "CREATE TABLE t (g INTEGER, v); INSERT INTO t VALUES (1, 'a'), (1, NULL), (1, 'c'), "
      "(2, NULL), (2, 'e')");
  Statement s = db_->PrepareNative(
      "SELECT g, jet_first(v), jet_last(v) FROM (SELECT * FROM t ORDER BY rowid) GROUP BY g "
      "ORDER BY g");
  std::string out;
  while (s.Step())
    out += s.Value(0).Describe() + " " + s.Value(1).Describe() + " " + s.Value(2).Describe() + ";";
  EXPECT_EQ(out, "Long 1 String \"a\" String \"c\";Long 2 Null String \"e\";");
  EXPECT_EQ(Native("SELECT jet_first(v) FROM t WHERE 0"), "Null");
}

// Every entry but the choices is registered under its SQLite name
// and takes as many arguments as the table says.
TEST_F(JetFunctionsTest, EveryEntryIsRegistered) {
  for (const JetFunction& f : JetFunctionTable()) {
    if (f.lazy) continue;  // written as a CASE: nothing registered
    if (!f.impl && !f.aggregate) ADD_FAILURE() << f.name << " has no implementation";
    for (int n : {static_cast<int>(f.minArgs), static_cast<int>(f.maxArgs)}) {
      if (n < 0) n = f.minArgs + 3;
      std::string sql = "SELECT " + std::string(f.sqliteName) + "(";
      for (int i = 0; i < n; ++i) sql += i ? ", NULL" : "NULL";
      sql += ")";
      const int32_t number = testsupport::RaisedError([&] { Native(sql); }).Number();
      EXPECT_NE(number, jeterr::kUndefinedFunction) << sql;
      EXPECT_NE(number, jeterr::kReserved) << sql;  // e.g. a wrong argument count
    }
  }
}

}  // namespace
}  // namespace qv::jet::testing
