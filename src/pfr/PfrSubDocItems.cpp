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
#include "records/MapperEngine.h"
#include "records/MapperTransaction.h"

namespace qv::pfr {

namespace {

using records::ColKind;
using records::ColumnDef;
using records::QvRecord;
using records::QvRecordPtr;
using namespace records::col;

std::string First250(std::string_view value) {
  return Left(value, 250);
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
                            .orderIndex = "SubDoc",
                            .dropWhenEmpty = "Value"};
const SubDocItemsDef kErrors{.property = "Errors",
                             .loadedFlag = "ErrorsLoaded",
                             .itemProgId = "Qv_PfrRecords.QvPfrError",
                             .map = kErrorMap,
                             .ownerColumn = "SubDocID",
                             .orderIndex = "SubDoc"};

using Values = std::vector<Variant>;

// The value a column of an item is written with: as its property holds it,
// a text through the column's write conversion and cut to a Text column's
// size.
Variant Written(const ColumnDef& c, const Variant& value, dao::Recordset& rs) {
  if (c.kind != ColKind::kText) return records::ColumnValue(c, value);
  std::string s = CStr(value);
  if (c.writeText) s = c.writeText(s);
  const jet::FieldSpec& spec = rs.Column(rs.FieldIndex(c.column)).spec;
  if (spec.type == jet::JetType::kText) s = Truncate16(s, spec.size > 0 ? spec.size : 255);
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
  if (!item || !NameEquals(item->Type().progId, def.itemProgId))
    ThrowVb(vberr::kTypeMismatch, "the collection " + std::string(def.property) +
                                      " holds an item that is no " + std::string(def.itemProgId) +
                                      " record");
  return item;
}

// The stored rows of the owner by identifier, their columns as read; `rs`
// is left on the table's key index.
std::unordered_map<double, Values> StoredRows(const SubDocItemsDef& def, dao::Recordset& rs,
                                              double owner) {
  std::unordered_map<double, Values> rows;
  rs.SetIndex(std::string(def.orderIndex));
  const Variant key[1] = {Variant(owner)};
  rs.Seek(">=", key);
  for (; !rs.IsEOF(); rs.MoveNext()) {
    if (CDbl(rs.FieldValue(def.ownerColumn)) != owner) break;
    Values values;
    for (const ColumnDef& c : def.map.columns)
      values.push_back(records::ColumnValue(c, rs.FieldValue(c.column)));
    rows.emplace(CDbl(rs.FieldValue(def.map.key)), std::move(values));
  }
  rs.SetIndex(std::string(def.map.index));
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

void Insert(const SubDocItemsDef& def, dao::Recordset& rs, double owner, double id,
            const Pending& p) {
  rs.AddNew();
  rs.SetField(def.map.key, Variant(id));
  rs.SetField(def.ownerColumn, Variant(owner));
  WriteColumns(def, rs, p.values);
  rs.Update();
  std::weak_ptr<QvRecord> weak = p.item;
  records::OnMapperRollback([weak, before = p.item->IdValue()] {
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
    auto rs = db.OpenTable(def.map.table);
    rs->SetIndex(std::string(def.orderIndex));
    const Variant key[1] = {Variant(owner)};
    rs->Seek(">=", key);
    for (; !rs->IsEOF(); rs->MoveNext()) {
      if (CDbl(rs->FieldValue(def.ownerColumn)) != owner) break;
      collection->Add(Variant(ObjectPtr(ItemFromRow(def, *rs))));
    }
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
  auto rs = records::OpenMapTable(db, def.map);
  const std::unordered_map<double, Values> stored = StoredRows(def, *rs, owner);

  int dropColumn = -1;
  for (size_t i = 0; i < def.map.columns.size(); ++i)
    if (def.map.columns[i].column == def.dropWhenEmpty) dropColumn = static_cast<int>(i);

  std::vector<Pending> inserts, updates;
  std::unordered_set<double> kept;
  for (int32_t i = 1; i <= items->Count(); ++i) {
    QvRecordPtr item = ItemOf(def, items->At(i));
    const std::vector<int>& props = records::ResolvedProperties(def.map, item->RecordClassOf());
    Values values;
    for (size_t c = 0; c < def.map.columns.size(); ++c)
      values.push_back(Written(def.map.columns[c], item->Value(props[c]), *rs));
    if (dropColumn >= 0 && values[static_cast<size_t>(dropColumn)].AsString().empty()) continue;
    const double id = item->Id();
    const auto row = id != 0 ? stored.find(id) : stored.end();
    if (row == stored.end()) {
      inserts.push_back({std::move(item), std::move(values)});
    } else if (kept.insert(id).second && !SameValues(def.map.columns, values, row->second)) {
      updates.push_back({std::move(item), std::move(values)});
    }
  }

  double next = records::NextId(*rs, def.map.key);
  for (const Pending& p : inserts) Insert(def, *rs, owner, next++, p);
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
