#pragma once
// Sort keys for CompareTextRu (VbaText.h), for sorting many texts: a key
// made once per text, then a comparison of bytes per step.

#include <string>
#include <string_view>

namespace qv {

// For a text of ASCII characters and letters of the Cyrillic block (save
// control characters and combining marks), makes `key` so that two such
// texts' keys compare (std::string's order) as CompareTextRu compares the
// texts, equal keys for equal texts. False, `key` unspecified, for any
// other text.
bool CompareTextRuKey(std::string_view s, std::string& key);

}  // namespace qv
