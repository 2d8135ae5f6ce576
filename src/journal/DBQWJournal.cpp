#include "core/mQvDaoDataBase.h"
#include "journal/WjEventsFilter.h"
#include "journal/WorkJournal.h"
#include "records/MapperSession.h"
#include "records/miRecCollection.h"

namespace qv::journal {
namespace {
using namespace mQvDaoDataBase;

// The statement's rows on the user database the mappers use.
DaoRecordsetPtr Open(const std::string& sql) {
  return QvQuerySqlStatic(sql, records::MapperUserDatabase());
}

// The events sharing one column of a dictionary.
std::string DistinctOf(const char* column) {
  return "select distinct e." + std::string(column) + " AS Name from WjEvents AS e where e." +
         column + "<>'' ";
}

}  // namespace

CollectionPtr DBQWJournal::GetEventsOfPerson(double aPfrPersonID, Variant&) {
  return Guard(QV_HERE, [&] {
    auto rs =
        Open("select ID from WjEvents where PfrPersonID = " + Number2DaoSql(aPfrPersonID) + " ");
    return miRecCollection::GetRecCollection_QvWjEvent(*rs, "ID");
  });
}

CollectionPtr DBQWJournal::GetAccStreamsForEmitForTaxpayer(double aPersonID) {
  return Guard(QV_HERE, [&] {
    auto rs = Open("select ID from AccStream where PersonID = " + Number2DaoSql(aPersonID) +
                   " and AccStreamType = 2 ");
    return miRecCollection::GetRecCollection_QvAccStream(*rs, "ID");
  });
}

CollectionPtr DBQWJournal::GetEmitWaitingEventsOfTaxpayer(double aTaxpayerID, bool, Variant&) {
  return Guard(QV_HERE, [&] {
    auto rs = Open(
        "select e.ID AS ID "
        "from WjEvents AS e "
        "LEFT JOIN PfrPersons AS p ON p.ID = e.PfrPersonID "
        "where e.EventType in (1, 2, 3) and e.TrackingType = 1 and e.EmitState = 0 "
        "and p.Person_ID = " +
        Number2DaoSql(aTaxpayerID) + " order by e.PfrPersonID, e.EvDate ");
    return miRecCollection::GetRecCollection_QvWjEvent_Ex(*rs, "ID", false, false, true);
  });
}

void DBQWJournal::UnlinkEventsFromDeletingDocument(double aDocID, int32_t aAction) {
  Guard(QV_HERE, [&] {
    if (aAction != 1 && aAction != 2) return;
    QvExecuteSql("update WjEvents AS e set e.EmitState = " + std::to_string(aAction == 1 ? 0 : 2) +
                     ", e.EmitDocID = 0 "
                     "where e.TrackingType = 1 and e.EmitState = 1 and e.EmitDocID = " +

                     Number2DaoSql(aDocID) + " ",
                 records::MapperUserDatabase());
  });
}

CollectionPtr DBQWJournal::GetEventsOfTaxpayer(double aTaxpayerID, const Variant& aFilter,
                                               int32_t aResultOptions) {
  return Guard(QV_HERE, [&] {
    auto rs = Open(WjEventsFilter::FromObject(aFilter).Sql(aTaxpayerID));
    const bool preload = (aResultOptions & kPreload) != 0 && (aResultOptions & kNoPreload) == 0;
    return miRecCollection::GetRecCollection_QvWjEvent_Ex(
        *rs, "ID", (aResultOptions & kBareIds) != 0, (aResultOptions & kKeyed) != 0, preload);
  });
}

bool DBQWJournal::HasSentEventsOnPerson(double aPfrPersonID) {
  return Guard(QV_HERE, [&] {
    if (aPfrPersonID == 0) return false;
    return QvQueryExistence(
        "select top 1 e.ID from WjEvents AS e "
        "left join Doc_Registry AS d ON d.Document_ID = e.EmitDocID where e.PfrPersonID = " +
            Number2DaoSql(aPfrPersonID) +
            " and e.EventType in (1, 2) and e.TrackingType = 1 and e.CancelState = 0 and "
            "e.EmitState = 1 and d.Status_Qv in (2, 3) ",
        records::MapperUserDatabase());
  });
}

ado::RecordsetPtr DBQWJournal::GetSoftDict(int32_t aDictType, double aSubID,
                                           const std::string& aSort, int32_t aLimit) {
  return Guard(QV_HERE, [&] {
    std::string sql =
        "select * from WjSoftDicts where DictType = " + Number2DaoSql(aDictType) + " ";
    if (aSubID != 0) sql += " and SubID = " + Number2DaoSql(aSubID) + " ";
    if (!aSort.empty()) sql += " Order by UCase$(Name) ";
    if (aLimit > 0) sql = "select top " + Number2DaoSql(aLimit) + " * from ( " + sql + " ) ";
    return QvQuerySqlA(sql);
  });
}

ado::RecordsetPtr DBQWJournal::CollectMaterialForSoftDict(int32_t aDictType, double) {
  return Guard(QV_HERE, [&]() -> ado::RecordsetPtr {
    switch (aDictType) {
      case 1:
        return QvQuerySqlA(DistinctOf("EvPost"));
      case 2:
        return QvQuerySqlA(DistinctOf("EvDivision"));
      case 3:
        return QvQuerySqlA(DistinctOf("EvJobDescr"));
      case 4:
        return QvQuerySqlA("select distinct * from ( " + DistinctOf("EvBasdoc1Name") +
                           "union all " + DistinctOf("EvBasdoc2Name") + ") ");
      case 5:
        return QvQuerySqlA(DistinctOf("EvDismReason"));
      case 6:
        return QvQuerySqlA(DistinctOf("EvFuncCode"));
      default:
        return nullptr;
    }
  });
}

int32_t DBQWJournal::AddSoftDictItem(int32_t aDictType, double aSubID, const std::string& aName) {
  return Guard(QV_HERE, [&] {
    const Variant fields[] = {Variant("DictType"), Variant(aDictType), Variant("SubID"),
                              Variant(aSubID),     Variant("Name"),    Variant(aName)};
    return CLng(
        Variant(QvAddRecord("WjSoftDicts", "Id", "ID", 0, fields, records::MapperUserDatabase())));
  });
}

void DBQWJournal::UpdateSoftDictItem(int32_t aID, const std::string& aName) {
  Guard(QV_HERE, [&] {
    QvExecuteSql(
        "update WjSoftDicts set Name=" + DaoQString(aName) + " where ID = " + Number2DaoSql(aID),
        records::MapperUserDatabase());
  });
}

void DBQWJournal::DeleteSoftDictItem(int32_t aID) {
  Guard(QV_HERE, [&] {
    QvExecuteSql("delete WjSoftDicts where ID = " + Number2DaoSql(aID),
                 records::MapperUserDatabase());
  });
}

QV_DEFINE_CLASS(DBQWJournal, "Qv_DBProvider.DBQWJournal", QV_CREATABLE(DBQWJournal),
                Method("GetEventsOfPerson(aPfrPersonID, aParams)", &DBQWJournal::GetEventsOfPerson,
                       {Variant()}),
                Method("GetAccStreamsForEmitForTaxpayer(aPersonID)",
                       &DBQWJournal::GetAccStreamsForEmitForTaxpayer),
                Method("GetEmitWaitingEventsOfTaxpayer(aTaxpayerID, aWithLast2019, aParams)",
                       &DBQWJournal::GetEmitWaitingEventsOfTaxpayer, {Variant(false), Variant()}),
                Method("UnlinkEventsFromDeletingDocument(aDocID, aAction)",
                       &DBQWJournal::UnlinkEventsFromDeletingDocument),
                Method("GetEventsOfTaxpayer(aTaxpayerID, aFilter, aResultOptions)",
                       &DBQWJournal::GetEventsOfTaxpayer, {Variant(int32_t{0})}),
                Method("HasSentEventsOnPerson(aPfrPersonID)", &DBQWJournal::HasSentEventsOnPerson),
                Method("GetSoftDict(aDictType, aSubID, aSort, aLimit)", &DBQWJournal::GetSoftDict),
                Method("CollectMaterialForSoftDict(aDictType, aSubID)",
                       &DBQWJournal::CollectMaterialForSoftDict),
                Method("AddSoftDictItem(aDictType, aSubID, aName)", &DBQWJournal::AddSoftDictItem),
                Method("UpdateSoftDictItem(aID, aName)", &DBQWJournal::UpdateSoftDictItem),
                Method("DeleteSoftDictItem(aID)", &DBQWJournal::DeleteSoftDictItem))

}  // namespace qv::journal
