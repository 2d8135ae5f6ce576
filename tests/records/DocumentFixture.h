#pragma once
// Documents on a data folder of their own: two report forms, an
// organisation and an entrepreneur with a stream each, and helpers that add
// documents and cells and render a chain or a document's cells as one text.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ChainCheck.h"
#include "records/DBDocument.h"
#include "records/EntityFixture.h"

namespace qv::records::testing {

class DocumentTest : public EntityTest {
 protected:
  // Periods of the reference data: time_id = (year - 2000) * 100 + report.
  static constexpr double kQ1 = 2513, kQ2 = 2514;
  static constexpr double kOrgStream = 5, kIeStream = 6;
  // Class 10 (VAT, quarterly, amounts in thousands): templates 101 and its
  // newer version 102. Class 20: template 201, a big document (editor 6).
  static constexpr double kVat = 101, kBig = 201;

  void SetUp() override {
    EntityTest::SetUp();
    InsertRows("insert into doc_type_class (doc_type_id, ID, KND, scale_index, list_order)",
               {"(10, 10, '1151001', 1, 1)", "(20, 20, '1151111', 0, 2)"});
    InsertRows("insert into doc_templates (template_id, doc_type_id, enable, EditorType, Name)",
               {"(101, 10, 1, 1, 'VAT')", "(102, 10, 1, 1, 'VAT 2')", "(201, 20, 1, 6, 'Big')"});
    Sql("insert into Person (ID, Type, PersonRealID) values (1, 2, 1)");
    Sql("insert into LegalPerson (ID, ShortName, LPCategory) values (1, 'ООО «Ромашка»', 1)");
    Sql("insert into Person (ID, Type, PersonRealID) values (2, 1, 1)");
    Sql("insert into NaturalPerson (ID, Surname) values (1, 'Иванов')");
    InsertRows("insert into AccStream (ID, PersonID, DisplayName, AccStreamType)",
               {"(5, 1, 'Org', 1)", "(6, 2, 'IE', 2)"});
  }

  // A document row of the org stream in Q1 of template 101 unless `more`
  // ("col = value, ...") says otherwise.
  void AddDoc(double id, const std::string& more = "") {
    Sql("insert into doc_registry (document_id, template_id, time_id, taxpayer_id, "
        "instance_number, doc_type, top_doc_id, bottom_next_id, Status_Qv, Currency_ID) values (" +
        CStr(Variant(id)) + ", 101, 2513, 5, 0, 0, 0, 0, 1, 157)");
    if (!more.empty())
      Sql("update doc_registry set " + more + " where document_id = " + CStr(Variant(id)));
  }
  void AddCell(double doc, const std::string& key, const std::string& value, int type = 129) {
    Sql("insert into doc_cell_values (document_id, cell_key, first_value, first_type) values (" +
        CStr(Variant(doc)) + ", '" + key + "', '" + value + "', " + std::to_string(type) + ")");
  }

  // "key=value/type" of every cell of a document, ordered by key, "; "
  // between them.
  std::string Cells(double doc) {
    return Rows(
        "select cell_key & '=' & first_value & '/' & first_type from doc_cell_values where "
        "document_id = " +
        CStr(Variant(doc)) + " order by cell_key");
  }

  // "id:instance.adjustment <bottom >top" of the documents of a stream and
  // period, in identifier order.
  std::string Chain(double stream = kOrgStream, double period = kQ1) {
    return Rows(
        "select document_id & ':' & instance_number & '.' & doc_type & ' <' & bottom_next_id & "
        "' >' & top_doc_id from doc_registry where taxpayer_id = " +
        CStr(Variant(stream)) + " and time_id = " + CStr(Variant(period)) +
        " order by document_id");
  }

  // What breaks the rules of the documents' chains and cells (the checks of
  // `qvdb check`), "; " after each; "" when they hold.
  std::string ChainFaults() {
    std::string faults;
    for (const std::string& p : qvdb::ChainProblems(*db_)) faults += p + "; ";
    return faults;
  }

  QvRecordPtr Read(double id) {
    auto doc = New("QvDocument");
    DBDocument().ReadRecord(id, Obj(doc));
    return doc;
  }
};

}  // namespace qv::records::testing
