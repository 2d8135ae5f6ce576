#pragma once
// A fixed catalogue for the translator's tests.

#include <map>
#include <string>
#include <vector>

#include "platform/automation/VbaText.h"
#include "platform/jet/JetTranslator.h"
#include "platform/jet/sql/JetScope.h"

namespace qv::jet::test {

class TestSchema : public SchemaView {
 public:
  TestSchema() {
    using T = JetType;
    Add("t", {{"id", T::kLong},
              {"name", T::kText, 50},
              {"v", T::kDouble},
              {"d", T::kDate},
              {"b", T::kBoolean},
              {"c", T::kCurrency},
              {"n", T::kInteger},
              {"bt", T::kByte},
              {"s", T::kSingle},
              {"memo", T::kMemo},
              {"g", T::kGUID}});
    Add("u", {{"id", T::kLong}, {"tid", T::kLong}, {"name", T::kText, 30}});
    Add("doc_registry", {{"document_id", T::kLong},
                         {"taxpayer_id", T::kLong},
                         {"template_id", T::kLong},
                         {"time_id", T::kLong},
                         {"instance_number", T::kLong},
                         {"doc_type", T::kLong},
                         {"top_doc_id", T::kLong},
                         {"bottom_next_id", T::kLong},
                         {"status_qv", T::kLong},
                         {"accept_date", T::kDate}});
    Add("doc_templates", {{"template_id", T::kLong},
                          {"doc_type_id", T::kLong},
                          {"full_name", T::kText, 255},
                          {"FolderID", T::kLong}});
    Add("Person", {{"ID", T::kLong}, {"Type", T::kLong}, {"PersonRealID", T::kLong}});
    Add("LegalPerson", {{"ID", T::kLong},
                        {"ShortName", T::kText, 255},
                        {"FullName", T::kMemo},
                        {"INN", T::kText, 12},
                        {"KPP", T::kText, 9}});
    Add("NaturalPerson", {{"ID", T::kLong},
                          {"SurName", T::kText, 60},
                          {"Name", T::kText, 60},
                          {"Patronymic", T::kText, 60},
                          {"INN", T::kText, 12}});
    Add("Personnel", {{"ID", T::kLong},
                      {"WorkerID", T::kLong},
                      {"JobPlaceID", T::kLong},
                      {"PostName", T::kText, 255}});
    Add("PfrSubDocs", {{"ID", T::kLong},
                       {"DocumentID", T::kLong},
                       {"SubDocType", T::kLong},
                       {"PfrPersonID", T::kLong}});
    Add("PfrCellValues", {{"ID", T::kLong},
                          {"SubDocID", T::kLong},
                          {"Key", T::kLong},
                          {"Value", T::kText, 255},
                          {"TableNum", T::kLong},
                          {"LineNum", T::kLong}});
    Add("VarData", {{"ID", T::kGUID},
                    {"EventTime", T::kDate},
                    {"UserName", T::kText, 255},
                    {"EventType", T::kLong}});
    Add("WjSoftDicts", {{"ID", T::kLong}, {"DictType", T::kLong}, {"Name", T::kText, 255}});
    Add("Кадры", {{"Код", T::kLong}, {"Фамилия", T::kText, 60}});
  }

  const std::vector<ColumnInfo>* TableColumns(std::string_view table) const override {
    for (const auto& [name, columns] : tables_)
      if (NamesEqual(name, table)) return &columns;
    return nullptr;
  }

 private:
  void Add(std::string name, std::vector<ColumnInfo> columns) {
    tables_.emplace(std::move(name), std::move(columns));
  }

  std::map<std::string, std::vector<ColumnInfo>> tables_;
};

}  // namespace qv::jet::test
