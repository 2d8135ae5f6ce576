// `qvdb help CLASS[.OPERATION]` and `qvdb reference DIR`.

#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

#include "Commands.h"
#include "Reference.h"

namespace qvdb {

CommandRun AddHelpCommand(CLI::App& app, CommandContext&) {
  auto* help = app.add_subcommand(
      "help", "Print the signature of CLASS.OPERATION as call takes it, or every one of CLASS");
  auto target = std::make_shared<std::string>();
  help->add_option("target", *target, "CLASS.OPERATION or CLASS (Qv_DBProvider. is implied)")
      ->required();
  return [help, target]() -> std::optional<int> {
    if (!*help) return std::nullopt;
    PrintHelp(*target, std::cout);
    return 0;
  };
}

CommandRun AddReferenceCommand(CLI::App& app, CommandContext&) {
  auto* reference = app.add_subcommand(
      "reference", "Write the reference of the classes call can create, one page per class");
  auto dir = std::make_shared<std::string>();
  NotEmpty(reference->add_option("dir", *dir, "the folder (its .md files are replaced)"))
      ->required();
  return [reference, dir]() -> std::optional<int> {
    if (!*reference) return std::nullopt;
    std::cout << WriteReference(*dir) << " pages written to " << *dir << "\n";
    return 0;
  };
}

}  // namespace qvdb
