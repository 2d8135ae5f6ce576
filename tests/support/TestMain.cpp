#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <string_view>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // The run with every data folder on the test server needs the server:
  // without one the program is skipped (77, which ctest counts as skipped).
  const char* mode = std::getenv("QV_TEST_FOLDER");
  const char* server = std::getenv("QV_TEST_PG");
  if (mode != nullptr && std::string_view(mode) == "server" && (server == nullptr || !*server)) {
    std::cout << "skipped: QV_TEST_FOLDER=server needs QV_TEST_PG (scripts/test starts a "
                 "PostgreSQL server and sets it; see docs/postgres.md)\n";
    return 77;
  }
  return RUN_ALL_TESTS();
}
