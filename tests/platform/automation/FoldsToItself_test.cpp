#include <gtest/gtest.h>

#include <string>

#include "platform/automation/VbaText.h"

namespace qv {
namespace {

// Every ASCII byte at every place of texts of 1 to 17 bytes (the check reads
// eight bytes at a time, then the rest one by one): a text folds to itself
// exactly when FoldCase leaves it as it is; a byte beyond ASCII always asks
// for the fold.
TEST(FoldsToItself, AgreesWithFoldCaseAtEveryPlace) {
  for (size_t length = 1; length <= 17; ++length) {
    for (size_t at = 0; at < length; ++at) {
      for (int c = 1; c < 0x100; ++c) {
        std::string s(length, 'a');
        s[at] = static_cast<char>(c);
        if (c < 0x80)
          EXPECT_EQ(FoldsToItself(s), FoldCase(s) == s) << length << " " << at << " " << c;
        else
          EXPECT_FALSE(FoldsToItself(s)) << length << " " << at << " " << c;
      }
    }
  }
}

}  // namespace
}  // namespace qv
