// The cells of DBBigDocTable: addressing, reads, writes and the matrix
// columns.

#include <cstdint>
#include <iterator>
#include <limits>
#include <optional>
#include <span>

#include "core/mErrorHandling.h"
#include "core/mQvCommonCalc.h"
#include "core/mQvDaoDataBase.h"
#include "doctables/BigDocValues.h"
#include "doctables/CellWrite.h"
#include "doctables/DBBigDocTable.h"
#include "platform/automation/VbaText.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/Transaction.h"
#include "platform/jet/JetConnection.h"

namespace qv::doctables {

namespace {

using mQvCommonCalc::StrToDoubleEx;
using mQvCommonCalc::StrToLongEx;

constexpr int32_t kMaxKey = 0x7FFF;
// Texts of this many characters or more are wide.
constexpr int32_t kWideLength = 256;

bool Fits16(int32_t n) {
  return n >= std::numeric_limits<int16_t>::min() && n <= std::numeric_limits<int16_t>::max();
}

// The StatCells row of a static key: keys 2n and 2n + 1 share row 2n.
int32_t RowKey(int32_t key) {
  return (key / 2 * 2) & kMaxKey;
}

const std::string& TextOf(const Variant& v) {
  static const std::string kEmpty;
  return v.IsString() ? v.AsString() : kEmpty;
}

// By CellSql. A read takes the first row in the index's order, as a seek
// does (the cell indexes are not unique; a write keeps one row per
// address).
constexpr std::string_view kCellSql[] = {
    "SELECT Value0 FROM StatCells WHERE SubDocID = ?1 AND Key = ?2 ORDER BY rowid LIMIT 1",
    "SELECT Value1 FROM StatCells WHERE SubDocID = ?1 AND Key = ?2 ORDER BY rowid LIMIT 1",
    "SELECT Value FROM DynCells "
    "WHERE SubDocID = ?1 AND Key = ?2 AND TableNum = ?3 AND LineNum = ?4 "
    "ORDER BY rowid LIMIT 1",
    "UPDATE StatCells SET Value0 = ?3 WHERE SubDocID = ?1 AND Key = ?2",
    "UPDATE StatCells SET Value1 = ?3 WHERE SubDocID = ?1 AND Key = ?2",
    "INSERT INTO StatCells (SubDocID, Key, Value0, Value1) VALUES (?1, ?2, ?3, '')",
    "INSERT INTO StatCells (SubDocID, Key, Value0, Value1) VALUES (?1, ?2, '', ?3)",
    "UPDATE DynCells SET Value = ?5 "
    "WHERE SubDocID = ?1 AND Key = ?2 AND TableNum = ?3 AND LineNum = ?4",

    "INSERT INTO DynCells (SubDocID, Key, TableNum, LineNum, Value) VALUES (?1, ?2, ?3, ?4, ?5)",
};

// The same on a server shard, where a read takes the first row by the
// hidden row key (insertion order), as the file's takes the lowest rowid.
// Each literal is a parameter, numbered in text order: the addresses as the
// file's ?1 .. ?4, the value of an update first.
constexpr std::string_view kServerCellSql[] = {
    "SELECT [Value0] FROM [StatCells] WHERE [SubDocID] = 0 AND [Key] = 0 "
    "ORDER BY [_jet_row]",
    "SELECT [Value1] FROM [StatCells] WHERE [SubDocID] = 0 AND [Key] = 0 "
    "ORDER BY [_jet_row]",
    "SELECT [Value] FROM [DynCells] "
    "WHERE [SubDocID] = 0 AND [Key] = 0 AND [TableNum] = 0 AND [LineNum] = 0 "
    "ORDER BY [_jet_row]",
    "UPDATE [StatCells] SET [Value0] = '' WHERE [SubDocID] = 0 AND [Key] = 0",
    "UPDATE [StatCells] SET [Value1] = '' WHERE [SubDocID] = 0 AND [Key] = 0",
    "INSERT INTO [StatCells] ([SubDocID], [Key], [Value0], [Value1]) VALUES (0, 0, '', '')",
    "INSERT INTO [StatCells] ([SubDocID], [Key], [Value1], [Value0]) VALUES (0, 0, '', '')",
    "UPDATE [DynCells] SET [Value] = '' "
    "WHERE [SubDocID] = 0 AND [Key] = 0 AND [TableNum] = 0 AND [LineNum] = 0",
    "INSERT INTO [DynCells] ([SubDocID], [Key], [TableNum], [LineNum], [Value]) "
    "VALUES (0, 0, 0, 0, '')",
};
static_assert(std::size(kServerCellSql) == std::size(kCellSql));

}  // namespace

DBBigDocTable::Address DBBigDocTable::MakeAddress(double aSubDocID, int32_t aKey, int32_t aLineNum,
                                                  int32_t aTableNum) {
  if (aKey < 0 || aKey > kMaxKey)
    ThrowVb(vberr::kOverflow, "cell keys are 0 .. 32767, not " + std::to_string(aKey));
  if (!Fits16(aLineNum) || !Fits16(aTableNum))
    ThrowVb(vberr::kOverflow, "line " + std::to_string(aLineNum) + ", table " +
                                  std::to_string(aTableNum) + " (16-bit numbers)");
  return {aSubDocID, aKey, aLineNum == 1 ? 0 : aLineNum, aTableNum == 1 ? 0 : aTableNum};
}

bool DBBigDocTable::SeekStatic(Shard& s, const Address& a) {
  keys_[0] = Variant(a.subDoc);
  keys_[1] = Variant(RowKey(a.key));
  s.stat->Seek("=", std::span<const Variant>(keys_, 2));
  return !s.stat->NoMatch();
}

bool DBBigDocTable::SeekTabular(Shard&, dao::Recordset& rs, const Address& a) {
  keys_[0] = Variant(a.subDoc);
  keys_[1] = Variant(a.key);
  keys_[2] = Variant(a.table);
  keys_[3] = Variant(a.line);
  rs.Seek("=", keys_);
  return !rs.NoMatch();
}

DBBigDocTable::BoundCell::~BoundCell() {
  if (file_) {
    file_->Reset();
    return;
  }
  try {
    server_->Reset();
  } catch (const Error&) {
    // A connection lost under the statement: the next use fails with it.
  }
}

void DBBigDocTable::BoundCell::BindValue(int index, const Variant& value) {
  if (file_)
    file_->BindView(index, value);
  else
    server_->Bind(valueFirst_ ? 1 : index, value);
}

bool DBBigDocTable::BoundCell::Step() {
  return file_ ? file_->Step() : server_->Step();
}

std::string DBBigDocTable::BoundCell::Text0() const {
  if (file_) return file_->Text(0);
  const Variant v = server_->Value(0);
  return v.IsString() ? v.AsString() : std::string();
}

int64_t DBBigDocTable::BoundCell::Run() {
  return file_ ? file_->Run() : server_->Run();
}

DBBigDocTable::BoundCell DBBigDocTable::CellStatement(Shard& s, int which, const Address& a) {
  // A file closed under the table (its workspace closed) fails as its
  // recordsets do.
  if (!s.db->IsOpen()) {
    for (auto& st : s.sql) st.reset();
    for (auto& st : s.serverSql) st.reset();
    dao::ThrowDao(dao::daoerr::kObjectInvalid, dao::kSourceRecordset);
  }
  if (s.db->IsServer()) {
    std::unique_ptr<jet::EngineStatement>& st = s.serverSql[which];
    if (!st) st = s.db->ServerEngine().Prepare(kServerCellSql[which]);
    // An update's value comes first in its text, the address after it.
    const bool valueFirst = which == kUpdateStat || which == kUpdateStat + 1 || which == kUpdateDyn;
    const int shift = valueFirst ? 1 : 0;
    st->Bind(1 + shift, Variant(CLng(Variant(a.subDoc))));
    if (a.IsStatic()) {
      st->Bind(2 + shift, Variant(RowKey(a.key)));
    } else {
      st->Bind(2 + shift, Variant(a.key));
      st->Bind(3 + shift, Variant(a.table));
      st->Bind(4 + shift, Variant(a.line));
    }
    return BoundCell(*st, valueFirst);
  }
  std::optional<jet::Statement>& slot = s.sql[which];
  if (!slot) {
    slot.emplace(s.db->Connection().PrepareNative(kCellSql[which]));
    slot->SetSource(dao::kSourceRecordset);
  }
  // The columns are Longs and Integers: the identifier as a seek or a
  // write converts it.
  slot->BindInt(1, CLng(Variant(a.subDoc)));
  if (a.IsStatic()) {
    slot->BindInt(2, RowKey(a.key));
  } else {
    slot->BindInt(2, a.key);
    slot->BindInt(3, a.table);
    slot->BindInt(4, a.line);
  }
  return BoundCell(*slot);
}

std::string DBBigDocTable::IntGetValue(const Address& a, bool aWide) {
  CheckUsable();
  // A read makes no shard: no file, no cell.
  Shard* shard = ShardFor(a.subDoc, false);
  if (!shard) return std::string();
  Shard& s = *shard;
  if (aWide && SeekTabular(s, *s.wide, a)) return TextOf(s.wide->FieldValue(s.value));
  BoundCell st = CellStatement(s, a.IsStatic() ? kReadStat + (a.key & 1) : kReadDyn, a);
  return st.Step() ? st.Text0() : std::string();
}

bool DBBigDocTable::IntHasCell(Shard& s, const Address& a) {
  if (!a.IsStatic()) return SeekTabular(s, *s.dyn, a) || SeekTabular(s, *s.wide, a);
  if (SeekStatic(s, a) && !TextOf(s.stat->FieldValue(s.statValue[a.key & 1])).empty()) return true;
  return SeekTabular(s, *s.wide, a);
}

void DBBigDocTable::IntSetNonWideValue(Shard& s, const Address& a, const std::string& text) {
  const Variant value(text);
  const bool isStatic = a.IsStatic();
  const int valueParam = isStatic ? 3 : 5;
  for (int which : {isStatic ? kUpdateStat + (a.key & 1) : kUpdateDyn,
                    isStatic ? kInsertStat + (a.key & 1) : kInsertDyn}) {
    BoundCell st = CellStatement(s, which, a);
    st.BindValue(valueParam, value);
    // The row of the address changed: no insert.
    if (st.Run() > 0) return;
  }
}

void DBBigDocTable::IntSetWideValue(Shard& s, const Address& a, const std::string& text) {
  if (Len(text) < kWideLength) {
    IntSetNonWideValue(s, a, text);
    if (SeekTabular(s, *s.wide, a)) s.wide->Delete();
    return;
  }
  dao::Recordset& rs = *s.wide;
  if (!SeekTabular(s, rs, a)) {
    rs.AddNew();
    rs.SetField(s.subDoc, Variant(a.subDoc));
    rs.SetField(s.key, Variant(a.key));
    rs.SetField(s.table, Variant(a.table));
    rs.SetField(s.line, Variant(a.line));
    rs.SetField(s.value, Variant(text));
    rs.Update();
  } else if (TextOf(rs.FieldValue(s.value)) != text) {
    rs.Edit();
    rs.SetField(s.value, Variant(text));
    rs.Update();
  }
  if (!a.IsStatic()) {
    if (SeekTabular(s, *s.dyn, a)) s.dyn->Delete();
  } else if (SeekStatic(s, a)) {
    IntClearPagedField(s, s.statValue[a.key & 1]);
  }
}

void DBBigDocTable::IntClearPagedField(Shard& s, int32_t column) {
  dao::Recordset& rs = *s.stat;
  const int32_t other = column == s.statValue[0] ? s.statValue[1] : s.statValue[0];
  if (TextOf(rs.FieldValue(other)).empty()) {
    rs.Delete();
  } else if (!TextOf(rs.FieldValue(column)).empty()) {
    rs.Edit();
    rs.SetField(column, Variant(std::string()));
    rs.Update();
  }
}

void DBBigDocTable::IntRemoveCell(Shard& s, const Address& a, bool aWide) {
  if (!a.IsStatic()) {
    if (SeekTabular(s, *s.dyn, a)) s.dyn->Delete();
  } else if (SeekStatic(s, a)) {
    IntClearPagedField(s, s.statValue[a.key & 1]);
  }
  if (aWide && SeekTabular(s, *s.wide, a)) s.wide->Delete();
}

void DBBigDocTable::SetValue(double aSubDocID, int32_t aKey, const Variant& aValue,
                             int32_t aLineNum, int32_t aTableNum, int32_t aKind) {
  CheckUsable();
  const Address a = MakeAddress(aSubDocID, aKey, aLineNum, aTableNum);
  const std::optional<std::string> text = EncodeCellValue(aValue, aKind);
  Shard& s = *ShardFor(a.subDoc, true);
  EndWalkSnapshots();
  if (aKind == static_cast<int32_t>(ValueKind::kWideString)) {
    // Two places change: one unit, also inside the caller's transaction.
    dao::Transaction tx(*s.db, dao::kWriteLock);
    if (text)
      IntSetWideValue(s, a, *text);
    else
      IntRemoveCell(s, a, true);
    tx.Commit();
    return;
  }
  CellWrite write(*s.db);
  if (text)
    IntSetNonWideValue(s, a, *text);
  else
    IntRemoveCell(s, a, false);
  write.Commit();
}

// ---- reads

std::string DBBigDocTable::GetString(double aSubDocID, int32_t aKey, int32_t aLineNum,
                                     int32_t aTableNum, const std::string& aDefault) {
  return Guard(QV_HERE, [&] {
    std::string text = IntGetValue(MakeAddress(aSubDocID, aKey, aLineNum, aTableNum), false);
    return text.empty() ? aDefault : text;
  });
}

std::string DBBigDocTable::GetWideString(double aSubDocID, int32_t aKey, int32_t aLineNum,
                                         int32_t aTableNum) {
  return Guard(QV_HERE, [&] {
    return IntGetValue(MakeAddress(aSubDocID, aKey, aLineNum, aTableNum), true);
  });
}

int32_t DBBigDocTable::GetCLong(double aSubDocID, int32_t aKey, int32_t aLineNum, int32_t aTableNum,
                                int32_t aDefault) {
  return Guard(QV_HERE, [&] {
    bool ok = false;
    return StrToLongEx(IntGetValue(MakeAddress(aSubDocID, aKey, aLineNum, aTableNum), false),
                       aDefault, ok);
  });
}

Variant DBBigDocTable::GetVLong(double aSubDocID, int32_t aKey, int32_t aLineNum,
                                int32_t aTableNum) {
  return Guard(QV_HERE, [&] {
    bool ok = false;
    const int32_t n =
        StrToLongEx(IntGetValue(MakeAddress(aSubDocID, aKey, aLineNum, aTableNum), false), 0, ok);
    return ok ? Variant(n) : Variant::Null();
  });
}

int32_t DBBigDocTable::GetCounter(double aSubDocID, int32_t aKey, int32_t aLineNum,
                                  int32_t aTableNum) {
  return Guard(QV_HERE, [&] { return GetCLong(aSubDocID, aKey, aLineNum, aTableNum, 0); });
}

double DBBigDocTable::GetCDouble(double aSubDocID, int32_t aKey, int32_t aLineNum,
                                 int32_t aTableNum, double aDefault) {
  return Guard(QV_HERE, [&] {
    bool ok = false;
    const double d =
        StrToDoubleEx(IntGetValue(MakeAddress(aSubDocID, aKey, aLineNum, aTableNum), false), ok);
    return ok ? d : aDefault;
  });
}

Variant DBBigDocTable::GetVDouble(double aSubDocID, int32_t aKey, int32_t aLineNum,
                                  int32_t aTableNum) {
  return Guard(QV_HERE, [&] {
    bool ok = false;
    const double d =
        StrToDoubleEx(IntGetValue(MakeAddress(aSubDocID, aKey, aLineNum, aTableNum), false), ok);
    return ok ? Variant(d) : Variant::Null();
  });
}

double DBBigDocTable::GetCMoney(double aSubDocID, int32_t aKey, int32_t aLineNum, int32_t aTableNum,
                                double aDefault) {
  return Guard(QV_HERE, [&] { return GetCDouble(aSubDocID, aKey, aLineNum, aTableNum, aDefault); });
}

Variant DBBigDocTable::GetVMoney(double aSubDocID, int32_t aKey, int32_t aLineNum,
                                 int32_t aTableNum) {
  return Guard(QV_HERE, [&] { return GetVDouble(aSubDocID, aKey, aLineNum, aTableNum); });
}

Variant DBBigDocTable::GetDate(double aSubDocID, int32_t aKey, int32_t aLineNum,
                               int32_t aTableNum) {
  return Guard(QV_HERE, [&] {
    return DecodeCellDate(IntGetValue(MakeAddress(aSubDocID, aKey, aLineNum, aTableNum), false));
  });
}

bool DBBigDocTable::GetCBoolean(double aSubDocID, int32_t aKey, int32_t aLineNum,
                                int32_t aTableNum) {
  return Guard(QV_HERE, [&] {
    return IntGetValue(MakeAddress(aSubDocID, aKey, aLineNum, aTableNum), false) == "1";
  });
}

Variant DBBigDocTable::GetVBoolean(double aSubDocID, int32_t aKey, int32_t aLineNum,
                                   int32_t aTableNum) {
  return Guard(QV_HERE, [&] {
    const std::string text = IntGetValue(MakeAddress(aSubDocID, aKey, aLineNum, aTableNum), false);
    return text == "1" ? Variant(true) : text == "0" ? Variant(false) : Variant::Null();
  });
}

// ---- writes

#define QV_BIGDOC_SETTER(Name, Kind)                                                      \
  void DBBigDocTable::Name(double aSubDocID, int32_t aKey, const Variant& aValue,         \
                           int32_t aLineNum, int32_t aTableNum) {                         \
    Guard(QV_HERE, [&] {                                                                  \
      SetValue(aSubDocID, aKey, aValue, aLineNum, aTableNum, static_cast<int32_t>(Kind)); \
    });                                                                                   \
  }

QV_BIGDOC_SETTER(SetString, ValueKind::kString)
QV_BIGDOC_SETTER(SetLong, ValueKind::kLong)
QV_BIGDOC_SETTER(SetDouble, ValueKind::kDouble)
QV_BIGDOC_SETTER(SetMoney, ValueKind::kMoney)
QV_BIGDOC_SETTER(SetDate, ValueKind::kDate)
QV_BIGDOC_SETTER(SetBoolean, ValueKind::kBoolean)
QV_BIGDOC_SETTER(SetWideString, ValueKind::kWideString)
QV_BIGDOC_SETTER(SetCounter, ValueKind::kCounter)
#undef QV_BIGDOC_SETTER

void DBBigDocTable::RemoveValue(double aSubDocID, int32_t aKey, int32_t aLineNum,
                                int32_t aTableNum) {
  Guard(QV_HERE, [&] {
    SetValue(aSubDocID, aKey, Variant(), aLineNum, aTableNum,
             static_cast<int32_t>(ValueKind::kString));
  });
}

void DBBigDocTable::RemoveWideString(double aSubDocID, int32_t aKey, int32_t aLineNum,
                                     int32_t aTableNum) {
  Guard(QV_HERE, [&] {
    SetValue(aSubDocID, aKey, Variant(), aLineNum, aTableNum,
             static_cast<int32_t>(ValueKind::kWideString));
  });
}

int32_t DBBigDocTable::GetRealValuesCountInMatrixColumn(double aSubDocID, int32_t aKey,
                                                        int32_t aTableNum, int32_t aOldCount,
                                                        int32_t aNewCount) {
  Shard* shard = ShardFor(aSubDocID, false);
  if (!shard) return aNewCount;
  Shard& s = *shard;
  for (int32_t line = aOldCount; line > aNewCount; --line)
    if (IntHasCell(s, MakeAddress(aSubDocID, aKey, line, aTableNum))) return line;
  return aNewCount;
}

void DBBigDocTable::SaveMatrixColumn(double aSubDocID, int32_t aValuesCount, const Variant& aValues,
                                     int32_t aValuesType, int32_t aCountKey,
                                     const Variant& aMatrixKeys, int32_t aColumnKey,
                                     int32_t aTableNum) {
  Guard(QV_HERE, [&] {
    CheckUsable();
    int32_t count = 0, lower = 0, upper = -1;
    if (aValuesCount > 0) mQvCommonCalc::GetArrayBounds(aValues, count, lower, upper);
    if (aValuesCount > count)
      ThrowVb(vberr::kSubscriptOutOfRange,
              std::to_string(aValuesCount) + " values asked of " + std::to_string(count));
    const int32_t oldCount = GetCounter(aSubDocID, aCountKey, 0, aTableNum);
    Shard& s = *ShardFor(aSubDocID, true);
    EndWalkSnapshots();
    dao::Transaction tx(*s.db, dao::kWriteLock);
    for (int32_t i = 1; i <= aValuesCount; ++i)
      SetValue(aSubDocID, aColumnKey, aValues.AsArray().At(lower + i - 1), i, aTableNum,
               aValuesType);
    const bool wide = aValuesType == static_cast<int32_t>(ValueKind::kWideString);
    for (int32_t line = aValuesCount + 1; line <= oldCount; ++line)
      IntRemoveCell(s, MakeAddress(aSubDocID, aColumnKey, line, aTableNum), wide);
    int32_t newCount = aValuesCount;
    if (aValuesCount < oldCount && !aMatrixKeys.IsEmptyOrNull()) {
      for (const Variant& key : aMatrixKeys.AsArray().items) {
        if (newCount >= oldCount) break;
        if (CLng(key) == aColumnKey) continue;
        newCount = std::max(newCount, GetRealValuesCountInMatrixColumn(
                                          aSubDocID, CLng(key), aTableNum, oldCount, newCount));
      }
    }
    SetValue(aSubDocID, aCountKey, Variant(newCount), 0, aTableNum,
             static_cast<int32_t>(ValueKind::kCounter));
    tx.Commit();
  });
}

}  // namespace qv::doctables
