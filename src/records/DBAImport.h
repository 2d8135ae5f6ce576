#pragma once
// DBAImport ("Qv_DBProvider.DBAImport"): a document created from a one-row
// dataset instead of a record object. The caller asks for an empty dataset
// with the registry's shape, adds one row and hands it back; the row is
// normalised and passed to the package service
// "Qv_KPRSrv.KPRDocsPackageSrv", which creates the document (in its place
// in the instance's chain, DocumentQueries.CreateImportingDocument).

#include "platform/ado/Recordset.h"
#include "platform/automation/Object.h"

namespace qv::records {

class DBAImport : public Object {
  QV_DECLARE_CLASS(DBAImport)

 public:
  // Creates the document of the dataset's first row when that row's
  // DOCUMENT_ID is 0 (or Null) and TEMPLATE_ID, TIME_ID and TAXPAYER_ID are
  // all given; otherwise false, nothing done and rDocumentID unchanged.
  // The row is normalised in place first (defaults: status 1, currency
  // 157, adjustment number, scale, deletion mark and delivery type 0; the
  // working columns copied from theirs; numbers and links Null). On
  // success rDocumentID is the new document. The service's answer is
  // returned. Errors: 13 for a dataset that is no recordset, 5 for one
  // without a column the normalisation writes.
  bool CreateDocument(const Variant& aDataSet, double& rDocumentID);
  // Every column of Doc_Registry plus delivery_date, delivery_mail,
  // Status_id, utoch_number, scale_index, without rows.
  ado::RecordsetPtr GetDatasetForCreateDocument();
};

}  // namespace qv::records
