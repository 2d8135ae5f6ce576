#pragma once
// How `qvdb` prints values: as a table, as tab-separated text, or as JSON.
// The JSON form is a fixed interface that other programs read.

#include <iosfwd>
#include <string>

#include "platform/automation/Variant.h"

namespace qvdb {

enum class Format { kTable, kTsv, kJson };

Format ParseFormat(const std::string& name);  // error 5 for an unknown name

// A value as JSON: null, {"empty":true}, {"date":"YYYY-MM-DDTHH:MM:SS"},
// true/false, numbers, strings, {"hex":"..."}, collections as
// {"items":[...],"keys":[...]}, other objects as {"object":"PROGID"}.
std::string ToJson(const qv::Variant& value);
std::string JsonString(std::string_view text);

// A value for people: scalars as their text (Null as "Null"), a collection
// one item per line, other objects by ProgID.
void PrintValue(std::ostream& out, const qv::Variant& value, Format format);

}  // namespace qvdb
