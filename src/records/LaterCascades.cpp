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

using mQvDaoDataBase::Number2DaoSql;

void DeleteDocumentsOfStream(dao::Database& db, double aAccStreamID) {
  CollectionPtr docs =
      miDocument::DocumentsWhere(db, "Taxpayer_Id = " + Number2DaoSql(aAccStreamID));
  for (int32_t i = 1; i <= docs->Count(); ++i)
    DeleteRow(db, DBDocument::Def(), static_cast<QvRecord*>(docs->At(i).AsObject().get()));
}

void DeletePfrPersonsOfTaxpayer(dao::Database& db, double aPersonID) {
  DeleteRecordsListed(db, "select ID from PfrPersons where Person_ID = " + Number2DaoSql(aPersonID),
                      "Qv_PfrRecords.QvPfrPerson");
}

void DeletePermBlocks(dao::Database& db, const std::string& blocksWhere,
                      const std::string& blocksDelete) {
  const std::string blocks = "select b.ID from PermBlocks AS b where " + blocksWhere;
  const auto target = SharedDatabase(db);
  mQvDaoDataBase::QvExecuteSql(
      "delete from PermDocLists as d where d.MultiBlockID in "
      "( select m.ID from PermMultiBlocks AS m "
      "where m.BlockID in ( " +
          blocks + " ) ) ",
      target);
  mQvDaoDataBase::QvExecuteSql(
      "delete from PermMultiBlocks AS m where m.BlockID in ( " + blocks + " ) ", target);
  mQvDaoDataBase::QvExecuteSql(
      "delete from PermObjectLists AS o where o.BlockID in ( " + blocks + " ) ", target);
  mQvDaoDataBase::QvExecuteSql(blocksDelete, target);
}

void DeletePermObjectReferences(dao::Database& db, int32_t aBlockType, double aObjectID) {
  const std::string type = Number2DaoSql(aBlockType), object = Number2DaoSql(aObjectID);
  DeletePermBlocks(
      db, "b.BlockType = " + type + " and b.PermObjectID = " + object,
      "Delete from PermBlocks where BlockType = " + type + " and PermObjectID = " + object);
}

}  // namespace qv::records
