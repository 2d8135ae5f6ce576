#pragma once
// TempDataBase ("Qv_DBProvider.TempDataBase"): a private scratch database
// file for tables too large or too short-lived for the user database. The
// file lives in the big-files temporary folder (GetBigFilesTempPath, the
// system temporary folder when none is configured) as
// <prefix>-<tick count>.mdb, is opened exclusively in the engine's default
// workspace (outside the user database's transactions), and is removed with
// its lock and journal files by CloseDB, when the object is destroyed, and
// at the latest when the process ends normally.
//
// Tables are made with CreateTable (TempDBTable.h); each table keeps its
// database alive.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/automation/Object.h"

namespace qv::dao {
class Database;
}

namespace qv::tempdb {

class TempDBTable;

inline constexpr std::string_view kDefaultPrefix = "QvzTemp";
// Cyrillic sort order, code page 1251.
inline constexpr std::string_view kTempLocale = ";LANGID=0x0419;CP=1251;COUNTRY=0";

class TempDataBase : public Object {
  QV_DECLARE_CLASS(TempDataBase)

 public:
  TempDataBase() = default;
  // CloseDB, errors ignored.
  ~TempDataBase() override;

  // The open database; Nothing when none.
  std::shared_ptr<dao::Database> DaoDataBase() const { return db_; }
  // The file's full path; empty when none.
  std::string FileName() const { return fileName_; }

  // Closes the database and removes the file with its ".ldb" lock file and
  // the engine's journal files. Errors: 75 when a file stays (named).
  void CloseDB();
  // Creates and opens a new file named after `aNamePrefix` ("QvzTemp" when
  // empty) and the tick count. A name already taken by a database open in
  // this process, or by one another process holds open, moves on to the
  // next number; a file left behind by a process that ended is replaced.
  // A second call without CloseDB opens a new file and leaves the first to
  // the end of the process. Errors: 5 for a prefix holding a path
  // separator or a character of code 0 to 31, 76 when the folder cannot be
  // made; a failed creation leaves no file.
  void CreateMdb(const std::string& aNamePrefix);
  // A new table definition bound to this database, named `aName` with each
  // "@" replaced by the number of tables made so far (1 for the first), so
  // that "T@" gives "T1", "T2" ... Errors: 91 when no database is open.
  std::shared_ptr<TempDBTable> CreateTable(const std::string& aName);

 private:
  std::shared_ptr<dao::Database> db_;
  std::string fileName_;
  int32_t tableCounter_ = 0;
};

}  // namespace qv::tempdb
