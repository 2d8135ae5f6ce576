#include "queries/DBQConsStream.h"

#include <algorithm>

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "core/miDataBase.h"
#include "platform/dao/Transaction.h"
#include "queries/mQueryLists.h"
#include "records/miRecCollection.h"

namespace qv::queries {
using namespace mQvDaoDataBase;

QV_DEFINE_CLASS(DBQConsStream, "Qv_DBProvider.DBQConsStream", QV_CREATABLE(DBQConsStream),
                Method("GetMembersListOfConsStream(aConsStreamID)",
                       &DBQConsStream::GetMembersListOfConsStream),
                Method("SaveMembersList(aConsStreamID, aMembersIDs)",
                       &DBQConsStream::SaveMembersList),
                Method("GetAllConsStreams", &DBQConsStream::GetAllConsStreams),
                Method("IsAnyConsStreamExists", &DBQConsStream::IsAnyConsStreamExists),
                Method("GetDocumentsCountInConsStream(aConsStreamID)",
                       &DBQConsStream::GetDocumentsCountInConsStream))

ado::RecordsetPtr DBQConsStream::GetMembersListOfConsStream(double aConsStreamID) {
  return Guard(QV_HERE, [&] {
    return QvQuerySqlA("select AccStreamID As ID from ConsMembers where ConsStreamID = " +
                       Number2DaoSql(aConsStreamID));
  });
}

void DBQConsStream::SaveMembersList(double aConsStreamID, const std::string& aMembersIDs) {
  Guard(QV_HERE, [&] {
    // Checked before anything is deleted: a bad list changes nothing.
    const std::string members =
        aMembersIDs.empty() ? std::string() : IdList2DaoSql(aMembersIDs, "aMembersIDs", ";");
    const std::string stream = Number2DaoSql(aConsStreamID);
    auto db = miDataBase::GetUserDataBase();
    dao::Transaction tx(*db, dao::kWriteLock);
    QvExecuteSql("delete from ConsMembers where ConsStreamID = " + stream, db);
    if (!members.empty()) {
      size_t from = 0;
      while (from <= members.size()) {
        const size_t end = std::min(members.find(';', from), members.size());
        QvExecuteSql("insert into ConsMembers (ID, ConsStreamID, AccStreamID) values (" +
                         Number2DaoSql(NextId(db, "ConsMembers", "ID")) + ", " + stream + ", " +
                         members.substr(from, end - from) + ")",
                     db);
        from = end + 1;
      }
    }
    tx.Commit();
  });
}

CollectionPtr DBQConsStream::GetAllConsStreams() {
  return Guard(QV_HERE, [&] {
    DaoRecordsetPtr rs = QvQuerySqlStatic("select ID from ConsStream");
    CollectionPtr out = miRecCollection::GetRecCollection_QvConsStream(*rs, "ID");
    rs->Close();
    return out;
  });
}

bool DBQConsStream::IsAnyConsStreamExists() {
  return Guard(QV_HERE, [&] { return QvQueryExistence("select top 1 ID from ConsStream"); });
}

int32_t DBQConsStream::GetDocumentsCountInConsStream(double aConsStreamID) {
  return Guard(QV_HERE, [&] {
    return CLng(QvQueryValue("select count (*) from ConsDocs where ConsStream_ID = " +
                             Number2DaoSql(aConsStreamID)));
  });
}

}  // namespace qv::queries
