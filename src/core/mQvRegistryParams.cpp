#include "core/mQvRegistryParams.h"

#include "core/mQvCommonCalc.h"
#include "core/mRegistryTools.h"
#include "platform/automation/VbaText.h"
#include "platform/jet/JetEngine.h"
#include "platform/os/HostServices.h"
#include "platform/os/RegistryStore.h"

namespace qv::mQvRegistryParams {

namespace {

struct ThreadCache {
  std::string dataBasePath;
  std::string bigFilesTempPath;
  bool bigFilesTempPathLoaded = false;
  uint64_t developmentModeOf = 0;  // the registry's Version it was read at
  bool developmentMode = false;
};

ThreadCache& Cache() {
  thread_local ThreadCache cache;
  return cache;
}

constexpr std::string_view kGeneral = "General";

}  // namespace

std::string ConcatenateRegistryKeys(std::string_view left, std::string_view right) {
  return mQvCommonCalc::JoinWithSeparator(left, right, '\\');
}

std::string GetProductSetting_String(bool aMachineWide, std::string_view section,
                                     std::string_view valueName, std::string_view def) {
  const auto root = aMachineWide ? os::RegistryRoot::kLocalMachine : os::RegistryRoot::kCurrentUser;
  return mRegistryTools::ReadRegistryString(root, ConcatenateRegistryKeys(kProductKey, section),
                                            valueName, def, 0);
}

std::string GetDataBasePath() {
  std::string& path = Cache().dataBasePath;
  if (path.empty()) {
    std::string value = GetProductSetting_String(true, kGeneral, "DataBasePath", "");
    if (!jet::IsServerLocation(value) && (value.empty() || value.back() != '/')) value += '/';
    path = std::move(value);
  }
  return path;
}

std::string GetBigFilesTempPath(bool aUseSystemTemp) {
  ThreadCache& cache = Cache();
  if (!cache.bigFilesTempPathLoaded) {
    std::string value = Trim(GetProductSetting_String(true, kGeneral, "BigFilesTempPath", ""));
    if (!value.empty() && value.back() != '/') value += '/';
    cache.bigFilesTempPath = std::move(value);
    cache.bigFilesTempPathLoaded = true;
  }
  if (cache.bigFilesTempPath.empty() && aUseSystemTemp) return GetSystemTempPath();
  return cache.bigFilesTempPath;
}

bool IsDevelopmentModeByRegistry() {
  // Asked per log entry: read again only when the registry's values change.
  ThreadCache& cache = Cache();
  const uint64_t version = os::RegistryStore::ForThread().Version();
  if (cache.developmentModeOf != version) {
    cache.developmentMode = mRegistryTools::ReadRegistryBoolean(
        os::RegistryRoot::kLocalMachine, kDevelopmentKey, "DevelopmentMode", false);
    cache.developmentModeOf = version;
  }
  return cache.developmentMode;
}

std::string GetSystemTempPath() {
  return os::SystemTempPath();
}

void ResetRegistryCachesForThread() {
  Cache() = ThreadCache{};
}

}  // namespace qv::mQvRegistryParams
