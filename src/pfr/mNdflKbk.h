#pragma once
// The budget classification codes (KBK) of the personal income tax: which
// codes the statements offer in a year and their names, which changed in
// 2025.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv::pfr::mNdflKbk {

// The codes offered in `aYear`, in the order the statements list them.
std::vector<std::string_view> CodesOfYear(int32_t aYear);
// The name of a code in `aYear`; "" for an unknown code.
std::string NameInYear(std::string_view aCode, int32_t aYear);

}  // namespace qv::pfr::mNdflKbk
