#pragma once
// The header of the index SQLite keeps of a write-ahead log in shared
// memory (the "-shm" file), read by hand: the only place that knows its
// layout. The catalogue compares it to tell, without I/O and without a
// lock, whether any commit reached the file since it last read the schema
// version (Catalog::Refresh), and whether a commit of its own was the only
// one (Catalog::NoteCommitEnd).
//
// What is assumed of SQLite's layout (tests/platform/jet/WalIndex_test.cpp
// checks each against a file it writes): the header is 48 bytes written
// twice, the second copy first; in each copy, in the machine's byte order,
// the format version (3007000) at 0, the commit counter at 8 (one on at
// each commit, started again when the index is rebuilt), 1 at byte 12 once
// the header is set up, the page size at 14 (16 bits), the log's last
// valid frame at 16, the file's size in pages at 20, and at 32 the log's
// two salts as the log's own header holds them (its bytes 16-23), which a
// restart of the log changes.

#include <array>
#include <cstddef>
#include <cstdint>

struct sqlite3;
struct sqlite3_file;

namespace qv::jet {

struct WalIndexHeader {
  static constexpr size_t kCopyBytes = 48;
  // Offsets in a copy.
  static constexpr size_t kVersion = 0;
  static constexpr size_t kCounter = 8;
  static constexpr size_t kIsInit = 12;
  static constexpr size_t kPageSize = 14;
  static constexpr size_t kLastFrame = 16;
  static constexpr size_t kPages = 20;
  static constexpr size_t kSalts = 32;
  static constexpr uint32_t kFormat = 3007000;

  std::array<unsigned char, 2 * kCopyBytes> bytes = {};  // both copies

  bool operator==(const WalIndexHeader&) const = default;
  // The 32-bit word of the first copy at `offset`.
  uint32_t Word(size_t offset) const;
  // The two copies are the same: no commit is writing the header, and no
  // writer died while it did.
  bool CopiesAgree() const;
  // True when this is the header a commit of `frames` pages makes of
  // `before`, and nothing else: the commit counter one on, the same format,
  // page size and log (its salts), and the log's last frame moved on by the
  // frames written. The file's size and the checksums change with any
  // commit. A commit whose transaction spilled pages to the log before it,
  // or that pads the log to a sector, does not match: its header is taken
  // as another's. A counter of 0 (only after 2^32 commits) never matches.
  bool FollowsOwnCommit(const WalIndexHeader& before, uint32_t frames) const;
};

// Reads the header for one connection's main database.
class WalIndexReader {
 public:
  // REQUIRES: `db` outlives the reader.
  explicit WalIndexReader(sqlite3* db) : db_(db) {}

  // Copies the header, both copies, without a lock (they may differ, see
  // CopiesAgree); false for a file not in WAL mode, an immutable one, or
  // when the index is not mapped.
  bool Read(WalIndexHeader& out);
  // True when the index is mapped and both copies of its header are the
  // first copy of `kept` (a header Read gave whose copies agreed): no commit
  // since, told without copying the header out. False otherwise, also when
  // that cannot be told here (Read then answers).
  bool Holds(const WalIndexHeader& kept) const;
  // To be called when the connection prepares a statement that sets a
  // journal mode: running it may close the log and its shared memory, so
  // every later Read asks the VFS for the mapping again.
  void JournalModeMayChange() {
    journalModeSet_ = true;
    index_ = nullptr;
  }

 private:
  sqlite3* db_;
  bool checked_ = false;             // logFile_ set when the file is in WAL mode
  sqlite3_file* logFile_ = nullptr;  // the log's file object, or null
  // The index's first region while the log stays open, or null when each
  // Read asks the VFS for it (a journal mode may change).
  const volatile unsigned char* index_ = nullptr;
  bool journalModeSet_ = false;
};

}  // namespace qv::jet
