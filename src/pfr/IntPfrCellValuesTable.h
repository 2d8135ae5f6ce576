#pragma once
// The cell-storage session of the pension-fund sub-documents: the table
// PfrCellValues held open on its index "SubDoc" (SubDocID, Key, TableNum,
// LineNum) for the whole session: every get one point select of the
// cell's value on that index (ReadValue), every set one seek. The session
// keeps no cache: what it writes is seen at once by DBPfrSubDoc.ReadCells
// and by queries, and what others write is seen by its next get.
//
// Values are stored as texts tagged with their kind (ValueType):
//   1 String   the text, cut to 255 characters
//   2 Long     decimal digits with a sign
//   3 Double   invariant form, "." as the decimal point
//   4 Money    as Double
//   5 Date     "DD.MM.YYYY"
//   6 Boolean  "1"
// The empty value of each kind ("", 0, Null or Empty, False) is never
// stored: setting it deletes the cell, and a set that would store what the
// cell holds already writes nothing. A new cell takes the last identifier
// of the table plus one, chosen and written under the write lock.
//
// Compound values take consecutive keys from a base key b: an address
// (b + 0 kind: 1 Russian, 2 foreign, 3 free text; b + 1 country; b + 2
// postal index; b + 3 region; b + 4 .. b + 10 area, city, locality,
// street, house, building, flat; b + 104 .. b + 110 their abbreviations;
// b + 11 free text), an identity document (b + 0 type, b + 1 series, b + 2
// number, b + 3 issue date, b + 4 issuing authority).
//
// Errors: every operation raises through the error discipline under its
// own name; a get or set while the table is not open is 91.

#include <memory>
#include <optional>
#include <string>

#include "platform/automation/Object.h"
#include "siblings/records/IQvPfrCellsStorage.h"

namespace qv::dao {
class Database;
class Recordset;
}  // namespace qv::dao

namespace qv::pfr {

class IntPfrCellValuesTable : public Object, public records::IQvPfrCellsStorage {
  QV_DECLARE_CLASS(IntPfrCellValuesTable)

 public:
  // A new session on the thread's user database, its table open.
  static std::shared_ptr<IntPfrCellValuesTable> OpenSession();
  // The stored text of a cell of `aDb` ("" for a Null value), nothing when
  // it is absent; of equal addresses, the first stored.
  static std::optional<std::string> ReadValue(dao::Database& aDb, double aSubDocID, int32_t aKey,
                                              int32_t aLineNum, int32_t aTableNum);

  IntPfrCellValuesTable() = default;
  ~IntPfrCellValuesTable() override;  // closes the table
  IntPfrCellValuesTable(const IntPfrCellValuesTable&) = delete;
  IntPfrCellValuesTable& operator=(const IntPfrCellValuesTable&) = delete;

  double SubDocID() const override { return subDocId_; }
  void SetSubDocID(double aSubDocID) override { subDocId_ = aSubDocID; }

  // Opens the table on the thread's user database (closing an open one).
  void OpenTable();
  void CloseTable();
  bool IsOpen() const { return rs_ != nullptr; }

  std::string GetString(int32_t aKey, int32_t aLineNum, int32_t aTableNum) override;
  double GetDouble(int32_t aKey, int32_t aLineNum, int32_t aTableNum) override;
  double GetMoney(int32_t aKey, int32_t aLineNum, int32_t aTableNum) override;
  int32_t GetLong(int32_t aKey, int32_t aLineNum, int32_t aTableNum) override;
  Variant GetDate(int32_t aKey, int32_t aLineNum, int32_t aTableNum) override;
  bool GetBoolean(int32_t aKey, int32_t aLineNum, int32_t aTableNum) override;

  void SetString(int32_t aKey, const std::string& aValue, int32_t aLineNum,
                 int32_t aTableNum) override;
  void SetDouble(int32_t aKey, double aValue, int32_t aLineNum, int32_t aTableNum) override;
  void SetMoney(int32_t aKey, double aValue, int32_t aLineNum, int32_t aTableNum) override;
  void SetLong(int32_t aKey, int32_t aValue, int32_t aLineNum, int32_t aTableNum) override;
  void SetDate(int32_t aKey, const Variant& aValue, int32_t aLineNum, int32_t aTableNum) override;
  void SetBoolean(int32_t aKey, bool aValue, int32_t aLineNum, int32_t aTableNum) override;

  // A new address record (Qv_PfrRecords.QvPfrAddress) from the cells of
  // base key aBaseKey: its kind (a kind outside 1..3 other than 0 reads as
  // 3), postal index, and the fields of that kind.
  ObjectPtr LoadAddress(int32_t aBaseKey, int32_t aLineNum, int32_t aTableNum);
  // The kind, the postal index and the fields of the address's kind;
  // nothing for Nothing. Cells of other kinds are left as they are.
  void SaveAddress(const ObjectPtr& aAddress, int32_t aBaseKey, int32_t aLineNum,
                   int32_t aTableNum);
  void ClearAddress(int32_t aBaseKey, int32_t aLineNum, int32_t aTableNum);
  // The same for an identity document (Qv_Records.QvIdentity); its issue
  // date, when it has none (the zero date), clears that cell.
  ObjectPtr LoadPassport(int32_t aBaseKey, int32_t aLineNum, int32_t aTableNum);
  void SavePassport(const ObjectPtr& aPassport, int32_t aBaseKey, int32_t aLineNum,
                    int32_t aTableNum);
  void ClearPassport(int32_t aBaseKey, int32_t aLineNum, int32_t aTableNum);

  void ClearDynamicRest(int32_t aKey, int32_t aLastActualTableNum,
                        int32_t aLastActualLineNum) override;
  void ClearDynamics(int32_t aCriteria, int32_t aLastActualTableNum, int32_t aLastActualLineNum,
                     int32_t aKey) override;

 private:
  // Seeks the cell; true when it is stored. Error 91 when not open.
  bool Find(int32_t key, int32_t line, int32_t table);
  // The stored text of a cell ("" when absent); `present` tells which.
  std::string Read(int32_t key, int32_t line, int32_t table, bool& present);
  // Stores `text` of kind `type` (deletes the cell for an empty text).
  void Write(int32_t key, int32_t line, int32_t table, int32_t type, const std::string& text);
  void Close() noexcept;

  std::shared_ptr<dao::Database> db_;
  std::shared_ptr<dao::Recordset> rs_;   // index "SubDoc"
  std::shared_ptr<dao::Recordset> ids_;  // index "ID": the last identifier
  double subDocId_ = 0;
  int32_t idField_ = 0, subDocField_ = 0, keyField_ = 0, lineField_ = 0, tableField_ = 0;
  int32_t typeField_ = 0, valueField_ = 0;
  Variant keys_[4];
};

}  // namespace qv::pfr
