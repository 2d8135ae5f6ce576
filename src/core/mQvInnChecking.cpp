#include "core/mQvInnChecking.h"

#include <algorithm>

#include "platform/automation/VbaText.h"

namespace qv::mQvInnChecking {

std::string NormalizeKpp(std::string_view kpp) {
  static const std::u16string kCyrillic = u"АБВЦСДЕФНКМРТХ";
  static const std::u16string kLatin = u"ABBCCDEFHKMPTX";
  std::string upper = UCase(Trim(kpp));
  // A code of ASCII characters (what is stored, and what users mostly type)
  // holds no Cyrillic letter to replace: it is done without the round trip
  // through UTF-16, which was most of a person's KPP read and write.
  if (std::all_of(upper.begin(), upper.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
    return upper;
  std::u16string text = ToUtf16(upper);
  for (char16_t& c : text) {
    const size_t pos = kCyrillic.find(c);
    if (pos != std::u16string::npos) c = kLatin[pos];
  }
  return ToUtf8(text);
}

}  // namespace qv::mQvInnChecking
