#pragma once
// Moving values between SQLite and Variant: how each Jet type is stored
// (dates as REAL OLE serials, booleans as -1/0, Currency as REAL rounded to
// four decimals, GUIDs as braced text) and read back. Internal to platform/jet.

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/automation/Variant.h"
#include "platform/jet/JetError.h"
#include "platform/jet/JetTypes.h"
#include "platform/jet/Sqlite.h"

namespace qv::jet {

// Subtypes a Jet function puts on its result so that a function taking it as
// an argument knows a date or a boolean from a plain number (CStr renders
// them differently). SQLite passes a subtype only from a call directly into
// the enclosing call; it is not stored.
inline constexpr unsigned kSubtypeDate = 'D';
inline constexpr unsigned kSubtypeBoolean = 'B';

// An integer as Jet gives it back: a Long within Long's range, else a Double.
Variant IntegerVariant(int64_t i);
// A stored number typed by its column's Jet type, as either engine reads it
// back (Yes/No, Byte, Integer, Long, Currency, Single, the Double kinds, the
// Date kinds); nullopt for a type that takes no number as it is (texts,
// binaries) or a number outside the type's range: the engine then gives the
// value by its own storage.
std::optional<Variant> NumberAsJetType(double d, JetType type);

// A function argument as a Variant: by its storage class, with the subtype
// making a date or a boolean; integers outside Long's range become Double.
Variant ArgToVariant(sqlite3_value* v);
// Sets a function's result from a Variant (Empty and Null give NULL).
void ResultVariant(sqlite3_context* ctx, const Variant& v);

// Binds a Variant to parameter `index` (1-based) as the column will store it.
// Objects and arrays other than byte arrays raise 3421. Without `copy` a
// text or byte array is bound where it is (it must outlive the binding).
void BindVariant(sqlite3_stmt* stmt, int index, const Variant& v,
                 std::string_view source = kSourceDatabase, bool copy = true);
// Reads column `col` typed by its Jet type; a value whose storage does not
// fit the type (an untyped expression) is returned by its storage class.
Variant ColumnToVariant(sqlite3_stmt* stmt, int col, JetType type);

}  // namespace qv::jet
