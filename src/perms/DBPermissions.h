#pragma once
// DBPermissions: the users of the application, their passwords, roles and
// permission blocks, and the rights system's state, stored in the user
// database and handed out as record objects (Qv_Records.QvPermUser,
// QvPermBlock, QvPermItem); the application decides access from them.
//
// User -1 is the global root owner and never a user of LoadUsers; the
// global root block is its block of type 1. Writes of several rows run in
// one transaction. Passwords are stored scrambled (mPasswordShuffling) and
// appear in no error text; CheckPassword compares them.

#include <string>

#include "platform/ado/Recordset.h"
#include "platform/automation/Collection.h"
#include "platform/automation/Object.h"

namespace qv::perms {

class DBPermissions : public Object {
  QV_DECLARE_CLASS(DBPermissions)

 public:
  // The rights-system value of the PermSystem row; 0 when there is none.
  int32_t GetPermissionsSystem();
  // Sets (or first inserts) the PermSystem row.
  void SetPermHash(int32_t aValue);
  // The owner of an entity: type 1 an accounting stream, 19 a document
  // (also its stream and document class), 28 a taxpayer. For a branch
  // rBranchID is the branch and rTaxpayerID its parent organisation.
  // Outputs the entity does not determine are left as they are.
  void GetEntityGenealogy(int32_t aEntityType, double aID, bool& rIsBranch, double& rTaxpayerID,
                          double& rBranchID, double& rAccStreamID, double& rTemplTypeID);
  // Replaces everything stored for the user (row, blocks, roles).
  void SaveUser(const Variant& aUser);
  // Replaces the root owner's blocks by this one.
  void SaveGlobalRootBlock(const Variant& aGlobalRootBlock);
  // Nothing for 0 and -1.
  void DeleteUser(double aUserID);
  // The ID of a user whose login is aLogin in any letter case, other than
  // aExcludeID (when not 0), of one of aRecTypes (numbers separated by ";"
  // or ","; "*" or "": any type); 0 when there is none.
  double IsThereUserWithLogin(const std::string& aLogin, double aExcludeID,
                              const std::string& aRecTypes);
  // The built-in administrator, the PermSystem row, the root block and its
  // item, each only when it is missing.
  void CreateRightsSystemIfNeed();
  // Every user but the root owner, keyed "_" + ID.
  CollectionPtr LoadUsers();
  // The user, or Nothing.
  Variant LoadUser(double aID);
  // The root owner's block, or Nothing.
  Variant LoadGlobalPermBlock();
  // Stores a new password for the user (nothing for 0).
  void SavePassword(double aUserID, const std::string& aPassword);
  // Document classes without those of aExcludeIDs ("3;5"), by short name.
  ado::RecordsetPtr GetDocClassesForSelecting(const std::string& aExcludeIDs);
  // True when aPassword is the user's stored password, compared in constant
  // time. A damaged stored value matches nothing, the empty password
  // included; an unknown user matches nothing.
  bool CheckPassword(double aUserID, const std::string& aPassword);
};

}  // namespace qv::perms
