#include "doctables/mQvKprCells.h"

#include <array>

#include "platform/automation/VbaText.h"

namespace qv::mQvKprCells {

namespace {

// The letters of the offset codes, digit 0 first.
constexpr std::string_view kLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZАБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯЁ";
// The characters that start a width-1 code of 3581 and above: the space,
// the ASCII punctuation from "!" to "~" in code order, then ¦, № and ¤.
constexpr std::string_view kPunctuation = " !\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~¦№¤";
constexpr int32_t kLetterBase = 59;
constexpr int32_t kPunctuationStart = 3581;

int32_t PositionIn(std::u16string_view alphabet, char16_t c) {
  const size_t p = alphabet.find(c);
  return p == std::u16string_view::npos ? 0 : static_cast<int32_t>(p) + 1;
}

const std::u16string& Letters() {
  static const std::u16string s = ToUtf16(kLetters);
  return s;
}
const std::u16string& Punctuation() {
  static const std::u16string s = ToUtf16(kPunctuation);
  return s;
}
// The letters followed by the punctuation: the second character of a
// code that starts with punctuation.
const std::u16string& AllCodeCharacters() {
  static const std::u16string s = Letters() + Punctuation();
  return s;
}

int32_t DecimalValue(std::u16string_view code) {
  int32_t n = 0;
  for (char16_t c : code) {
    if (c < u'0' || c > u'9') break;
    n = n * 10 + (c - u'0');
  }
  return n;
}

}  // namespace

int32_t OfToN(std::string_view aCode, int32_t aWidth) {
  const std::u16string code = ToUtf16(aCode);
  if (code.empty()) return 0;
  const char16_t first = code[0];
  if (first >= u'0' && first <= u'9') return DecimalValue(code);
  if (PositionIn(Punctuation(), first) == 0) {
    int32_t n = 0;
    for (char16_t c : code) n = n * kLetterBase + PositionIn(Letters(), c) - 1;
    return n + (aWidth == 1 ? 100 : 1000);
  }
  if (aWidth != 1 || code.size() < 2) return 0;
  return (PositionIn(Punctuation(), first) - 1) * static_cast<int32_t>(AllCodeCharacters().size()) +
         PositionIn(AllCodeCharacters(), code[1]) - 1 + kPunctuationStart;
}

}  // namespace qv::mQvKprCells
