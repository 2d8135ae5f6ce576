#include "core/mQvInnChecking.h"

#include "platform/automation/VbaText.h"

namespace qv::mQvInnChecking {

std::string NormalizeKpp(std::string_view kpp) {
  static const std::u16string kCyrillic = u"АБВЦСДЕФНКМРТХ";
  static const std::u16string kLatin = u"ABBCCDEFHKMPTX";
  std::u16string text = ToUtf16(UCase(Trim(kpp)));
  for (char16_t& c : text) {
    const size_t pos = kCyrillic.find(c);
    if (pos != std::u16string::npos) c = kLatin[pos];
  }
  return ToUtf8(text);
}

}  // namespace qv::mQvInnChecking
