#pragma once
// The product's registry settings: the data folder, the folder for big
// temporary files and the development switch. Folders use "/" and end in
// one "/".
//
// The data folder and the big-files folder are read once per thread and
// cached; ResetRegistryCachesForThread() forgets them (for tests and tools
// that change the registry within one thread).

#include <string>
#include <string_view>

namespace qv::mQvRegistryParams {

inline constexpr std::string_view kModule = "mQvRegistryParams";

inline constexpr std::string_view kProductKey = "SOFTWARE\\Kestrane\\Quivane";
inline constexpr std::string_view kDevelopmentKey = "SOFTWARE\\Kestrane Development\\Quivane";

// Joins two key paths with one "\": both empty give "", an empty left part
// gives the right part unchanged; otherwise one trailing "\" of the left and
// one leading "\" of the right part are dropped first.
std::string ConcatenateRegistryKeys(std::string_view left, std::string_view right);

// The value of `valueName` under the product key joined with `section`, in
// the machine-wide root when `aMachineWide`, else the current user's.
std::string GetProductSetting_String(bool aMachineWide, std::string_view section,
                                     std::string_view valueName, std::string_view def);

// "DataBasePath" of section "General" with a trailing "/" added when
// missing; "/" when the value is absent or empty. A server location (a
// postgresql:// URI or a libpq connection string) is given as it stands.
std::string GetDataBasePath();

// "BigFilesTempPath" of section "General", trimmed of spaces, with a
// trailing "/" added when not empty. When that is empty: the system
// temporary folder if `aUseSystemTemp`, else "".
std::string GetBigFilesTempPath(bool aUseSystemTemp);

// "DevelopmentMode" under the development key as a yes/no word, default
// false; read anew on every call.
bool IsDevelopmentModeByRegistry();

// $TMPDIR or "/tmp", ending in "/"; asked on every call.
std::string GetSystemTempPath();

// Forgets the calling thread's cached data folder and big-files folder.
void ResetRegistryCachesForThread();

}  // namespace qv::mQvRegistryParams
