#pragma once
// DBQFss ("Qv_DBProvider.DBQFss"): documents whose social-insurance
// exchange must be checked at the server. Stateless.

#include "platform/ado/Recordset.h"
#include "platform/automation/Object.h"
#include "platform/automation/Variant.h"

namespace qv::queries {

class DBQFss : public Object {
  QV_DECLARE_CLASS(DBQFss)

 public:
  // The documents (ID) in an exchange (FssDocCircleID) whose status is 20
  // or 40, by identifier. `aParams` is accepted and neither read nor changed.
  ado::RecordsetPtr GetDocsNeedToBeCheckedAtServer(Variant& aParams);
};

}  // namespace qv::queries
