// `qvdb sql [--db FILE | --server CONNINFO [--create]] [--format F] [--bail]
//           [-f FILE | STATEMENT...]`.

#include <unistd.h>
#include <CLI/CLI.hpp>

#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>

#include "Commands.h"
#include "DataFolder.h"
#include "SqlShell.h"
#include "platform/automation/Error.h"
#include "platform/jet/JetEngine.h"
#include "platform/jet/JetError.h"

namespace qvdb {

namespace {

// A Jet file names its engine at byte 4 of its first page ("Standard Jet DB",
// or "Standard ACE DB" for the later format).
bool IsJetFile(const std::filesystem::path& file) {
  char head[19] = {};
  std::ifstream in(file, std::ios::binary);
  if (!in.read(head, sizeof head)) return false;
  return std::memcmp(head + 4, "Standard Jet DB", 15) == 0 ||
         std::memcmp(head + 4, "Standard ACE DB", 15) == 0;
}

std::string Join(const std::vector<std::string>& parts) {
  std::string s;
  for (const std::string& p : parts) s += (s.empty() ? "" : " ") + p;
  return s;
}

}  // namespace

CommandRun AddSqlCommand(CLI::App& app, CommandContext& ctx) {
  auto* sql = app.add_subcommand(
      "sql",
      "Run Jet SQL statements given as arguments or in a file, or a shell reading statements "
      "ending with \";\"");
  struct Options {
    std::string dbFile;
    std::string server;
    bool create = false;
    std::vector<std::string> words;
    std::string script;
    bool bail = false;
  };
  auto o = std::make_shared<Options>();
  ctx.AddData(sql);
  auto* db =
      NotEmpty(sql->add_option("--db", o->dbFile, "a database file instead of the data folder's"));
  auto* server =
      NotEmpty(sql->add_option(
                   "--server", o->server,
                   "a PostgreSQL database instead (postgresql://... or a libpq connection string)"))
          ->excludes(db);
  sql->add_flag("--create", o->create,
                "with --server: make the library's catalogue in the database when it has none")
      ->needs(server);
  ctx.AddFormat(sql);
  NotEmpty(sql->add_option("-f,--file", o->script,
                           "run the statements and commands of FILE, then stop"));
  sql->add_flag("--bail", o->bail, "stop a script at its first error");
  sql->add_option("statement", o->words,
                  "statements to run (quote them; several end with \";\"); none: the shell");
  return [sql, o, &ctx]() -> std::optional<int> {
    if (!*sql) return std::nullopt;
    if (!o->script.empty() && !o->words.empty())
      throw UserError("give either -f FILE or statements, not both", 2);
    // `qvdb sql DIR`, as sqlite3 and psql take their database first: the folder
    // would be run as a statement and fail with a syntax error that hides the slip.
    // (A statement longer than a file name may be is no file: no error.)
    std::error_code noFile;
    if (!o->words.empty() && o->words[0].find_first_of("/.") != std::string::npos &&
        std::filesystem::exists(o->words[0], noFile))
      throw UserError(o->words[0] + " is a " +
                          (std::filesystem::is_directory(o->words[0])
                               ? "folder: give a data folder with --data " + o->words[0]
                               : "file: give a database file with --db " + o->words[0]) +
                          ", then the statements",
                      2);
    const Format format = ParseFormat(ctx.format);
    std::unique_ptr<SqlSession> session;
    if (!o->server.empty()) {
      if (!qv::jet::IsServerLocation(o->server))
        throw UserError(
            "--server takes a postgresql:// URI or a connection string (host=... "
            "dbname=...), not " +
            o->server);
      std::shared_ptr<qv::jet::Engine> engine;
      try {
        engine = qv::jet::OpenEngine(o->server, {.create = o->create});
      } catch (const qv::Error& e) {
        // No session: the server's reason, said as the commands on a server
        // folder say it, without the file engine's words (a file opened
        // exclusively by another user) that lead the reader astray.
        const std::string fileWords =
            qv::jet::JetErrorText(qv::jet::jeterr::kOpenedExclusively, {ShownFolder(o->server)}) +
            " ";
        if (e.Number() == qv::jet::jeterr::kOpenedExclusively &&
            e.Description().starts_with(fileWords))
          throw qv::Error(e.Number(),
                          "The server of '" + ShownFolder(o->server) +
                              "' cannot be reached: " + e.Description().substr(fileWords.size()),
                          e.Source());
        // A database without the library's catalogue: the way to make one,
        // and the way to a data folder's, whose schema the location names.
        if (e.Number() != qv::jet::jeterr::kBadDatabaseFormat) throw;
        throw qv::Error(e.Number(),
                        e.Description() +
                            " Its schema has no catalogue of the library's tables: add --create "
                            "to make one there, or give a server data folder with --data LOCATION",
                        e.Source());
      }
      session = std::make_unique<SqlSession>(engine, format, std::cout, std::cerr);
    } else {
      const std::filesystem::path file = o->dbFile.empty()
                                             ? UserDatabasePath(ExistingDataFolder(ctx.data))
                                             : std::filesystem::path(o->dbFile);
      if (qv::jet::IsServerLocation(file.string())) {
        // --data names a server folder: its user database's schema.
        session = std::make_unique<SqlSession>(qv::jet::OpenEngine(file.string(), {}), format,
                                               std::cout, std::cerr);
      } else if (IsJetFile(file)) {
        throw UserError(file.string() +
                        " is a Jet database file, which qvdb does not open: convert its folder "
                        "with `qvdb import-mdb SRC DEST`, then use --data DEST");
      } else {
        session = std::make_unique<SqlSession>(file, format, std::cout, std::cerr);
      }
    }
    session->SetBail(o->bail);
    int errors = 0;
    if (!o->words.empty())
      errors = session->RunText(Join(o->words));
    else if (!o->script.empty())
      errors = session->RunFile(o->script);
    else
      errors = isatty(STDIN_FILENO) ? session->RunInteractive() : session->RunScript(std::cin);
    return errors == 0 ? 0 : 1;
  };
}

}  // namespace qvdb
