// Every operation of every registered class declares its signature where it
// is registered (the nameless default member of a collection aside): as many parameter names as the
// member function has parameters, so that help, the reference and error 449 name them.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "platform/automation/Object.h"

namespace qv {
namespace {

TEST(Signatures, EveryRegisteredOperationNamesEachParameter) {
  std::vector<std::string> wrong;
  std::set<const ClassInfo*> seen;
  size_t operations = 0;
  for (const std::string& progId : ProgIdRegistry::ProgIds()) {
    const ClassInfo* info = ProgIdRegistry::Find(progId);
    if (!info || !seen.insert(info).second) continue;
    for (const Member& m : info->Members()) {
      if (!m.signature) {
        // Only a collection's nameless default member may go without: help
        // and the reference print every named one.
        if (!m.name.empty()) wrong.push_back(info->ProgId() + "." + m.name + ": no signature");
        continue;
      }
      ++operations;
      const Signature& s = *m.signature;
      const bool namesOk = s.namesGiven == s.params.size() &&
                           std::none_of(s.params.begin(), s.params.end(), [](const Param& p) {
                             return p.name.empty() || p.name == "?";
                           });
      if (!namesOk)
        wrong.push_back(info->ProgId() + "." + m.name + ": " + std::to_string(s.namesGiven) +
                        " names for " + std::to_string(s.params.size()) + " parameters");
    }
  }
  EXPECT_GT(operations, 500u);  // the library's classes are linked in
  std::string all;
  for (const std::string& w : wrong) all += "\n  " + w;
  EXPECT_TRUE(wrong.empty()) << wrong.size() << " registrations:" << all;
}

}  // namespace
}  // namespace qv
