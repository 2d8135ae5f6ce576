#include "doctables/mThingManager.h"

#include "core/mErrorHandling.h"
#include "core/miDataBase.h"
#include "siblings/things/ThingManager.h"

namespace qv::mThingManager {

namespace {

ObjectPtr& Registry() {
  thread_local ObjectPtr registry;
  return registry;
}

// A thread that switches data folders starts with a new registry, so that
// no table of the old folder is found again; the old tables stay usable
// by whoever holds them.
void ForgetRegistry() {
  Registry().reset();
}

[[maybe_unused]] const bool kResetRegistered =
    (miDataBase::AddSessionResetListener(&ForgetRegistry), true);

}  // namespace

ObjectPtr GetThingManager() {
  return Guard(QV_HERE, [] {
    ObjectPtr& registry = Registry();
    if (!registry) registry = mErrorHandling::CreateObjectErr(kThingManagerProgId);
    return registry;
  });
}

std::shared_ptr<things::BigDocManager> GetBigDocManager() {
  return Guard(QV_HERE, [] {
    auto manager = GetThingManager()->Get("GetBigDocManager").ObjectAs<things::BigDocManager>();
    if (!manager) ThrowVb(vberr::kTypeMismatch, "the registry has no big-document manager");
    return manager;
  });
}

}  // namespace qv::mThingManager
