#include "Generator.h"

#include "DataFolder.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <numeric>

#include "DataFolder.h"
#include "DocumentPlan.h"
#include "FolderCopy.h"
#include "SampleData.h"
#include "SampleForms.h"
#include "SampleReference.h"
#include "TableWriter.h"
#include "core/miDataBase.h"
#include "platform/automation/Error.h"
#include "platform/automation/VbaDate.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/Transaction.h"
#include "platform/dao/Workspace.h"

namespace qvdb {

namespace fs = std::filesystem;
using qv::OleDate;
using qv::Variant;
using namespace sample;

namespace {

constexpr int32_t kCurrencyRouble = 157;
// first_type of the cells written here: amounts carry the code the
// consolidation writes for its sums, texts (codes, INN) another one.
constexpr int16_t kCellNumber = 129;
constexpr int16_t kCellText = 200;
constexpr int64_t kProgressEvery = 50;

Variant D(double serial) {
  return Variant(OleDate{serial});
}
Variant Num(int64_t n) {
  return Variant(static_cast<double>(n));
}
Variant Long(int64_t n) {
  return Variant(static_cast<int32_t>(n));
}
double Serial(int y, int m, int d) {
  return qv::DateSerial(y, m, d).serial;
}

// The title-page code of a period: the quarterly forms count from the start
// of the year (21 first quarter, 31 half-year, 33 nine months, 34 year).
std::string_view PeriodCode(int32_t reportId) {
  static constexpr std::string_view kQuarters[] = {"21", "31", "33", "34"};
  return reportId >= 13 && reportId <= 16 ? kQuarters[reportId - 13] : "34";
}

// The first letter of a name and a dot ("И."); names are UTF-8.
std::string Initial(const std::string& name) {
  if (name.empty()) return {};
  const auto lead = static_cast<unsigned char>(name[0]);
  const size_t n = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  return name.substr(0, n) + ".";
}

// Positions of the doc_registry columns written, looked up once.
struct DocColumns {
  explicit DocColumns(const TableWriter& w)
      : id(w.Column("document_id")),
        tmpl(w.Column("template_id")),
        time(w.Column("time_id")),
        taxpayer(w.Column("taxpayer_id")),
        registryDate(w.Column("Registry_Date")),
        less(w.Column("Less")),
        currency(w.Column("Currency_ID")),
        accept(w.Column("accept_date")),
        regNumber(w.Column("reg_number")),
        notes(w.Column("Notes")),
        deliveryType(w.Column("Delivery_Type")),
        docType(w.Column("doc_type")),
        top(w.Column("top_doc_id")),
        bottom(w.Column("bottom_next_id")),
        acceptTerm(w.Column("Accept_Term")),
        paymentTerm(w.Column("Payment_Term")),
        instance(w.Column("instance_number")),
        statusQv(w.Column("Status_Qv")),
        deliveryNumber(w.Column("DeliveryNumber")),
        flsSigned(w.Column("FLS_IsSigned")),
        execSigned(w.Column("Exec_IsSigned")),
        flsSigner(w.Column("FLS_SignerID")),
        slsSigner(w.Column("SLS_SignerID")),
        execSigner(w.Column("Exec_SignerID")),
        signDate(w.Column("SignDate")),
        konStatus(w.Column("KonStatus")),
        status(w.Column("Status")),
        editorType(w.Column("EditorType")),
        isChecked(w.Column("IsChecked")),
        isXsdChecked(w.Column("IsXsdChecked")),
        isCalculated(w.Column("IsCalculated")),
        registryTerm(w.Column("Registry_Term")) {}
  int id, tmpl, time, taxpayer, registryDate, less, currency, accept, regNumber, notes;
  int deliveryType, docType, top, bottom, acceptTerm, paymentTerm, instance, statusQv;
  int deliveryNumber, flsSigned, execSigned, flsSigner, slsSigner, execSigner, signDate;
  int konStatus, status, editorType, isChecked, isXsdChecked, isCalculated, registryTerm;
};

struct StreamInfo {
  int64_t id = 0;
  Filer kind = Filer::kOrganisation;
  std::string inn, oktmo;
  int64_t leader = 0, accountant = 0;  // Personnel identifiers
};

class Generator {
 public:
  Generator(const fs::path& file, const GenerateOptions& o, const ProgressFn& progress)
      : o_(o), progress_(progress), r_(o.seed), bigDocs_(o.seed) {
    auto engine = qv::dao::DBEngine::ForThread();
    ws_ = engine->CreateWorkspace("qvdb generate", "admin", "", Variant(qv::dao::dbUseJet));
    db_ = ws_->Open(file.string(), {});
  }
  ~Generator() { ws_->Close(); }

  GenerateStats Run() {
    {
      qv::dao::Transaction tx(*ws_);
      LoadPeriods();
      const ReferenceCounts added = EnsureReferenceRows(*db_, periods_);
      stats_.templates = added.templates;
      stats_.templateDates = added.templateDates;
      stats_.templateCategories = added.templateCategories;
      MakeTaxpayers();
      tx.Commit();
    }
    WriteDocuments();
    stats_.pfr = GeneratePfr(*ws_, *db_, o_.seed, streams_.front().id);
    stats_.bigDocs = bigDocs_.Counts();
    return stats_;
  }

 private:
  int64_t NextId(std::string_view table, std::string_view column) {
    return static_cast<int64_t>(TableWriter::MaxOf(*db_, table, column)) + 1;
  }

  void LoadPeriods() {
    int32_t first = o_.firstYear;
    if (first == 0) {
      // About ten periods of documents per stream and year.
      const int64_t perStream = (o_.documents + o_.streams - 1) / o_.streams;
      const int64_t years = std::clamp<int64_t>((perStream + 9) / 10, 1, o_.lastYear - 2003 + 1);
      first = o_.lastYear - static_cast<int32_t>(years) + 1;
    }
    stats_.firstYear = first;
    stats_.lastYear = o_.lastYear;
    auto rs = db_->OpenStatement(
        "select time_id, the_year, report_id, beg_date, end_date from time_by_month "
        "where the_year >= " +

            std::to_string(first) + " and the_year <= " + std::to_string(o_.lastYear) +
            " and report_id >= 13 and report_id <= 17 order by end_date, time_id",
        qv::dao::dbOpenSnapshot);
    for (rs->RecordCount() ? rs->MoveFirst() : void(); !rs->IsEOF(); rs->MoveNext())
      periods_.push_back({qv::CLng(rs->FieldValue(0)), qv::CLng(rs->FieldValue(1)),
                          qv::CLng(rs->FieldValue(2)), qv::CDate(rs->FieldValue(3)).serial,
                          qv::CDate(rs->FieldValue(4)).serial});
    rs->Close();
    if (periods_.empty())
      qv::ThrowVb(qv::vberr::kInvalidProcedureCall,
                  "time_by_month has no periods of the years " + std::to_string(first) + "-" +
                      std::to_string(o_.lastYear) + " (was the folder made by qvdb init?)");
  }

  // ---- persons

  const Region& PickRegion() { return Regions()[r_.Below(Regions().size())]; }

  std::string OfficeOf(const Region& g) {
    return TaxOfficeCode(g.code, r_.Between(1, kTaxOfficesPerRegion));
  }

  std::string Oktmo(const Region& g) { return std::string(g.oktmo) + r_.Digits(6); }
  std::string Phone() { return "+7 (9" + r_.Digits(2) + ") " + r_.Digits(3) + "-" + r_.Digits(4); }

  int64_t AddAddress(const Region& g) {
    const int64_t id = nextAddress_++;
    addresses_->Begin();
    addresses_->Set(0, Long(id));
    addresses_->Set("CountryID", Long(kRussia));
    addresses_->Set("PostIndex", Variant(std::string(g.postIndex) + r_.Digits(3)));
    addresses_->Set("RegionID", Long(g.code));
    addresses_->Set("City", Variant(g.city));
    addresses_->Set("Street", Variant(RandomStreet(r_)));
    addresses_->Set("House", Variant(std::to_string(r_.Between(1, 150))));
    if (r_.Chance(0.3)) addresses_->Set("Building", Variant(std::to_string(r_.Between(1, 5))));
    if (r_.Chance(0.5)) addresses_->Set("Flat", Variant(std::to_string(r_.Between(1, 400))));
    addresses_->End();
    return id;
  }

  int64_t AddPassport(const Region& g, double birth) {
    const int64_t id = nextCertificate_++;
    certificates_->Begin();
    certificates_->Set(0, Long(id));
    certificates_->Set("TypeID", Long(kPassport));
    certificates_->Set("Series", Variant(r_.Digits(2) + " " + r_.Digits(2)));
    certificates_->Set("Number", Variant(r_.Digits(6)));
    certificates_->Set("IssueDate", D(birth + 365.25 * 20 + r_.Between(0, 3000)));
    certificates_->Set("IssueOrg", Variant("ГУ МВД России " + std::string(g.inWhere)));
    certificates_->Set("IssueOrgCode", Variant(r_.Digits(3) + "-" + r_.Digits(3)));
    certificates_->Set("DocTypeName", Variant("Паспорт гражданина Российской Федерации"));
    certificates_->End();
    return id;
  }

  int64_t AddPersonHeader(int32_t type, int64_t realId) {
    const int64_t id = nextPerson_++;
    persons_->Begin();
    persons_->Set(0, Num(id));
    persons_->Set(1, Long(type));
    persons_->Set(2, Num(realId));
    persons_->End();
    return id;
  }

  // A natural person; an entrepreneur gets an OGRNIP and an activity.
  int64_t AddNaturalPerson(const Region& g, bool entrepreneur, std::string* innOut,
                           std::string* shortName = nullptr) {
    const PersonName n = RandomPersonName(r_);
    const double birth = Serial(r_.Between(1955, 2000), r_.Between(1, 12), r_.Between(1, 28));
    const std::string inn = NaturalInn(r_, OfficeOf(g));
    const int64_t home = AddAddress(g);
    const int64_t passport = AddPassport(g, birth);
    const int64_t id = nextNatural_++;
    naturals_->Begin();
    naturals_->Set(0, Long(id));
    naturals_->Set("INN", Variant(inn));
    naturals_->Set("Surname", Variant(n.surname));
    naturals_->Set("Name", Variant(n.name));
    naturals_->Set("Patronymic", Variant(n.patronymic));
    naturals_->Set("BirthDate", D(birth));
    naturals_->Set("BirthPlace", Variant("г. " + std::string(g.city)));
    naturals_->Set("Sex", Long(n.sex));
    naturals_->Set("CitizenshipID", Long(kRussia));
    naturals_->Set("HomeAddressID", Long(home));
    naturals_->Set("IdentityDocID", Long(passport));
    naturals_->Set("HomeTelephone", Variant(Phone()));
    naturals_->Set("SNILS", Variant(Snils(r_)));
    if (entrepreneur) {
      const Activity& a = RandomActivity(r_);
      naturals_->Set("OGRNIP", Variant(Ogrnip(r_, r_.Between(2004, 2022), g.code)));
      naturals_->Set("FPStartDay", D(Serial(r_.Between(2004, 2022), r_.Between(1, 12), 1)));
      naturals_->Set("ActivityOCVED", Variant(a.code));
      naturals_->Set("ActivityName", Variant(a.name));
      naturals_->Set("EMail", Variant("ip" + r_.Digits(6) + "@mail.ru"));
    }
    naturals_->End();
    if (innOut) *innOut = inn;
    if (shortName) *shortName = n.surname + " " + Initial(n.name) + " " + Initial(n.patronymic);
    return AddPersonHeader(1, id);
  }

  int64_t AddLegalPerson(const CompanyName& c, const std::string& inn, const std::string& kpp,
                         const std::string& ogrn, const Region& g, const std::string& oktmo) {
    const Activity& a = RandomActivity(r_);
    const int64_t address = AddAddress(g);
    const int64_t id = nextLegal_++;
    legals_->Begin();
    legals_->Set(0, Long(id));
    legals_->Set("INN", Variant(inn));
    legals_->Set("KPP", Variant(kpp));
    legals_->Set("ShortName", Variant(c.shortName));
    legals_->Set("FullName", Variant(c.fullName));
    legals_->Set("LPCategory", Long(kCommercial));
    legals_->Set("IsSameAddress", Variant(true));
    legals_->Set("CtrlAddressID", Long(address));
    legals_->Set("RegAddressID", Long(address));
    legals_->Set("OGRN", Variant(ogrn));
    legals_->Set("OCPO", Variant(r_.Digits(8)));
    legals_->Set("OCATO", Variant(std::string(g.okato) + r_.Digits(9)));
    legals_->Set("OCTMO", Variant(oktmo));
    legals_->Set("ActivityOCVED", Variant(a.code));
    legals_->Set("ActivityName", Variant(a.name));
    legals_->Set("LegalFormName", Variant(c.legalFormName));
    legals_->Set("LegalFormOCOPF", Variant(c.legalFormCode));
    legals_->Set("BankBIC", Variant("04" + r_.Digits(7)));
    legals_->Set("Phone", Variant(Phone()));
    legals_->Set("EMail", Variant("info" + r_.Digits(4) + "@example.ru"));
    legals_->End();
    return AddPersonHeader(2, id);
  }

  int64_t AddJob(int64_t jobPlace, int64_t worker, std::string_view post, bool boss) {
    const int64_t id = nextPersonnel_++;
    personnel_->Begin();
    personnel_->Set(0, Long(id));
    personnel_->Set("JobPlaceID", Num(jobPlace));
    personnel_->Set("WorkerID", Num(worker));
    personnel_->Set("PostName", Variant(post));
    personnel_->Set("BeginDate", D(Serial(r_.Between(2005, 2022), r_.Between(1, 12), 1)));
    personnel_->Set("Telephone", Variant(Phone()));
    personnel_->Set("ShowInBranches", Long(boss ? 1 : 0));
    personnel_->Set("IsFormalBoss", Long(boss ? 1 : 0));
    personnel_->End();
    ++stats_.workers;
    return id;
  }

  void AddStream(StreamInfo s, int64_t owner, const std::string& name, const std::string& kpp,
                 int32_t office, const std::string& okato) {
    s.id = nextStream_++;
    streamsOut_->Begin();
    streamsOut_->Set(0, Long(s.id));
    streamsOut_->Set("PersonID", Num(owner));
    streamsOut_->Set("DisplayName", Variant(name));
    streamsOut_->Set("AutoDisplayName", Variant(true));
    streamsOut_->Set(
        "AccStreamType",
        Long(s.kind == Filer::kEntrepreneur ? kEntrepreneurStreamType : kOrganisationStreamType));
    streamsOut_->Set("TaxOfficeID", Long(office));
    streamsOut_->Set("KPP", Variant(kpp));
    streamsOut_->Set("LastYear", Long(o_.lastYear));
    streamsOut_->Set("LastMonth", Long(12));
    streamsOut_->Set("FirstLeaderID", Long(s.leader));
    streamsOut_->Set("SecondLeaderID", Long(s.accountant));
    streamsOut_->Set("ExecutorID", Long(s.accountant ? s.accountant : s.leader));
    streamsOut_->Set("FLS_IsSigned", Long(1));
    streamsOut_->Set("OCATO", Variant(okato));
    streamsOut_->Set("OCTMO", Variant(s.oktmo));
    streamsOut_->End();
    accPersons_->Begin();
    accPersons_->Set(0, Num(owner));
    accPersons_->End();
    streams_.push_back(std::move(s));
  }

  void MakeTaxpayers();
  void WriteDocuments();
  void WriteDocument(const PlannedDoc& d, int64_t id, int64_t regNumber, int64_t older,
                     int64_t newer);

  GenerateOptions o_;
  ProgressFn progress_;
  Random r_;
  BigDocWriter bigDocs_;
  GenerateStats stats_;
  std::shared_ptr<qv::dao::Workspace> ws_;
  std::shared_ptr<qv::dao::Database> db_;
  std::vector<PlanPeriod> periods_;
  std::vector<StreamInfo> streams_;
  std::vector<std::string> layout_;
  std::unique_ptr<TableWriter> docs_, cells_;
  std::unique_ptr<DocColumns> docColumns_;
  std::unique_ptr<TableWriter> persons_, naturals_, legals_, addresses_, certificates_;
  std::unique_ptr<TableWriter> personnel_, streamsOut_, accPersons_, branches_;
  int64_t nextPerson_ = 0, nextNatural_ = 0, nextLegal_ = 0, nextAddress_ = 0;
  int64_t nextCertificate_ = 0, nextPersonnel_ = 0, nextStream_ = 0, nextBranch_ = 0;
};

void Generator::MakeTaxpayers() {
  persons_ = std::make_unique<TableWriter>(*db_, "Person");
  naturals_ = std::make_unique<TableWriter>(*db_, "NaturalPerson");
  legals_ = std::make_unique<TableWriter>(*db_, "LegalPerson");
  addresses_ = std::make_unique<TableWriter>(*db_, "Address");
  certificates_ = std::make_unique<TableWriter>(*db_, "Certificate");
  personnel_ = std::make_unique<TableWriter>(*db_, "Personnel");
  streamsOut_ = std::make_unique<TableWriter>(*db_, "AccStream");
  accPersons_ = std::make_unique<TableWriter>(*db_, "AccPerson");
  branches_ = std::make_unique<TableWriter>(*db_, "Branches");
  nextPerson_ = NextId("Person", "ID");
  nextNatural_ = NextId("NaturalPerson", "ID");
  nextLegal_ = NextId("LegalPerson", "ID");
  nextAddress_ = NextId("Address", "ID");
  nextCertificate_ = NextId("Certificate", "ID");
  nextPersonnel_ = NextId("Personnel", "ID");
  nextStream_ = NextId("AccStream", "ID");
  nextBranch_ = NextId("Branches", "ID");

  struct Head {
    int64_t person;
    std::string inn, shortName;
    int branches;
  };
  std::vector<Head> heads;
  for (int32_t i = 0; i < o_.streams; ++i) {
    const Region& g = PickRegion();
    const std::string office = OfficeOf(g);
    const std::string oktmo = Oktmo(g);
    const std::string okato = std::string(g.okato) + r_.Digits(9);
    StreamInfo s;
    s.oktmo = oktmo;
    const double roll = r_.Unit();
    if (roll < 0.1 && !heads.empty()) {
      // A branch of an organisation made before: its INN, a KPP of its own.
      Head& head = heads[r_.Below(static_cast<uint32_t>(heads.size()))];
      CompanyName c;
      c.shortName = "Филиал " + head.shortName + " в г. " + std::string(g.city);
      c.fullName = c.shortName;
      c.legalFormName = "Филиалы юридических лиц";
      c.legalFormCode = "30002";
      const std::string kpp = Kpp(office, "43", ++head.branches);
      const int64_t branch = AddLegalPerson(c, head.inn, kpp, "", g, oktmo);
      branches_->Begin();
      branches_->Set(0, Long(nextBranch_++));
      branches_->Set("ParentPersonID", Num(head.person));
      branches_->Set("ChildPersonID", Num(branch));
      branches_->End();
      s.kind = Filer::kBranch;
      s.inn = head.inn;
      s.leader = AddJob(branch, AddNaturalPerson(g, false, nullptr), "Директор филиала", true);
      s.accountant = AddJob(branch, AddNaturalPerson(g, false, nullptr), "Бухгалтер", false);
      AddStream(std::move(s), branch, c.shortName, kpp, std::stoi(office), okato);
      ++stats_.branches;
    } else if (roll < 0.3) {
      s.kind = Filer::kEntrepreneur;
      std::string name;
      const int64_t person = AddNaturalPerson(g, true, &s.inn, &name);
      s.leader = AddJob(person, person, "Индивидуальный предприниматель", true);
      AddStream(std::move(s), person, "ИП " + name, "", std::stoi(office), okato);
      ++stats_.entrepreneurs;
    } else {
      const CompanyName c = RandomCompanyName(r_);
      const std::string inn = LegalInn(r_, office);
      const std::string kpp = Kpp(office, "01", 1);
      const int64_t person =
          AddLegalPerson(c, inn, kpp, Ogrn(r_, r_.Between(2002, 2022), g.code), g, oktmo);
      s.kind = Filer::kOrganisation;
      s.inn = inn;
      s.leader = AddJob(person, AddNaturalPerson(g, false, nullptr), "Генеральный директор", true);
      s.accountant =
          AddJob(person, AddNaturalPerson(g, false, nullptr), "Главный бухгалтер", false);
      heads.push_back({person, inn, c.shortName, 0});
      AddStream(std::move(s), person, c.shortName, kpp, std::stoi(office), okato);
      ++stats_.legalPersons;
    }
  }
  stats_.streams = static_cast<int64_t>(streams_.size());
}

void Generator::WriteDocuments() {
  std::vector<Filer> filers;
  for (const StreamInfo& s : streams_) filers.push_back(s.kind);
  const std::vector<PlannedDoc> plan = PlanDocuments(r_, filers, periods_, o_.documents);
  layout_ = CellLayout(o_.cells);
  docs_ = std::make_unique<TableWriter>(*db_, "doc_registry");
  cells_ = std::make_unique<TableWriter>(*db_, "doc_cell_values");
  docColumns_ = std::make_unique<DocColumns>(*docs_);
  const int64_t firstId = NextId("doc_registry", "document_id");
  const int64_t firstReg = NextId("doc_registry", "reg_number");
  const auto total = static_cast<int64_t>(plan.size());
  for (int64_t begin = 0, end = 0; begin < total; begin = end) {
    // A batch ends where no adjustment chain crosses it, so that a committed
    // link never names a document of a later, perhaps never written, batch
    // (the plan puts the older versions of a chain first).
    end = std::min(total, begin + o_.batch);
    for (int64_t i = begin; i < end; ++i) end = std::max<int64_t>(end, plan[i].newer + 1);
    qv::dao::Transaction tx(*ws_);
    for (int64_t i = begin; i < end; ++i) {
      const PlannedDoc& d = plan[i];
      WriteDocument(d, firstId + i, firstReg + i, d.older >= 0 ? firstId + d.older : 0,
                    d.newer >= 0 ? firstId + d.newer : 0);
      if (progress_ && (i + 1) % kProgressEvery == 0) progress_(i + 1, total);
    }
    tx.Commit();
  }
  if (progress_) progress_(total, total);
}

void Generator::WriteDocument(const PlannedDoc& d, int64_t id, int64_t regNumber, int64_t older,
                              int64_t newer) {
  const FormDef& form = Forms()[d.form];
  const PlanPeriod& period = periods_[d.period];
  const StreamInfo& s = streams_[d.stream];
  const int version = TemplateVersionForYear(period.year);
  const int32_t templateId = TemplateId(form, version);
  const int32_t editorType = TemplateEditorType(form, version);
  const double deadline = period.end + form.deadlineDays;
  const double date = d.registryDate;
  // Documents still in work are partly checked; delivered ones are signed.
  const int32_t statusQv = d.delivered ? 3 : r_.Chance(0.5) ? 2 : 1;
  const bool signedDoc = statusQv >= 2;
  TableWriter& w = *docs_;
  const DocColumns& c = *docColumns_;
  w.Begin();
  w.Set(c.id, Num(id));
  w.Set(c.tmpl, Num(templateId));
  w.Set(c.time, Num(period.timeId));
  w.Set(c.taxpayer, Num(s.id));
  w.Set(c.registryDate, D(date));
  w.Set(c.less, Long(form.scaleIndex));
  w.Set(c.currency, Long(kCurrencyRouble));
  if (d.delivered) w.Set(c.accept, D(date));
  w.Set(c.regNumber, Num(regNumber));
  if (d.version > 0)
    w.Set(c.notes, Variant("Уточнённый, номер корректировки " + std::to_string(d.version)));
  w.Set(c.deliveryType, Long(d.delivered ? 1 : 0));
  w.Set(c.docType, Long(d.version));
  w.Set(c.top, Num(newer));
  w.Set(c.bottom, Num(older));
  w.Set(c.acceptTerm, D(deadline));
  w.Set(c.paymentTerm, D(deadline + 3));
  w.Set(c.instance, Long(d.instance));
  w.Set(c.statusQv, Long(statusQv));
  w.Set(c.deliveryNumber, Long(d.delivered ? 1 : 0));
  w.Set(c.flsSigned, Long(signedDoc ? 1 : 0));
  w.Set(c.execSigned, Long(signedDoc ? 1 : 0));
  w.Set(c.flsSigner, Num(s.leader));
  w.Set(c.slsSigner, Num(s.accountant));
  w.Set(c.execSigner, Num(s.accountant ? s.accountant : s.leader));
  if (signedDoc) w.Set(c.signDate, D(date));
  w.Set(c.konStatus, Long(d.delivered ? 3 : 0));
  w.Set(c.status, Long(1));
  w.Set(c.editorType, Long(editorType));
  w.Set(c.isChecked, Long(signedDoc ? 1 : 0));
  w.Set(c.isXsdChecked, Long(signedDoc ? 1 : 0));
  w.Set(c.isCalculated, Long(1));
  w.Set(c.registryTerm, D(deadline));
  w.End();
  ++stats_.documents;
  if (d.version > 0) ++stats_.adjustments;
  // A big document's cells go to its shard files (GenerateBigDocs.h),
  // written before its row commits.
  if (editorType == kBigDocumentEditor) {
    bigDocs_.Write(static_cast<double>(id));
    return;
  }

  const Variant docId = Num(id);
  const std::string_view title[kTitleCells] = {s.inn, PeriodCode(period.reportId), s.oktmo};
  const double magnitude = form.scaleIndex == 1 ? 5 : 7;
  for (size_t k = 0; k < layout_.size(); ++k) {
    cells_->Begin();
    cells_->Set(0, docId);
    cells_->Set(1, Variant(layout_[k]));
    if (k < kTitleCells) {
      cells_->Set(2, Variant(title[k]));
      cells_->Set(3, Variant(kCellText));
    } else {
      const int64_t amount =
          r_.Chance(0.15) ? 0 : std::llround(std::pow(10.0, r_.Unit() * magnitude));
      cells_->Set(2, Variant(std::to_string(amount)));
      cells_->Set(3, Variant(kCellNumber));
    }
    cells_->End();
    ++stats_.cells;
  }
}

}  // namespace

std::string GenerateOptionsProblem(const GenerateOptions& o) {
  if (o.streams < 1) return "--streams must be at least 1";
  if (o.documents < 0) return "--documents must not be negative";
  if (o.cells < 1 || o.cells > kMaxCells) return "--cells must be between 1 and 1000";
  if (o.lastYear < 2003 || o.lastYear > 2030) return "--last-year must be between 2003 and 2030";
  if (o.firstYear != 0 && (o.firstYear < 2003 || o.firstYear > o.lastYear))
    return "--first-year must be between 2003 and --last-year (" + std::to_string(o.lastYear) + ")";
  if (o.batch < 1) return "--batch must be at least 1 document";
  return "";
}

GenerateStats Generate(const fs::path& userDb, const GenerateOptions& o,
                       const ProgressFn& progress) {
  if (const std::string problem = GenerateOptionsProblem(o); !problem.empty())
    qv::ThrowVb(qv::vberr::kInvalidProcedureCall, problem);
  // The time covers every phase: opening the files, and closing them, which
  // moves their logs into the files.
  const auto start = std::chrono::steady_clock::now();
  // The library writes the big documents' shards beside the user database;
  // on a server the user database's location is the folder's own.
  PointLibraryAt(IsServerFolder(userDb.string()) ? userDb : userDb.parent_path());
  GenerateStats stats;
  {
    Generator g(userDb, o, progress);
    stats = g.Run();
  }
  qv::miDataBase::CloseDatabase();
  stats.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return stats;
}

}  // namespace qvdb
