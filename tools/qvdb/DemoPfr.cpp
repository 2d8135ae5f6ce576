#include "DemoPfr.h"

#include <ostream>
#include <string>
#include <vector>

#include "DemoSteps.h"
#include "GeneratePfr.h"
#include "Output.h"
#include "pfr/IntPfrCellValuesTable.h"
#include "platform/ado/Recordset.h"
#include "platform/automation/Collection.h"
#include "platform/automation/Error.h"
#include "platform/automation/Object.h"

namespace qvdb {

namespace {

using qv::CreateObject;
using qv::ObjectPtr;
using qv::Variant;

constexpr int32_t kSectionsShown = 4;

// The first column of every row of a statement, through the caller's
// connection.
std::vector<double> Column(const std::string& sql) {
  ObjectPtr connection =
      CreateObject("Qv_DBProvider.DBCommon")->CallV("GetDBConnection").AsObject();
  auto rs =
      std::dynamic_pointer_cast<qv::ado::Recordset>(connection->CallV("Execute", sql).AsObject());
  std::vector<double> values;
  for (size_t row = 0; row < rs->RowCount(); ++row) values.push_back(qv::CDbl(rs->Value(row, 0)));
  return values;
}

class PfrWalk : public DemoSteps {
 public:
  explicit PfrWalk(std::ostream& out) : DemoSteps(out) {}

  void Run() {
    Heading("An insurance-contribution report with its personal sections (DBPfrSubDoc)");
    Step([&] { ReadReport(); });
    if (sections_.empty()) return;
    Heading("Cells of section " + qv::CStr(Variant(sections_[0])) +
            " through the cell-storage session");
    Step([&] { ReadCells(); });
    Heading("A cell set through the session and read by DBPfrSubDoc.ReadOneCell");
    Step([&] { ChangeCell(); });
    Heading("The section's person with the lazy part (DBPfrPerson.ReadLazyFields)");
    Step([&] { ReadPerson(); });
  }

 private:
  void ReadReport() {
    const std::vector<double> latest =
        Column("select top 1 DocumentID from PfrSubDocs order by DocumentID desc");
    if (latest.empty()) {
      out_ << "(no personal sections: this data folder was generated without them)\n";
      return;
    }
    const double document = latest[0];
    ObjectPtr doc = CreateObject("Qv_Records.QvDocument");
    CreateObject("Qv_DBProvider.DBDocument")->CallV("ReadRecord", document, doc);
    out_ << "DBDocument.ReadRecord(" << qv::CStr(Variant(document))
         << "): " << qv::CStr(doc->Get("Template").AsObject()->Get("Name")) << ", "
         << qv::CStr(doc->Get("Taxpayer").AsObject()->Get("DisplayName")) << ", adjustment "
         << qv::CStr(doc->Get("Doc_Type")) << "\n";
    sections_ =
        Column("select ID from PfrSubDocs where DocumentID = " + qv::CStr(Variant(document)) +
               " order by ID");
    out_ << sections_.size() << " personal sections";
    out_ << (static_cast<int32_t>(sections_.size()) > kSectionsShown
                 ? ", the first " + std::to_string(kSectionsShown) + ":\n"
                 : ":\n");
    ObjectPtr mapper = CreateObject("Qv_DBProvider.DBPfrSubDoc");
    for (size_t i = 0; i < sections_.size() && i < kSectionsShown; ++i) {
      ObjectPtr section = CreateObject("Qv_PfrRecords.QvPfrSubDoc");
      mapper->CallV("ReadRecord", sections_[i], section);
      ObjectPtr person = section->Get("PfrPerson").AsObject();  // reads itself on first use
      const auto* cells = dynamic_cast<qv::Collection*>(section->Get("Cells").AsObject().get());
      out_ << "  section " << qv::CStr(Variant(sections_[i])) << ", sheet "
           << qv::CStr(section->Get("EndPersonNumber")) << ": " << qv::CStr(person->Get("Surname"))
           << " " << qv::CStr(person->Get("Name")) << " " << qv::CStr(person->Get("Patronymic"))
           << ", SNILS " << qv::CStr(person->Get("PfrNumber")) << ", " << cells->Count()
           << " cells\n";
    }
    person_ = qv::CDbl(Column("select PfrPersonID from PfrSubDocs where ID = " +
                              qv::CStr(Variant(sections_[0])))[0]);
  }

  void ReadCells() {
    auto session = qv::pfr::IntPfrCellValuesTable::OpenSession();
    session->SetSubDocID(sections_[0]);
    out_ << "GetLong(sheet number) = " << session->GetLong(kSheetNumberKey, 0, 0)
         << ", GetLong(lines) = " << session->GetLong(kMonthLinesKey, 0, 0) << "\n";
    for (int32_t line = 1; line <= session->GetLong(kMonthLinesKey, 0, 0); ++line)
      out_ << "  line " << line << ": month " << session->GetLong(kMonthKey, line, 1) << ", base "
           << qv::CStr(Variant(session->GetMoney(kBaseKey, line, 1))) << ", contributions "
           << qv::CStr(Variant(session->GetMoney(kContributionKey, line, 1))) << "\n";
    out_ << "GetDate of a cell that holds none: \""
         << qv::CStr(session->GetDate(kContributionKey + 100, 0, 0)) << "\" (Empty)\n";
  }

  void ChangeCell() {
    auto session = qv::pfr::IntPfrCellValuesTable::OpenSession();
    session->SetSubDocID(sections_[0]);
    const double before = session->GetMoney(kContributionKey, 1, 1);
    session->SetMoney(kContributionKey, before + 100.5, 1, 1);
    ObjectPtr mapper = CreateObject("Qv_DBProvider.DBPfrSubDoc");
    auto read = [&] {
      ObjectPtr cell =
          mapper->CallV("ReadOneCell", sections_[0], kContributionKey, int32_t{1}, int32_t{1})
              .AsObject();
      return qv::CStr(cell->Get("Value")) + " (ValueType " + qv::CStr(cell->Get("ValueType")) + ")";
    };
    out_ << "SetMoney(contributions, line 1, " << qv::CStr(Variant(before + 100.5))
         << "), then ReadOneCell: " << read() << "\n";
    session->SetMoney(kContributionKey, before, 1, 1);
    out_ << "put back: " << read() << "\n";
  }

  void ReadPerson() {
    ObjectPtr person = CreateObject("Qv_PfrRecords.QvPfrPerson");
    ObjectPtr mapper = CreateObject("Qv_DBProvider.DBPfrPerson");
    mapper->CallV("ReadRecord", person_, person);
    mapper->CallV("ReadLazyFields", person);
    for (const char* p : {"Surname", "TabNumber", "PfrNumber", "Inn", "BirthDate", "Gender"})
      out_ << "  " << p << " = " << ValueText(person->Get(p)) << "\n";
    out_ << "  Person (the taxpayer) = " << qv::CStr(person->Get("Person").AsObject()->Get("ID"))
         << "; HasReferences = " << qv::CStr(mapper->CallV("HasReferences", person_)) << "\n";
  }

  std::vector<double> sections_;
  double person_ = 0;
};

}  // namespace

void WalkPfr(std::ostream& out) {
  PfrWalk walk(out);
  walk.Run();
  walk.Finish("pension-fund");
}

}  // namespace qvdb
