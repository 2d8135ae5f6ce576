#include "records/LaterCascades.h"

#include <string>

#include "core/mQvDaoDataBase.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"
#include "records/miRecCollection.h"
#include "siblings/records/QvRecord.h"

namespace qv::records {

namespace {
using mQvDaoDataBase::Number2DaoSql;

mQvDaoDataBase::DatabasePtr Ptr(dao::Database& db) {
  return std::static_pointer_cast<dao::Database>(db.shared_from_this());
}
}  // namespace

void DeleteDocumentsOfStream(dao::Database& db, double aAccStreamID) {
  auto rs = mQvDaoDataBase::QvQuerySqlStatic(
      "Select Document_ID AS ID From Doc_Registry Where Taxpayer_Id = " +
          Number2DaoSql(aAccStreamID),
      Ptr(db));
  CollectionPtr docs = miRecCollection::GetRecCollection_QvDocument(*rs, "ID");
  rs->Close();
  for (int32_t i = 1; i <= docs->Count(); ++i)
    std::static_pointer_cast<QvRecord>(docs->At(i).AsObject())->DeleteFromStore();
}

void DeletePfrPersonsOfTaxpayer(dao::Database& db, double aPersonID) {
  auto rs = mQvDaoDataBase::QvQuerySqlStatic(
      "select ID from PfrPersons where Person_ID = " + Number2DaoSql(aPersonID), Ptr(db));
  CollectionPtr persons = miRecCollection::GetRecCollection_QvPfrPerson(*rs, "ID");
  rs->Close();
  for (int32_t i = 1; i <= persons->Count(); ++i)
    std::static_pointer_cast<QvRecord>(persons->At(i).AsObject())->DeleteFromStore();
}

void DeletePermObjectReferences(dao::Database& db, int32_t aBlockType, double aObjectID) {
  const std::string blocks =
      "select b.ID from PermBlocks AS b where b.BlockType = " + std::to_string(aBlockType) +
      " and b.PermObjectID = " + Number2DaoSql(aObjectID);
  const auto target = Ptr(db);
  mQvDaoDataBase::QvExecuteSql(
      "delete from PermDocLists as d where d.MultiBlockID in ( select m.ID from PermMultiBlocks "
      "AS m where m.BlockID in ( " +
          blocks + " ) ) ",
      target);
  mQvDaoDataBase::QvExecuteSql(
      "delete from PermMultiBlocks AS m where m.BlockID in ( " + blocks + " ) ", target);
  mQvDaoDataBase::QvExecuteSql(
      "delete from PermObjectLists AS o where o.BlockID in ( " + blocks + " ) ", target);
  mQvDaoDataBase::QvExecuteSql(
      "Delete from PermBlocks where BlockType = " + std::to_string(aBlockType) +
          " and PermObjectID = " + Number2DaoSql(aObjectID),
      target);
}

}  // namespace qv::records
