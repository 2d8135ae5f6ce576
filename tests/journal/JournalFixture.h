#pragma once
// The pension-fund test folder (taxpayers, streams, documents) with what the
// log and journal tests add: the development switch and a rendering of a
// disconnected recordset as one text.

#include <string>

#include "core/mQvRegistryParams.h"
#include "pfr/PfrFixture.h"
#include "platform/ado/Recordset.h"
#include "platform/os/RegistryStore.h"

namespace qv::journal::testing {

using records::QvRecordPtr;
using testsupport::ExpectError;
using testsupport::kAnyError;
using testsupport::RaisedError;

class JournalTest : public pfr::testing::PfrTest {
 protected:
  void SetDevelopmentMode(bool on) {
    os::RegistryStore(root_ / "registry.ini")
        .SetValue(os::RegistryRoot::kLocalMachine, mQvRegistryParams::kDevelopmentKey,
                  "DevelopmentMode", os::RegistryValue::String(on ? "yes" : "no"));
  }

 public:
  // Every column of every row: columns joined by "|", rows by "; ", Null as
  // "Null".
  static std::string RsRows(const ado::RecordsetPtr& rs) {
    std::string text;
    for (size_t r = 0; r < rs->RowCount(); ++r) {
      if (r) text += "; ";
      for (size_t c = 0; c < rs->FieldCount(); ++c) {
        const Variant& v = rs->Value(r, c);
        text += (c ? "|" : "") + (v.IsNull() ? std::string("Null") : CStr(v));
      }
    }
    return text;
  }
};

}  // namespace qv::journal::testing
