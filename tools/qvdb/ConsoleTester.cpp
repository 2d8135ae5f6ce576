#include "ConsoleTester.h"

#include <ostream>

namespace qvdb {

using qv::Method;

// Not creatable by ProgID: the tool makes it with the stream it prints to.
QV_DEFINE_CLASS(ConsoleTester, "qvdb.ConsoleTester", nullptr,
                Method("TryBegin", &ConsoleTester::TryBegin),
                Method("TrySuccess", &ConsoleTester::TrySuccess),
                Method("TryFailed", &ConsoleTester::TryFailed))

void ConsoleTester::TryBegin(const std::string& label) {
  Finish();
  label_ = label;
  open_ = true;
}

void ConsoleTester::TrySuccess() {
  ++passed_;
  *out_ << "  ok      " << label_ << '\n';
  open_ = false;
}

void ConsoleTester::TryFailed(const std::string& description) {
  ++failed_;
  *out_ << "  FAILED  " << label_ << ": " << description << '\n';
  open_ = false;
}

void ConsoleTester::Finish() {
  if (!open_) return;
  ++failed_;
  *out_ << "  FAILED  " << label_ << ": no result reported\n";
  open_ = false;
}

}  // namespace qvdb
