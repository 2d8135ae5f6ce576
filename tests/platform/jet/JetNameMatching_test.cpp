// Names and keywords are matched without case: letters of either case are
// equal, every other byte only to itself.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/jet/JetTranslator.h"

namespace qv::jet {
namespace {

// One table whose columns differ only in bytes that are one case bit apart
// without being letters ('@' and '`', '[' and '{'), and a Cyrillic one.
class PairsSchema : public SchemaView {
 public:
  const std::vector<ColumnInfo>* TableColumns(std::string_view table) const override {
    if (table == "p") return &pairs_;
    if (table == "Кадры") return &staff_;
    return nullptr;
  }

 private:
  std::vector<ColumnInfo> pairs_{{"id", JetType::kLong},
                                 {"a@", JetType::kLong},
                                 {"a`", JetType::kText, 10},
                                 {"x[", JetType::kLong},
                                 {"x{", JetType::kText, 20}};
  std::vector<ColumnInfo> staff_{{"Фамилия", JetType::kText, 60}};
};

struct NameCase {
  const char* jet;
  const char* sql;  // a piece of the translation naming the column matched
};

TEST(JetNameMatching, LettersMatchInEitherCaseOtherBytesOnlyThemselves) {
  const NameCase cases[] = {
      {"select [A@] from p", "\"p\".\"a@\" AS \"A@\""},
      {"select [A`] from p", "\"p\".\"a`\" AS \"A`\""},
      {"select [X[] from p", "\"p\".\"x[\" AS \"X[\""},
      {"select [X{] from p", "\"p\".\"x{\" AS \"X{\""},
      {"select p.[a`] from p where p.[a@] = 1", "WHERE (\"p\".\"a@\" = 1)"},
      {"SeLeCt ID fRoM p wHeRe iD BeTwEeN 1 aNd 2 OrDeR bY Id",
       "WHERE (\"p\".\"id\" BETWEEN 1 AND 2) ORDER BY \"p\".\"id\""},
      {"select ФАМИЛИЯ from Кадры", "\"Кадры\".\"Фамилия\" AS \"ФАМИЛИЯ\""},
  };
  const PairsSchema schema;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.jet);
    const std::string sql = TranslateJet(c.jet, schema).sql;
    EXPECT_NE(sql.find(c.sql), std::string::npos) << sql;
  }
}

}  // namespace
}  // namespace qv::jet
