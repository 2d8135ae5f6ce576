#include "core/DBGlobalParams.h"

#include <algorithm>

#include "core/QvErrors.h"
#include "core/mErrorHandling.h"
#include "core/mQvCommonCalc.h"
#include "core/mQvDaoDataBase.h"
#include "core/miDataBase.h"
#include "platform/dao/Transaction.h"

namespace qv {

QV_DEFINE_CLASS(DBGlobalParams, "Qv_DBProvider.DBGlobalParams", QV_CREATABLE(DBGlobalParams),
                Method("GetNextDeliveryNumber", &DBGlobalParams::GetNextDeliveryNumber),
                Method("GetCurrentDeliveryNumber", &DBGlobalParams::GetCurrentDeliveryNumber))

namespace {
constexpr int kAttempts = 1000;
}

bool DBGlobalParams::HasRow() {
  return mQvCommonCalc::VarToLongDef(
             mQvDaoDataBase::QvQueryValue("select count (*) from GlobalParams"), 0) != 0;
}

int32_t DBGlobalParams::CurrentNumber() {
  using namespace mQvDaoDataBase;
  if (!HasRow()) QvExecuteSql("insert into GlobalParams (DeliveryNumber) values (0)");
  const int32_t stored =
      mQvCommonCalc::VarToLongDef(QvQueryValue("select top 1 DeliveryNumber from GlobalParams"), 0);
  const int32_t registered = mQvCommonCalc::VarToLongDef(Variant(LastRegNumber(nullptr)), 0);
  return std::max(stored, registered);
}

double DBGlobalParams::LastRegNumber(const std::shared_ptr<dao::Database>& db) {
  return Guard(QV_HERE, [&] {
    return mQvDaoDataBase::QvGetMaximumFromTable("doc_registry", "reg_number", db);
  });
}

double DBGlobalParams::NextRegNumber(const std::shared_ptr<dao::Database>& db) {
  return Guard(QV_HERE, [&] { return mQvDaoDataBase::NextId(db, "doc_registry", "reg_number"); });
}

int32_t DBGlobalParams::GetNextDeliveryNumber() {
  return Guard(QV_HERE, [&] {
    int32_t next = 0;
    dao::Transaction tx(*miDataBase::GetUserDataBase(), dao::kWriteLock);
    next = CLng(Variant(static_cast<double>(CurrentNumber()) + 1));
    int attempt = 0;
    for (; attempt < kAttempts; ++attempt) {
      mQvDaoDataBase::QvExecuteSql("update GlobalParams set DeliveryNumber=" +
                                   mQvDaoDataBase::Number2DaoSql(next));
      if (CurrentNumber() == next) break;
    }
    if (attempt == kAttempts)
      throw Error(liberr::kDeliveryCounter, std::string(liberr::kDeliveryCounterText));
    // The number leaves the database with the caller: the commit reaches
    // the disk before it is handed out, so no power cut can hand it out again.
    tx.Commit(/*flush=*/true);
    miDataBase::FlushObstacles();
    return next;
  });
}

int32_t DBGlobalParams::GetCurrentDeliveryNumber() {
  return Guard(QV_HERE, [&] {
    // Creating the missing row is a read-modify-write too.
    if (!HasRow()) {
      dao::Transaction tx(*miDataBase::GetUserDataBase(), dao::kWriteLock);
      CurrentNumber();
      tx.Commit();
    }
    return CurrentNumber();
  });
}

}  // namespace qv
