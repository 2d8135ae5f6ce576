// qvdb: sets up, explores and checks a data folder, and calls any public
// operation of the library by name.

#include <CLI/CLI.hpp>

#include <iostream>

#include "CallArgs.h"
#include "Output.h"
#include "platform/automation/Collection.h"
#include "platform/automation/Error.h"
#include "platform/automation/Object.h"

namespace {

int RunCall(const std::string& target, const std::vector<std::string>& rawArgs,
            const std::string& format) {
  const size_t dot = target.rfind('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == target.size())
    qv::ThrowVb(qv::vberr::kInvalidProcedureCall, "expected CLASS.OPERATION, got \"" + target + "\"");
  std::string progId = target.substr(0, dot);
  if (progId.find('.') == std::string::npos) progId = "Qv_DBProvider." + progId;
  const qvdb::Format fmt = qvdb::ParseFormat(format);
  std::vector<qv::Variant> args;
  for (const std::string& a : rawArgs) args.push_back(qvdb::ParseCallArg(a));
  qv::ObjectPtr object = qv::CreateObject(progId);
  const qv::Variant result = object->Call(target.substr(dot + 1), args);
  if (fmt == qvdb::Format::kJson) {
    std::cout << "{\"result\":" << qvdb::ToJson(result) << ",\"args\":[";
    for (size_t i = 0; i < args.size(); ++i) std::cout << (i ? "," : "") << qvdb::ToJson(args[i]);
    std::cout << "]}\n";
    return 0;
  }
  qvdb::PrintValue(std::cout, result, fmt);
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i].IsObject() || args[i] != qvdb::ParseCallArg(rawArgs[i])) {
      std::cout << "arg " << i + 1 << ": ";
      qvdb::PrintValue(std::cout, args[i], fmt);
    }
  }
  return 0;
}

int RunDemo() {
  std::cout << "Classes callable by name:\n";
  for (const std::string& id : qv::ProgIdRegistry::ProgIds()) std::cout << "  " << id << "\n";
  std::cout << "\nA collection created by ProgID and used by name:\n";
  qv::ObjectPtr c = qv::CreateObject("VBA.Collection");
  c->CallV("Add", "Москва", "77");
  c->CallV("Add", "Санкт-Петербург", "78");
  std::cout << "  Count = " << qv::CStr(c->Get("Count")) << ", Item(\"78\") = "
            << qv::CStr(c->CallV("Item", "78")) << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"qvdb: set up, explore and check a data folder; call any operation by name"};
  app.require_subcommand(1);
  std::string format = "table";

  auto* call = app.add_subcommand("call", "Create a public class by ProgID and call an operation");
  std::string target;
  std::vector<std::string> callArgs;
  call->add_option("target", target, "CLASS.OPERATION (Qv_DBProvider. is implied)")->required();
  call->add_option("args", callArgs, "arguments, read by their form (see docs)");
  call->add_option("--format", format, "table, tsv or json")->capture_default_str();

  auto* demo = app.add_subcommand("demo", "Walk through a user's first steps");

  CLI11_PARSE(app, argc, argv);
  try {
    if (*call) return RunCall(target, callArgs, format);
    if (*demo) return RunDemo();
  } catch (const qv::Error& e) {
    std::cerr << "Error " << e.Number() << ": " << e.Description() << std::endl;
    return 1;
  }
  return 0;
}
