// The pension-fund part of `qvdb generate`: persons of the right taxpayers,
// personal sections only in insurance-contribution reports and only about
// the document's taxpayer's employees, and cells the session reads.

#include <gtest/gtest.h>

#include "Generator.h"
#include "QvdbTestSupport.h"

namespace qvdb {
namespace {

TEST(GeneratePfr, SectionsBelongToTheirReportsAndTaxpayers) {
  TempFolder tmp;
  const fs::path folder = test::CopyOfPristine(tmp);
  const GenerateStats s =
      Generate(UserDatabasePath(folder), {.seed = 5, .streams = 15, .documents = 300, .cells = 5});
  ASSERT_GT(s.pfr.persons, 15 * 3 - 1);
  ASSERT_GT(s.pfr.subDocs, 0);

  const struct {
    const char* what;
    const char* sql;
    double expected;
  } checks[] = {
      {"persons counted", "select count(*) from PfrPersons", static_cast<double>(s.pfr.persons)},
      {"sections counted", "select count(*) from PfrSubDocs", static_cast<double>(s.pfr.subDocs)},
      {"cells counted", "select count(*) from PfrCellValues", static_cast<double>(s.pfr.cells)},
      {"every person is an employee of a stream's taxpayer",
       "select count(*) from PfrPersons where Person_ID not in (select PersonID from AccStream)",
       0},
      {"sections only in insurance-contribution reports",
       "select count(*) from (PfrSubDocs as s inner join doc_registry as d on d.document_id = "
       "s.DocumentID) inner join doc_templates as t on t.template_id = d.template_id where "
       "t.doc_type_id <> 4",
       0},
      {"every such report has a section per employee of its taxpayer",
       "select count(*) from (doc_registry as d inner join doc_templates as t on t.template_id = "
       "d.template_id) inner join AccStream as a on a.ID = d.taxpayer_id where t.doc_type_id = 4 "
       "and (select count(*) from PfrSubDocs as s where s.DocumentID = d.document_id) <> (select "
       "count(*) from PfrPersons as p where p.Person_ID = a.PersonID)",
       0},
      {"a section's person belongs to the document's taxpayer",
       "select count(*) from ((PfrSubDocs as s inner join PfrPersons as p on p.ID = "
       "s.PfrPersonID) inner join doc_registry as d on d.document_id = s.DocumentID) inner join "
       "AccStream as a on a.ID = d.taxpayer_id where p.Person_ID <> a.PersonID",
       0},
      {"insurance numbers are 11 digits",
       "select count(*) from PfrPersons where len(PfrNumber) <> 11", 0},
      {"an adjustment number only in adjustments",
       "select count(*) from (PfrCellValues as c inner join PfrSubDocs as s on s.ID = c.SubDocID) "
       "inner join doc_registry as d on d.document_id = s.DocumentID where c.Key = 1021002 and "
       "c.Value <> CStr(d.doc_type)",
       0},
      {"contributions are 22 % of the base",
       "select count(*) from PfrCellValues as b inner join PfrCellValues as c on c.SubDocID = "
       "b.SubDocID and c.LineNum = b.LineNum and c.Key = 1024003 where b.Key = 1024002 and "
       "abs(Val(c.Value) - Val(b.Value) * 0.22) > 0.005",
       0},
  };
  for (const auto& c : checks)
    EXPECT_EQ(std::stod(test::Rows(UserDatabasePath(folder), c.sql)), c.expected) << c.what;
}

}  // namespace
}  // namespace qvdb
