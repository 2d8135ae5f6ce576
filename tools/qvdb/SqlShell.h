#pragma once
// `qvdb sql`: Jet SQL on one database file through the DAO layer. A SELECT
// prints its rows as it reads them (ResultWriter.h); an action statement
// prints the rows it affected ({"rowsAffected":n} in JSON).
//
// The shell reads statements, which end with ";" (several may share a line,
// one may span lines; a ";" inside quotes or brackets does not count), and
// on a line of their own "--" comments and dot commands:
//   .tables [PATTERN]     the user tables (PATTERN: * or % any text, ? or _
//                         one character, any letter case)
//   .schema [TABLE]       Jet types and sizes, Required, indexes
//   .dump [TABLE]         Jet SQL that .read loads again (SqlDump.h)
//   .read FILE            runs the statements and commands of a file
//   .translate STATEMENT  the SQLite text a statement runs as
//   .format / .mode table|tsv|csv|json
//   .timer on|off         the time each statement took, after it
//   .help, .quit (.exit)
// A TABLE may be written in brackets or quotes ([Fruit Salad]).
// An error prints "Error NUMBER: DESCRIPTION" on the error stream, after
// "FILE:LINE: " (or "line N: " for standard input) where a script has lines,
// and the session goes on, unless it bails (--bail), when the script stops.
// On a terminal, Ctrl-C drops the statement being typed (or stops the one
// running, error 3059) and keeps the shell; Ctrl-D on an unfinished
// statement says so, and a second Ctrl-D quits; Tab completes commands,
// table and column names and SQL words.

#include <chrono>
#include <filesystem>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "Output.h"
#include "platform/dao/Database.h"
#include "platform/jet/JetTypes.h"

namespace qv::jet {
class Engine;
}

namespace qvdb {

// The database a shell works on: an existing file (the errors of
// Database::Open), read-only when it cannot be written.
std::shared_ptr<qv::dao::Database> OpenShellDatabase(const std::filesystem::path& file);

class SqlSession {
 public:
  SqlSession(const std::filesystem::path& file, Format format, std::ostream& out,
             std::ostream& err);
  // Runs Jet SQL on a database of another engine, a server's (ServerShell.cpp).
  SqlSession(std::shared_ptr<qv::jet::Engine> server, Format format, std::ostream& out,
             std::ostream& err);
  ~SqlSession();

  // Stop a script at its first error.
  void SetBail(bool bail) { bail_ = bail; }

  // Runs one statement (a trailing ";" is allowed) and prints its result.
  // Raises the engine's errors.
  void Execute(const std::string& statement);
  // Runs a dot command; false for .quit. Raises for a bad command.
  bool Dot(const std::string& line);
  // Reads statements and commands from `in` until its end or .quit; prints
  // errors, naming `name` and the line ("" for "line N"), and goes on
  // unless bailing. A last statement without ";" runs. Returns the number
  // of errors so far.
  int RunScript(std::istream& in, const std::string& name = "");
  // Statements given on the command line: as a script whose errors name no
  // line, stopping at the first.
  int RunText(const std::string& text);
  // The same for a file (-f FILE). Error 53 when it cannot be read.
  int RunFile(const std::filesystem::path& file);
  // The same with line editing and history (~/.qvdb_history) on a terminal.
  int RunInteractive();

  void PrintTables(const std::string& pattern = "");
  void PrintSchema(const std::string& table);
  int Errors() const { return errors_; }

 private:
  struct Source;
  // Feeds one input line; false to stop (.quit, or an error when bailing).
  bool Feed(const std::string& line);
  bool Run(const std::string& statement);  // Execute, errors printed
  bool RunDot(const std::string& line);    // Dot, errors printed
  void PrintError(const std::exception& e);
  void ExecuteOnServer(const std::string& sql);  // ServerShell.cpp
  bool Unfinished() const;
  void Reset();  // drops the statement being read
  std::vector<std::string> TableNames(const std::string& pattern);

  std::shared_ptr<qv::dao::Database> db_;
  std::shared_ptr<qv::jet::Engine> server_;  // instead of db_
  Format format_;
  std::ostream& out_;
  std::ostream& err_;
  bool bail_ = false;
  bool timer_ = false;
  bool stop_ = false;
  int errors_ = 0;
  // The statement being read: its text, where it started, and whether the
  // text so far ends inside quotes or brackets.
  std::string pending_;
  char quote_ = 0;
  bool bracket_ = false;
  std::vector<Source*> sources_;  // the scripts being read, innermost last
  size_t statementLine_ = 0;
};

// The text of a Jet type as a definition writes it: "Text(12)", "Long" ...
std::string JetTypeText(qv::jet::JetType type, int32_t size);

// Whether a table name matches a .tables pattern (see above).
bool MatchesTablePattern(std::string_view name, std::string_view pattern);

}  // namespace qvdb
