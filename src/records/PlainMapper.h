#pragma once
// The public side of a record mapper: the four operations of the pattern on
// the thread's user database, each through the error guard with the
// mapper's class name. A mapper is a class deriving from PlainMapper<Self>
// that declares its class and gives its MapperDef:
//
//   class DBConsStream : public PlainMapper<DBConsStream> {
//     QV_DECLARE_CLASS(DBConsStream)
//    public:
//     static const MapperDef& Def();
//   };
//
// and binds the operations by name in its .cpp with QV_MAPPER_MEMBERS.

#include <memory>
#include <vector>

#include "core/mErrorHandling.h"
#include "platform/automation/Object.h"
#include "platform/dao/Transaction.h"
#include "records/MapperEngine.h"
#include "records/MapperSession.h"
#include "siblings/records/QvRecord.h"

namespace qv::records {

// A mapper class: its class information (the ProgID) and its definition.
struct RegisteredMapper {
  const ClassInfo& (*classInfo)();
  const MapperDef& (*def)();
};
// Every PlainMapper class of the library, each listed once at load time.
inline std::vector<RegisteredMapper>& RegisteredMappers() {
  static std::vector<RegisteredMapper> list;
  return list;
}

template <class Self>
class PlainMapper : public Object {
 public:
  // Fills aRecord from the row aID (Clear for 0, MarkNotFound when no row).
  void ReadRecord(double aID, const Variant& aRecord) {
    (void)listed_;  // every mapper class binds ReadRecord, so each is listed
    Guard(Self::kModule, __func__, [&] {
      auto rec = RecordArg(Self::Def(), aRecord);
      // Identifier 0 resets the record without asking for the database.
      if (aID == 0) {
        rec->Clear();
        return;
      }
      auto db = MapperUserDatabase();
      const MapperDef& def = Self::Def();
      // One seek needs no transaction of its own: its statement is one.
      if (def.detail == nullptr && def.hooks.afterRead == nullptr &&
          def.hooks.readMore == nullptr && def.valueLists.empty()) {
        ReadRow(*db, def, aID, *rec);
        return;
      }
      dao::Transaction tx(*db, dao::kRead);
      ReadRow(*db, def, aID, *rec);
      tx.Commit();
    });
  }
  // The lazy columns (for mappers whose records have them; bound by
  // QV_LAZY_MAPPER_MEMBERS).
  void ReadLazyFields(const Variant& aRecord) {
    Guard(Self::kModule, __func__, [&] {
      auto rec = RecordArg(Self::Def(), aRecord);
      auto db = MapperUserDatabase();
      dao::Transaction tx(*db, dao::kRead);
      ReadLazyRow(*db, Self::Def(), *rec);
      tx.Commit();
    });
  }
  // Writes aRecord to its row, inserting it when it is new.
  void SaveRecord(const Variant& aRecord, bool aRecursive) {
    Guard(Self::kModule, __func__, [&] {
      auto rec = RecordArg(Self::Def(), aRecord);
      if (Self::Def().saves) SaveRow(*MapperUserDatabase(), Self::Def(), *rec, aRecursive);
    });
  }
  void DeleteRecord(const Variant& aRecord) {
    Guard(Self::kModule, __func__, [&] {
      auto rec = RecordArg(Self::Def(), aRecord, true);
      if (Self::Def().saves && rec) DeleteRow(*MapperUserDatabase(), Self::Def(), rec.get());
    });
  }
  bool IsRecordExists(double aID) {
    return Guard(Self::kModule, __func__,
                 [&] { return RowExists(*MapperUserDatabase(), Self::Def(), aID); });
  }

 private:
  static inline const bool listed_ =
      (RegisteredMappers().push_back({&Self::StaticClass, &Self::Def}), true);
};

}  // namespace qv::records

// The dispatch table of a PlainMapper class, in the order of the pattern.
#define QV_MAPPER_MEMBERS(Cls)                                                                   \
  ::qv::Method("ReadRecord(aID, aRecord)", &Cls::ReadRecord),                                    \
      ::qv::Method("SaveRecord(aRecord, aRecursive)", &Cls::SaveRecord, {::qv::Variant(false)}), \
      ::qv::Method("DeleteRecord(aRecord)", &Cls::DeleteRecord),                                 \
      ::qv::Method("IsRecordExists(aID)", &Cls::IsRecordExists)

// The same with ReadLazyFields after ReadRecord.
#define QV_LAZY_MAPPER_MEMBERS(Cls)                                                              \
  ::qv::Method("ReadRecord(aID, aRecord)", &Cls::ReadRecord),                                    \
      ::qv::Method("ReadLazyFields(aRecord)", &Cls::ReadLazyFields),                             \
      ::qv::Method("SaveRecord(aRecord, aRecursive)", &Cls::SaveRecord, {::qv::Variant(false)}), \
      ::qv::Method("DeleteRecord(aRecord)", &Cls::DeleteRecord),                                 \
      ::qv::Method("IsRecordExists(aID)", &Cls::IsRecordExists)
