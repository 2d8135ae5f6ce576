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
  // A label is a ProgID, or "(Interface) ProgID". A class no library of this
  // build registers (a sibling library that is not installed) is absent, not
  // broken: the data folder and this library are sound without it.
  const std::string::size_type close = label_.rfind(") ");
  const std::string progId = close == std::string::npos ? label_ : label_.substr(close + 2);
  if (!qv::ProgIdRegistry::Find(progId)) {
    ++absent_;
    *out_ << "  absent  " << label_ << ": no library of this build registers it\n";
  } else {
    ++failed_;
    *out_ << "  FAILED  " << label_ << ": " << description << '\n';
  }
  open_ = false;
}

void ConsoleTester::Finish() {
  if (!open_) return;
  ++failed_;
  *out_ << "  FAILED  " << label_ << ": no result reported\n";
  open_ = false;
}

}  // namespace qvdb
