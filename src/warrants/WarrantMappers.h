#pragma once
// Warrants (powers of attorney): the mappers of a warrant, its parties
// (subjects) and its powers, over the shared mapper engine, and the query
// class that keeps one active warrant per worker and kind of recipient
// authority.
//
//   DBWarSubject  WarSubjects: a party, owning its address and identity document
//   DBWarrant     Warrants: seven subject slots (owned), powers as a lazy child list
//   DBWarPower    WarPowers: the territory of a power and its permissions
//                 (WarPermissions rows, kept as a difference on save)
//   DBQWarrant    the warrants of a worker and the active one
//
// A warrant must name an existing worker (a Personnel row) and must not end
// before it begins; a power may grant only permissions of the dictionary
// WarDict_Permissions. A save that breaks one of these rules fails with
// error 5 and writes nothing.

#include "platform/automation/Collection.h"
#include "records/PlainMapper.h"

namespace qv::warrants {

using records::MapperDef;
using records::PlainMapper;

class DBWarSubject : public PlainMapper<DBWarSubject> {
  QV_DECLARE_CLASS(DBWarSubject)

 public:
  static const MapperDef& Def();
};

class DBWarrant : public PlainMapper<DBWarrant> {
  QV_DECLARE_CLASS(DBWarrant)

 public:
  static const MapperDef& Def();
};

class DBWarPower : public PlainMapper<DBWarPower> {
  QV_DECLARE_CLASS(DBWarPower)

 public:
  static const MapperDef& Def();
  // aParentID, the owning warrant, is written to Warrant_ID.
  void SaveRecord(const Variant& aRecord, bool aRecursive, double aParentID);
};

// Kind -1 of recipient authority means every kind (GetActiveWarrantEx).
inline constexpr int32_t kAnyContoraType = -1;

// The warrants of a worker (a Personnel row) and the active one per kind of
// recipient authority. At most one warrant per worker and kind has
// IsActive = 1; only the SetActiveWarrant* operations change the flag. The
// operations without Ex work on kind 1, except SetActiveWarrant, which takes
// the kind of the warrant it activates.
class DBQWarrant : public Object {
  QV_DECLARE_CLASS(DBQWarrant)

 public:
  CollectionPtr GetWarrantsOfWorker(double aWorkerID);
  CollectionPtr GetWarrantsOfWorkerEx(double aWorkerID, int32_t aContoraType);
  bool HasWorkerAnyWarrant(double aWorkerID);
  bool HasWorkerAnyWarrantEx(double aWorkerID, int32_t aContoraType);
  // Makes aWarrantID the worker's only active warrant of the kind (with 0:
  // none is active), in one transaction. Error 5, nothing changed, for a
  // warrant that does not exist or is of another worker or kind.
  void SetActiveWarrant(double aWarrantID, double aParentID);
  void SetActiveWarrantEx(double aWarrantID, double aParentID, int32_t aContoraType);
  // Activates the worker's warrant of the kind when it is the only one.
  void SetActiveWarrantIfAlone(double aParentID);
  void SetActiveWarrantIfAloneEx(double aParentID, int32_t aContoraType);
  // The active warrant (a record read on first use), or, when none is active
  // and aFindSurrogateIfNoActive, the one with the latest DateBeg (the larger
  // ID on a tie); Nothing when there is none.
  Variant GetActiveWarrant(double aParentID, bool aFindSurrogateIfNoActive);
  Variant GetActiveWarrantEx(double aParentID, int32_t aContoraType, bool aFindSurrogateIfNoActive);
};

}  // namespace qv::warrants
