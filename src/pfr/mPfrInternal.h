#pragma once
// The kind of individual data of a pension-fund pack, as the code the
// reports store and as its text (cell 200005 of a section).

#include <cstdint>
#include <string>
#include <string_view>

namespace qv::pfr::mPfrInternal {

inline constexpr std::string_view kModule = "mPfrInternal";

// The key of the cell that holds a section's kind of individual data.
inline constexpr int32_t kIndDataTypeKey = 200005;

// The code of a kind's text or of its abbreviation, compared in lower case
// ("Корр." gives 4); 0 for any other text.
int32_t GetIndDataType(std::string_view aText);
// The text of a code (the full word, not the abbreviation); "" for a code
// without one (3, or any code outside the table).
std::string GetIndDataTypeText(int32_t aCode);

// A caller's comma list of numbers (sub-document types, identifiers: "1,2"
// or "1, 2") as SQL ("1, 2");
// anything but numbers separated by "," is error 5 naming `aWhat`, so a
// list never widens the statement it goes into.
std::string CommaList2DaoSql(std::string_view aTypes, std::string_view aWhat);

}  // namespace qv::pfr::mPfrInternal
