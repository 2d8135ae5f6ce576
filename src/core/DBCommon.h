#pragma once
// DBCommon ("Qv_DBProvider.DBCommon"): the caller's door to the database
// session: a fresh ADO connection, flushing and closing, versions, numbered
// counters and database locking. It keeps no state of its own.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/ado/Connection.h"
#include "platform/automation/Object.h"

namespace qv {

class DBLockManager;

class DBCommon : public Object {
  QV_DECLARE_CLASS(DBCommon)

 public:
  // A new open connection to the user database; the caller owns and closes
  // it. Errors: 3706 provider, the engine's errors for the file.
  std::shared_ptr<ado::Connection> GetDBConnection();
  void FlushObstacleData();
  void CloseDatabase();
  // "Major.Minor.Build" of the one DBVersion row.
  std::string GetDBVerion();
  // The data-access engine's version ("3.6").
  std::string GetDaoVersion();
  // The stored value of the counter of `aType` and `aYear` (0 for counters
  // without a year); 0 when there is none.
  int32_t GetCurrCounter(int32_t aType, int32_t aYear);
  // Increments the counter (creating it at 1) and returns the new value.
  // The read and the write run in one write-locked transaction, so
  // concurrent callers in any process never get the same value; the
  // engine's locks are freed afterwards so others see it at once. Error 6
  // past the Long range.
  int32_t GetNextCounter(int32_t aType, int32_t aYear);
  std::shared_ptr<DBLockManager> GetUserDBLockManager();
  bool IsDataBaseLockingEnabled();
  // The file format version of the user database ("4.0").
  std::string GetFormatDBVerion();
};

}  // namespace qv
