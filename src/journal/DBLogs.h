#pragma once
// DBLogs ("Qv_DBProvider.DBLogs"): the audit log of user actions. An entry
// (a VarData row, keyed by a GUID) says who did what from which workstation
// to which objects; its detail lines (VarData2 rows) belong to it by
// VarDataID and are numbered from 1 within it.
//
// Writes. An entry and its detail lines are written under one keeper of the
// lock manager (action 2: a transaction when locking is on) and inside one
// transaction scope, so they are committed together whether locking is on
// or off. In development mode (registry) a failing insert raises with its
// statement. Otherwise logging never makes the caller's operation fail: a
// failing insert is skipped and the others of the entry are still written
// (a failure to lock or commit skips the whole entry), and each skipped
// statement is counted in the Counters row of
// kSkippedWritesCounter (year 0) once the entry's transaction is over, so
// that `qvdb check` can show an administrator that entries were lost. The
// count itself is written on a best-effort basis: when the database refuses
// every write, it cannot be kept either.
//
// Date ranges (GetEvents, GetEventsIDs, RemoveEventsInRange): either bound
// may be empty; the bounds are days, so an end day is its midnight and
// entries later on that day lie outside the range. The reads take a bound
// that is no date as empty; the purge refuses it (error 13).

#include <cstdint>
#include <memory>
#include <string>

#include "platform/ado/Recordset.h"
#include "platform/automation/Object.h"

namespace qv::dao {
class Database;
}

namespace qv::journal {

// The counter type of skipped log writes: below every counter type of the
// application, which are positive.
inline constexpr int32_t kSkippedWritesCounter = -8001;

class DBLogs : public Object {
  QV_DECLARE_CLASS(DBLogs)

 public:
  // True exactly when a rights system is in force (DBPermissions'
  // GetPermissionsSystem is not 0); VarParams is not read.
  bool IsLoggingEnabled();
  // Stores LActive (1 or 0) in the one VarParams row, inserting it when the
  // table is empty.
  void SetIsLoggingEnabled(bool aValue);
  // Writes an entry for the user at the library's clock. Up to four object
  // identifiers and names are taken from the arrays (their first elements,
  // whatever their lower bounds); an identifier 0 is stored as Null. Texts
  // are cut to 255 characters. Error 13 when an array holds something that
  // is not a number (identifiers) or a text (names).
  void LogEvent(double aUserID, const std::string& aHostInfo, int32_t aEventType,
                const std::string& aEventName, Variant& aObjectsIDs, Variant& aObjectsNames);
  // Entries in the range, oldest first, one row per detail line (an entry
  // without lines gives one row with Null detail columns); ID2 is the
  // entry's GUID in braces.
  ado::RecordsetPtr GetEvents(const Variant& aDateBeg, const Variant& aDateEnd);
  // ID2 and EventTime of the entries in the range, newest first when
  // aLatestFirst.
  ado::RecordsetPtr GetEventsIDs(const Variant& aDateBeg, const Variant& aDateEnd,
                                 bool aLatestFirst);
  // The entry's detail lines by InfoOrder; aID with or without braces.
  // Error 5 when aID is not a GUID.
  ado::RecordsetPtr GetEventSubItems(const std::string& aID);
  // The entry as a Qv_Records.QvLogEvent record with its lines in Lines
  // (left as it is when there are none); Nothing for an unknown entry.
  // Error 5 when aID is not a GUID.
  Variant GetEventRecord(const std::string& aID);
  // Writes the entry the record holds and its Lines. The record gets the
  // new GUID as its ID, the user's login, the time, and its lines numbered
  // 1, 2, 3 ... in collection order. Returns the GUID (no braces).
  std::string LogEventByRecord(const Variant& aRec);
  // Deletes the entries in the range (both bounds empty: every entry) and
  // returns how many; their detail lines stay. A bound that is neither
  // empty nor a date (a number, a text that is no date) is error 13 and
  // nothing is deleted. A failure raises in every mode.
  int32_t RemoveEventsInRange(const Variant& aDateBeg, const Variant& aDateEnd);

  // ---- library-internal
  // The number of log writes skipped so far in the database `db`.
  static int32_t SkippedWrites(const std::shared_ptr<dao::Database>& db);
};

}  // namespace qv::journal
