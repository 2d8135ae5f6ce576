#pragma once
// What DBPermissions stores for one user, and the record objects it loads:
// the PermUsers row, the user's permission blocks with their object lists,
// items and document classes, and the user's roles. User -1 is the global
// root owner; its one block of type 1 is the global root block.

#include <memory>
#include <string>

#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"
#include "siblings/records/QvRecord.h"

namespace qv::perms {

inline constexpr double kRootOwner = -1;
inline constexpr std::string_view kUserType = "Qv_Records.QvPermUser";
inline constexpr std::string_view kBlockType = "Qv_Records.QvPermBlock";
inline constexpr std::string_view kItemType = "Qv_Records.QvPermItem";

// Removes the user's blocks (with their document lists, items and object
// lists) and, unless the user is the root owner, its roles. Nothing for 0.
void DeleteUserData(const std::shared_ptr<dao::Database>& db, double aUserID);

// Writes `aUser` (its PermUsers row, blocks and roles) after DeleteUserData.
// A user without an identifier gets the next one (last + 1), also on the
// record. The password is stored scrambled (mPasswordShuffling); errors
// never show it.
void SaveUserData(const std::shared_ptr<dao::Database>& db, records::QvRecord& aUser);
// Writes `aBlock` as the root owner's only block.
void SaveRootBlockData(const std::shared_ptr<dao::Database>& db, records::QvRecord& aBlock);

// A user, block or item record from the current row of a "select *" over
// PermUsers, PermBlocks or PermMultiBlocks, with what belongs to it.
records::QvRecordPtr LoadUserFromRs(const std::shared_ptr<dao::Database>& db,
                                    const dao::Recordset& rs);
records::QvRecordPtr LoadBlockFromRs(const std::shared_ptr<dao::Database>& db,
                                     const dao::Recordset& rs);
records::QvRecordPtr LoadDocItemFromRs(const std::shared_ptr<dao::Database>& db,
                                       const dao::Recordset& rs);

}  // namespace qv::perms
