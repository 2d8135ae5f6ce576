#include "SqlShell.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>

#include "QvdbTestSupport.h"
#include "platform/automation/Error.h"

namespace qvdb {
namespace {

using test::TempFolder;

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
    {"bad format", ".format xml", Format::kTable, "",
     "Error 5: Invalid procedure call or argument: unknown format \"xml\" (table, tsv or json)\n",
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
  std::ostringstream out, err;
  SqlSession session(UserDatabasePath(folder), Format::kTable, out, err);
  EXPECT_TRUE(session.Dot(".schema doc_cell_values"));
  EXPECT_EQ(out.str(),
            "TABLE doc_cell_values\n"
            "  document_id  Double REQUIRED\n"
            "  cell_key     Text(12) REQUIRED\n"
            "  first_value  Text(255)\n"
            "  first_type   Integer\n"
            "  INDEX Document_ID (document_id, cell_key)\n");
  out.str("");
  session.Dot(".schema report_time;");
  EXPECT_NE(out.str().find("INDEX Id (report_id) PRIMARY"), std::string::npos) << out.str();
  out.str("");
  session.Dot(".tables");
  const std::string tables = out.str();
  for (const char* t : {"\nPerson\n", "\ndoc_registry\n", "\nCalendar\n"})
    EXPECT_NE(tables.find(t), std::string::npos) << t;
  EXPECT_FALSE(session.Dot(".quit"));
  {
    const qv::Error e = qv::testsupport::ExpectError(qv::testsupport::kAnyError, "",
                                                     [&] { session.Dot(".schema nosuch"); });

    EXPECT_EQ(e.Number(), 3376);
  }
}

TEST(SqlShell, OpenErrors) {
  TempFolder tmp;
  std::ostringstream out, err;
  const struct {
    std::filesystem::path file;
    int32_t number;
  } cases[] = {{tmp / "none.mdb", 3024}, {tmp / "no/such/none.mdb", 3044}};
  for (const auto& c : cases) {
    {
      const qv::Error e = qv::testsupport::ExpectError(qv::testsupport::kAnyError, "", [&] {
        SqlSession session(c.file, Format::kTable, out, err);
      });

      EXPECT_EQ(e.Number(), c.number) << c.file;
    }
  }
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

  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::close(fds[0]);
    std::string report;
    if (::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
      report = "cannot become nobody";
    } else {
      std::ostringstream out, err;
      try {
        SqlSession session(UserDatabasePath(folder), Format::kTsv, out, err);
        std::istringstream in(
            "select count(*) as n from report_time;\n"
            "update report_time set name = 'x' where report_id = 1;");
        session.RunScript(in);
      } catch (const qv::Error& e) {
        err << "Error " << e.Number() << " on open: " << e.Description() << "\n";
      }
      report = out.str() + err.str().substr(0, err.str().find(':') + 1);
    }
    if (::write(fds[1], report.data(), report.size()) < 0) ::_exit(2);
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string report;
  char buf[256];
  for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) report.append(buf, n);
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  fs::permissions(folder, fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(report, "n\n23\nError 3027:");
}

TEST(SqlShell, JetTypeTexts) {
  using qv::jet::JetType;
  EXPECT_EQ(JetTypeText(JetType::kText, 0), "Text(255)");
  EXPECT_EQ(JetTypeText(JetType::kText, 12), "Text(12)");
  EXPECT_EQ(JetTypeText(JetType::kLong, 0), "Long");
  EXPECT_EQ(JetTypeText(JetType::kBoolean, 0), "Boolean");
}

}  // namespace
}  // namespace qvdb
