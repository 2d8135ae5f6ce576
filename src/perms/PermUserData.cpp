#include "perms/PermUserData.h"

#include <span>

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "perms/mPasswordShuffling.h"
#include "platform/automation/Collection.h"
#include "platform/automation/VbaText.h"
#include "platform/dao/Transaction.h"
#include "records/LaterCascades.h"
#include "records/MapperEngine.h"
#include "records/miRecCollection.h"

namespace qv::perms {

namespace {

constexpr std::string_view kModule = "DBPermissions";
using namespace mQvDaoDataBase;
using records::QvRecord;
using records::QvRecordPtr;
using DatabasePtr = std::shared_ptr<dao::Database>;

// Columns copied between a record and its row under the same name: the
// user's texts, the Long columns of blocks and items.
constexpr std::string_view kUserTexts[] = {"Surname", "Name", "Patronymic", "Caption", "Remarks"};
constexpr std::string_view kBlockLongs[] = {"BlockType", "AreaType", "OrderNum", "m1", "v1",
                                            "m2",        "v2",       "m3",       "v3", "m4",
                                            "v4",        "m5",       "v5"};
constexpr std::string_view kItemLongs[] = {"ItemType", "AreaType", "m", "v", "OrderNum"};
// Item types whose document classes are kept (PermDocLists).
constexpr bool HasDocClasses(int32_t itemType) {
  return itemType == 2 || itemType == 3;
}

// Texts are cut to the 255 characters of their columns.
Variant Cut(const Variant& text) {
  return Variant(Truncate16(CStr(text), 255));
}

CollectionPtr ListOf(QvRecord& rec, std::string_view property) {
  return std::static_pointer_cast<Collection>(rec.Get(property).AsObject());
}

void CopyLongs(dao::Recordset& rs, QvRecord& rec, std::span<const std::string_view> names) {
  for (std::string_view n : names) DaoRsSet(rs, std::string(n), Variant(CLng(rec.Get(n))));
}

void LoadLongs(QvRecord& rec, const dao::Recordset& rs, std::span<const std::string_view> names) {
  for (std::string_view n : names) rec.Let(n, Variant(GetDaoLong(rs, n)));
}

// The stored password is written without ever naming its value.
void WritePassword(dao::Recordset& rs, const std::string& stored) {
  GuardX(
      QV_HERE, [] { return std::string("Table: PermUsers, Field: Password, Value: (hidden)"); },
      [&] { rs.SetField("Password", Variant(stored)); });
}

CollectionPtr Values(const DatabasePtr& db, const std::string& sql, const char* column) {
  auto rs = QvQuerySqlStatic(sql, db);
  CollectionPtr values = miRecCollection::GetIDCollection(*rs, column, false);
  rs->Close();
  return values;
}

void AddRow(dao::Recordset& rs, std::initializer_list<std::pair<const char*, Variant>> fields) {
  rs.AddNew();
  for (const auto& [name, value] : fields) DaoRsSet(rs, name, value);
  rs.Update();
}

// The user's blocks as new rows, each with its objects, items and their
// document classes.
void WriteBlocks(const DatabasePtr& db, double userId, const CollectionPtr& blocks) {
  auto blockRs = QvGetTableRS("PermBlocks", "ID", db);
  auto objectRs = QvGetTableRS("PermObjectLists", "", db);
  auto itemRs = QvGetTableRS("PermMultiBlocks", "ID", db);
  auto docRs = QvGetTableRS("PermDocLists", "", db);
  // New keys count on from the last ones; the caller's transaction holds
  // the write lock, so nobody else takes them meanwhile.
  double nextBlock = NextId(*blockRs, "ID"), nextItem = NextId(*itemRs, "ID");
  for (int32_t i = 1; i <= blocks->Count(); ++i) {
    QvRecordPtr block = records::RecordArg(kBlockType, blocks->At(i));
    const double blockId = nextBlock++;
    blockRs->AddNew();
    DaoRsSet(*blockRs, "ID", Variant(blockId));
    DaoRsSet(*blockRs, "UserID", Variant(userId));
    DaoRsSet(*blockRs, "PermObjectID", Variant(CDbl(block->Get("PermObjectID"))));
    CopyLongs(*blockRs, *block, kBlockLongs);
    blockRs->Update();
    const CollectionPtr objects = ListOf(*block, "Objects");
    for (int32_t k = 1; k <= objects->Count(); ++k)
      AddRow(*objectRs,
             {{"BlockID", Variant(blockId)}, {"PermObjectID", Variant(CDbl(objects->At(k)))}});
    const CollectionPtr items = ListOf(*block, "Items");
    for (int32_t k = 1; k <= items->Count(); ++k) {
      QvRecordPtr item = records::RecordArg(kItemType, items->At(k));
      const double itemId = nextItem++;
      itemRs->AddNew();
      DaoRsSet(*itemRs, "ID", Variant(itemId));
      DaoRsSet(*itemRs, "BlockID", Variant(blockId));
      CopyLongs(*itemRs, *item, kItemLongs);
      itemRs->Update();
      const CollectionPtr classes = ListOf(*item, "DocClasses");
      for (int32_t c = 1; c <= classes->Count(); ++c)
        AddRow(*docRs,
               {{"MultiBlockID", Variant(itemId)}, {"TemplTypeID", Variant(CLng(classes->At(c)))}});
    }
  }
  for (auto* rs : {&blockRs, &objectRs, &itemRs, &docRs}) (*rs)->Close();
}

void WriteRoles(const DatabasePtr& db, double userId, const CollectionPtr& roles) {
  auto rs = QvGetTableRS("PermUserRoles", "", db);
  for (int32_t i = 1; i <= roles->Count(); ++i)
    AddRow(*rs, {{"UserID", Variant(userId)},
                 {"RoleID", Variant(CLng(roles->At(i)))},
                 {"OrderNum", Variant(i)}});
  rs->Close();
}

}  // namespace

void DeleteUserData(const DatabasePtr& db, double aUserID) {
  Guard(QV_HERE, [&] {
    if (aUserID == 0) return;
    const std::string id = Number2DaoSql(aUserID);
    records::DeletePermBlocks(*db, "b.UserID = " + id,
                              "delete from PermBlocks where UserID = " + id);
    if (aUserID != kRootOwner) QvExecuteSql("delete from PermUserRoles where UserID = " + id, db);
  });
}

void SaveUserData(const DatabasePtr& db, QvRecord& aUser) {
  Guard(QV_HERE, [&] {
    auto rs = QvGetTableRS("PermUsers", "ID", db);
    double id = aUser.Id();
    if (id == 0) {
      id = NextId(*rs, "ID");
      // A rolled-back save leaves the user new again.
      std::weak_ptr<Object> weak = aUser.shared_from_this();
      dao::Transaction::OnRollback(*db, [weak] {
        if (auto u = weak.lock()) static_cast<QvRecord&>(*u).SetID(Variant(0.0));
      });
      aUser.SetID(Variant(id));
    }
    const Variant key[1] = {Variant(id)};
    rs->Seek("=", key);
    if (rs->NoMatch()) {
      rs->AddNew();
      DaoRsSet(*rs, "ID", Variant(id));
    } else {
      rs->Edit();
    }
    DaoRsSet(*rs, "RecType", Variant(CLng(aUser.Get("RecType"))));
    DaoRsSet(*rs, "Login", Cut(aUser.Get("Login")));
    WritePassword(*rs, mPasswordShuffling::EncodePassword(CStr(aUser.Get("Password"))));
    for (std::string_view n : kUserTexts) DaoRsSet(*rs, std::string(n), Cut(aUser.Get(n)));
    DaoRsSet(*rs, "Disabled", Variant(int32_t{CBool(aUser.Get("Disabled")) ? 1 : 0}));
    rs->Update();
    rs->Close();
    WriteBlocks(db, id, ListOf(aUser, "Blocks"));
    WriteRoles(db, id, ListOf(aUser, "Roles"));
  });
}

void SaveRootBlockData(const DatabasePtr& db, QvRecord& aBlock) {
  Guard(QV_HERE, [&] {
    auto blocks = std::make_shared<Collection>();
    blocks->Add(Variant(ObjectPtr(aBlock.shared_from_this())));
    WriteBlocks(db, kRootOwner, blocks);
  });
}

QvRecordPtr LoadUserFromRs(const DatabasePtr& db, const dao::Recordset& rs) {
  return Guard(QV_HERE, [&] {
    const double id = GetDaoDouble(rs, "ID");
    const std::string sid = Number2DaoSql(id);
    QvRecordPtr user = QvRecord::Create(kUserType);
    user->BeginLoad(Variant(id));
    user->Let("RecType", Variant(GetDaoLong(rs, "RecType")));
    user->Let("Login", Variant(GetDaoString(rs, "Login")));
    user->Let("Password",
              Variant(mPasswordShuffling::DecodePassword(GetDaoString(rs, "Password"))));
    for (std::string_view n : kUserTexts) user->Let(n, Variant(GetDaoString(rs, n)));
    user->Let("Disabled", Variant(GetDaoLong(rs, "Disabled") != 0));
    auto blocks = std::make_shared<Collection>();
    auto brs = QvQuerySqlStatic(
        "select * from PermBlocks where UserID = " + sid + " order by UserID, BlockType, OrderNum ",
        db);
    for (; !brs->IsEOF(); brs->MoveNext())
      blocks->Add(Variant(ObjectPtr(LoadBlockFromRs(db, *brs))));
    brs->Close();
    user->Let("Blocks", Variant(ObjectPtr(blocks)));
    user->Let(
        "Roles",
        Variant(ObjectPtr(Values(
            db, "select RoleID from PermUserRoles where UserID = " + sid + " order by OrderNum ",
            "RoleID"))));
    user->EndLoad();
    return user;
  });
}

QvRecordPtr LoadBlockFromRs(const DatabasePtr& db, const dao::Recordset& rs) {
  return Guard(QV_HERE, [&] {
    const double id = GetDaoDouble(rs, "ID");
    const std::string sid = Number2DaoSql(id);
    QvRecordPtr block = QvRecord::Create(kBlockType);
    block->BeginLoad(Variant(id));
    block->Let("UserID", Variant(GetDaoDouble(rs, "UserID")));
    block->Let("PermObjectID", Variant(GetDaoDouble(rs, "PermObjectID")));
    LoadLongs(*block, rs, kBlockLongs);
    block->Let("Objects", Variant(ObjectPtr(Values(
                              db, "select PermObjectID from PermObjectLists where BlockID = " + sid,
                              "PermObjectID"))));
    auto items = std::make_shared<Collection>();
    auto irs = QvQuerySqlStatic("select * from PermMultiBlocks where BlockID = " + sid +
                                    " order by BlockID, ItemType, OrderNum ",
                                db);
    for (; !irs->IsEOF(); irs->MoveNext())
      items->Add(Variant(ObjectPtr(LoadDocItemFromRs(db, *irs))));
    irs->Close();
    block->Let("Items", Variant(ObjectPtr(items)));
    block->EndLoad();
    return block;
  });
}

QvRecordPtr LoadDocItemFromRs(const DatabasePtr& db, const dao::Recordset& rs) {
  return Guard(QV_HERE, [&] {
    const double id = GetDaoDouble(rs, "ID");
    QvRecordPtr item = QvRecord::Create(kItemType);
    item->BeginLoad(Variant(id));
    item->Let("BlockID", Variant(GetDaoDouble(rs, "BlockID")));
    LoadLongs(*item, rs, kItemLongs);
    if (HasDocClasses(GetDaoLong(rs, "ItemType")))
      item->Let(
          "DocClasses",
          Variant(ObjectPtr(Values(
              db, "select TemplTypeID from PermDocLists where MultiBlockID = " + Number2DaoSql(id),
              "TemplTypeID"))));
    item->EndLoad();
    return item;
  });
}

}  // namespace qv::perms
