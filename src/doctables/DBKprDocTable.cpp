#include "doctables/DBKprDocTable.h"

#include <span>
#include <vector>

#include "core/mErrorHandling.h"
#include "core/mQvCommonCalc.h"
#include "core/mQvDaoDataBase.h"
#include "doctables/CellWrite.h"
#include "doctables/mQvKprCells.h"
#include "platform/automation/VbaText.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/Transaction.h"
#include "records/MapperSession.h"
#include "records/miDocument.h"

namespace qv::doctables {

namespace {

using namespace mQvKprCells;

// The key's first characters, when it has that many.
bool HasLength(const std::string& key, int32_t a, int32_t b) {
  const int32_t n = Len(key);
  return n == a || n == b;
}

std::string TrimmedText(const Variant& v) {
  return Trim(mQvCommonCalc::VarToStr(v));
}

// A key starts with `prefix` as the index compares texts.
bool StartsWith(const std::string& key, const std::string& prefix, int32_t prefixLength) {
  if (prefix.empty()) return true;
  return CompareTextRu(Left(key, prefixLength), prefix) == 0;
}

}  // namespace

DBKprDocTable::~DBKprDocTable() {
  IntCloseDoc();
}

void DBKprDocTable::IntCloseDoc() noexcept {
  try {
    if (rs_ && rs_->IsOpen()) rs_->Close();
  } catch (...) {
  }
  rs_.reset();
  db_.reset();
  docId_ = 0;
  open_ = false;
}

void DBKprDocTable::OpenDoc(double aDocID) {
  Guard(QV_HERE, [&] {
    docId_ = aDocID;
    open_ = true;
    Rs();
  });
}

void DBKprDocTable::CloseDoc() {
  Guard(QV_HERE, [&] { IntCloseDoc(); });
}

dao::Recordset& DBKprDocTable::Rs() {
  if (!open_) ThrowVb(vberr::kObjectNotSet, "no document is open");
  if (!rs_ || !rs_->IsOpen()) {
    rs_.reset();
    auto db = records::MapperUserDatabase();
    auto rs = mQvDaoDataBase::QvGetTableRS("Doc_Cell_Values", "Document_ID", db);
    docField_ = rs->FieldIndex("Document_ID");
    keyField_ = rs->FieldIndex("Cell_Key");
    valueField_ = rs->FieldIndex("first_value");
    typeField_ = rs->FieldIndex("first_type");
    db_ = std::move(db);
    rs_ = std::move(rs);
  }
  return *rs_;
}

bool DBKprDocTable::Seek(const std::string& aKey) {
  dao::Recordset& rs = Rs();
  keys_[0] = Variant(docId_);
  keys_[1] = Variant(aKey);
  rs.Seek("=", keys_);
  return !rs.NoMatch();
}

bool DBKprDocTable::HasCell(const std::string& aKey) {
  return Guard(QV_HERE, [&] { return Seek(aKey); });
}

bool DBKprDocTable::GetCell(const std::string& aKey, std::string& rValue, int32_t& rType) {
  return Guard(QV_HERE, [&] {
    if (!Seek(aKey)) return false;
    rValue = mQvCommonCalc::VarToStr(rs_->FieldValue(valueField_));
    rType = mQvCommonCalc::VarToLongDef(rs_->FieldValue(typeField_), 0);
    return true;
  });
}

void DBKprDocTable::SetCell(const std::string& aKey, std::string& aValue, int32_t aType) {
  Guard(QV_HERE, [&] {
    dao::Recordset& rs = Rs();
    aValue = Truncate16(aValue, miDocument::kCellValueLength);
    CellWrite write(*db_);
    if (!Seek(aKey)) {
      rs.AddNew();
      rs.SetField(docField_, Variant(docId_));
      rs.SetField(keyField_, Variant(aKey));
    } else {
      rs.Edit();
    }
    rs.SetField(typeField_, Variant(aType));
    rs.SetField(valueField_, mQvCommonCalc::NullIfEmptyStr(aValue));
    rs.Update();
    write.Commit();
  });
}

void DBKprDocTable::RemoveCell(const std::string& aKey) {
  Guard(QV_HERE, [&] {
    if (Seek(aKey)) rs_->Delete();
  });
}

void DBKprDocTable::Scan(
    const std::string& prefix,
    const std::function<bool(const std::string& key, const Variant& value)>& visit) {
  dao::Recordset& rs = Rs();
  keys_[0] = Variant(docId_);
  keys_[1] = Variant(prefix);
  rs.Seek(">=", keys_);
  if (rs.NoMatch()) return;
  const int32_t length = Len(prefix);
  for (; !rs.IsEOF(); rs.MoveNext()) {
    if (CDbl(rs.FieldValue(docField_)) != docId_) return;
    const std::string key = mQvCommonCalc::VarToStr(rs.FieldValue(keyField_));
    if (!StartsWith(key, prefix, length)) return;
    if (!visit(key, rs.FieldValue(valueField_))) return;
  }
}

int32_t DBKprDocTable::CountDynamicsWithPrefix(const std::string& prefix, bool aIgnoreEmptyCells) {
  const int32_t length = Len(prefix);
  if (length != kSectionLength && length != kLineLength) return 0;
  const bool tables = length == kSectionLength;
  int32_t count = 0;
  Scan(prefix, [&](const std::string& key, const Variant& value) {
    if (aIgnoreEmptyCells && TrimmedText(value).empty()) return true;
    const int32_t offset =
        tables ? OfToN(Mid(key, kTableOffsetStart, 2), 1) : OfToN(Mid(key, kRowOffsetStart, 3), 2);
    count = std::max(count, offset + 1);
    return true;
  });
  return count;
}

bool DBKprDocTable::HasCellWithPrefix(const std::string& prefix, bool aNonEmptyOnly) {
  bool found = false;
  Scan(prefix, [&](const std::string&, const Variant& value) {
    found = !aNonEmptyOnly || !TrimmedText(value).empty();
    return !found;
  });
  return found;
}

void DBKprDocTable::ClearCellsWithPrefix(const std::string& prefix) {
  std::vector<std::string> keys;
  Scan(prefix, [&](const std::string& key, const Variant&) {
    keys.push_back(key);
    return true;
  });
  if (keys.empty()) return;
  dao::Transaction tx(*db_, dao::kWriteLock);
  for (const std::string& key : keys)
    if (Seek(key)) rs_->Delete();
  tx.Commit();
}

int32_t DBKprDocTable::GetDynamicTablesCount(const std::string& aKey, bool aIgnoreEmptyCells) {
  return Guard(QV_HERE, [&] {
    return CountDynamicsWithPrefix(Left(aKey, kSectionLength), aIgnoreEmptyCells);
  });
}

int32_t DBKprDocTable::GetDynamicRowsCount(const std::string& aKey, bool aIgnoreEmptyCells) {
  return Guard(QV_HERE,
               [&] { return CountDynamicsWithPrefix(Left(aKey, kLineLength), aIgnoreEmptyCells); });
}

bool DBKprDocTable::IsAnyCellPresent() {
  return Guard(QV_HERE, [&] { return HasCellWithPrefix("", false); });
}

bool DBKprDocTable::IsTablePresent(const std::string& aKey, bool aIgnoreEmptyCells) {
  return Guard(QV_HERE, [&] {
    return HasLength(aKey, kSectionLength, kTableKeyLength) &&
           HasCellWithPrefix(aKey, aIgnoreEmptyCells);
  });
}

bool DBKprDocTable::IsRowPresent(const std::string& aKey, bool aIgnoreEmptyCells) {
  return Guard(QV_HERE, [&] {
    return HasLength(aKey, kLineLength, kRowKeyLength) &&
           HasCellWithPrefix(aKey, aIgnoreEmptyCells);
  });
}

bool DBKprDocTable::IsRowReallyPresentInColumnsRange(const std::string& aKey, int32_t aColStart,
                                                     int32_t aColEnd) {
  return Guard(QV_HERE, [&] {
    if (!HasLength(aKey, kLineLength, kRowKeyLength)) return false;
    bool found = false;
    Scan(aKey, [&](const std::string& key, const Variant& value) {
      if (TrimmedText(value).empty()) return true;
      bool ok = false;
      const int32_t column = mQvCommonCalc::StrToLongEx(Mid(key, kColumnStart, 2), 0, ok);
      found = ok && column >= aColStart && column <= aColEnd;
      return !found;
    });
    return found;
  });
}

void DBKprDocTable::ClearAllCells() {
  Guard(QV_HERE, [&] {
    Rs();
    miDocument::DeleteDocumentCells(*db_, docId_);
  });
}

void DBKprDocTable::ClearTable(const std::string& aKey) {
  Guard(QV_HERE, [&] {
    if (HasLength(aKey, kSectionLength, kTableKeyLength)) ClearCellsWithPrefix(aKey);
  });
}

void DBKprDocTable::ClearRow(const std::string& aKey) {
  Guard(QV_HERE, [&] {
    if (HasLength(aKey, kLineLength, kRowKeyLength)) ClearCellsWithPrefix(aKey);
  });
}

QV_DEFINE_CLASS(DBKprDocTable, "Qv_DBProvider.DBKprDocTable", QV_CREATABLE(DBKprDocTable),
                Method("OpenDoc(aDocID)", &DBKprDocTable::OpenDoc),
                Method("CloseDoc", &DBKprDocTable::CloseDoc),
                Method("HasCell(aKey)", &DBKprDocTable::HasCell),
                Method("GetCell(aKey, rValue, rType)", &DBKprDocTable::GetCell),
                Method("SetCell(aKey, aValue, aType)", &DBKprDocTable::SetCell),
                Method("RemoveCell(aKey)", &DBKprDocTable::RemoveCell),
                Method("GetDynamicTablesCount(aKey, aIgnoreEmptyCells)",
                       &DBKprDocTable::GetDynamicTablesCount, {Variant(false)}),
                Method("GetDynamicRowsCount(aKey, aIgnoreEmptyCells)",
                       &DBKprDocTable::GetDynamicRowsCount, {Variant(false)}),
                Method("IsAnyCellPresent", &DBKprDocTable::IsAnyCellPresent),
                Method("IsTablePresent(aKey, aIgnoreEmptyCells)", &DBKprDocTable::IsTablePresent,
                       {Variant(false)}),
                Method("IsRowPresent(aKey, aIgnoreEmptyCells)", &DBKprDocTable::IsRowPresent,
                       {Variant(false)}),
                Method("IsRowReallyPresentInColumnsRange(aKey, aColStart, aColEnd)",
                       &DBKprDocTable::IsRowReallyPresentInColumnsRange),
                Method("ClearAllCells", &DBKprDocTable::ClearAllCells),
                Method("ClearTable(aKey)", &DBKprDocTable::ClearTable),
                Method("ClearRow(aKey)", &DBKprDocTable::ClearRow))

}  // namespace qv::doctables
