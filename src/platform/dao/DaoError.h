#pragma once
// Errors of the data-access objects: Jet's numbers and texts (JetError.h),
// plus the few numbers only these objects raise, and the sources they name.

#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "platform/jet/JetError.h"

namespace qv::dao {

using jet::kSourceDatabase;
using jet::kSourceEngine;
using jet::kSourceField;
using jet::kSourceIndex;
using jet::kSourceRecordset;
using jet::kSourceTableDef;
using jet::kSourceWorkspace;
inline constexpr std::string_view kSourceTableDefs = "DAO.TableDefs";
inline constexpr std::string_view kSourceFields = "DAO.Fields";
inline constexpr std::string_view kSourceIndexes = "DAO.Indexes";
inline constexpr std::string_view kSourceProperties = "DAO.Properties";
inline constexpr std::string_view kSourceProperty = "DAO.Property";
inline constexpr std::string_view kSourceWorkspaces = "DAO.Workspaces";
inline constexpr std::string_view kSourceDatabases = "DAO.Databases";
inline constexpr std::string_view kSourceQueryDef = "DAO.QueryDef";

namespace daoerr {
using namespace jet::jeterr;
inline constexpr int32_t kFileInUse = 3045;
inline constexpr int32_t kCannotExecuteSelect = 3065;
inline constexpr int32_t kInvalidBookmark = 3159;
inline constexpr int32_t kRecordDeleted = 3167;
inline constexpr int32_t kInvalidOperation = 3219;
inline constexpr int32_t kNumericOverflow = 3349;
inline constexpr int32_t kNameExists = 3367;
inline constexpr int32_t kBuiltInProperty = 3384;
}  // namespace daoerr

// The description of `number`: Jet's text where JetError.h has it, else the
// text of the numbers above, with "|1" ... filled from `args`.
std::string DaoErrorText(int32_t number, std::initializer_list<std::string_view> args = {});

[[noreturn]] void ThrowDao(int32_t number, std::string_view source,
                           std::initializer_list<std::string_view> args = {});

}  // namespace qv::dao
