#include "perms/DBPermissions.h"

#include "core/mErrorHandling.h"
#include "core/mQvCommonCalc.h"
#include "core/mQvDaoDataBase.h"
#include "core/miDataBase.h"
#include "perms/PermUserData.h"
#include "perms/mPasswordShuffling.h"
#include "perms/miPerms.h"
#include "platform/automation/VbaText.h"
#include "platform/dao/Transaction.h"
#include "queries/mCommonLookups.h"
#include "records/MapperEngine.h"
#include "records/PersonRelations.h"

namespace qv::perms {

using namespace mQvDaoDataBase;

namespace {

// Entity types of GetEntityGenealogy.
constexpr int32_t kEntityAccStream = 1;
constexpr int32_t kEntityDocument = 19;
constexpr int32_t kEntityTaxpayer = 28;

constexpr int32_t kAdminRecType = 2;
constexpr const char* kAdminRemarks = "Встроенная учетная запись администратора.";

double Count(const std::string& sql, const DatabasePtr& db) {
  return CDbl(QvQueryValue(sql, Variant(), db));
}

double NumberOr0(const Variant& v) {
  return mQvCommonCalc::VarToDoubleDef(v, 0);
}

// The four parts of the rights system, each added when it is missing.
void CreateAdmin(const DatabasePtr& db) {
  if (Count("select count(*) AS aaa from PermUsers where RecType=2 and LCase(Login)=\"admin\" ",
            db) != 0)
    return;
  const double id = NextId(db, "PermUsers", "ID");
  QvExecuteSql("insert into PermUsers (ID, RecType, Login, Password, Disabled, Remarks ) values (" +
                   Number2DaoSql(id) + ", " + std::to_string(kAdminRecType) + ", " +
                   DaoQString("admin") + ", " + DaoQString(mPasswordShuffling::EncodePassword("")) +
                   ", 0, " + DaoQString(kAdminRemarks) + ") ",
               db);
}

void CreateSystemRow(const DatabasePtr& db) {
  if (Count("select count(*) from PermSystem ", db) != 0) return;
  QvExecuteSql("insert into PermSystem (PermSystem ) values (0 ) ", db);
}

void CreateRootBlock(const DatabasePtr& db) {
  if (Count("select count(*) from PermBlocks where UserID = -1 and BlockType = 1 ", db) != 0)
    return;
  const double id = NextId(db, "PermBlocks", "ID");
  QvExecuteSql(
      "insert into PermBlocks (ID, UserID, BlockType, AreaType, OrderNum, PermObjectID, m1,"
      " v1, m2, v2, m3, v3, m4, v4, m5, v5 ) "
      "values (" +
          Number2DaoSql(id) + ", -1, 1, 1, 1, 0, -1, 15, -1, 63, -1, 59, -1, 7, -1, -1) ",
      db);
}

void CreateRootItem(const DatabasePtr& db) {
  if (Count("select count(*) from PermBlocks AS b "
            "INNER JOIN PermMultiBlocks AS m ON b.ID = m.BlockID "
            "where b.UserID = -1 and b.BlockType = 1 ",
            db) != 0)
    return;
  const double id = NextId(db, "PermMultiBlocks", "ID");
  const double block =
      NumberOr0(QvQueryFirstValue("select top 1 ID from PermBlocks where UserID = -1", {}, db));
  QvExecuteSql(
      "insert into PermMultiBlocks (ID, BlockID, ItemType, OrderNum, AreaType, m, v ) "
      "values (" +
          Number2DaoSql(id) + ", " + Number2DaoSql(block) + ", 5, 1, 1, -1, 255) ",
      db);
}

// The record of the statement's first row made by `load`, or Nothing.
template <class Load>
Variant FirstLoaded(const std::string& sql, const DatabasePtr& db, Load load) {
  auto rs = QvQuerySqlStatic(sql, db);
  Variant result = Variant::Nothing();
  if (!rs->IsEOF()) result = Variant(ObjectPtr(load(db, *rs)));
  rs->Close();
  return result;
}

}  // namespace

int32_t DBPermissions::GetPermissionsSystem() {
  return Guard(QV_HERE, [&] {
    return CLng(NumberOr0(QvQueryFirstValueSafe("select top 1 PermSystem from PermSystem",
                                                Variant(0), miDataBase::GetUserDataBase())));
  });
}

void DBPermissions::SetPermHash(int32_t aValue) {
  Guard(QV_HERE, [&] {
    const auto db = miDataBase::GetUserDataBase();
    const std::string value = Number2DaoSql(aValue);
    dao::Transaction tx(*db, dao::kWriteLock);
    if (Count("select count (*) AS aaa from PermSystem", db) < 1)
      QvExecuteSql("insert into PermSystem (PermSystem) values (" + value + ")", db);
    else
      QvExecuteSql("update PermSystem set PermSystem = " + value, db);
    tx.Commit();
  });
}

void DBPermissions::GetEntityGenealogy(int32_t aEntityType, double aID, bool& rIsBranch,
                                       double& rTaxpayerID, double& rBranchID, double& rAccStreamID,
                                       double& rTemplTypeID) {
  Guard(QV_HERE, [&] {
    const auto db = miDataBase::GetUserDataBase();
    const std::string id = Number2DaoSql(aID);
    double taxpayer = 0;
    if (aEntityType == kEntityAccStream) {
      taxpayer = NumberOr0(QvQueryValue("select PersonID from AccStream Where ID=" + id, {}, db));
    } else if (aEntityType == kEntityDocument) {
      Variant stream, templType, person;
      QvQuery3Values(
          "select d.Taxpayer_ID AS AccStreamID, t.Doc_Type_ID AS TemplTypeID,"
          " a.PersonID AS TaxpayerID "
          "from (Doc_Registry AS d "
          "LEFT JOIN AccStream AS a ON a.ID = d.Taxpayer_ID) "
          "LEFT JOIN Doc_Templates AS t ON t.Template_ID = d.Template_ID "
          "where d.Document_ID = " +
              id,
          stream, templType, person, db);
      rAccStreamID = NumberOr0(stream);
      rTemplTypeID = NumberOr0(templType);
      taxpayer = NumberOr0(person);
    } else if (aEntityType == kEntityTaxpayer) {
      taxpayer = aID;
    }
    if (taxpayer == 0) return;
    rIsBranch = records::IsBranch(*db, taxpayer);
    if (rIsBranch) {
      rBranchID = taxpayer;
      rTaxpayerID = queries::GetParentOfBranch(taxpayer);
    } else {
      rTaxpayerID = taxpayer;
    }
  });
}

void DBPermissions::SaveUser(const Variant& aUser) {
  Guard(QV_HERE, [&] {
    auto user = records::RecordArg(kUserType, aUser);
    const auto db = miDataBase::GetUserDataBase();
    dao::Transaction tx(*db, dao::kWriteLock);
    DeleteUserData(db, user->Id());
    SaveUserData(db, *user);
    tx.Commit();
    miPerms::ForgetUserName();
  });
}

void DBPermissions::SaveGlobalRootBlock(const Variant& aGlobalRootBlock) {
  Guard(QV_HERE, [&] {
    auto block = records::RecordArg(kBlockType, aGlobalRootBlock);
    const auto db = miDataBase::GetUserDataBase();
    dao::Transaction tx(*db, dao::kWriteLock);
    DeleteUserData(db, kRootOwner);
    SaveRootBlockData(db, *block);
    tx.Commit();
  });
}

void DBPermissions::DeleteUser(double aUserID) {
  Guard(QV_HERE, [&] {
    if (aUserID == 0 || aUserID == kRootOwner) return;
    const auto db = miDataBase::GetUserDataBase();
    dao::Transaction tx(*db, dao::kWriteLock);
    DeleteUserData(db, aUserID);
    QvExecuteSql("delete from PermUsers where ID = " + Number2DaoSql(aUserID), db);
    tx.Commit();
    miPerms::ForgetUserName();
  });
}

double DBPermissions::IsThereUserWithLogin(const std::string& aLogin, double aExcludeID,
                                           const std::string& aRecTypes) {
  return Guard(QV_HERE, [&] {
    std::string sql =
        "select top 1 ID from PermUsers where LCase(Login) = " + DaoQString(LCase(aLogin));
    if (aExcludeID != 0) sql += " and ID <> " + Number2DaoSql(aExcludeID);
    if (!aRecTypes.empty() && aRecTypes != "*")
      sql += " and RecType in (" + IdList2DaoSql(aRecTypes, "aRecTypes") + ")";
    return NumberOr0(QvQueryFirstValueSafe(sql, Variant(0), miDataBase::GetUserDataBase()));
  });
}

void DBPermissions::CreateRightsSystemIfNeed() {
  Guard(QV_HERE, [&] {
    const auto db = miDataBase::GetUserDataBase();
    dao::Transaction tx(*db, dao::kWriteLock);
    CreateAdmin(db);
    CreateSystemRow(db);
    CreateRootBlock(db);
    CreateRootItem(db);
    tx.Commit();
  });
}

CollectionPtr DBPermissions::LoadUsers() {
  return Guard(QV_HERE, [&] {
    const auto db = miDataBase::GetUserDataBase();
    auto users = std::make_shared<Collection>();
    // By identifier: a server gives a select without an order in no
    // particular one.
    auto rs = QvQuerySqlStatic("select * from PermUsers order by ID", db);
    for (; !rs->IsEOF(); rs->MoveNext()) {
      const double id = GetDaoDouble(*rs, "ID");
      if (id == kRootOwner) continue;
      users->Add(Variant(ObjectPtr(LoadUserFromRs(db, *rs))), "_" + Number2DaoSql(id));
    }
    rs->Close();
    return users;
  });
}

Variant DBPermissions::LoadUser(double aID) {
  return Guard(QV_HERE, [&] {
    return FirstLoaded("select * from PermUsers where ID = " + Number2DaoSql(aID),
                       miDataBase::GetUserDataBase(), &LoadUserFromRs);
  });
}

Variant DBPermissions::LoadGlobalPermBlock() {
  return Guard(QV_HERE, [&] {
    return FirstLoaded("select * from PermBlocks where UserID = -1", miDataBase::GetUserDataBase(),
                       &LoadBlockFromRs);
  });
}

void DBPermissions::SavePassword(double aUserID, const std::string& aPassword) {
  Guard(QV_HERE, [&] {
    if (aUserID == 0) return;
    // Quiet: a failing statement is not quoted, since it holds the password.
    QvExecuteSqlQuiet("update PermUsers set Password = " +
                          DaoQString(mPasswordShuffling::EncodePassword(aPassword)) +
                          " where ID = " + Number2DaoSql(aUserID) + " ",
                      miDataBase::GetUserDataBase());
  });
}

ado::RecordsetPtr DBPermissions::GetDocClassesForSelecting(const std::string& aExcludeIDs) {
  return Guard(QV_HERE, [&] {
    std::string sql = "select doc_type_id as ID, name_short as Name, Knd from doc_type_class ";
    if (!aExcludeIDs.empty())
      sql += " where doc_type_id not in (" + IdList2DaoSql(aExcludeIDs, "aExcludeIDs") + ") ";
    return QvQuerySqlA(sql + " order by name_short ");
  });
}

bool DBPermissions::CheckPassword(double aUserID, const std::string& aPassword) {
  return Guard(QV_HERE, [&] {
    auto rs =
        QvQuerySqlStatic("select Password from PermUsers where ID = " + Number2DaoSql(aUserID),
                         miDataBase::GetUserDataBase());
    const bool found = !rs->IsEOF();
    const std::string stored = found ? GetDaoString(*rs, "Password") : std::string();
    rs->Close();
    return found && mPasswordShuffling::PasswordMatches(stored, aPassword);
  });
}

QV_DEFINE_CLASS(DBPermissions, "Qv_DBProvider.DBPermissions", QV_CREATABLE(DBPermissions),
                Method("GetPermissionsSystem", &DBPermissions::GetPermissionsSystem),
                Method("SetPermHash(aValue)", &DBPermissions::SetPermHash),
                Method("GetEntityGenealogy(aEntityType, aID, rIsBranch, rTaxpayerID, rBranchID, "
                       "rAccStreamID, rTemplTypeID)",
                       &DBPermissions::GetEntityGenealogy,
                       {Variant(false), Variant(0.0), Variant(0.0), Variant(0.0), Variant(0.0)}),
                Method("SaveUser(aUser)", &DBPermissions::SaveUser),
                Method("SaveGlobalRootBlock(aGlobalRootBlock)",
                       &DBPermissions::SaveGlobalRootBlock),
                Method("DeleteUser(aUserID)", &DBPermissions::DeleteUser),
                Method("IsThereUserWithLogin(aLogin, aExcludeID, aRecTypes)",
                       &DBPermissions::IsThereUserWithLogin, {Variant("*")}),
                Method("CreateRightsSystemIfNeed", &DBPermissions::CreateRightsSystemIfNeed),
                Method("LoadUsers", &DBPermissions::LoadUsers),
                Method("LoadUser(aID)", &DBPermissions::LoadUser),
                Method("LoadGlobalPermBlock", &DBPermissions::LoadGlobalPermBlock),
                Method("SavePassword(aUserID, aPassword)", &DBPermissions::SavePassword),
                Method("GetDocClassesForSelecting(aExcludeIDs)",
                       &DBPermissions::GetDocClassesForSelecting),
                Method("CheckPassword(aUserID, aPassword)", &DBPermissions::CheckPassword))

}  // namespace qv::perms
