#pragma once
// An open big document (DBBigDocs.GetBigDocTable hands it out): its volumes
// (by type and number), the ordered sub-documents of each volume, and the
// cells of each sub-document, read and written one at a time through
// table-type recordsets kept open on every shard the table has touched; the
// reads and writes of narrow values by statements prepared once per shard.
//
// Cell addresses: (sub-document, key, line, table). A line or table number
// of 1 is stored as 0, so line 1 of table 1 is the static cell of the key.
// Static cells (line and table 0) of keys 2n and 2n + 1 share one StatCells
// row (Value0, Value1); other cells are DynCells rows. Texts of 256
// characters or more live in WideCells (written by SetWideString only).
// Keys are 0 .. 32767 and line and table numbers 16-bit: anything else is
// error 6 (overflow), with nothing read or written.
//
// Reads and writes of a sub-document whose shard file does not exist yet
// make it; RemoveSubDoc, ClearDocument, ClearVolume and the source of
// AppendVolumeFromDoc skip shards that do not exist.
//
// Writes. A single cell outside any transaction is one write-locked unit
// (its update and insert, or its seek and removal); inside the caller's
// transaction (the engine's BeginTrans spans every shard) it is part of
// that. The operations that write several rows (a wide value, a matrix
// column, removals of sub-documents, copies) run in one transaction per
// shard they touch.
//
// Threads. The table and its files belong to the thread that opened it:
// another thread's call fails with -2147417842 (RPC_E_WRONG_THREAD); each
// thread opens tables of its own. Closed (after CloseDoc, or when the
// document's storage is deleted), every operation but DocID is error 91.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "doctables/IDBForwardIter.h"
#include "platform/automation/Object.h"
#include "platform/jet/JetEngine.h"
#include "platform/jet/JetStatement.h"
#include "siblings/things/ThingManager.h"

namespace qv::dao {
class Database;
class Recordset;
}  // namespace qv::dao

namespace qv::doctables {

class TBigTableIterator;

inline constexpr int32_t kWrongThread = -2147417842;

class DBBigDocTable : public Object, public things::IBigDocEvents {
  QV_DECLARE_CLASS(DBBigDocTable)

 public:
  DBBigDocTable() = default;
  ~DBBigDocTable() override;
  DBBigDocTable(const DBBigDocTable&) = delete;
  DBBigDocTable& operator=(const DBBigDocTable&) = delete;

  // Opens the document (closing the current one): shard 0 and its
  // ShardSize, and the table answers the big-document manager's lookups
  // and closes from then on. Errors of the shard name its file; a missing
  // shard 0 is 3024 (only a document's creation makes it). Reads make no
  // shard: a cell of a shard whose file does not exist is empty.
  void OpenDoc(double aDocID);
  // Closes every shard; never raises.
  void CloseDoc() noexcept;
  bool IsOpen() const { return docId_ != 0; }
  int32_t ShardSize() const { return shardSize_; }

  double DocID() const { return docId_; }

  // ---- volumes and sub-documents
  double FindOrCreateVolume(int32_t aVolType, int32_t aVolNum);
  // 0 when there is no such volume.
  double FindVolume(int32_t aVolType, int32_t aVolNum);
  // The volume's sub-documents in OrderNum order.
  std::shared_ptr<IDBForwardIter> GetVolumeSubDocsList(double aVolumeID);
  std::shared_ptr<IDBForwardIter> GetOrderedVolumeSubDocsList(double aVolumeID);
  bool IsDocumentContainAnySubDoc();
  bool IsVolumeContainAnySubDoc(double aVolumeID);
  int32_t GetSubDocsCountInVolume(double aVolumeID);
  // The largest OrderNum of the volume, 0 when it has none.
  int32_t GetLastOrderNumInVolume(double aVolumeID);
  // A new sub-document: the last identifier + 1 (1 for the first).
  double CreateSubDoc(int32_t aSubDocType, double aPfrPersonID, double aVolumeID,
                      int32_t aOrderNum);
  // The sub-document with its cells.
  void RemoveSubDoc(double aSubDocID);

  // ---- typed reads of one cell (line and table default to 0)
  std::string GetString(double aSubDocID, int32_t aKey, int32_t aLineNum, int32_t aTableNum,
                        const std::string& aDefault);
  int32_t GetCLong(double aSubDocID, int32_t aKey, int32_t aLineNum, int32_t aTableNum,
                   int32_t aDefault);
  Variant GetVLong(double aSubDocID, int32_t aKey, int32_t aLineNum, int32_t aTableNum);
  int32_t GetCounter(double aSubDocID, int32_t aKey, int32_t aLineNum, int32_t aTableNum);
  double GetCDouble(double aSubDocID, int32_t aKey, int32_t aLineNum, int32_t aTableNum,
                    double aDefault);
  Variant GetVDouble(double aSubDocID, int32_t aKey, int32_t aLineNum, int32_t aTableNum);
  double GetCMoney(double aSubDocID, int32_t aKey, int32_t aLineNum, int32_t aTableNum,
                   double aDefault);
  Variant GetVMoney(double aSubDocID, int32_t aKey, int32_t aLineNum, int32_t aTableNum);
  Variant GetDate(double aSubDocID, int32_t aKey, int32_t aLineNum, int32_t aTableNum);
  bool GetCBoolean(double aSubDocID, int32_t aKey, int32_t aLineNum, int32_t aTableNum);
  Variant GetVBoolean(double aSubDocID, int32_t aKey, int32_t aLineNum, int32_t aTableNum);
  // The wide text of the address, else its narrow text.
  std::string GetWideString(double aSubDocID, int32_t aKey, int32_t aLineNum, int32_t aTableNum);

  // ---- typed writes of one cell (BigDocValues.h: what each stores or
  // removes)
  void SetString(double aSubDocID, int32_t aKey, const Variant& aValue, int32_t aLineNum,
                 int32_t aTableNum);
  void SetLong(double aSubDocID, int32_t aKey, const Variant& aValue, int32_t aLineNum,
               int32_t aTableNum);
  void SetCounter(double aSubDocID, int32_t aKey, const Variant& aValue, int32_t aLineNum,
                  int32_t aTableNum);
  void SetDouble(double aSubDocID, int32_t aKey, const Variant& aValue, int32_t aLineNum,
                 int32_t aTableNum);
  void SetMoney(double aSubDocID, int32_t aKey, const Variant& aValue, int32_t aLineNum,
                int32_t aTableNum);
  void SetDate(double aSubDocID, int32_t aKey, const Variant& aValue, int32_t aLineNum,
               int32_t aTableNum);
  void SetBoolean(double aSubDocID, int32_t aKey, const Variant& aValue, int32_t aLineNum,
                  int32_t aTableNum);
  void SetWideString(double aSubDocID, int32_t aKey, const Variant& aValue, int32_t aLineNum,
                     int32_t aTableNum);
  // Removes the narrow value of the address (a wide one stays).
  void RemoveValue(double aSubDocID, int32_t aKey, int32_t aLineNum, int32_t aTableNum);
  // Removes the narrow and the wide value.
  void RemoveWideString(double aSubDocID, int32_t aKey, int32_t aLineNum, int32_t aTableNum);

  // Writes lines 1 .. aValuesCount of column aColumnKey of table aTableNum
  // from aValues (from its lower bound) with the setter of kind
  // aValuesType, removes the column's cells below them up to the stored row
  // count (the counter cell aCountKey), and stores the new row count: the
  // values written, or more when another column of aMatrixKeys still has a
  // cell further down. Error 9 when aValues holds fewer values.
  void SaveMatrixColumn(double aSubDocID, int32_t aValuesCount, const Variant& aValues,
                        int32_t aValuesType, int32_t aCountKey, const Variant& aMatrixKeys,
                        int32_t aColumnKey, int32_t aTableNum);
  // Removes every sub-document with its cells; the volumes stay.
  void ClearDocument();
  // Removes the volume's sub-documents with their cells; the volume stays.
  void ClearVolume(double aVolumeID);
  // Appends copies of the sub-documents of volume aSrcVolumeID of
  // aSrcTable (another open table, or this one), with their cells, to
  // volume aDestVolumeID, numbered 1, 2, 3 ... in the source's order. With
  // aRowsLimit above 0 the destination volume stops at that many
  // sub-documents, and rLimitExceeded tells that some were left out.
  void AppendVolumeFromDoc(const std::shared_ptr<DBBigDocTable>& aSrcTable, double aSrcVolumeID,
                           double aDestVolumeID, int32_t aRowsLimit, bool& rLimitExceeded);

  // ---- the big-document manager's events
  void GetBigDocTable(double aDocID, ObjectPtr& rTable) override;
  void CloseBigDocTable(double aDocID) override;

 private:
  // The statements of a narrow value (BigDocCells.cpp has their texts): a
  // point read, and a write as an update by address, then an insert when
  // no row was there. Static ones come in pairs: Value0, Value1.
  enum CellSql {
    kReadStat,
    kReadDyn = kReadStat + 2,
    kUpdateStat,
    kInsertStat = kUpdateStat + 2,
    kUpdateDyn = kInsertStat + 2,
    kInsertDyn,
    kCellSqlCount
  };
  struct Shard {
    std::shared_ptr<dao::Database> db;
    std::shared_ptr<dao::Recordset> stat, dyn, wide;             // index "SubDoc"
    int32_t statSubDoc = 0, statKey = 0, statValue[2] = {0, 0};  // Value0, Value1
    // DynCells and WideCells have the same columns.
    int32_t subDoc = 0, key = 0, table = 0, line = 0, value = 0;
    // Prepared on first use; they hold the connection, so they go before
    // the file closes.
    std::optional<jet::Statement> sql[kCellSqlCount];
    // The same on a server shard, in Jet SQL through its engine.
    std::unique_ptr<jet::EngineStatement> serverSql[kCellSqlCount];
  };
  // A cell statement bound from its address, of the file or of the server:
  // the value as the file's parameter `index` (the server's texts number
  // it as they write it); reset when it goes.
  class BoundCell {
   public:
    explicit BoundCell(jet::Statement& st) : file_(&st) {}
    BoundCell(jet::EngineStatement& st, bool valueFirst) : server_(&st), valueFirst_(valueFirst) {}
    BoundCell(const BoundCell&) = delete;
    BoundCell& operator=(const BoundCell&) = delete;
    ~BoundCell();
    void BindValue(int index, const Variant& value);
    bool Step();
    std::string Text0() const;
    int64_t Run();

   private:
    jet::Statement* file_ = nullptr;
    jet::EngineStatement* server_ = nullptr;
    bool valueFirst_ = false;
  };
  // A cell's place: checked, line and table 1 already made 0.
  struct Address {
    double subDoc;
    int32_t key, line, table;
    bool IsStatic() const { return line == 0 && table == 0; }
  };

  // Error 91 when closed, kWrongThread on another thread.
  void CheckUsable() const;
  // Ends the read snapshots of the walks handed out (GetVolumeSubDocsList)
  // before a write: a write lock cannot be taken over a snapshot older than
  // another connection's commit (3218). Each walk goes on from its key.
  void EndWalkSnapshots() noexcept;
  // The shard of a sub-document, opened (and with `aCreate` made) on
  // first use; null when its file does not exist and `aCreate` is false.
  Shard* ShardFor(double aSubDocID, bool aCreate);
  Shard& Shard0() { return *shards_[0]; }
  void OpenShard(size_t index, const std::shared_ptr<dao::Database>& db);
  // Every cell row of the sub-document in the shard, deleted.
  void RemoveCellsOfSubDoc(Shard& shard, double aSubDocID);
  // Removes the sub-documents (with their cells) that `selectIds` lists,
  // then runs `deleteRows` on shard 0, in one transaction per shard.
  void RemoveSubDocs(const std::string& selectIds, const std::string& deleteRows);

  // ---- cells (BigDocCells.cpp)
  static Address MakeAddress(double aSubDocID, int32_t aKey, int32_t aLineNum, int32_t aTableNum);
  bool SeekStatic(Shard& s, const Address& a);
  bool SeekTabular(Shard& s, dao::Recordset& rs, const Address& a);
  // The shard's statement `which`, its parameters bound from the address:
  // ?1 the sub-document, ?2 the key (the row key of a static cell), then a
  // tabular cell's ?3 table and ?4 line.
  BoundCell CellStatement(Shard& s, int which, const Address& a);
  std::string IntGetValue(const Address& a, bool aWide);
  bool IntHasCell(Shard& s, const Address& a);
  void IntSetNonWideValue(Shard& s, const Address& a, const std::string& text);
  void IntSetWideValue(Shard& s, const Address& a, const std::string& text);
  void IntRemoveCell(Shard& s, const Address& a, bool aWide);
  // The current StatCells row without the value of `column`.
  void IntClearPagedField(Shard& s, int32_t column);
  void SetValue(double aSubDocID, int32_t aKey, const Variant& aValue, int32_t aLineNum,
                int32_t aTableNum, int32_t aKind);
  int32_t GetRealValuesCountInMatrixColumn(double aSubDocID, int32_t aKey, int32_t aTableNum,
                                           int32_t aOldCount, int32_t aNewCount);

  double docId_ = 0;
  int32_t shardSize_ = 0;
  std::thread::id owner_;
  // Slot k is shard k once opened (grown to 4 slots, then doubled).
  std::vector<std::unique_ptr<Shard>> shards_;
  std::shared_ptr<dao::Recordset> subDocsById_, subDocsByVol_, volumesByVol_;
  std::shared_ptr<things::BigDocManager> fBigDocManager_;
  // The walks over shard 0 handed out and perhaps still held.
  std::vector<std::weak_ptr<TBigTableIterator>> walks_;
  Variant keys_[4];
};

}  // namespace qv::doctables
