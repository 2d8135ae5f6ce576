// The child lists of the mapper engine (ChildListDef): collections of
// records kept as rows of a table of their own that name their owner.

#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/mQvDaoDataBase.h"
#include "platform/automation/Collection.h"
#include "platform/automation/VbaText.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"
#include "records/MapperEngine.h"
#include "records/MapperSession.h"
#include "siblings/records/QvRecord.h"
#include "siblings/records/RecordFactory.h"

namespace qv::records {

namespace {

using mQvDaoDataBase::Number2DaoSql;

// Identifiers per delete statement.
constexpr size_t kBatch = 100;

std::string OwnerCondition(const ChildListDef& list, double ownerId) {
  return std::string(list.ownerColumn) + " = " + Number2DaoSql(ownerId);
}

std::vector<double> StoredIds(dao::Database& db, const ChildListDef& list, double ownerId) {
  std::vector<double> ids;
  auto rs = db.OpenStatement(
      "select ID from " + std::string(list.table) + " where " + OwnerCondition(list, ownerId),
      dao::dbOpenSnapshot);
  for (; !rs->IsEOF(); rs->MoveNext()) ids.push_back(CDbl(rs->FieldValue(0)));
  rs->Close();
  return ids;
}

QvRecordPtr ItemOf(const ChildListDef& list, const Variant& v) {
  auto item = v.IsObject() ? std::dynamic_pointer_cast<QvRecord>(v.AsObject()) : nullptr;
  if (!item || !EqualsAsciiNoCase(item->Type().progId, list.itemProgId))
    ThrowVb(vberr::kTypeMismatch, "the collection " + std::string(list.property) +
                                      " holds an item that is no " + std::string(list.itemProgId) +
                                      " record");
  return item;
}

// The columns of a value list joined by ", ".
std::string ColumnList(const ValueListDef& list) {
  std::string s;
  for (const ColumnDef& c : list.map.columns) s += (s.empty() ? "" : ", ") + std::string(c.column);
  return s;
}

// A value item's key: its values' texts, each after "_".
std::string ValueKey(const std::vector<Variant>& values) {
  std::string key;
  for (const Variant& v : values) key += "_" + CStr(v);
  return key;
}

std::string ValueCondition(const ValueListDef& list, double ownerId) {
  return std::string(list.ownerColumn) + " = " + Number2DaoSql(ownerId);
}

}  // namespace

void ForEachIdBatch(const std::vector<double>& ids,
                    const std::function<void(const std::string& list)>& run) {
  for (size_t from = 0; from < ids.size(); from += kBatch) {
    std::string list;
    for (size_t i = from; i < ids.size() && i < from + kBatch; ++i) {
      if (!list.empty()) list += ", ";
      list += Number2DaoSql(ids[i]);
    }
    run(list);
  }
}

void DeleteByIdList(dao::Database& db, std::string_view table, std::string_view condition,
                    std::string_view idColumn, const std::vector<double>& ids) {
  const std::string head = "delete from " + std::string(table) + " where " +
                           (condition.empty() ? "" : std::string(condition) + " and ") +
                           std::string(idColumn) + " in (";
  const auto target = SharedDatabase(db);
  ForEachIdBatch(ids, [&](const std::string& list) {
    mQvDaoDataBase::QvExecuteSql(head + list + ")", target);
  });
}

void ReadChildList(dao::Database& db, const ChildListDef& list, QvRecord& owner) {
  auto items = std::make_shared<Collection>();
  const auto factory = RecordFactory::ForThisThread();
  const std::string progId(list.itemProgId);
  for (double id : StoredIds(db, list, owner.Id())) {
    QvRecordPtr item = factory->GetRecord(progId, Variant(id));
    if (list.inheritDeafness) item->SetDeafForNotifications(owner.DeafForNotifications());
    items->Add(Variant(ObjectPtr(item)));
  }
  owner.SetValue(owner.PropertyIndex(list.property), Variant(ObjectPtr(items)));
}

void SaveChildList(dao::Database& db, const ChildListDef& list, QvRecord& owner, bool recursive) {
  const double ownerId = owner.Id();
  CollectionPtr items = owner.CollectionAt(owner.PropertyIndex(list.property));
  std::vector<QvRecordPtr> remaining;
  std::unordered_set<double> kept;
  for (int32_t i = 1; i <= items->Count(); ++i) {
    QvRecordPtr item = ItemOf(list, items->At(i));
    if (item->State() == kDeleted) continue;
    if (item->Id() != 0) kept.insert(item->Id());
    remaining.push_back(std::move(item));
  }
  std::vector<double> gone;
  for (double id : StoredIds(db, list, ownerId))
    if (!kept.count(id)) gone.push_back(id);
  if (list.removeThroughMapper) {
    const auto factory = RecordFactory::ForThisThread();
    for (double id : gone)
      factory->GetRecord(std::string(list.itemProgId), Variant(id))->DeleteFromStore();
  } else {
    DeleteByIdList(db, list.table, OwnerCondition(list, ownerId), "ID", gone);
  }

  for (const QvRecordPtr& item : remaining) {
    if (item->IsReadOnlyRecord() || item->State() == kReference) continue;
    if (list.ownerProperty.empty()) {
      item->SaveToStore(recursive, Variant(ownerId));
    } else {
      item->SetValue(item->PropertyIndex(list.ownerProperty), Variant(ownerId));
      item->SaveToStore(recursive);
    }
  }
}

void ReadValueList(dao::Database& db, const ValueListDef& list, QvRecord& owner) {
  auto items = std::make_shared<Collection>();
  const std::string_view table = list.readTableFor ? list.readTableFor(owner.Id()) : list.map.table;
  auto rs = db.OpenStatement("Select " + ColumnList(list) + " From " + std::string(table) +
                                 " Where " + ValueCondition(list, owner.Id()),
                             dao::dbOpenSnapshot);
  for (; !rs->IsEOF(); rs->MoveNext()) {
    QvRecordPtr item = QvRecord::Create(list.itemProgId);
    const std::vector<int>& props = ResolvedProperties(list.map, item->RecordClassOf());
    for (size_t i = 0; i < list.map.columns.size(); ++i)
      item->SetValue(props[i],
                     ColumnValue(list.map.columns[i], rs->FieldValue(static_cast<int32_t>(i))));
    items->Add(Variant(ObjectPtr(item)));
  }
  rs->Close();
  owner.SetValue(owner.PropertyIndex(list.property), Variant(ObjectPtr(items)));
}

void SaveValueList(dao::Database& db, const ValueListDef& list, QvRecord& owner) {
  const double ownerId = owner.Id();
  const std::string table(list.map.table);
  // The items' values by key, in collection order; state 4 items are gone.
  std::vector<std::vector<Variant>> wanted;
  std::set<std::string> wantedKeys;
  CollectionPtr items = owner.CollectionAt(owner.PropertyIndex(list.property));
  for (int32_t i = 1; i <= items->Count(); ++i) {
    auto item = items->At(i).IsObject()
                    ? std::dynamic_pointer_cast<QvRecord>(items->At(i).AsObject())
                    : nullptr;
    if (!item || !EqualsAsciiNoCase(item->Type().progId, list.itemProgId))
      ThrowVb(vberr::kTypeMismatch, "the collection " + std::string(list.property) +
                                        " holds an item that is no " +
                                        std::string(list.itemProgId) + " record");
    if (item->State() == kDeleted) continue;
    const std::vector<int>& props = ResolvedProperties(list.map, item->RecordClassOf());
    std::vector<Variant> values;
    for (int prop : props) values.push_back(item->Value(prop));
    if (wantedKeys.insert(ValueKey(values)).second) wanted.push_back(std::move(values));
  }
  // Stored rows: kept once when wanted, else deleted (a repeated row too).
  std::set<std::string> stored;
  auto rs = db.OpenStatement(
      "Select " + ColumnList(list) + " From " + table + " Where " + ValueCondition(list, ownerId),
      dao::dbOpenSnapshot);
  std::vector<std::vector<Variant>> drop;
  for (; !rs->IsEOF(); rs->MoveNext()) {
    std::vector<Variant> values;
    for (size_t i = 0; i < list.map.columns.size(); ++i)
      values.push_back(ColumnValue(list.map.columns[i], rs->FieldValue(static_cast<int32_t>(i))));
    const std::string key = ValueKey(values);
    if (!wantedKeys.count(key) || !stored.insert(key).second) drop.push_back(std::move(values));
  }
  rs->Close();
  const auto target = SharedDatabase(db);
  std::set<std::string> dropped;
  for (const auto& values : drop) {
    if (!dropped.insert(ValueKey(values)).second) continue;
    std::string where = ValueCondition(list, ownerId);
    for (size_t i = 0; i < list.map.columns.size(); ++i)
      where += " and " + std::string(list.map.columns[i].column) + " = " +
               (values[i].IsString() ? mQvDaoDataBase::DaoQString(values[i].AsString())
                                     : Number2DaoSql(CDbl(values[i])));
    mQvDaoDataBase::QvExecuteSql("delete from " + table + " where " + where, target);
    if (wantedKeys.count(ValueKey(values))) stored.erase(ValueKey(values));
  }
  // Rows the items have and the table lacks (or lost above as repeats).
  auto add = db.OpenTable(table);
  for (const auto& values : wanted) {
    if (stored.count(ValueKey(values))) continue;
    add->AddNew();
    add->SetField(list.ownerColumn, Variant(ownerId));
    for (size_t i = 0; i < list.map.columns.size(); ++i)
      add->SetField(list.map.columns[i].column, values[i]);
    add->Update();
  }
  add->Close();
}

void DeleteValueList(dao::Database& db, const ValueListDef& list, double ownerId) {
  mQvDaoDataBase::QvExecuteSql(
      "delete from " + std::string(list.map.table) + " where " + ValueCondition(list, ownerId),
      SharedDatabase(db));
}

}  // namespace qv::records
