#include "platform/automation/Object.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "platform/automation/ErrorGuard.h"
#include "platform/automation/VbaText.h"

namespace qv {

namespace {

struct Registry {
  std::mutex mutex;  // registration happens at load time, possibly from several libraries
  struct Entry {
    std::string progId;
    ProgIdRegistry::ClassGetter getter = nullptr;  // or
    const ClassInfo* info = nullptr;
  };
  std::map<std::string, Entry> byLowerName;
};

Registry& TheRegistry() {
  static Registry r;
  return r;
}

}  // namespace

Variant Object::Invoke(std::string_view name, CallKind kind, Args args) {
  const Member* m = Class().Find(name);
  if (!m) ThrowVb(vberr::kNotSupported, std::string(Class().Name()) + "." + std::string(name));
  if (kind == CallKind::kLet) {
    if (!m->let) ThrowVb(vberr::kWrongArguments, "the property " + m->name + " is read-only");
    return m->let(*this, args);
  }
  if (!m->call) ThrowVb(vberr::kWrongArguments, "the property " + m->name + " is write-only");
  return m->call(*this, args);
}

std::vector<std::string> Object::MemberNames() const {
  std::vector<std::string> names;
  for (const Member& m : Class().Members()) names.push_back(m.name);
  return names;
}

ClassInfo::ClassInfo(std::string progId, std::vector<Member> members, Factory factory)
    : progId_(std::move(progId)), members_(std::move(members)), factory_(factory) {}

std::string_view ClassInfo::Name() const {
  std::string_view id = progId_;
  const size_t dot = id.find('.');
  return dot == std::string_view::npos ? id : id.substr(dot + 1);
}

std::string_view ClassInfo::Library() const {
  std::string_view id = progId_;
  return id.substr(0, id.find('.'));
}

ObjectPtr ClassInfo::Create() const {
  if (!factory_) ThrowVb(vberr::kCannotCreateObject, progId_ + " is not creatable");
  return factory_();
}

const Member* ClassInfo::Find(std::string_view name) const {
  for (const Member& m : members_)
    if (EqualsAsciiNoCase(m.name, name)) return &m;
  return nullptr;
}

void ProgIdRegistry::Register(std::string_view progId, ClassGetter getter) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  r.byLowerName[AsciiLower(progId)] = {std::string(progId), getter, nullptr};
}

void ProgIdRegistry::Register(const ClassInfo& info) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  r.byLowerName[AsciiLower(info.ProgId())] = {info.ProgId(), nullptr, &info};
}

const ClassInfo* ProgIdRegistry::Find(std::string_view progId) {
  Registry& r = TheRegistry();
  ClassGetter getter = nullptr;
  {
    std::lock_guard lock(r.mutex);
    auto it = r.byLowerName.find(AsciiLower(progId));
    if (it == r.byLowerName.end()) return nullptr;
    if (it->second.info) return it->second.info;
    getter = it->second.getter;
  }
  return &getter();
}

std::vector<std::string> ProgIdRegistry::ProgIds() {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  std::vector<std::string> ids;
  for (const auto& [lower, entry] : r.byLowerName) ids.push_back(entry.progId);
  return ids;
}

ObjectPtr CreateObject(std::string_view progId) {
  const ClassInfo* info = ProgIdRegistry::Find(progId);
  if (!info || !info->Creatable()) ThrowVb(vberr::kCannotCreateObject, std::string(progId));
  return info->Create();
}

namespace dispatch {

std::vector<Variant*> BindSlots(std::string_view member, Args args, size_t arity,
                                const std::vector<Variant>& defaults, std::vector<Variant>& storage,
                                const Signature* signature) {
  if (args.size() > arity)
    ThrowVb(vberr::kWrongArguments, std::string(member) + " takes " + std::to_string(arity) +
                                        " arguments, " + std::to_string(args.size()) + " given");
  const size_t firstDefault = arity - std::min(arity, defaults.size());
  storage.resize(arity);  // no reallocation below: slots point into it
  std::vector<Variant*> slots(arity);
  for (size_t i = 0; i < arity; ++i) {
    if (i < args.size() && !args[i].IsMissing()) {
      slots[i] = &args[i];
    } else if (i >= firstDefault) {
      storage[i] = defaults[i - firstDefault];
      slots[i] = &storage[i];
    } else {
      ThrowVb(vberr::kArgumentNotOptional, std::string(member) + ", " + ArgumentText(i, signature));
    }
  }
  return slots;
}

std::string ArgumentText(size_t i, const Signature* signature) {
  std::string text = "argument " + std::to_string(i + 1);
  if (signature && i < signature->params.size() && !signature->params[i].name.empty())
    text += " (" + signature->params[i].name + " As " + signature->params[i].type() + ")";
  return text;
}

void RaiseBindingError(const Object& self, std::string_view member, size_t argument,
                       const Signature* signature) {
  const ClassInfo& info = self.Class();
  RaiseWithLocation(info.Library(), info.Name(), member,
                    argument == kNoArgument ? std::string() : ArgumentText(argument, signature));
}

std::pair<std::string, std::vector<std::string>> SplitDeclaration(std::string_view declaration) {
  auto trim = [](std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return std::string(s);
  };
  const size_t open = declaration.find('(');
  if (open == std::string_view::npos) return {trim(declaration), {}};
  std::vector<std::string> names;
  std::string_view inner = declaration.substr(open + 1);
  inner = inner.substr(0, inner.rfind(')'));
  while (!trim(inner).empty()) {
    const size_t comma = inner.find(',');
    names.push_back(trim(inner.substr(0, comma)));
    if (comma == std::string_view::npos) break;
    inner.remove_prefix(comma + 1);
  }
  return {trim(declaration.substr(0, open)), std::move(names)};
}

}  // namespace dispatch

std::string FormatSignature(std::string_view name, const Signature& s) {
  std::string text(s.result ? "Function " : "Sub ");
  text += name;
  text += "(";
  for (size_t i = 0; i < s.params.size(); ++i) {
    const Param& p = s.params[i];
    if (i) text += ", ";
    if (p.optional) text += "Optional ";
    if (p.byRef) text += "ByRef ";
    text += p.name.empty() ? "arg" + std::to_string(i + 1) : p.name;
    text += " As " + p.type();
    if (p.optional && !p.defaultValue.IsMissing()) {
      std::string value;
      try {
        value = p.defaultValue.IsEmpty()     ? "Empty"
                : p.defaultValue.IsNull()    ? "Null"
                : p.defaultValue.IsNothing() ? "Nothing"
                                             : (p.defaultValue.Type() == VarType::kString
                                                    ? "\"" + CStr(p.defaultValue) + "\""
                                                    : CStr(p.defaultValue));
      } catch (const Error&) {
        value = "?";
      }
      text += " = " + value;
    }
  }
  text += ")";
  if (s.result) text += " As " + s.result();
  return text;
}

}  // namespace qv
