#pragma once
// The value a Variant holds, for the library's own readers and writers that
// work on it in place (conversions, cells refilled row after row). Not for
// callers: the type code and the value must stay in step.

#include "platform/automation/Variant.h"

namespace qv {

class VariantAccess {
 public:
  static const auto& Payload(const Variant& v) { return v.v_; }
  static auto& Payload(Variant& v) { return v.v_; }
};

}  // namespace qv
