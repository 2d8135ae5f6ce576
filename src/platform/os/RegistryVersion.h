#pragma once
// A number for caching what is worked out from registry values.

#include <cstdint>

#include "platform/os/RegistryStore.h"

namespace qv::os {

// Reads `store`'s file again when it changed (as a Read does) and returns
// the number of file readings any store of the process has made: while it
// is the same, so are the values `store` reads.
uint64_t RegistryVersion(RegistryStore& store);

}  // namespace qv::os
