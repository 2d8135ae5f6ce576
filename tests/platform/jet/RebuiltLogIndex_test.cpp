#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "JetTestSupport.h"

namespace qv::jet::testing {
namespace {

// The log index of `file` in shared memory, read and written as a writer
// that died while writing its header leaves it.
class LogIndex {
 public:
  explicit LogIndex(const std::string& file) : fd_(::open((file + "-shm").c_str(), O_RDWR)) {}
  ~LogIndex() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool IsOpen() const { return fd_ >= 0; }
  // The commit counter of the header's first copy.
  uint32_t Counter() const { return Word(kCounter); }
  // Changes the second of the header's two copies (written first), so that
  // they differ: the next connection to read the file rebuilds the index,
  // which starts the counter again.
  void Tear() {
    const uint32_t counter = Word(kCopy + kCounter) + 7;
    ASSERT_EQ(::pwrite(fd_, &counter, sizeof counter, kCopy + kCounter), sizeof counter);
  }

 private:
  static constexpr off_t kCopy = 48, kCounter = 8;
  uint32_t Word(off_t at) const {
    uint32_t word = 0;
    EXPECT_EQ(::pread(fd_, &word, sizeof word, at), sizeof word);
    return word;
  }
  int fd_;
};

// The index rebuilt between an own commit and the catalogue's note of it,
// with another connection's commits after the rebuild that bring the counter
// to the value the own commit gave it: the log then holds more frames than
// the own commit wrote, so the catalogue does not take the header for its
// own, and the next look-up finds the other connection's table.
TEST_F(JetTest, AnIndexRebuiltBeforeTheNoteOfAnOwnCommitIsNotTakenForIt) {
  const std::string file = folder_.File("Test.mdb");
  sqlite3* raw = nullptr;
  ASSERT_EQ(
      sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr),
      SQLITE_OK);
  sqlite3_busy_timeout(raw, 5000);
  auto exec = [&](const char* sql) {
    ASSERT_EQ(sqlite3_exec(raw, sql, nullptr, nullptr, nullptr), SQLITE_OK)
        << sql << ": " << sqlite3_errmsg(raw);
  };
  db_->ExecuteNative("CREATE TABLE rows (x INTEGER)");
  LogIndex index(file);
  ASSERT_TRUE(index.IsOpen());
  {
    Catalog catalog(raw, [] {});
    ASSERT_NE(catalog.FindTable("rows"), nullptr);
    exec("BEGIN IMMEDIATE");
    exec("INSERT INTO rows VALUES (1)");
    catalog.NoteCommitStart();
    const uint32_t before = index.Counter();
    exec("COMMIT");
    ASSERT_EQ(index.Counter(), before + 1);
    index.Tear();
    EXPECT_EQ(Native("SELECT count(*) FROM rows"), "Long 1");  // rebuilds the index
    const uint32_t rebuilt = index.Counter();
    ASSERT_LT(rebuilt, before);
    for (uint32_t c = rebuilt + 1; c < before + 1; ++c)
      db_->ExecuteNative("INSERT INTO rows VALUES (2)");
    db_->ExecuteNative("CREATE TABLE after_rebuild (z INTEGER)");
    ASSERT_EQ(index.Counter(), before + 1);
    catalog.NoteCommitEnd();
    EXPECT_NE(catalog.FindTable("after_rebuild"), nullptr);
  }
  sqlite3_close(raw);
}

}  // namespace
}  // namespace qv::jet::testing
