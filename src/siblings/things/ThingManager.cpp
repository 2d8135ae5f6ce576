#include "siblings/things/ThingManager.h"

#include <algorithm>

namespace qv::things {

namespace {

IBigDocEvents* EventsOf(const ObjectPtr& o) {
  return dynamic_cast<IBigDocEvents*>(o.get());
}

}  // namespace

void BigDocManager::Advise(const ObjectPtr& aListener) {
  if (!EventsOf(aListener))
    ThrowVb(vberr::kTypeMismatch, "the object does not answer the big-document events");
  for (const auto& l : listeners_)
    if (l.lock() == aListener) return;
  listeners_.push_back(aListener);
}

void BigDocManager::Unadvise(const ObjectPtr& aListener) {
  Unadvise(aListener.get());
}

void BigDocManager::Unadvise(const Object* aListener) {
  std::erase_if(listeners_, [&](const std::weak_ptr<Object>& l) {
    const ObjectPtr o = l.lock();
    return !o || o.get() == aListener;
  });
}

std::vector<ObjectPtr> BigDocManager::Live() {
  std::vector<ObjectPtr> live;
  std::erase_if(listeners_, [&](const std::weak_ptr<Object>& l) {
    ObjectPtr o = l.lock();
    if (!o) return true;
    live.push_back(std::move(o));
    return false;
  });
  return live;
}

ObjectPtr BigDocManager::FindBigDocTable(double aDocID) {
  for (const ObjectPtr& o : Live()) {
    ObjectPtr table;
    EventsOf(o)->GetBigDocTable(aDocID, table);
    if (table) return table;
  }
  return nullptr;
}

void BigDocManager::CloseBigDocTable(double aDocID) {
  // A snapshot: closing a table takes it off the list.
  for (const ObjectPtr& o : Live()) EventsOf(o)->CloseBigDocTable(aDocID);
}

int32_t BigDocManager::ListenerCount() {
  return static_cast<int32_t>(Live().size());
}

std::shared_ptr<BigDocManager> ThingManager::GetBigDocManager() {
  if (!bigDocs_) bigDocs_ = std::make_shared<BigDocManager>();
  return bigDocs_;
}

QV_DEFINE_CLASS(
    BigDocManager, "Qv_Things.BigDocManager", nullptr,
    Method("Advise(aListener)",
           static_cast<void (BigDocManager::*)(const ObjectPtr&)>(&BigDocManager::Advise)),
    Method("Unadvise(aListener)",
           static_cast<void (BigDocManager::*)(const ObjectPtr&)>(&BigDocManager::Unadvise)),
    Method("FindBigDocTable(aDocID)", &BigDocManager::FindBigDocTable),
    Method("CloseBigDocTable(aDocID)", &BigDocManager::CloseBigDocTable),
    Method("ListenerCount", &BigDocManager::ListenerCount))

QV_DEFINE_CLASS(ThingManager, "Qv_Things.ThingManager", QV_CREATABLE(ThingManager),
                Method("GetBigDocManager", &ThingManager::GetBigDocManager))

}  // namespace qv::things
