#include "GenerateBigDocs.h"

#include <filesystem>
#include <string>
#include <vector>

#include "SampleData.h"
#include "SampleForms.h"
#include "core/mQvDaoDataBase.h"
#include "core/miDataBase.h"
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

BigDocWriter::BigDocWriter(uint64_t seed) : r_(seed * 0x9E3779B97F4A7C15ull + 0x42494744ull) {}

void BigDocWriter::Write(double id) {
  qv::miBigDocument::ReplaceBigDocDataBase(id, 0);
  auto table = qv::doctables::DBBigDocs().GetBigDocTable(id);
  // The workspace the library opens the shards in: its transaction spans them.
  auto ws = qv::miDataBase::GetWorkspace();
  {
    qv::dao::Transaction tx(*ws);
    const double volume = table->FindOrCreateVolume(kVolumeType, kVolumeNumber);
    const int32_t statements = r_.Between(3, 8);
    for (int32_t n = 1; n <= statements; ++n) WriteStatement(*table, r_, volume, n, counts_);
    tx.Commit();
  }
  table->CloseDoc();
  ++counts_.documents;
}

}  // namespace qvdb
