#include "platform/jet/PgLockSession.h"

#include "platform/jet/PgConnection.h"

#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <initializer_list>

namespace qv::jet {

namespace {

using Clock = PgLockSession::Clock;

// The server's "lock not available": the wait for another session's lock
// ran out (lock_timeout).
constexpr std::string_view kLockNotAvailable = "55P03";

// Why a wait for the server ended at its deadline.
constexpr std::string_view kNoAnswer = "gave no answer in time";

struct ResultDeleter {
  void operator()(PGresult* r) const { PQclear(r); }
};
using ResultPtr = std::unique_ptr<PGresult, ResultDeleter>;

// libpq's message on one line, without its final line break.
std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  std::string line;
  for (const char c : text)
    if (c == '\n' || c == '\t') {
      if (!line.empty() && line.back() != ' ') line += ' ';
    } else {
      line += c;
    }
  return line;
}

// The whole milliseconds until `deadline`, rounded up; 0 once it has passed.
int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<int64_t>(left, 0, INT_MAX));
}

// Waits until the socket is ready for `events`; false when `deadline` came first.
bool AwaitSocket(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    const int ready = ::poll(&p, 1, MillisecondsLeft(deadline));
    if (ready > 0) return true;
    if (ready == 0) return false;
    if (errno != EINTR) return true;  // libpq reports the socket's error
  }
}

// Reads the server's answer until a result can be taken without blocking;
// false when `deadline` came first.
bool AwaitResult(PGconn* conn, Clock::time_point deadline) {
  while (PQisBusy(conn)) {
    if (!AwaitSocket(PQsocket(conn), POLLIN, deadline)) return false;
    if (!PQconsumeInput(conn)) return true;  // the error is PQgetResult's
  }
  return true;
}

std::string ErrorOf(PGconn* conn, const PGresult* r) {
  const char* message = r ? PQresultErrorMessage(r) : nullptr;
  return Trimmed(message && *message ? message : PQerrorMessage(conn));
}

// Runs one statement with text parameters and waits for its rows until
// `deadline`. Null on failure, with the reason in `why`.
ResultPtr Exchange(PGconn* conn, const char* sql, std::initializer_list<std::string> params,
                   Clock::time_point deadline, std::string* why) {
  const char* values[2] = {};
  int n = 0;
  for (const std::string& p : params) values[n++] = p.c_str();
  CountServerRoundTrip();
  if (!PQsendQueryParams(conn, sql, n, nullptr, values, nullptr, nullptr, 0)) {
    *why = ErrorOf(conn, nullptr);
    return nullptr;
  }
  ResultPtr result;
  for (;;) {
    if (!AwaitResult(conn, deadline)) {
      *why = kNoAnswer;
      return nullptr;
    }
    PGresult* r = PQgetResult(conn);
    if (!r) break;
    if (!result)
      result.reset(r);
    else
      PQclear(r);
  }
  if (!result || PQresultStatus(result.get()) != PGRES_TUPLES_OK) {
    *why = ErrorOf(conn, result.get());
    return nullptr;
  }
  return result;
}

void IgnoreNotice(void*, const char*) {}

}  // namespace

int64_t AdvisoryLockKey(std::string_view database, std::string_view schema, std::string_view name) {
  uint64_t hash = 0xcbf29ce484222325ULL;
  const auto mix = [&](std::string_view bytes) {
    for (const char c : bytes) {
      hash ^= static_cast<unsigned char>(c);
      hash *= 0x100000001b3ULL;
    }
  };
  mix(database);
  mix("\x1f");
  mix(schema);
  mix("\x1f");
  mix(name);
  return static_cast<int64_t>(hash);
}

std::unique_ptr<PgLockSession> PgLockSession::Connect(const std::string& conninfo,
                                                      Clock::time_point deadline,
                                                      std::string* why) {
  // The location is expanded as a connection string or URI; the
  // application name is the lock's unless the location names one.
  const char* const keys[] = {"dbname", "fallback_application_name", nullptr};
  const char* const values[] = {conninfo.c_str(), "Qv_DBLock", nullptr};
  PGconn* conn = PQconnectStartParams(keys, values, 1);
  if (!conn) {
    *why = "cannot be reached: out of memory";
    return nullptr;
  }
  PostgresPollingStatusType state =
      PQstatus(conn) == CONNECTION_BAD ? PGRES_POLLING_FAILED : PGRES_POLLING_WRITING;
  while (state == PGRES_POLLING_READING || state == PGRES_POLLING_WRITING) {
    if (!AwaitSocket(PQsocket(conn), state == PGRES_POLLING_READING ? POLLIN : POLLOUT, deadline)) {
      PQfinish(conn);
      *why = kNoAnswer;
      return nullptr;
    }
    state = PQconnectPoll(conn);
  }
  if (state != PGRES_POLLING_OK) {
    *why = "cannot be reached: " + ErrorOf(conn, nullptr);
    PQfinish(conn);
    return nullptr;
  }
  // An unlock of a lock the server had already freed warns; nothing to show.
  PQsetNoticeProcessor(conn, IgnoreNotice, nullptr);
  auto session = std::make_unique<PgLockSession>(Private{}, conn);
  ResultPtr names = Exchange(conn, "SELECT current_database(), coalesce(current_schema(), '')", {},
                             deadline, why);
  if (!names) {
    if (*why != kNoAnswer) *why = "refused the session: " + *why;
    return nullptr;
  }
  session->database_ = PQgetvalue(names.get(), 0, 0);
  session->schema_ = PQgetvalue(names.get(), 0, 1);
  return session;
}

PgLockSession::PgLockSession(Private, pg_conn* conn) : conn_(conn), owner_(::getpid()) {}

PgLockSession::~PgLockSession() {
  if (!OwnedHere()) return;
  // The answers of unlocks sent are waited for (within kAnswerWaitMs), so
  // that the lock is free for the others once this session is gone; the
  // session's end would free it too, a moment later.
  const auto answerBy = Clock::now() + std::chrono::milliseconds(kAnswerWaitMs);
  if (unlocksSent_ > 0 && !broken_) CountServerRoundTrip();
  for (int ends = broken_ ? 0 : unlocksSent_; ends > 0 && AwaitResult(conn_, answerBy);) {
    ResultPtr r(PQgetResult(conn_));
    if (!r) {
      if (PQstatus(conn_) == CONNECTION_BAD) break;
      continue;
    }
    if (PQresultStatus(r.get()) == PGRES_PIPELINE_SYNC) --ends;
  }
  PQfinish(conn_);
}

PgLockSession::Outcome PgLockSession::Lock(int64_t key, Clock::time_point deadline,
                                           std::string* why) {
  const std::string keyText = std::to_string(key);
  const int waitMs = MillisecondsLeft(deadline);
  const auto answerBy = std::max(deadline, Clock::now()) + std::chrono::milliseconds(kAnswerWaitMs);
  const auto fail = [&] {
    broken_ = true;
    return Outcome::kFailed;
  };
  // One round trip, a pipeline behind the unlocks sent before (their
  // answers come first). For one try, the try; otherwise the wait's bound,
  // set for this implicit transaction only (a lock_timeout of 0 would wait
  // for ever; a statement_timeout of the server's or the role's must not
  // cut the wait short), then the wait. A session-level lock outlives the
  // transaction. The server wakes the waiter when the holder frees the
  // lock or its session ends.
  const std::string waitText = std::to_string(waitMs);
  const char* const bound[] = {waitText.c_str()};
  const char* const lockKey[] = {keyText.c_str()};
  CountServerRoundTrip();
  const bool sent =
      PQenterPipelineMode(conn_) &&
      (waitMs == 0 ? PQsendQueryParams(conn_, "SELECT pg_try_advisory_lock($1::bigint)", 1, nullptr,
                                       lockKey, nullptr, nullptr, 0)
                   : PQsendQueryParams(conn_,
                                       "SELECT set_config('lock_timeout', $1, true), "
                                       "set_config('statement_timeout', '0', true)",
                                       1, nullptr, bound, nullptr, nullptr, 0) &&
                         PQsendQueryParams(conn_, "SELECT pg_advisory_lock($1::bigint)", 1, nullptr,
                                           lockKey, nullptr, nullptr, 0)) &&
      PQpipelineSync(conn_);
  if (!sent) {
    *why = ErrorOf(conn_, nullptr);
    return fail();
  }
  // The answers: each unlock's row and the end of its pipeline, then the
  // try's row, or the bound's row and the lock's (or its error, or
  // "aborted" after an error of the bound), then the end of the pipeline.
  // An unlock that failed fails the session, whose end frees its locks.
  int ends = unlocksSent_ + 1;
  unlocksSent_ = 0;
  Outcome outcome = Outcome::kTaken;
  int statement = 0;  // of the lock's pipeline
  for (int results = 0; results < 8 + 4 * ends; ++results) {
    if (!AwaitResult(conn_, answerBy)) {
      *why = kNoAnswer;
      return fail();
    }
    ResultPtr r(PQgetResult(conn_));
    if (!r) {
      if (PQstatus(conn_) == CONNECTION_BAD) break;
      continue;
    }
    const ExecStatusType status = PQresultStatus(r.get());
    if (status == PGRES_PIPELINE_SYNC) {
      if (--ends > 0) continue;
      PQexitPipelineMode(conn_);
      return outcome == Outcome::kFailed ? fail() : outcome;
    }
    if (ends > 1) {  // an unlock's answer
      if (status != PGRES_TUPLES_OK && outcome != Outcome::kFailed) {
        *why = ErrorOf(conn_, r.get());
        outcome = Outcome::kFailed;
      }
      continue;
    }
    ++statement;
    if (status == PGRES_PIPELINE_ABORTED) continue;
    if (status == PGRES_TUPLES_OK) {
      if (waitMs == 0 && outcome == Outcome::kTaken && *PQgetvalue(r.get(), 0, 0) != 't')
        outcome = Outcome::kBusy;
      continue;
    }
    const char* state = PQresultErrorField(r.get(), PG_DIAG_SQLSTATE);
    if (waitMs > 0 && statement == 2 && state && state == kLockNotAvailable &&
        outcome == Outcome::kTaken) {
      outcome = Outcome::kBusy;
      continue;
    }
    if (outcome != Outcome::kFailed) *why = ErrorOf(conn_, r.get());
    outcome = Outcome::kFailed;
  }
  if (why->empty()) *why = ErrorOf(conn_, nullptr);
  return fail();
}

bool PgLockSession::Unlock(int64_t key) noexcept {
  if (broken_ || !OwnedHere()) return false;
  // Sent, not waited for: its answer is read before the next lock's
  // (pipelines keep their order). The request has left when this returns
  // (the pipeline's sync flushes it); the server frees the lock as soon as
  // it reads it, and a waiter of another session is woken then.
  try {
    const std::string keyText = std::to_string(key);
    const char* const values[] = {keyText.c_str()};
    if (PQenterPipelineMode(conn_) &&
        PQsendQueryParams(conn_, "SELECT pg_advisory_unlock($1::bigint)", 1, nullptr, values,
                          nullptr, nullptr, 0) &&
        PQpipelineSync(conn_)) {
      ++unlocksSent_;
      return true;
    }
  } catch (...) {  // out of memory
  }
  broken_ = true;
  return false;
}

}  // namespace qv::jet
