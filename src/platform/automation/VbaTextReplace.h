#pragma once
// VBA's Replace with a count (its full form), apart from VbaText.h so that
// few files depend on it.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/automation/Variant.h"

namespace qv {

// At most `count` occurrences of `what` (-1: all) replaced by `with`, left
// to right; `s` as it is when `what` is empty. One pass over `s`: the work
// is linear in its length whatever the number of occurrences.
std::string ReplaceAtMost(std::string_view s, std::string_view what, std::string_view with,
                          CompareMode mode, int32_t count);

}  // namespace qv
