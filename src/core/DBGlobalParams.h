#pragma once
// DBGlobalParams ("Qv_DBProvider.DBGlobalParams"): the delivery (file)
// number counter. The current number is the larger of the stored
// GlobalParams.DeliveryNumber and the largest doc_registry.reg_number, so a
// document registered under a higher number raises the next delivery
// number past it.

#include <cstdint>
#include <memory>

#include "platform/automation/Object.h"

namespace qv {

namespace dao {
class Database;
}

class DBGlobalParams : public Object {
  QV_DECLARE_CLASS(DBGlobalParams)

 public:
  // Stores and returns the current number + 1. The number is read, written
  // and read back (up to 1000 times until the stored one is the new one)
  // in one write-locked transaction, so concurrent callers in any process
  // never get the same number. Error -2147220991 when 1000 attempts did not
  // store it.
  int32_t GetNextDeliveryNumber();
  // The current number; the one GlobalParams row is created (0) when missing.
  int32_t GetCurrentDeliveryNumber();

  // ---- library-internal: the registration numbers of documents
  // The largest doc_registry.reg_number, 0 when there is none (null: the
  // user database).
  static double LastRegNumber(const std::shared_ptr<dao::Database>& db);
  // The number of a document registered now: LastRegNumber + 1. REQUIRES a
  // write-locked scope on `db` up to the row's write (mQvDaoDataBase::NextId).
  static double NextRegNumber(const std::shared_ptr<dao::Database>& db);

 private:
  bool HasRow();
  // Creates the row when missing; the larger of the two numbers.
  int32_t CurrentNumber();
};

}  // namespace qv
