// qvdb: sets up, explores and checks a data folder, generates sample data,
// and calls any public operation of the library by name.
//
// Exit status: 0 success, 1 an error (printed on stderr, whatever the
// format, as "Error NUMBER: MESSAGE" and the chain of procedures after it)
// or a database file that failed `check`, 2 bad command-line use.

#include <malloc.h>
#include <CLI/CLI.hpp>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <vector>

#include "Commands.h"
#include "Output.h"
#include "RefData.h"
#include "platform/automation/Error.h"

namespace {

// Output that did not reach stdout (a full disk, /dev/full, a closed stdout)
// is a failure with its cause, not a success.
int Finish(int status) {
  errno = 0;
  std::cout.flush();
  if (std::fflush(stdout) != 0 || std::ferror(stdout) || !std::cout) {
    // The cause is known when this flush failed; an earlier write's is lost.
    std::cerr << "qvdb: the output could not all be written to stdout"
              << (errno ? std::string(": ") + std::strerror(errno) : std::string()) << std::endl;
    return 1;
  }
  return status;
}

std::string CommandNames(const CLI::App& app) {
  std::string names;
  for (const CLI::App* sub : app.get_subcommands({}))
    names += (names.empty() ? "" : ", ") + sub->get_name();
  return names;
}

// The slips CLI11 would answer with "A subcommand is required" or "The
// following arguments were not expected", said as what was wrong: a command
// name it does not know, and a command's option put before the command's
// name, or none given. `words` are what follows `path` ("qvdb", "qvdb
// kladr"); "" when none of these.
std::string CommandSlip(const CLI::App& app, char** words, char** end, const std::string& path) {
  if (app.get_subcommands({}).empty()) return "";
  if (words == end)
    return "give a command: " + CommandNames(app) + " (" + path + " --help describes them)";
  const std::string first = *words;
  if (first == "-h" || first == "--help" || first == "--help-all" || first == "--version")
    return "";
  const CLI::App* command = nullptr;  // the first word that names one
  for (char** w = words; w != end && !command; ++w)
    for (const CLI::App* sub : app.get_subcommands({}))
      if (sub->get_name() == *w) command = sub;
  if (!first.starts_with('-') && (!command || command->get_name() != first))
    return "no command \"" + first + "\"; the commands of " + path + ": " + CommandNames(app);
  if (first.starts_with('-') && command)
    return first + " goes after the command's name: " + path + " " + command->get_name() + " " +
           first + " ...";
  return command ? CommandSlip(*command, words + 1, end, path + " " + first) : "";
}

}  // namespace

int main(int argc, char** argv) {
  // Inside a transaction each statement frees its savepoint data when it
  // ends; by default glibc then gives the top of the heap back to the system
  // (brk) and asks for it again with the next row, which costs more than the
  // insert itself. Keeping up to 128 MB makes generate about 2.5 times faster.
  mallopt(M_TRIM_THRESHOLD, 128 << 20);
  mallopt(M_TOP_PAD, 16 << 20);
  // A write past the file-size limit (ulimit -f) would end the process by
  // SIGXFSZ with no word said; ignored, the write fails, the engine reports
  // it as an error, the transaction rolls back and the error is printed.
  std::signal(SIGXFSZ, SIG_IGN);
  CLI::App app{"qvdb: set up, explore and check a data folder; call any operation by name"};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string(QVDB_VERSION));
  app.set_help_all_flag("--help-all", "Print this help with every command's options and exit");
  qvdb::CommandContext ctx;
  // In the order --help lists them.
  using Adder = qvdb::CommandRun (*)(CLI::App&, qvdb::CommandContext&);
  std::vector<qvdb::CommandRun> commands;
  for (Adder add :
       {qvdb::AddInitCommand, qvdb::AddSqlCommand, qvdb::AddCallCommand, qvdb::AddGenerateCommand,
        qvdb::AddCheckCommand, qvdb::AddCopyCommand, qvdb::AddBackupCommand, qvdb::AddDemoCommand,
        qvdb::AddImportMdbCommand, qvdb::AddClassesCommand, qvdb::AddHelpCommand,
        qvdb::AddReferenceCommand, qvdb::AddKladrCommand})
    commands.push_back(add(app, ctx));
  commands.push_back(qvdb::AddRefDataCommand(
      app, [&ctx](CLI::App* cmd) { ctx.AddData(cmd); }, ctx.data));

  // A command of commands (kladr, refdata) the same way after its name.
  if (const std::string slip = CommandSlip(app, argv + 1, argv + argc, "qvdb"); !slip.empty()) {
    std::cerr << "qvdb: " << slip << "\n";
    return 2;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return Finish(app.exit(e));
  } catch (const CLI::CallForAllHelp& e) {
    return Finish(app.exit(e));
  } catch (const CLI::CallForVersion& e) {
    return Finish(app.exit(e));
  } catch (const CLI::ParseError& e) {
    std::cerr << "qvdb: " << e.what() << "\nRun with --help for more information.\n";
    return 2;
  }
  try {
    for (const qvdb::CommandRun& run : commands)
      if (const std::optional<int> status = run()) return Finish(*status);
  } catch (const qvdb::UserError& e) {
    std::cout.flush();
    std::cerr << "qvdb: " << e.what() << std::endl;
    return e.status;
  } catch (const qv::Error& e) {
    std::cout.flush();
    std::cerr << qvdb::ErrorReport(e) << std::endl;
    return 1;
  } catch (const std::exception& e) {
    std::cout.flush();
    std::cerr << "Error: " << e.what() << std::endl;
    return 1;
  }
  return Finish(0);
}
