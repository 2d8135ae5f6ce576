#include "core/mQvPfrUtils.h"

namespace qv::mQvPfrUtils {

std::string PackPfrNumber(std::string_view number) {
  std::string packed;
  packed.reserve(number.size());
  // Removing every space leaves nothing for a trim to take.
  for (char c : number)
    if (c != '-' && c != ' ') packed.push_back(c);
  return packed;
}

}  // namespace qv::mQvPfrUtils
