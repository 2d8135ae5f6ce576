#include "platform/jet/JetConnection.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <unordered_map>

#include "platform/jet/JetCollation.h"
#include "platform/jet/JetEngine.h"
#include "platform/jet/JetFunctionImpl.h"
#include "platform/jet/JetSchemaChange.h"
#include "platform/jet/JetStatementCache.h"
#include "platform/jet/Sqlite.h"
#include "platform/jet/sql/JetLexer.h"
#include "platform/jet/sql/JetLiterals.h"

namespace qv::jet {

namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxCachedTexts = 512;
// A statement with more literals than SQLite takes parameters keeps them as
// literals (its translation then serves its own text only).
constexpr size_t kMaxParameters = 32000;
constexpr size_t kMaxIdlePerText = 4;
// The texts last prepared, one per slot chosen by the text's hash.
constexpr size_t kTextSlots = 64;

// The hash of a statement's text or shape, eight bytes a step: a text is
// hashed on every Prepare, which with the library's byte-wise hash cost
// more than binding its values. Each step multiplies, so that texts
// differing in one literal's digits part.
size_t TextHash(std::string_view s) {
  constexpr uint64_t kMul = 0x9E3779B97F4A7C15u;
  uint64_t h = s.size() * kMul;
  size_t i = 0;
  for (; i + 8 <= s.size(); i += 8) {
    uint64_t w;
    std::memcpy(&w, s.data() + i, sizeof w);
    h = (h ^ w) * kMul;
    h ^= h >> 29;
  }
  uint64_t tail = 0;
  std::memcpy(&tail, s.data() + i, s.size() - i);
  h = (h ^ tail) * kMul;
  return static_cast<size_t>(h ^ (h >> 32));
}

struct StringHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return TextHash(s); }
};
using Cache = std::unordered_map<std::string, std::shared_ptr<StatementCacheEntry>, StringHash,
                                 std::equal_to<>>;

// The translations of one statement shape (sql::ScanLiterals): one for
// every text of the shape when no literal value matters to it, else one per
// combination of the values that do (`valueLiterals`, in order).
struct Shape {
  std::vector<uint16_t> valueLiterals;
  std::shared_ptr<StatementCacheEntry> entry;  // when valueLiterals is empty
  Cache byValues;                              // keyed by those literals' tokens
};
// A shape and its hash, worked out once per new text: the shape is looked
// up, inserted and, when the cache drops it, found again by it.
struct HashedShape {
  std::string_view text;
  size_t hash;
};
struct ShapeKey {
  explicit ShapeKey(HashedShape h) : text(h.text), hash(h.hash) {}
  std::string text;
  size_t hash;
};
struct ShapeHash {
  using is_transparent = void;
  size_t operator()(const ShapeKey& k) const { return k.hash; }
  size_t operator()(const HashedShape& k) const { return k.hash; }
};
struct ShapeEqual {
  using is_transparent = void;
  template <class A, class B>
  bool operator()(const A& a, const B& b) const {
    return a.hash == b.hash && std::string_view(a.text) == std::string_view(b.text);
  }
};
using ShapeCache = std::unordered_map<ShapeKey, Shape, ShapeHash, ShapeEqual>;

// A node taken out of a cache, emptied for another key.
void Empty(Shape& shape) {
  shape.valueLiterals.clear();
  shape.entry.reset();
  shape.byValues.clear();
}
void Empty(std::shared_ptr<StatementCacheEntry>& entry) {
  entry.reset();
}
void SetKey(ShapeKey& key, HashedShape shape) {
  key.text.clear();  // appended: an assignment went through the general replace
  key.text.append(shape.text);
  key.hash = shape.hash;
}
void SetKey(std::string& key, std::string_view text) {
  key.clear();
  key.append(text);
}

// The element keyed `key` in `map`, made when absent: from `spare`, a node
// the cache dropped, when there is one.
template <class Map, class Key>
typename Map::value_type& FindOrInsert(Map& map, typename Map::node_type& spare, Key key) {
  if (spare.empty()) return *map.try_emplace(typename Map::key_type(key)).first;
  SetKey(spare.key(), key);
  auto made = map.insert(std::move(spare));
  if (made.inserted)
    Empty(made.position->second);
  else
    spare = std::move(made.node);
  return *made.position;
}

// True when the last literal of `scan`, a text of `shape`, is a plain
// parameter: its value matters to no translation of the shape.
bool LastIsParameter(const Shape& shape, const sql::LiteralScan& scan) {
  return !scan.literals.empty() &&
         (shape.valueLiterals.empty() || shape.valueLiterals.back() + 1u < scan.literals.size());
}

// The key of `scan` among the translations of its shape.
std::string ValuesKey(const Shape& shape, const sql::LiteralScan& scan) {
  std::string key;
  for (uint16_t i : shape.valueLiterals) {
    key += scan.literals[i].token;
    key += '\x01';
  }
  return key;
}

// The value a literal binds as a parameter, worked out once per text: a
// text run again binds it without reading its token again.
struct BoundLiteral {
  enum class Kind : uint8_t { kText, kInteger, kReal };
  Kind kind = Kind::kInteger;
  int64_t whole = 0;
  double real = 0;
  // A text: bytes [pos, pos + size) of the statement's text when its value
  // is its token without the quotes, else `value`.
  bool owned = false;
  uint32_t pos = 0, size = 0;
  std::string value;
};

// Sets `b`, a new one, to the value literal `lit` has as a SQLite literal.
void ResolveLiteral(const sql::Literal& lit, BoundLiteral& b) {
  const std::string_view inner =
      lit.token.size() >= 2 ? lit.token.substr(1, lit.token.size() - 2) : std::string_view();
  if (lit.kind == sql::LiteralKind::kText && lit.token.size() >= 2 &&
      inner.find(lit.token.front()) == inner.npos) {
    // No quote written twice: the value is the text between the quotes.
    b.kind = BoundLiteral::Kind::kText;
    b.pos = static_cast<uint32_t>(lit.pos + 1);
    b.size = static_cast<uint32_t>(inner.size());
  } else if (lit.kind == sql::LiteralKind::kText || lit.kind == sql::LiteralKind::kGuid) {
    b.kind = BoundLiteral::Kind::kText;
    b.owned = true;
    b.value = lit.kind == sql::LiteralKind::kText ? sql::TextLiteralValue(lit.token)
                                                  : sql::GuidLiteralValue(lit.token);
  } else {
    const char* end = lit.token.data() + lit.token.size();
    const auto [ptr, ec] = std::from_chars(lit.token.data(), end, b.whole);
    if (ec != std::errc() || ptr != end) {
      b.kind = BoundLiteral::Kind::kReal;
      b.real = sql::NumberLiteralValue(lit.token);
    }
  }
}
BoundLiteral ResolveLiteral(const sql::Literal& lit) {
  BoundLiteral b;
  ResolveLiteral(lit, b);
  return b;
}

// Binds `b`, a literal of the statement text `text`, as parameter `index`:
// a text where it lies when `kept` (its bytes stay unchanged while the
// statement may read them), else a copy.
void BindLiteral(sqlite3_stmt* stmt, int index, const BoundLiteral& b, std::string_view text,
                 bool kept) {
  int rc;
  switch (b.kind) {
    case BoundLiteral::Kind::kText: {
      const char* data = b.owned ? b.value.data() : text.data() + b.pos;
      const size_t size = b.owned ? b.value.size() : b.size;
      rc = sqlite3_bind_text64(stmt, index, data, size, kept ? SQLITE_STATIC : SQLITE_TRANSIENT,
                               SQLITE_UTF8);
      break;
    }
    case BoundLiteral::Kind::kInteger:
      rc = sqlite3_bind_int64(stmt, index, b.whole);
      break;
    default:
      rc = sqlite3_bind_double(stmt, index, b.real);
      break;
  }
  if (rc != SQLITE_OK) sqlite::Check(rc, sqlite3_db_handle(stmt));
}

// The end of the literal at `pos` of `text` when the scan there finds one
// of kind `kind` (ScanLiterals' rules), else npos; `whole` gets a number's
// value when it is digits only within 64 bits (`isWhole`).
size_t LiteralEndAt(std::string_view text, size_t pos, sql::LiteralKind kind, int64_t& whole,
                    bool& isWhole) {
  isWhole = false;
  if (kind == sql::LiteralKind::kText) {
    const char quote = text[pos];
    if (quote != '\'' && quote != '"') return std::string_view::npos;
    for (size_t i = pos + 1; i < text.size();) {
      if (text[i++] != quote) continue;
      if (i < text.size() && text[i] == quote) {
        ++i;
        continue;
      }
      return i;
    }
    return std::string_view::npos;  // unterminated
  }
  if (kind == sql::LiteralKind::kGuid || !sql::StartsNumber(text, pos))
    return std::string_view::npos;
  const size_t end = sql::NumberEnd(text, pos);
  const std::string_view token = text.substr(pos, end - pos);
  isWhole = sql::WholeNumber(token, whole);
  const sql::LiteralKind found =
      isWhole ? (whole <= INT32_MAX ? sql::LiteralKind::kLong : sql::LiteralKind::kNumber)
              : sql::NumberLiteralKind(token);
  return found == kind ? end : std::string_view::npos;
}

// 3044 when the folder of `path` is missing, 3024 when the file is and must
// not be.
void CheckPath(const std::string& path, bool mustExist) {
  std::error_code ec;
  fs::path p(path);
  fs::path folder = p.parent_path();
  if (path.empty() || (!folder.empty() && !fs::is_directory(folder, ec)))
    ThrowJet(jeterr::kInvalidPath, {path});
  if (mustExist && !fs::exists(p, ec)) ThrowJet(jeterr::kFileNotFound, {path});
}

// True when nobody can be writing the file: its folder takes no new files
// (so no writer can make the -wal or rollback journal it needs) and no
// write-ahead log is there. SQLite may then read it as immutable, without
// the -shm file a WAL database otherwise needs and cannot get there.
bool NoWriterPossible(const std::string& path) {
  const fs::path folder = fs::path(path).parent_path();
  std::error_code ec;
  return ::access(folder.empty() ? "." : folder.c_str(), W_OK) != 0 &&
         !fs::exists(path + "-wal", ec);
}

// `path` as an SQLite URI asking for an immutable read.
std::string ImmutableUri(const std::string& path) {
  std::string uri = "file:";
  for (char c : path) {
    if (c == '%' || c == '?' || c == '#') {
      static constexpr char kHex[] = "0123456789ABCDEF";
      uri += '%';
      uri += kHex[static_cast<unsigned char>(c) >> 4];
      uri += kHex[c & 0xF];
    } else {
      uri += c;
    }
  }
  return uri + "?immutable=1";
}

// A read-only connection cannot checkpoint or remove a write-ahead log when
// it ends, so the last reader of a file in WAL mode would leave its -wal and
// -shm files behind. A read-write connection that reads once and closes does
// what the last connection's close does: when no other connection (of any
// process) has the file, SQLite checkpoints the log and removes both files;
// otherwise it leaves them to the last one. Nothing when there is no log or
// the file or its folder cannot be written (such a file is read immutably).
void ReleaseLog(const std::string& path) {
  std::error_code ec;
  if (!fs::exists(path + "-wal", ec)) return;
  const fs::path folder = fs::path(path).parent_path();
  if (::access(path.c_str(), W_OK) != 0 || ::access(folder.empty() ? "." : folder.c_str(), W_OK))
    return;
  sqlite3* raw = nullptr;
  if (sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) ==
      SQLITE_OK)
    sqlite3_exec(raw, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
  sqlite3_close(raw);
}

}  // namespace

struct Connection::Impl {
  sqlite::DbPtr db;
  std::unique_ptr<Catalog> catalog;
  ShapeCache jet;
  Cache native;
  // The cached texts' entries in the order they were made, a ring: a new
  // text when the cache is full drops the oldest. (Dropping all of them at
  // once freed their thousands of blocks together, past the allocator's
  // per-thread cache; one entry dropped per new text frees the blocks the
  // next entry takes.)
  struct CachedText {
    enum class In : uint8_t { kNative, kShape, kValues } in;
    std::string_view key;     // its key in `native`, or its shape's in `jet`
    size_t shapeHash;         // its shape's hash, in `jet`
    std::string_view values;  // kValues: its key in the shape's byValues
    const StatementCacheEntry* entry;
  };
  std::vector<CachedText> cached;  // kMaxCachedTexts once a text is cached
  size_t oldest = 0;               // the ring's first
  size_t cachedCount = 0;
  // What the oldest text's drop took out of the caches, kept for the next
  // new text (a full cache drops one per new text): its shape's node (key,
  // value list and emptied map of values), its node among the values, and
  // its entry when nothing else held it. Taking them again spares freeing
  // and allocating a dozen blocks per text.
  ShapeCache::node_type spareShape;
  Cache::node_type spareValues;
  std::shared_ptr<StatementCacheEntry> spareEntry;
  sql::LiteralScan scan;  // of the statement being prepared
  // A text prepared before and its entry: a caller runs the same texts
  // again and again, and finding the entry by the text itself spares the
  // literal scan, the shape's hash and the values' key (each a pass over
  // the text or more). Only a text equal to the slot's takes its entry.
  struct TextSlot {
    std::string text;
    std::shared_ptr<StatementCacheEntry> entry;  // null: the slot is empty
    // The values the entry's parameters bind, in the order of its
    // `parameters` (their texts' bytes in `text`).
    std::vector<BoundLiteral> bound;
    // The text's last literal: where it lies and its kind, and whether it
    // is a plain parameter (its value matters to no translation), so that
    // a text differing only there shares the entry (LastLiteralChanged).
    bool lastIsParameter = false;
    sql::LiteralKind lastKind = sql::LiteralKind::kLong;
    uint32_t lastPos = 0, lastSize = 0;
    // Statements out whose texts are bound where `text` and `bound` keep
    // them (SQLite reads them there, no copy per bind): while there are,
    // the slot takes no other text. A statement given back keeps those
    // bindings unread: the next take binds every parameter again.
    uint32_t out = 0;
    // Versions of what the slot binds (numbers from `stamps`, never
    // reused): `values` moves when any value or where a text lies may have
    // changed, `last` when the last literal's value did
    // (StatementCacheEntry::boundValues, boundLast).
    uint64_t values = 0, last = 0;
  };
  std::array<TextSlot, kTextSlots> texts;
  // A new text whose slot statements out still read: its entry and values
  // until they are bound (as copies).
  TextSlot spare;
  // The slot of the text last prepared: a caller that runs one text again
  // and again finds it without hashing the text.
  TextSlot* lastText = nullptr;
  uint64_t stamps = 0;  // the last version given to a slot
  // The positions of its literals and their uses in a new translation, kept
  // for their capacity.
  std::vector<size_t> positions;
  std::vector<LiteralUse> uses;
  sqlite::StmtPtr schemaVersion;
  int64_t lastSchemaVersion = -1;
  // BEGIN, COMMIT, SAVEPOINT and RELEASE of each depth, prepared once: a
  // mapper's read or save begins and ends a level per call, and parsing the
  // text each time cost as much as running it.
  std::unordered_map<std::string, sqlite::StmtPtr> control;

  // Makes room for one more text, dropping the oldest when the cache is full.
  void MakeRoom() {
    if (cached.empty()) cached.resize(kMaxCachedTexts);
    if (cachedCount >= kMaxCachedTexts) DropOldest();
  }
  // Notes a text's entry just cached (after MakeRoom).
  void NoteCached(CachedText c) {
    cached[(oldest + cachedCount) % kMaxCachedTexts] = c;
    ++cachedCount;
  }
  void DropOldest();
  // An empty entry: the spare one, or a new one.
  std::shared_ptr<StatementCacheEntry> NewEntry();
  // Takes `text` into `slot` when it differs from the slot's text only in
  // its last literal, keeping the entry: no scan of the literals, no hash,
  // no look-up of the shape.
  bool LastLiteralChanged(TextSlot& slot, std::string_view text);

  // Runs one transaction-control statement; an error is raised as Exec
  // raises it and leaves the statement reset.
  void RunControl(const std::string& sql, std::string_view source) {
    sqlite::StmtPtr& stmt = control[sql];
    if (!stmt) stmt = sqlite::Prepare(db.get(), sql, true, source);
    int rc = sqlite3_step(stmt.get());
    sqlite3_reset(stmt.get());
    sqlite::Check(rc, db.get(), source);
  }

  int64_t SchemaVersion() {
    if (!schemaVersion) schemaVersion = sqlite::Prepare(db.get(), "PRAGMA schema_version", true);
    int rc = sqlite3_step(schemaVersion.get());
    int64_t v = rc == SQLITE_ROW ? sqlite3_column_int64(schemaVersion.get(), 0) : -1;
    sqlite3_reset(schemaVersion.get());
    sqlite::Check(rc, db.get());
    return v;
  }
};

bool Connection::Impl::LastLiteralChanged(TextSlot& slot, std::string_view text) {
  // The text scans as the slot's up to the literal (the bytes before it
  // are the same, and the literal's first byte ends the token before it as
  // the slot's did), finds a literal of the same kind there, and the same
  // bytes after it: the same shape, and the same translation, since that
  // literal's value matters to none.
  if (!slot.entry || !slot.lastIsParameter || slot.out != 0) return false;
  const std::string_view was = slot.text;
  const size_t pos = slot.lastPos;
  const size_t after = was.size() - pos - slot.lastSize;
  if (text.size() <= pos + after || text.compare(0, pos, was, 0, pos) != 0 ||
      !(text[pos] == was[pos] || (sql::IsAsciiDigit(text[pos]) && sql::IsAsciiDigit(was[pos]))) ||
      text.compare(text.size() - after, after, was, was.size() - after, after) != 0)
    return false;
  int64_t whole = 0;
  bool isWhole = false;
  const size_t end = LiteralEndAt(text, pos, slot.lastKind, whole, isWhole);
  if (end != text.size() - after) return false;
  const sql::Literal lit{slot.lastKind, pos, text.substr(pos, end - pos)};
  // Taken out while the slot changes: a failure leaves it empty.
  std::shared_ptr<StatementCacheEntry> entry = std::move(slot.entry);
  BoundLiteral& b = slot.bound.back();
  if (isWhole) {
    b.kind = BoundLiteral::Kind::kInteger;
    b.whole = whole;
  } else {
    b = ResolveLiteral(lit);
  }
  // Only the literal's bytes differ when it is as long as the slot's; a
  // text assigned may have moved the other literals' bytes.
  if (lit.token.size() == slot.lastSize) {
    std::memcpy(slot.text.data() + pos, lit.token.data(), lit.token.size());
  } else {
    slot.text.assign(text);
    slot.values = ++stamps;
  }
  slot.last = ++stamps;
  slot.lastSize = static_cast<uint32_t>(lit.token.size());
  slot.entry = std::move(entry);
  return true;
}

std::shared_ptr<Connection> Connection::Open(const std::string& path, const OpenOptions& options) {
  CheckPath(path, true);
  // SQLite takes a file of no bytes for an empty database and would write
  // into it; it is no database of ours.
  std::error_code ec;
  if (fs::file_size(path, ec) == 0 && !ec) ThrowJet(jeterr::kBadDatabaseFormat, {path});
  return std::make_shared<Connection>(Private{}, path, options, false);
}

std::shared_ptr<Connection> Connection::Create(const std::string& path, std::string_view locale,
                                               const OpenOptions& options) {
  CheckPath(path, false);
  std::error_code ec;
  if (fs::exists(path, ec)) ThrowJet(jeterr::kDatabaseExists);
  OpenOptions writable = options;
  writable.readOnly = false;
  auto conn = std::make_shared<Connection>(Private{}, path, writable, true);
  conn->Schema().EnsureCreated(locale);
  return conn;
}

namespace {

// The wait for another connection's write lock (SQLite's busy handler,
// `arg` the connection's busy timeout in milliseconds): sleeps of 0.1 ms
// growing to 10 ms, so that a waiter takes the lock soon after the writer
// commits (most hold it a few milliseconds: a commit and its sync), and
// polls no faster than every 10 ms behind a long one. SQLite's own handler
// sleeps 1, 2, 5, 10, 15, 20, 25 ... 100 ms: behind a holder of 5 ms, a
// waiter slept on for up to 20 ms after the release. Gives up (the
// statement fails with SQLITE_BUSY, 3218) once the sleeps reach the
// timeout.
int WaitForWriter(void* arg, int count) {
  static constexpr int kDelaysUs[] = {100, 200, 500, 1000, 1000, 2000, 2000, 5000, 5000};
  constexpr int kLastUs = 10000;
  const long long timeoutUs = 1000LL * *static_cast<const int*>(arg);
  auto delay = [](int i) {
    return i < static_cast<int>(std::size(kDelaysUs)) ? kDelaysUs[i] : kLastUs;
  };
  long long slept = 0;
  for (int i = 0; i < count && slept < timeoutUs; ++i) slept += delay(i);
  if (slept >= timeoutUs) return 0;
  const long long next = std::min<long long>(delay(count), timeoutUs - slept);
  std::this_thread::sleep_for(std::chrono::microseconds(next));
  return 1;
}

}  // namespace

Connection::Connection(Private, const std::string& path, const OpenOptions& options, bool create)
    : path_(path), options_(options), impl_(std::make_unique<Impl>()) {
  serial_ = NewConnectionSerial();
  int flags = (options.readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) |
              (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
  const bool immutable = options.readOnly && NoWriterPossible(path);
  if (immutable) flags |= SQLITE_OPEN_URI;
  sqlite3* raw = nullptr;
  int rc =
      sqlite3_open_v2(immutable ? ImmutableUri(path).c_str() : path.c_str(), &raw, flags, nullptr);
  impl_->db.reset(raw);
  sqlite3* db = raw;
  if (rc != SQLITE_OK) {
    if ((rc & 0xff) == SQLITE_CANTOPEN) ThrowJet(jeterr::kOpenedExclusively, {path});
    sqlite::Throw(rc, db);
  }
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_handler(db, &WaitForWriter, &options_.busyTimeoutMs);
  RegisterJetCollation(db);
  RegisterJetFunctions(db);
  // The first read of the schema tells a database from any other file.
  rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
  if ((rc & 0xff) == SQLITE_NOTADB) ThrowJet(jeterr::kBadDatabaseFormat, {path});
  sqlite::Check(rc, db);
  // A file is made with a write-ahead log, so that readers and a writer
  // share it; an open keeps the file's journal mode, so a file its owner
  // switched to a rollback journal (one read only through read-only opens,
  // which cannot remove a log when they end) stays so.
  if (create) sqlite::Exec(db, "PRAGMA journal_mode = WAL");
  // In WAL mode NORMAL keeps the file consistent; a power loss may drop
  // the last commits, as Jet's lazy writes could.
  if (!options.readOnly) sqlite::Exec(db, "PRAGMA synchronous = NORMAL");
  // A database without the catalogue is not one of ours: it is refused
  // rather than given the catalogue's tables.
  if (!create && sqlite3_table_column_metadata(db, nullptr, "_jet_indexes", "table_name", nullptr,
                                               nullptr, nullptr, nullptr, nullptr) != SQLITE_OK)
    ThrowJet(jeterr::kBadDatabaseFormat, {path});
  impl_->catalog = std::make_unique<Catalog>(db, [this] { SchemaChanged(); });
  impl_->lastSchemaVersion = impl_->SchemaVersion();
}

Connection::~Connection() {
  // Statements still out hold this connection; none can be in use here.
  ClearCaches();
  if (options_.readOnly) {
    impl_.reset();  // closes the file
    ReleaseLog(path_);
  }
}

std::string Connection::Locale() const {
  return impl_->catalog->Locale();
}

Catalog& Connection::Schema() {
  return *impl_->catalog;
}

namespace {

// Marks an entry the cache no longer holds: its idle statements are
// finalized now, its statements out when they are returned.
void DropEntry(StatementCacheEntry& entry) {
  entry.live = false;
  entry.idle.clear();
  entry.kept = {};
}

}  // namespace

void Connection::Impl::DropOldest() {
  const CachedText c = cached[oldest];
  oldest = (oldest + 1) % kMaxCachedTexts;
  --cachedCount;
  // The map's value is checked to be the entry noted: one replaced since
  // (a shape translated again to other value literals) left the map then.
  // A native text's never differs (it is cached only when absent and leaves
  // the map only here or in ClearCaches, which empties the ring): its check
  // is a guard only.
  std::shared_ptr<StatementCacheEntry> victim;
  if (c.in == CachedText::In::kNative) {
    const auto it = native.find(c.key);
    if (it == native.end() || it->second.get() != c.entry) return;
    victim = std::move(it->second);
    native.erase(it);
  } else {
    const auto it = jet.find(HashedShape{c.key, c.shapeHash});
    if (it == jet.end()) return;
    Shape& shape = it->second;
    if (c.in == CachedText::In::kShape) {
      if (shape.entry.get() != c.entry) return;
      victim = std::move(shape.entry);
    } else {
      const auto v = shape.byValues.find(c.values);
      if (v == shape.byValues.end() || v->second.get() != c.entry) return;
      victim = std::move(v->second);
      spareValues = shape.byValues.extract(v);
    }
    if (!shape.entry && shape.byValues.empty()) spareShape = jet.extract(it);
  }
  DropEntry(*victim);
  // A slot keeping it would serve its text from an entry no longer cached.
  if (victim.use_count() > 1)
    for (TextSlot& slot : texts)
      if (slot.entry == victim) slot.entry.reset();
  // Held elsewhere (a statement out), it stays with its holders.
  if (victim.use_count() == 1) spareEntry = std::move(victim);
}

std::shared_ptr<StatementCacheEntry> Connection::Impl::NewEntry() {
  if (!spareEntry) return std::make_shared<StatementCacheEntry>();
  // Every member as a new entry has it, set in place (a new entry moved in
  // moved every member twice); the lists keep their capacity.
  StatementCacheEntry& e = *spareEntry;
  e.sql.clear();
  e.translation.reset();
  e.hidden = 0;
  e.numberOperands = 0;
  e.parameters.clear();
  e.columnsKnown = false;
  e.columns.clear();
  e.originsPending = false;
  e.rowsLastRun = 0;
  e.kept = {};
  e.idle.clear();
  e.preparedBefore = false;
  e.transient = nullptr;
  e.live = true;
  e.rebound = false;
  e.boundStmt = nullptr;
  e.boundValues = e.boundLast = 0;
  return std::move(spareEntry);
}

void Connection::ClearCaches() {
  for (auto& [text, entry] : impl_->native) DropEntry(*entry);
  impl_->native.clear();
  for (auto& [shape, s] : impl_->jet) {
    if (s.entry) DropEntry(*s.entry);
    for (auto& [values, entry] : s.byValues) DropEntry(*entry);
  }
  impl_->jet.clear();
  impl_->oldest = 0;
  impl_->cachedCount = 0;
  for (Impl::TextSlot& slot : impl_->texts) slot.entry.reset();
}

void Connection::SchemaChanged() {
  ClearCaches();
  impl_->catalog->Invalidate();
  impl_->lastSchemaVersion = impl_->SchemaVersion();
  ++schemaGeneration_;
}

int64_t Connection::ApplySchemaChange(const SchemaChange& change) {
  if (options_.readOnly) ThrowJet(jeterr::kReadOnly);
  return impl_->catalog->Apply(change);
}

std::shared_ptr<const Translation> Connection::Translate(std::string_view jetSql) {
  impl_->catalog->Refresh();
  return std::make_shared<const Translation>(TranslateJet(jetSql, *impl_->catalog));
}

Statement Connection::Prepare(std::string_view jetSql) {
  // A translation holds the columns of its tables (Catalog::TableColumns):
  // another connection's change of the schema drops the cache first.
  impl_->catalog->Refresh();
  Impl::TextSlot* last = impl_->lastText;
  // Texts of one shape mostly differ in their last literal: the last bytes
  // are compared first.
  const bool again = last && last->entry && last->text.size() == jetSql.size() && !jetSql.empty() &&
                     last->text.back() == jetSql.back() && last->text == jetSql;
  // Or they differ in their last literal alone: the same slot takes the text.
  const bool found = again || (last && impl_->LastLiteralChanged(*last, jetSql));
  Impl::TextSlot& slot = found ? *last : impl_->texts[TextHash(jetSql) % kTextSlots];
  impl_->lastText = &slot;
  // A slot whose bytes statements out read keeps them: the text's values
  // are then bound as copies, from `spare`.
  Impl::TextSlot* from = &slot;
  if (!found && (!slot.entry || slot.text != jetSql)) {
    if (slot.out != 0) from = &impl_->spare;
    std::shared_ptr<StatementCacheEntry> entry;
    bool lastIsParameter = false;
    sql::LiteralScan& scan = impl_->scan;
    sql::ScanLiterals(jetSql, scan);
    const HashedShape shapeKey{scan.shape, TextHash(scan.shape)};
    auto it = impl_->jet.find(shapeKey);
    if (it != impl_->jet.end()) {
      Shape& shape = it->second;
      if (shape.valueLiterals.empty()) {
        entry = shape.entry;
      } else if (auto v = shape.byValues.find(ValuesKey(shape, scan)); v != shape.byValues.end()) {
        entry = v->second;
      }
      lastIsParameter = LastIsParameter(shape, scan);
    }
    if (!entry) {
      const bool parameters = scan.literals.size() <= kMaxParameters;
      std::vector<size_t>& positions = impl_->positions;
      positions.clear();
      if (parameters)
        for (const sql::Literal& lit : scan.literals) positions.push_back(lit.pos);
      std::vector<LiteralUse>& uses = impl_->uses;
      Translation translated = TranslateJetParameterized(jetSql, *impl_->catalog, positions, uses);
      if (translated.kind == StatementKind::kSchema) {
        // Not cached: it changes what the cache holds. Run applies it.
        entry = std::make_shared<StatementCacheEntry>();
        entry->translation = std::move(translated);
        entry->columnsKnown = true;
        entry->live = false;
        return Statement(shared_from_this(), nullptr, std::move(entry));
      }
      if (!parameters) uses.assign(scan.literals.size(), LiteralUse::kNone);
      impl_->MakeRoom();
      entry = impl_->NewEntry();
      // The entry keeps the text (Statement::Sql), the translation the rest.
      entry->sql = std::move(translated.sql);
      entry->hidden = translated.hiddenTrailingColumns;
      entry->numberOperands = translated.numberOperands | translated.added;
      entry->translation = std::move(translated);
      entry->parameters.reserve(uses.size());
      for (size_t i = 0; i < uses.size(); ++i)
        if (uses[i] != LiteralUse::kNone) entry->parameters.push_back(static_cast<uint16_t>(i));
      // The scan is the same after translating.
      auto& [shapeKept, shape] = FindOrInsert(impl_->jet, impl_->spareShape, shapeKey);
      shape.valueLiterals.clear();
      // Sized once (grown by push_back, a new shape's list was allocated twice).
      shape.valueLiterals.reserve(static_cast<size_t>(std::count_if(
          uses.begin(), uses.end(), [](LiteralUse u) { return u != LiteralUse::kParameter; })));
      for (size_t i = 0; i < uses.size(); ++i)
        if (uses[i] != LiteralUse::kParameter)
          shape.valueLiterals.push_back(static_cast<uint16_t>(i));
      Impl::CachedText noted{
          Impl::CachedText::In::kShape, shapeKept.text, shapeKept.hash, {}, entry.get()};
      if (shape.valueLiterals.empty()) {
        shape.entry = entry;
      } else {
        auto& [values, held] =
            FindOrInsert(shape.byValues, impl_->spareValues, ValuesKey(shape, scan));
        held = entry;
        noted.in = Impl::CachedText::In::kValues;
        noted.values = values;
      }
      impl_->NoteCached(noted);
      lastIsParameter = LastIsParameter(shape, scan);
    }
    // Emptied first: a failure on the way leaves no text beside another's
    // entry.
    Impl::TextSlot& into = *from;
    into.entry.reset();
    into.bound.clear();
    // Each resolved in its place (one resolved apart was moved in).
    for (uint16_t i : entry->parameters)
      ResolveLiteral(scan.literals[i], into.bound.emplace_back());
    into.text.clear();  // appended: an assignment went through the general replace
    into.text.append(jetSql);
    into.lastIsParameter = lastIsParameter && !entry->parameters.empty();
    if (!scan.literals.empty()) {
      const sql::Literal& lit = scan.literals.back();
      into.lastKind = lit.kind;
      into.lastPos = static_cast<uint32_t>(lit.pos);
      into.lastSize = static_cast<uint32_t>(lit.token.size());
    }
    into.values = into.last = ++impl_->stamps;
    into.entry = std::move(entry);
  }
  // A statement taken from the idle ones may hold this slot's values still.
  const sqlite3_stmt* idle = from->entry->idle.empty() ? nullptr : from->entry->idle.back().get();
  Statement st = FromEntry(from->entry);
  const bool kept = from == &slot;
  if (kept) {
    ++slot.out;
    st.boundFrom_ = &slot.out;
  } else {
    impl_->spare.entry.reset();  // the Statement holds it
  }
  // Parameter ?n stands for literal n - 1 of the text. A statement last
  // bound from this slot, its values unchanged since, is not bound again
  // (all of them, or all but the last literal).
  StatementCacheEntry& entry = *st.entry_;
  const std::vector<uint16_t>& parameters = entry.parameters;
  size_t first = 0;
  if (kept && st.stmt_ == idle && entry.boundStmt == idle && entry.rebound &&
      entry.boundValues == slot.values)
    first = entry.boundLast == slot.last ? from->bound.size() : from->bound.size() - 1;
  entry.boundStmt = nullptr;  // until all are bound
  for (size_t i = first; i < from->bound.size(); ++i)
    BindLiteral(st.stmt_, static_cast<int>(parameters[i]) + 1, from->bound[i], from->text, kept);
  if (kept) {
    entry.boundStmt = st.stmt_;
    entry.boundValues = slot.values;
    entry.boundLast = slot.last;
  }
  return st;
}

Statement Connection::PrepareNative(std::string_view sql) {
  auto it = impl_->native.find(sql);
  if (it == impl_->native.end()) {
    impl_->catalog->NativeText(sql);
    impl_->MakeRoom();
    auto entry = std::make_shared<StatementCacheEntry>();
    entry->sql = std::string(sql);
    it = impl_->native.emplace(std::string(sql), std::move(entry)).first;
    impl_->NoteCached({Impl::CachedText::In::kNative, it->first, 0, {}, it->second.get()});
  }
  return FromEntry(it->second);
}

Statement Connection::PrepareNative(std::string_view sql, NativeText& kept) {
  if (kept.owner_ != this || !kept.entry_ || !kept.entry_->live) {
    Statement st = PrepareNative(sql);
    kept.owner_ = this;
    kept.entry_ = st.entry_;
    return st;
  }
  return FromEntry(kept.entry_);
}

Statement Connection::FromEntry(std::shared_ptr<StatementCacheEntry> entry) {
  sqlite3_stmt* stmt;
  if (!entry->idle.empty()) {
    stmt = entry->idle.back().release();
    entry->idle.pop_back();
  } else {
    const bool persistent = entry->preparedBefore;
    stmt = sqlite::Prepare(impl_->db.get(), entry->sql, persistent).release();
    entry->preparedBefore = true;
    entry->rebound =
        entry->translation.has_value() &&
        sqlite3_bind_parameter_count(stmt) == static_cast<int>(entry->parameters.size());
    if (!persistent) entry->transient = stmt;
  }
  // The entry is read through its Statement's pointer: moved there, not
  // counted once more.
  Statement st(shared_from_this(), stmt, std::move(entry));
  if (!st.entry_->columnsKnown) {
    StatementCacheEntry* entry = st.entry_.get();
    int count = sqlite3_column_count(stmt) - entry->hidden;
    // Each column described in its place (one moved in moved its three
    // strings); a description cut short by an error is made again whole.
    entry->columns.clear();
    entry->columns.reserve(static_cast<size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i) {
      ColumnMeta& m = entry->columns.emplace_back();
      // A translation names and types its columns; SQLite's name is asked
      // only for the others.
      if (entry->translation && i < static_cast<int>(entry->translation->columns.size())) {
        const ResultColumn& rc = entry->translation->columns[static_cast<size_t>(i)];
        m.name = rc.name;
        m.type = rc.type;
        m.size = rc.size;
        // Its table and column on first use (Statement::Column).
        if (m.type != JetType::kNone) {
          entry->originsPending = true;
          continue;
        }
      } else {
        m.name = sqlite3_column_name(stmt, i);
      }
      // Appended to the new, empty strings: an assignment went through the general replace.
      if (const char* t = sqlite3_column_table_name(stmt, i)) m.table.append(t);
      if (const char* c = sqlite3_column_origin_name(stmt, i)) m.column.append(c);
      if (m.type == JetType::kNone && !m.table.empty()) {
        if (auto spec = impl_->catalog->FindTable(m.table))
          if (const FieldSpec* f = spec->FindField(m.column)) {
            m.type = f->type;
            m.size = f->size;
          }
      }
    }
    entry->columnsKnown = true;
  }
  return st;
}

void Connection::Return(sqlite3_stmt* stmt, StatementCacheEntry* entry,
                        uint32_t* boundFrom) noexcept {
  if (boundFrom) --*boundFrom;
  if (entry && entry->transient == stmt) {
    entry->transient = nullptr;
    sqlite3_finalize(stmt);
    return;
  }
  sqlite3_reset(stmt);
  if (!entry || !entry->rebound) sqlite3_clear_bindings(stmt);
  if (entry && entry->live && entry->idle.size() < kMaxIdlePerText) {
    try {
      entry->idle.emplace_back(stmt);
      return;
    } catch (...) {
    }
  }
  sqlite3_finalize(stmt);
}

int64_t Connection::Execute(std::string_view jetSql) {
  return Prepare(jetSql).Run();
}

int64_t Connection::ExecuteNative(std::string_view sql) {
  impl_->catalog->NativeText(sql);
  sqlite3* db = impl_->db.get();
  bool wrote = false;
  int64_t changes = 0;
  const char* p = sql.data();
  const char* end = sql.data() + sql.size();
  while (p < end) {
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(db, p, static_cast<int>(end - p), &raw, &tail);
    sqlite::StmtPtr stmt(raw);
    sqlite::Check(rc, db);
    p = tail;
    if (!stmt) continue;  // whitespace or a comment
    wrote = wrote || !sqlite3_stmt_readonly(stmt.get());
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
    }
    sqlite::Check(rc, db);
    changes = sqlite3_changes64(db);
  }
  if (wrote) CheckSchemaVersion();
  return changes;
}

void Connection::CheckSchemaVersion() {
  if (impl_->SchemaVersion() != impl_->lastSchemaVersion) SchemaChanged();
}

void Connection::BeginTrans(bool immediate) {
  if (depth_ == 0 && immediate && !options_.readOnly) {
    // No savepoint inside: COMMIT and ROLLBACK end this level.
    impl_->RunControl("BEGIN IMMEDIATE", kSourceWorkspace);
    explicitOuter_ = true;
  } else {
    impl_->RunControl("SAVEPOINT jet_tx" + std::to_string(depth_ + 1), kSourceWorkspace);
  }
  ++depth_;
}

bool Connection::HoldsWriteLock() const {
  return sqlite3_txn_state(impl_->db.get(), "main") == SQLITE_TXN_WRITE;
}

void Connection::CommitTrans() {
  if (depth_ == 0) ThrowJet(jeterr::kNoTransaction, {}, kSourceWorkspace);
  // The outermost level commits: the catalogue notes the file's state while
  // the transaction still holds it (Catalog::NoteCommitStart).
  if (depth_ == 1) impl_->catalog->NoteCommitStart();
  if (depth_ == 1 && explicitOuter_) {
    // When COMMIT fails (busy) the transaction stays open for a rollback.
    impl_->RunControl("COMMIT", kSourceWorkspace);
    explicitOuter_ = false;
  } else {
    impl_->RunControl("RELEASE jet_tx" + std::to_string(depth_), kSourceWorkspace);
  }
  if (depth_ == 1) impl_->catalog->NoteCommitEnd();
  --depth_;
}

void Connection::Rollback() {
  if (depth_ == 0) ThrowJet(jeterr::kNoTransaction, {}, kSourceWorkspace);
  // Rows read since may have been this transaction's writes. A level that
  // only read (no write lock held) undoes nothing.
  if (HoldsWriteLock() || sqlite3_get_autocommit(impl_->db.get())) ++rollbacks_;
  if (sqlite3_get_autocommit(impl_->db.get())) {
    // SQLite rolled the whole transaction back itself (a full disk, a file
    // too large, an I/O error): no savepoint is left to undo at any depth.
    if (depth_ == 1) explicitOuter_ = false;
    --depth_;
  } else if (depth_ == 1 && explicitOuter_) {
    explicitOuter_ = false;
    --depth_;
    sqlite::Exec(impl_->db.get(), "ROLLBACK", kSourceWorkspace);
  } else {
    std::string name = "jet_tx" + std::to_string(depth_);
    sqlite::Exec(impl_->db.get(), ("ROLLBACK TO " + name + "; RELEASE " + name).c_str(),
                 kSourceWorkspace);
    --depth_;
  }
  // A schema statement the transaction made is undone with it: what was
  // read of the schema since goes too.
  CheckSchemaVersion();
}

uint64_t NewConnectionSerial() {
  static std::atomic<uint64_t> serials{0};
  return ++serials;
}

uint64_t Connection::DataGeneration() {
  impl_->catalog->Refresh();
  // Each term only grows, so the sum moves whenever one of them does.
  return schemaGeneration_ + rollbacks_ + impl_->catalog->CommitsSeen();
}

int64_t Connection::Changes() const {
  return sqlite3_changes64(impl_->db.get());
}

int64_t Connection::LastInsertRowId() const {
  return sqlite3_last_insert_rowid(impl_->db.get());
}

void Connection::EndReadSnapshot() {
  if (depth_ > 0) return;
  sqlite3* db = impl_->db.get();
  for (sqlite3_stmt* s = sqlite3_next_stmt(db, nullptr); s; s = sqlite3_next_stmt(db, s))
    if (sqlite3_stmt_busy(s) && sqlite3_stmt_readonly(s)) sqlite3_reset(s);
}

void Connection::Interrupt() noexcept {
  if (impl_ && impl_->db) sqlite3_interrupt(impl_->db.get());
}

void Connection::SyncLog() {
  if (options_.readOnly) return;
  sqlite3_file* log = nullptr;
  sqlite::Check(sqlite3_file_control(impl_->db.get(), "main", SQLITE_FCNTL_JOURNAL_POINTER, &log),
                impl_->db.get());
  // No log file is open before the first write.
  if (log && log->pMethods) sqlite::Check(log->pMethods->xSync(log, SQLITE_SYNC_NORMAL), nullptr);
}

void BackupDatabase(const std::string& source, const std::string& target, int busyTimeoutMs) {
  CheckPath(source, true);
  CheckPath(target, false);
  std::error_code ec;
  if (fs::exists(target, ec)) ThrowJet(jeterr::kDatabaseExists, {target});
  auto open = [](const std::string& path, int flags) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    sqlite::DbPtr db(raw);
    if (rc != SQLITE_OK) sqlite::Throw(rc, db.get());
    return db;
  };
  // A file nobody can be writing (a read-only folder) is read as
  // immutable, as a read-only open reads it: without the -shm file that
  // such a folder cannot take.
  sqlite::DbPtr from = NoWriterPossible(source)
                           ? open(ImmutableUri(source), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI)
                           : open(source, SQLITE_OPEN_READONLY);
  sqlite3_busy_timeout(from.get(), busyTimeoutMs);
  sqlite::DbPtr to = open(target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  try {
    // The first read tells a database from any other file.
    const int rc =
        sqlite3_exec(from.get(), "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if ((rc & 0xff) == SQLITE_NOTADB) ThrowJet(jeterr::kBadDatabaseFormat, {source});
    sqlite::Check(rc, from.get());
    sqlite3_backup* backup = sqlite3_backup_init(to.get(), "main", from.get(), "main");
    if (!backup) sqlite::Throw(sqlite3_errcode(to.get()), to.get());
    // One step over every page: the copy reads one snapshot of the source.
    const int step = sqlite3_backup_step(backup, -1);
    const int finish = sqlite3_backup_finish(backup);
    if (step != SQLITE_DONE) sqlite::Throw(step, to.get());
    sqlite::Check(finish, to.get());
  } catch (...) {
    to.reset();
    fs::remove(target, ec);
    from.reset();
    ReleaseLog(source);
    throw;
  }
  from.reset();
  ReleaseLog(source);
}

}  // namespace qv::jet
