// The child lists of the mapper engine (ChildListDef): collections of
// records kept as rows of a table of their own that name their owner.

#include <string>
#include <unordered_set>
#include <vector>

#include "core/mQvDaoDataBase.h"
#include "platform/automation/Collection.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"
#include "records/MapperEngine.h"
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
  auto rs = db.OpenStatement("select ID from " + std::string(list.table) + " where " +
                                 OwnerCondition(list, ownerId),
                             dao::dbOpenSnapshot);
  for (; !rs->IsEOF(); rs->MoveNext()) ids.push_back(CDbl(rs->FieldValue(0)));
  rs->Close();
  return ids;
}

QvRecordPtr ItemOf(const ChildListDef& list, const Variant& v) {
  auto item = v.IsObject() ? std::dynamic_pointer_cast<QvRecord>(v.AsObject()) : nullptr;
  if (!item || !NameEquals(item->Type().progId, list.itemProgId))
    ThrowVb(vberr::kTypeMismatch, "the collection " + std::string(list.property) +
                                      " holds an item that is no " +
                                      std::string(list.itemProgId) + " record");
  return item;
}

}  // namespace

void DeleteByIdList(dao::Database& db, std::string_view table, std::string_view condition,
                    std::string_view idColumn, const std::vector<double>& ids) {
  for (size_t from = 0; from < ids.size(); from += kBatch) {
    std::string list;
    for (size_t i = from; i < ids.size() && i < from + kBatch; ++i) {
      if (!list.empty()) list += ",";
      list += Number2DaoSql(ids[i]);
    }
    mQvDaoDataBase::QvExecuteSql("delete from " + std::string(table) + " where " +
                                     std::string(condition) + " and " + std::string(idColumn) +
                                     " in (" + list + ")",
                                 std::static_pointer_cast<dao::Database>(db.shared_from_this()));
  }
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
  DeleteByIdList(db, list.table, OwnerCondition(list, ownerId), "ID", gone);

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

}  // namespace qv::records
