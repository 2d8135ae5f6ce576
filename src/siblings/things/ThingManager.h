#pragma once
// Stand-in for the application's per-thread object registry
// ("Qv_Things.ThingManager") and its big-document manager. The registry
// hands out one manager (GetBigDocManager); the manager keeps a list of
// listeners, each an open big-document table, and raises two events to
// them:
//   GetBigDocTable(DocID, rTable)  a lookup: the first listener that holds
//                                  document DocID answers with itself;
//   CloseBigDocTable(DocID)        every listener holding DocID closes it.
// Listeners are held weakly: a table that goes away leaves the list by
// itself. Nothing here is shared between threads; each thread that wants a
// registry creates its own.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/automation/Object.h"

namespace qv::things {

// The events a listener of the big-document manager answers.
class IBigDocEvents {
 public:
  virtual ~IBigDocEvents() = default;
  // Sets rTable to the listener itself when it holds document aDocID.
  virtual void GetBigDocTable(double aDocID, ObjectPtr& rTable) = 0;
  // Closes the document when it is aDocID. Must not raise.
  virtual void CloseBigDocTable(double aDocID) = 0;
};

class BigDocManager : public Object {
  QV_DECLARE_CLASS(BigDocManager)

 public:
  // Adds a listener (again: nothing). Error 13 for an object that does not
  // answer the events.
  void Advise(const ObjectPtr& aListener);
  // Removes a listener, and every listener that has gone away.
  void Unadvise(const ObjectPtr& aListener);
  void Unadvise(const Object* aListener);
  // Raises GetBigDocTable to the listeners in the order they came until one
  // answers; Nothing when none does.
  ObjectPtr FindBigDocTable(double aDocID);
  // Raises CloseBigDocTable to every listener. A listener may leave the
  // list while it closes.
  void CloseBigDocTable(double aDocID);
  // The listeners still alive.
  int32_t ListenerCount();

 private:
  // The live listeners, the dead ones dropped.
  std::vector<std::shared_ptr<Object>> Live();

  std::vector<std::weak_ptr<Object>> listeners_;
};

class ThingManager : public Object {
  QV_DECLARE_CLASS(ThingManager)

 public:
  // The registry's big-document manager, made on first use.
  std::shared_ptr<BigDocManager> GetBigDocManager();

 private:
  std::shared_ptr<BigDocManager> bigDocs_;
};

}  // namespace qv::things
