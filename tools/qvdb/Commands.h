#pragma once
// The subcommands of qvdb, one function each that adds its command to the
// program's CLI::App and returns how to run it. main() keeps them in a table
// and runs the one the command line chose.

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace qvdb {

// The options several commands share; each command adds those it takes.
struct CommandContext {
  std::optional<std::string> data;  // --data DIR
  std::string format = "table";     // --format table|tsv|json
  void AddData(CLI::App* cmd);
  void AddFormat(CLI::App* cmd);
};

// Refuses an empty value of `option` (a folder, file or server named by ""):
// without it the command would fall back to its default folder, which a
// script's unset variable must not replace or fill. Returns `option`.
CLI::Option* NotEmpty(CLI::Option* option);

// A mistake of the user's that qvdb can name and say how to mend (a folder
// that holds no data, a file of the wrong kind): main() prints "qvdb: " and
// the text, and exits with the status.
struct UserError : std::runtime_error {
  explicit UserError(const std::string& what, int status = 1)
      : std::runtime_error(what), status(status) {}
  int status;
};

// Runs its command when the command line named it (its exit status), else
// nullopt. Errors are thrown; main() prints them.
using CommandRun = std::function<std::optional<int>()>;

CommandRun AddInitCommand(CLI::App& app, CommandContext& ctx);
CommandRun AddSqlCommand(CLI::App& app, CommandContext& ctx);
CommandRun AddCallCommand(CLI::App& app, CommandContext& ctx);
CommandRun AddGenerateCommand(CLI::App& app, CommandContext& ctx);
CommandRun AddCheckCommand(CLI::App& app, CommandContext& ctx);
CommandRun AddBackupCommand(CLI::App& app, CommandContext& ctx);
CommandRun AddCopyCommand(CLI::App& app, CommandContext& ctx);
CommandRun AddDemoCommand(CLI::App& app, CommandContext& ctx);
CommandRun AddImportMdbCommand(CLI::App& app, CommandContext& ctx);
CommandRun AddClassesCommand(CLI::App& app, CommandContext& ctx);
CommandRun AddKladrCommand(CLI::App& app, CommandContext& ctx);
CommandRun AddHelpCommand(CLI::App& app, CommandContext& ctx);
CommandRun AddReferenceCommand(CLI::App& app, CommandContext& ctx);

}  // namespace qvdb
