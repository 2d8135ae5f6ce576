#pragma once
// The errors the ADO classes raise: ADO's numbers and texts, with the
// object that raised them as the error's source.

#include <cstdint>
#include <string_view>

namespace qv::ado {

namespace adoerr {
inline constexpr int32_t kBadArguments = 3001;
inline constexpr int32_t kNoCurrentRecord = 3021;
inline constexpr int32_t kNotAllowedInContext = 3219;
inline constexpr int32_t kItemNotFound = 3265;
inline constexpr int32_t kAlreadyInCollection = 3367;
inline constexpr int32_t kParameterIncomplete = 3708;
inline constexpr int32_t kObjectClosed = 3704;
inline constexpr int32_t kObjectOpen = 3705;
inline constexpr int32_t kProviderNotFound = 3706;
inline constexpr int32_t kConnectionUnusable = 3709;
inline constexpr int32_t kMultipleStep = -2147217887;
}  // namespace adoerr

inline constexpr std::string_view kRecordsetSource = "ADODB.Recordset";
inline constexpr std::string_view kFieldsSource = "ADODB.Fields";
inline constexpr std::string_view kFieldSource = "ADODB.Field";
inline constexpr std::string_view kCommandSource = "ADODB.Command";
inline constexpr std::string_view kConnectionSource = "ADODB.Connection";
// The source of the engine's errors as the Jet provider reports them.
inline constexpr std::string_view kJetProviderSource = "Microsoft JET Database Engine";
inline constexpr std::string_view kParametersSource = "ADODB.Parameters";
inline constexpr std::string_view kParameterSource = "ADODB.Parameter";

// ADO's text for one of the numbers above; empty for any other number.
std::string_view AdoErrorText(int32_t number);

// Raises `number` with ADO's text and `source`. A non-empty `detail` (what
// was rejected: the field, the value) follows the text in brackets, so that
// the text still starts as ADO's does.
[[noreturn]] void ThrowAdo(int32_t number, std::string_view source, std::string_view detail = {});

}  // namespace qv::ado
