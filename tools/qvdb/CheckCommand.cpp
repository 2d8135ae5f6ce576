// `qvdb check`.

#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

#include "Check.h"
#include "Commands.h"
#include "DataFolder.h"

namespace qvdb {

CommandRun AddCheckCommand(CLI::App& app, CommandContext& ctx) {
  auto* check = app.add_subcommand(
      "check",
      "Check every database file of the folder (integrity, catalogue against the "
      "schema) and run the registration self-test");
  ctx.AddData(check);
  auto options = std::make_shared<CheckOptions>();
  check->add_flag("--remove-unowned", options->removeUnowned,
                  "remove the shard files no document owns (left by an interrupted run); on a "
                  "server folder the shard schemas no document owns and the temporary schemas "
                  "of cut-off shard builds");
  check->footer(
      "Exit status: 0 when every file is sound, 1 when one has a problem; the self-test's "
      "results are printed and do not change it.");
  return [check, &ctx, options]() -> std::optional<int> {
    if (!*check) return std::nullopt;
    const CheckResult r = CheckDataFolder(CheckedDataFolder(ctx.data), std::cout, *options);
    std::cout << "\n" << r.files << " files, " << r.problems << " problems";
    if (r.unchecked > 0) std::cout << ", " << r.unchecked << " not checked (no room on the disk)";
    std::cout << "\n";
    // The status is the data folder's integrity; the self-test's failures are
    // reported above (sibling libraries without a stand-in here always fail it).
    return r.problems == 0 && r.unchecked == 0 ? 0 : 1;
  };
}

}  // namespace qvdb
