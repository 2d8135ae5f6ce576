#include "Call.h"

#include <algorithm>
#include <ostream>

#include "CallArgs.h"
#include "Reference.h"
#include "platform/automation/Error.h"
#include "platform/automation/Object.h"
#include "platform/automation/VbaText.h"

namespace qvdb {

namespace {}

void ListClasses(bool members, std::ostream& out) {
  for (const qv::ClassInfo* info : CallableClasses()) {
    if (!members) {
      out << info->ProgId() << "\n";
      continue;
    }
    for (const std::string& line : MemberLines(*info)) out << line << "\n";
  }
}

void RunCall(const std::string& target, const std::vector<std::string>& rawArgs, Format format,
             std::ostream& out) {
  const size_t dot = target.rfind('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == target.size())
    qv::ThrowVb(qv::vberr::kInvalidProcedureCall,
                "expected CLASS.OPERATION, got \"" + target + "\"");
  std::string progId = target.substr(0, dot);
  if (progId.find('.') == std::string::npos) progId = std::string(kOwnLibrary) + "." + progId;
  std::vector<qv::Variant> args;
  for (const std::string& a : rawArgs) args.push_back(ParseCallArg(a));
  const std::string operation = target.substr(dot + 1);
  qv::ObjectPtr object = qv::CreateObject(progId);
  const qv::Variant result = object->Call(operation, args);
  if (format == Format::kJson) {
    // The texts given to a password operation (SavePassword ...) are not echoed.
    const bool secret = qv::LCase(operation).find("password") != std::string::npos;
    out << "{\"result\":" << ToJson(result) << ",\"args\":[";
    for (size_t i = 0; i < args.size(); ++i)
      out << (i ? "," : "") << ToJson(secret ? Shown("Password", args[i]) : args[i]);
    out << "]}\n";
    return;
  }
  // An operation without a result (a Sub) prints none.
  bool printed = !result.IsEmpty();
  if (printed) PrintValue(out, result, format);
  for (size_t i = 0; i < args.size(); ++i) {
    // An object or an array (the in/out arguments of operations) is printed
    // as it is after the call; a plain value only when the call wrote into it.
    if (!args[i].IsObject() && !args[i].IsArray() && args[i] == ParseCallArg(rawArgs[i])) continue;
    out << (printed ? "\narg " : "arg ") << i + 1 << ":\n";
    PrintValue(out, args[i], format);
    printed = true;
  }
}

}  // namespace qvdb
