#pragma once
// The steps of a walk of `qvdb demo`: a heading before each, a step's error
// printed and counted while the walk goes on, and the count raised when the
// walk ends, so that the demo's own walk prints it and fails.

#include <functional>
#include <iosfwd>
#include <string>

namespace qvdb {

class DemoSteps {
 public:
  explicit DemoSteps(std::ostream& out) : out_(out) {}

  void Heading(const std::string& title);
  // Runs `body`; an error is printed as qvdb reports errors and counted.
  void Step(const std::function<void()>& body);
  int Failures() const { return failures_; }
  std::ostream& Out() { return out_; }
  // Error 5 naming the walk when a step failed.
  void Finish(const std::string& walk) const;

 protected:
  std::ostream& out_;

 private:
  int failures_ = 0;
};

}  // namespace qvdb
