// `qvdb classes [--members]`.

#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

#include "Call.h"
#include "Commands.h"

namespace qvdb {

CommandRun AddClassesCommand(CLI::App& app, CommandContext&) {
  auto* classes =
      app.add_subcommand("classes",
                         "List the classes call can create (ProgIDs), or with --members every "
                         "CLASS.OPERATION call takes");
  auto members = std::make_shared<bool>(false);
  classes->add_flag("--members", *members, "list the operations and properties");
  return [classes, members]() -> std::optional<int> {
    if (!*classes) return std::nullopt;
    ListClasses(*members, std::cout);
    return 0;
  };
}

}  // namespace qvdb
