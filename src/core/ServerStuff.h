#pragma once
// ServerStuff ("Qv_DBProvider.ServerStuff"): the thread's data-access
// databases themselves, for callers that run their own statements. It
// keeps no state of its own.

#include <memory>

#include "platform/automation/Object.h"
#include "platform/dao/Database.h"

namespace qv {

class ServerStuff : public Object {
  QV_DECLARE_CLASS(ServerStuff)

 public:
  std::shared_ptr<dao::Database> GetUserDataBase();
  // Errors of the open when the classifier file is missing; ask the
  // presence first.
  std::shared_ptr<dao::Database> GetKladrDataBase();
  std::shared_ptr<dao::Database> GetOkatoDataBase();
  // Probed once per thread; never raise.
  bool IsKladrDataBasePresent();
  bool IsOkatoDataBasePresent();
};

}  // namespace qv
