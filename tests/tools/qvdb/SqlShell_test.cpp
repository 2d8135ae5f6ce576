#include "SqlShell.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "ResultWriter.h"
#include "TextWidth.h"

#include "QvdbTestSupport.h"
#include "core/CoreTestSupport.h"
#include "platform/automation/Error.h"

namespace qvdb {
namespace {

constexpr const char* kNoSuch =
    "Error 3078: The Microsoft Jet database engine cannot find the input table or query "
    "'nosuch'.  Make sure it exists and that its name is spelled correctly.\n";

struct ScriptCase {
  const char* name;
  const char* script;
  Format format;
  const char* out;       // expected output, exactly
  std::string err = "";  // expected error output, exactly
  int errors = 0;
  bool bail = false;
};

// report_time holds the report codes 1-21, 23 and 24.
const ScriptCase kScripts[] = {
    {"select", "select count(*) as n from report_time;", Format::kTable, "n\n--\n23\n(1 row)\n"},
    {"spans lines", "select\n  count(*) as n\n  from report_time\n  where report_id < 3\n;",
     Format::kTsv, "n\n2\n"},
    {"semicolon in a text", "select 'a;b' as t;\nselect [x;y] from (select 1 as [x;y]);",
     Format::kTsv, "t\na;b\nx;y\n1\n"},
    {"a text across lines", "select 'a\nb;' as t; select 2 as u;", Format::kTsv,
     "t\na\\nb;\nu\n2\n"},
    {"several on one line", "select 1 as a; select 2 as b;select 3 as c", Format::kTsv,
     "a\n1\nb\n2\nc\n3\n"},
    {"json", "select report_id, name from report_time where report_id = 17;", Format::kJson,
     "{\"fields\":[{\"name\":\"report_id\",\"type\":3},{\"name\":\"name\",\"type\":203}],"
     "\"rows\":[[17,\"Иное\"]]}\n"},
    {"json, no rows", "select report_id from report_time where report_id = 99;", Format::kJson,
     "{\"fields\":[{\"name\":\"report_id\",\"type\":3}],\"rows\":[]}\n"},
    {"csv",
     "select 1 as a, 'x,\"y' as b, null as c, DateSerial(2025, 3, 1) as d,\n"
     "  DateSerial(2025, 3, 1) + TimeSerial(9, 5, 7) as e, 'l1\nl2' as f, 2.5 as [g h];",
     Format::kCsv,
     "a,b,c,d,e,f,g h\r\n1,\"x,\"\"y\",,2025-03-01,2025-03-01 09:05:07,\"l1\nl2\",2.5\r\n"},
    {"mode switch", "select 1 as one;\n.mode csv\nselect 'a' as [x,y];", Format::kTsv,
     "one\n1\n\"x,y\"\r\na\r\n"},
    {"display width", "select '漢字' as a, 1 as b;\nselect 'e\xCC\x81' as a, 2 as b;",
     Format::kTable, "a     b\n----  -\n漢字  1\n(1 row)\na  b\n-  -\ne\xCC\x81  2\n(1 row)\n"},
    {"action", "update report_time set name = name where report_id <= 2;", Format::kTable,
     "2 rows affected\n"},
    {"action json", "delete from report_time where report_id = 999;", Format::kJson,
     "{\"rowsAffected\":0}\n"},
    {"error names its line, then on",
     "select 0 as z;\n\nselect *\n  from nosuch;\nselect 1 as one;", Format::kTsv, "z\n0\none\n1\n",
     std::string("line 3: ") + kNoSuch, 1},
    {"bail stops at the error", "select 1 as a;\nselect * from nosuch; select 2 as b;\nselect 3;",
     Format::kTsv, "a\n1\n", std::string("line 2: ") + kNoSuch, 1, true},
    {"bail on a command", ".schema nosuch\nselect 1;", Format::kTsv, "",
     "line 1: Error 3376: Table 'nosuch' does not exist.\n", 1, true},
    {"format switch", "select 1 as one;\n.format json\nselect 1 as one;", Format::kTsv,
     "one\n1\n{\"fields\":[{\"name\":\"one\",\"type\":3}],\"rows\":[[1]]}\n"},
    {"bad format", ".format JSON", Format::kTable, "",
     "line 1: Error 5: Invalid procedure call or argument: unknown format \"JSON\" (table, tsv, "
     "csv or json)\n",
     1},
    {"bad timer", "\n.timer yes", Format::kTable, "",
     "line 2: Error 5: Invalid procedure call or argument: .timer takes on or off\n", 1},
    {"unknown command", ".drop everything", Format::kTable, "",
     "line 1: Error 5: Invalid procedure call or argument: unknown command \".drop\" (try "
     ".help)\n",
     1},
    {"quit stops", "select 1 as a;\n.quit\nselect 2 as b;", Format::kTsv, "a\n1\n"},
    {"last statement without semicolon", "select 3 as c", Format::kTsv, "c\n3\n"},
    {"blank lines and comments", "\n-- a comment; not run\n   \nselect 4 as d;\n\n", Format::kTsv,
     "d\n4\n"},
    {"empty statement", ";", Format::kTsv, ""},
    {"one name twice", "select 1 as a, 2 as a, 3 as a_2;", Format::kTsv,
     "a\ta_2\ta_2_2\n1\t2\t3\n"},
    {"tables by pattern", ".tables DOC_REG*\n.tables ?alendar\n.tables %_cell_value_\n",
     Format::kTsv, "doc_registry\nCalendar\ndoc_cell_values\n"},
    {"schema of a bracketed name, the command's semicolon", ".schema [report_time];", Format::kTsv,
     "TABLE report_time\n  report_id  Long REQUIRED\n  parent_id  Long\n  name       "
     "Text(255)\n  INDEX Id (report_id) PRIMARY\n"},
    {"schema of a table", ".schema doc_cell_values", Format::kTable,
     "TABLE doc_cell_values\n  document_id  Double REQUIRED\n  cell_key     Text(12) REQUIRED\n"
     "  first_value  Text(255)\n  first_type   Integer\n"
     "  INDEX Document_ID (document_id, cell_key)\n"},
    {"schema aligned by display width", "create table [Т т] (Имя text(5), ID long);\n.schema [Т т]",
     Format::kTsv, "0 rows affected\nTABLE [Т т]\n  Имя  Text(5)\n  ID   Long\n"},
    {"translate", ".translate select name from report_time where report_id = 1;", Format::kTable,
     "SELECT \"report_time\".\"name\" AS \"name\" FROM \"report_time\" WHERE "
     "(\"report_time\".\"report_id\" = 1)\n"},
};

TEST(SqlShell, RunsScripts) {
  TempFolder tmp;
  const auto folder = test::CopyOfPristine(tmp);
  for (const ScriptCase& c : kScripts) {
    std::ostringstream out, err;
    SqlSession session(UserDatabasePath(folder), c.format, out, err);
    session.SetBail(c.bail);
    std::istringstream in(c.script);
    EXPECT_EQ(session.RunScript(in), c.errors) << c.name;
    EXPECT_EQ(out.str(), c.out) << c.name;
    EXPECT_EQ(err.str(), c.err) << c.name;
  }
}

// Statements given on the command line stop at the first error and name no
// line; a file read by .read (or -f) names itself and its line, and a
// script's .read of a missing file is an error of the script's line.
TEST(SqlShell, TextsAndFiles) {
  TempFolder tmp;
  const auto folder = test::CopyOfPristine(tmp);
  std::ofstream(tmp / "inner.sql") << "select 1 as a;\n\nselect * from nosuch;\n";
  std::ofstream(tmp / "outer.sql")
      << "select 0 as z;\n.read " << (tmp / "inner.sql").string() << "\n.read "
      << (tmp / "none.sql").string() << "\nselect 2 as b;\n";
  std::ostringstream out, err;
  SqlSession session(UserDatabasePath(folder), Format::kTsv, out, err);
  EXPECT_EQ(session.RunText("select 1 as a; select * from nosuch; select 2 as b"), 1);
  EXPECT_EQ(out.str(), "a\n1\n");
  EXPECT_EQ(err.str(), kNoSuch);
  out.str(""), err.str("");
  EXPECT_EQ(session.RunFile(tmp / "outer.sql"), 3);
  EXPECT_EQ(out.str(), "z\n0\na\n1\nb\n2\n");
  const std::string inner = (tmp / "inner.sql").string(), outer = (tmp / "outer.sql").string();
  EXPECT_EQ(err.str(), inner + ":3: " + kNoSuch + outer +
                           ":3: Error 53: File not found: cannot read " +
                           (tmp / "none.sql").string() + ": No such file or directory\n");
  ExpectError(53, "", [&] { session.RunFile(tmp / "none.sql"); });
}

// The table form takes its widths from the first rows and prints the rest
// as they come: a wider cell later pushes the rest of its row.
TEST(SqlShell, TableAlignsOnTheFirstRows) {
  std::ostringstream out;
  ResultWriter writer(out, Format::kTable, 2);
  writer.Begin({{"x", 3}, {"y", 203}, {"x", 3}});
  for (const auto& [x, y] : {std::pair{1, "a"}, {22, "b"}, {333, "c"}, {4, "ddd"}}) {
    const Variant row[] = {Variant(int32_t{x}), Variant(y), Variant::Null()};
    writer.Row(row);
  }
  EXPECT_EQ(writer.End(), 4u);
  EXPECT_EQ(out.str(),
            "x   y  x_2\n"
            "--  -  ----\n"
            "1   a  Null\n"
            "22  b  Null\n"
            "333  c  Null\n"
            "4   ddd  Null\n"
            "(4 rows)\n");
}

TEST(SqlShell, DisplayWidths) {
  const struct {
    const char* text;
    size_t width;
    const char* cut4;  // cut to 4 columns
  } cases[] = {
      {"", 0, ""},
      {"abc", 3, "abc"},
      {"Ромашка", 7, "Ром…"},
      {"漢字漢字", 8, "漢…"},  // 2 + 1 of 4: a wide character does not fit the third column
      {"e\xCC\x81te\xCC\x81st", 5, "e\xCC\x81te\xCC\x81…"},  // combining marks: none
      {"a\xE2\x80\x8B"
       "b",
       2,
       "a\xE2\x80\x8B"
       "b"},                        // a zero-width space
      {"\xFF\xFE", 2, "\xFF\xFE"},  // bytes that are not UTF-8: one each
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DisplayWidth(c.text), c.width) << c.text;
    EXPECT_EQ(CutToWidth(c.text, 4), c.cut4) << c.text;
  }
  EXPECT_TRUE(MatchesTablePattern("Doc_Registry", "doc_*"));
  EXPECT_TRUE(MatchesTablePattern("Город", "гор?д"));
  EXPECT_FALSE(MatchesTablePattern("doc_registry", "doc"));
  EXPECT_TRUE(MatchesTablePattern("anything", ""));
}

// .dump writes Jet SQL that .read loads again into the same rows: a table
// with every kind of column and the values that are hard to write (quotes,
// line breaks, Cyrillic, dates before 1900 and without a day, the last bit
// of a Double, Null).
TEST(SqlShell, DumpLoadsAgain) {
  TempFolder tmp;
  const auto folder = test::CopyOfPristine(tmp);
  const auto db = UserDatabasePath(folder);
  Execute(db,
          {"create table [Round Trip] (ID counter, [Some Name] text(20) not null default "
           "\"x\", M memo, D datetime, B bit, C currency, F double, S short, L long, "
           "G guid, Y byte, R single)",
           "create unique index ByName on [Round Trip] ([Some Name] desc, L)",
           "insert into [Round Trip] ([Some Name], M, D, B, C, F, S, L, G, Y, R) values "
           "('a\"b''c', 'one' & Chr(13) & Chr(10) & 'two' & Chr(9), DateSerial(2025, 3, 1) "
           "+ TimeSerial(9, 5, 7), True, 12.3456, 0.1 + 0.2, -3, 123456789, "
           "'{6F9619FF-8B86-D011-B42D-00C04FC964FF}', 255, 1.1)",
           "insert into [Round Trip] ([Some Name], D, F) values ('Ромашка', "
           "TimeSerial(6, 0, 0), 1e-300)",
           "insert into [Round Trip] ([Some Name], D, F, M) values ('x', DateSerial(1700, 1, 1), "
           "-0.000123456789012345, '')"});
  const std::string rows = Rows(db, "select * from [Round Trip] order by ID");
  std::ostringstream dump, err;
  {
    SqlSession session(db, Format::kTsv, dump, err);
    EXPECT_TRUE(session.Dot(".dump [Round Trip]"));
    std::ofstream(tmp / "dump.sql") << dump.str();
    std::ostringstream out;
    SqlSession again(db, Format::kTsv, out, err);
    again.Execute("drop table [Round Trip]");
    EXPECT_EQ(again.RunFile(tmp / "dump.sql"), 0) << err.str();
    EXPECT_EQ(out.str(),
              "0 rows affected\n0 rows affected\n1 row affected\n1 row affected\n1 row affected\n"
              "0 rows affected\n");
  }
  EXPECT_EQ(err.str(), "");
  EXPECT_EQ(Rows(db, "select * from [Round Trip] order by ID"), rows);
  std::ostringstream second;
  SqlSession session(db, Format::kTsv, second, err);
  session.Dot(".dump [Round Trip]");
  EXPECT_EQ(second.str(), dump.str());
  EXPECT_THAT(dump.str(),
              HasSubstr("CREATE UNIQUE INDEX [ByName] ON [Round Trip] ([Some Name] DESC, [L]);"));
  // The whole database dumps (every table, in one go) without an error.
  std::ostringstream all;
  SqlSession whole(db, Format::kTsv, all, err);
  EXPECT_TRUE(whole.Dot(".dump"));
  EXPECT_THAT(
      all.str(),
      HasSubstr("INSERT INTO [report_time] ([report_id], [parent_id], [name]) VALUES (17, "));
  ExpectError(3376, "", [&] { whole.Dot(".dump nosuch"); });
}

// Every table without a pattern; an open of what is no database.
TEST(SqlShell, TablesAndOpens) {
  TempFolder tmp;
  const auto folder = test::CopyOfPristine(tmp);
  std::ostringstream out;
  SqlSession session(UserDatabasePath(folder), Format::kTable, out, out);
  EXPECT_EQ(JetTypeText(qv::jet::JetType::kText, 0), "Text(255)");  // a size never set
  session.Dot(".tables");
  const std::string tables = out.str();
  for (const char* t : {"\nPerson\n", "\ndoc_registry\n", "\nCalendar\n"})
    EXPECT_THAT(tables, HasSubstr(t));
  EXPECT_FALSE(session.Dot(".quit"));
  std::ostringstream err;
  ExpectError(3024, "", [&] { SqlSession(tmp / "none.mdb", Format::kTable, out, err); });
  ExpectError(3044, "", [&] { SqlSession(tmp / "no/such/none.mdb", Format::kTable, out, err); });
}

// A folder the user may not write (as on read-only media): the shell reads
// and every write fails with 3027, instead of the open failing. Run in a
// child process as nobody, since root writes whatever the permissions say.
TEST(SqlShell, AFolderThatCannotBeWrittenIsRead) {
  TempFolder tmp;
  const auto folder = test::CopyOfPristine(tmp);
  namespace fs = std::filesystem;
  const auto write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  fs::permissions(tmp.Path(), fs::perms::others_exec, fs::perm_options::add);
  for (const auto& e : fs::directory_iterator(folder))
    fs::permissions(e.path(), write, fs::perm_options::remove);
  fs::permissions(folder, write, fs::perm_options::remove);
  fs::permissions(folder, fs::perms::others_exec, fs::perm_options::add);

  // An open error comes back from the child as "error N: ...".
  const std::string report =
      qv::coretest::Child([&]() -> std::string {
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
          return "cannot become nobody";
        std::ostringstream out, err;
        SqlSession session(UserDatabasePath(folder), Format::kTsv, out, err);
        std::istringstream in(
            "select count(*) as n from report_time;\n"
            "update report_time set name = 'x' where report_id = 1;");
        session.RunScript(in);
        return out.str() + err.str().substr(0, err.str().find(": Error") + 13);
      }).Join();
  fs::permissions(folder, fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(report, "n\n23\nline 2: Error 3027:");
}

}  // namespace
}  // namespace qvdb
