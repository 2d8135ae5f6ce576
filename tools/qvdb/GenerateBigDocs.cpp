#include "GenerateBigDocs.h"

#include <filesystem>
#include <string>
#include <vector>

#include "SampleData.h"
#include "SampleForms.h"
#include "core/mQvDaoDataBase.h"
#include "doctables/DBBigDocTable.h"
#include "doctables/DBBigDocs.h"
#include "doctables/miBigDocument.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/Transaction.h"
#include "platform/dao/Workspace.h"

namespace qvdb {

namespace {

using qv::Variant;
using qv::doctables::DBBigDocTable;

constexpr int32_t kVolumeType = 1, kVolumeNumber = 1;
constexpr int32_t kMonths = 3;

std::vector<double> BigDocumentsWithoutShards() {
  auto rs = qv::mQvDaoDataBase::QvQuerySql(
      "select document_id from doc_registry where EditorType = " +
      qv::mQvDaoDataBase::Number2DaoSql(sample::kBigDocumentEditor) + " order by document_id");
  std::vector<double> ids;
  std::error_code ec;
  for (; !rs->IsEOF(); rs->MoveNext()) {
    const double id = qv::CDbl(rs->FieldValue(0));
    if (!std::filesystem::exists(qv::miBigDocument::GetBigDocFileName(id, 0), ec))
      ids.push_back(id);
  }
  rs->Close();
  return ids;
}

void WriteStatement(DBBigDocTable& t, sample::Random& r, double volume, int32_t number,
                    BigDocCounts& counts) {
  const double sub = t.CreateSubDoc(kStatementSubDoc, 0, volume, number);
  int64_t income = 0;
  for (int32_t line = 1; line <= kMonths; ++line) {
    const int64_t month = r.Between(25, 180) * 1000;
    income += month;
    t.SetMoney(sub, kMonthlyIncomeKey, Variant(static_cast<double>(month)), line, 0);
  }
  t.SetLong(sub, kStatementNumberKey, Variant(number), 0, 0);
  t.SetString(sub, kIncomeCodeKey, Variant(std::string("2000")), 0, 0);
  t.SetMoney(sub, kIncomeKey, Variant(static_cast<double>(income)), 0, 0);
  t.SetMoney(sub, kTaxKey, Variant(static_cast<double>(income * 13 / 100)), 0, 0);
  ++counts.subDocs;
  counts.cells += kMonths + 4;
}

}  // namespace

BigDocCounts GenerateBigDocs(uint64_t seed) {
  BigDocCounts counts;
  sample::Random r(seed * 0x9E3779B97F4A7C15ull + 0x42494744ull);
  auto ws = qv::dao::DBEngine::ForThread()->DefaultWorkspace();
  for (const double id : BigDocumentsWithoutShards()) {
    auto table = qv::doctables::DBBigDocs().GetBigDocTable(id);
    {
      qv::dao::Transaction tx(*ws);
      const double volume = table->FindOrCreateVolume(kVolumeType, kVolumeNumber);
      const int32_t statements = r.Between(3, 8);
      for (int32_t n = 1; n <= statements; ++n) WriteStatement(*table, r, volume, n, counts);
      tx.Commit();
    }
    table->CloseDoc();
    ++counts.documents;
  }
  return counts;
}

}  // namespace qvdb
