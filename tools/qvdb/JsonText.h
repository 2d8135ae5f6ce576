#pragma once
// A text as a JSON string, apart from the rest of qvdb's output so that a
// program that only needs strings (the argument parser's fuzz target) does
// not bring in the library's records.

#include <string>
#include <string_view>

namespace qvdb {

// `text` in double quotes with '"', '\\' and control characters escaped.
// The result is always valid UTF-8: stored texts can hold any bytes (old
// single-byte imports, other writers), and a JSON reader refuses the whole
// document over one bad byte, so each ill-formed sequence becomes U+FFFD,
// one per maximal ill-formed subpart (Unicode's recommended practice).
std::string JsonString(std::string_view text);

}  // namespace qvdb
