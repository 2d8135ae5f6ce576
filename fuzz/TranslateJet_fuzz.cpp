// libFuzzer target: any input either translates or raises qv::Error, for
// each dialect (SQLite's, PostgreSQL's) and both ways a connection asks
// (the text as it stands; its literals as parameters, as the statement
// caches translate). Any other exception, a crash, a hang or a sanitizer
// report is a defect.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/automation/Error.h"
#include "platform/automation/VbaText.h"
#include "platform/jet/JetTranslator.h"
#include "platform/jet/sql/JetLiterals.h"

namespace {

class FuzzSchema : public qv::jet::SchemaView {
 public:
  const std::vector<qv::jet::ColumnInfo>* TableColumns(std::string_view table) const override {
    using qv::jet::JetType;
    static const std::vector<qv::jet::ColumnInfo> t = {
        {"id", JetType::kLong},   {"name", JetType::kText, 50}, {"v", JetType::kDouble},
        {"d", JetType::kDate},    {"b", JetType::kBoolean},     {"c", JetType::kCurrency},
        {"memo", JetType::kMemo}, {"g", JetType::kGUID}};
    static const std::vector<qv::jet::ColumnInfo> u = {
        {"id", JetType::kLong}, {"tid", JetType::kLong}, {"name", JetType::kText, 30}};
    if (qv::NamesEqual(table, "t")) return &t;
    if (qv::NamesEqual(table, "u")) return &u;
    return nullptr;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const FuzzSchema schema;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  qv::jet::sql::LiteralScan scan;
  qv::jet::sql::ScanLiterals(text, scan);
  std::vector<size_t> positions;
  for (const qv::jet::sql::Literal& lit : scan.literals) positions.push_back(lit.pos);
  std::vector<qv::jet::LiteralUse> uses;
  for (const auto dialect : {qv::jet::SqlDialect::kSqlite, qv::jet::SqlDialect::kPostgres}) {
    try {
      qv::jet::TranslateJet(text, schema, dialect);
    } catch (const qv::Error&) {
    }
    try {
      qv::jet::TranslateJetParameterized(text, schema, positions, uses, dialect);
    } catch (const qv::Error&) {
    }
  }
  return 0;
}
