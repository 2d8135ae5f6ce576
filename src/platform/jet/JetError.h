#pragma once
// Jet's error numbers and descriptions, and the mapping of SQLite failures
// onto them. Every engine error a caller sees is an Error with Jet's number
// and Jet's text, so code written against Jet's numbers keeps working.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/automation/Error.h"

namespace qv::jet {

// Sources an engine error names, as the data-access objects report them.
inline constexpr std::string_view kSourceDatabase = "DAO.Database";
inline constexpr std::string_view kSourceRecordset = "DAO.Recordset";
inline constexpr std::string_view kSourceField = "DAO.Field";
inline constexpr std::string_view kSourceTableDef = "DAO.TableDef";
inline constexpr std::string_view kSourceIndex = "DAO.Index";
inline constexpr std::string_view kSourceWorkspace = "DAO.Workspace";
inline constexpr std::string_view kSourceEngine = "DAO.DBEngine";

namespace jeterr {
inline constexpr int32_t kReserved = 3000;  // no Jet equivalent: SQLite's own message
inline constexpr int32_t kInvalidArgument = 3001;
inline constexpr int32_t kTableExists = 3010;
inline constexpr int32_t kObjectNotFound = 3011;
inline constexpr int32_t kNotAnIndex = 3015;
inline constexpr int32_t kNoCurrentIndex = 3019;
inline constexpr int32_t kUpdateWithoutEdit = 3020;
inline constexpr int32_t kNoCurrentRecord = 3021;
inline constexpr int32_t kDuplicateKey = 3022;
inline constexpr int32_t kFileNotFound = 3024;
inline constexpr int32_t kDiskFull = 3026;
inline constexpr int32_t kReadOnly = 3027;
inline constexpr int32_t kNoTransaction = 3034;
inline constexpr int32_t kResourceExceeded = 3035;
inline constexpr int32_t kDiskError = 3043;
inline constexpr int32_t kInvalidPath = 3044;
inline constexpr int32_t kCorrupt = 3049;
inline constexpr int32_t kOpenedExclusively = 3051;
inline constexpr int32_t kNullInIndex = 3058;
inline constexpr int32_t kCanceled = 3059;
inline constexpr int32_t kTooFewParameters = 3061;
inline constexpr int32_t kSyntaxInExpression = 3075;
inline constexpr int32_t kNoInputTable = 3078;
inline constexpr int32_t kUndefinedFunction = 3085;
inline constexpr int32_t kInvalidName = 3125;
inline constexpr int32_t kSyntaxInFrom = 3131;
inline constexpr int32_t kFieldTooSmall = 3163;
inline constexpr int32_t kFieldDefinedTwice = 3191;
inline constexpr int32_t kDatabaseExists = 3204;
inline constexpr int32_t kLocked = 3218;
inline constexpr int32_t kNotSupported = 3251;
inline constexpr int32_t kInvalidFieldType = 3259;
inline constexpr int32_t kLockedByUser = 3260;
inline constexpr int32_t kNoFieldDefined = 3264;
inline constexpr int32_t kItemNotFound = 3265;
inline constexpr int32_t kFieldInIndex = 3280;
inline constexpr int32_t kPrimaryKeyExists = 3283;
inline constexpr int32_t kIndexExists = 3284;
inline constexpr int32_t kRequired = 3314;
inline constexpr int32_t kZeroLength = 3315;
inline constexpr int32_t kBadDatabaseFormat = 3343;
inline constexpr int32_t kSubqueryRows = 3354;
inline constexpr int32_t kQueryTooComplex = 3360;
inline constexpr int32_t kNoTableOrConstraint = 3371;
inline constexpr int32_t kIndexNameExists = 3375;
inline constexpr int32_t kTableNotFound = 3376;
inline constexpr int32_t kFieldExists = 3380;
inline constexpr int32_t kObjectInvalid = 3420;
inline constexpr int32_t kConversionError = 3421;
inline constexpr int32_t kTypeMismatch = 3464;
}  // namespace jeterr

// Names the catalogue gives its CHECK constraints: the prefix followed by
// "Table.Field". A failed check is mapped back to Jet's error by its prefix.
inline constexpr std::string_view kCheckSize = "jet_size:";       // 3163
inline constexpr std::string_view kCheckZeroLength = "jet_zls:";  // 3315
inline constexpr std::string_view kCheckType = "jet_type:";       // 3464
inline constexpr std::string_view kCheckPrimary = "jet_pk:";      // 3058

// `text` with its placeholders "|1" ... "|9" replaced by `args` in order (a
// placeholder without its argument by nothing): the one filler of the error
// texts of the engine and of the objects above it.
std::string FillPlaceholders(std::string_view text, std::initializer_list<std::string_view> args);
// Jet's description for `number` with its placeholders filled from `args`.
// An unknown number gives "Reserved error (N)".
std::string JetErrorText(int32_t number, std::initializer_list<std::string_view> args = {});

// Raises the Jet error `number` with its description filled from `args`.
[[noreturn]] void ThrowJet(int32_t number, std::initializer_list<std::string_view> args = {},
                           std::string_view source = kSourceDatabase);

// The Jet error for a failed SQLite call: `code` is the extended result code,
// `message` SQLite's message (sqlite3_errmsg). Constraint failures of the
// catalogue's named checks become 3163, 3314, 3315, 3058 and 3464; anything
// without a Jet equivalent keeps SQLite's message under number 3000.
Error SqliteToJetError(int code, std::string_view message,
                       std::string_view source = kSourceDatabase);

}  // namespace qv::jet
