// `qvdb sql` on a terminal (a pseudo-terminal here), as a user types at it:
// Ctrl-C drops the statement being typed or stops the one running, Ctrl-D
// on an unfinished statement warns before it quits, Tab completes a table.

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "QvdbTestSupport.h"

namespace qvdb {
namespace {

struct Step {
  const char* send;
  const char* expect;  // what the output must show before the next step
  int thenWaitMs = 0;  // and how long to wait then (a statement starts running)
  // Sent again each second until `expect` shows: a Ctrl-C that lands in the
  // instant between the check before a statement and its first step is
  // lost (a user presses it again), which a loaded machine makes likely.
  bool again = false;
};

// Each step's keys, then the output read until it holds `expect`.
const Step kSteps[] = {
    {"", "qvdb> "},
    {"select 1 as a,\r", "  ...> "},
    {"\x03", "qvdb> "},                  // the unfinished statement is dropped ...
    {"select 2 as b;\r", "b\r\n2\r\n"},  // ... or this would be a syntax error
    {"select * from doc_regi\t", "doc_registry "},
    {"\x03", "qvdb> "},
    {"select a.DayDate from Calendar as a, Calendar as b;\r", "01.01.2003\r\n"},
    {"\x03", "Error 3059"},  // 60 million rows: stopped
    // No row for a long while (5e11 rows counted): stopped inside its step.
    {"select count(*) as n from Calendar as a, Calendar as b, Calendar as c;\r", "as c;\r\n", 500},
    {"\x03", "Error 3059", 0, true},
    {"select 3 as c\r", "  ...> "},
    {"\x04", "Ctrl-C drops it.\r\n  ...> "},  // the warning, then the prompt again
    {";\r", "c\r\n3\r\n"},
    {"select 4\r", "  ...> "},
    {"\x04", "Ctrl-C drops it.\r\n  ...> "},  // the warning, then the prompt again
    {"\x04", ""},                             // quits
};

TEST(SqlTerminal, CtrlCCtrlDAndTab) {
  TempFolder tmp;
  const fs::path folder = test::CopyOfPristine(tmp);
  const fs::path qvdb =
      fs::canonical("/proc/self/exe").parent_path().parent_path() / "tools" / "qvdb" / "qvdb";
  ASSERT_TRUE(fs::exists(qvdb)) << "build the qvdb target first";
  int fd = -1;
  const pid_t pid = ::forkpty(&fd, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::setenv("HOME", tmp.Path().c_str(), 1);
    ::setenv("TERM", "dumb", 1);
    ::execl(qvdb.c_str(), "qvdb", "sql", "--format", "tsv", "--data", folder.c_str(), nullptr);
    ::_exit(127);
  }
  for (const Step& s : kSteps) {
    if (*s.send) {
      ASSERT_EQ(::write(fd, s.send, std::strlen(s.send)),
                static_cast<ssize_t>(std::strlen(s.send)));
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::string out;
    auto resend = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (out.find(s.expect) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      if (s.again && std::chrono::steady_clock::now() > resend) {
        ASSERT_EQ(::write(fd, s.send, std::strlen(s.send)),
                  static_cast<ssize_t>(std::strlen(s.send)));
        resend += std::chrono::seconds(1);
      }
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      char buf[65536];
      const ssize_t n = ::read(fd, buf, sizeof buf);
      if (n <= 0) break;
      out.append(buf, static_cast<size_t>(n));
      // A long result: keep the tail only.
      if (out.size() > (1 << 20)) out.erase(0, out.size() - 4096);
    }
    if (s.thenWaitMs) ::usleep(s.thenWaitMs * 1000);
    ASSERT_NE(out.find(s.expect), std::string::npos)
        << "step " << (&s - kSteps) << ", after sending "
        << testing::PrintToString(std::string(s.send)) << ": "
        << out.substr(out.size() > 2000 ? out.size() - 2000 : 0);
  }
  int status = -1;  // not exited (until waitpid says otherwise)
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (::waitpid(pid, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < deadline)
    ::usleep(20000);
  if (!WIFEXITED(status)) ::kill(pid, SIGKILL), ::waitpid(pid, &status, 0);
  ::close(fd);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);  // the interrupted statement counts as an error
}

}  // namespace
}  // namespace qvdb
