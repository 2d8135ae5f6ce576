// The stored form of passwords: round trips, the fixed cipher every stored
// password depends on, and damaged stored values.

#include "perms/mPasswordShuffling.h"

#include <gtest/gtest.h>

#include "core/mHexStrings.h"
#include "platform/automation/VbaText.h"

namespace qv::mPasswordShuffling {
namespace {

TEST(mPasswordShuffling, PasswordsComeBackAndMatchOnlyThemselves) {
  const std::string cases[] = {"a",
                               "Пароль-2024",
                               "пароль 😀 с суррогатной парой",
                               StringOf(255, "ж"),
                               StringOf(255, "x"),
                               " spaces \"quoted\" ",
                               "\x01\x1F"};
  for (const std::string& password : cases) {
    SCOPED_TRACE(password);
    const std::string stored = EncodePassword(password);
    // Four upper-case hexadecimal digits per UTF-16 unit, prefix included.
    EXPECT_EQ(stored.size(), 4u * (kImitoLength + ToUtf16(password).size()));
    EXPECT_EQ(stored.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    EXPECT_EQ(DecodePassword(stored), password);
    EXPECT_NE(EncodePassword(password), stored);  // a new random prefix each time
    EXPECT_TRUE(PasswordMatches(stored, password));
    EXPECT_FALSE(PasswordMatches(stored, password + "x"));
    EXPECT_FALSE(PasswordMatches(stored, password.substr(0, password.size() - 1)));
    EXPECT_FALSE(PasswordMatches(stored, ""));
  }
  EXPECT_EQ(EncodePassword(""), "");
  EXPECT_EQ(DecodePassword(""), "");
  EXPECT_TRUE(PasswordMatches("", ""));
  EXPECT_FALSE(PasswordMatches("", "a"));
}

// Stored passwords are readable only with the same cipher and key: a
// change of either makes every stored password unreadable.
TEST(mPasswordShuffling, TheCipherIsFixed) {
  std::vector<uint8_t> bytes = {0x00, 0x00, 'A', 'B', 0x10, 0x04};
  EncodeData(bytes);
  EXPECT_EQ(mHexStrings::EncodeToHexString(bytes), "3AED9C2ED0F0");
  DecodeData(bytes);
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0x00, 0x00, 'A', 'B', 0x10, 0x04}));
}

// A damaged stored value reads as the empty password, as loading users
// requires, but lets no password in, the empty one included.
TEST(mPasswordShuffling, DamagedStoredValuesMatchNothing) {
  std::vector<uint8_t> prefixOnly(2 * kImitoLength, 0x41);
  EncodeData(prefixOnly);
  const std::string good = EncodePassword("секрет");
  const std::string cases[] = {
      "zz",                                        // not hexadecimal
      "ABC",                                       // an odd number of digits
      "ABCDEF",                                    // an odd number of bytes
      mHexStrings::EncodeToHexString(prefixOnly),  // the prefix and nothing after it
      good.substr(0, good.size() - 2),             // cut by one byte
      good + "G0",                                 // a character that is no digit
  };
  for (const std::string& stored : cases) {
    SCOPED_TRACE(stored);
    EXPECT_EQ(DecodePassword(stored), "");
    EXPECT_FALSE(PasswordMatches(stored, ""));
    EXPECT_FALSE(PasswordMatches(stored, "секрет"));
  }
}

}  // namespace
}  // namespace qv::mPasswordShuffling
