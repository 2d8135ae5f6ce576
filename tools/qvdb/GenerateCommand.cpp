// `qvdb generate --streams N --documents N [...]`.

#include <unistd.h>
#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <memory>

#include "Commands.h"
#include "DataFolder.h"
#include "Generator.h"
#include "ProgressBar.h"

namespace qvdb {

namespace {

int RunGenerate(const std::optional<std::string>& data, const GenerateOptions& o) {
  // A value out of range is a slip of the command line (status 2), found
  // before the folder is looked for.
  if (const std::string problem = GenerateOptionsProblem(o); !problem.empty())
    throw UserError(problem, 2);
  const auto folder = ExistingDataFolder(data);
  ProgressFn progress;
  if (isatty(STDERR_FILENO)) progress = ProgressBar("documents");
  const GenerateStats s = Generate(UserDatabasePath(folder), o, progress);
  std::cout << "Generated in " << folder.string() << " (seed " << o.seed << ", periods "
            << s.firstYear << "-" << s.lastYear << "):\n"
            << "  " << s.legalPersons << " organisations, " << s.branches << " branches, "
            << s.entrepreneurs << " entrepreneurs, " << s.workers << " jobs\n"
            << "  " << s.streams << " accounting streams, " << s.templates << " templates, "
            << s.templateDates << " template dates, " << s.templateCategories
            << " rows of who may use them\n"
            << "  " << s.documents << " documents (" << s.adjustments << " adjustments), "
            << s.cells << " cells\n"
            << "  " << s.pfr.persons << " insured persons, " << s.pfr.subDocs
            << " personal sections with " << s.pfr.cells << " cells\n"
            << "  " << s.bigDocs.documents << " big documents with " << s.bigDocs.subDocs
            << " sub-documents and " << s.bigDocs.cells << " cells in their shard files\n";
  std::printf("  %.2f s, %.0f documents/s\n", s.seconds,
              s.seconds > 0 ? static_cast<double>(s.documents) / s.seconds : 0.0);
  return 0;
}

}  // namespace

CommandRun AddGenerateCommand(CLI::App& app, CommandContext& ctx) {
  auto* generate = app.add_subcommand(
      "generate",
      "Generate sample taxpayers, streams and documents with cells (one seed, one "
      "data set)");
  auto gen = std::make_shared<GenerateOptions>();
  ctx.AddData(generate);
  generate->add_option("--seed", gen->seed, "the seed")
      ->capture_default_str()
      // "-1" would be read as 2^64 - 1.
      ->check(CLI::Validator(
          [](const std::string& v) {
            return v.starts_with('-') ? std::string("a seed is a whole number from 0 up")
                                      : std::string();
          },
          "", "NOTNEGATIVE"));
  generate->add_option("--streams", gen->streams, "accounting streams (one per taxpayer)")
      ->required();
  generate->add_option("--documents", gen->documents, "documents in all")->required();
  generate->add_option("--cells", gen->cells, "cells per document")->capture_default_str();
  generate->add_option("--first-year", gen->firstYear,
                       "first year of the periods (default: enough years for the documents)");
  generate->add_option("--last-year", gen->lastYear, "last year of the periods")
      ->capture_default_str();
  generate->add_option("--batch", gen->batch, "documents per transaction")->capture_default_str();
  return [generate, gen, &ctx]() -> std::optional<int> {
    if (!*generate) return std::nullopt;
    return RunGenerate(ctx.data, *gen);
  };
}

}  // namespace qvdb
