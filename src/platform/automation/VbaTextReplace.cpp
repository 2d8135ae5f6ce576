#include "platform/automation/VbaTextReplace.h"

#include "platform/automation/VbaText.h"

namespace qv {

std::string ReplaceAtMost(std::string_view s, std::string_view what, std::string_view with,
                          CompareMode mode, int32_t count) {
  if (what.empty() || count == 0) return std::string(s);
  // One pass over the text (no InStr per occurrence, which would count the
  // text from its start each time).
  std::string out;
  if (mode == CompareMode::kBinary) {
    size_t from = 0;
    for (int32_t done = 0; count < 0 || done < count; ++done) {
      const size_t found = s.find(what, from);
      if (found == std::string_view::npos) break;
      out.append(s.substr(from, found - from));
      out.append(with);
      from = found + what.size();
    }
    out.append(s.substr(from));
    return out;
  }
  const std::u16string hay = ToUtf16(s), needle = ToUtf16(what);
  const std::u16string_view h(hay);
  size_t copied = 0;
  int32_t done = 0;
  for (size_t i = 0; i + needle.size() <= h.size() && (count < 0 || done < count);) {
    if (CompareTextRu(ToUtf8(h.substr(i, needle.size())), what) != 0) {
      ++i;
      continue;
    }
    out += ToUtf8(h.substr(copied, i - copied));
    out.append(with);
    i += needle.size();
    copied = i;
    ++done;
  }
  out += ToUtf8(h.substr(copied));
  return out;
}

}  // namespace qv
