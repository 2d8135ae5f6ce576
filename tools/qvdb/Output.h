#pragma once
// How `qvdb` prints values: as a table, as tab-separated text, as CSV, or
// as JSON.
// The JSON form is a fixed interface that other programs read:
//
//   Null null; Empty {"empty":true}; Date {"date":"YYYY-MM-DDTHH:MM:SS"};
//   Boolean true/false; numbers as numbers; texts as strings; a byte array
//   {"hex":"..."}; another array as a JSON array; an Error value
//   {"error":n}; Nothing null.
//   A recordset {"fields":[{"name":"...","type":<ADO type code>}],
//   "rows":[[...],...]} (a DAO recordset is copied first, from its first row).
//   A collection {"items":[...],"keys":[...]} with null where an item has no
//   key.
//   A record {"record":"PROGID","RState":n,"props":{"ID":...,...}} with its
//   properties in the order of its type, sub-records and collections nested
//   the same way. Nothing is read from the database to print a record:
//   a record in state 1 (not read yet), a sub-record in state 0, and a record
//   met again inside itself print as {"record":..,"RState":n,"props":{"ID":id}};
//   the properties of a lazy part that is not loaded are left out.
//   Any other object {"object":"PROGID"}.

#include <iosfwd>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "JsonText.h"
#include "platform/ado/Recordset.h"
#include "platform/automation/Error.h"
#include "platform/automation/Variant.h"

namespace qvdb {

enum class Format { kTable, kTsv, kCsv, kJson };

Format ParseFormat(const std::string& name);  // error 5 for an unknown name

std::string ToJson(const qv::Variant& value);
std::string RecordsetJson(const qv::ado::Recordset& rs);

// Texts of a record property or recordset column named "Password" (any
// case), and the text arguments of an operation whose name contains it,
// print as kMasked in every format, so that no password reaches the screen
// or another program; an empty text prints as it is.
inline constexpr std::string_view kMasked = "********";
bool IsSecretName(std::string_view name);
// `value`, or kMasked in its place when `name` is secret and it holds a
// non-empty text.
qv::Variant Shown(std::string_view name, const qv::Variant& value);

// A scalar as people read it: CStr's text, "Null" for Null, the bytes of a
// byte array in hex, other arrays as JSON, an object by its ProgID.
std::string ValueText(const qv::Variant& value);

// A record as (name, text) lines: "record", "RState", "ID", then each
// property; loaded sub-records and collection items under dotted names
// ("HomeAddress.City", "Profiles(1).ID"), other sub-records on one line.
std::vector<std::pair<std::string, std::string>> RecordLines(const qv::Variant& record);

// A recordset in a format as ResultWriter.h prints a result (the table
// aligned on all its rows).
void PrintRecordset(std::ostream& out, const qv::ado::Recordset& rs, Format format);

// Any value in a format: a recordset as above, a collection one item per
// line (its key first when it has one), a record as its lines, a scalar as
// its text. JSON prints ToJson and a line break.
void PrintValue(std::ostream& out, const qv::Variant& value, Format format);

// How qvdb reports an error: "Error NUMBER: " and what went wrong, then the
// chain of library procedures it passed, outermost first, one per line
// (line breaks as "\n").
std::string ErrorReport(const qv::Error& e);

}  // namespace qvdb
