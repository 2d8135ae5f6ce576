#pragma once
// The tester object the registration self-test reports to, late-bound:
// TryBegin(label) before each test, then TrySuccess() or
// TryFailed(description). It prints one line per test and counts them; a
// failure of a class no library of this build registers counts as absent.

#include <iosfwd>
#include <string>

#include "platform/automation/Object.h"

namespace qvdb {

class ConsoleTester : public qv::Object {
  QV_DECLARE_CLASS(ConsoleTester)

 public:
  explicit ConsoleTester(std::ostream& out) : out_(&out) {}

  void TryBegin(const std::string& label);
  void TrySuccess();
  void TryFailed(const std::string& description);
  // Prints the test begun without a result, if any; call after the run.
  void Finish();

  int Passed() const { return passed_; }
  int Failed() const { return failed_; }
  // Failed tests of classes no library of this build registers.
  int Absent() const { return absent_; }

 private:
  std::ostream* out_;
  std::string label_;
  bool open_ = false;
  int passed_ = 0;
  int failed_ = 0;
  int absent_ = 0;
};

}  // namespace qvdb
