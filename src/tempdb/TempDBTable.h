#pragma once
// TempDBTable ("Qv_DBProvider.TempDBTable"): one table of a temporary
// database (TempDataBase.h). Made by TempDataBase.CreateTable, it collects
// fields and indexes, becomes a table with CommitCreateTable, and is
// dropped by DeleteTable or when it is destroyed. A TempDBTable created by
// name is bound to nothing: its operations fail with 91.
//
// Field rules (AddField): a date field allows Null; a text field is
// `aSize` characters long (255 for 0) and, like a memo field, required but
// allowing ""; every other field is required. Names and types the engine
// does not know are refused when the table is committed (3125 a name,
// 3259 a type, 3191 a field twice), and nothing is created.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/automation/Object.h"

namespace qv::dao {
class Field;
class Index;
class Recordset;
class TableDef;
}  // namespace qv::dao

namespace qv::tempdb {

class TempDataBase;

class TempDBTable : public Object {
  QV_DECLARE_CLASS(TempDBTable)

 public:
  TempDBTable() = default;
  // DeleteTable, errors ignored.
  ~TempDBTable() override;

  // True: CommitCreateTable turns UnicodeCompression off on the text and
  // memo fields.
  bool ClearUnicodeCompression() const { return clearUnicode_; }
  void SetClearUnicodeCompression(bool on) { clearUnicode_ = on; }
  std::shared_ptr<dao::TableDef> TableDef() const { return def_; }
  std::string Name() const { return name_; }

  // `aType` is a DAO field type (dbLong 4, dbDate 8, dbText 10 ...).
  std::shared_ptr<dao::Field> AddField(const std::string& aName, int32_t aType, int32_t aSize);
  // `FieldNames`: an array of field names (or one name), in key order.
  // Primary when `aPrimary`, else unique when `aUnique`.
  std::shared_ptr<dao::Index> AddIndex(const std::string& aIndexName, bool aPrimary, bool aUnique,
                                       const Variant& FieldNames);
  void CommitCreateTable();
  // The table as a table-type recordset, on the index `aIndexName` when
  // not empty. Errors: 3078 before CommitCreateTable.
  std::shared_ptr<dao::Recordset> GetTableRS(const std::string& aIndexName);
  // Drops the table when it was committed and its database is still open,
  // and forgets the definition and the owner.
  void DeleteTable();

  // For TempDataBase::CreateTable.
  void Bind(std::shared_ptr<TempDataBase> owner, std::string name);

 private:
  dao::TableDef& Definition() const;

  std::shared_ptr<TempDataBase> owner_;
  std::shared_ptr<dao::TableDef> def_;
  std::string name_;
  bool clearUnicode_ = false;
};

}  // namespace qv::tempdb
