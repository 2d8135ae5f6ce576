#pragma once
// Cell-level access to one document whose cells are rows of the user
// database's Doc_Cell_Values and whose keys follow the structured layout of
// mQvKprCells.h. One table-type recordset on the index "Document_ID"
// (Document_ID, Cell_Key) stays open across calls, so every single-cell
// read or write is one index seek.
//
// Prefix scans (the counts, the presence tests, the clears) seek ">=" on
// (document, prefix) and walk forward while the rows belong to the
// document and their keys start with the prefix. Keys compare as the index
// orders them: without regard to letter case.
//
// Lifecycle: closed until OpenDoc; OpenDoc on an open table switches
// documents and keeps the recordset. Cell operations on a closed table are
// error 91. After DBCommon.CloseDatabase the recordset is opened again on
// the next call. A cell value is stored with at most 250 characters (the
// column's rule for cell values); an empty value is stored as Null.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/automation/Object.h"

namespace qv::dao {
class Database;
class Recordset;
}  // namespace qv::dao

namespace qv::doctables {

class DBKprDocTable : public Object {
  QV_DECLARE_CLASS(DBKprDocTable)

 public:
  DBKprDocTable() = default;
  ~DBKprDocTable() override;
  DBKprDocTable(const DBKprDocTable&) = delete;
  DBKprDocTable& operator=(const DBKprDocTable&) = delete;

  void OpenDoc(double aDocID);
  void CloseDoc();
  double DocID() const { return docId_; }

  bool HasCell(const std::string& aKey);
  // True with the cell's text and type code when it exists; else False
  // and both left as they are.
  bool GetCell(const std::string& aKey, std::string& rValue, int32_t& rType);
  // Adds or rewrites the cell; aValue comes back as stored (cut to 250).
  void SetCell(const std::string& aKey, std::string& aValue, int32_t aType);
  void RemoveCell(const std::string& aKey);

  // The number of tables of the section (the first 2 characters of aKey)
  // or of rows of the line (the first 7): the largest offset found + 1, 0
  // without rows. With aIgnoreEmptyCells cells whose value is empty or
  // blank do not count.
  int32_t GetDynamicTablesCount(const std::string& aKey, bool aIgnoreEmptyCells);
  int32_t GetDynamicRowsCount(const std::string& aKey, bool aIgnoreEmptyCells);
  bool IsAnyCellPresent();
  // For a key of length 2 or 4 (a table) or 7 or 10 (a row): some cell
  // starts with it (a non-blank one with aIgnoreEmptyCells); other lengths
  // are False.
  bool IsTablePresent(const std::string& aKey, bool aIgnoreEmptyCells);
  bool IsRowPresent(const std::string& aKey, bool aIgnoreEmptyCells);
  // For a key of length 7 or 10: a non-blank cell of the row whose column
  // (characters 11-12) lies in aColStart .. aColEnd.
  bool IsRowReallyPresentInColumnsRange(const std::string& aKey, int32_t aColStart,
                                        int32_t aColEnd);
  // Every cell of the document.
  void ClearAllCells();
  // The cells of a table (key of length 2 or 4) or of a row (7 or 10);
  // other lengths do nothing. One transaction.
  void ClearTable(const std::string& aKey);
  void ClearRow(const std::string& aKey);

 private:
  // The open recordset (opened again after the database was closed);
  // error 91 when no document is open.
  dao::Recordset& Rs();
  void IntCloseDoc() noexcept;
  bool Seek(const std::string& aKey);
  // Calls `visit` with each key and value of the prefix scan until it
  // answers false.
  void Scan(const std::string& prefix,
            const std::function<bool(const std::string& key, const Variant& value)>& visit);
  int32_t CountDynamicsWithPrefix(const std::string& prefix, bool aIgnoreEmptyCells);
  bool HasCellWithPrefix(const std::string& prefix, bool aNonEmptyOnly);
  void ClearCellsWithPrefix(const std::string& prefix);

  double docId_ = 0;
  bool open_ = false;
  std::shared_ptr<dao::Database> db_;
  std::shared_ptr<dao::Recordset> rs_;
  int32_t docField_ = 0, keyField_ = 0, valueField_ = 0, typeField_ = 0;
  Variant keys_[2];
};

}  // namespace qv::doctables
