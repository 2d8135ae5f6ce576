#pragma once
// The calling thread's object registry of the application ("Qv_Things",
// created by ProgID on first use on each thread) and its big-document
// manager, through which the open tables of a document are found again and
// told to close. A table opened on one thread is never found from another.

#include <memory>
#include <string_view>

#include "platform/automation/Object.h"

namespace qv::things {
class BigDocManager;
}

namespace qv::mThingManager {

inline constexpr std::string_view kModule = "mThingManager";
inline constexpr std::string_view kThingManagerProgId = "Qv_Things.ThingManager";

// The thread's registry. Error 429 naming the ProgID when it cannot be
// created.
ObjectPtr GetThingManager();
// The registry's big-document manager.
std::shared_ptr<things::BigDocManager> GetBigDocManager();

}  // namespace qv::mThingManager
