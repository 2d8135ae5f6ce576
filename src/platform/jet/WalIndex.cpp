#include "platform/jet/WalIndex.h"

#include <cstring>

#include "platform/automation/VbaText.h"
#include "platform/jet/Sqlite.h"

namespace qv::jet {

uint32_t WalIndexHeader::Word(size_t offset) const {
  uint32_t word;
  std::memcpy(&word, bytes.data() + offset, sizeof word);
  return word;
}

bool WalIndexHeader::CopiesAgree() const {
  return std::memcmp(bytes.data(), bytes.data() + kCopyBytes, kCopyBytes) == 0;
}

bool WalIndexHeader::FollowsOwnCommit(const WalIndexHeader& before, uint32_t frames) const {
  const uint32_t counter = before.Word(kCounter);
  return counter != 0 && Word(kCounter) == counter + 1 &&
         std::memcmp(before.bytes.data(), bytes.data(), kCounter) == 0 &&
         std::memcmp(before.bytes.data() + kIsInit, bytes.data() + kIsInit, 4) == 0 &&
         Word(kLastFrame) == before.Word(kLastFrame) + frames &&
         std::memcmp(before.bytes.data() + kSalts, bytes.data() + kSalts, 8) == 0;
}

bool WalIndexReader::Holds(const WalIndexHeader& kept) const {
  const auto* index = const_cast<const unsigned char*>(index_);
  constexpr size_t n = WalIndexHeader::kCopyBytes;
  return index && std::memcmp(index, kept.bytes.data(), n) == 0 &&
         std::memcmp(index + n, kept.bytes.data(), n) == 0;
}

bool WalIndexReader::Read(WalIndexHeader& out) {
  if (!checked_) {
    // Once per connection: a file in WAL mode keeps its log open, and the
    // log's file object stays the same, while the connection lasts.
    // An immutable file (opened when no writer can exist) has no shared
    // memory, and asking the VFS for it would make one.
    checked_ = true;
    if (sqlite3_uri_boolean(sqlite3_db_filename(db_, "main"), "immutable", 0)) return false;
    sqlite::StmtPtr s = sqlite::Prepare(db_, "PRAGMA journal_mode");
    if (sqlite3_step(s.get()) == SQLITE_ROW) {
      const unsigned char* mode = sqlite3_column_text(s.get(), 0);
      if (mode && LCase(reinterpret_cast<const char*>(mode)) == "wal")
        sqlite3_file_control(db_, "main", SQLITE_FCNTL_JOURNAL_POINTER, &logFile_);
    }
  }
  const volatile unsigned char* index = index_;
  if (!index) {
    if (!logFile_) return false;
    // The log's file object changes when the pager closes the log (this
    // connection set another journal mode): its shared memory is then no
    // longer the file's.
    sqlite3_file* log = nullptr;
    sqlite3_file* file = nullptr;
    if (sqlite3_file_control(db_, "main", SQLITE_FCNTL_JOURNAL_POINTER, &log) != SQLITE_OK ||
        log != logFile_ ||
        sqlite3_file_control(db_, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file ||
        !file->pMethods || file->pMethods->iVersion < 2 || !file->pMethods->xShmMap) {
      logFile_ = nullptr;
      return false;
    }
    // The first region of the log index, mapped since the connection's
    // first read; asked not to grow it, the VFS only hands out the mapping.
    void volatile* region = nullptr;
    const int rc = file->pMethods->xShmMap(file, 0, 32768, 0, &region);
    if ((rc != SQLITE_OK && rc != SQLITE_READONLY) || !region) return false;
    index = static_cast<const volatile unsigned char*>(region);
    // The mapping lasts until the connection closes its log (SQLite's own
    // log code keeps its regions the same way), and only this connection
    // can close it: while a connection has the log open it holds a shared
    // lock on the file, and leaving WAL mode takes an exclusive one. It
    // closes the log when it closes (the reader's owner goes first) or when
    // a statement of its own sets another journal mode, and such a
    // statement prepared once (JournalModeMayChange) has every later Read
    // ask the VFS again. The main database is never detached or replaced.
    if (!journalModeSet_) index_ = index;
  }
  // A commit writes the header's second copy, then the first. The copies
  // differ while one is under way, or for good when its writer died in
  // between: the next reader of the file then rebuilds the index (a commit
  // may have been completed in the log).
  std::memcpy(out.bytes.data(), const_cast<const unsigned char*>(index), out.bytes.size());
  return true;
}

}  // namespace qv::jet
