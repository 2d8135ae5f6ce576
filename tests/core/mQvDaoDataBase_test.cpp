// The SQL toolkit over a data folder: row-count rules and their errors,
// the failing statement in an error's description, literals, dictionary
// statements, table routines and field readers.

#include "core/mQvDaoDataBase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

#include "CoreTestSupport.h"
#include "core/DBCommon.h"
#include "core/DBGlobalParams.h"
#include "core/miDataBase.h"
#include "platform/automation/VbaDate.h"
#include "platform/dao/Transaction.h"
#include "platform/dao/Workspace.h"
#include "platform/jet/JetConnection.h"
#include "support/DaoTables.h"
#include "support/TestSupport.h"

namespace qv {
namespace {

using namespace mQvDaoDataBase;
using coretest::ExpectError;
using coretest::kAnyError;

// Table T of the user database: ID (key "Id"), Name, Born, Amount; rows
// 1 Иванов 05.03.2007 10.5, 2 Петров (Nulls), 3 "Сидоров ""С""" 31.12.1899.
class Toolkit : public coretest::DataFolderTest {
 protected:
  void SetUp() override {
    DataFolderTest::SetUp();
    db_ = miDataBase::GetUserDataBase();
    testsupport::MakeTable(*db_, "T",
                           {{"ID", jet::JetType::kLong},
                            {"Name", jet::JetType::kText, 50},
                            {"Born", jet::JetType::kDate},
                            {"Amount", jet::JetType::kDouble}},
                           {{"Id", "ID", true, true}});
    QvExecuteSql("insert into T values (1, 'Иванов', #03/05/2007#, 10.5)");
    QvExecuteSql("insert into T (ID, Name) values (2, 'Петров')");
    QvExecuteSql("insert into T values (3, 'Сидоров \"С\"', #12/31/1899#, 0.25)");
  }
  // The innermost text of an error: its description after the last location line.
  static std::string Innermost(const Error& e) {
    const std::string& d = e.Description();
    const size_t at = d.rfind("\r\n");
    return at == std::string::npos ? d : d.substr(at + 2);
  }

  std::shared_ptr<dao::Database> db_;
};

TEST_F(Toolkit, SingleValueQueriesNeedExactlyOneRow) {
  const std::string none = "select Name from T where ID = 0";
  const std::string one = "select Name from T where ID = 1";
  const std::string two = "select Name from T where ID < 3";
  const std::string bad = "select Name fro T";
  const std::string kNone = "Запрос значения не возвратил ни одной записи.";
  const struct {
    const std::string& sql;
    std::string value;  // CStr of the value, or the innermost error text
    int32_t error;
  } cases[] = {
      {one, "Иванов", 0},
      {none, kNone, 40090},
      {two, "Запрос значения возвратил несколько записей (2).", 40090},
      {"select Born from T where ID = 2", "Null", 0},
  };
  for (const auto& c : cases) {
    Variant got;
    SCOPED_TRACE(c.sql);
    const Error e =
        ExpectError(c.error, "", [&] { got = QvQueryValue(c.sql, Variant("default")); });
    if (c.error) {
      EXPECT_EQ(Innermost(e), c.value);
    } else {
      EXPECT_EQ(got.IsNull() ? "Null" : CStr(got), c.value);
    }
  }
  // The safe forms give the default instead, a syntax error included.
  for (const std::string* sql : {&none, &two, &bad})
    EXPECT_EQ(QvQueryValueSafe(*sql, Variant(-1)), Variant(-1)) << *sql;
  EXPECT_EQ(QvQueryValueSafe(one, Variant(-1)), Variant("Иванов"));

  Variant a("a"), b("b");
  EXPECT_FALSE(QvQuery2ValuesSafe("select ID, Name from T", a, b));
  EXPECT_EQ(a, Variant("a"));
  EXPECT_TRUE(QvQuery2ValuesSafe("select ID, Name from T where ID = 2", a, b));
  EXPECT_EQ(a, Variant(int32_t{2}));
  EXPECT_EQ(b, Variant("Петров"));
  // More values asked for than the row has: refused as its missing field would be.
  ExpectError(3265, "", [&] { QvQuery2Values(one, a, b); });

  EXPECT_EQ(Innermost(ExpectError(40090, "", [&] { QvQueryFirstValue(none); })),
            "Запрос не возвратил ни одной записи.");
  EXPECT_EQ(QvQueryFirstValue("select Name from T order by ID desc"), Variant("Сидоров \"С\""));
  EXPECT_EQ(QvQueryFirstValueSafe(none, Variant(5)), Variant(5));
  EXPECT_EQ(QvQueryFirstValueSafe(bad, Variant(5)), Variant(5));
  EXPECT_EQ(QvQueryFirstValueSafe("select Born from T order by ID desc"), Variant(OleDate{1}));
  EXPECT_EQ(QvQueryFirstValueSafe("T"), Variant(int32_t{1}));  // a table's name opens the table
  EXPECT_TRUE(QvQueryExistence(two));
  EXPECT_FALSE(QvQueryExistence(none));
  EXPECT_EQ(QvGetMaximumFromTable("T", "Amount"), 10.5);
  EXPECT_EQ(QvGetMaximumFromTable("Counters", "CounterValue"), 0);

  Variant row = QvQueryValuesArraySafe("select ID, Name from T order by ID");
  ASSERT_EQ(row.AsArray().items.size(), 2u);
  EXPECT_EQ(row.AsArray().items[1], Variant("Иванов"));
  EXPECT_TRUE(QvQueryValuesArraySafe(none).AsArray().items.empty());
  EXPECT_TRUE(QvQueryValuesArraySafe(bad).AsArray().items.empty());

  DaoRecordsetPtr rs;
  QvQueryValues("select * from T where ID = 3", rs);
  EXPECT_EQ(GetDaoString(*rs, "Name"), "Сидоров \"С\"");
}

TEST_F(Toolkit, ErrorsNameTheFailingStatementAndEveryProcedure) {
  const std::string sql = "select Nosuch from T";
  Error e = ExpectError(3061, "", [&] { QvQuerySqlA(sql); });
  EXPECT_EQ(e.Description(),
            "[Qv_DBProvider::mQvDaoDataBase.QvQuerySqlA] {Запрос, вызвавший ошибку: \r\n" + sql +
                "}\r\n"
                "[Qv_DBProvider::mQvDaoDataBase.QvQuerySql] {Запрос, вызвавший ошибку: \r\n" +
                sql +
                "}\r\n"
                "[DAO.Database]\r\n"
                "Too few parameters. Expected 1. Unknown name: 'Nosuch'.");
  EXPECT_EQ(e.Source(), "");  // named once, in the chain
  EXPECT_EQ(e.Message(), "Too few parameters. Expected 1. Unknown name: 'Nosuch'.");

  // A row-count failure passes the check's own location too.
  QvExecuteSql("delete from DBVersion");
  e = ExpectError(40090, "", [] { DBCommon().GetDBVerion(); });
  EXPECT_EQ(e.Description(),
            "[Qv_DBProvider::DBCommon.GetDBVerion]\r\n"
            "[Qv_DBProvider::mQvDaoDataBase.QvQueryValue] {Запрос, вызвавший ошибку: \r\n"
            "select top 1 CStr (MajorVersion) + '.' + CStr (MinorVersion) + '.' + CStr "
            "(BuildNumber) AS Version from DBVersion }\r\n"
            "[Qv_DBProvider::mQvDaoDataBase.QvCheckDaoRsForOnlyOneRecord]\r\n"
            "Запрос значения не возвратил ни одной записи.");

  // The quiet form names no statement.
  e = ExpectError(kAnyError, "", [] { QvExecuteSqlQuiet("delete from Nowhere"); });
  EXPECT_EQ(e.Description().substr(0, e.Description().find("\r\n")),
            "[Qv_DBProvider::mQvDaoDataBase.QvExecuteSqlQuiet]");
}

TEST_F(Toolkit, LiteralTexts) {
  const Variant march5(MakeDate({2007, 3, 5, 9, 5, 7}));
  const Variant dec31(MakeDate({2010, 12, 31}));
  const Variant baseDay(OleDate{0.75});  // 30.12.1899 18:00: an empty date
  const struct {
    std::string got, expected;
  } cases[] = {
      {Date2DaoSql(march5, "E"), "DateSerial(2007, 3, 5)"},
      {Date2DaoSql(Variant("05.03.2007"), "E"), "DateSerial(2007, 3, 5)"},
      {Date2DaoSql(baseDay, "E"), "E"},
      {Date2DaoSql(Variant(), "E"), "E"},
      {Date2DaoSql(Variant::Null(), "Null"), "Null"},
      {Date2DaoSql(Variant(39146.0), "E"), "E"},  // a number is not a date
      {Date2DaoSql(Variant("not a date"), "E"), "E"},
      {DateTime2DaoSql(march5, "E"), "(DateSerial(2007, 3, 5) + TimeSerial(9, 5, 7))"},
      {DateTime2DaoSql(dec31, "E"), "(DateSerial(2010, 12, 31) + TimeSerial(0, 0, 0))"},
      {DateTime2DaoSql(baseDay, "E"), "E"},
      {DateRange2DaoQuery("d", march5, dec31, false, false),
       " (d between DateSerial(2007, 3, 5) and DateSerial(2010, 12, 31)) "},
      {DateRange2DaoQuery("d", march5, Variant(), true, false),
       " and (d >= DateSerial(2007, 3, 5)) "},
      {DateRange2DaoQuery("d", Variant(), dec31, false, false),
       " (d <= DateSerial(2010, 12, 31)) "},
      {DateRange2DaoQuery("d", Variant(), dec31, true, true),
       " and (d <= DateSerial(2010, 12, 31)) and "},
      {DateRange2DaoQuery("d", baseDay, Variant::Null(), true, true), ""},
      {DaoQString("a\"b\tc\r\nd"), "\"a\"\"b c  d\""},
      {DaoQString(""), "\"\""},
      {DaoQString("Ёлка \"\""), "\"Ёлка \"\"\"\"\""},
      {Number2DaoSql(123456789012.0), "123456789012"},
      {Number2DaoSql(-2.5), "-2.5"},
      {Number2DaoSql(-987654321098765.0), "-987654321098765"},
      {Number2DaoSql(-0.0), "-0"},
      {DescribeValue(Variant()), "Empty"},
      {DescribeValue(Variant::Null()), "Null"},
      {DescribeValue(Variant("x")), "(String) \"x\""},
      {DescribeValue(Variant(2.5)), "(Double) 2.5"},
      {DescribeValue(Variant(int32_t{7})), "(Long) 7"},
      {DescribeValue(Variant(int16_t{7})), "(Integer) 7"},
      {DescribeValue(Variant(true)), "(Bool) True"},
      {DescribeValue(march5), "(Date) 05.03.2007 9:05:07"},
      {DescribeValue(Variant(Currency{25000})), "(Currency) 2.5"},
      {DescribeValue(Variant::Nothing()), "(Object) "},
      {DescribeValue(Variant::Missing()), "(Error)"},
      {DescribeValue(Variant(VariantArray::Of({Variant(1)}))), "(0x200C) ???"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.expected);
  for (double bad : {std::numeric_limits<double>::infinity(), -HUGE_VAL, std::nan("")}) {
    SCOPED_TRACE(::testing::Message() << bad);
    testsupport::ExpectError(6, "", [&] { Number2DaoSql(bad); });
  }
  EXPECT_EQ(DaoQString(std::string(kMaxQStringBytes, 'x')).size(), kMaxQStringBytes + 2);
  testsupport::ExpectError(5, "", [] { DaoQString(std::string(kMaxQStringBytes + 1, 'x')); });
  // The literals read back as the values they stand for.
  EXPECT_EQ(QvQueryValue("select count(*) from T where Born = " + Date2DaoSql(march5, "") +
                         " and Name <> " + DaoQString("x\"y")),
            Variant(int32_t{1}));
}

TEST_F(Toolkit, IdentifierListsAreNumbersOrRefused) {
  EXPECT_EQ(IdList2DaoSql("7", "x"), "7");
  EXPECT_EQ(IdList2DaoSql(" 3 ; -5 ;+6; 2.5", "x"), "3, -5, +6, 2.5");
  EXPECT_EQ(IdList2DaoSql("1,2", "x"), "1, 2");
  EXPECT_EQ(IdList2DaoSql("3;5", "x", ","), "3,5");
  for (const char* ids : {"", ";", "1;;2", "1;", "0) or (1=1", "1;x", "1.2.3", "-", ".", "1e5",
                          "1\t", "0) union select ID from Person where (1=1"}) {
    SCOPED_TRACE(ids);
    ExpectError(5, "GetThings", [&] { IdList2DaoSql(ids, "GetThings"); });
  }
  // Up to the limit every identifier is kept; one more is refused, and so
  // is a 200,000-identifier list, long before a statement could hold it.
  const auto ids = [](size_t n) {
    std::string list;
    for (size_t i = 1; i <= n; ++i) list += (i > 1 ? ";" : "") + std::to_string(i);
    return list;
  };
  const std::string sql = IdList2DaoSql(ids(kMaxIdListItems), "x", ",");
  EXPECT_EQ(std::count(sql.begin(), sql.end(), ','), kMaxIdListItems - 1);
  EXPECT_EQ(sql.substr(sql.size() - 6), "," + std::to_string(kMaxIdListItems));
  for (size_t n : {kMaxIdListItems + 1, size_t{200000}}) {
    SCOPED_TRACE(::testing::Message() << n);
    testsupport::ExpectError(5, "", [&] { IdList2DaoSql(ids(n), "x"); });
  }
  const std::string longest(kMaxIdListItemChars, '1');
  EXPECT_EQ(IdList2DaoSql(" " + longest + " ", "x"), longest);
  testsupport::ExpectError(5, "", [&] { IdList2DaoSql(longest + "1", "x"); });
}

TEST_F(Toolkit, DictionaryStatements) {
  const struct {
    std::string ids, filter, search, order, extra, expected;
  } cases[] = {
      {"", "", "", "", "", "SELECT T.*  From T;"},
      {"2", "", "", "ID", "", "SELECT T.*  From T Where  (ID = 2)  order by ID;"},
      {"1;3;2", "Amount > 0", "", "", "",
       "SELECT T.*  From T Where  ID IN (1,3,2) and Amount > 0;"},
      {"", "Amount > 0", "Name, Amount", "Name", "1 AS One",
       "SELECT T.* , 1 AS One, iif (IsNull (Name), \"\", CStr (Name)) + \"|\" + iif (IsNull "
       "(Amount), \"\", CStr (Amount)) AS SeekName  From T Where Amount > 0 order by Name;"},
      {"", "", "@Name & '!'", "", "", "SELECT T.* , Name & '!' AS SeekName  From T;"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(BuildDictQuery("T", c.ids, c.filter, c.search, c.order, "ID", c.extra), c.expected);

  auto rs = GetDictQueryA("T", "1;3;2", "", "Name, Amount", "ID", "ID", "");
  ASSERT_TRUE(rs);
  std::string seek;
  for (size_t r = 0; r < rs->RowCount(); ++r)
    seek += CStr(rs->Value(r, rs->FieldIndex("SeekName"))) + ";";
  EXPECT_EQ(seek, "Иванов|10.5;Петров|;Сидоров \"С\"|0.25;");
  Error e =
      ExpectError(kAnyError, "", [] { GetDictQuery("T", "1;3", "Amount >", "", "", "ID", ""); });
  EXPECT_NE(e.Description().find("{Запрос, вызвавший ошибку: \r\nSELECT T.*  From T Where  ID IN "
                                 "(1,3) and Amount >;}"),
            std::string::npos)
      << e.Description();
  // A refused list builds no statement, so none is named.
  e = ExpectError(5, "", [] { GetDictQuery("T", "1;", "", "", "", "ID", ""); });
  EXPECT_EQ(e.Description().find("Запрос"), std::string::npos) << e.Description();
  EXPECT_NE(e.Description().find("GetDictQuery (T)"), std::string::npos) << e.Description();
}

TEST_F(Toolkit, TableRoutinesSeekAddAndName) {
  const Variant noFields[] = {Variant()};
  EXPECT_EQ(QvAddRecord("T", "Id", "ID", 0, std::span<const Variant>(noFields, 0)), 4);
  const Variant fields[] = {Variant("Name"), Variant("Новый"), Variant("Amount"), Variant(1)};
  EXPECT_EQ(QvAddRecord("T", "Id", "ID", 10, fields), 10);
  EXPECT_EQ(QvAddRecord("T", "Id", "ID", 0, fields), 11);
  EXPECT_EQ(QvQueryValue("select count(*) from T where Name = 'Новый'"), Variant(int32_t{2}));

  EXPECT_TRUE(QvIsKeyExists(nullptr, "T", "Id", Variant(10)));
  EXPECT_FALSE(QvIsKeyExists(nullptr, "T", "Id", Variant(9)));
  QvExecuteSql("insert into Counters values (5, 2024, 3)");
  EXPECT_TRUE(QvIsKeyExists(nullptr, "Counters", "Idx1", Variant(5), Variant(2024)));
  EXPECT_FALSE(QvIsKeyExists(nullptr, "Counters", "Idx1", Variant(5), Variant(2023)));
  EXPECT_TRUE(QvIsKeyExists(nullptr, "Counters", "Idx1", Variant(5)));
  Variant got;
  QvLookupValue(got, "T", "Id", Variant(1), "Name", Variant("none"));
  EXPECT_EQ(got, Variant("Иванов"));
  QvLookupValue(got, "T", "Id", Variant(99), "Name", Variant("none"));
  EXPECT_EQ(got, Variant("none"));

  Error e =
      ExpectError(3015, "", [] { QvIsKeyExists(nullptr, "T", "NoIndex", Variant(1), Variant(2)); });
  EXPECT_EQ(e.Description().substr(0, e.Description().find("\r\n")),
            "[Qv_DBProvider::mQvDaoDataBase.QvIsKeyExists] {Таблица: T, Индекс: NoIndex, "
            "Количество ключей: 2}");

  const Variant badField[] = {Variant("Amount"), Variant(2), Variant("Nosuch"), Variant(5)};
  e = ExpectError(3265, "", [&] { QvAddRecord("T", "Id", "ID", 0, badField); });
  const std::string& d = e.Description();
  EXPECT_EQ(d.substr(0, d.find("\r\n[DAO")),
            "[Qv_DBProvider::mQvDaoDataBase.QvAddRecord] {Таблица: T, PKIndex: Id, PKFiled: ID}\r\n"
            "[Qv_DBProvider::mQvDaoDataBase.FillRsWithValues] {Field: Nosuch, Value: (Long) 5}");
  EXPECT_EQ(QvQueryValue("select count(*) from T"), Variant(int32_t{6}));  // nothing half written

  auto rs = QvGetTableRS("T", "Id");
  rs->AddNew();
  e = ExpectError(kAnyError, "", [&] { DaoRsSet(*rs, "Name", Variant(std::string(51, 'x'))); });
  EXPECT_EQ(e.Description().substr(0, e.Description().find("\r\n")),
            "[Qv_DBProvider::mQvDaoDataBase.DaoRsSet] {Table: T, Field: Name, Value: (String) \"" +
                std::string(51, 'x') + "\"}");
  // A refused long text is quoted in its first 60 characters (counted as
  // characters, not bytes), whichever routine reports it.
  std::string huge;
  for (int i = 0; i < 60000; ++i) huge += "Жx";
  const Variant hugeField[] = {Variant("Name"), Variant(huge)};
  for (Error err :
       {ExpectError(kAnyError, "", [&] { DaoRsSet(*rs, "Name", Variant(huge)); }),
        ExpectError(kAnyError, "", [&] { QvAddRecord("T", "Id", "ID", 0, hugeField); })}) {
    const std::string& text = err.Description();
    EXPECT_LT(text.size(), 1000u) << text.substr(0, 1000);
    std::string shown;
    for (int i = 0; i < 30; ++i) shown += "Жx";
    EXPECT_NE(text.find("(String) \"" + shown + "...\" (120000 characters)"), std::string::npos);
  }
  rs->CancelUpdate();
  dao::Transaction tx(*db_, dao::kWriteLock);
  EXPECT_EQ(NextId(*rs, "ID"), 12);
  QvExecuteSql("delete from T");
  auto empty = QvGetTableRS("T", "Id");
  EXPECT_EQ(NextId(*empty, "ID"), 1);
  // A cursor that saw the table empty counts the rows added through it.
  empty->AddNew();
  empty->SetField("ID", Variant(1.0));
  empty->Update();
  EXPECT_EQ(NextId(*empty, "ID"), 2);
}

// A number handed out as last + 1 is read and used under one write lock:
// without a write-locked scope every form of it refuses (5), naming the table.
TEST_F(Toolkit, NextNumbersNeedAWriteLockedScope) {
  struct Scopes : std::vector<std::unique_ptr<dao::Transaction>> {
    ~Scopes() {
      while (!empty()) pop_back();  // innermost first
    }
  };
  // The scopes a case opens, outermost first: "r" a read scope, "w" a
  // write-locked one, "n" a write-locked nested level, "W" the workspace's
  // write-locked transaction; "+" writes a row in the innermost.
  const auto open = [&](Scopes& scopes, char c) {
    if (c == '+') {
      QvExecuteSql("update T set Amount = 1 where ID = 2");
    } else if (c == 'W') {
      scopes.push_back(
          std::make_unique<dao::Transaction>(*miDataBase::GetWorkspace(), dao::kWriteLock));
    } else {
      scopes.push_back(std::make_unique<dao::Transaction>(
          *db_, c == 'r'   ? dao::kRead
                : c == 'w' ? dao::kWriteLock
                           : dao::TxOptions{.immediate = true, .join = dao::TxJoin::kNested}));
    }
  };
  const struct {
    const char* name;
    const char* scopes;
    bool locked;
  } cases[] = {
      {"no scope", "", false},
      {"a read scope", "r", false},
      {"a write-locked scope", "w", true},
      {"a write-locked scope joining a read scope", "rw", false},
      {"a write-locked level nested in a read scope", "rn", false},
      // A file's write takes the lock of the whole file; a server's takes
      // the rows it writes only.
      {"a read scope that has written", "r+", !OnServer()},
      {"the workspace's write-locked transaction", "W", true},
  };
  const struct {
    const char* form;
    std::function<double()> next;
    double expected;
  } forms[] = {
      {"NextId of a table", [&] { return NextId(db_, "T", "ID"); }, 4},
      {"NextId of a recordset", [&] { return NextId(*QvGetTableRS("T", "Id"), "ID"); }, 4},
      {"NextRegNumber", [&] { return DBGlobalParams::NextRegNumber(db_); }, 1},
  };
  for (const auto& c : cases) {
    for (const auto& f : forms) {
      SCOPED_TRACE(std::string(c.name) + ", " + f.form);
      Scopes scopes;
      for (const char* at = c.scopes; *at; ++at) open(scopes, *at);
      if (c.locked)
        EXPECT_EQ(f.next(), f.expected);
      else
        ExpectError(5, "outside a write-locked transaction", [&] { f.next(); });
    }
  }
}

TEST_F(Toolkit, FieldReadersAndListsFallBackToDefaults) {
  auto rs = QvQuerySqlStatic("select * from T order by ID");
  EXPECT_EQ(GetDaoString(*rs, "Born"), "05.03.2007");
  EXPECT_EQ(GetDaoLong(*rs, "Amount"), 10);  // 10.5 rounds to even
  EXPECT_EQ(GetDaoDate(*rs, "Born"), MakeDate({2007, 3, 5}));
  EXPECT_TRUE(GetDaoBool(*rs, "ID"));
  EXPECT_EQ(GetDaoStringDef(*rs, "Nosuch", "d"), "d");
  rs->MoveNext();
  EXPECT_EQ(GetDaoStringDef(*rs, "Born", "d"), "d");
  EXPECT_EQ(GetDaoDoubleDef(*rs, "Amount", -1), -1);
  EXPECT_EQ(GetDaoDouble(*rs, "Name"), 0);  // "Петров" is not a number
  EXPECT_EQ(GetDaoDate(*rs, "Born"), OleDate{0});
  EXPECT_FALSE(GetDaoBool(*rs, "Born"));
  EXPECT_TRUE(IsDaoFieldExists(*rs, "amount"));
  EXPECT_FALSE(IsDaoFieldExists(*rs, "Nosuch"));

  EXPECT_EQ(GetDelimitedNumberFieldValuesFromDaoRS(rs, "Amount", -1, ",", "none"), "10.5,-1,0.25");
  EXPECT_TRUE(rs->IsEOF());
  EXPECT_EQ(GetDelimitedStringFieldValuesFromDaoRS(rs, "Born", "?", "; ", "none"),
            "05.03.2007; ?; 31.12.1899");
  EXPECT_EQ(GetDelimitedNumberFieldValuesFromDaoRS(rs, "Nosuch", 0, ",", "none"), "none");
  EXPECT_EQ(GetDelimitedNumberFieldValuesFromDaoRS(nullptr, "ID", 0, ",", "none"), "none");
  EXPECT_EQ(GetDelimitedNumberFieldValuesFromDaoRS(QvQuerySql("select ID from T where ID = 0"),
                                                   "ID", 0, ",", "none"),
            "none");
  auto ids = QvQuerySql("select ID * 1000000000 as Big from T order by ID");
  EXPECT_EQ(GetDelimitedNumberFieldValuesFromDaoRS(ids, "Big", 0, ";", ""),
            "1000000000;2000000000;3000000000");
}

}  // namespace
}  // namespace qv
