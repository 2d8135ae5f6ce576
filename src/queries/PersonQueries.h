#pragma once
// PersonQueries ("Qv_DBProvider.PersonQueries"): the persons the user keeps
// accounts for (AccPerson), their branches (Branches: parent organisation
// -> branch organisation), the workers of a job place (Personnel) and the
// formal boss among them, and the checks run before a person is saved.
//
// Stateless. Lists return collections of person (or worker) records that
// read themselves on first use; sort modes pick an "order by" whose "{dir}"
// placeholders take the direction (0 asc, 1 desc, other: none), and a mode
// an operation does not know leaves the list unordered. Identifiers are
// doubles; 0 means none.

#include <cstdint>
#include <string>

#include "platform/ado/Recordset.h"
#include "platform/automation/Collection.h"
#include "platform/automation/Object.h"

namespace qv::queries {

// The outcome codes of CheckPersonBeforeSaving.
enum PersonCheckResult : int32_t {
  kPersonCheckPassed = -1,
  kSameInnAndKpp = 1,       // another legal person with the same INN and KPP
  kSameNaturalInn = 2,      // another natural person with the same INN
  kSameShortName = 3,       // another legal person with the same short name
  kSameFullName = 4,        // another legal person with the same full name
  kSameFullPersonName = 5,  // another natural person with the same surname, name, patronymic
  kNotAPersonRecord = 6,    // neither a natural nor a legal person record
};

class PersonQueries : public Object {
  QV_DECLARE_CLASS(PersonQueries)

 public:
  // ---- accounted persons

  // Makes the person an accounted person; nothing when it is one already.
  // The test and the insert run under the write lock, so two processes
  // adding the same person leave one row. Error 5 when the identifier is
  // not that of a stored person.
  void AddAccPerson(double aPersonID);
  // The person is no longer an accounted person (nothing when it was none).
  void RemoveAccPerson(double aPersonID);
  // Mode "" in storage order; "name" legal persons by short name before
  // natural persons by full name; "inn" by INN then KPP; any other mode
  // unordered. Accounted persons without a Person row are left out.
  CollectionPtr GetAccPersons(const std::string& aSortMode, int32_t aSortDirection);
  bool IsAnyAccPersonExists();

  // ---- workers of a job place

  CollectionPtr GetWorkers(double aJobplacePersonID);
  bool HasWorkers(double aJobplacePersonID);
  // The worker flagged as formal boss of the job place, or Nothing.
  ObjectPtr GetFormalBoss(double aJobPlaceID);
  // Leaves `aWorkerID` the only formal boss of the job place; 0 leaves it
  // without one. Error 5 when `aWorkerID` is not a worker of that job
  // place (nothing is changed then). Runs under the write lock.
  void SetFormalBoss(double aWorkerID, double aJobPlaceID);

  // ---- searches (the filters are not applied: every person of the kind)

  ado::RecordsetPtr SearchNPPersons(ObjectPtr aFilter);
  ado::RecordsetPtr SearchLPPersons(ObjectPtr aFilter);
  // Natural persons who are a worker somewhere, with name, INN, identity
  // document and home address texts, ordered by surname, name, patronymic.
  ado::RecordsetPtr GetAllPersonsAllowedToBeWorkers(const Variant& aFilter);

  // ---- branches

  // Makes `aBranchOrgID` a branch of `aParentOrgID`. A branch has one
  // parent: adding the pair again does nothing, and a branch already under
  // another parent is error 5 (remove it there first). Both must be stored
  // persons and differ. Test and insert run under the write lock.
  void AddBranch(double aParentOrgID, double aBranchOrgID);
  // The person is no longer a branch of anyone.
  void RemoveBranch(double aBranchOrgID);
  // The branches of `aParentOrgID`: mode "" in storage order, "name" by
  // short name, "kpp" by KPP; any other mode unordered.
  CollectionPtr GetBranchesByParentOrg(double aParentOrgID, const std::string& aSortMode,
                                       int32_t aSortDirection);
  bool HasBranches(double aParentOrgID);
  // True when the person has streams and every one has a last year (is
  // closed); a person without streams is not closed.
  bool IsBranchClosed(double aPersonID);
  // With `aLookForClosed`: some branch of the parent is closed; without
  // it: some branch is not closed (a branch without streams counts here).
  bool HasClosedBranches(double aParentOrgID, bool aLookForClosed);
  // The parent of a branch; 0 when the person is no branch.
  double GetParentOfUniqueBranch(double aChildPersonID);

  // Looks for another stored person the record would duplicate. A legal
  // person (Type 2) is checked on INN with KPP (code 1), then short name
  // (3), then full name (4); a natural person (Type 1) on INN (2), then
  // surname, name and patronymic together (5); each check only when all its
  // texts are given, the KPP compared as it will be stored (normalised).
  // `aResult` gets the first code that applies, -1 when none, 6 for a
  // record that is no person of type 1 or 2; `aCollisionObjectID` the
  // smallest identifier of the persons it collides with (0 when none).
  // True when the record may be saved: result -1. Error 424 for Nothing.
  bool CheckPersonBeforeSaving(ObjectPtr aRecord, int32_t& aResult, double& aCollisionObjectID);

  // The person's worker row (the smallest Personnel ID): at `aJobPlaceID`
  // when given; else, for a job place that is a branch, at its parent,
  // first among rows shown in branches; last at any job place. 0 when none.
  double GetWorkerIDByPersonID(double aPersonID, double aJobPlaceID);

  // Every branch: "inn" by the parent's INN and the branch's KPP, "name"
  // by short name, any other mode by identifier.
  CollectionPtr GetAllBranches(const std::string& aSortMode, int32_t aSortDirection);
  // The accounted persons and the branches of accounted persons, each once.
  CollectionPtr GetAccPersonsAndBranches();
  // The legal-person branches of `aParentID` with KPP `aKpp`, except
  // `aExcludeID` (0: none excluded).
  CollectionPtr FindBranchDuplicates(double aParentID, const std::string& aKpp, double aExcludeID);
  // The owners of the foreign-organisation streams (type 9) whose foreign
  // tax code is `aGiin`, letter case ignored, one entry per stream; at most
  // `aMaxCount` when it is above 0.
  CollectionPtr GetPersonsByGiin(const std::string& aGiin, int32_t aMaxCount);
  bool IsAccPerson(double aPersonID);
  bool IsBranch(double aPersonID);

  // The streams of type `aAccStreamType` of the branches of
  // `aParentPersonID` as a recordset of the AccStream columns: mode "" by
  // branch and stream, "acstr" by display name, "imns" by tax office; "org"
  // (owner's name) and "kpp" add the owner's INN, KPP and SName. Error 5
  // for any other mode.
  ado::RecordsetPtr GetBranchAccStreams(double aParentPersonID, int32_t aAccStreamType,
                                        const std::string& aSortMode, int32_t aSortDirection);
};

}  // namespace qv::queries
