// libFuzzer target: any input either translates or raises qv::Error. Any
// other exception, a crash, a hang or a sanitizer report is a defect.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/automation/Error.h"
#include "platform/automation/VbaText.h"
#include "platform/jet/JetTranslator.h"

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
  try {
    qv::jet::TranslateJet(std::string_view(reinterpret_cast<const char*>(data), size), schema);
  } catch (const qv::Error&) {
  }
  return 0;
}
