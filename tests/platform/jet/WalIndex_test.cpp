// Pins what platform/jet/WalIndex.h assumes of SQLite's log index: every
// field it names is checked against a file written here by a second
// connection, and against the log file's own header and size.

#include "platform/jet/WalIndex.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "support/TestSupport.h"

namespace qv::jet {
namespace {

using H = WalIndexHeader;

struct Db {
  explicit Db(const std::string& path) {
    EXPECT_EQ(
        sqlite3_open_v2(path.c_str(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr),
        SQLITE_OK);
    sqlite3_busy_timeout(db, 5000);
  }
  ~Db() { sqlite3_close(db); }
  void Exec(const std::string& sql) {
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sql << ": " << sqlite3_errmsg(db);
  }
  int64_t Int(const std::string& sql) {
    sqlite3_stmt* s = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr), SQLITE_OK);
    EXPECT_EQ(sqlite3_step(s), SQLITE_ROW) << sql;
    const int64_t v = sqlite3_column_int64(s, 0);
    sqlite3_finalize(s);
    return v;
  }
  // Pages the connection has written to the log since it opened.
  int PagesWritten() {
    int written = 0, highwater = 0;
    sqlite3_db_status(db, SQLITE_DBSTATUS_CACHE_WRITE, &written, &highwater, 0);
    return written;
  }
  sqlite3* db = nullptr;
};

uint16_t PageSizeField(const H& h) {
  uint16_t v;
  std::memcpy(&v, h.bytes.data() + H::kPageSize, sizeof v);
  return v;
}

// For several page sizes: a writer's commits, seen by a reader on another
// connection outside any transaction, move the header's fields as the
// reader assumes, and the fields agree with the log file itself.
TEST(WalIndex, TheHeaderFieldsAreWhereTheReaderTakesThem) {
  for (const int pageSize : {1024, 4096, 16384}) {
    SCOPED_TRACE(pageSize);
    testsupport::TempFolder folder;
    const std::string file = folder.File("wal.db");
    Db writer(file);
    writer.Exec("PRAGMA page_size = " + std::to_string(pageSize));
    writer.Exec("PRAGMA journal_mode = WAL");
    writer.Exec("PRAGMA wal_autocheckpoint = 0");  // the log only grows
    writer.Exec("CREATE TABLE t (x BLOB)");
    Db reader(file);
    reader.Int("SELECT count(*) FROM sqlite_master");  // maps the index
    WalIndexReader index(reader.db);

    H before;
    ASSERT_TRUE(index.Read(before));
    EXPECT_TRUE(before.CopiesAgree());
    EXPECT_EQ(before.Word(H::kVersion), H::kFormat);
    EXPECT_EQ(before.bytes[H::kIsInit], 1);
    EXPECT_EQ(PageSizeField(before), pageSize);

    // Commits of one to three rows (half a page each), two commits between
    // two reads, and a commit that starts the log again.
    const struct {
      int rowsPerCommit;
      int commits;
      // A checkpoint copies the whole log into the file first, so that
      // the commit starts the log again from its first frame.
      bool restartLog;
    } steps[] = {{1, 1, false}, {3, 1, false}, {1, 2, false}, {2, 1, true}, {1, 1, false}};
    bool restarted = false;  // a started-again log is written over from its start
    for (const auto& step : steps) {
      SCOPED_TRACE(step.rowsPerCommit * 10 + step.commits);
      if (step.restartLog) writer.Exec("PRAGMA wal_checkpoint(PASSIVE)");
      const int pagesBefore = writer.PagesWritten();
      for (int c = 0; c < step.commits; ++c) {
        writer.Exec("BEGIN");
        for (int r = 0; r < step.rowsPerCommit; ++r)
          writer.Exec("INSERT INTO t VALUES (zeroblob(" + std::to_string(pageSize / 2) + "))");
        writer.Exec("COMMIT");
      }
      const uint32_t frames = static_cast<uint32_t>(writer.PagesWritten() - pagesBefore);
      H after;
      ASSERT_TRUE(index.Read(after));
      ASSERT_TRUE(after.CopiesAgree());
      EXPECT_EQ(after.Word(H::kPages), static_cast<uint32_t>(writer.Int("PRAGMA page_count")));
      // The log: a 32-byte header, then frames of a 24-byte header and a
      // page.
      const std::string log = testsupport::ReadFileText(file + "-wal");
      const uint64_t used = 32 + after.Word(H::kLastFrame) * (24 + uint64_t(pageSize));
      ASSERT_GE(log.size(), 24u);
      EXPECT_EQ(std::memcmp(after.bytes.data() + H::kSalts, log.data() + 16, 8), 0);
      if (step.restartLog) {
        EXPECT_GT(after.Word(H::kCounter), before.Word(H::kCounter));
        EXPECT_EQ(after.Word(H::kLastFrame), frames);
        EXPECT_NE(std::memcmp(after.bytes.data() + H::kSalts, before.bytes.data() + H::kSalts, 8),
                  0);
        restarted = true;
      } else {
        EXPECT_EQ(after.Word(H::kCounter), before.Word(H::kCounter) + step.commits);
        EXPECT_EQ(after.Word(H::kLastFrame), before.Word(H::kLastFrame) + frames);
      }
      if (restarted)
        EXPECT_LE(used, log.size());
      else
        EXPECT_EQ(used, log.size());
      // One commit over the same log is taken for that commit, and nothing
      // else is: a frame more, or a second commit, or a restarted log.
      const bool one = step.commits == 1 && !step.restartLog;
      EXPECT_EQ(after.FollowsOwnCommit(before, frames), one);
      EXPECT_FALSE(after.FollowsOwnCommit(before, frames + 1));
      before = after;
    }
  }
}

// Nothing is read of a file that keeps a rollback journal.
TEST(WalIndex, AFileWithoutALogHasNoHeader) {
  testsupport::TempFolder folder;
  const std::string file = folder.File("journal.db");
  Db db(file);
  db.Exec("CREATE TABLE t (x)");
  WalIndexReader index(db.db);
  H header;
  EXPECT_FALSE(index.Read(header));
  EXPECT_FALSE(std::filesystem::exists(file + "-shm"));
}

}  // namespace
}  // namespace qv::jet
