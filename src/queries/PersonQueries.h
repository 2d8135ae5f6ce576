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

#include "platform/automation/Collection.h"
#include "platform/automation/Object.h"

namespace qv::queries {

class PersonQueries : public Object {
  QV_DECLARE_CLASS(PersonQueries)

 public:
  // Makes the person an accounted person; nothing when it is one already.
  // The test and the insert run under the write lock, so two processes
  // adding the same person leave one row. Error 5 when the identifier is
  // not that of a stored person.
  void AddAccPerson(double aPersonID);
  // The person is no longer an accounted person (nothing when it was none).
  void RemoveAccPerson(double aPersonID);

  // The branches of `aParentOrgID`: mode "" in storage order, "name" by
  // short name, "kpp" by KPP; any other mode unordered.
  CollectionPtr GetBranchesByParentOrg(double aParentOrgID, const std::string& aSortMode,
                                       int32_t aSortDirection);
  // Makes `aBranchOrgID` a branch of `aParentOrgID`. A branch has one
  // parent: adding the pair again does nothing, and a branch already under
  // another parent is error 5 (remove it there first). Both must be stored
  // persons and differ. Test and insert run under the write lock.
  void AddBranch(double aParentOrgID, double aBranchOrgID);
  // The person is no longer a branch of anyone.
  void RemoveBranch(double aBranchOrgID);
};

}  // namespace qv::queries
