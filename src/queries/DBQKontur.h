#pragma once
// DBQKontur ("Qv_DBProvider.DBQKontur"): documents linked with the
// electronic-filing operator (doc_registry.KonDC_GUID, the operator's
// document GUID, and KonStatus, its status there). Stateless.

#include <string>

#include "platform/ado/Recordset.h"
#include "platform/automation/Collection.h"
#include "platform/automation/Object.h"
#include "platform/automation/Variant.h"

namespace qv::queries {

class DBQKontur : public Object {
  QV_DECLARE_CLASS(DBQKontur)

 public:
  // The document linked with the operator's document `aGuid`; 0 when none.
  double GetDocumentIDByGuid(const std::string& aGuid);
  // Document_ID, Status_Qv, KonDC_GUID, KonStatus of every linked document,
  // newest first.
  ado::RecordsetPtr GetDocumentsForSyncronyzation();
  // The local documents an operator document may be linked to: completed or
  // delivered (Status_Qv 2, 3) current versions, not linked yet, of the form
  // `aKnd`, in a period lying within aPeriodBeg..aPeriodEnd, in a stream of
  // type 1 or 2 at tax office `aImns` of an accounted person or branch with
  // that INN (and KPP for an organisation). An empty collection unless the
  // INN has 10 characters with a 9-character KPP or 12 with no KPP, the
  // office code 4 characters, the KND is given and both dates (Null and
  // Empty are none) lie in one year; a value that is no date is error 13.
  // Form 1151100 also brings the pension-fund sub-documents (type 437,
  // period 246) whose master is one of its documents.
  CollectionPtr FindDocumentsForLinking(const std::string& aInn, const std::string& aKpp,
                                        const std::string& aImns, const std::string& aKnd,
                                        const Variant& aPeriodBeg, const Variant& aPeriodEnd);
};

}  // namespace qv::queries
