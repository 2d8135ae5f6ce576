#pragma once
// A typed cell of a row (Statement::Cell) written into a Variant that its
// reader keeps from row to row: the one in-place setter of the statement's
// row readers, the snapshots' row store and the mapper's record loads.

#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <variant>

#include "platform/automation/Variant.h"
#include "platform/automation/VariantAccess.h"
#include "platform/jet/JetStatement.h"

namespace qv::jet {

namespace cell_value {

// Writes `value` over the value of a Variant `out` of type `type` holding a
// T already; false when it holds another type.
template <class T>
[[gnu::always_inline]] inline bool Overwrite(Variant& out, VarType type, T value) {
  if (out.Type() != type) return false;
  T* held = std::get_if<T>(&VariantAccess::Payload(out));
  if (!held) return false;
  *held = value;
  return true;
}

}  // namespace cell_value

// `c` into `out` as Statement::Value gives it. A reader keeps its cells from
// row to row and a column's cells mostly have one type, so a cell of the
// type `out` holds only has its value written (a Null over a Null nothing);
// a text goes into the String `out` holds already (its memory kept: no
// allocation when the text fits); any other value is built over `out` (a
// number needs no destructor run first, and none of these constructors
// throws). REQUIRES: c.kind != kOther (Value reads those); c.text is not
// `out`'s own text.
[[gnu::always_inline]] inline void SetCellValue(Variant& out, const Statement::Cell& c) {
  using Kind = Statement::Cell::Kind;
  using cell_value::Overwrite;
  switch (c.kind) {
    case Kind::kText:
      if (auto* s = std::get_if<std::string>(&VariantAccess::Payload(out))) {
        s->clear();
        s->append(c.text.data(), c.text.size());
      } else if (out.IsObject() || out.IsArray()) {
        out.SetString(c.text);
      } else {
        VariantAccess::PlaceString(out, c.text);  // a fresh cell mostly
      }
      return;
    case Kind::kNull:
      if (out.IsNull()) return;
      break;
    case Kind::kLong:
      if (Overwrite(out, VarType::kLong, static_cast<int32_t>(c.number))) return;
      break;
    case Kind::kInteger:
      if (Overwrite(out, VarType::kInteger, static_cast<int16_t>(c.number))) return;
      break;
    case Kind::kByte:
      if (Overwrite(out, VarType::kByte, static_cast<uint8_t>(c.number))) return;
      break;
    case Kind::kDouble:
      if (Overwrite(out, VarType::kDouble, c.number)) return;
      break;
    case Kind::kDate:
      if (Overwrite(out, VarType::kDate, c.number)) return;
      break;
    default:
      break;
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
