#pragma once
// A session of its own on a PostgreSQL server that holds session-level
// advisory locks: what the lock service holds when its database is on a
// server. Such a lock lasts until it is unlocked or the session ends, so a
// client that dies (killed, its host gone) loses its locks as soon as the
// server ends its session. Every wait is bounded: the connect, the server's
// answer, and the wait for another session's lock (the server's
// lock_timeout, so a waiter is woken by the server when the lock is freed:
// no polling). libpq-fe.h stays out of this header.

#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct pg_conn;

namespace qv::jet {

// The key of the advisory lock named `name` of the schema `schema` in the
// database `database`: FNV-1a (64 bits, offset basis 0xcbf29ce484222325,
// prime 0x100000001b3) of the UTF-8 bytes database, 0x1F, schema, 0x1F,
// name, read as a signed 64-bit number. Every client computes the same key
// for the same names. The server's pg_locks shows it as an advisory lock
// with classid its high 32 bits, objid its low 32 bits and objsubid 1.
int64_t AdvisoryLockKey(std::string_view database, std::string_view schema, std::string_view name);

class PgLockSession {
  struct Private {};

 public:
  using Clock = std::chrono::steady_clock;

  // How long a server's answer is waited for: a connect's, and a lock's
  // beyond its wait for another session.
  static constexpr int kAnswerWaitMs = 5000;

  // Connects with a libpq connection string or URI (application name
  // "Qv_DBLock" unless it names one) and reads the session's database and
  // current schema. Null when that fails or does not end by `deadline`,
  // with the reason (libpq's message) in `why`.
  static std::unique_ptr<PgLockSession> Connect(const std::string& conninfo,
                                                Clock::time_point deadline, std::string* why);
  PgLockSession(Private, pg_conn* conn);
  // Ends the session, which frees its locks (the answers of the unlocks sent
  // are read first); in a process other than the one
  // that connected (a child made by fork()) it leaves the connection alone,
  // since closing it there would end the other process's session.
  ~PgLockSession();
  PgLockSession(const PgLockSession&) = delete;
  PgLockSession& operator=(const PgLockSession&) = delete;

  const std::string& Database() const { return database_; }
  // The session's current schema ("" when its search path names none).
  const std::string& Schema() const { return schema_; }
  int64_t Key(std::string_view name) const { return AdvisoryLockKey(database_, schema_, name); }

  enum class Outcome {
    kTaken,   // the session holds the lock (once more, when it held it already)
    kBusy,    // another session held it until the deadline
    kFailed,  // the server failed or did not answer; the session is Broken()
  };
  // Takes the lock of `key`, waiting until `deadline` while another session
  // holds it; a deadline already passed makes one try. `why` gets the
  // reason of a failure.
  Outcome Lock(int64_t key, Clock::time_point deadline, std::string* why);
  // Frees one hold of `key` without waiting for the server: the request is
  // sent (it has left when this returns) and its answer is read by the next
  // Lock, in that lock's round trip; an unlock that failed fails that lock
  // (the session is then Broken(), and its end frees the lock). False when
  // the request could not be sent: the session is then Broken(). Never
  // throws.
  bool Unlock(int64_t key) noexcept;

  // True after a failure that leaves the session unusable.
  bool Broken() const { return broken_; }
  // True in the process that connected.
  bool OwnedHere() const { return owner_ == ::getpid(); }

 private:
  pg_conn* conn_;
  pid_t owner_;
  std::string database_;
  std::string schema_;
  bool broken_ = false;
  // Unlocks sent whose answers have not been read yet.
  int unlocksSent_ = 0;
};

}  // namespace qv::jet
