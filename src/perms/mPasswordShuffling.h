#pragma once
// The stored form of user passwords (PermUsers.Password): a random prefix of
// ten characters and the password, as UTF-16LE bytes, scrambled by a 16-bit
// stream cipher and written as upper-case hexadecimal text. The empty
// password is stored as the empty text.
//
// This is an encoding the stored column requires, not protection: anyone
// with the library (or the constants below) reads every stored password
// back. See docs/security.md for what it does and does not guard against.
// Nothing outside this module may rely on it; a password never goes into an
// error text, a log line or a statement other than in this stored form,
// and passwords are compared with PasswordMatches.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv::mPasswordShuffling {

inline constexpr std::string_view kModule = "mPasswordShuffling";

// The cipher: state r starts at kStartKey; each byte p becomes
// c = p ^ (r >> 8), then r = ((c + r) * kMultiplier + kIncrement) mod 65536.
inline constexpr uint16_t kStartKey = 0x3A71;
inline constexpr uint16_t kMultiplier = 52845;
inline constexpr uint16_t kIncrement = 22719;
// Characters of the random prefix.
inline constexpr int32_t kImitoLength = 10;

// The stored text of a password: "" for ""; otherwise a new random prefix
// each call, so one password gives different texts.
std::string EncodePassword(std::string_view aPassword);
// The password of a stored text: "" for "", and "" for a text that is not
// hexadecimal, has an odd or zero byte count, or holds no more than the
// prefix. Characters that are no valid UTF-16 come back as U+FFFD.
std::string DecodePassword(std::string_view aStored);
// True when `aPassword` is the password `aStored` holds. Unlike
// DecodePassword, a damaged stored text matches no password at all (the
// empty one included): only the empty text stores the empty password. The
// comparison takes the same time for every content of the same lengths.
bool PasswordMatches(std::string_view aStored, std::string_view aPassword);

// `n` UTF-16 code units with random codes from 1 to 65530 (lone surrogate
// codes included: the prefix only ever exists as bytes). The generator is
// seeded once per thread.
std::u16string GetRandomImitoString(int32_t n);
// Scramble and unscramble bytes in place.
void EncodeData(std::vector<uint8_t>& bytes);
void DecodeData(std::vector<uint8_t>& bytes);

}  // namespace qv::mPasswordShuffling
