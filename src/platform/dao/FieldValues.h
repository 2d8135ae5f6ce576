#pragma once
// Values as fields hold them: the conversion of a value assigned to a field
// into the field's type, and the value a new record shows for a field with a
// default.

#include <cstdint>

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

// The value a new record shows in a field before it is set: its default
// value (a number, a quoted text, True/False/Yes/No, Now(), Date() or Time(),
// optionally after "=") converted to the field's type, else Null.
Variant DefaultFieldValue(const jet::FieldSpec& field);

}  // namespace qv::dao
