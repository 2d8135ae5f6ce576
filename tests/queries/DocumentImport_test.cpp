// Documents created from an imported dataset: rows
// refused, the row normalised, and the document put in its place in the
// instance's chain by the package service.

#include <gtest/gtest.h>

#include "platform/ado/Recordset.h"
#include "platform/automation/Object.h"
#include "records/DocumentFixture.h"

namespace qv::queries::testing {
namespace {

using records::testing::DocumentTest;

class DocumentImport : public DocumentTest {
 protected:
  void SetUp() override {
    DocumentTest::SetUp();
    import_ = CreateObject("Qv_DBProvider.DBAImport");
    AddDoc(1, "top_doc_id = 2");
    AddDoc(2, "doc_type = 2, bottom_next_id = 1");
  }
  std::shared_ptr<ado::Recordset> Dataset(std::vector<std::pair<const char*, Variant>> values) {
    auto rs = import_->CallV("GetDatasetForCreateDocument").ObjectAs<ado::Recordset>();
    if (values.empty()) return rs;
    rs->AddNew();
    for (const auto& [name, v] : values) rs->SetValue(rs->FieldIndex(name), v);
    rs->Update();
    return rs;
  }
  ObjectPtr import_;
};

TEST_F(DocumentImport, RowsThatAreNotNewDocumentsAreRefused) {
  const std::string before = Chain();
  const struct {
    const char* name;
    std::vector<std::pair<const char*, Variant>> row;
  } cases[] = {
      {"no row", {}},
      {"an existing document",
       {{"DOCUMENT_ID", Variant(2.0)},
        {"TEMPLATE_ID", Variant(101.0)},
        {"TIME_ID", Variant(2513.0)},
        {"TAXPAYER_ID", Variant(5.0)}}},
      {"no template",
       {{"DOCUMENT_ID", Variant(0.0)},
        {"TIME_ID", Variant(2513.0)},
        {"TAXPAYER_ID", Variant(5.0)}}},
      {"no stream",
       {{"DOCUMENT_ID", Variant(0.0)},
        {"TEMPLATE_ID", Variant(101.0)},
        {"TIME_ID", Variant(2513.0)},
        {"TAXPAYER_ID", Variant(0.0)}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Variant> args{Variant(ObjectPtr(Dataset(c.row))), Variant(-7.0)};
    EXPECT_FALSE(CBool(import_->Call("CreateDocument", args)));
    EXPECT_EQ(CDbl(args[1]), -7);
    EXPECT_EQ(Chain(), before);
  }
}

TEST_F(DocumentImport, ANewDocumentTakesItsPlaceInTheChain) {
  const struct {
    Variant status, currency;
    int32_t statusQv, currencyId;
  } cases[] = {
      {Variant::Null(), Variant::Null(), 1, 157},
      {Variant(3), Variant(643), 3, 643},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.statusQv);
    TearDown();
    SetUp();
    auto rs = Dataset({{"DOCUMENT_ID", Variant(0.0)},
                       {"TEMPLATE_ID", Variant(101.0)},
                       {"TIME_ID", Variant(2513.0)},
                       {"TAXPAYER_ID", Variant(5.0)},
                       {"Instance_Number", Variant(0)},
                       {"DOC_TYPE", Variant(1)},
                       {"Notes", Variant("импорт")},
                       {"STATUS_Qv", c.status},
                       {"CURRENCY_ID", c.currency}});
    std::vector<Variant> args{Variant(ObjectPtr(rs)), Variant(0.0)};
    EXPECT_TRUE(CBool(import_->Call("CreateDocument", args)));
    EXPECT_EQ(CDbl(args[1]), 3);
    EXPECT_EQ(Chain(), "1:0.0 <0 >3; 2:0.2 <3 >0; 3:0.1 <1 >2");
    EXPECT_EQ(ChainFaults(), "");
    EXPECT_EQ(Text("select Status_Qv & '/' & Currency_ID & '/' & Notes & '/' & Status from "
                   "doc_registry where document_id = 3"),
              std::to_string(c.statusQv) + "/" + std::to_string(c.currencyId) + "/импорт/1");
    // The row as the service saw it: normalised, with the new identifier.
    EXPECT_EQ(CStr(rs->Value(0, rs->FieldIndex("utoch_number"))), "1");
    EXPECT_EQ(CStr(rs->Value(0, rs->FieldIndex("Status_id"))), "1");
    EXPECT_EQ(CStr(rs->Value(0, rs->FieldIndex("DOCUMENT_ID"))), "3");
  }
}

}  // namespace
}  // namespace qv::queries::testing
