#include <gtest/gtest.h>

#include <string>

#include "platform/automation/Collection.h"
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

// A collection's keys with a capital anywhere are found in any case, keys
// without one are kept as given.
TEST(FoldsToItself, CollectionKeysIgnoreCaseAtEveryPlace) {
  Collection c;
  const std::string keys[] = {"Z", "abcdefgH", "abcdefghI", "0200010000003", "Ключ12345678"};
  for (const std::string& k : keys) ASSERT_TRUE(c.TryAdd(Variant(k), k)) << k;
  for (const std::string& k : keys) {
    ASSERT_NE(c.FindByKey(FoldCase(k)), nullptr) << k;
    EXPECT_EQ(*c.FindByKey(FoldCase(k)), Variant(k));
    EXPECT_EQ(*c.FindByKey(UCase(k)), Variant(k));
    EXPECT_FALSE(c.TryAdd(Variant("again"), UCase(k))) << k;
  }
  EXPECT_EQ(c.KeyAt(2), "abcdefgH");
  EXPECT_EQ(c.Count(), 5);
}

}  // namespace
}  // namespace qv
