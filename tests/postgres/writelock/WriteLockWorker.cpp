// One workstation of the write-lock tests, run as a process of its own. It
// opens LOCATION (a server database with the table Drawn (ID, Worker))
// through the thread's DBEngine:
//
//   qv_pg_writelock_worker LOCATION draw W N
//     N times: a row (ID, W) added with QvAddRecord, its ID from NextId
//     under a write-locked dao::Transaction. Writes "drew N".
//   qv_pg_writelock_worker LOCATION hold W
//     begins a write-locked transaction, adds its row inside it, writes
//     "held" and waits for its standard input to end (the test kills it
//     inside the scope).
//
// Exit status 0 when done, 1 with the error on standard error otherwise.

#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "core/mQvDaoDataBase.h"
#include "platform/automation/Error.h"
#include "platform/automation/Variant.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/Database.h"
#include "platform/dao/Transaction.h"

namespace {

using qv::mQvDaoDataBase::QvAddRecord;

// Adds a row numbered by NextId (QvAddRecord: a write-locked scope, joined
// when one is open, the key as the table's last + 1).
double AddRow(const qv::dao::DatabasePtr& db, int worker) {
  const qv::Variant pairs[] = {qv::Variant("Worker"), qv::Variant(worker)};
  return QvAddRecord("Drawn", "PrimaryKey", "ID", 0, pairs, db);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.size() >= 3 && (args[1] == "draw" || args[1] == "hold")) {
      const int worker = std::stoi(args[2]);
      auto db = qv::dao::DBEngine::ForThread()->OpenDatabase(args[0], qv::Variant(), qv::Variant(),
                                                             qv::Variant());
      if (args[1] == "hold") {
        qv::dao::Transaction tx(*db, qv::dao::kWriteLock);
        AddRow(db, worker);
        std::cout << "held" << std::endl;
        char c;
        while (::read(0, &c, 1) > 0) {
        }
        return 0;
      }
      const int times = args.size() == 4 ? std::stoi(args[3]) : 0;
      for (int i = 0; i < times; ++i) {
        qv::dao::Transaction tx(*db, qv::dao::kWriteLock);
        AddRow(db, worker);
        tx.Commit();
      }
      std::cout << "drew " << times << std::endl;
      return 0;
    }
    std::cerr << "usage: qv_pg_writelock_worker LOCATION draw W N | LOCATION hold W\n";
  } catch (const qv::Error& e) {
    std::cerr << "error " << e.Number() << ": " << e.Description() << '\n';
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
  }
  return 1;
}
