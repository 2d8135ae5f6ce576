#pragma once
// Stand-in for "Qv_KPRSrv.KPRDocsPackageSrv", the application's service that
// writes report documents handed over as datasets. It reaches the
// data-access library by ProgID only:
//
//   CreateDocument(aDataSet)   the first row of a dataset shaped like
//       Doc_Registry (plus utoch_number, scale_index): the document is made
//       by "Qv_DBProvider.DocumentQueries".CreateImportingDocument with the
//       row's stream, period, template, instance (Null: 0), adjustment
//       number (utoch_number), scale index and Status_Qv, which puts it in
//       its place in the instance's chain; the row's dates, note, delivery
//       type, statuses, deletion mark and currency (those not Null) are then
//       written to it, and DOCUMENT_ID receives its identifier. True. When
//       the second step fails the document is deleted again and the error
//       goes on.
//   UpdateDocumentCellValues(aDocumentID, aCells)   writes a recordset of
//       cells (cell_key, first_value, first_type; an empty value deletes)
//       through "Qv_DBProvider.DBDocument".SaveCells.
// Errors: 13 for a dataset that is no recordset, 5 for one without a row or
// without a column it reads.

#include "platform/automation/Object.h"

namespace qv::kprsrv {

class KPRDocsPackageSrv : public Object {
  QV_DECLARE_CLASS(KPRDocsPackageSrv)

 public:
  bool CreateDocument(const Variant& aDataSet);
  void UpdateDocumentCellValues(Variant& aDocumentID, Variant& aCells);
};

}  // namespace qv::kprsrv
