#pragma once
// The sub-documents of one volume of a big document in OrderNum order (then
// the rowid, as the "Vol" index keeps them), as an IDBForwardIter. Fields:
// ID, SubDocType, PfrPersonID, VolumeID, OrderNum.
//
// The walk is one statement on shard 0, stepped as the caller moves, so
// that the cells read meanwhile on that file share its read snapshot (one
// read lock for the walk, not one per cell). The snapshot ends when the
// walk reaches its end, when the iterator is released, when the engine's
// Idle dbFreeLocks or a write through the owning table resets the
// statement (the next MoveNext then goes on after the current row's key,
// in a fresh snapshot), and when the table closes (every call but IsEOF is
// then 3420). On a server the walk's session holds a read snapshot
// (jet::Engine::HoldReadSnapshot) from each start of its statement to the
// walk's end, for the same reads; it ends at the same points.

#include <memory>
#include <optional>

#include "doctables/IDBForwardIter.h"
#include "platform/jet/JetEngine.h"
#include "platform/jet/JetStatement.h"

namespace qv::dao {
class Database;
}  // namespace qv::dao

namespace qv::doctables {

// The rows a big document's walk on a server reads in one select: a
// statement the caller runs among them (a cell's read) reads the select's
// rest into memory, so at most these are held. Read at the walk's start.
inline int32_t serverWalkBatch = 256;

class TBigTableIterator : public IDBForwardIter {
  QV_DECLARE_CLASS(TBigTableIterator)

 public:
  // Mode 1: the sub-documents of one volume.
  static constexpr int32_t kVolumeSubDocs = 1;

  TBigTableIterator() = default;
  ~TBigTableIterator() override;
  TBigTableIterator(const TBigTableIterator&) = delete;
  TBigTableIterator& operator=(const TBigTableIterator&) = delete;

  // Positions on the volume's first sub-document.
  void InitAsNdsSubDocsIterator(const std::shared_ptr<dao::Database>& aShard0, double aVolumeID);
  // Ends the read snapshot the walk holds; the walk goes on from its key.
  void EndSnapshot() noexcept;
  // The table closed its files: the statement goes, the walk is over.
  void Close() noexcept;

  int32_t Count() override;
  void MoveNext() override;
  bool IsEOF() override { return eof_; }
  Variant GetField(const std::string& aName) override;
  std::string GetString(const std::string& aName, const std::string& aDefault) override;
  int32_t GetLong(const std::string& aName, int32_t aDefault) override;
  double GetDouble(const std::string& aName, double aDefault) override;
  Variant GetDate(const std::string& aName) override;

 private:
  // Steps to the row after the current key (the first row at the start).
  void Advance();
  // The current row's field, null at the end (the readers then answer
  // Empty or their default). Every reader alike: 3265 for a name SubDocs
  // does not have, 3420 once the table has closed.
  const Variant* Current(const std::string& aName) const;
  // On a server: the session's snapshot held for the walk (a fresh one
  // when it ended since), and let go.
  void HoldSnapshot();
  void ReleaseSnapshot() noexcept;

  int32_t mode_ = 0;
  std::shared_ptr<dao::Database> db_;
  std::optional<jet::Statement> walk_;
  // On a server shard the walk in Jet SQL through its engine; stepping
  // while it has given a row and not been reset.
  std::unique_ptr<jet::EngineStatement> serverWalk_;
  bool serverStepping_ = false;
  // The rows a select of the walk reads at most, and those it has given.
  int32_t serverBatch_ = 0, batchRows_ = 0;
  bool holdsSnapshot_ = false;
  double volumeId_ = 0;
  // The fields of the current row, then its rowid (on a server its ID, the
  // table's key): OrderNum and that are the key the walk goes on from
  // after a reset.
  Variant row_[6];
  bool eof_ = true;
  int32_t count_ = -1;
};

}  // namespace qv::doctables
