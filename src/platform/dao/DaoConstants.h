#pragma once
// The numeric constants of the data-access objects: recordset types and
// options, edit modes, engine idle and commit options, workspace types,
// index field attributes and the locale strings of CreateDatabase.

#include <cstdint>
#include <string_view>

namespace qv::dao {

// OpenRecordset types.
inline constexpr int32_t dbOpenTable = 1;
inline constexpr int32_t dbOpenDynaset = 2;
inline constexpr int32_t dbOpenSnapshot = 4;
inline constexpr int32_t dbOpenForwardOnly = 8;

// OpenRecordset and Execute options (bits).
inline constexpr int32_t dbDenyWrite = 1;
inline constexpr int32_t dbDenyRead = 2;
inline constexpr int32_t dbReadOnly = 4;
inline constexpr int32_t dbAppendOnly = 8;
inline constexpr int32_t dbFailOnError = 128;
inline constexpr int32_t dbSeeChanges = 512;

// Recordset.EditMode.
inline constexpr int32_t dbEditNone = 0;
inline constexpr int32_t dbEditInProgress = 1;
inline constexpr int32_t dbEditAdd = 2;

// DBEngine.Idle options (bits).
inline constexpr int32_t dbFreeLocks = 1;
inline constexpr int32_t dbRefreshCache = 8;

// Workspace.CommitTrans option.
inline constexpr int32_t dbForceOSFlush = 1;

// CreateWorkspace types.
inline constexpr int32_t dbUseODBC = 1;
inline constexpr int32_t dbUseJet = 2;

// OpenDatabase option: exclusive.
inline constexpr int32_t dbOpenExclusive = 1;

// Field.Attributes of an index field.
inline constexpr int32_t dbDescending = 1;
// Field.Attributes of a counter of a table.
inline constexpr int32_t dbAutoIncrField = 16;

// Property types are the field type codes (dbBoolean = 1 ... dbText = 10).

// Locale strings of CreateDatabase.
inline constexpr std::string_view dbLangGeneral = ";LANGID=0x0409;CP=1252;COUNTRY=0";
inline constexpr std::string_view dbLangCyrillic = ";LANGID=0x0419;CP=1251;COUNTRY=0";

// Texts the objects report as their versions: the data-access library
// (DBEngine.Version) and the file format (Database.Version).
inline constexpr std::string_view kEngineVersion = "3.6";
inline constexpr std::string_view kFileFormatVersion = "4.0";

// The name of the workspace every engine starts with.
inline constexpr std::string_view kDefaultWorkspaceName = "#Default Workspace#";

}  // namespace qv::dao
