#include "DemoSteps.h"

#include <ostream>

#include "Output.h"
#include "platform/automation/Error.h"

namespace qvdb {

void DemoSteps::Heading(const std::string& title) {
  out_ << "\n== " << title << "\n";
}

void DemoSteps::Step(const std::function<void()>& body) {
  try {
    body();
  } catch (const qv::Error& e) {
    ++failures_;
    out_ << ErrorReport(e) << "\n";
  }
}

void DemoSteps::Finish(const std::string& walk) const {
  if (failures_ > 0)
    qv::ThrowVb(qv::vberr::kInvalidProcedureCall,
                std::to_string(failures_) + " step(s) of the " + walk + " walk failed");
}

}  // namespace qvdb
