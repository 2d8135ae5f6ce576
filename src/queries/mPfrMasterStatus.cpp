#include "queries/mPfrMasterStatus.h"

#include <string_view>

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"

namespace qv::queries {
namespace {
constexpr std::string_view kModule = "mPfrMasterStatus";
}  // namespace

int32_t IntGetPfrMasterStatus_Dao(double aMasterDocID) {
  if (aMasterDocID == 0) return 0;
  return Guard(QV_HERE, [&] {
    using namespace mQvDaoDataBase;
    auto rs = QvGetTableRS("DOC_REGISTRY", "PfrMaster");
    const Variant key[] = {Variant(aMasterDocID)};
    rs->Seek("=", key);
    bool allDelivered = true, anyDone = false;
    int32_t seen = 0;
    // The index keeps a master's end documents together from the first match.
    for (; !rs->NoMatch() && !rs->IsEOF() &&
           GetDaoDoubleDef(*rs, "PfrMasterDocID", 0) == aMasterDocID;
         rs->MoveNext()) {
      ++seen;
      switch (GetDaoLong(*rs, "Status_Qv")) {
        case 1:
          allDelivered = false;
          break;
        case 2:
          allDelivered = false;
          anyDone = true;
          break;
        case 3:
          anyDone = true;
          break;
        default:
          break;
      }
    }
    rs->Close();
    if (allDelivered && seen > 0) return 3;
    return anyDone ? 2 : 1;
  });
}

}  // namespace qv::queries
