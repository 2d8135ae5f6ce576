#pragma once
// The mappers of persons and accounting streams: each is its MapperDef (in
// its own .cpp file) over the shared engine, plus the query class of
// profiles.
//
//   DBPerson      Person header + NaturalPerson / LegalPerson detail by Type
//   DBAddress     Address
//   DBIdentity    Certificate
//   DBWorker      Personnel (formal-boss flag written only as a clear)
//   DBAccStream   AccStream, with its profile assignments and licences
//   DBAccProfile  AccStreamProfiles (a stream's profile for a range of months)
//   DBStdProfile  UserProfiles / DictProfiles with their obligations

#include "platform/ado/Recordset.h"
#include "records/PlainMapper.h"

namespace qv::records {

#define QV_ENTITY_MAPPER(Cls)           \
  class Cls : public PlainMapper<Cls> { \
    QV_DECLARE_CLASS(Cls)               \
                                        \
   public:                              \
    static const MapperDef& Def();      \
  };

QV_ENTITY_MAPPER(DBPerson)
QV_ENTITY_MAPPER(DBAddress)
QV_ENTITY_MAPPER(DBIdentity)
QV_ENTITY_MAPPER(DBWorker)
QV_ENTITY_MAPPER(DBAccStream)
QV_ENTITY_MAPPER(DBAccProfile)
QV_ENTITY_MAPPER(DBStdProfile)

#undef QV_ENTITY_MAPPER

// Queries of profiles ("Qv_DBProvider.DBQProfiles").
class DBQProfiles : public Object {
  QV_DECLARE_CLASS(DBQProfiles)

 public:
  // Every dictionary (user) profile as a profile record (read on first use).
  CollectionPtr GetAllDictProfiles();
  CollectionPtr GetAllUserProfiles();
  // Document classes that may be added to a profile (no instance
  // permission), without those of `aExcludeIDs` ("3;5"), by short name.
  ado::RecordsetPtr GetDocClassesForSelecting(const std::string& aExcludeIDs);
  // True when some stream is assigned the profile.
  bool IsProfileInUsing(double aStdProfileID);
};

}  // namespace qv::records
