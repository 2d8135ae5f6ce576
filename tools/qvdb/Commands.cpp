#include "Commands.h"

#include <CLI/CLI.hpp>

namespace qvdb {

CLI::Option* NotEmpty(CLI::Option* option) {
  return option->check(CLI::Validator(
      [](const std::string& value) {
        return value.empty() ? std::string("an empty name: give a folder, file or server location")
                             : std::string();
      },
      "", "NOTEMPTY"));
}

void CommandContext::AddData(CLI::App* cmd) {
  NotEmpty(cmd->add_option("--data", data,
                           "the data folder (default: the registry's DataBasePath, "
                           "else ~/.local/share/qvdb)"));
}

void CommandContext::AddFormat(CLI::App* cmd) {
  cmd->add_option("--format", format, "table, tsv, csv or json")
      ->capture_default_str()
      ->check(CLI::IsMember({"table", "tsv", "csv", "json"}));
}

}  // namespace qvdb
