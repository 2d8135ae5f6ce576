#include "core/DBGlobalParams.h"

#include <algorithm>

#include "core/QvErrors.h"
#include "core/mErrorHandling.h"
#include "core/mQvCommonCalc.h"
#include "core/mQvDaoDataBase.h"
#include "core/miDataBase.h"

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
  const int32_t registered =
      mQvCommonCalc::VarToLongDef(QvQueryValue("select max (reg_number) from doc_registry"), 0);
  return std::max(stored, registered);
}

int32_t DBGlobalParams::GetNextDeliveryNumber() {
  return Guard(QV_HERE, [&] {
    int32_t next = 0;
    mQvDaoDataBase::QvWithWriteLock(nullptr, [&] {
      next = CLng(Variant(static_cast<double>(CurrentNumber()) + 1));
      for (int attempt = 0; attempt < kAttempts; ++attempt) {
        mQvDaoDataBase::QvExecuteSql("update GlobalParams set DeliveryNumber=" +
                                     std::to_string(next));
        if (CurrentNumber() == next) return;
      }
      throw Error(liberr::kDeliveryCounter, std::string(liberr::kDeliveryCounterText));
    });
    miDataBase::FlushObstacles();
    return next;
  });
}

int32_t DBGlobalParams::GetCurrentDeliveryNumber() {
  return Guard(QV_HERE, [&] {
    // Creating the missing row is a read-modify-write too.
    if (!HasRow()) mQvDaoDataBase::QvWithWriteLock(nullptr, [&] { CurrentNumber(); });
    return CurrentNumber();
  });
}

}  // namespace qv
