#include "siblings/courier/CourierMappers.h"

#include <mutex>
#include <set>

#include "platform/automation/Error.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"

namespace qv::courier {

namespace {

std::mutex& ProviderMutex() {
  static std::mutex m;
  return m;
}
DatabaseProvider& Provider() {
  static DatabaseProvider p;
  return p;
}

std::shared_ptr<dao::Database> BlobDatabase() {
  DatabaseProvider provider;
  {
    std::lock_guard lock(ProviderMutex());
    provider = Provider();
  }
  std::shared_ptr<dao::Database> db = provider ? provider() : nullptr;
  if (!db) throw Error(vberr::kObjectNotSet, "no database holds the courier blobs");
  return db;
}

std::shared_ptr<dao::Recordset> BlobTable(dao::Database& db) {
  auto rs = db.OpenTable("CourBlobs");
  rs->SetIndex("Id");
  return rs;
}

bool SeekBlob(dao::Recordset& rs, double id) {
  const Variant key[] = {Variant(id)};
  rs.Seek("=", key);
  return !rs.NoMatch();
}

ObjectPtr RecordOf(const Variant& aRecord) {
  if (!aRecord.IsObject() || !aRecord.AsObject())
    ThrowVb(vberr::kObjectRequired, "a courier record was expected");
  return aRecord.AsObject();
}

// The exchange circles of this thread.
struct Circles {
  std::set<double> ids;
  double last = 0;
};
Circles& ThreadCircles() {
  thread_local Circles c;
  return c;
}

}  // namespace

DatabaseProvider SetCourierDatabaseProvider(DatabaseProvider provider) {
  std::lock_guard lock(ProviderMutex());
  DatabaseProvider previous = std::move(Provider());
  Provider() = std::move(provider);
  return previous;
}

void CourierMapper::ReadRecord(double aID, const Variant& aRecord) {
  ObjectPtr rec = RecordOf(aRecord);
  if (aID == 0) {
    rec->CallV("Clear");
  } else if (!Exists(aID)) {
    rec->CallV("MarkNotFound", aID);
  } else {
    rec->CallV("BeginLoad", aID);
    rec->CallV("EndLoad");
  }
}

void CourierMapper::SaveRecord(const Variant& aRecord, bool) {
  ObjectPtr rec = RecordOf(aRecord);
  const int32_t state = CLng(rec->Get("RState"));
  if (state == 0 || state == 1 || state == 4 || CBool(rec->Get("IsReadOnlyRecord"))) return;
  const double id = CDbl(rec->Get("ID"));
  if (id != 0) {
    if (Exists(id)) rec->CallV("AfterUpdate");
    return;
  }
  if (CBool(rec->Get("IsBlank"))) return;
  rec->CallV("AssignNewID", Insert());
  rec->CallV("AfterInsert");
}

void CourierMapper::DeleteRecord(const Variant& aRecord) {
  if (aRecord.IsEmpty() || aRecord.IsNothing()) return;
  ObjectPtr rec = RecordOf(aRecord);
  const double id = CDbl(rec->Get("ID"));
  if (id == 0 || CBool(rec->Get("IsReadOnlyRecord"))) return;
  Remove(id);
  rec->CallV("AfterDelete");
}

bool CourierMapper::IsRecordExists(double aID) {
  return Exists(aID);
}

bool DBCourDocCircle::Exists(double id) {
  return ThreadCircles().ids.count(id) > 0;
}

double DBCourDocCircle::Insert() {
  Circles& c = ThreadCircles();
  c.ids.insert(++c.last);
  return c.last;
}

void DBCourDocCircle::Remove(double id) {
  ThreadCircles().ids.erase(id);
}

bool DBCourBlob::Exists(double id) {
  auto db = BlobDatabase();
  auto rs = BlobTable(*db);
  const bool found = SeekBlob(*rs, id);
  rs->Close();
  return found;
}

double DBCourBlob::Insert() {
  auto db = BlobDatabase();
  auto rs = BlobTable(*db);
  double id = 1;
  if (!(rs->IsBOF() && rs->IsEOF())) {
    rs->MoveLast();
    id = CDbl(rs->FieldValue("ID")) + 1;
  }
  rs->AddNew();
  rs->SetField("ID", Variant(id));
  rs->SetField("ContentLength", Variant(int32_t{0}));
  rs->Update();
  rs->Close();
  return id;
}

void DBCourBlob::Remove(double id) {
  auto db = BlobDatabase();
  auto rs = BlobTable(*db);
  if (SeekBlob(*rs, id)) rs->Delete();
  rs->Close();
}

#define QV_COURIER_MEMBERS(Cls)                                                      \
  Method("ReadRecord(aID, aRecord)", &Cls::ReadRecord),                              \
      Method("SaveRecord(aRecord, aRecursive)", &Cls::SaveRecord, {Variant(false)}), \
      Method("DeleteRecord(aRecord)", &Cls::DeleteRecord),                           \
      Method("IsRecordExists(aID)", &Cls::IsRecordExists)

QV_DEFINE_CLASS(DBCourDocCircle, "Qv_CourDB.DBCourDocCircle", QV_CREATABLE(DBCourDocCircle),
                QV_COURIER_MEMBERS(DBCourDocCircle))
QV_DEFINE_CLASS(DBCourBlob, "Qv_CourDB.DBCourBlob", QV_CREATABLE(DBCourBlob),
                QV_COURIER_MEMBERS(DBCourBlob))

#undef QV_COURIER_MEMBERS

}  // namespace qv::courier
