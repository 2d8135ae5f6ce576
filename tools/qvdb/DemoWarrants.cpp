#include "DemoWarrants.h"

#include <ostream>

#include "Output.h"
#include "core/mQvDaoDataBase.h"
#include "platform/automation/Collection.h"
#include "platform/automation/Object.h"
#include "platform/automation/VbaDate.h"

namespace qvdb {

namespace {

using qv::CreateObject;
using qv::ObjectPtr;
using qv::Variant;

// The demo's warrants carry this GUID, so that a run finds the last one's.
constexpr const char* kDemoGuid = "9F1C2B7E-5D4A-4E21-8C3B-2A6D7E0F4B10";

double FirstNumber(const std::string& sql) {
  return qv::CDbl(qv::mQvDaoDataBase::QvQueryFirstValueSafe(sql, Variant(0.0)));
}

ObjectPtr Sub(const ObjectPtr& rec, const char* property) {
  return rec->Get(property).AsObject();
}

// The dictionary of warrant permissions has two entries at least.
void EnsurePermissions(std::ostream& out) {
  if (FirstNumber("select count(*) from WarDict_Permissions") > 0) return;
  qv::mQvDaoDataBase::QvExecuteSql(
      "insert into WarDict_Permissions (ID, Code, Name) "
      "values (1, '01', 'Подписывать отчётность')");
  qv::mQvDaoDataBase::QvExecuteSql(
      "insert into WarDict_Permissions (ID, Code, Name) "
      "values (2, '02', 'Представлять отчётность')");

  out << "WarDict_Permissions: two permissions added to the empty dictionary\n";
}

ObjectPtr NewWarrant(double personnelId, const ObjectPtr& worker, const ObjectPtr& taxpayer) {
  ObjectPtr w = CreateObject("Qv_Records.QvWarrant");
  w->Let("WorkerID", Variant(personnelId));
  w->Let("Caption", Variant("Доверенность № 77-ДЕМ/2025"));
  w->Let("WarrantNumber", Variant("77-ДЕМ/2025"));
  w->Let("DateBeg", Variant(qv::DateSerial(2025, 1, 1)));
  w->Let("DateEnd", Variant(qv::DateSerial(2027, 12, 31)));
  w->Let("WarrantGuid", Variant(kDemoGuid));
  w->Let("ContoraType", Variant(int32_t{1}));
  w->Let("PrincipalPersonType", Variant(int32_t{2}));
  w->Let("AgentPersonType", Variant(int32_t{1}));
  ObjectPtr principal = Sub(w, "LPrincipal_Subject");
  principal->Let("PersonType", Variant(int32_t{2}));
  principal->Let("FullName", taxpayer->Get("FullName"));
  principal->Let("Inn", taxpayer->Get("INN"));
  principal->Let("Kpp", taxpayer->Get("KPP"));
  ObjectPtr agent = Sub(w, "NAgent_Subject");
  agent->Let("PersonType", Variant(int32_t{1}));
  for (const char* p : {"Surname", "Name", "Patronymic"}) agent->Let(p, worker->Get(p));
  ObjectPtr power = CreateObject("Qv_Records.QvWarPower");
  power->Let("Okato", Variant("45000000"));
  auto permissions = std::static_pointer_cast<qv::Collection>(power->Get("Permissions").AsObject());
  for (double id : {1.0, 2.0}) {
    ObjectPtr permission = CreateObject("Qv_Records.QvWarPermission");
    permission->CallV("SetID", id);
    permissions->Add(Variant(permission));
  }
  std::static_pointer_cast<qv::Collection>(w->Get("Powers").AsObject())->Add(Variant(power));
  return w;
}

}  // namespace

void WalkWarrants(std::ostream& out) {
  out << "\n== A signer with an active warrant in the signer list\n";
  const double jobPlace = FirstNumber("select top 1 PersonID from AccStream order by ID");
  const double personnelId = FirstNumber(
      "select top 1 pl.ID from Personnel as pl inner join Person as p on p.ID = pl.WorkerID "
      "where p.Type = 1 and pl.JobPlaceID = " +
      qv::mQvDaoDataBase::Number2DaoSql(jobPlace) + " order by pl.ID");
  if (personnelId == 0) {
    out << "(skipped: the first taxpayer has no natural person among its personnel)\n";
    return;
  }
  ObjectPtr mappers = CreateObject("Qv_DBProvider.DBWarrant");
  ObjectPtr queries = CreateObject("Qv_DBProvider.DBQWarrant");
  ObjectPtr factory = CreateObject("Qv_Records.RecordFactory");
  const double oldId = FirstNumber("select top 1 ID from Warrants where WarrantGuid = " +
                                   qv::mQvDaoDataBase::DaoQString(kDemoGuid));
  if (oldId != 0) {
    mappers->CallV("DeleteRecord", factory->CallV("GetRecord", "Qv_Records.QvWarrant", oldId));
    out << "DBWarrant.DeleteRecord(" << qv::CStr(Variant(oldId))
        << "): the previous run's warrant, with its subjects and powers\n";
  }
  EnsurePermissions(out);

  const Variant worker = factory->CallV("GetRecord", "Qv_Records.QvWorker", personnelId);
  ObjectPtr person = Sub(worker.AsObject(), "Worker");
  ObjectPtr taxpayer = Sub(worker.AsObject(), "JobPlace");
  ObjectPtr warrant = NewWarrant(personnelId, person, taxpayer);
  mappers->CallV("SaveRecord", warrant, true);
  const double id = qv::CDbl(warrant->Get("ID"));
  out << "DBWarrant.SaveRecord (recursive): warrant " << qv::CStr(Variant(id)) << " of "
      << qv::CStr(person->Get("Surname")) << " (Personnel " << qv::CStr(Variant(personnelId))
      << "), principal and agent subjects, one power with two permissions\n";
  queries->CallV("SetActiveWarrant", id, personnelId);
  const Variant active = queries->CallV("GetActiveWarrant", personnelId, false);
  out << "DBQWarrant.SetActiveWarrant, then GetActiveWarrant(" << qv::CStr(Variant(personnelId))
      << ", False): " << qv::CStr(active.AsObject()->Get("Caption")) << "\n";

  ObjectPtr read = CreateObject("Qv_Records.QvWarrant");
  mappers->CallV("ReadRecord", id, read);
  mappers->CallV("ReadLazyFields", read);
  // The agent and the power read themselves on first use, so they print in full.
  Sub(read, "NAgent_Subject")->Get("Surname");
  auto powers = std::static_pointer_cast<qv::Collection>(read->Get("Powers").AsObject());
  powers->At(1).AsObject()->Get("Okato");
  out << "DBWarrant.ReadRecord and ReadLazyFields:\n";
  PrintValue(out, Variant(read), Format::kTable);

  out << "DictQueries.GetPersonsAllowedForSigners(" << qv::CStr(Variant(jobPlace))
      << ", \"\", False): the signer list with its warrants\n";
  PrintValue(out,
             CreateObject("Qv_DBProvider.DictQueries")
                 ->CallV("GetPersonsAllowedForSigners", jobPlace, "", false),
             Format::kTable);
}

}  // namespace qvdb
