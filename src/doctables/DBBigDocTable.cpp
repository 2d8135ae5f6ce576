#include "doctables/DBBigDocTable.h"

#include <cmath>
#include <limits>
#include <utility>

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "doctables/TBigTableIterator.h"
#include "doctables/mThingManager.h"
#include "doctables/miBigDocument.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/Transaction.h"

namespace qv::doctables {

namespace {

using mQvDaoDataBase::Number2DaoSql;
using mQvDaoDataBase::QvGetTableRS;

// One transaction per file that an operation writes, committed together at
// the end, shard 0 (joined first: it names the sub-documents) last. Each
// takes its file's write lock at once; shard 0 always first, so two
// connections never wait on each other crosswise.
class ShardTransactions {
 public:
  void Join(dao::Database& db) {
    for (const auto& [joined, tx] : txs_)
      if (joined == &db) return;
    txs_.emplace_back(&db, std::make_unique<dao::Transaction>(db, dao::kWriteLock));
  }
  void Commit() {
    for (auto it = txs_.rbegin(); it != txs_.rend(); ++it) it->second->Commit();
  }

 private:
  std::vector<std::pair<dao::Database*, std::unique_ptr<dao::Transaction>>> txs_;
};

// A source sub-document of a copy.
struct SubDocRow {
  double id;
  Variant type, person;
};

// Copies the cell rows of `from` (one sub-document, found by Seek) to `to`
// with the new sub-document's identifier. The row is read before AddNew:
// the two recordsets may be one (a copy within a shard of the same table).
void CopyCellRows(dao::Recordset& from, dao::Recordset& to, double fromId, double toId) {
  const int32_t subDoc = from.FieldIndex("SubDocID");
  std::vector<std::pair<int32_t, Variant>> row;
  const Variant key[1] = {Variant(fromId)};
  from.Seek("=", key);
  if (from.NoMatch()) return;
  while (!from.IsEOF() && CDbl(from.FieldValue(subDoc)) == fromId) {
    row.clear();
    for (int32_t i = 0; i < from.FieldCount(); ++i)
      row.emplace_back(to.FieldIndex(from.Column(i).spec.name),
                       i == subDoc ? Variant(toId) : from.FieldValue(i));
    to.AddNew();
    for (auto& [field, value] : row) to.SetField(field, std::move(value));
    to.Update();
    from.MoveNext();
  }
}

}  // namespace

DBBigDocTable::~DBBigDocTable() {
  CloseDoc();
}

void DBBigDocTable::CheckUsable() const {
  if (docId_ == 0) ThrowVb(vberr::kObjectNotSet, "the big-document table is closed");
  if (owner_ != std::this_thread::get_id())
    throw Error(kWrongThread,
                "The application called an interface that was marshalled for a different thread.");
}

void DBBigDocTable::OpenDoc(double aDocID) {
  std::string file;
  GuardX(
      QV_HERE, [&] { return "FileName: " + file; },
      [&] {
        CloseDoc();
        file = miBigDocument::GetBigDocFileName(aDocID, 0);
        try {
          owner_ = std::this_thread::get_id();
          docId_ = aDocID;
          auto db = miBigDocument::OpenOrCreateBigDocShard(aDocID, 0, 0, true);
          OpenShard(0, db);
          shardSize_ = miBigDocument::EffectiveShardSize(CLng(
              mQvDaoDataBase::QvQueryValue("select ShardSize from StorageInfo", Variant(), db)));
          subDocsById_ = QvGetTableRS("SubDocs", "ID", db);
          subDocsByVol_ = QvGetTableRS("SubDocs", "Vol", db);
          volumesByVol_ = QvGetTableRS("Volumes", "Vol", db);
          fBigDocManager_ = mThingManager::GetBigDocManager();
          fBigDocManager_->Advise(shared_from_this());
        } catch (...) {
          CloseDoc();
          throw;
        }
      });
}

void DBBigDocTable::CloseDoc() noexcept {
  if (fBigDocManager_) fBigDocManager_->Unadvise(this);
  fBigDocManager_.reset();
  // A walk still held must not keep shard 0 open.
  for (const auto& w : walks_)
    if (auto walk = w.lock()) walk->Close();
  walks_.clear();
  auto close = [](std::shared_ptr<dao::Recordset>& rs) {
    try {
      if (rs && rs->IsOpen()) rs->Close();
    } catch (...) {
    }
    rs.reset();
  };
  close(subDocsById_);
  close(subDocsByVol_);
  close(volumesByVol_);
  for (auto& shard : shards_) {
    if (!shard) continue;
    for (auto& st : shard->sql) st.reset();
    close(shard->stat);
    close(shard->dyn);
    close(shard->wide);
    try {
      if (shard->db && shard->db->IsOpen()) shard->db->Close();
    } catch (...) {
    }
  }
  shards_.clear();
  docId_ = 0;
  shardSize_ = 0;
}

void DBBigDocTable::EndWalkSnapshots() noexcept {
  for (const auto& w : walks_)
    if (auto walk = w.lock()) walk->EndSnapshot();
}

void DBBigDocTable::OpenShard(size_t index, const std::shared_ptr<dao::Database>& db) {
  GuardX(
      QV_HERE, [&] { return "FileName: " + db->Name(); },
      [&] {
        auto s = std::make_unique<Shard>();
        s->db = db;
        s->stat = QvGetTableRS("StatCells", "SubDoc", db);
        s->dyn = QvGetTableRS("DynCells", "SubDoc", db);
        s->wide = QvGetTableRS("WideCells", "SubDoc", db);
        s->statSubDoc = s->stat->FieldIndex("SubDocID");
        s->statKey = s->stat->FieldIndex("Key");
        s->statValue[0] = s->stat->FieldIndex("Value0");
        s->statValue[1] = s->stat->FieldIndex("Value1");
        s->subDoc = s->dyn->FieldIndex("SubDocID");
        s->key = s->dyn->FieldIndex("Key");
        s->table = s->dyn->FieldIndex("TableNum");
        s->line = s->dyn->FieldIndex("LineNum");
        s->value = s->dyn->FieldIndex("Value");
        if (s->wide->FieldIndex("Value") != s->value || s->wide->FieldIndex("LineNum") != s->line)
          ThrowVb(vberr::kTypeMismatch, "WideCells and DynCells differ in their columns");
        // The slots grow to 4, then double.
        if (shards_.size() <= index) {
          size_t size = std::max<size_t>(shards_.size(), 4);
          while (size <= index) size *= 2;
          shards_.resize(size);
        }
        shards_[index] = std::move(s);
      });
}

DBBigDocTable::Shard* DBBigDocTable::ShardFor(double aSubDocID, bool aCreate) {
  if (!(aSubDocID >= 0 && aSubDocID <= std::numeric_limits<int32_t>::max()))
    ThrowVb(vberr::kOverflow, "no sub-document has the identifier " +
                                  Number2DaoSql(std::isfinite(aSubDocID) ? aSubDocID : 0));
  const auto index = static_cast<size_t>(std::floor(aSubDocID) / shardSize_);
  if (index < shards_.size() && shards_[index]) return shards_[index].get();
  auto db = miBigDocument::OpenOrCreateBigDocShard(docId_, static_cast<int32_t>(index), shardSize_,
                                                   aCreate);
  if (!db) return nullptr;
  OpenShard(index, db);
  return shards_[index].get();
}

double DBBigDocTable::FindOrCreateVolume(int32_t aVolType, int32_t aVolNum) {
  return Guard(QV_HERE, [&] {
    if (const double id = FindVolume(aVolType, aVolNum)) return id;
    EndWalkSnapshots();
    dao::Transaction tx(*Shard0().db, dao::kWriteLock);
    // Another connection may have made it before the lock was taken.
    if (const double id = FindVolume(aVolType, aVolNum)) return id;
    const double id = mQvDaoDataBase::NextId(Shard0().db, "Volumes", "ID");
    volumesByVol_->AddNew();
    volumesByVol_->SetField("ID", Variant(id));
    volumesByVol_->SetField("VolType", Variant(aVolType));
    volumesByVol_->SetField("VolNum", Variant(aVolNum));
    volumesByVol_->Update();
    tx.Commit();
    return id;
  });
}

double DBBigDocTable::FindVolume(int32_t aVolType, int32_t aVolNum) {
  return Guard(QV_HERE, [&] {
    CheckUsable();
    const Variant key[2] = {Variant(aVolType), Variant(aVolNum)};
    volumesByVol_->Seek("=", key);
    return volumesByVol_->NoMatch() ? 0.0 : CDbl(volumesByVol_->FieldValue("ID"));
  });
}

std::shared_ptr<IDBForwardIter> DBBigDocTable::GetVolumeSubDocsList(double aVolumeID) {
  return Guard(QV_HERE, [&] {
    CheckUsable();
    auto it = std::make_shared<TBigTableIterator>();
    it->InitAsNdsSubDocsIterator(Shard0().db, aVolumeID);
    std::erase_if(walks_, [](const auto& w) { return w.expired(); });
    walks_.push_back(it);
    return std::static_pointer_cast<IDBForwardIter>(it);
  });
}

std::shared_ptr<IDBForwardIter> DBBigDocTable::GetOrderedVolumeSubDocsList(double aVolumeID) {
  return Guard(QV_HERE, [&] { return GetVolumeSubDocsList(aVolumeID); });
}

bool DBBigDocTable::IsDocumentContainAnySubDoc() {
  return Guard(QV_HERE, [&] {
    CheckUsable();
    mQvDaoDataBase::DaoSafeMoveFirst(*subDocsById_);
    return !subDocsById_->IsEOF();
  });
}

bool DBBigDocTable::IsVolumeContainAnySubDoc(double aVolumeID) {
  return Guard(QV_HERE, [&] {
    CheckUsable();
    const Variant key[1] = {Variant(aVolumeID)};
    subDocsByVol_->Seek("=", key);
    return !subDocsByVol_->NoMatch();
  });
}

int32_t DBBigDocTable::GetSubDocsCountInVolume(double aVolumeID) {
  return Guard(QV_HERE, [&] {
    CheckUsable();
    return CLng(mQvDaoDataBase::QvQueryValue(
        "select count(*) from SubDocs Where VolumeID = " + Number2DaoSql(aVolumeID), Variant(),
        Shard0().db));
  });
}

int32_t DBBigDocTable::GetLastOrderNumInVolume(double aVolumeID) {
  return Guard(QV_HERE, [&] {
    CheckUsable();
    const Variant key[2] = {Variant(aVolumeID), Variant(int32_t{2147483646})};
    subDocsByVol_->Seek("<=", key);
    if (subDocsByVol_->NoMatch() || CDbl(subDocsByVol_->FieldValue("VolumeID")) != aVolumeID)
      return 0;
    return CLng(subDocsByVol_->FieldValue("OrderNum"));
  });
}

double DBBigDocTable::CreateSubDoc(int32_t aSubDocType, double aPfrPersonID, double aVolumeID,
                                   int32_t aOrderNum) {
  return Guard(QV_HERE, [&] {
    CheckUsable();
    EndWalkSnapshots();
    dao::Transaction tx(*Shard0().db, dao::kWriteLock);
    const double id = mQvDaoDataBase::NextId(*subDocsById_, "ID");
    subDocsById_->AddNew();
    subDocsById_->SetField("ID", Variant(id));
    subDocsById_->SetField("SubDocType", Variant(aSubDocType));
    subDocsById_->SetField("PfrPersonID", Variant(aPfrPersonID));
    subDocsById_->SetField("VolumeID", Variant(aVolumeID));
    subDocsById_->SetField("OrderNum", Variant(aOrderNum));
    subDocsById_->Update();
    tx.Commit();
    return id;
  });
}

void DBBigDocTable::RemoveSubDoc(double aSubDocID) {
  Guard(QV_HERE, [&] {
    CheckUsable();
    EndWalkSnapshots();
    ShardTransactions txs;
    txs.Join(*Shard0().db);
    const std::string id = Number2DaoSql(aSubDocID);
    if (Shard* s = ShardFor(aSubDocID, false)) {
      txs.Join(*s->db);
      for (const char* table : {"StatCells", "DynCells", "WideCells"})
        mQvDaoDataBase::QvExecuteSql(
            "delete from " + std::string(table) + " where SubDocID = " + id, s->db);
    }
    mQvDaoDataBase::QvExecuteSql("delete from SubDocs where ID = " + id, Shard0().db);
    txs.Commit();
  });
}

void DBBigDocTable::RemoveCellsOfSubDoc(Shard& shard, double aSubDocID) {
  const Variant key[1] = {Variant(aSubDocID)};
  for (dao::Recordset* rs : {shard.stat.get(), shard.dyn.get(), shard.wide.get()}) {
    const int32_t subDoc = rs->FieldIndex("SubDocID");
    rs->Seek("=", key);
    if (rs->NoMatch()) continue;
    while (!rs->IsEOF() && CDbl(rs->FieldValue(subDoc)) == aSubDocID) {
      rs->Delete();
      rs->MoveNext();
    }
  }
}

void DBBigDocTable::RemoveSubDocs(const std::string& selectIds, const std::string& deleteRows) {
  EndWalkSnapshots();
  ShardTransactions txs;
  txs.Join(*Shard0().db);
  auto ids = mQvDaoDataBase::QvQuerySqlStatic(selectIds, Shard0().db);
  for (; !ids->IsEOF(); ids->MoveNext()) {
    const double id = CDbl(ids->FieldValue(0));
    if (Shard* s = ShardFor(id, false)) {
      txs.Join(*s->db);
      RemoveCellsOfSubDoc(*s, id);
    }
  }
  ids->Close();
  mQvDaoDataBase::QvExecuteSql(deleteRows, Shard0().db);
  txs.Commit();
}

void DBBigDocTable::ClearDocument() {
  Guard(QV_HERE, [&] {
    CheckUsable();
    RemoveSubDocs("select ID from SubDocs ", "delete from SubDocs AS s ");
  });
}

void DBBigDocTable::ClearVolume(double aVolumeID) {
  Guard(QV_HERE, [&] {
    CheckUsable();
    const std::string id = Number2DaoSql(aVolumeID);
    RemoveSubDocs("select ID from SubDocs where VolumeID = " + id + " ",
                  "delete from SubDocs AS s where s.VolumeID = " + id + " ");
  });
}

void DBBigDocTable::AppendVolumeFromDoc(const std::shared_ptr<DBBigDocTable>& aSrcTable,
                                        double aSrcVolumeID, double aDestVolumeID,
                                        int32_t aRowsLimit, bool& rLimitExceeded) {
  Guard(QV_HERE, [&] {
    CheckUsable();
    if (!aSrcTable) ThrowVb(vberr::kObjectRequired, "the source table is Nothing");
    aSrcTable->CheckUsable();
    rLimitExceeded = false;
    int32_t count = aRowsLimit > 0 ? GetSubDocsCountInVolume(aDestVolumeID) : 0;
    // The source's rows are taken first: a volume appended to itself
    // does not see its own new rows.
    std::vector<SubDocRow> rows;
    auto it = aSrcTable->GetVolumeSubDocsList(aSrcVolumeID);
    for (; !it->IsEOF(); it->MoveNext()) {
      if (aRowsLimit > 0) {
        if (count >= aRowsLimit) {
          rLimitExceeded = true;
          break;
        }
        ++count;
      }
      rows.push_back(
          {it->GetDouble("ID", 0), it->GetField("SubDocType"), it->GetField("PfrPersonID")});
    }
    it.reset();
    EndWalkSnapshots();
    ShardTransactions txs;
    txs.Join(*Shard0().db);
    int32_t orderNum = 0;
    for (const SubDocRow& row : rows) {
      const double newId =
          CreateSubDoc(CLng(row.type), CDbl(row.person), aDestVolumeID, ++orderNum);
      Shard* from = aSrcTable->ShardFor(row.id, false);
      if (!from) continue;
      Shard* to = ShardFor(newId, true);
      txs.Join(*to->db);
      CopyCellRows(*from->stat, *to->stat, row.id, newId);
      CopyCellRows(*from->dyn, *to->dyn, row.id, newId);
      CopyCellRows(*from->wide, *to->wide, row.id, newId);
    }
    txs.Commit();
  });
}

void DBBigDocTable::GetBigDocTable(double aDocID, ObjectPtr& rTable) {
  if (docId_ != 0 && docId_ == aDocID) rTable = shared_from_this();
}

void DBBigDocTable::CloseBigDocTable(double aDocID) {
  if (docId_ != 0 && docId_ == aDocID) CloseDoc();
}

namespace {
// The optional trailing arguments of the cell operations.
const std::vector<Variant> kLineTable{Variant(int32_t{0}), Variant(int32_t{0})};
std::vector<Variant> LineTableAnd(Variant def) {
  return {Variant(int32_t{0}), Variant(int32_t{0}), std::move(def)};
}
}  // namespace

QV_DEFINE_CLASS(
    DBBigDocTable, "Qv_DBProvider.DBBigDocTable", nullptr, Method("DocID", &DBBigDocTable::DocID),
    Method("FindOrCreateVolume(aVolType, aVolNum)", &DBBigDocTable::FindOrCreateVolume),
    Method("FindVolume(aVolType, aVolNum)", &DBBigDocTable::FindVolume),
    Method("GetVolumeSubDocsList(aVolumeID)", &DBBigDocTable::GetVolumeSubDocsList),
    Method("GetOrderedVolumeSubDocsList(aVolumeID)", &DBBigDocTable::GetOrderedVolumeSubDocsList),
    Method("IsDocumentContainAnySubDoc", &DBBigDocTable::IsDocumentContainAnySubDoc),
    Method("IsVolumeContainAnySubDoc(aVolumeID)", &DBBigDocTable::IsVolumeContainAnySubDoc),
    Method("GetSubDocsCountInVolume(aVolumeID)", &DBBigDocTable::GetSubDocsCountInVolume),
    Method("GetLastOrderNumInVolume(aVolumeID)", &DBBigDocTable::GetLastOrderNumInVolume),
    Method("CreateSubDoc(aSubDocType, aPfrPersonID, aVolumeID, aOrderNum)",
           &DBBigDocTable::CreateSubDoc),
    Method("RemoveSubDoc(aSubDocID)", &DBBigDocTable::RemoveSubDoc),
    Method("GetString(aSubDocID, aKey, aLineNum, aTableNum, aDefault)", &DBBigDocTable::GetString,
           LineTableAnd(Variant(""))),
    Method("GetCLong(aSubDocID, aKey, aLineNum, aTableNum, aDefault)", &DBBigDocTable::GetCLong,
           LineTableAnd(Variant(int32_t{0}))),
    Method("GetVLong(aSubDocID, aKey, aLineNum, aTableNum)", &DBBigDocTable::GetVLong, kLineTable),
    Method("GetCounter(aSubDocID, aKey, aLineNum, aTableNum)", &DBBigDocTable::GetCounter,
           kLineTable),
    Method("GetCDouble(aSubDocID, aKey, aLineNum, aTableNum, aDefault)", &DBBigDocTable::GetCDouble,
           LineTableAnd(Variant(0.0))),
    Method("GetVDouble(aSubDocID, aKey, aLineNum, aTableNum)", &DBBigDocTable::GetVDouble,
           kLineTable),
    Method("GetCMoney(aSubDocID, aKey, aLineNum, aTableNum, aDefault)", &DBBigDocTable::GetCMoney,
           LineTableAnd(Variant(0.0))),
    Method("GetVMoney(aSubDocID, aKey, aLineNum, aTableNum)", &DBBigDocTable::GetVMoney,
           kLineTable),
    Method("GetDate(aSubDocID, aKey, aLineNum, aTableNum)", &DBBigDocTable::GetDate, kLineTable),
    Method("GetCBoolean(aSubDocID, aKey, aLineNum, aTableNum)", &DBBigDocTable::GetCBoolean,
           kLineTable),
    Method("GetVBoolean(aSubDocID, aKey, aLineNum, aTableNum)", &DBBigDocTable::GetVBoolean,
           kLineTable),
    Method("GetWideString(aSubDocID, aKey, aLineNum, aTableNum)", &DBBigDocTable::GetWideString,
           kLineTable),
    Method("SetString(aSubDocID, aKey, aValue, aLineNum, aTableNum)", &DBBigDocTable::SetString,
           kLineTable),
    Method("SetLong(aSubDocID, aKey, aValue, aLineNum, aTableNum)", &DBBigDocTable::SetLong,
           kLineTable),
    Method("SetCounter(aSubDocID, aKey, aValue, aLineNum, aTableNum)", &DBBigDocTable::SetCounter,
           kLineTable),
    Method("SetDouble(aSubDocID, aKey, aValue, aLineNum, aTableNum)", &DBBigDocTable::SetDouble,
           kLineTable),
    Method("SetMoney(aSubDocID, aKey, aValue, aLineNum, aTableNum)", &DBBigDocTable::SetMoney,
           kLineTable),
    Method("SetDate(aSubDocID, aKey, aValue, aLineNum, aTableNum)", &DBBigDocTable::SetDate,
           kLineTable),
    Method("SetBoolean(aSubDocID, aKey, aValue, aLineNum, aTableNum)", &DBBigDocTable::SetBoolean,
           kLineTable),
    Method("SetWideString(aSubDocID, aKey, aValue, aLineNum, aTableNum)",
           &DBBigDocTable::SetWideString, kLineTable),
    Method("RemoveValue(aSubDocID, aKey, aLineNum, aTableNum)", &DBBigDocTable::RemoveValue,
           kLineTable),
    Method("RemoveWideString(aSubDocID, aKey, aLineNum, aTableNum)",
           &DBBigDocTable::RemoveWideString, kLineTable),
    Method("SaveMatrixColumn(aSubDocID, aValuesCount, aValues, aValuesType, aCountKey, "
           "aMatrixKeys, aColumnKey, aTableNum)",
           &DBBigDocTable::SaveMatrixColumn, {Variant(int32_t{0})}),
    Method("ClearDocument", &DBBigDocTable::ClearDocument),
    Method("ClearVolume(aVolumeID)", &DBBigDocTable::ClearVolume),
    Method(
        "AppendVolumeFromDoc(aSrcTable, aSrcVolumeID, aDestVolumeID, aRowsLimit, rLimitExceeded)",
        &DBBigDocTable::AppendVolumeFromDoc, {Variant(int32_t{-1}), Variant(false)}))

}  // namespace qv::doctables
