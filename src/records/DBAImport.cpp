#include "records/DBAImport.h"

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "core/miDBProviderFactory.h"
#include "records/miDocument.h"

namespace qv::records {

namespace {

// How the row is normalised: each column written from its source column,
// or the default when that is Null (Null itself when the default is).
struct Normalised {
  std::string_view column, source;
  Variant defaultValue;
};

const Normalised kNormalised[] = {
    {"Registry_Date", "REGISTRY_DATE", Variant::Null()},
    {"Status", "Status", Variant(int32_t{1})},
    {"Status_id", "Status", Variant(int32_t{1})},
    {"Less", "Less", Variant(int32_t{0})},
    {"scale_index", "Less", Variant(int32_t{0})},
    {"Currency_ID", "CURRENCY_ID", Variant(miDocument::kCurrencyRouble)},
    {"Accept_Date", "accept_date", Variant::Null()},
    {"delivery_date", "accept_date", Variant::Null()},
    {"Reg_Number", {}, Variant::Null()},
    {"Prev_Doc_ID", {}, Variant::Null()},
    {"Next_Doc_ID", {}, Variant::Null()},
    {"BOTTOM_NEXT_ID", {}, Variant::Null()},
    {"Top_Doc_ID", {}, Variant::Null()},
    {"Doc_Type", "DOC_TYPE", Variant(int32_t{0})},
    {"utoch_number", "DOC_TYPE", Variant(int32_t{0})},
    {"Deleted", "Deleted", Variant(int32_t{0})},
    {"Delivery_Type", "DELIVERY_TYPE", Variant(int32_t{0})},
    {"Delivery_Mail", "DELIVERY_TYPE", Variant(int32_t{0})},
    {"Status_Qv", "STATUS_Qv", Variant(int32_t{1})},
};

size_t Column(const ado::Recordset& rs, std::string_view name) {
  auto c = rs.FindField(name);
  if (!c) ThrowVb(vberr::kInvalidProcedureCall, "the dataset has no column " + std::string(name));
  return *c;
}

double NumberOr0(const ado::Recordset& rs, std::string_view name) {
  const Variant& v = rs.Value(0, Column(rs, name));
  return v.IsNull() || v.IsEmpty() ? 0.0 : CDbl(v);
}

}  // namespace

bool DBAImport::CreateDocument(const Variant& aDataSet, double& rDocumentID) {
  return Guard(QV_HERE, [&] {
    auto rs = aDataSet.IsObject() ? std::dynamic_pointer_cast<ado::Recordset>(aDataSet.AsObject())
                                  : nullptr;
    if (!rs) ThrowVb(vberr::kTypeMismatch, "a recordset was expected");
    if (rs->RowCount() == 0 || NumberOr0(*rs, "DOCUMENT_ID") != 0 ||
        NumberOr0(*rs, "TEMPLATE_ID") == 0 || NumberOr0(*rs, "TIME_ID") == 0 ||
        NumberOr0(*rs, "TAXPAYER_ID") == 0)
      return false;
    rs->MoveFirst();
    for (const Normalised& n : kNormalised) {
      Variant value = n.source.empty() ? Variant::Null() : rs->Value(0, Column(*rs, n.source));
      if (value.IsNull() || value.IsEmpty()) value = n.defaultValue;
      rs->SetValue(Column(*rs, n.column), value);
    }
    rs->Update();
    const bool created =
        CBool(miDBProviderFactory::NewKPRDocsPackageSrv()->CallV("CreateDocument", aDataSet));
    if (created) rDocumentID = NumberOr0(*rs, "DOCUMENT_ID");
    return created;
  });
}

ado::RecordsetPtr DBAImport::GetDatasetForCreateDocument() {
  return Guard(QV_HERE, [&] {
    return mQvDaoDataBase::QvQuerySqlA(
        "select a.*, now() as delivery_date, 0 as delivery_mail, 0 as Status_id,"
        " 0 as utoch_number, 0 as scale_index "
        "from DOC_REGISTRY As a where a.Document_ID = -1234567770;");
  });
}

QV_DEFINE_CLASS(DBAImport, "Qv_DBProvider.DBAImport", QV_CREATABLE(DBAImport),
                Method("CreateDocument(aDataSet, rDocumentID)", &DBAImport::CreateDocument),
                Method("GetDatasetForCreateDocument", &DBAImport::GetDatasetForCreateDocument))

}  // namespace qv::records
