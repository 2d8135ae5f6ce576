#include "pfr/IntPfrCellValuesTable.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "core/mErrorHandling.h"
#include "core/mQvCommonCalc.h"
#include "core/mQvDaoDataBase.h"
#include "platform/automation/VbaDate.h"
#include "platform/automation/VbaText.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/Transaction.h"
#include "platform/jet/JetConnection.h"
#include "platform/jet/JetEngine.h"
#include "records/MapperEngine.h"
#include "records/MapperSession.h"
#include "siblings/records/QvRecord.h"

namespace qv::pfr {

namespace {

using records::QvRecord;
using records::QvRecordPtr;

enum ValueType : int32_t {
  kString = 1,
  kLong = 2,
  kDouble = 3,
  kMoney = 4,
  kDate = 5,
  kBoolean = 6,
};

constexpr int32_t kStringLimit = 255;

// Address kinds and the offsets of an address's cells from its base key.
constexpr int32_t kRussianAddress = 1, kForeignAddress = 2, kTextAddress = 3;
constexpr int32_t kKind = 0, kCountry = 1, kPostIndex = 2, kRegion = 3, kFreeText = 11;
constexpr int32_t kAbbreviations = 100;  // element k + 100 is the abbreviation of element k
constexpr const char* kElements[] = {"Area",  "City",     "Point", "Street",
                                     "House", "Building", "Flat"};
constexpr const char* kAbElements[] = {"AbArea",  "AbCity",     "AbPoint", "AbStreet",
                                       "AbHouse", "AbBuilding", "AbFlat"};
constexpr int32_t kFirstElement = 4;

// The identity document's cells.
constexpr int32_t kDocType = 0, kSeries = 1, kNumber = 2, kIssueDate = 3, kIssueOrg = 4;

std::string NumberText(double v) {
  return v == 0 ? std::string() : CStr(Variant(v));
}

// "DD.MM.YYYY", whatever the system's date settings.
std::string DateText(const Variant& v) {
  if (v.IsEmptyOrNull()) return {};
  const DateParts d = SplitDate(CDate(v));
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", d.day, d.month, d.year);
  return buf;
}

// A part of a stored date; 0 when it is no whole number.
int32_t DatePart(std::string_view part) {
  try {
    return CLng(Variant(std::string(part)));
  } catch (const Error&) {
    return 0;
  }
}

// "5.3.2024" and "05.03.2024" read as that date; a text without two points,
// or with a part that is zero or no number, as Empty.
Variant ParseDate(const std::string& text) {
  const size_t first = text.find('.');
  if (first == std::string::npos) return Variant();
  const size_t second = text.find('.', first + 1);
  if (second == std::string::npos) return Variant();
  const int32_t day = DatePart(std::string_view(text).substr(0, first));
  const int32_t month = DatePart(std::string_view(text).substr(first + 1, second - first - 1));
  const int32_t year = DatePart(std::string_view(text).substr(second + 1));
  if (day == 0 || month == 0 || year == 0) return Variant();
  try {
    return Variant(DateSerial(year, month, day));
  } catch (const Error&) {
    return Variant();
  }
}

double NumberOf(const std::string& text) {
  try {
    return Val(text);
  } catch (const Error&) {
    return 0;
  }
}

QvRecordPtr RecordOf(const ObjectPtr& o, std::string_view progId) {
  auto rec = std::dynamic_pointer_cast<QvRecord>(o);
  if (!rec || !EqualsAsciiNoCase(rec->Type().progId, progId))
    ThrowVb(vberr::kTypeMismatch, std::string("a ") + std::string(progId) + " record was expected");
  return rec;
}

double SubRecordId(QvRecord& rec, std::string_view property) {
  QvRecordPtr sub = rec.SubRecord(rec.PropertyIndex(property));
  return sub->State() == records::kDeleted ? 0 : sub->Id();
}

}  // namespace

std::shared_ptr<IntPfrCellValuesTable> IntPfrCellValuesTable::OpenSession() {
  return Guard(QV_HERE, [] {
    auto session = std::make_shared<IntPfrCellValuesTable>();
    session->OpenTable();
    return session;
  });
}

IntPfrCellValuesTable::~IntPfrCellValuesTable() {
  Close();
}

void IntPfrCellValuesTable::Close() noexcept {
  for (auto* rs : {&rs_, &ids_}) {
    try {
      if (*rs && (*rs)->IsOpen()) (*rs)->Close();
    } catch (...) {
    }
    rs->reset();
  }
  db_.reset();
}

void IntPfrCellValuesTable::OpenTable() {
  Guard(QV_HERE, [&] {
    Close();
    auto db = records::MapperUserDatabase();
    auto rs = mQvDaoDataBase::QvGetTableRS("PfrCellValues", "SubDoc", db);
    auto ids = mQvDaoDataBase::QvGetTableRS("PfrCellValues", "ID", db);
    idField_ = rs->FieldIndex("ID");
    subDocField_ = rs->FieldIndex("SubDocID");
    keyField_ = rs->FieldIndex("Key");
    lineField_ = rs->FieldIndex("LineNum");
    tableField_ = rs->FieldIndex("TableNum");
    typeField_ = rs->FieldIndex("ValueType");
    valueField_ = rs->FieldIndex("Value");
    db_ = std::move(db);
    rs_ = std::move(rs);
    ids_ = std::move(ids);
  });
}

void IntPfrCellValuesTable::CloseTable() {
  Guard(QV_HERE, [&] { Close(); });
}

bool IntPfrCellValuesTable::Find(int32_t key, int32_t line, int32_t table) {
  if (!rs_) ThrowVb(vberr::kObjectNotSet, "the table of cell values is not open");
  keys_[0] = Variant(subDocId_);
  keys_[1] = Variant(key);
  keys_[2] = Variant(table);
  keys_[3] = Variant(line);
  rs_->Seek("=", keys_);
  return !rs_->NoMatch();
}

std::optional<std::string> IntPfrCellValuesTable::ReadValue(dao::Database& aDb, double aSubDocID,
                                                            int32_t aKey, int32_t aLineNum,
                                                            int32_t aTableNum) {
  // Equal addresses come in rowid order on index "SubDoc", so the first row
  // is the one a seek on the index finds. Only the value is read: a seek
  // read the whole row into Variants for it. On a server the table's
  // cursor orders equal addresses by the primary key ID, so the first row
  // in ID order is the one its seek finds.
  if (aDb.IsServer()) {
    auto st = aDb.ServerEngine().Prepare(
        "SELECT TOP 1 [Value] FROM [PfrCellValues] "
        "WHERE [SubDocID] = 0.5 AND [Key] = 0 AND [TableNum] = 0 AND [LineNum] = 0 ORDER BY [ID]");
    // The count of TOP is the first literal: the address is the last four.
    const int first = st->ParameterCount() - 4;
    st->Bind(first + 1, Variant(mQvDaoDataBase::Number2DaoValue(aSubDocID)));
    st->Bind(first + 2, Variant(aKey));
    st->Bind(first + 3, Variant(aTableNum));
    st->Bind(first + 4, Variant(aLineNum));
    if (!st->Step()) return std::nullopt;
    const Variant v = st->Value(0);
    std::optional<std::string> text = v.IsString() ? v.AsString()
                                      : v.IsNull() ? std::string()
                                                   : CStr(v);
    st->Reset();
    return text;
  }
  // The statement's cache entry is kept for the thread (NativeText: looked
  // up again for another connection or after the cache dropped it), so the
  // text is not looked up per cell.
  thread_local jet::Connection::NativeText kept;
  jet::Statement st = aDb.Connection().PrepareNative(
      "SELECT \"Value\" FROM \"PfrCellValues\" "
      "WHERE \"SubDocID\" = ? AND \"Key\" = ? AND \"TableNum\" = ? AND \"LineNum\" = ? "
      "ORDER BY rowid LIMIT 1",
      kept);
  st.Bind(1, Variant(mQvDaoDataBase::Number2DaoValue(aSubDocID)));
  st.BindInt(2, aKey);
  st.BindInt(3, aTableNum);
  st.BindInt(4, aLineNum);
  if (!st.Step()) return std::nullopt;
  const jet::Statement::Cell cell = st.CellAt(0);
  if (cell.kind == jet::Statement::Cell::Kind::kText) return std::string(cell.text);
  const Variant v = st.Value(0);
  return v.IsString() ? v.AsString() : v.IsNull() ? std::string() : CStr(v);
}

std::string IntPfrCellValuesTable::Read(int32_t key, int32_t line, int32_t table, bool& present) {
  if (!rs_) ThrowVb(vberr::kObjectNotSet, "the table of cell values is not open");
  std::optional<std::string> text = ReadValue(*db_, subDocId_, key, line, table);
  present = text.has_value();
  return present ? std::move(*text) : std::string();
}

void IntPfrCellValuesTable::Write(int32_t key, int32_t line, int32_t table, int32_t type,
                                  const std::string& text) {
  const bool found = Find(key, line, table);
  if (text.empty()) {
    if (found) rs_->Delete();
    return;
  }
  if (found) {
    const Variant& storedType = rs_->FieldValue(typeField_);
    const Variant& stored = rs_->FieldValue(valueField_);
    if (!storedType.IsNull() && CLng(storedType) == type && stored.IsString() &&
        stored.AsString() == text)
      return;
    rs_->Edit();
    rs_->SetField(typeField_, Variant(type));
    rs_->SetField(valueField_, Variant(text));
    rs_->Update();
    return;
  }
  // The identifier is the last one plus one at the moment of the insert:
  // chosen and used under the write lock.
  dao::Transaction tx(*db_, dao::kWriteLock);
  const double id = mQvDaoDataBase::NextId(*ids_, "ID");
  rs_->AddNew();
  rs_->SetField(idField_, Variant(id));
  rs_->SetField(subDocField_, Variant(subDocId_));
  rs_->SetField(keyField_, Variant(key));
  rs_->SetField(lineField_, Variant(line));
  rs_->SetField(tableField_, Variant(table));
  rs_->SetField(typeField_, Variant(type));
  rs_->SetField(valueField_, Variant(text));
  rs_->Update();
  tx.Commit();
}

// ---- getters

std::string IntPfrCellValuesTable::GetString(int32_t aKey, int32_t aLineNum, int32_t aTableNum) {
  return Guard(QV_HERE, [&] {
    bool present;
    return Read(aKey, aLineNum, aTableNum, present);
  });
}

double IntPfrCellValuesTable::GetDouble(int32_t aKey, int32_t aLineNum, int32_t aTableNum) {
  return Guard(QV_HERE, [&] {
    bool present;
    const std::string text = Read(aKey, aLineNum, aTableNum, present);
    return present ? NumberOf(text) : 0.0;
  });
}

double IntPfrCellValuesTable::GetMoney(int32_t aKey, int32_t aLineNum, int32_t aTableNum) {
  return Guard(QV_HERE, [&] {
    bool present;
    const std::string text = Read(aKey, aLineNum, aTableNum, present);
    return present ? NumberOf(text) : 0.0;
  });
}

int32_t IntPfrCellValuesTable::GetLong(int32_t aKey, int32_t aLineNum, int32_t aTableNum) {
  return Guard(QV_HERE, [&] {
    bool present;
    const std::string text = Read(aKey, aLineNum, aTableNum, present);
    if (!present) return 0;
    try {
      return CLng(Variant(NumberOf(text)));  // halves to even
    } catch (const Error&) {
      return 0;
    }
  });
}

Variant IntPfrCellValuesTable::GetDate(int32_t aKey, int32_t aLineNum, int32_t aTableNum) {
  return Guard(QV_HERE, [&] {
    bool present;
    const std::string text = Read(aKey, aLineNum, aTableNum, present);
    return present ? ParseDate(text) : Variant();
  });
}

bool IntPfrCellValuesTable::GetBoolean(int32_t aKey, int32_t aLineNum, int32_t aTableNum) {
  return Guard(QV_HERE, [&] {
    bool present;
    return Read(aKey, aLineNum, aTableNum, present) == "1";
  });
}

// ---- setters

void IntPfrCellValuesTable::SetString(int32_t aKey, const std::string& aValue, int32_t aLineNum,
                                      int32_t aTableNum) {
  Guard(QV_HERE,
        [&] { Write(aKey, aLineNum, aTableNum, kString, Truncate16(aValue, kStringLimit)); });
}

void IntPfrCellValuesTable::SetDouble(int32_t aKey, double aValue, int32_t aLineNum,
                                      int32_t aTableNum) {
  Guard(QV_HERE, [&] { Write(aKey, aLineNum, aTableNum, kDouble, NumberText(aValue)); });
}

void IntPfrCellValuesTable::SetMoney(int32_t aKey, double aValue, int32_t aLineNum,
                                     int32_t aTableNum) {
  Guard(QV_HERE, [&] { Write(aKey, aLineNum, aTableNum, kMoney, NumberText(aValue)); });
}

void IntPfrCellValuesTable::SetLong(int32_t aKey, int32_t aValue, int32_t aLineNum,
                                    int32_t aTableNum) {
  Guard(QV_HERE, [&] {
    Write(aKey, aLineNum, aTableNum, kLong, aValue == 0 ? std::string() : std::to_string(aValue));
  });
}

void IntPfrCellValuesTable::SetDate(int32_t aKey, const Variant& aValue, int32_t aLineNum,
                                    int32_t aTableNum) {
  Guard(QV_HERE, [&] { Write(aKey, aLineNum, aTableNum, kDate, DateText(aValue)); });
}

void IntPfrCellValuesTable::SetBoolean(int32_t aKey, bool aValue, int32_t aLineNum,
                                       int32_t aTableNum) {
  Guard(QV_HERE, [&] { Write(aKey, aLineNum, aTableNum, kBoolean, aValue ? "1" : ""); });
}

// ---- addresses and identity documents

ObjectPtr IntPfrCellValuesTable::LoadAddress(int32_t aBaseKey, int32_t aLineNum,
                                             int32_t aTableNum) {
  return Guard(QV_HERE, [&]() -> ObjectPtr {
    const int32_t b = aBaseKey, l = aLineNum, t = aTableNum;
    QvRecordPtr a = QvRecord::Create("Qv_PfrRecords.QvPfrAddress");
    int32_t kind = GetLong(b + kKind, l, t);
    if (kind != 0 && (kind < kRussianAddress || kind > kTextAddress)) kind = kTextAddress;
    a->Let("AddressType", Variant(kind));
    a->Let("PostIndex", Variant(GetString(b + kPostIndex, l, t)));
    if (kind == kRussianAddress) {
      a->SubRecord(a->PropertyIndex("Region"))->SetID(Variant(GetDouble(b + kRegion, l, t)));
      for (int32_t k = 0; k < 7; ++k) {
        a->Let(kElements[k], Variant(GetString(b + kFirstElement + k, l, t)));
        a->Let(kAbElements[k], Variant(GetString(b + kFirstElement + k + kAbbreviations, l, t)));
      }
    } else if (kind == kForeignAddress) {
      a->SubRecord(a->PropertyIndex("Country"))->SetID(Variant(GetDouble(b + kCountry, l, t)));
      a->Let("NonStruct", Variant(GetString(b + kFreeText, l, t)));
    } else if (kind == kTextAddress) {
      a->Let("NonStruct", Variant(GetString(b + kFreeText, l, t)));
    }
    return a;
  });
}

void IntPfrCellValuesTable::SaveAddress(const ObjectPtr& aAddress, int32_t aBaseKey,
                                        int32_t aLineNum, int32_t aTableNum) {
  Guard(QV_HERE, [&] {
    if (!aAddress) return;
    QvRecordPtr a = RecordOf(aAddress, "Qv_PfrRecords.QvPfrAddress");
    const int32_t b = aBaseKey, l = aLineNum, t = aTableNum;
    const int32_t kind = CLng(a->Get("AddressType"));
    SetLong(b + kKind, kind, l, t);
    SetString(b + kPostIndex, CStr(a->Get("PostIndex")), l, t);
    if (kind == kRussianAddress) {
      SetDouble(b + kRegion, SubRecordId(*a, "Region"), l, t);
      for (int32_t k = 0; k < 7; ++k) {
        SetString(b + kFirstElement + k, CStr(a->Get(kElements[k])), l, t);
        SetString(b + kFirstElement + k + kAbbreviations, CStr(a->Get(kAbElements[k])), l, t);
      }
    } else if (kind == kForeignAddress) {
      SetDouble(b + kCountry, SubRecordId(*a, "Country"), l, t);
      SetString(b + kFreeText, CStr(a->Get("NonStruct")), l, t);
    } else if (kind != 0) {
      SetString(b + kFreeText, CStr(a->Get("NonStruct")), l, t);
    }
  });
}

void IntPfrCellValuesTable::ClearAddress(int32_t aBaseKey, int32_t aLineNum, int32_t aTableNum) {
  Guard(QV_HERE, [&] {
    for (int32_t k = kKind; k <= kFreeText; ++k) SetString(aBaseKey + k, "", aLineNum, aTableNum);
    for (int32_t k = 0; k < 7; ++k)
      SetString(aBaseKey + kFirstElement + k + kAbbreviations, "", aLineNum, aTableNum);
  });
}

ObjectPtr IntPfrCellValuesTable::LoadPassport(int32_t aBaseKey, int32_t aLineNum,
                                              int32_t aTableNum) {
  return Guard(QV_HERE, [&]() -> ObjectPtr {
    const int32_t b = aBaseKey, l = aLineNum, t = aTableNum;
    QvRecordPtr p = QvRecord::Create("Qv_Records.QvIdentity");
    p->SubRecord(p->PropertyIndex("Type"))->SetID(Variant(GetLong(b + kDocType, l, t)));
    p->Let("Series", Variant(GetString(b + kSeries, l, t)));
    p->Let("Number", Variant(GetString(b + kNumber, l, t)));
    const Variant issued = GetDate(b + kIssueDate, l, t);
    if (!issued.IsEmpty()) p->Let("IssueDate", issued);
    p->Let("IssueOrg", Variant(GetString(b + kIssueOrg, l, t)));
    return p;
  });
}

void IntPfrCellValuesTable::SavePassport(const ObjectPtr& aPassport, int32_t aBaseKey,
                                         int32_t aLineNum, int32_t aTableNum) {
  Guard(QV_HERE, [&] {
    if (!aPassport) return;
    QvRecordPtr p = RecordOf(aPassport, "Qv_Records.QvIdentity");
    const int32_t b = aBaseKey, l = aLineNum, t = aTableNum;
    SetLong(b + kDocType, static_cast<int32_t>(SubRecordId(*p, "Type")), l, t);
    SetString(b + kSeries, CStr(p->Get("Series")), l, t);
    SetString(b + kNumber, CStr(p->Get("Number")), l, t);
    const OleDate issued = CDate(p->Get("IssueDate"));
    SetDate(b + kIssueDate, std::floor(issued.serial) == 0 ? Variant() : Variant(issued), l, t);
    SetString(b + kIssueOrg, CStr(p->Get("IssueOrg")), l, t);
  });
}

void IntPfrCellValuesTable::ClearPassport(int32_t aBaseKey, int32_t aLineNum, int32_t aTableNum) {
  Guard(QV_HERE, [&] {
    for (int32_t k = kDocType; k <= kIssueOrg; ++k)
      SetString(aBaseKey + k, "", aLineNum, aTableNum);
  });
}

// ---- repeating tables

void IntPfrCellValuesTable::ClearDynamicRest(int32_t aKey, int32_t aLastActualTableNum,
                                             int32_t aLastActualLineNum) {
  Guard(QV_HERE, [&] {
    if (aLastActualLineNum == 0)
      ClearDynamics(2, aLastActualTableNum, aLastActualLineNum, aKey);
    else if (aLastActualTableNum == 0)
      ClearDynamics(1, aLastActualTableNum, aLastActualLineNum, aKey);
  });
}

void IntPfrCellValuesTable::ClearDynamics(int32_t aCriteria, int32_t aLastActualTableNum,
                                          int32_t aLastActualLineNum, int32_t aKey) {
  Guard(QV_HERE, [&] {
    if (!rs_) ThrowVb(vberr::kObjectNotSet, "the table of cell values is not open");
    const int32_t lastTable = aLastActualTableNum, lastLine = aLastActualLineNum;
    auto beyond = [&](int32_t line, int32_t table) {
      switch (aCriteria) {
        case 1:
          return line > lastLine;
        case 2:
          return table > lastTable;
        case 3:
          return table == lastTable && line > lastLine;
        case 4:
          return table > lastTable && line == lastLine;
        default:
          return false;
      }
    };
    std::vector<double> gone;
    const Variant key[2] = {Variant(subDocId_), Variant(aKey)};
    rs_->Seek(">=", key);
    for (; !rs_->IsEOF(); rs_->MoveNext()) {
      if (CDbl(rs_->FieldValue(subDocField_)) != subDocId_ ||
          CLng(rs_->FieldValue(keyField_)) != aKey)
        break;
      // A cell stored without a line or table number is line or table 0.
      if (beyond(mQvCommonCalc::VarToLongDef(rs_->FieldValue(lineField_), 0),
                 mQvCommonCalc::VarToLongDef(rs_->FieldValue(tableField_), 0)))
        gone.push_back(CDbl(rs_->FieldValue(idField_)));
    }
    records::DeleteByIdList(*db_, "PfrCellValues", "", "ID", gone);
  });
}

QV_DEFINE_CLASS(
    IntPfrCellValuesTable, "Qv_DBProvider.IntPfrCellValuesTable", nullptr,
    Property("SubDocID", &IntPfrCellValuesTable::SubDocID, &IntPfrCellValuesTable::SetSubDocID),
    Method("OpenTable", &IntPfrCellValuesTable::OpenTable),
    Method("CloseTable", &IntPfrCellValuesTable::CloseTable),
    Method("GetString(aKey, aLineNum, aTableNum)", &IntPfrCellValuesTable::GetString,
           {Variant(int32_t{0}), Variant(int32_t{0})}),
    Method("GetDouble(aKey, aLineNum, aTableNum)", &IntPfrCellValuesTable::GetDouble,
           {Variant(int32_t{0}), Variant(int32_t{0})}),
    Method("GetMoney(aKey, aLineNum, aTableNum)", &IntPfrCellValuesTable::GetMoney,
           {Variant(int32_t{0}), Variant(int32_t{0})}),
    Method("GetLong(aKey, aLineNum, aTableNum)", &IntPfrCellValuesTable::GetLong,
           {Variant(int32_t{0}), Variant(int32_t{0})}),
    Method("GetDate(aKey, aLineNum, aTableNum)", &IntPfrCellValuesTable::GetDate,
           {Variant(int32_t{0}), Variant(int32_t{0})}),
    Method("GetBoolean(aKey, aLineNum, aTableNum)", &IntPfrCellValuesTable::GetBoolean,
           {Variant(int32_t{0}), Variant(int32_t{0})}),
    Method("SetString(aKey, aValue, aLineNum, aTableNum)", &IntPfrCellValuesTable::SetString,
           {Variant(int32_t{0}), Variant(int32_t{0})}),
    Method("SetDouble(aKey, aValue, aLineNum, aTableNum)", &IntPfrCellValuesTable::SetDouble,
           {Variant(int32_t{0}), Variant(int32_t{0})}),
    Method("SetMoney(aKey, aValue, aLineNum, aTableNum)", &IntPfrCellValuesTable::SetMoney,
           {Variant(int32_t{0}), Variant(int32_t{0})}),
    Method("SetLong(aKey, aValue, aLineNum, aTableNum)", &IntPfrCellValuesTable::SetLong,
           {Variant(int32_t{0}), Variant(int32_t{0})}),
    Method("SetDate(aKey, aValue, aLineNum, aTableNum)", &IntPfrCellValuesTable::SetDate,
           {Variant(int32_t{0}), Variant(int32_t{0})}),
    Method("SetBoolean(aKey, aValue, aLineNum, aTableNum)", &IntPfrCellValuesTable::SetBoolean,
           {Variant(int32_t{0}), Variant(int32_t{0})}),
    Method("LoadAddress(aBaseKey, aLineNum, aTableNum)", &IntPfrCellValuesTable::LoadAddress,
           {Variant(int32_t{0}), Variant(int32_t{0})}),
    Method("SaveAddress(aAddress, aBaseKey, aLineNum, aTableNum)",
           &IntPfrCellValuesTable::SaveAddress, {Variant(int32_t{0}), Variant(int32_t{0})}),
    Method("ClearAddress(aBaseKey, aLineNum, aTableNum)", &IntPfrCellValuesTable::ClearAddress),
    Method("LoadPassport(aBaseKey, aLineNum, aTableNum)", &IntPfrCellValuesTable::LoadPassport,
           {Variant(int32_t{0}), Variant(int32_t{0})}),
    Method("SavePassport(aPassport, aBaseKey, aLineNum, aTableNum)",
           &IntPfrCellValuesTable::SavePassport, {Variant(int32_t{0}), Variant(int32_t{0})}),
    Method("ClearPassport(aBaseKey, aLineNum, aTableNum)", &IntPfrCellValuesTable::ClearPassport),
    Method("ClearDynamicRest(aKey, aLastActualTableNum, aLastActualLineNum)",
           &IntPfrCellValuesTable::ClearDynamicRest),
    Method("ClearDynamics(aCriteria, aLastActualTableNum, aLastActualLineNum, aKey)",
           &IntPfrCellValuesTable::ClearDynamics,
           {Variant(int32_t{-1}), Variant(int32_t{-1}), Variant(int32_t{-1})}))

}  // namespace qv::pfr
