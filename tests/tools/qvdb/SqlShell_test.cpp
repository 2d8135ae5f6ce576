#include "SqlShell.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>

#include "QvdbTestSupport.h"
#include "core/CoreTestSupport.h"
#include "platform/automation/Error.h"

namespace qvdb {
namespace {

struct ScriptCase {
  const char* name;
  const char* script;
  Format format;
  const char* out;  // expected output, exactly
  const char* err;  // expected error output, exactly
  int errors;
};

// report_time holds the report codes 1-21, 23 and 24.
const ScriptCase kScripts[] = {
    {"select", "select count(*) as n from report_time;", Format::kTable, "n\n--\n23\n(1 row)\n", "",
     0},
    {"spans lines", "select\n  count(*) as n\n  from report_time\n  where report_id < 3\n;",
     Format::kTsv, "n\n2\n", "", 0},
    {"semicolon in a text", "select 'a;b' as t;\nselect [x;y] from (select 1 as [x;y]);",
     Format::kTsv, "t\na;b\nx;y\n1\n", "", 0},
    {"json", "select report_id, name from report_time where report_id = 17;", Format::kJson,
     "{\"fields\":[{\"name\":\"report_id\",\"type\":3},{\"name\":\"name\",\"type\":203}],"
     "\"rows\":[[17,\"Иное\"]]}\n",
     "", 0},
    {"action", "update report_time set name = name where report_id <= 2;", Format::kTable,
     "2 rows affected\n", "", 0},
    {"action json", "delete from report_time where report_id = 999;", Format::kJson,
     "{\"rowsAffected\":0}\n", "", 0},
    {"error, then on", "select * from nosuch;\nselect 1 as one;", Format::kTsv, "one\n1\n",
     "Error 3078: The Microsoft Jet database engine cannot find the input table or query "
     "'nosuch'.  Make sure it exists and that its name is spelled correctly.\n",
     1},
    {"format switch", "select 1 as one;\n.format json\nselect 1 as one;", Format::kTsv,
     "one\n1\n{\"fields\":[{\"name\":\"one\",\"type\":3}],\"rows\":[[1]]}\n", "", 0},
    {"bad format", ".format JSON", Format::kTable, "",
     "Error 5: Invalid procedure call or argument: unknown format \"JSON\" (table, tsv or json)\n",
     1},
    {"unknown command", ".drop everything", Format::kTable, "",
     "Error 5: Invalid procedure call or argument: unknown command \".drop\" (try .help)\n", 1},
    {"quit stops", "select 1 as a;\n.quit\nselect 2 as b;", Format::kTsv, "a\n1\n", "", 0},
    {"last statement without semicolon", "select 3 as c", Format::kTsv, "c\n3\n", "", 0},
    {"blank lines", "\n\n   \nselect 4 as d;\n\n", Format::kTsv, "d\n4\n", "", 0},
    {"empty statement", ";", Format::kTsv, "", "", 0},
    {"one name twice", "select 1 as a, 2 as a, 3 as a_2;", Format::kTsv, "a\ta_2\ta_2_2\n1\t2\t3\n",
     "", 0},
    {"translate", ".translate select name from report_time where report_id = 1;", Format::kTable,
     "SELECT \"report_time\".\"name\" AS \"name\" FROM \"report_time\" WHERE "
     "(\"report_time\".\"report_id\" = 1)\n",
     "", 0},
};

TEST(SqlShell, RunsScripts) {
  TempFolder tmp;
  const auto folder = test::CopyOfPristine(tmp);
  for (const ScriptCase& c : kScripts) {
    std::ostringstream out, err;
    SqlSession session(UserDatabasePath(folder), c.format, out, err);
    std::istringstream in(c.script);
    EXPECT_EQ(session.RunScript(in), c.errors) << c.name;
    EXPECT_EQ(out.str(), c.out) << c.name;
    EXPECT_EQ(err.str(), c.err) << c.name;
  }
}

TEST(SqlShell, SchemaAndTables) {
  TempFolder tmp;
  const auto folder = test::CopyOfPristine(tmp);
  std::ostringstream out;
  SqlSession session(UserDatabasePath(folder), Format::kTable, out, out);
  EXPECT_TRUE(session.Dot(".schema doc_cell_values"));
  EXPECT_EQ(out.str(),
            "TABLE doc_cell_values\n"
            "  document_id  Double REQUIRED\n"
            "  cell_key     Text(12) REQUIRED\n"
            "  first_value  Text(255)\n"
            "  first_type   Integer\n"
            "  INDEX Document_ID (document_id, cell_key)\n");
  EXPECT_EQ(JetTypeText(qv::jet::JetType::kText, 0), "Text(255)");  // a size never set
  out.str("");
  session.Dot(".schema report_time;");
  EXPECT_NE(out.str().find("INDEX Id (report_id) PRIMARY"), std::string::npos) << out.str();
  out.str("");
  session.Dot(".tables");
  const std::string tables = out.str();
  for (const char* t : {"\nPerson\n", "\ndoc_registry\n", "\nCalendar\n"})
    EXPECT_NE(tables.find(t), std::string::npos) << t;
  EXPECT_FALSE(session.Dot(".quit"));
  ExpectError(3376, "", [&] { session.Dot(".schema nosuch"); });
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
        return out.str() + err.str().substr(0, err.str().find(':') + 1);
      }).Join();
  fs::permissions(folder, fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(report, "n\n23\nError 3027:");
}

}  // namespace
}  // namespace qvdb
