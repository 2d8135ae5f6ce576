#pragma once
// The sub-documents of one volume of a big document in OrderNum order, as
// an IDBForwardIter: a table-type recordset of its own on SubDocs (index
// "Vol") of the document's shard 0. Fields: ID, SubDocType, PfrPersonID,
// VolumeID, OrderNum. The walk ends at the first row of another volume.

#include <memory>

#include "doctables/IDBForwardIter.h"

namespace qv::dao {
class Database;
class Recordset;
}  // namespace qv::dao

namespace qv::doctables {

class TBigTableIterator : public IDBForwardIter {
  QV_DECLARE_CLASS(TBigTableIterator)

 public:
  // Mode 1: the sub-documents of one volume.
  static constexpr int32_t kVolumeSubDocs = 1;

  // Positions on the volume's first sub-document.
  void InitAsNdsSubDocsIterator(const std::shared_ptr<dao::Database>& aShard0, double aVolumeID);

  int32_t Count() override;
  void MoveNext() override;
  bool IsEOF() override { return eof_; }
  Variant GetField(const std::string& aName) override;
  std::string GetString(const std::string& aName, const std::string& aDefault) override;
  int32_t GetLong(const std::string& aName, int32_t aDefault) override;
  double GetDouble(const std::string& aName, double aDefault) override;
  Variant GetDate(const std::string& aName) override;

 private:
  void CalcIsEof();

  int32_t mode_ = 0;
  std::shared_ptr<dao::Database> db_;
  std::shared_ptr<dao::Recordset> rs_;
  double volumeId_ = 0;
  int32_t volumeField_ = -1;
  bool eof_ = true;
  int32_t count_ = -1;
};

}  // namespace qv::doctables
