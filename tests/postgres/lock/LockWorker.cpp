// One workstation of the lock tests, run as a process of its own:
//
//   qv_pg_lock_worker LOCATION hold
//     takes the database lock of LOCATION, writes "held" and waits for its
//     standard input to end (the test kills it while it holds the lock);
//   qv_pg_lock_worker LOCATION count N
//     N times: takes the lock and, under it, raises the Holders column of
//     the row Tally.ID = 1, reads it, records it in MaxHolders when higher,
//     reads Total and writes it back one higher (a read and a separate
//     write: without the lock, two workers would lose increments), lowers
//     Holders and frees the lock. Writes "overlaps K first T": K the times
//     Holders was above 1 when read, T the CLOCK_MONOTONIC millisecond at
//     which it first held the lock;
//   qv_pg_lock_worker LOCATION count-in-transaction N
//     the same, each time in one write-locked transaction of the engine
//     that takes the lock with its first request (LockWithTransaction; the
//     service's own session the first time, before the key is known).
//
// The lock waits QV_LOCK_TIMEOUT_MS (the service's default). Exit status 0
// when done, 1 with the error on standard error otherwise.

#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "platform/automation/Error.h"
#include "platform/automation/Variant.h"
#include "platform/jet/JetEngine.h"
#include "platform/os/LockService.h"

namespace {

int64_t MonotonicMs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return int64_t{t.tv_sec} * 1000 + t.tv_nsec / 1000000;
}

int Hold(qv::os::LockService& service) {
  auto held = service.Lock();
  std::cout << "held" << std::endl;
  char c;
  while (::read(0, &c, 1) > 0) {
  }
  return 0;
}

int Count(qv::os::LockService& service, const std::string& location, int times,
          bool inTransaction) {
  auto engine = qv::jet::OpenEngine(location);
  auto read = engine->Prepare("SELECT Holders, Total FROM Tally WHERE ID = 1");
  auto write = engine->Prepare("UPDATE Tally SET Total = 0 WHERE ID = 1");
  std::vector<qv::Variant> row(2);
  int overlaps = 0;
  int64_t first = 0;
  for (int i = 0; i < times; ++i) {
    std::shared_ptr<qv::os::HeldLock> held;
    if (inTransaction) {
      engine->BeginTrans(true, qv::jet::LockTaking::kWithFirstRequest);
      held = service.LockWithTransaction(
          [&](int64_t key, int32_t ms, const std::string& busy) {
            return engine->LockWithBegin(qv::os::kServerLockName, key, ms, busy);
          },
          [&] { engine->SendPending(); });
      if (!held) {
        engine->Rollback();
        held = service.Lock();
        engine->BeginTrans(true, qv::jet::LockTaking::kWithFirstRequest);
      }
    } else {
      held = service.Lock();
    }
    if (i == 0) first = MonotonicMs();
    engine->Execute("UPDATE Tally SET Holders = Holders + 1 WHERE ID = 1");
    engine->Execute("UPDATE Tally SET MaxHolders = Holders WHERE ID = 1 AND Holders > MaxHolders");
    read->Reset();
    if (!read->Step()) throw qv::Error(1, "the row Tally.ID = 1 is missing");
    read->Values(row);
    if (qv::CLng(row[0]) > 1) ++overlaps;
    write->Bind(1, qv::Variant(qv::CLng(row[1]) + 1));
    write->Run();
    engine->Execute("UPDATE Tally SET Holders = Holders - 1 WHERE ID = 1");
    if (inTransaction) engine->CommitTrans();
  }
  std::cout << "overlaps " << overlaps << " first " << first << std::endl;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    qv::os::LockService service;
    if (args.size() == 2 && args[1] == "hold") {
      service.Attach(args[0], 1);
      return Hold(service);
    }
    if (args.size() == 3 && (args[1] == "count" || args[1] == "count-in-transaction")) {
      service.Attach(args[0], 1);
      return Count(service, args[0], std::stoi(args[2]), args[1] != "count");
    }
    std::cerr << "usage: qv_pg_lock_worker LOCATION hold | LOCATION count[-in-transaction] N\n";
  } catch (const qv::Error& e) {
    std::cerr << "error " << e.Number() << ": " << e.Description() << '\n';
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
  }
  return 1;
}
