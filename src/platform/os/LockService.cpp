#include "platform/os/LockService.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>

#include "platform/jet/JetEngine.h"
#include "platform/jet/PgConnection.h"
#include "platform/jet/PgLockSession.h"
#include "platform/os/HostServices.h"

namespace qv::os {

namespace detail {
// Shared by a service and the locks it handed out, so that a lock outlives
// its service safely.
struct LockFileState {
  struct Hold {
    int fd = -1;
    int32_t count = 0;
    std::unique_ptr<jet::PgLockSession> session;  // on a server, instead of `fd`
    // A hold a database session's transaction takes (LockWithTransaction):
    // no session of ours; until a nested Lock, which calls it first, its
    // key may still wait for that transaction's first request.
    std::function<void()> sendBegin;
  };
  std::string lockPath;  // "" on a server
  // On a server: the location as given (for new sessions only: it may hold
  // a password) and as messages show it.
  bool server = false;
  std::string conninfo;
  std::string shownLocation;
  // The session of the last hold to end, kept for the next hold as the
  // file's description is (see below). A child made by fork() never uses
  // or closes its parent's session.
  std::unique_ptr<jet::PgLockSession> spareSession;
  // On a server: the key the service's sessions have taken (none before
  // the first hold).
  std::optional<int64_t> serverKey;
  mutable std::mutex mutex;  // guards `holds` and the spare; never held while waiting
  std::map<std::thread::id, Hold> holds;
  // The description of the last hold to end, unlocked and kept open for
  // the next, which then neither opens (a path look-up) nor closes the
  // file. Only the process that opened it uses it: a child made by fork()
  // shares the description, and two holders on one description would not
  // exclude each other, so a child closes its copy and opens its own.
  int spareFd = -1;
  pid_t sparePid = 0;
  // The head of the lock file, mapped shared once (see SharedHead): the
  // counts of log syncs (SyncCommitted) and the words a waiter for the
  // lock sleeps on. Null until then or when it cannot be mapped. A child
  // made by fork() shares the mapping, as it should: the words are the
  // file's, not a process's.
  uint64_t* syncCounts = nullptr;
  bool syncMapTried = false;
  ~LockFileState() {
    if (spareFd >= 0) ::close(spareFd);
    if (syncCounts) ::munmap(syncCounts, kSyncBytes);
  }
  static constexpr size_t kSyncBytes = 64;
  // The spare description for this process, or -1; the caller owns it.
  // REQUIRES: `mutex` held.
  int TakeSpare() {
    const int fd = spareFd;
    spareFd = -1;
    if (fd >= 0 && sparePid != ::getpid()) {
      ::close(fd);  // the parent's description: closing a copy unlocks nothing
      return -1;
    }
    return fd;
  }
  // Keeps the unlocked `fd` as the spare, or closes it when there is one.
  // REQUIRES: `mutex` held.
  void KeepSpare(int fd) {
    if (spareFd >= 0) {
      ::close(fd);
      return;
    }
    spareFd = fd;
    sparePid = ::getpid();
  }
};
}  // namespace detail

namespace {

[[noreturn]] void ThrowCouldNotLock(const std::string& path, const std::string& why) {
  throw Error(kCouldNotLockFile, "Could not lock file. '" + path + "' " + why,
              std::string(kLockServiceProgId));
}

// `text` ends with a full stop unless it ends a sentence already.
[[noreturn]] void ThrowCouldNotLockOnServer(std::string text) {
  if (!text.empty() && text.back() != '.' && text.back() != '?') text += '.';
  throw Error(kCouldNotLockFile, "Could not lock file. " + text, std::string(kLockServiceProgId));
}

// "30", "0.05", "1.5": milliseconds as seconds without trailing zeros.
std::string SecondsText(int32_t ms) {
  std::string text = std::to_string(ms / 1000);
  if (ms % 1000 != 0) {
    std::string frac = std::to_string(1000 + ms % 1000).substr(1);
    while (frac.back() == '0') frac.pop_back();
    text += "." + frac;
  }
  return text;
}

int32_t TimeoutFromEnvironment() {
  const char* env = std::getenv("QV_LOCK_TIMEOUT_MS");
  if (!env || !*env) return kDefaultLockTimeoutMs;
  int32_t ms = 0;
  const char* end = env + std::strlen(env);
  const auto [ptr, ec] = std::from_chars(env, end, ms);
  return ec == std::errc() && ptr == end && ms >= 0 ? ms : kDefaultLockTimeoutMs;
}

// The lock file's head, mapped shared by every holder: [0] the count of log
// syncs begun, [1] the highest sync number ended, [2] (low 32 bits) a word
// waiters for a sync sleep on; [3] (low 32 bits) the count of the lock's
// releases, which waiters for the lock sleep on, and [4] (low 32 bits)
// how many of them there are. Null when the file cannot be opened, grown
// or mapped.
uint64_t* MapSyncCounts(const std::string& path, size_t bytes) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  struct stat st {};
  // Grown, never cut: several processes may grow it at once to the same size.
  if (::fstat(fd, &st) != 0 ||
      (st.st_size < static_cast<off_t>(bytes) && ::ftruncate(fd, static_cast<off_t>(bytes)) != 0)) {
    ::close(fd);
    return nullptr;
  }
  void* at = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  ::close(fd);
  return at == MAP_FAILED ? nullptr : static_cast<uint64_t*>(at);
}

// The head of `state`'s lock file, mapped on the first call (null on a
// server or when it cannot be mapped).
uint64_t* SharedHead(detail::LockFileState& state) {
  std::lock_guard guard(state.mutex);
  if (!state.syncMapTried && !state.server) {
    state.syncMapTried = true;
    state.syncCounts = MapSyncCounts(state.lockPath, detail::LockFileState::kSyncBytes);
  }
  return state.syncCounts;
}

uint32_t* ReleaseWord(uint64_t* head) {
  return reinterpret_cast<uint32_t*>(&head[3]);
}

uint32_t* LockWaitersWord(uint64_t* head) {
  return reinterpret_cast<uint32_t*>(&head[4]);
}

void FutexWait(uint32_t* word, uint32_t seen, int64_t ms) {
  timespec t{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000};
  ::syscall(SYS_futex, word, FUTEX_WAIT, seen, &t, nullptr, 0);
}

void FutexWakeAll(uint32_t* word) {
  ::syscall(SYS_futex, word, FUTEX_WAKE, INT32_MAX, nullptr, nullptr, 0);
}

// The longest a waiter for the lock sleeps before it tries again, woken or
// not: a holder that dies frees its flock without waking anyone.
constexpr int64_t kLockRetryMs = 20;

// After the lock file's flock is freed: wakes the waiters for the lock, if
// there are any.
void WakeLockWaiters(uint64_t* head) {
  if (!head || std::atomic_ref<uint32_t>(*LockWaitersWord(head)).load() == 0) return;
  std::atomic_ref<uint32_t>(*ReleaseWord(head)).fetch_add(1);
  FutexWakeAll(ReleaseWord(head));
}

// Takes flock on the lock file within `timeoutMs`, through `fd` when it is
// an open description of the file (else the file is opened); the open
// descriptor holding the lock. `fd` is closed when this raises. With the
// file's `head` mapped, a waiter sleeps until a holder frees the lock
// (WakeLockWaiters), at most kLockRetryMs at a time; without it, it
// sleeps 1 ms, then twice as long each time up to kLockRetryMs.
int AcquireLockFile(const std::string& path, int32_t timeoutMs, int fd, uint64_t* head) {
  if (fd < 0) fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) ThrowCouldNotLock(path, std::string("cannot be opened: ") + std::strerror(errno));
  const int64_t deadline = MonotonicMilliseconds() + timeoutMs;
  int64_t pauseMs = 1;
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    if (err == EINTR) continue;
    if (err != EWOULDBLOCK) {
      ::close(fd);
      ThrowCouldNotLock(path, std::string("cannot be locked: ") + std::strerror(err));
    }
    const int64_t left = deadline - MonotonicMilliseconds();
    if (left <= 0) {
      ::close(fd);
      ThrowCouldNotLock(
          path, "is locked by another process or thread; waited " + SecondsText(timeoutMs) + " s.");
    }
    if (!head) {
      std::this_thread::sleep_for(std::chrono::milliseconds(std::min(pauseMs, left)));
      pauseMs = std::min(pauseMs * 2, kLockRetryMs);
      continue;
    }
    // Counted as a waiter before the next try, so that a holder freeing
    // the lock after that try fails changes the word and wakes this one.
    std::atomic_ref<uint32_t> released(*ReleaseWord(head)), waiters(*LockWaitersWord(head));
    const uint32_t seen = released.load();
    waiters.fetch_add(1);
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      waiters.fetch_sub(1);
      break;
    }
    FutexWait(ReleaseWord(head), seen, std::min(left, kLockRetryMs));
    waiters.fetch_sub(1);
  }
  return fd;
}

// Takes the server lock of `state` within `timeoutMs` (0: one try) on
// `session` (the spare, or null) or on a new session, and returns the
// session that holds it. A spare session that fails (the server ended it,
// or restarted) is replaced by a new one once. A healthy session that
// waited in vain goes back as the spare.
std::unique_ptr<jet::PgLockSession> AcquireServerLock(detail::LockFileState& state,
                                                      int32_t timeoutMs,
                                                      std::unique_ptr<jet::PgLockSession> session) {
  using Clock = jet::PgLockSession::Clock;
  const Clock::time_point start = Clock::now();
  const Clock::time_point deadline = start + std::chrono::milliseconds(timeoutMs);
  // A connect may take its time even for one try.
  const Clock::time_point connectBy =
      std::max(deadline, start + std::chrono::milliseconds(jet::PgLockSession::kAnswerWaitMs));
  const std::string& shown = state.shownLocation;
  std::string why;
  for (bool reused = session != nullptr;; reused = false) {
    if (!session) {
      session = jet::PgLockSession::Connect(state.conninfo, connectBy, &why);
      if (!session) ThrowCouldNotLockOnServer("The server at '" + shown + "' " + why);
    }
    switch (session->Lock(session->Key(kServerLockName), deadline, &why)) {
      case jet::PgLockSession::Outcome::kTaken:
        return session;
      case jet::PgLockSession::Outcome::kBusy: {
        std::lock_guard guard(state.mutex);
        if (!state.spareSession) state.spareSession = std::move(session);
        ThrowCouldNotLockOnServer("The lock of the database at '" + shown +
                                  "' is held by another workstation, process or thread; waited " +
                                  SecondsText(timeoutMs) + " s.");
      }
      case jet::PgLockSession::Outcome::kFailed:
        session.reset();
        if (reused) {
          why.clear();
          continue;
        }
        ThrowCouldNotLockOnServer("The server at '" + shown + "' could not take the lock: " + why);
    }
  }
}

}  // namespace

HeldLock::HeldLock(std::shared_ptr<detail::LockFileState> state, std::thread::id holder)
    : state_(std::move(state)), holder_(holder) {}

HeldLock::~HeldLock() {
  std::unique_ptr<jet::PgLockSession> session;
  {
    std::unique_lock guard(state_->mutex);
    const auto it = state_->holds.find(holder_);
    if (it == state_->holds.end() || --it->second.count > 0) return;
    if (!state_->server) {
      // Unlock explicitly: a forked child may share the description, and
      // closing alone would leave the lock held through the child's copy.
      ::flock(it->second.fd, LOCK_UN);
      state_->KeepSpare(it->second.fd);
      state_->holds.erase(it);
      uint64_t* head = state_->syncCounts;  // mapped by Lock, which this hold came from
      guard.unlock();
      WakeLockWaiters(head);
      return;
    }
    session = std::move(it->second.session);
    state_->holds.erase(it);
  }
  // The unlock is sent outside the mutex, and not waited for: its answer
  // comes with the session's next lock. A session whose unlock cannot be
  // sent is ended, which frees the lock on the server; in a child made by
  // fork() the parent's session is left alone (Unlock refuses there).
  if (session && session->Unlock(session->Key(kServerLockName))) {
    std::lock_guard guard(state_->mutex);
    if (!state_->spareSession) state_->spareSession = std::move(session);
  }
}

std::string HeldLock::LockFilePath() const {
  return state_->lockPath;
}

LockService::LockService() : timeoutMs_(TimeoutFromEnvironment()) {}

void LockService::Attach(const std::string& aPath, int32_t aMode) {
  if (aPath.empty()) ThrowVb(vberr::kInvalidProcedureCall, "LockService.Attach needs a path");
  if (aMode != 1)
    ThrowVb(vberr::kInvalidProcedureCall,
            "LockService.Attach supports mode 1 (exclusive) only, not " + std::to_string(aMode));
  if (state_) {
    std::lock_guard guard(state_->mutex);
    if (!state_->holds.empty())
      ThrowVb(vberr::kInvalidProcedureCall,
              "LockService.Attach while a lock on '" +
                  (state_->server ? state_->shownLocation : state_->lockPath) + "' is held");
  }
  auto state = std::make_shared<detail::LockFileState>();
  if (jet::IsServerLocation(aPath)) {
    state->server = true;
    state->conninfo = aPath;
    state->shownLocation = jet::ShownLocation(aPath);
  } else {
    state->lockPath = aPath + ".lock";
  }
  state_ = std::move(state);
}

std::shared_ptr<HeldLock> LockService::Lock() {
  if (!state_) ThrowVb(vberr::kInvalidProcedureCall, "LockService.Lock before Attach");
  const std::thread::id self = std::this_thread::get_id();
  int spare = -1;
  std::unique_ptr<jet::PgLockSession> spareSession;
  std::function<void()> sendBegin;
  {
    std::lock_guard guard(state_->mutex);
    const auto it = state_->holds.find(self);
    if (it != state_->holds.end() && !it->second.sendBegin) {
      ++it->second.count;
      return std::make_shared<HeldLock>(state_, self);
    }
    if (it != state_->holds.end())
      sendBegin = it->second.sendBegin;
    else if (state_->server)
      spareSession = std::move(state_->spareSession);
    else
      spare = state_->TakeSpare();
  }
  if (sendBegin) {
    // Nested in a transaction's hold: its key taken first, as this hold's
    // holder may work outside that transaction.
    sendBegin();
    std::lock_guard guard(state_->mutex);
    detail::LockFileState::Hold& hold = state_->holds.at(self);
    hold.sendBegin = nullptr;
    ++hold.count;
    return std::make_shared<HeldLock>(state_, self);
  }
  if (state_->server) return LockOnServer(std::move(spareSession));
  const int fd = AcquireLockFile(state_->lockPath, timeoutMs_, spare, SharedHead(*state_));
  try {
    {
      std::lock_guard guard(state_->mutex);
      state_->holds[self] = {fd, 1, nullptr, {}};
    }
    return std::make_shared<HeldLock>(state_, self);
  } catch (...) {  // out of memory: give the file back before raising
    std::lock_guard guard(state_->mutex);
    state_->holds.erase(self);
    ::close(fd);
    throw;
  }
}

std::shared_ptr<HeldLock> LockService::LockOnServer(
    std::unique_ptr<jet::PgLockSession> spareSession) {
  const std::thread::id self = std::this_thread::get_id();
  if (spareSession && !spareSession->OwnedHere()) spareSession.reset();  // the parent's: left alone
  std::unique_ptr<jet::PgLockSession> session =
      AcquireServerLock(*state_, timeoutMs_, std::move(spareSession));
  // Out of memory below ends the session, which frees the lock.
  std::lock_guard guard(state_->mutex);
  auto& hold = state_->holds[self];
  hold.count = 1;
  state_->serverKey = session->Key(kServerLockName);
  hold.session = std::move(session);
  try {
    return std::make_shared<HeldLock>(state_, self);
  } catch (...) {
    state_->holds.erase(self);
    throw;
  }
}

std::shared_ptr<HeldLock> LockService::LockWithTransaction(
    const std::function<bool(int64_t, int32_t, const std::string&)>& takeWithBegin,
    std::function<void()> sendBegin) {
  if (!state_ || !state_->server || timeoutMs_ <= 0) return nullptr;
  const std::thread::id self = std::this_thread::get_id();
  int64_t key = 0;
  {
    std::lock_guard guard(state_->mutex);
    if (state_->holds.contains(self) || !state_->serverKey) return nullptr;
    key = *state_->serverKey;
  }
  if (!takeWithBegin(key, timeoutMs_,
                     "Could not lock file. The lock of the database at '" + state_->shownLocation +
                         "' is held by another workstation, process or thread; waited " +
                         SecondsText(timeoutMs_) + " s."))
    return nullptr;
  std::lock_guard guard(state_->mutex);
  detail::LockFileState::Hold& hold = state_->holds[self];
  hold.count = 1;
  hold.sendBegin = std::move(sendBegin);
  try {
    return std::make_shared<HeldLock>(state_, self);
  } catch (...) {
    state_->holds.erase(self);
    throw;
  }
}

void LockService::SyncCommitted(const std::function<void()>& sync, int64_t waitMs) {
  if (state_ && state_->server) return;  // the server makes its own commits durable
  uint64_t* counts = state_ ? SharedHead(*state_) : nullptr;
  if (!counts) return sync();
  std::atomic_ref<uint64_t> begun(counts[0]), ended(counts[1]);
  auto* wakeWord = reinterpret_cast<uint32_t*>(&counts[2]);
  std::atomic_ref<uint32_t> wake(*wakeWord);
  // Every sync numbered up to `upTo` has ended (the count only grows).
  const auto Publish = [&](uint64_t upTo) {
    for (uint64_t e = ended.load(); e < upTo && !ended.compare_exchange_weak(e, upTo);) {
    }
    wake.fetch_add(1);
    FutexWakeAll(wakeWord);
  };
  // The caller's commit is in the log before this read: any sync numbered
  // above `mine` began after it, and holds it. One sync runs at a time, so
  // the commits that end while it runs are all held by the next one.
  const uint64_t mine = begun.load();
  const int64_t deadline = MonotonicMilliseconds() + waitMs;
  for (;;) {
    const uint32_t before = wake.load();
    if (ended.load() > mine) return;
    uint64_t seen = begun.load();
    // Begin the next sync when none is under way (every one begun has ended).
    if (seen == mine && ended.load() == mine && begun.compare_exchange_strong(seen, mine + 1)) {
      sync();  // an error leaves `ended` alone: the waiters sync on their own
      return Publish(mine + 1);
    }
    // A sync is under way: the one that holds this commit, or the one
    // before it. Wait for it to end; one that does not end in time (its
    // process died, or the disk is that slow) is not waited for: this
    // process syncs, which holds every sync number begun before it starts.
    const int64_t left = deadline - MonotonicMilliseconds();
    if (left <= 0) {
      const uint64_t upTo = begun.load();
      sync();
      return Publish(upTo);
    }
    FutexWait(wakeWord, before, std::min<int64_t>(left, 20));
  }
}

void LockService::SetTimeoutMs(int32_t ms) {
  if (ms < 0) ThrowVb(vberr::kInvalidProcedureCall, "a lock timeout cannot be negative");
  timeoutMs_ = ms;
}

std::string LockService::LockFilePath() const {
  return state_ ? state_->lockPath : "";
}

int32_t LockService::HoldCount() const {
  if (!state_) return 0;
  std::lock_guard guard(state_->mutex);
  const auto it = state_->holds.find(std::this_thread::get_id());
  return it == state_->holds.end() ? 0 : it->second.count;
}

QV_DEFINE_CLASS(HeldLock, "Qv_DBLock.HeldLock", nullptr,
                Method("LockFilePath", &HeldLock::LockFilePath))

QV_DEFINE_CLASS(LockService, "Qv_DBLock.LockService", QV_CREATABLE(LockService),
                Method("Attach(aPath, aMode)", &LockService::Attach),
                Method("Lock", &LockService::Lock),
                Property("TimeoutMs", &LockService::TimeoutMs, &LockService::SetTimeoutMs),
                Method("LockFilePath", &LockService::LockFilePath),
                Method("HoldCount", &LockService::HoldCount))

}  // namespace qv::os
