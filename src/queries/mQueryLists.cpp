#include "queries/mQueryLists.h"

#include <algorithm>
#include <cmath>

#include "core/mQvDaoDataBase.h"
#include "core/miDataBase.h"
#include "records/miRecCollection.h"

namespace qv::queries {
using namespace mQvDaoDataBase;

namespace {

// A snapshot: the lists only read, and a snapshot is the cheapest result
// to walk once.
template <class Build>
CollectionPtr Run(const std::string& aSql, Build build) {
  DaoRecordsetPtr rs = QvQuerySqlStatic(aSql);
  CollectionPtr out = build(*rs, std::string("ID"));
  rs->Close();
  return out;
}

}  // namespace

CollectionPtr PersonsOf(const std::string& aSql) {
  return Run(aSql, &miRecCollection::GetRecCollection_QvPerson);
}
CollectionPtr WorkersOf(const std::string& aSql) {
  return Run(aSql, &miRecCollection::GetRecCollection_QvWorker);
}
CollectionPtr AccStreamsOf(const std::string& aSql) {
  return Run(aSql, &miRecCollection::GetRecCollection_QvAccStream);
}

void RequireId(double aID, std::string_view aWhat) {
  const std::string id = Number2DaoSql(aID);  // error 6 for a NaN or an infinity
  if (aID <= 0 || aID != std::floor(aID))
    ThrowVb(vberr::kInvalidProcedureCall,
            std::string(aWhat) + " must be an identifier above 0, not " + id);
}

void RequireStoredPerson(double aID, std::string_view aWhat) {
  RequireId(aID, aWhat);
  if (!QvIsKeyExists(miDataBase::GetUserDataBase(), "Person", "Id", Variant(aID)))
    ThrowVb(vberr::kInvalidProcedureCall,
            std::string(aWhat) + " " + Number2DaoSql(aID) + " is no stored person");
}

std::string LikeLiteral(std::string_view aText) {
  std::string out;
  for (char c : aText)
    if (c == '*' || c == '?' || c == '#' || c == '[')
      out += std::string("[") + c + "]";
    else
      out += c;
  return out;
}

}  // namespace qv::queries
