#pragma once
// `qvdb sql`: Jet SQL on one database file through the DAO layer. A SELECT
// prints its rows as the library's query results carry them; an action
// statement prints the rows it affected ({"rowsAffected":n} in JSON).
//
// The shell reads statements, which end with ";" and may span lines, and
// dot commands on a line of their own:
//   .tables               the user tables
//   .schema [TABLE]       Jet types and sizes, Required, indexes
//   .translate STATEMENT  the SQLite text a statement runs as
//   .format table|tsv|json
//   .help, .quit (.exit)
// An error prints "Error NUMBER: DESCRIPTION" on the error stream and the
// session goes on.

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <string>

#include "Output.h"
#include "platform/dao/Database.h"
#include "platform/jet/JetTypes.h"

namespace qv::jet {
class Engine;
}

namespace qvdb {

class SqlSession {
 public:
  // Opens an existing database file (the errors of Database::Open).
  SqlSession(const std::filesystem::path& file, Format format, std::ostream& out,
             std::ostream& err);
  // Runs Jet SQL on a database of another engine, a server's (ServerShell.cpp).
  SqlSession(std::shared_ptr<qv::jet::Engine> server, Format format, std::ostream& out,
             std::ostream& err);
  ~SqlSession();

  // Runs one statement (a trailing ";" is allowed) and prints its result.
  // Raises the engine's errors.
  void Execute(const std::string& statement);
  // Runs a dot command; false for .quit. Raises for a bad command.
  bool Dot(const std::string& line);
  // Reads statements and commands from `in` until its end or .quit; prints
  // errors and goes on. Returns the number of errors.
  int RunScript(std::istream& in);
  // The same with line editing and history (~/.qvdb_history) on a terminal.
  int RunInteractive();

  void PrintTables();
  void PrintSchema(const std::string& table);
  Format OutputFormat() const { return format_; }

 private:
  // Feeds one input line; true to go on. Counts and prints errors.
  bool Feed(const std::string& line);
  void PrintError(const std::exception& e);
  void ExecuteOnServer(const std::string& sql);  // ServerShell.cpp

  std::shared_ptr<qv::dao::Workspace> ws_;
  std::shared_ptr<qv::dao::Database> db_;
  std::shared_ptr<qv::jet::Engine> server_;  // instead of db_
  Format format_;
  std::ostream& out_;
  std::ostream& err_;
  std::string pending_;
  int errors_ = 0;
};

// The text of a Jet type as a definition writes it: "Text(12)", "Long" ...
std::string JetTypeText(qv::jet::JetType type, int32_t size);

}  // namespace qvdb
