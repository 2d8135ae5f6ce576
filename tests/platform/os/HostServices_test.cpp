#include "platform/os/HostServices.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/TestSupport.h"

namespace qv::os {
namespace {

namespace fs = std::filesystem;

TEST(HostServices, SystemTempPathEndsInOneSlash) {
  const char* saved = std::getenv("TMPDIR");
  const std::string old = saved ? saved : "";
  const struct {
    const char* tmpdir;
    const char* expected;
  } cases[] = {
      {nullptr, "/tmp/"}, {"", "/tmp/"}, {"/var/qv", "/var/qv/"}, {"/var/qv/", "/var/qv/"}};
  for (const auto& c : cases) {
    if (c.tmpdir)
      ::setenv("TMPDIR", c.tmpdir, 1);
    else
      ::unsetenv("TMPDIR");
    EXPECT_EQ(SystemTempPath(), c.expected) << (c.tmpdir ? c.tmpdir : "(unset)");
  }
  if (saved)
    ::setenv("TMPDIR", old.c_str(), 1);
  else
    ::unsetenv("TMPDIR");
}

TEST(HostServices, FileProbeOpensForReading) {
  const testsupport::TempFolder temp;
  const fs::path& dir = temp.Path();
  std::ofstream(dir / "plain.mdb") << "x";
  std::ofstream(dir / "secret.mdb") << "x";
  ::chmod((dir / "secret.mdb").c_str(), 0);
  ::mkfifo((dir / "pipe").c_str(), 0600);
  const struct {
    const char* name;
    bool expected;
  } cases[] = {
      {"plain.mdb", true},
      {"missing.mdb", false},
      {"", false},                       // the folder itself
      {"pipe", true},                    // must not wait for a writer
      {"secret.mdb", ::geteuid() == 0},  // root reads anything
  };
  for (const auto& c : cases)
    EXPECT_EQ(IsFileReadable((dir / c.name).string()), c.expected) << c.name;
}

TEST(HostServices, TickCountsAdvanceInMilliseconds) {
  const uint32_t tick0 = GetTickCount();
  const int64_t mono0 = MonotonicMilliseconds();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  const uint32_t ticks = GetTickCount() - tick0;  // unsigned: right across a wrap
  const int64_t mono = MonotonicMilliseconds() - mono0;
  EXPECT_GE(ticks, 29u);
  EXPECT_LT(ticks, 10000u);
  EXPECT_GE(mono, 29);
  EXPECT_LT(mono, 10000);
}

}  // namespace
}  // namespace qv::os
