#pragma once
// Stand-ins for the courier library's mappers of the exchange objects a
// document refers to: "Qv_CourDB.DBCourDocCircle" (the exchange circle with
// the operator) and "Qv_CourDB.DBCourBlob" (the blob holding a document's
// file). The records they fill ("Qv_Records.QvCourDocCircle",
// "Qv_Records.QvCourBlob") are used late-bound, through the record
// protocol only (ID, RState, IsBlank, IsReadOnlyRecord, BeginLoad/EndLoad,
// MarkNotFound, Clear, AssignNewID, AfterInsert/AfterUpdate/AfterDelete).
//
// Where they keep their rows:
//   exchange circles  in memory, per thread (the user database has no
//                     table for them); identifiers from 1 up
//   blobs             rows of the user database's CourBlobs table (ID and
//                     an empty content), on the database the host library
//                     hands over with SetCourierDatabaseProvider, so that
//                     they take part in the host's transaction
//
// ReadRecord, SaveRecord, DeleteRecord and IsRecordExists follow the
// pattern of record mappers: identifier 0 clears, a missing row marks the
// record not found; nothing is saved for states 0, 1 and 4, read-only
// records, or a new record with nothing in it; a save of an identifier
// without a row writes nothing; AfterDelete follows a delete in any case.

#include <functional>
#include <memory>

#include "platform/automation/Object.h"

namespace qv::dao {
class Database;
}

namespace qv::courier {

using DatabaseProvider = std::function<std::shared_ptr<dao::Database>()>;
// Replaces the provider of the database holding CourBlobs (process-wide)
// and returns the previous one. Without one, blob operations fail with 91.
DatabaseProvider SetCourierDatabaseProvider(DatabaseProvider provider);

// The protocol shared by both stand-ins over where their rows live.
class CourierMapper : public Object {
 public:
  void ReadRecord(double aID, const Variant& aRecord);
  void SaveRecord(const Variant& aRecord, bool aRecursive);
  void DeleteRecord(const Variant& aRecord);
  bool IsRecordExists(double aID);

 protected:
  virtual bool Exists(double id) = 0;
  // Stores a new row; its identifier.
  virtual double Insert() = 0;
  virtual void Remove(double id) = 0;
};

class DBCourDocCircle : public CourierMapper {
  QV_DECLARE_CLASS(DBCourDocCircle)

 protected:
  bool Exists(double id) override;
  double Insert() override;
  void Remove(double id) override;
};

class DBCourBlob : public CourierMapper {
  QV_DECLARE_CLASS(DBCourBlob)

 protected:
  bool Exists(double id) override;
  double Insert() override;
  void Remove(double id) override;
};

}  // namespace qv::courier
