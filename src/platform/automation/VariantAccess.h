#pragma once
// The value a Variant holds, for the library's own readers and writers that
// work on it in place (conversions, cells refilled row after row). Not for
// callers: the type code and the value must stay in step.

#include <new>
#include <string>
#include <string_view>
#include <variant>

#include "platform/automation/Variant.h"

namespace qv {

class VariantAccess {
 public:
  static const auto& Payload(const Variant& v) { return v.v_; }
  static auto& Payload(Variant& v) { return v.v_; }
  // Makes `v`, whose value needs no destructor (Empty, Null, a number), a
  // String of `text` built where it is, where an assignment made the String
  // and then moved it in. Should the String's memory not be had, `v` is
  // left Empty.
  static void PlaceString(Variant& v, std::string_view text) {
    using Value = decltype(v.v_);
    try {
      ::new (static_cast<void*>(&v.v_)) Value(std::in_place_type<std::string>, text);
    } catch (...) {
      ::new (static_cast<void*>(&v.v_)) Value();
      v.type_ = VarType::kEmpty;
      throw;
    }
    v.type_ = VarType::kString;
  }
};

}  // namespace qv
