#include "core/mQvGuids.h"

#include <sys/random.h>
#include <uuid/uuid.h>

#include <cerrno>
#include <cstddef>

namespace qv::mQvGuids {

std::string CreateNewGuid() {
  // The kernel's random bytes, as uuid_generate_random takes them, without
  // the library's reseeding of the C library's generator on every call
  // (most of a log entry's client work); the library when they fail.
  unsigned char id[16];
  size_t got = 0;
  while (got < sizeof id) {
    const ssize_t n = getrandom(id + got, sizeof id - got, 0);
    if (n > 0)
      got += static_cast<size_t>(n);
    else if (n < 0 && errno != EINTR)
      break;
  }
  if (got < sizeof id) uuid_generate_random(id);
  id[6] = static_cast<unsigned char>((id[6] & 0x0F) | 0x40);  // version 4: random
  id[8] = static_cast<unsigned char>((id[8] & 0x3F) | 0x80);  // the RFC 4122 variant
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
