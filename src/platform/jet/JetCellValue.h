#pragma once
// A typed cell of a row (Statement::Cell) written into a Variant that its
// reader keeps from row to row: the one in-place setter of the statement's
// row readers, the snapshots' row store and the mapper's record loads.

#include <cstdint>
#include <memory>
#include <new>

#include "platform/automation/Variant.h"
#include "platform/jet/JetStatement.h"

namespace qv::jet {

// `c` into `out` as Statement::Value gives it: a text into the String `out`
// holds already (its memory kept: no allocation when the text fits), any
// other value built over `out` (a number needs no destructor run first, and
// none of these constructors throws). REQUIRES: c.kind != kOther (Value
// reads those).
[[gnu::always_inline]] inline void SetCellValue(Variant& out, const Statement::Cell& c) {
  using Kind = Statement::Cell::Kind;
  if (c.kind == Kind::kText) {
    out.SetString(c.text);
    return;
  }
  if (out.IsString() || out.IsObject() || out.IsArray()) std::destroy_at(&out);
  void* at = static_cast<void*>(&out);
  switch (c.kind) {
    case Kind::kLong:
      ::new (at) Variant(static_cast<int32_t>(c.number));
      break;
    case Kind::kInteger:
      ::new (at) Variant(static_cast<int16_t>(c.number));
      break;
    case Kind::kByte:
      ::new (at) Variant(static_cast<uint8_t>(c.number));
      break;
    case Kind::kDouble:
      ::new (at) Variant(c.number);
      break;
    case Kind::kDate:
      ::new (at) Variant(OleDate{c.number});
      break;
    default:
      ::new (at) Variant(Variant::Null());
      break;
  }
}

}  // namespace qv::jet
