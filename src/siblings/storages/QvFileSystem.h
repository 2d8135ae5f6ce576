#pragma once
// Stand-in for the file-system object of the application's storage library
// ("Qv_Storages.QvFileSystem"): what the data-access library asks of the
// disk besides its database files.
//   ForceFolder   creates a folder with every missing folder above it; on
//                 failure it answers False and the system's reason instead
//                 of raising, so the caller chooses the error;
//   DeleteFiles   deletes the files of one folder whose names match a
//                 wildcard pattern ("*" any run of characters, "?" one
//                 character; letter case counts, as the file system's).
// Paths use "/".

#include <cstdint>
#include <string>

#include "platform/automation/Object.h"

namespace qv::storages {

class QvFileSystem : public Object {
  QV_DECLARE_CLASS(QvFileSystem)

 public:
  // True when the folder exists afterwards (made now or before). False
  // when it cannot be made (a file in the way, no permission, an empty
  // path), with rErrorText naming the folder and the reason.
  bool ForceFolder(const std::string& aPath, std::string& rErrorText);
  // Deletes every file of the mask's folder whose name matches the mask's
  // last part; returns how many. Folders are never deleted, and a missing
  // folder deletes nothing. Error 75 naming the file when a matching file
  // cannot be deleted; the files before it are gone, the ones after it
  // are left.
  int32_t DeleteFiles(const std::string& aMask);
};

// True when `name` matches `pattern` ("*" and "?" as above).
bool MatchesWildcard(std::string_view name, std::string_view pattern);

}  // namespace qv::storages
