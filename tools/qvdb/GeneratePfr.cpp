#include "GeneratePfr.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "SampleData.h"
#include "SampleForms.h"
#include "SampleReference.h"
#include "TableWriter.h"
#include "core/mQvPfrUtils.h"
#include "platform/automation/VbaDate.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/Transaction.h"

namespace qvdb {

namespace {

using qv::Variant;
using namespace sample;

constexpr int kReportsPerTransaction = 200;
// The cell kinds of the session: Long and Money.
constexpr int32_t kLongCell = 2, kMoneyCell = 4;
constexpr double kContributionRate = 0.22;
// The insurance-contribution report among the sample forms.
constexpr std::string_view kContributionsKnd = "1151111";

int32_t ContributionsForm() {
  for (const FormDef& f : Forms())
    if (f.knd == kContributionsKnd) return f.docTypeId;
  return 0;
}

struct Employee {
  int64_t id;
  int32_t salaryLevel;  // roubles a month, before the monthly spread
};

class PfrGenerator {
 public:
  PfrGenerator(qv::dao::Workspace& ws, qv::dao::Database& db, uint64_t seed)
      : ws_(ws), db_(db), r_(seed * 0x9E3779B97F4A7C15ull + 0x50465231ull) {}

  PfrCounts Run(int64_t firstStream) {
    persons_ = std::make_unique<TableWriter>(db_, "PfrPersons");
    subDocs_ = std::make_unique<TableWriter>(db_, "PfrSubDocs");
    cells_ = std::make_unique<TableWriter>(db_, "PfrCellValues");
    nextPerson_ = static_cast<int64_t>(TableWriter::MaxOf(db_, "PfrPersons", "ID")) + 1;
    nextSubDoc_ = static_cast<int64_t>(TableWriter::MaxOf(db_, "PfrSubDocs", "ID")) + 1;
    nextCell_ = static_cast<int64_t>(TableWriter::MaxOf(db_, "PfrCellValues", "ID")) + 1;
    {
      qv::dao::Transaction tx(ws_);
      MakeEmployees(firstStream);
      tx.Commit();
    }
    WriteSections(firstStream);
    return counts_;
  }

 private:
  void MakeEmployees(int64_t firstStream) {
    auto rs = db_.OpenStatement("select ID, PersonID, TaxOfficeID from AccStream where ID >= " +
                                    std::to_string(firstStream) + " order by ID",
                                qv::dao::dbOpenSnapshot);
    for (; !rs->IsEOF(); rs->MoveNext()) {
      char office[8];
      std::snprintf(office, sizeof office, "%04d", qv::CLng(rs->FieldValue(2)) % 10000);
      std::vector<Employee>& staff = staff_[qv::CLng(rs->FieldValue(0))];
      const int n = r_.Between(3, 8);
      for (int k = 1; k <= n; ++k)
        staff.push_back(
            {AddPerson(qv::CDbl(rs->FieldValue(1)), k, office), r_.Between(25, 180) * 1000});
    }
    rs->Close();
  }

  int64_t AddPerson(double taxpayer, int tabNumber, const std::string& office) {
    const PersonName n = RandomPersonName(r_);
    const int64_t id = nextPerson_++;
    TableWriter& w = *persons_;
    w.Begin();
    w.Set("ID", Variant(static_cast<double>(id)));
    w.Set("Person_ID", Variant(taxpayer));
    w.Set("Surname", Variant(n.surname));
    w.Set("Name", Variant(n.name));
    w.Set("Patronymic", Variant(n.patronymic));
    w.Set("TabNumber", Variant(std::to_string(tabNumber)));
    w.Set("PfrNumber", Variant(qv::mQvPfrUtils::PackPfrNumber(Snils(r_))));
    w.Set("Inn", Variant(NaturalInn(r_, office)));
    w.Set("BirthDate",
          Variant(qv::DateSerial(r_.Between(1960, 2004), r_.Between(1, 12), r_.Between(1, 28))));
    w.Set("Gender", Variant(n.sex));
    w.Set("CitizenID", Variant(static_cast<double>(kRussia)));
    w.End();
    ++counts_.persons;
    return id;
  }

  void WriteSections(int64_t firstStream) {
    // The insurance-contribution reports of the streams, with the months of
    // their quarter.
    auto rs = db_.OpenStatement(
        "select d.document_id, d.taxpayer_id, d.doc_type, m.report_id "
        "from (doc_registry as d inner join doc_templates as t on t.template_id = d.template_id) "
        "inner join time_by_month as m on m.time_id = d.time_id "
        "where t.doc_type_id = " +

            std::to_string(ContributionsForm()) +
            " and d.taxpayer_id >= " + std::to_string(firstStream) + " order by d.document_id",
        qv::dao::dbOpenSnapshot);
    struct Report {
      double id;
      int32_t stream, adjustment, reportId;
    };
    std::vector<Report> reports;
    for (; !rs->IsEOF(); rs->MoveNext())
      reports.push_back({qv::CDbl(rs->FieldValue(0)), qv::CLng(rs->FieldValue(1)),
                         qv::CLng(rs->FieldValue(2)), qv::CLng(rs->FieldValue(3))});
    rs->Close();
    for (size_t begin = 0; begin < reports.size(); begin += kReportsPerTransaction) {
      qv::dao::Transaction tx(ws_);
      for (size_t i = begin; i < reports.size() && i < begin + kReportsPerTransaction; ++i) {
        const Report& d = reports[i];
        // A quarter's months; a yearly period's last quarter.
        const int32_t firstMonth =
            d.reportId >= 13 && d.reportId <= 16 ? (d.reportId - 13) * 3 + 1 : 10;
        int32_t sheet = 0;
        for (const Employee& e : staff_[d.stream])
          WriteSection(d.id, e, ++sheet, d.adjustment, firstMonth);
      }
      tx.Commit();
    }
  }

  void WriteSection(double document, const Employee& e, int32_t sheet, int32_t adjustment,
                    int32_t firstMonth) {
    const int64_t id = nextSubDoc_++;
    TableWriter& w = *subDocs_;
    w.Begin();
    w.Set("ID", Variant(static_cast<double>(id)));
    w.Set("DocumentID", Variant(document));
    w.Set("PfrPersonID", Variant(static_cast<double>(e.id)));
    w.Set("SubDocType", Variant(kPersonalSection));
    w.Set("EndPersonNumber", Variant(sheet));
    w.End();
    ++counts_.subDocs;
    Cell(id, kSheetNumberKey, 0, 0, kLongCell, std::to_string(sheet));
    if (adjustment > 0) Cell(id, kCorrectionNumberKey, 0, 0, kLongCell, std::to_string(adjustment));
    Cell(id, kMonthLinesKey, 0, 0, kLongCell, "3");
    for (int32_t line = 1; line <= 3; ++line) {
      const double base = e.salaryLevel + r_.Between(0, 40) * 500;
      const double contribution = std::round(base * kContributionRate * 100) / 100;
      Cell(id, kMonthKey, line, 1, kLongCell, std::to_string(firstMonth + line - 1));
      Cell(id, kBaseKey, line, 1, kMoneyCell, qv::CStr(Variant(base)));
      Cell(id, kContributionKey, line, 1, kMoneyCell, qv::CStr(Variant(contribution)));
    }
  }

  void Cell(int64_t subDoc, int32_t key, int32_t line, int32_t table, int32_t type,
            const std::string& value) {
    TableWriter& w = *cells_;
    w.Begin();
    w.Set("ID", Variant(static_cast<double>(nextCell_++)));
    w.Set("SubDocID", Variant(static_cast<double>(subDoc)));
    w.Set("Key", Variant(key));
    w.Set("LineNum", Variant(line));
    w.Set("TableNum", Variant(table));
    w.Set("ValueType", Variant(type));
    w.Set("Value", Variant(value));
    w.End();
    ++counts_.cells;
  }

  qv::dao::Workspace& ws_;
  qv::dao::Database& db_;
  Random r_;
  PfrCounts counts_;
  std::map<int32_t, std::vector<Employee>> staff_;  // by stream
  std::unique_ptr<TableWriter> persons_, subDocs_, cells_;
  int64_t nextPerson_ = 0, nextSubDoc_ = 0, nextCell_ = 0;
};

}  // namespace

PfrCounts GeneratePfr(qv::dao::Workspace& ws, qv::dao::Database& db, uint64_t seed,
                      int64_t firstStream) {
  return PfrGenerator(ws, db, seed).Run(firstStream);
}

}  // namespace qvdb
