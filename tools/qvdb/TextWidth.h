#pragma once
// The columns a terminal gives a UTF-8 text: East Asian wide and fullwidth
// characters take two, combining marks and zero-width characters none, any
// other character one. Bytes that are not UTF-8 count one each.

#include <cstddef>
#include <string>
#include <string_view>

namespace qvdb {

size_t DisplayWidth(std::string_view text);

// The text cut to at most `width` columns with "…" in the last one when it
// is wider (combining marks stay with their character).
std::string CutToWidth(std::string_view text, size_t width);

}  // namespace qvdb
