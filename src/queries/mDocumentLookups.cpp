#include "queries/mDocumentLookups.h"

#include <string>

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "records/miRecCollection.h"

namespace qv::queries {

namespace {
constexpr std::string_view kModule = "mDocumentLookups";
using namespace mQvDaoDataBase;

std::string AttributesSql(double aDocID) {
  return "select r.template_id, r.time_id, t.doc_type_id, r.taxpayer_id "
         "from doc_registry as r "
         "left join doc_templates as t on t.template_id = r.template_id "
         "where r.document_id=" +
         Number2DaoSql(aDocID);
}

DocAttributes FromRow(dao::Recordset& rs) {
  return {CDblOr(rs.FieldValue(0), 0), CDblOr(rs.FieldValue(1), 0), CDblOr(rs.FieldValue(2), 0),
          CDblOr(rs.FieldValue(3), 0)};
}
}  // namespace

std::optional<DocAttributes> FindDocAttributes(double aDocID) {
  return Guard(QV_HERE, [&]() -> std::optional<DocAttributes> {
    auto rs = QvQuerySqlStatic(AttributesSql(aDocID));
    if (rs->IsEOF()) return std::nullopt;
    DocAttributes a = FromRow(*rs);
    rs->Close();
    return a;
  });
}

DocAttributes DocAttributesOf(double aDocID) {
  return Guard(QV_HERE, [&] {
    DaoRecordsetPtr rs;
    QvQueryValues(AttributesSql(aDocID), rs);
    DocAttributes a = FromRow(*rs);
    rs->Close();
    return a;
  });
}

CollectionPtr DocumentRecords(const std::string& sql) {
  return Guard(QV_HERE, [&] {
    auto rs = QvQuerySqlStatic(sql);
    CollectionPtr docs = miRecCollection::GetRecCollection_QvDocument(*rs, "ID");
    rs->Close();
    return docs;
  });
}

void RequireRow(std::string_view table, std::string_view keyColumn, double aID,
                std::string_view what) {
  Guard(QV_HERE, [&] {
    if (!QvQueryExistence("select " + std::string(keyColumn) + " from " + std::string(table) +
                          " where " + std::string(keyColumn) + " = " + Number2DaoSql(aID)))
      ThrowVb(vberr::kInvalidProcedureCall,
              std::string(what) + " " + Number2DaoSql(aID) + " does not exist");
  });
}

}  // namespace qv::queries
