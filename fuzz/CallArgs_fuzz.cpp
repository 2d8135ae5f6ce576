// libFuzzer target for the argument parser of `qvdb call` (ParseCallArg):
// any text is a value or a qv::Error; a crash, a hang, another exception or
// a sanitizer report is a defect. Objects are created by ProgID: the target
// links no library classes and registers one of its own, "Fuzz.Thing"
// (a text property Name, a Variant property Value and SetID), so the
// "@PROGID{Name=value,...}" forms reach property assignment and nested
// values; other ProgIDs are unknown (429). Every value, and every text the
// parser hands back, then goes through the JSON string writer, whose output
// must be valid UTF-8 (checked here by a decoder of its own).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "CallArgs.h"
#include "JsonText.h"
#include "platform/automation/Error.h"
#include "platform/automation/Object.h"

// Not in an anonymous namespace: the class macro defines a constant that
// only registration reads.
namespace qvfuzz {

class Thing : public qv::Object {
  QV_DECLARE_CLASS(Thing)

 public:
  std::string GetName() { return name_; }
  void SetName(const std::string& name) { name_ = name; }
  qv::Variant GetValue() { return value_; }
  void SetValue(const qv::Variant& value) { value_ = value; }
  void SetID(double id) { id_ = id; }

 private:
  std::string name_;
  qv::Variant value_;
  double id_ = 0;
};

QV_DEFINE_CLASS(Thing, "Fuzz.Thing", QV_CREATABLE(Thing),
                qv::Property("Name", &Thing::GetName, &Thing::SetName),
                qv::Property("Value", &Thing::GetValue, &Thing::SetValue),
                qv::Method("SetID", &Thing::SetID))

}  // namespace qvfuzz

namespace {

using qvfuzz::Thing;

// Well-formed UTF-8 (Unicode's table of well-formed byte sequences).
bool IsUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    size_t n = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b < 0x80) {
      ++i;
      continue;
    }
    if (b >= 0xC2 && b <= 0xDF) {
      n = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
      n = 2;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      n = 3;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    } else {
      return false;
    }
    for (size_t k = 1; k <= n; ++k) {
      if (i + k >= s.size()) return false;
      const auto c = static_cast<unsigned char>(s[i + k]);
      if (c < (k == 1 ? lo : 0x80) || c > (k == 1 ? hi : 0xBF)) return false;
    }
    i += n + 1;
  }
  return true;
}

void CheckJson(std::string_view text) {
  const std::string json = qvdb::JsonString(text);
  if (!IsUtf8(json) || json.size() < 2 || json.front() != '"' || json.back() != '"') std::abort();
}

void CheckValue(const qv::Variant& v) {
  if (v.IsString()) CheckJson(v.AsString());
  if (v.IsObject()) {
    if (auto thing = std::dynamic_pointer_cast<Thing>(v.AsObject())) {
      CheckJson(thing->GetName());
      CheckValue(thing->GetValue());
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckJson(text);
  try {
    CheckValue(qvdb::ParseCallArg(text));
  } catch (const qv::Error&) {
  }
  return 0;
}
