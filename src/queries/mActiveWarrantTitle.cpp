#include "queries/mActiveWarrantTitle.h"

#include "core/mErrorHandling.h"
#include "core/miDBProviderFactory.h"

namespace qv::queries {

namespace {
constexpr std::string_view kModule = "mActiveWarrantTitle";
}  // namespace

std::optional<std::string> ActiveWarrantTitle(double aPersonnelID) {
  return Guard(QV_HERE, [&]() -> std::optional<std::string> {
    const Variant warrant =
        miDBProviderFactory::IntGetDBQWarrant()->CallV("GetActiveWarrant", aPersonnelID, true);
    if (warrant.IsNothing()) return std::nullopt;
    return CStr(warrant.AsObject()->Get("Caption"));
  });
}

}  // namespace qv::queries
