#pragma once
// The ADO enumeration values the recordset, command and parameter classes
// accept and return, under the names callers know them by.

#include <cstdint>

namespace qv::ado {

// DataTypeEnum: the type of a field or parameter.
inline constexpr int32_t adEmpty = 0;
inline constexpr int32_t adSmallInt = 2;
inline constexpr int32_t adInteger = 3;
inline constexpr int32_t adSingle = 4;
inline constexpr int32_t adDouble = 5;
inline constexpr int32_t adCurrency = 6;
inline constexpr int32_t adDate = 7;
inline constexpr int32_t adBSTR = 8;
inline constexpr int32_t adBoolean = 11;
inline constexpr int32_t adDecimal = 14;
inline constexpr int32_t adTinyInt = 16;
inline constexpr int32_t adUnsignedTinyInt = 17;
inline constexpr int32_t adBigInt = 20;
inline constexpr int32_t adGUID = 72;
inline constexpr int32_t adBinary = 128;
inline constexpr int32_t adChar = 129;
inline constexpr int32_t adWChar = 130;
inline constexpr int32_t adNumeric = 131;
inline constexpr int32_t adDBDate = 133;
inline constexpr int32_t adDBTime = 134;
inline constexpr int32_t adDBTimeStamp = 135;
inline constexpr int32_t adVarChar = 200;
inline constexpr int32_t adLongVarChar = 201;
inline constexpr int32_t adVarWChar = 202;
inline constexpr int32_t adLongVarWChar = 203;
inline constexpr int32_t adVarBinary = 204;
inline constexpr int32_t adLongVarBinary = 205;

// FieldAttributeEnum (bit flags).
inline constexpr int32_t adFldUnspecified = -1;
inline constexpr int32_t adFldUpdatable = 0x4;
inline constexpr int32_t adFldFixed = 0x10;
inline constexpr int32_t adFldIsNullable = 0x20;
inline constexpr int32_t adFldMayBeNull = 0x40;
inline constexpr int32_t adFldLong = 0x80;

// CursorLocationEnum.
inline constexpr int32_t adUseServer = 2;
inline constexpr int32_t adUseClient = 3;

// ObjectStateEnum.
inline constexpr int32_t adStateClosed = 0;
inline constexpr int32_t adStateOpen = 1;

// EditModeEnum.
inline constexpr int32_t adEditNone = 0;
inline constexpr int32_t adEditInProgress = 1;
inline constexpr int32_t adEditAdd = 2;

// PositionEnum: AbsolutePosition off the rows.
inline constexpr int32_t adPosUnknown = -1;
inline constexpr int32_t adPosBOF = -2;
inline constexpr int32_t adPosEOF = -3;

// BookmarkEnum: the start of Move.
inline constexpr int32_t adBookmarkCurrent = 0;
inline constexpr int32_t adBookmarkFirst = 1;
inline constexpr int32_t adBookmarkLast = 2;

// AffectEnum: what Delete removes.
inline constexpr int32_t adAffectCurrent = 1;

// FilterGroupEnum: no filter.
inline constexpr int32_t adFilterNone = 0;

// CommandTypeEnum.
inline constexpr int32_t adCmdText = 1;
inline constexpr int32_t adCmdTable = 2;
inline constexpr int32_t adCmdStoredProc = 4;
inline constexpr int32_t adCmdUnknown = 8;

// ParameterDirectionEnum.
inline constexpr int32_t adParamUnknown = 0;
inline constexpr int32_t adParamInput = 1;
inline constexpr int32_t adParamOutput = 2;
inline constexpr int32_t adParamInputOutput = 3;
inline constexpr int32_t adParamReturnValue = 4;

}  // namespace qv::ado
