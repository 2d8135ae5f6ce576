#include "records/LaterCascades.h"

#include <string>

#include "core/mQvDaoDataBase.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"
#include "records/DBDocument.h"
#include "records/MapperSession.h"
#include "records/miDocument.h"
#include "records/miRecCollection.h"
#include "siblings/records/QvRecord.h"

namespace qv::records {

namespace {
using mQvDaoDataBase::Number2DaoSql;

}  // namespace

void DeleteDocumentsOfStream(dao::Database& db, double aAccStreamID) {
  CollectionPtr docs =
      miDocument::DocumentsWhere(db, "Taxpayer_Id = " + Number2DaoSql(aAccStreamID));
  for (int32_t i = 1; i <= docs->Count(); ++i)
    DeleteRow(db, DBDocument::Def(), static_cast<QvRecord*>(docs->At(i).AsObject().get()));
}

void DeletePfrPersonsOfTaxpayer(dao::Database& db, double aPersonID) {
  auto rs = mQvDaoDataBase::QvQuerySqlStatic(
      "select ID from PfrPersons where Person_ID = " + Number2DaoSql(aPersonID),
      SharedDatabase(db));
  CollectionPtr persons = miRecCollection::GetRecCollection_QvPfrPerson(*rs, "ID");
  rs->Close();
  for (int32_t i = 1; i <= persons->Count(); ++i)
    std::static_pointer_cast<QvRecord>(persons->At(i).AsObject())->DeleteFromStore();
}

void DeletePermObjectReferences(dao::Database& db, int32_t aBlockType, double aObjectID) {
  const std::string blocks =
      "select b.ID from PermBlocks AS b where b.BlockType = " + std::to_string(aBlockType) +
      " and b.PermObjectID = " + Number2DaoSql(aObjectID);
  const auto target = SharedDatabase(db);
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
