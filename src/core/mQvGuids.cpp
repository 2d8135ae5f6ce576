#include "core/mQvGuids.h"

#include <uuid/uuid.h>

namespace qv::mQvGuids {

std::string CreateNewGuid() {
  uuid_t id;
  uuid_generate_random(id);
  char text[37];
  uuid_unparse_lower(id, text);
  return text;
}

std::string CreateNewGuidWithoutHyphens() {
  std::string text = CreateNewGuid();
  std::erase(text, '-');
  return text;
}

}  // namespace qv::mQvGuids
