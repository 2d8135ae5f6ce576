#include "Call.h"

#include <algorithm>
#include <ostream>

#include "CallArgs.h"
#include "Reference.h"
#include "platform/automation/Error.h"
#include "platform/automation/Object.h"
#include "platform/automation/VbaText.h"

namespace qvdb {

namespace {

// The argument `raw` for `param` (null when not known): a bare number where
// the operation takes a String is the text as typed, not the number read
// from it ("0077", a 20-digit code, "1.50" keep their digits); `empty` for
// an Optional parameter taken by value is the argument left out, so that its
// default stands in (SetIsCheckedFlags 3 empty i:1 keeps the flag that
// aIsCalculated's -1 leaves alone, where Empty would have written 0).
qv::Variant ArgumentFor(const std::string& raw, const qv::Param* param) {
  if (raw == "empty" && param && param->optional && !param->byRef) return qv::Variant::Missing();
  qv::Variant v = ParseCallArg(raw);
  if (v.Type() == qv::VarType::kDouble && param && param->type && param->type() == "String")
    return qv::Variant(raw);
  return v;
}

}  // namespace

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
  // A class's name alone: "VBA.Collection" is not the operation Collection
  // of a class VBA.
  const std::string asClass =
      target.find('.') == std::string::npos ? std::string(kOwnLibrary) + "." + target : target;
  if (const qv::ClassInfo* info = qv::ProgIdRegistry::Find(asClass); info && info->Creatable())
    qv::ThrowVb(qv::vberr::kInvalidProcedureCall,
                "\"" + target + "\" is a class: give CLASS.OPERATION (qvdb help " + target +
                    " lists its operations)");
  const size_t dot = target.rfind('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == target.size())
    qv::ThrowVb(qv::vberr::kInvalidProcedureCall,
                "expected CLASS.OPERATION, got \"" + target + "\"");
  std::string progId = target.substr(0, dot);
  if (progId.find('.') == std::string::npos) progId = std::string(kOwnLibrary) + "." + progId;
  const std::string operation = target.substr(dot + 1);
  qv::ObjectPtr object = qv::CreateObject(progId);
  const qv::Member* member = object->Class().Find(operation);
  const auto* params = member && member->signature ? &member->signature->params : nullptr;
  std::vector<qv::Variant> args;
  for (size_t i = 0; i < rawArgs.size(); ++i)
    args.push_back(ArgumentFor(rawArgs[i], params && i < params->size() ? &(*params)[i] : nullptr));
  const std::vector<qv::Variant> given = args;
  const qv::Variant result = object->Call(operation, args);
  if (format == Format::kJson) {
    // The texts given to a password operation (SavePassword ...) are not echoed.
    const bool secret = qv::LCase(operation).find("password") != std::string::npos;
    out << "{\"result\":" << ToJson(result) << ",\"args\":[";
    for (size_t i = 0; i < args.size(); ++i)
      out << (i ? "," : "")
          << ToJson(secret                ? Shown("Password", args[i])
                    : args[i].IsMissing() ? qv::Variant()  // `empty` as typed
                                          : args[i]);
    out << "]}\n";
    return;
  }
  // An operation without a result (a Sub) prints none.
  bool printed = !result.IsEmpty();
  if (printed) PrintValue(out, result, format);
  for (size_t i = 0; i < args.size(); ++i) {
    // An object or an array (the in/out arguments of operations) is printed
    // as it is after the call, and so is a ByRef argument, as `help` says,
    // even when the call wrote back the value given; another plain value
    // only when the call changed it.
    const bool byRef = params && i < params->size() && (*params)[i].byRef;
    if (!args[i].IsObject() && !args[i].IsArray() && !byRef && args[i] == given[i]) continue;
    out << (printed ? "\narg " : "arg ") << i + 1 << ":\n";
    PrintValue(out, args[i], format);
    printed = true;
  }
}

}  // namespace qvdb
