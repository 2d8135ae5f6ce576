#pragma once
// Values as fields hold them: the conversion of a value assigned to a field
// into the field's type, and the value a new record shows for a field with a
// default.

#include <cstdint>
#include <string_view>

#include "platform/automation/Variant.h"
#include "platform/jet/JetCatalog.h"
#include "platform/jet/JetTypes.h"

namespace qv::dao {

// Converts a value assigned to a field of `type` as the engine does when a
// field's Value is set: Empty and Null give Null; numbers, dates, booleans and
// texts convert by the VBA rules, a GUID's text to upper case. Errors: 3163 a text longer than a
// Text field of `size` UTF-16 units, 3349 a number outside the type's range, 3421 a value that does
// not convert.
Variant CoerceToField(Variant value, jet::JetType type, int32_t size);

// True when CoerceToField gives `value` back as it is: a value already of the
// type a field of `type` stores (a text within a Text field's size). Most
// values written to a field are, and take no conversion.
bool FitsFieldAsIs(const Variant& value, jet::JetType type, int32_t size);

// True when `text` is longer than `units` UTF-16 units. A text of no more
// bytes than that is not (UTF-8 takes at least one byte per unit), so only a
// longer one is counted.
bool LongerThan16(std::string_view text, int32_t units);

// The value a new record shows in a field before it is set: its default
// value (a number, a quoted text, True/False/Yes/No, Now(), Date() or Time(),
// optionally after "=") converted to the field's type, else Null.
Variant DefaultFieldValue(const jet::FieldSpec& field);

}  // namespace qv::dao
