#include "pfr/mPfrQueries.h"

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "core/miDataBase.h"
#include "pfr/IntPfrCellValuesTable.h"
#include "pfr/mPfrInternal.h"
#include "platform/automation/VbaText.h"
#include "records/miRecCollection.h"
#include "siblings/records/RecordFactory.h"

namespace qv::pfr::mPfrQueries {
using namespace mQvDaoDataBase;

namespace {

template <class Build>
CollectionPtr Run(const std::string& aSql, Build build) {
  DaoRecordsetPtr rs = QvQuerySqlStatic(aSql);
  CollectionPtr out = build(*rs);
  rs->Close();
  return out;
}

}  // namespace

CollectionPtr IdsOf(const std::string& aSql) {
  // The identifiers are stepped from SQLite straight into the collection.
  std::optional<jet::Statement> st = QvPrepareQuery(aSql);
  const int id = st ? st->ColumnIndex("ID") : -1;
  if (id < 0)  // a table's name, or no column "ID": read (and failing) as a recordset
    return Run(
        aSql, [](dao::Recordset& rs) { return miRecCollection::GetIDCollection(rs, "ID", false); });
  auto out = std::make_shared<Collection>();
  while (st->Step()) out->Add(Variant(CDblOr(st->Value(id), 0)));
  return out;
}

double FirstIdOf(const std::string& aSql) {
  // Only the first row is stepped from SQLite, as IdsOf steps them all.
  std::optional<jet::Statement> st = QvPrepareQuery(aSql);
  if (const int id = st ? st->ColumnIndex("ID") : -1; id >= 0)
    return st->Step() ? CDblOr(st->Value(id), 0) : 0;
  DaoRecordsetPtr rs = QvQuerySqlStatic(aSql);
  const double id = rs->IsEOF() ? 0 : GetDaoDouble(*rs, "ID");
  rs->Close();
  return id;
}

CollectionPtr SubDocsOf(const std::string& aSql) {
  return Run(aSql, [](dao::Recordset& rs) {
    return miRecCollection::GetRecCollection_QvPfrSubDoc(rs, "ID");
  });
}

CollectionPtr PfrPersonsOf(const std::string& aSql) {
  return Run(aSql, [](dao::Recordset& rs) {
    return miRecCollection::GetRecCollection_QvPfrPerson(rs, "ID");
  });
}

ObjectPtr SubDocOrNothing(double aID) {
  if (aID == 0) return nullptr;
  return records::RecordFactory::ForThisThread()->GetRecord("Qv_PfrRecords.QvPfrSubDoc",
                                                            Variant(aID));
}

std::string PersonSubDocsSql(double aDocumentID, double aPfrPersonID,
                             const std::string& aSubDocTypes, bool aTop1) {
  const std::string ofPerson =
      "from PfrSubDocs where PfrPersonID = " + Number2DaoSql(aPfrPersonID) +
      " and DocumentID = " + Number2DaoSql(aDocumentID) + " " + SubDocTypesCondition(aSubDocTypes);
  if (aTop1) return "select min(ID) AS ID " + ofPerson;
  return "select ID " + ofPerson + " order by ID";
}

std::string SubDocTypesCondition(const std::string& aSubDocTypes, std::string_view aColumn) {
  if (TrimBlanks(aSubDocTypes) == "*") return "";
  return " and " + std::string(aColumn) + " in (" +
         mPfrInternal::CommaList2DaoSql(aSubDocTypes, "aSubDocTypes") + ") ";
}

std::vector<Variant> Elements(const Variant& aArray) {
  if (!aArray.IsArray()) return {aArray};
  return aArray.AsArray().items;
}

std::string NumList(const std::vector<double>& aIDs) {
  std::string list;
  for (double id : aIDs) list += (list.empty() ? "" : ", ") + Number2DaoSql(id);
  return list;
}

std::string CellText(double aSubDocID, int32_t aKey) {
  return IntPfrCellValuesTable::ReadValue(*miDataBase::GetUserDataBase(), aSubDocID, aKey, 0, 0)
      .value_or(std::string());
}

}  // namespace qv::pfr::mPfrQueries
