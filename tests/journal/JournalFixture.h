#pragma once
// The pension-fund test folder (taxpayers, streams, documents) with what the
// log and journal tests add: the development switch and a rendering of a
// disconnected recordset as one text (the shared one of called operations).

#include <string>

#include "core/mQvRegistryParams.h"
#include "pfr/PfrFixture.h"
#include "platform/ado/Recordset.h"
#include "platform/os/RegistryStore.h"

namespace qv::journal::testing {

using records::QvRecordPtr;
using testsupport::ExpectError;
using testsupport::kAnyError;

class JournalTest : public pfr::testing::PfrTest {
 protected:
  void SetDevelopmentMode(bool on) {
    os::RegistryStore(root_ / "registry.ini")
        .SetValue(os::RegistryRoot::kLocalMachine, mQvRegistryParams::kDevelopmentKey,
                  "DevelopmentMode", os::RegistryValue::String(on ? "yes" : "no"));
  }

 public:
  // Every column of every row: "a|b;" per row, Null as "Null".
  static std::string RsRows(const ado::RecordsetPtr& rs) {
    return coretest::RenderResult(Variant(ObjectPtr(rs)));
  }
};

}  // namespace qv::journal::testing
