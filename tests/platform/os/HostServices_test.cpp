#include "platform/os/HostServices.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "support/TestSupport.h"

namespace qv::os {
namespace {

namespace fs = std::filesystem;

TEST(HostServices, SystemTempPathEndsInOneSlash) {
  const testsupport::ScopedEnv env("TMPDIR", nullptr);
  const struct {
    const char* tmpdir;
    const char* expected;
  } cases[] = {
      {nullptr, "/tmp/"}, {"", "/tmp/"}, {"/var/qv", "/var/qv/"}, {"/var/qv/", "/var/qv/"}};
  for (const auto& c : cases) {
    env.Set(c.tmpdir);
    EXPECT_EQ(SystemTempPath(), c.expected) << (c.tmpdir ? c.tmpdir : "(unset)");
  }
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

// Both counts are their clocks in milliseconds: each lies between two reads
// of the clock itself (the tick count wraps at 2^32).
TEST(HostServices, CountsAreTheirClocksInMilliseconds) {
  const auto ms = [](clockid_t id) {
    timespec t{};
    ::clock_gettime(id, &t);
    return int64_t{t.tv_sec} * 1000 + t.tv_nsec / 1000000;
  };
  const int64_t bootBefore = ms(CLOCK_BOOTTIME), monoBefore = ms(CLOCK_MONOTONIC);
  const uint32_t tick = GetTickCount();
  const int64_t mono = MonotonicMilliseconds();
  const int64_t bootAfter = ms(CLOCK_BOOTTIME), monoAfter = ms(CLOCK_MONOTONIC);
  EXPECT_LE(tick - static_cast<uint32_t>(bootBefore),
            static_cast<uint32_t>(bootAfter - bootBefore));
  EXPECT_GE(mono, monoBefore);
  EXPECT_LE(mono, monoAfter);
}

}  // namespace
}  // namespace qv::os
