// `qvdb call CLASS.OPERATION [ARG...]`.

#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

#include "Call.h"
#include "Commands.h"
#include "DataFolder.h"
#include "Output.h"
#include "Reference.h"
#include "platform/automation/Error.h"

namespace qvdb {

CommandRun AddCallCommand(CLI::App& app, CommandContext& ctx) {
  auto* call = app.add_subcommand(
      "call",
      "Create a public class by ProgID and call an operation; prints the result, then "
      "the arguments that are objects, ByRef or were changed");
  auto target = std::make_shared<std::string>();
  ctx.AddData(call);
  ctx.AddFormat(call);
  call->add_option("target", *target, "CLASS.OPERATION (Qv_DBProvider. is implied)")->required();
  // The arguments are what follows the target, word for word: as an option
  // they would lose a bracketed array ("[1,2]" split into two arguments, "[]"
  // into none).
  call->allow_extras();
  call->footer(
      "ARGS... after CLASS.OPERATION, by form: 12, i:12, true, null, empty, d:2024-03-31, "
      "s:text, @PROGID, @PROGID{Name=value,...}, [a,b,...] (an array, [] an empty one); a "
      "negative number as it is (-5); a number where the operation takes a String is the text "
      "as typed (0077).\n"
      "--data points the library at DIR for this process through a temporary copy of the "
      "registry file (QV_REGISTRY); the user's registry file is not changed.");
  return [call, target, &ctx]() -> std::optional<int> {
    if (!*call) return std::nullopt;
    const Format fmt = ParseFormat(ctx.format);
    PointLibraryAt(ExistingDataFolder(ctx.data));
    try {
      RunCall(*target, call->remaining(), fmt, std::cout);
    } catch (const qv::Error& e) {
      // No such class (429) or operation (438): the name the caller probably meant.
      const std::string meant =
          e.Number() == 429 || e.Number() == 438 ? SuggestCallName(*target) : "";
      if (meant.empty()) throw;
      std::cout.flush();
      std::cerr << ErrorReport(e) << "\nqvdb: did you mean " << meant
                << "? (qvdb classes --members lists them)" << std::endl;
      return 1;
    }
    return 0;
  };
}

}  // namespace qvdb
