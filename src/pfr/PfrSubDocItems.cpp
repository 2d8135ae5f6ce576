#include "pfr/PfrSubDocItems.h"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/mQvDaoDataBase.h"
#include "platform/automation/Collection.h"
#include "platform/automation/VbaText.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/Transaction.h"
#include "records/MapperEngine.h"

namespace qv::pfr {

namespace {

using records::ColKind;
using records::ColumnDef;
using records::QvRecord;
using records::QvRecordPtr;
using namespace records::col;

// A UTF-8 text has at least as many bytes as UTF-16 units: a short one
// needs no counting.
std::string First250(std::string_view value) {
  return value.size() <= 250 ? std::string(value) : Left(value, 250);
}

constexpr ColumnDef kCellColumns[] = {Long("Key"), Long("LineNum"), Long("TableNum"),
                                      Long("ValueType"), WrittenAs(Text("Value"), &First250)};
constexpr records::ColumnMap kCellMap{"PfrCellValues", kCellColumns, "ID", "ID"};

constexpr ColumnDef kErrorColumns[] = {Long("ListCode"), Long("LineNum"), Text("SubjectName"),
                                       Long("ErrorLevel"), Text("ErrorText")};
constexpr records::ColumnMap kErrorMap{"PfrErrors", kErrorColumns, "ID", "ID"};

const SubDocItemsDef kCells{.property = "Cells",
                            .loadedFlag = "CellsLoaded",
                            .itemProgId = "Qv_PfrRecords.QvPfrCell",
                            .map = kCellMap,
                            .ownerColumn = "SubDocID",
                            .orderBy = "Key, TableNum, LineNum",
                            .dropWhenEmpty = "Value"};
const SubDocItemsDef kErrors{.property = "Errors",
                             .loadedFlag = "ErrorsLoaded",
                             .itemProgId = "Qv_PfrRecords.QvPfrError",
                             .map = kErrorMap,
                             .ownerColumn = "SubDocID",
                             .orderBy = "ID"};

using Values = std::vector<Variant>;

// Identifiers are whole numbers: hashed as such.
struct IdHash {
  size_t operator()(double id) const { return std::hash<int64_t>{}(static_cast<int64_t>(id)); }
};
using StoredMap = std::unordered_map<double, Values, IdHash>;

// The most characters a column takes when written: a Text column's size,
// -1 for any other column (Memo texts are written in full).
std::vector<int32_t> TextLimits(const SubDocItemsDef& def, dao::Recordset& rs) {
  std::vector<int32_t> limits;
  for (const ColumnDef& c : def.map.columns) {
    const jet::FieldSpec& spec = rs.Column(rs.FieldIndex(c.column)).spec;
    limits.push_back(spec.type == jet::JetType::kText ? (spec.size > 0 ? spec.size : 255) : -1);
  }
  return limits;
}

// The value a column of an item is written with: as its property holds it,
// a text through the column's write conversion and cut to `limit`.
Variant Written(const ColumnDef& c, const Variant& value, int32_t limit) {
  if (c.kind != ColKind::kText) return records::ColumnValue(c, value);
  std::string s = CStr(value);
  if (c.writeText) s = c.writeText(s);
  if (limit >= 0 && static_cast<int32_t>(s.size()) > limit) s = Truncate16(s, limit);
  return Variant(std::move(s));
}

bool SameValues(std::span<const ColumnDef> columns, const Values& a, const Values& b) {
  for (size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].kind == ColKind::kText) {
      if (a[i].AsString() != b[i].AsString()) return false;
    } else if (CDbl(a[i]) != CDbl(b[i])) {
      return false;
    }
  }
  return true;
}

QvRecordPtr ItemOf(const SubDocItemsDef& def, const Variant& v) {
  auto item = v.ObjectAs<QvRecord>();
  if (!item || !EqualsAsciiNoCase(item->Type().progId, def.itemProgId))
    ThrowVb(vberr::kTypeMismatch, "the collection " + std::string(def.property) +
                                      " holds an item that is no " + std::string(def.itemProgId) +
                                      " record");
  return item;
}

// The stored rows of the owner by identifier, their columns as read: one
// statement over the owner's index, read in full.
StoredMap StoredRows(dao::Database& db, const SubDocItemsDef& def, double owner) {
  std::string sql = "select " + std::string(def.map.key);
  for (const ColumnDef& c : def.map.columns) sql += ", " + std::string(c.column);
  sql += " from " + std::string(def.map.table) + " where " + std::string(def.ownerColumn) + " = " +
         mQvDaoDataBase::Number2DaoSql(owner);
  auto rs = db.OpenStatement(sql, dao::dbOpenSnapshot);
  StoredMap rows;
  rows.reserve(static_cast<size_t>(rs->RecordCount()));
  for (; !rs->IsEOF(); rs->MoveNext()) {
    Values values;
    values.reserve(def.map.columns.size());
    for (size_t i = 0; i < def.map.columns.size(); ++i)
      values.push_back(
          records::ColumnValue(def.map.columns[i], rs->FieldValue(static_cast<int32_t>(i + 1))));
    rows.emplace(CDbl(rs->FieldValue(0)), std::move(values));
  }
  rs->Close();
  return rows;
}

void WriteColumns(const SubDocItemsDef& def, dao::Recordset& rs, const Values& values) {
  for (size_t i = 0; i < def.map.columns.size(); ++i)
    mQvDaoDataBase::DaoRsSet(rs, std::string(def.map.columns[i].column), values[i]);
}

struct Pending {
  QvRecordPtr item;
  Values values;
};

void Insert(dao::Database& db, const SubDocItemsDef& def, dao::Recordset& rs, double owner,
            double id, const Pending& p) {
  rs.AddNew();
  rs.SetField(def.map.key, Variant(id));
  rs.SetField(def.ownerColumn, Variant(owner));
  WriteColumns(def, rs, p.values);
  rs.Update();
  std::weak_ptr<QvRecord> weak = p.item;
  dao::Transaction::OnRollback(db, [weak, before = p.item->IdValue()] {
    if (auto item = weak.lock()) item->AssignNewID(before);
  });
  p.item->AssignNewID(Variant(id));
}

}  // namespace

const SubDocItemsDef& CellItems() {
  return kCells;
}
const SubDocItemsDef& ErrorItems() {
  return kErrors;
}

QvRecordPtr ItemFromRow(const SubDocItemsDef& def, dao::Recordset& rs) {
  QvRecordPtr item = QvRecord::Create(def.itemProgId);
  const std::vector<int>& props = records::ResolvedProperties(def.map, item->RecordClassOf());
  item->BeginLoad(rs.FieldValue(def.map.key));
  for (size_t i = 0; i < def.map.columns.size(); ++i)
    item->SetValue(props[i], records::ColumnValue(def.map.columns[i],
                                                  rs.FieldValue(def.map.columns[i].column)));
  item->EndLoad();
  return item;
}

void ReadSubDocItems(dao::Database& db, const SubDocItemsDef& def, QvRecord& rec) {
  const double owner = rec.Id();
  Variant items = Variant::Nothing();
  if (owner != 0) {
    auto collection = std::make_shared<Collection>();
    auto rs = db.OpenStatement(
        "select * from " + std::string(def.map.table) + " where " + std::string(def.ownerColumn) +
            " = " + mQvDaoDataBase::Number2DaoSql(owner) + " order by " + std::string(def.orderBy),
        dao::dbOpenSnapshot);
    for (; !rs->IsEOF(); rs->MoveNext()) collection->Add(Variant(ObjectPtr(ItemFromRow(def, *rs))));
    rs->Close();
    items = Variant(ObjectPtr(collection));
  }
  // Inside the group's brackets: a read is no change by the caller.
  const int group = rec.RecordClassOf().GroupIndexByFlag(def.loadedFlag);
  rec.BeginGroupLoad(group);
  rec.SetValue(rec.PropertyIndex(def.property), items);
  rec.EndGroupLoad(group);
}

void SaveSubDocItems(dao::Database& db, const SubDocItemsDef& def, QvRecord& rec) {
  const double owner = rec.Id();
  CollectionPtr items = rec.CollectionAt(rec.PropertyIndex(def.property));
  const StoredMap stored = StoredRows(db, def, owner);
  auto rs = records::OpenMapTable(db, def.map);
  const std::vector<int32_t> limits = TextLimits(def, *rs);

  int dropColumn = -1;
  for (size_t i = 0; i < def.map.columns.size(); ++i)
    if (def.map.columns[i].column == def.dropWhenEmpty) dropColumn = static_cast<int>(i);

  std::vector<Pending> inserts, updates;
  std::unordered_set<double, IdHash> kept;
  const records::RecordClass* itemClass = nullptr;
  const std::vector<int>* props = nullptr;
  for (int32_t i = 1; i <= items->Count(); ++i) {
    QvRecordPtr item = items->At(i).ObjectAs<QvRecord>();
    if (!item || &item->RecordClassOf() != itemClass) {
      item = ItemOf(def, items->At(i));
      itemClass = &item->RecordClassOf();
      props = &records::ResolvedProperties(def.map, *itemClass);
    }
    Values values;
    values.reserve(def.map.columns.size());
    for (size_t c = 0; c < def.map.columns.size(); ++c)
      values.push_back(Written(def.map.columns[c], item->Value((*props)[c]), limits[c]));
    if (dropColumn >= 0 && values[static_cast<size_t>(dropColumn)].AsString().empty()) continue;
    const double id = item->Id();
    const auto row = id != 0 ? stored.find(id) : stored.end();
    if (row == stored.end()) {
      inserts.push_back({std::move(item), std::move(values)});
    } else if (kept.insert(id).second && !SameValues(def.map.columns, values, row->second)) {
      updates.push_back({std::move(item), std::move(values)});
    }
  }

  double next = inserts.empty() ? 0 : mQvDaoDataBase::NextId(*rs, def.map.key);
  for (const Pending& p : inserts) Insert(db, def, *rs, owner, next++, p);
  for (const Pending& p : updates) {
    const Variant key[1] = {Variant(p.item->Id())};
    rs->Seek("=", key);
    rs->Edit();
    WriteColumns(def, *rs, p.values);
    rs->Update();
  }
  rs->Close();

  std::vector<double> gone;
  for (const auto& [id, values] : stored)
    if (!kept.count(id)) gone.push_back(id);
  std::sort(gone.begin(), gone.end());
  records::DeleteByIdList(
      db, def.map.table,
      std::string(def.ownerColumn) + " = " + mQvDaoDataBase::Number2DaoSql(owner), def.map.key,
      gone);
}

}  // namespace qv::pfr
