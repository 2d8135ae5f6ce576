// Whether a test program runs its second time, on the test server: its
// variable (ctest's *_server tests set it) is set and not empty. Such a run
// without a server (QV_TEST_PG unset) exits 77, which ctest counts as skipped.

#pragma once

#include <cstdlib>

#include "support/PgTestProcess.h"

namespace qv::testsupport {

inline bool RunsOnServer(const char* variable) {
  const char* set = std::getenv(variable);
  if (set == nullptr || *set == '\0') return false;
  if (TestServerOrSkip() == nullptr) std::exit(77);
  return true;
}

}  // namespace qv::testsupport
