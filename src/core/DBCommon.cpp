#include "core/DBCommon.h"

#include "core/DBLockManager.h"
#include "core/mErrorHandling.h"
#include "core/mQvCommonCalc.h"
#include "core/mQvDaoDataBase.h"
#include "core/miDataBase.h"
#include "platform/dao/Transaction.h"

namespace qv {

QV_DEFINE_CLASS(DBCommon, "Qv_DBProvider.DBCommon", QV_CREATABLE(DBCommon),
                Method("GetDBConnection", &DBCommon::GetDBConnection),
                Method("FlushObstacleData", &DBCommon::FlushObstacleData),
                Method("CloseDatabase", &DBCommon::CloseDatabase),
                Method("GetDBVerion", &DBCommon::GetDBVerion),
                Method("GetDaoVersion", &DBCommon::GetDaoVersion),
                Method("GetCurrCounter(aType, aYear)", &DBCommon::GetCurrCounter,
                       {Variant(int32_t{0})}),
                Method("GetNextCounter(aType, aYear)", &DBCommon::GetNextCounter,
                       {Variant(int32_t{0})}),
                Method("GetUserDBLockManager", &DBCommon::GetUserDBLockManager),
                Method("IsDataBaseLockingEnabled", &DBCommon::IsDataBaseLockingEnabled),
                Method("GetFormatDBVerion", &DBCommon::GetFormatDBVerion))

std::shared_ptr<ado::Connection> DBCommon::GetDBConnection() {
  return Guard(QV_HERE, [] {
    auto conn = std::dynamic_pointer_cast<ado::Connection>(CreateObject("ADODB.Connection"));
    if (!conn) ThrowVb(vberr::kTypeMismatch, "ADODB.Connection");
    // The user database's file, or on a server folder its location there.
    conn->SetConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" +
                              miDataBase::GetUserDBFileName());
    conn->Open("", "", "", -1);
    return conn;
  });
}

void DBCommon::FlushObstacleData() {
  Guard(QV_HERE, [] { miDataBase::FlushObstacles(); });
}

void DBCommon::CloseDatabase() {
  Guard(QV_HERE, [] { miDataBase::CloseDatabase(); });
}

std::string DBCommon::GetDBVerion() {
  return Guard(QV_HERE, [] {
    return CStr(mQvDaoDataBase::QvQueryValue(
        "select top 1 CStr (MajorVersion) + '.' + CStr (MinorVersion) + '.' "
        "+ CStr (BuildNumber) AS Version "

        "from DBVersion "));
  });
}

std::string DBCommon::GetDaoVersion() {
  return Guard(QV_HERE, [] { return miDataBase::GetDBEngine()->Version(); });
}

int32_t DBCommon::GetCurrCounter(int32_t aType, int32_t aYear) {
  return Guard(QV_HERE, [&] {
    const Variant value = mQvDaoDataBase::QvQueryValueSafe(
        "select CounterValue From Counters where CounterType = " +
            mQvDaoDataBase::Number2DaoSql(aType) +
            " and TheYear = " + mQvDaoDataBase::Number2DaoSql(aYear) + " ",
        Variant(int32_t{0}));
    return mQvCommonCalc::VarToLongDef(value, 0);
  });
}

int32_t DBCommon::GetNextCounter(int32_t aType, int32_t aYear) {
  return Guard(QV_HERE, [&] {
    int32_t result = 0;
    dao::Transaction tx(*miDataBase::GetUserDataBase(), dao::kWriteLock);
    auto rs = mQvDaoDataBase::QvGetTableRS("Counters", "Idx1");
    const Variant keys[] = {Variant(aType), Variant(aYear)};
    rs->Seek("=", keys);
    if (rs->NoMatch()) {
      rs->AddNew();
      rs->SetField("CounterType", Variant(aType));
      rs->SetField("TheYear", Variant(aYear));
      rs->SetField("CounterValue", Variant(int32_t{1}));
      result = 1;
    } else {
      rs->Edit();
      const int32_t current = mQvDaoDataBase::GetDaoLong(*rs, "CounterValue");
      result = CLng(Variant(static_cast<double>(current) + 1));
      rs->SetField("CounterValue", Variant(result));
    }
    rs->Update();
    rs->Close();
    // The number leaves the database with the caller: the commit reaches
    // the disk before it is handed out, so no power cut can hand it out again.
    tx.Commit(/*flush=*/true);
    miDataBase::FlushObstacles();
    return result;
  });
}

std::shared_ptr<DBLockManager> DBCommon::GetUserDBLockManager() {
  return Guard(QV_HERE, [] { return miDataBase::GetUserLockManager(); });
}

bool DBCommon::IsDataBaseLockingEnabled() {
  return Guard(QV_HERE, [] { return miDataBase::IsDBLockingEnabled(); });
}

std::string DBCommon::GetFormatDBVerion() {
  return Guard(QV_HERE, [] { return miDataBase::GetUserDataBase()->Version(); });
}

}  // namespace qv
