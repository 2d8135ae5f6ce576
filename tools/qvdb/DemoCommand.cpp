// `qvdb demo`.

#include <CLI/CLI.hpp>

#include <iostream>

#include "Commands.h"
#include "Demo.h"

namespace qvdb {

CommandRun AddDemoCommand(CLI::App& app, CommandContext& ctx) {
  auto* demo = app.add_subcommand("demo",
                                  "Walk through a user's first steps on the default "
                                  "data folder (created and filled when empty)");
  ctx.AddData(demo);
  return [demo, &ctx]() -> std::optional<int> {
    if (!*demo) return std::nullopt;
    return RunDemo(ctx.data, std::cout);
  };
}

}  // namespace qvdb
