#include "Demo.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ostream>

#include "Commands.h"
#include "DataFolder.h"
#include "DemoBigDocs.h"
#include "DemoDocQueries.h"
#include "DemoDocuments.h"
#include "DemoPfr.h"
#include "DemoSteps.h"
#include "DemoWarrants.h"
#include "FolderCopy.h"
#include "Generator.h"
#include "Output.h"
#include "SqlShell.h"
#include "platform/automation/Collection.h"
#include "platform/automation/Error.h"
#include "platform/automation/Object.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/Workspace.h"
#include "platform/jet/JetEngine.h"

namespace qvdb {

namespace {

// `text` as one word of a shell command: as it is when it holds only
// characters no shell reads specially, else in single quotes (a server
// location has spaces and quotes of its own).
std::string ShellWord(const std::string& text) {
  const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("_./:@%+=,-", c) != nullptr;
  });
  if (plain) return text;
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// The sample a fresh demo folder gets: small enough to make in a moment.
GenerateOptions DemoSample() {
  GenerateOptions o;
  o.seed = 1;
  o.streams = 6;
  o.documents = 120;
  o.cells = 20;
  return o;
}

class Walk : public DemoSteps {
 public:
  Walk(std::ostream& out, const std::filesystem::path& db) : DemoSteps(out), db_(db) {}

  void Sql(const std::string& statement) {
    out_ << "qvdb> " << statement << ";\n";
    Step([&] { Session().Execute(statement); });
  }

  // The first column of the first row of a statement, Null when none.
  qv::Variant Scalar(const std::string& statement) {
    auto ws = qv::dao::DBEngine::ForThread()->DefaultWorkspace();
    auto db = ws->Open(db_.string(), {});
    auto rs = db->OpenStatement(statement, qv::dao::dbOpenSnapshot);
    qv::Variant v = rs->RecordCount() > 0 ? rs->FieldValue(0) : qv::Variant::Null();
    rs->Close();
    db->Close();
    return v;
  }

  // Calls a public class by ProgID when it is registered in this build.
  bool Available(const std::string& progId) {
    if (qv::ProgIdRegistry::Find(progId)) return true;
    out_ << "(skipped: " << progId << " is not registered in this build yet)\n";
    return false;
  }

 private:
  SqlSession& Session() {
    if (session_) return *session_;
    // On a server folder the user database's location is the schema's.
    if (qv::jet::IsServerLocation(db_.string()))
      session_ = std::make_unique<SqlSession>(qv::jet::OpenEngine(db_.string(), {}), Format::kTable,
                                              out_, out_);
    else
      session_ = std::make_unique<SqlSession>(db_, Format::kTable, out_, out_);
    return *session_;
  }

  std::filesystem::path db_;
  std::unique_ptr<SqlSession> session_;
};

// Reference records read by the mappers that exist so far.
void WalkReferenceRecords(Walk& w, double taxOfficeId, double templateId, double timeId) {
  std::ostream& out = w.Out();
  w.Heading("DBTaxOffice.ReadRecord: a tax office of the first stream");
  if (w.Available("Qv_DBProvider.DBTaxOffice")) {
    w.Step([&] {
      qv::ObjectPtr office = qv::CreateObject("Qv_Records.QvTaxOffice");
      qv::CreateObject("Qv_DBProvider.DBTaxOffice")->CallV("ReadRecord", taxOfficeId, office);
      PrintValue(out, qv::Variant(office), Format::kTable);
    });
  }
  w.Heading("A template from the record factory, read on first use (DBTemplate)");
  if (w.Available("Qv_DBProvider.DBTemplate")) {
    w.Step([&] {
      qv::ObjectPtr factory = qv::CreateObject("Qv_Records.RecordFactory");
      const qv::Variant tpl = factory->CallV("GetRecord", "Qv_Records.QvTemplate", templateId);
      out << "GetRecord: RState = " << qv::CStr(tpl.AsObject()->Get("RState")) << "\n";
      out << "Name = " << qv::CStr(tpl.AsObject()->Get("Name"))
          << "; now RState = " << qv::CStr(tpl.AsObject()->Get("RState")) << "\n";
      out << ToJson(tpl) << "\n";
    });
  }
  w.Heading("DBTimePeriod.ReadRecord: the document's period");
  if (w.Available("Qv_DBProvider.DBTimePeriod")) {
    w.Step([&] {
      qv::ObjectPtr period = qv::CreateObject("Qv_Records.QvTimePeriod");
      qv::CreateObject("Qv_DBProvider.DBTimePeriod")->CallV("ReadRecord", timeId, period);
      PrintValue(out, qv::Variant(period), Format::kTable);
    });
  }
}

// Dictionaries and reporting periods through the query classes.
void WalkDictionaries(Walk& w, double streamId) {
  std::ostream& out = w.Out();
  w.Heading("DictQueries and PeriodQueries: dictionaries and reporting periods");
  if (!w.Available("Qv_DBProvider.DictQueries") || !w.Available("Qv_DBProvider.PeriodQueries"))
    return;
  w.Step([&] {
    qv::ObjectPtr dict = qv::CreateObject("Qv_DBProvider.DictQueries");
    const qv::Variant all = dict->CallV("GetCountry", "", int32_t{1});
    out << "GetCountry(\"\", 1): " << qv::CStr(all.AsObject()->Get("RecordCount"))
        << " countries (179 left out)\n";
    out << "GetCountry(\"643;112\", 1):\n";
    PrintValue(out, dict->CallV("GetCountry", "643;112", int32_t{1}), Format::kTable);
    out << "GetTaxOfficeIDByCode(\"7701\") = "
        << qv::CStr(dict->CallV("GetTaxOfficeIDByCode", "7701")) << "\n";

    qv::ObjectPtr periods = qv::CreateObject("Qv_DBProvider.PeriodQueries");
    const qv::Variant march = periods->CallV("GetTimeIDByYearAndMonth", int32_t{2025}, int32_t{3});
    out << "GetTimeIDByYearAndMonth(2025, 3) = " << qv::CStr(march) << "\n";
    out << "GetAllowedTimePeriodsInQuartal of the first quarter of 2025:\n";
    const qv::Variant q1 = periods->CallV("GetTimeIDByYearAndMonth", int32_t{2025}, int32_t{13});
    PrintValue(out, periods->CallV("GetAllowedTimePeriodsInQuartal", q1), Format::kTable);
    out << "GetReqsPeriodIDByYear(2030, True) = "
        << qv::CStr(periods->CallV("GetReqsPeriodIDByYear", int32_t{2030}, true)) << "\n";
    std::vector<qv::Variant> count{qv::Variant(streamId),    qv::Variant(int32_t{0}),
                                   qv::Variant(int32_t{0}),  qv::Variant(int32_t{-1}),
                                   qv::Variant(int32_t{-1}), qv::Variant(int32_t{-1})};
    periods->Call("CountDocStatuses", count);
    out << "CountDocStatuses(stream " << qv::CStr(qv::Variant(streamId))
        << ", all periods): in work " << qv::CStr(count[3]) << ", completed " << qv::CStr(count[4])
        << ", delivered " << qv::CStr(count[5]) << "\n";
  });
}

// The demo taxpayer's details; a run finds the previous run's taxpayer by
// them (CheckPersonBeforeSaving) and deletes it first.
constexpr const char* kDemoInn = "7709123453";
constexpr const char* kDemoKpp = "770901001";

qv::ObjectPtr NewLegalPerson(const char* kpp, const std::string& shortName,
                             const std::string& fullName) {
  qv::ObjectPtr p = qv::CreateObject("Qv_Records.QvPerson");
  p->Let("Type", qv::Variant(int32_t{2}));
  p->Let("INN", qv::Variant(kDemoInn));
  p->Let("KPP", qv::Variant(kpp));
  p->Let("ShortName", qv::Variant(shortName));
  p->Let("FullName", qv::Variant(fullName));
  p->Let("LPCategory", qv::Variant(int32_t{1}));
  return p;
}

qv::ObjectPtr NewStream(const qv::ObjectPtr& person, int32_t type, const std::string& name,
                        double taxOfficeId) {
  qv::ObjectPtr s = qv::CreateObject("Qv_Records.QvAccStream");
  s->Let("Person", qv::Variant(person));
  s->Let("AccStreamType", qv::Variant(type));
  s->Let("DisplayName", qv::Variant(name));
  s->Let("Kpp", qv::Variant(kDemoKpp));
  qv::ObjectPtr office = qv::CreateObject("Qv_Records.QvTaxOffice");
  office->CallV("SetID", taxOfficeId);
  s->Let("TaxOffice", qv::Variant(office));
  return s;
}

// One line per record of a collection: the named properties, which the
// record reads through its mapper on first use.
void PrintRecords(std::ostream& out, const qv::Variant& collection,
                  std::initializer_list<const char*> properties) {
  auto* items = dynamic_cast<qv::Collection*>(collection.AsObject().get());
  if (!items) return;
  for (int32_t i = 1; i <= items->Count(); ++i) {
    qv::ObjectPtr rec = items->Item(qv::Variant(i)).AsObject();
    out << " ";
    for (const char* p : properties) out << " " << p << "=" << qv::CStr(rec->Get(p));
    out << "\n";
  }
}

// A taxpayer with a branch and two accounting streams, made and listed
// through the public operations only.
void WalkTaxpayer(Walk& w, double taxOfficeId) {
  std::ostream& out = w.Out();
  w.Heading("A taxpayer with a branch and two accounting streams");
  for (const char* id : {"Qv_DBProvider.DBPerson", "Qv_DBProvider.DBAccStream",
                         "Qv_DBProvider.PersonQueries", "Qv_DBProvider.DBQAccStream"})
    if (!w.Available(id)) return;
  w.Step([&] {
    qv::ObjectPtr persons = qv::CreateObject("Qv_DBProvider.DBPerson");
    qv::ObjectPtr streams = qv::CreateObject("Qv_DBProvider.DBAccStream");
    qv::ObjectPtr pq = qv::CreateObject("Qv_DBProvider.PersonQueries");
    qv::ObjectPtr sq = qv::CreateObject("Qv_DBProvider.DBQAccStream");

    qv::ObjectPtr org = NewLegalPerson(kDemoKpp, "ООО «Северный ветер»",
                                       "Общество с ограниченной ответственностью «Северный ветер»");
    std::vector<qv::Variant> check{qv::Variant(org), qv::Variant(int32_t{-1}), qv::Variant(0.0)};
    qv::Variant free = pq->Call("CheckPersonBeforeSaving", check);
    out << "CheckPersonBeforeSaving(INN " << kDemoInn << ", KPP " << kDemoKpp
        << "): " << qv::CStr(free) << ", aResult = " << qv::CStr(check[1])
        << ", aCollisionObjectID = " << qv::CStr(check[2]) << "\n";
    if (qv::CDbl(check[2]) != 0) {
      qv::ObjectPtr old = qv::CreateObject("Qv_Records.QvPerson");
      persons->CallV("ReadRecord", qv::CDbl(check[2]), old);
      persons->CallV("DeleteRecord", old);
      out << "DBPerson.DeleteRecord(" << qv::CStr(check[2])
          << "): the previous run's taxpayer, with its branch and streams\n";
    }

    persons->CallV("SaveRecord", org, false);
    const double orgId = qv::CDbl(org->Get("ID"));
    pq->CallV("AddAccPerson", orgId);
    out << "DBPerson.SaveRecord: taxpayer " << qv::CStr(org->Get("ShortName")) << ", ID "
        << qv::CStr(qv::Variant(orgId)) << ", RState " << qv::CStr(org->Get("RState"))
        << "; PersonQueries.AddAccPerson\n";

    qv::ObjectPtr branch = NewLegalPerson("771001001", "Филиал «Северный ветер» в Твери",
                                          "Тверской филиал ООО «Северный ветер»");
    persons->CallV("SaveRecord", branch, false);
    const double branchId = qv::CDbl(branch->Get("ID"));
    pq->CallV("AddBranch", orgId, branchId);
    out << "DBPerson.SaveRecord: branch ID " << qv::CStr(qv::Variant(branchId))
        << "; PersonQueries.AddBranch; IsBranch = " << qv::CStr(pq->CallV("IsBranch", branchId))
        << "\n";

    for (auto [type, name] : {std::pair{int32_t{1}, "Налоговая отчётность"},
                              std::pair{int32_t{2}, "Отчётность в фонд пенсионного страхования"}}) {
      qv::ObjectPtr s = NewStream(org, type, name, taxOfficeId);
      streams->CallV("SaveRecord", s, false);
      out << "DBAccStream.SaveRecord: stream ID " << qv::CStr(s->Get("ID")) << " (type " << type
          << ")\n";
    }

    out << "PersonQueries.GetBranchesByParentOrg(" << qv::CStr(qv::Variant(orgId))
        << ", \"name\", 0):\n";
    const qv::Variant branches = pq->CallV("GetBranchesByParentOrg", orgId, "name", int32_t{0});
    PrintRecords(out, branches, {"ID", "ShortName", "INN", "KPP", "RState"});
    out << "DBQAccStream.GetAccStreamsByPerson(" << qv::CStr(qv::Variant(orgId))
        << ", \"name\", 0):\n";
    const qv::Variant list = sq->CallV("GetAccStreamsByPerson", orgId, "name", int32_t{0});
    PrintRecords(out, list, {"ID", "DisplayName", "AccStreamType", "Kpp", "RState"});
  });
}

void WalkRecords(Walk& w, double documentId, double personId) {
  std::ostream& out = w.Out();
  w.Heading("Record objects: created by ProgID, used by name");
  w.Step([&] {
    qv::ObjectPtr doc = qv::CreateObject("Qv_Records.QvDocument");
    out << "CreateObject(\"Qv_Records.QvDocument\"): RState = " << qv::CStr(doc->Get("RState"))
        << ", IsBlank = " << qv::CStr(doc->Get("IsBlank")) << "\n";
    doc->Let("Notes", qv::Variant("Черновик"));
    doc->Let("Instance_Number", qv::Variant(int32_t{1}));
    out << "after Notes = \"Черновик\", Instance_Number = 1: RState = "
        << qv::CStr(doc->Get("RState")) << "\n";
    doc->CallV("SetID", documentId);
    out << "after SetID(" << qv::CStr(qv::Variant(documentId))
        << "): a reference, read on first use; printed without reading it:\n  "
        << ToJson(qv::Variant(doc)) << "\n";
  });

  w.Heading("DBDocument.ReadRecord and ReadCells");
  if (w.Available("Qv_DBProvider.DBDocument")) {
    w.Step([&] {
      qv::ObjectPtr mapper = qv::CreateObject("Qv_DBProvider.DBDocument");
      qv::ObjectPtr doc = qv::CreateObject("Qv_Records.QvDocument");
      mapper->CallV("ReadRecord", documentId, doc);
      PrintValue(out, qv::Variant(doc), Format::kTable);
      const qv::Variant cells = mapper->CallV("ReadCells", documentId);
      out << "ReadCells: " << qv::CStr(cells.AsObject()->Get("Count")) << " cells\n";
    });
  }
  w.Heading("DBPerson.ReadRecord and ReadLazyFields");
  if (w.Available("Qv_DBProvider.DBPerson")) {
    w.Step([&] {
      qv::ObjectPtr mapper = qv::CreateObject("Qv_DBProvider.DBPerson");
      qv::ObjectPtr person = qv::CreateObject("Qv_Records.QvPerson");
      mapper->CallV("ReadRecord", personId, person);
      mapper->CallV("ReadLazyFields", person);
      PrintValue(out, qv::Variant(person), Format::kTable);
    });
  }
}

}  // namespace

int RunDemo(const std::optional<std::string>& data, std::ostream& out) {
  const std::filesystem::path folder = ResolveDataFolder(data);
  const std::filesystem::path file = UserDatabasePath(folder);
  out << "Data folder: " << ShownFolder(folder.string()) << "\n";
  if (!HasDatabase(folder)) {
    if (IsServerFolder(folder.string()))
      throw UserError("no data folder at " + ShownFolder(folder.string()) +
                      ": create it with `qvdb init --server LOCATION`");
    const InitResult init = InitDataFolder(folder, false);
    out << "Created the database files (" << init.referenceRows
        << " reference rows); DataBasePath recorded in " << init.registryFile.string() << "\n";
  }
  PointLibraryAt(folder);

  Walk w(out, file);
  if (qv::CDbl(w.Scalar("select count(*) from doc_registry")) == 0) {
    const GenerateStats s = Generate(file, DemoSample());
    out << "Generated a sample: " << s.streams << " accounting streams, " << s.documents
        << " documents, " << s.cells << " cells\n";
  }

  w.Heading("Taxpayers and their accounting streams");
  w.Sql(
      "select top 6 s.ID, s.DisplayName, s.KPP, o.ShortName as TaxOffice from AccStream as s "
      "left join TaxOffice as o on o.ID = s.TaxOfficeID order by s.ID");
  w.Heading("Documents by form and status (1 in work, 2 completed, 3 delivered)");
  w.Sql(
      "select c.name_short as Form, d.Status_Qv, count(*) as Documents "
      "from (doc_registry as d inner join doc_templates as t on t.template_id = d.template_id) "
      "inner join doc_type_class as c on c.doc_type_id = t.doc_type_id "
      "group by c.name_short, d.Status_Qv");

  const qv::Variant adjusted = w.Scalar(
      "select top 1 document_id from doc_registry where doc_type > 0 order by document_id");
  if (!adjusted.IsNull()) {
    w.Heading("An adjustment chain: versions linked by bottom_next_id and top_doc_id");
    const std::string id = qv::CStr(adjusted);
    w.Sql(
        "select d.document_id, d.doc_type, d.bottom_next_id, d.top_doc_id, d.Status_Qv, "
        "d.Registry_Date "
        "from doc_registry as d, doc_registry as a "
        "where a.document_id = " +
        id +
        " and d.taxpayer_id = a.taxpayer_id and d.time_id = a.time_id "
        "and d.template_id = a.template_id and d.instance_number = a.instance_number "
        "order by d.doc_type");
  }
  const qv::Variant document =
      w.Scalar("select top 1 document_id from doc_registry order by document_id desc");
  if (!document.IsNull()) {
    w.Heading("The first cells of a document");
    w.Sql(
        "select top 6 cell_key, first_value, first_type from doc_cell_values where document_id = " +
        qv::CStr(document) + " order by cell_key");
  }
  const qv::Variant person = w.Scalar("select top 1 PersonID from AccStream order by ID");
  const qv::Variant office = w.Scalar("select top 1 TaxOfficeID from AccStream order by ID");
  const std::string doc = document.IsNull() ? "0" : qv::CStr(document);
  const qv::Variant tpl =
      w.Scalar("select template_id from doc_registry where document_id = " + doc);
  const qv::Variant period =
      w.Scalar("select time_id from doc_registry where document_id = " + doc);
  if (!office.IsNull() && !tpl.IsNull())
    WalkReferenceRecords(w, qv::CDbl(office), qv::CDbl(tpl), qv::CDbl(period));
  WalkRecords(w, document.IsNull() ? 0 : qv::CDbl(document),
              person.IsNull() ? 0 : qv::CDbl(person));
  const qv::Variant stream = w.Scalar("select top 1 ID from AccStream order by ID");
  WalkDictionaries(w, stream.IsNull() ? 0 : qv::CDbl(stream));
  if (!office.IsNull()) WalkTaxpayer(w, qv::CDbl(office));
  w.Step([&] { WalkDocuments(w.Out()); });
  w.Step([&] { WalkDocQueries(w.Out()); });
  w.Step([&] { WalkPfr(w.Out()); });
  w.Step([&] { WalkBigDocs(w.Out()); });
  w.Step([&] { WalkWarrants(w.Out()); });

  w.Heading("Public classes of the library registered in this build");
  int count = 0;
  for (const std::string& id : qv::ProgIdRegistry::ProgIds())
    if (id.starts_with("Qv_DBProvider.")) out << "  " << id << "\n", ++count;
  if (count == 0) out << "  (none yet)\n";
  out << "\nNext: qvdb sql --data " << ShellWord(folder.string()) << "   (an interactive shell)\n";
  return w.Failures() == 0 ? 0 : 1;
}

}  // namespace qvdb
