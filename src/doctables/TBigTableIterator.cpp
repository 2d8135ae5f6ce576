#include "doctables/TBigTableIterator.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <span>
#include <string>
#include <string_view>

#include "core/mErrorHandling.h"
#include "core/mQvCommonCalc.h"
#include "core/mQvDaoDataBase.h"
#include "platform/automation/VbaText.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/Database.h"
#include "platform/jet/JetConnection.h"

namespace qv::doctables {

using mQvDaoDataBase::Number2DaoSql;

namespace {

// The fields an iterator reads, in the order the walk selects them.
constexpr std::string_view kFields[] = {"ID", "SubDocType", "PfrPersonID", "VolumeID", "OrderNum"};
constexpr int kOrderNum = 4, kRowid = 5;

int FieldOf(std::string_view name) {
  for (size_t i = 0; i < std::size(kFields); ++i)
    if (NamesEqual(kFields[i], name)) return static_cast<int>(i);
  return -1;
}

// The volume's rows after a key (OrderNum, rowid), in the order of the
// "Vol" index (VolumeID, OrderNum; rowid among equals).
constexpr std::string_view kWalkSql =
    "SELECT ID, SubDocType, PfrPersonID, VolumeID, OrderNum, rowid FROM SubDocs "
    "WHERE VolumeID = ?1 AND (OrderNum, rowid) > (?2, ?3) ORDER BY OrderNum, rowid";

// The same on a server shard, where a row has no lasting rowid: ties of
// OrderNum go in the order of ID, the table's primary key. At most
// `serverWalkBatch` rows a select: a statement run among a select's rows
// reads its rest into memory, and a caller reads cells between the rows.
// Parameters in text order: TOP's count, the volume, OrderNum twice, ID.
std::string ServerWalkSql() {
  return "SELECT TOP " + std::to_string(std::max(serverWalkBatch, 1)) +
         " [ID], [SubDocType], [PfrPersonID], [VolumeID], [OrderNum] FROM [SubDocs] "
         "WHERE [VolumeID] = 0.5 AND ([OrderNum] > 0.5 OR ([OrderNum] = 0.5 AND [ID] > 0.5)) "
         "ORDER BY [OrderNum], [ID]";
}

}  // namespace

TBigTableIterator::~TBigTableIterator() {
  ReleaseSnapshot();
}

void TBigTableIterator::InitAsNdsSubDocsIterator(const std::shared_ptr<dao::Database>& aShard0,
                                                 double aVolumeID) {
  Guard(QV_HERE, [&] {
    mode_ = kVolumeSubDocs;
    ReleaseSnapshot();
    db_ = aShard0;
    volumeId_ = aVolumeID;
    count_ = -1;
    // Before every row of the volume (OrderNum and the rowid are integers).
    row_[kOrderNum] = row_[kRowid] = Variant(-std::numeric_limits<double>::max());
    if (db_->IsServer()) {
      walk_.reset();
      serverWalk_ = db_->ServerEngine().Prepare(ServerWalkSql());
      serverBatch_ = std::max(serverWalkBatch, 1);
      serverWalk_->Bind(2, Variant(mQvDaoDataBase::Number2DaoValue(aVolumeID)));
      serverStepping_ = false;
      // A start the server's numbers read back exactly (its text of the
      // largest double rounds past the range).
      row_[kOrderNum] = row_[kRowid] = Variant(-1e15);
    } else {
      serverWalk_.reset();
      walk_.emplace(db_->Connection().PrepareNative(kWalkSql));
      walk_->Bind(1, Variant(mQvDaoDataBase::Number2DaoValue(aVolumeID)));
    }
    eof_ = false;
    Advance();
  });
}

void TBigTableIterator::Advance() {
  if (serverWalk_) {
    if (!serverStepping_) {
      HoldSnapshot();
      serverWalk_->Bind(3, row_[kOrderNum]);
      serverWalk_->Bind(4, row_[kOrderNum]);
      serverWalk_->Bind(5, row_[kRowid]);
      batchRows_ = 0;
    }
    if (serverWalk_->Step()) {
      serverStepping_ = true;
      ++batchRows_;
      serverWalk_->Values(std::span<Variant>(row_, kRowid));
      row_[kRowid] = row_[0];
      return;
    }
    // A full batch: the next goes on from its last key, in the same
    // snapshot.
    if (batchRows_ == serverBatch_) {
      serverWalk_->Reset();
      serverStepping_ = false;
      Advance();
      return;
    }
    eof_ = true;
    serverWalk_.reset();
    ReleaseSnapshot();
    return;
  }
  // A statement reset since its last row (or never stepped) starts after
  // the current key.
  if (!walk_->Busy()) {
    walk_->Bind(2, row_[kOrderNum]);
    walk_->Bind(3, row_[kRowid]);
  }
  if (walk_->Step()) {
    walk_->Values(row_);
    return;
  }
  // The end: the statement goes back to the connection's cache, and with
  // it the read snapshot.
  eof_ = true;
  walk_.reset();
}

void TBigTableIterator::EndSnapshot() noexcept {
  if (walk_) walk_->Reset();
  if (serverWalk_) {
    try {
      serverWalk_->Reset();
    } catch (const Error&) {
      // A connection lost: the next step fails with it.
    }
    serverStepping_ = false;
  }
}

void TBigTableIterator::HoldSnapshot() {
  jet::Engine& engine = db_->ServerEngine();
  engine.HoldReadSnapshot();
  if (holdsSnapshot_) engine.ReleaseReadSnapshot();
  holdsSnapshot_ = true;
}

void TBigTableIterator::ReleaseSnapshot() noexcept {
  if (holdsSnapshot_ && db_ && db_->IsOpen()) db_->ServerEngine().ReleaseReadSnapshot();
  holdsSnapshot_ = false;
}

void TBigTableIterator::Close() noexcept {
  ReleaseSnapshot();
  walk_.reset();
  serverWalk_.reset();
  eof_ = true;
  db_.reset();
}

const Variant* TBigTableIterator::Current(const std::string& aName) const {
  if (!db_ || !db_->IsOpen()) dao::ThrowDao(dao::daoerr::kObjectInvalid, dao::kSourceRecordset);
  const int i = FieldOf(aName);
  if (i < 0) dao::ThrowDao(dao::daoerr::kItemNotFound, dao::kSourceFields);
  return eof_ ? nullptr : &row_[i];
}

int32_t TBigTableIterator::Count() {
  return Guard(QV_HERE, [&] {
    if (count_ < 0)
      count_ = CLng(mQvDaoDataBase::QvQueryValue(
          "select count(*) from SubDocs where VolumeID = " + Number2DaoSql(volumeId_), Variant(),
          db_));
    return count_;
  });
}

void TBigTableIterator::MoveNext() {
  Guard(QV_HERE, [&] {
    if (!db_ || !db_->IsOpen()) dao::ThrowDao(dao::daoerr::kObjectInvalid, dao::kSourceRecordset);
    if (eof_) ThrowVb(vberr::kInvalidProcedureCall, "the walk is at its end");
    Advance();
  });
}

Variant TBigTableIterator::GetField(const std::string& aName) {
  return Guard(QV_HERE, [&] {
    const Variant* v = Current(aName);
    return v ? *v : Variant();
  });
}

std::string TBigTableIterator::GetString(const std::string& aName, const std::string& aDefault) {
  return Guard(QV_HERE, [&] {
    const Variant* v = Current(aName);
    return v ? mQvCommonCalc::ConvertOr(
                   *v, aDefault,
                   [&](const Variant& x) { return mQvCommonCalc::VarToStr(x, aDefault); })
             : aDefault;
  });
}

int32_t TBigTableIterator::GetLong(const std::string& aName, int32_t aDefault) {
  return Guard(QV_HERE, [&] {
    const Variant* v = Current(aName);
    return v ? mQvCommonCalc::VarToLongDef(*v, aDefault) : aDefault;
  });
}

double TBigTableIterator::GetDouble(const std::string& aName, double aDefault) {
  return Guard(QV_HERE, [&] {
    const Variant* v = Current(aName);
    return v ? mQvCommonCalc::VarToDoubleDef(*v, aDefault) : aDefault;
  });
}

Variant TBigTableIterator::GetDate(const std::string& aName) {
  return Guard(QV_HERE, [&] {
    const Variant* v = Current(aName);
    return !v || v->IsEmptyOrNull() ? Variant() : Variant(CDate(*v));
  });
}

QV_DEFINE_CLASS(TBigTableIterator, "Qv_DBProvider.TBigTableIterator", nullptr,
                Method("Count", &TBigTableIterator::Count),
                Method("MoveNext", &TBigTableIterator::MoveNext),
                Method("IsEOF", &TBigTableIterator::IsEOF),
                Method("GetField(aName)", &TBigTableIterator::GetField),
                Method("GetString(aName, aDefault)", &TBigTableIterator::GetString, {Variant("")}),
                Method("GetLong(aName, aDefault)", &TBigTableIterator::GetLong,
                       {Variant(int32_t{0})}),
                Method("GetDouble(aName, aDefault)", &TBigTableIterator::GetDouble, {Variant(0.0)}),
                Method("GetDate(aName)", &TBigTableIterator::GetDate))

}  // namespace qv::doctables
