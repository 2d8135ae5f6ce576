#pragma once
// STQvDBProvider ("Qv_DBProvider.STQvDBProvider"): the registration
// self-test a test harness of the application runs to check that the
// classes this library depends on can be created on the machine. The
// harness passes a tester object, called late-bound: TryBegin(label)
// before each test, then TrySuccess() or TryFailed(description).

#include "platform/automation/Object.h"

namespace qv {

class STQvDBProvider : public Object {
  QV_DECLARE_CLASS(STQvDBProvider)

 public:
  // One creation test per class, in a fixed order. A failing
  // creation is reported to the tester and the next test runs; errors of
  // the tester's own calls are raised.
  void TestClassesRegistration(const ObjectPtr& aTester);
  // The library has no controls: no tests.
  void TestControlsRegistartion(const ObjectPtr& aTester);
  // Always Empty; when the first element of `aParams` is 1 it runs the
  // (empty) test group, otherwise nothing.
  Variant TestExecute(const ObjectPtr& aTester, Variant& aParams);
};

}  // namespace qv
