// The built qvdb program run as a user runs it: exit statuses, what goes to
// stdout and stderr, and the JSON it prints. The program is found beside the
// test program's build folder (build/tools/qvdb/qvdb for build/tests/...).

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "QvdbTestSupport.h"

namespace qvdb {
namespace {

fs::path QvdbProgram() {
  return fs::canonical("/proc/self/exe").parent_path().parent_path() / "tools" / "qvdb" / "qvdb";
}

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

struct Outcome {
  int status;
  std::string out, err;
};

// Runs qvdb with the registry file and data home of `tmp`, feeding `input`;
// `shellPrefix` goes before the command (a ulimit).
Outcome Qvdb(const TempFolder& tmp, const std::vector<std::string>& args,
             const std::string& input = "", const std::string& shellPrefix = "") {
  std::ofstream(tmp / "stdin") << input;
  std::string cmd = shellPrefix + "env QV_REGISTRY=" + Quote((tmp / "registry.ini").string()) +
                    " XDG_DATA_HOME=" + Quote((tmp / "home").string()) + " " +
                    Quote(QvdbProgram().string());
  for (const std::string& a : args) cmd += " " + Quote(a);
  cmd += " <" + Quote((tmp / "stdin").string()) + " >" + Quote((tmp / "stdout").string()) + " 2>" +
         Quote((tmp / "stderr").string());
  const int raw = std::system(cmd.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, test::ReadFileText(tmp / "stdout"),
          test::ReadFileText(tmp / "stderr")};
}

constexpr fs::perms kWrite =
    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(QvdbProgram())) << "build the qvdb target first: " << QvdbProgram();
  }
  TempFolder tmp_;
};

TEST_F(Cli, ExitStatuses) {
  const std::string data = (tmp_ / "data").string();
  const std::string jetFile = (tmp_ / "old.mdb").string();
  std::ofstream(jetFile, std::ios::binary) << std::string("\0\1\0\0Standard Jet DB\0", 20);
  const struct {
    std::vector<std::string> args;
    int status;
    std::string err;         // the start of stderr
    std::string shell = "";  // before the command (a redirection of its stdout)
  } cases[] = {
      {{}, 2, "qvdb: give a command: init, sql, "},
      {{"Sql", "select 1"}, 2, "qvdb: no command \"Sql\"; the commands of qvdb: init, sql, "},
      {{"kladr", "--data", data, "import", data},
       2,
       "qvdb: --data goes after the command's name: qvdb kladr import --data"},
      {{"refdata"}, 2, "qvdb: give a command: load (qvdb refdata --help describes them)"},
      {{"--data", data, "sql", "select 1"},
       2,
       "qvdb: --data goes after the command's name: qvdb sql"},
      {{"sql", "--help"}, 0, ""},
      {{"generate", "--data", data, "--documents", "5"}, 2, "qvdb: "},  // --streams is required
      {{"generate", "--data", data, "--streams", "0", "--documents", "5"},
       2,
       "qvdb: --streams must be at least 1"},
      {{"init", data}, 0, ""},
      {{"init", data}, 1, "Error 3204: Database already exists"},
      {{"init", "--force", data}, 0, ""},
      {{"init", "--data", data},
       1,
       "Error 3204: Database already exists"},  // as the others name it
      {{"generate", "--data", data, "--streams", "1", "--documents", "1", "--seed", "-1"},
       2,
       "qvdb: --seed: "},
      {{"generate", "--data", data, "--streams", "1", "--documents", "1", "--first-year", "2030"},
       2,
       "qvdb: --first-year must be between 2003 and --last-year (2025)"},
      {{"sql", "--data", data, "select * from nosuch"}, 1, "Error 3078: "},
      {{"sql", "--data", data, "--format", "xml", "select 1"}, 2, "qvdb: --format: "},
      {{"sql", data, "select 1"},
       2,
       "qvdb: " + data + " is a folder: give a data folder with --data"},
      {{"sql", "--data", data, "select 1.5 where '" + std::string(300, 'a') + "' <> ''"}, 0, ""},
      {{"sql", "--data", (tmp_ / "none").string(), "select 1"}, 1, "qvdb: no data folder at "},
      {{"sql", "--data", jetFile, "select 1"},
       1,
       "qvdb: " + jetFile + " is a file, not a data folder"},
      {{"sql", "--data", data, "--create", "select 1"}, 2, "qvdb: --create requires --server"},
      {{"sql", "--data", "", "select 1"}, 2, "qvdb: --data: an empty name"},
      {{"sql", "--data", data, "-f", data}, 1, "Error 75: "},
      {{"sql", "--data", data, "select 1"},
       1,
       "qvdb: the output could not all be written to stdout",
       "f() { \"$@\" >/dev/full; }; f "},
      {{"init", (tmp_ / "a\nb").string()}, 2, "qvdb: the folder's name holds a line break"},
      {{"reference", "/proc/qvdb"}, 1, "Error 75: "},
      {{"refdata", "load", (tmp_ / "none").string()}, 1, "Error 3024: "},
      {{"call", "--data", (tmp_ / "none").string(), "DBQPfr.GetMROT", "2025"},
       1,
       "qvdb: no data folder at "},
      {{"sql", "--db", jetFile, "select 1"}, 1, "qvdb: " + jetFile + " is a Jet database file"},
      {{"sql", "--server", data, "select 1"}, 1, "qvdb: --server takes a postgresql:// URI"},
      {{"sql", "--db", jetFile, "--server", "dbname=x", "select 1"}, 2, "qvdb: "},
      // No server listens on a socket in a folder that does not exist.
      {{"sql", "--server", "host=" + (tmp_ / "none").string() + " dbname=x", "select 1"},
       1,
       "Error 3051: The server of 'host=" + (tmp_ / "none").string() +
           " dbname=x' cannot be reached: connection to server on socket"},
      {{"call", "NoSuch.Operation"}, 1, "Error 429: "},
      {{"check", "--data", (tmp_ / "none").string()}, 1, "qvdb: no data folder at "},
      {{"check", "--data", jetFile}, 1, "qvdb: " + jetFile + " is a file, not a data folder"},
      {{"backup", "--data", data, (tmp_ / "copy").string()}, 0, ""},
      {{"backup", "--data", data, (tmp_ / "copy").string()},
       1,
       "Error 3204: Database already exists: " + (tmp_ / "copy").string() + " is not empty"},
      {{"copy", data, (tmp_ / "copy").string()}, 1, "Error 3204: "},
      {{"backup", "--data", data, data + "/b"},
       1,
       "Error 75: Path/File access error: " + data + "/b lies inside the folder " + data +
           " it would copy"},
      {{"backup", "--data", data, jetFile + "/b"},
       1,
       "Error 75: Path/File access error: cannot create the folder " + jetFile +
           "/b: Not a directory"},
      {{"backup", "--data", data, "postgresql://h/db"}, 1, "qvdb: a backup is written to a folder"},
      {{"import-mdb", jetFile, "postgresql://u:secret@h/db"},
       1,
       "qvdb: import-mdb writes a new folder on disk: import into one, then `qvdb copy DIR "
       "postgresql://u:********@h/db` copies it to the server"},
      // Writes past the file-size limit fail; nothing half made is left in "part".
      {{"reference", (tmp_ / "ref").string()}, 1, "Error 75: ", "ulimit -f 1 && "},
      {{"init", (tmp_ / "part" / "init").string()}, 1, "Error 3043: ", "ulimit -f 300 && "},
      {{"backup", "--data", data, (tmp_ / "part" / "b").string()},
       1,
       "Error 3043: ",
       "ulimit -f 300 && "},
  };
  for (const auto& c : cases) {
    const Outcome r = Qvdb(tmp_, c.args, "", c.shell);
    std::string line;
    for (const auto& a : c.args) line += a + " ";
    EXPECT_EQ(r.status, c.status) << line << "\n" << r.err;
    EXPECT_EQ(r.err.substr(0, c.err.size()), c.err) << line << "\n" << r.err;
    if (c.status == 1) {
      EXPECT_EQ(r.out, "") << line;  // errors never go to stdout
    }
  }
  EXPECT_FALSE(fs::exists(tmp_ / "part"));
  EXPECT_THAT(test::ReadFileText(tmp_ / "registry.ini"),
              HasSubstr("DataBasePath = \"" + data + "/\""));
}

// A write past the file-size limit is an error with its cause, not the end
// of the process by a signal; the folder stays sound.
TEST_F(Cli, AFileSizeLimitIsAnErrorWithItsCause) {
  const std::string data = (tmp_ / "data").string();
  ASSERT_EQ(Qvdb(tmp_, {"init", data}).status, 0);
  const Outcome gen = Qvdb(tmp_, {"generate", "--streams", "5", "--documents", "2000"}, "",
                           "ulimit -f 3000 && ");  // 1.5 or 3 MB, as the shell counts blocks
  EXPECT_EQ(gen.status, 1) << gen.err;
  EXPECT_TRUE(gen.err.starts_with("Error 3043: Disk or network error. (File too large)"))
      << gen.err;
  const Outcome check = Qvdb(tmp_, {"check"});
  EXPECT_EQ(check.status, 0) << check.out;
}

// What a stopped run, a full disk and a read-only folder leave to `check`
// and `backup`: a shard file of no document is reported and removed on
// request; files that cannot be opened for want of room are not called
// damaged; a folder nobody may write backs up.
TEST_F(Cli, StrayShardsFullDisksAndReadOnlyFolders) {
  const fs::path data = tmp_ / "data";
  ASSERT_EQ(Qvdb(tmp_, {"init", data.string()}).status, 0);
  ASSERT_EQ(
      Qvdb(tmp_, {"generate", "--seed", "3", "--streams", "4", "--documents", "40", "--cells", "5"})
          .status,
      0);
  fs::path shard;
  for (const auto& e : fs::recursive_directory_iterator(data / "BigDocs"))
    if (e.path().filename().string().ends_with("_0.mdb")) shard = e.path();
  ASSERT_FALSE(shard.empty());
  const fs::path stray = data / "BigDocs" / "99" / "99" / "999999_0.mdb";
  fs::create_directories(stray.parent_path());
  fs::copy_file(shard, stray);
  ASSERT_EQ(
      Qvdb(tmp_, {"sql", "--db", stray.string(), "update StorageInfo set DocumentID = 999999"})
          .status,
      0);
  Outcome check = Qvdb(tmp_, {"check", "--data", data.string()});
  EXPECT_EQ(check.status, 1);
  EXPECT_THAT(check.out, HasSubstr("ok      " + stray.string()));
  EXPECT_THAT(check.out, HasSubstr("Shard files of no document:\n  FAILED  " + stray.string()));
  check = Qvdb(tmp_, {"check", "--data", data.string(), "--remove-unowned"});
  EXPECT_EQ(check.status, 0) << check.out;
  EXPECT_THAT(check.out, HasSubstr("removed " + stray.string()));
  EXPECT_FALSE(fs::exists(stray));

  // Room for the report (12 or 24 KB, as the shell counts blocks), none for
  // a -shm file (32 KB).
  check = Qvdb(tmp_, {"check", "--data", data.string()}, "", "ulimit -f 24 && ");
  EXPECT_EQ(check.status, 1);
  EXPECT_THAT(check.out, HasSubstr("NOT CHECKED  " + shard.string()));
  EXPECT_THAT(check.out, Not(HasSubstr("FAILED  " + data.string())));

  // Without root's rights, which write whatever the permissions say.
  const std::string unprivileged =
      ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  fs::permissions(tmp_.Path(), fs::perms::others_exec, fs::perm_options::add);
  const fs::path out = tmp_ / "out";
  fs::create_directory(out);
  fs::permissions(out, fs::perms::all);
  for (const auto& e : fs::recursive_directory_iterator(data))
    fs::permissions(e.path(), kWrite, fs::perm_options::remove);
  fs::permissions(data, kWrite, fs::perm_options::remove);
  const Outcome backup =
      Qvdb(tmp_, {"backup", "--data", data.string(), (out / "copy").string()}, "", unprivileged);
  for (const auto& e : fs::recursive_directory_iterator(data))
    if (e.is_directory()) fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::add);
  fs::permissions(data, fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(backup.status, 0) << backup.err;
  EXPECT_TRUE(fs::exists(out / "copy" / fs::relative(shard, data))) << backup.out;
}

TEST_F(Cli, SqlGenerateCheckAndCallOnOneFolder) {
  const std::string data = (tmp_ / "data").string();
  ASSERT_EQ(Qvdb(tmp_, {"init", data}).status, 0);
  const Outcome gen = Qvdb(tmp_, {"generate", "--seed", "3", "--streams", "4", "--documents", "40",
                                  "--cells", "5"});  // the folder comes from the registry now
  ASSERT_EQ(gen.status, 0) << gen.err;
  EXPECT_THAT(gen.out, HasSubstr("40 documents"));
  EXPECT_EQ(gen.err, "");  // no progress bar when stderr is not a terminal

  const Outcome rows = Qvdb(tmp_, {"sql", "--format", "json",
                                   "select count(*) as n, max(reg_number) as r from doc_registry"});
  ASSERT_EQ(rows.status, 0) << rows.err;
  EXPECT_EQ(rows.out,
            "{\"fields\":[{\"name\":\"n\",\"type\":3},{\"name\":\"r\",\"type\":5}],"
            "\"rows\":[[40,40]]}\n");

  const Outcome action = Qvdb(tmp_, {"sql", "--format", "json", "--data", data,
                                     "update doc_registry set Notes = 'x' where doc_type = 0"});
  ASSERT_EQ(action.status, 0) << action.err;
  EXPECT_TRUE(action.out.starts_with("{\"rowsAffected\":")) << action.out;
  EXPECT_THAT(action.out, Not(HasSubstr("{\"rowsAffected\":0}")));

  const Outcome shell = Qvdb(tmp_, {"sql", "--format", "tsv"},
                             "select count(*) as n\nfrom AccStream;\nselect * from nosuch;\n"
                             ".schema Branches\n.quit\nselect 1;\n");
  EXPECT_EQ(shell.status, 1);  // one statement failed
  EXPECT_EQ(shell.out.substr(0, 4), "n\n4\n");
  EXPECT_THAT(shell.out, HasSubstr("INDEX ParentPersonID (ParentPersonID)"));
  EXPECT_EQ(shell.err.substr(0, 19), "line 3: Error 3078:");  // the line of the statement

  const Outcome check = Qvdb(tmp_, {"check"});
  EXPECT_EQ(check.status, 0) << check.out;
  EXPECT_THAT(check.out, HasSubstr("Registration self-test:\n  "));
  // The three files and the shards of the generated big documents.
  EXPECT_THAT(check.out, HasSubstr("ok      " + data + "/BigDocs/"));
  EXPECT_THAT(check.out, HasSubstr(" files, 0 problems"));
  // A healthy folder: not one line of the report says FAILED.
  EXPECT_THAT(check.out, Not(HasSubstr("FAILED")));

  // An array argument reaches the operation whole ("[]" an empty one, not
  // no argument) and, passed by reference, is printed back.
  const Outcome array = Qvdb(tmp_, {"call", "--format", "json", "--data", data,
                                    "DBQFss.GetDocsNeedToBeCheckedAtServer", "[]"});
  ASSERT_EQ(array.status, 0) << array.err;
  EXPECT_EQ(array.out,
            "{\"result\":{\"fields\":[{\"name\":\"ID\",\"type\":5}],\"rows\":[]},"
            "\"args\":[[]]}\n");
  // Every reader, the read-only ones of check included, has ended: no file
  // keeps a write-ahead log beside it.
  for (const auto& e : fs::recursive_directory_iterator(data)) {
    const std::string name = e.path().filename().string();
    EXPECT_FALSE(name.ends_with("-wal") || name.ends_with("-shm")) << e.path();
  }

  fs::remove(fs::path(data) / "Okato.mdb");
  const Outcome broken = Qvdb(tmp_, {"check", "--data", data});
  EXPECT_EQ(broken.status, 1);
  EXPECT_THAT(broken.out, HasSubstr("the file is missing"));
}

TEST_F(Cli, DemoOnAnEmptyFolder) {
  const Outcome r = Qvdb(tmp_, {"demo"});  // the default folder: $XDG_DATA_HOME/qvdb
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_THAT(r.out, HasSubstr("Data folder: " + (tmp_ / "home" / "qvdb").string()));
  EXPECT_THAT(r.out, HasSubstr("Generated a sample: 6 accounting streams, 120 documents"));
  EXPECT_THAT(r.out, HasSubstr("== Taxpayers and their accounting streams"));
  // The typical request went through: forms listed, cells saved and read
  // back, a stream deleted with its document.
  EXPECT_THAT(r.out, HasSubstr("990000100001 = Добавлено в демонстрации"));
  EXPECT_THAT(r.out, HasSubstr("stream exists = False, document exists = False, its cells: 0"));
  // A new adjustment with the base's cells, a file attached, a temporary
  // database gone when closed.
  EXPECT_THAT(r.out, HasSubstr("cells 20 (document 120: 20)"));
  EXPECT_THAT(r.out, HasSubstr("GetDocumentAttachments(121): 1 attachment(s)"));
  EXPECT_THAT(r.out, HasSubstr("CloseDB: the file is gone"));
  EXPECT_THAT(r.out, Not(HasSubstr("Error")));
  // A signer in the signer list with the title of its active warrant.
  EXPECT_THAT(r.out, HasSubstr("      № 77-ДЕМ/2025\n"));
  const Outcome again = Qvdb(tmp_, {"demo"});  // uses what is there
  EXPECT_EQ(again.status, 0);
  EXPECT_THAT(again.out, Not(HasSubstr("Generated a sample")));
  EXPECT_THAT(again.out, HasSubstr("the previous run's warrant"));
}

}  // namespace
}  // namespace qvdb
