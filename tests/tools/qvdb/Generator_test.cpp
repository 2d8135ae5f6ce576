#include "Generator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <stdexcept>

#include "ChainCheck.h"
#include "Check.h"
#include "Output.h"
#include "QvdbTestSupport.h"
#include "SampleData.h"
#include "doctables/miBigDocument.h"
#include "platform/automation/Error.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/Workspace.h"
#include "platform/jet/JetCatalog.h"
#include "platform/jet/JetConnection.h"

namespace qvdb {
namespace {

std::shared_ptr<qv::dao::Database> Open(const fs::path& folder) {
  return qv::dao::DBEngine::ForThread()->DefaultWorkspace()->Open(UserDatabasePath(folder).string(),
                                                                  {});
}

// Every row of every table, independent of row order: the sorted hashes of
// the rows' JSON texts, hashed per table.
std::string Digest(const fs::path& folder) {
  auto db = Open(folder);
  std::string digest;
  for (const std::string& table : db->Connection().Schema().TableNames()) {
    auto rs = db->OpenStatement("select * from [" + table + "]", qv::dao::dbOpenSnapshot);
    std::vector<size_t> rows;
    for (rs->RecordCount() ? rs->MoveFirst() : void(); !rs->IsEOF(); rs->MoveNext()) {
      std::string row;
      for (int32_t i = 0; i < rs->FieldCount(); ++i) row += ToJson(rs->FieldValue(i)) + ",";
      rows.push_back(std::hash<std::string>{}(row));
    }
    rs->Close();
    std::sort(rows.begin(), rows.end());
    size_t h = rows.size();
    for (size_t r : rows) h = h * 1000003u ^ r;
    digest += table + ":" + std::to_string(rows.size()) + ":" + std::to_string(h) + "\n";
  }
  db->Close();
  return digest;
}

double Scalar(const fs::path& folder, const std::string& sql) {
  return std::stod(test::Rows(UserDatabasePath(folder), sql));
}

GenerateOptions Small(uint64_t seed) {  // a batch of 40: several transactions
  return {.seed = seed, .streams = 12, .documents = 150, .cells = 7, .batch = 40};
}

TEST(Generator, SameSeedSameRows) {
  TempFolder tmp;
  const fs::path a = test::CopyOfPristine(tmp, "a"), b = test::CopyOfPristine(tmp, "b"),
                 c = test::CopyOfPristine(tmp, "c");
  std::vector<std::pair<int64_t, int64_t>> calls;
  const GenerateStats sa =
      Generate(UserDatabasePath(a), Small(7),
               [&](int64_t done, int64_t total) { calls.emplace_back(done, total); });
  // Progress rises up to the total.
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back(), std::make_pair(int64_t{150}, int64_t{150}));
  for (size_t i = 1; i < calls.size(); ++i) EXPECT_LE(calls[i - 1].first, calls[i].first);
  Generate(UserDatabasePath(b), Small(7));
  Generate(UserDatabasePath(c), Small(8));
  const std::string da = Digest(a);
  EXPECT_EQ(da, Digest(b));
  EXPECT_NE(da, Digest(c));
  EXPECT_THAT(da, HasSubstr("doc_registry:150:"));
  // Big documents keep their cells in shard files.
  EXPECT_GT(sa.bigDocs.documents, 0);
  EXPECT_EQ(sa.cells, (150 - sa.bigDocs.documents) * 7);
  EXPECT_THAT(da, HasSubstr("doc_cell_values:" + std::to_string(sa.cells) + ":"));
  EXPECT_EQ(sa.documents, 150);
  EXPECT_EQ(sa.streams, 12);
  EXPECT_EQ(sa.legalPersons + sa.branches + sa.entrepreneurs, 12);
}

TEST(Generator, RowsAreConsistent) {
  TempFolder tmp;
  const fs::path f = test::CopyOfPristine(tmp);
  GenerateOptions o = Small(3);
  o.streams = 30;
  o.documents = 600;
  const GenerateStats s = Generate(UserDatabasePath(f), o);
  const struct {
    const char* what;
    const char* sql;
    double expected = 0;
  } checks[] = {
      {"documents", "select count(*) from doc_registry", 600},
      {"cells per document",
       "select count(*) from (select document_id from doc_cell_values group by document_id "
       "having count(*) <> 7)"},
      {"a newer version is the next adjustment",
       "select count(*) from doc_registry as a inner join doc_registry as b on b.document_id = "
       "a.top_doc_id where b.doc_type <> a.doc_type + 1"},
      {"adjustments have an older version",
       "select count(*) from doc_registry where doc_type > 0 and bottom_next_id = 0"},
      {"adjustments counted", "select count(*) from doc_registry where doc_type > 0",
       static_cast<double>(s.adjustments)},
      {"registration numbers unique",
       "select count(*) - count(reg_number) + (select count(*) from (select reg_number from "
       "doc_registry group by reg_number having count(*) > 1)) from doc_registry"},
      {"templates published for the period",
       "select count(*) from doc_registry as d left join template_dates as t on (t.template_id = "
       "d.template_id and t.time_id = d.time_id) where IsNull(t.template_id)"},
      {"documents of existing streams",
       "select count(*) from doc_registry as d left join AccStream as s on s.ID = d.taxpayer_id "
       "where IsNull(s.ID)"},
      {"streams of existing persons",
       "select count(*) from AccStream as s left join Person as p on p.ID = s.PersonID where "
       "IsNull(p.ID)"},
      {"persons with details",
       "select count(*) from Person as p left join LegalPerson as l on l.ID = p.PersonRealID "
       "where p.Type = 2 and IsNull(l.ID)"},
      {"branches share the INN of their head",
       "select count(*) from ((Branches as b inner join Person as pp on pp.ID = b.ParentPersonID) "
       "inner join LegalPerson as lp on lp.ID = pp.PersonRealID) inner join (Person as cp inner "
       "join LegalPerson as lc on lc.ID = cp.PersonRealID) on cp.ID = b.ChildPersonID where "
       "lp.INN <> lc.INN or lp.KPP = lc.KPP"},
      {"branches counted", "select count(*) from Branches", static_cast<double>(s.branches)},
      // The lists of forms offer what the streams file: each document's
      // template is allowed for its owner's category (6: natural person),
      // stream type and place (main organisation or branch).
      {"templates allowed for their filers",
       "select count(*) from ((doc_registry as d inner join AccStream as s on s.ID = "
       "d.taxpayer_id) inner join Person as p on p.ID = s.PersonID) left join LegalPerson as l on "
       "(l.ID = p.PersonRealID and p.Type = 2) where d.template_id not in (select c.template_id "
       "from TemplateByTPCategory as c where c.AccStreamType = s.AccStreamType and "
       "c.TPCategory_ID = iif(p.Type = 1, 6, l.LPCategory) and iif(s.PersonID in (select "
       "ChildPersonID from Branches), c.AllowedForBranch, c.AllowedForMainOrg) = 1)"},
      {"categories that file no accounts",
       "select count(*) from TemplateByTPCategory where template_id in (11, 12) and TPCategory_ID "
       "in (3, 4)"},
      {"who may use each template counted", "select count(*) from TemplateByTPCategory",
       static_cast<double>(s.templateCategories)},
      // Big documents keep their cells in their shard files only.
      {"big documents counted", "select count(*) from doc_registry where EditorType = 6",
       static_cast<double>(s.bigDocs.documents)},
      {"big documents of the big template",
       "select count(*) from doc_registry as d inner join doc_templates as t on t.template_id = "
       "d.template_id where t.EditorType <> d.EditorType"},
      {"no cells of big documents in doc_cell_values",
       "select count(*) from doc_cell_values where document_id in (select document_id from "
       "doc_registry where EditorType = 6)"},
      // The pension-fund part: persons of the right taxpayers, personal
      // sections only in insurance-contribution reports and only about the
      // document's taxpayer's employees, and cells the session reads.
      {"insured persons counted", "select count(*) from PfrPersons",
       static_cast<double>(s.pfr.persons)},
      {"sections counted", "select count(*) from PfrSubDocs", static_cast<double>(s.pfr.subDocs)},
      {"section cells counted", "select count(*) from PfrCellValues",
       static_cast<double>(s.pfr.cells)},
      {"every insured person is an employee of a stream's taxpayer",
       "select count(*) from PfrPersons where Person_ID not in (select PersonID from AccStream)"},
      {"sections only in insurance-contribution reports",
       "select count(*) from (PfrSubDocs as s inner join doc_registry as d on d.document_id = "
       "s.DocumentID) inner join doc_templates as t on t.template_id = d.template_id where "
       "t.doc_type_id <> 4"},
      {"every such report has a section per employee of its taxpayer",
       "select count(*) from (doc_registry as d inner join doc_templates as t on t.template_id = "
       "d.template_id) inner join AccStream as a on a.ID = d.taxpayer_id where t.doc_type_id = 4 "
       "and (select count(*) from PfrSubDocs as s where s.DocumentID = d.document_id) <> (select "
       "count(*) from PfrPersons as p where p.Person_ID = a.PersonID)"},
      {"a section's person belongs to the document's taxpayer",
       "select count(*) from ((PfrSubDocs as s inner join PfrPersons as p on p.ID = "
       "s.PfrPersonID) inner join doc_registry as d on d.document_id = s.DocumentID) inner join "
       "AccStream as a on a.ID = d.taxpayer_id where p.Person_ID <> a.PersonID"},
      {"insurance numbers are 11 digits",
       "select count(*) from PfrPersons where len(PfrNumber) <> 11"},
      {"an adjustment number only in adjustments",
       "select count(*) from (PfrCellValues as c inner join PfrSubDocs as s on s.ID = c.SubDocID) "
       "inner join doc_registry as d on d.document_id = s.DocumentID where c.Key = 1021002 and "
       "c.Value <> CStr(d.doc_type)"},
      {"contributions are 22 % of the base",
       "select count(*) from PfrCellValues as b inner join PfrCellValues as c on c.SubDocID = "
       "b.SubDocID and c.LineNum = b.LineNum and c.Key = 1024003 where b.Key = 1024002 and "
       "abs(Val(c.Value) - Val(b.Value) * 0.22) > 0.005"},
  };
  for (const auto& c : checks) EXPECT_EQ(Scalar(f, c.sql), c.expected) << c.what;
  EXPECT_GT(s.pfr.persons, o.streams * 3 - 1);
  EXPECT_GT(s.pfr.subDocs, 0);
  EXPECT_GT(s.bigDocs.documents, 0);
  EXPECT_EQ(s.bigDocs.cells, s.bigDocs.subDocs * 7);
  std::ostringstream check;
  EXPECT_EQ(CheckDataFolder(f, check).problems, 0) << check.str();  // the chains among them
  // Every number a check digit guards is valid; a branch's OGRN and an
  // entrepreneur's OGRNIP may be empty.
  const std::vector<std::pair<const char*, bool (*)(std::string_view)>> numbers = {
      {"select INN from LegalPerson", sample::IsValidInn},
      {"select OGRN from LegalPerson where OGRN <> ''", sample::IsValidOgrn},
      {"select INN from NaturalPerson", sample::IsValidInn},
      {"select SNILS from NaturalPerson", sample::IsValidSnils},
      {"select OGRNIP from NaturalPerson where OGRNIP <> ''", sample::IsValidOgrnip}};
  for (const auto& [sql, valid] : numbers) {
    const std::string text = test::Rows(UserDatabasePath(f), sql);
    EXPECT_NE(text, "") << sql;
    std::istringstream rows(text);
    for (std::string n; std::getline(rows, n);) EXPECT_TRUE(valid(n)) << sql << ": " << n;
  }
}

TEST(Generator, SecondRunContinuesTheIdentifiers) {
  TempFolder tmp;
  const fs::path f = test::CopyOfPristine(tmp);
  GenerateOptions o = Small(1);
  Generate(UserDatabasePath(f), o);
  o.seed = 2;
  const GenerateStats second = Generate(UserDatabasePath(f), o);
  EXPECT_EQ(second.templates, 0);  // the forms were there already
  EXPECT_EQ(Scalar(f, "select count(*) from doc_registry"), 300);
  EXPECT_EQ(Scalar(f, "select max(document_id) from doc_registry"), 300);
  EXPECT_EQ(Scalar(f, "select count(*) from AccStream"), 24);
  EXPECT_EQ(Scalar(f, "select count(*) from doc_type_class"), 7);
}

// A run stopped in its second batch keeps whole chains only, so the next
// run, whose identifiers continue after the committed ones, finds no link
// to a document that was never written (or to one of its own).
TEST(Generator, AnInterruptedRunLeavesWholeChains) {
  TempFolder tmp;
  const fs::path f = test::CopyOfPristine(tmp);
  GenerateOptions o = Small(5);
  o.documents = 400;
  o.batch = 30;
  // Progress comes every 50 documents: the first call after a commit stops
  // the run in a batch after the first.
  double kept = 0;
  auto stop = [&](int64_t, int64_t) {
    kept = Scalar(f, "select count(*) from doc_registry");
    if (kept > 0) throw std::runtime_error("stopped");
  };
  // Every committed big document has its shard files: they are written
  // before its row commits (a stop may leave files without a row).
  auto bigDocsWithoutFiles = [&] {
    std::istringstream ids(test::Rows(UserDatabasePath(f),
                                      "select document_id from doc_registry where EditorType = 6"));
    int found = 0, missing = 0;
    for (std::string id; std::getline(ids, id); ++found)
      missing += !fs::exists(f / qv::miBigDocument::BigDocRelativeFileName(std::stod(id), 0));
    EXPECT_GT(found, 0);
    return missing;
  };
  EXPECT_THROW(Generate(UserDatabasePath(f), o, stop), std::runtime_error);
  EXPECT_GE(kept, o.batch);
  EXPECT_EQ(Scalar(f, "select count(*) from doc_registry"), kept);  // the second rolled back
  EXPECT_EQ(bigDocsWithoutFiles(), 0);
  o.seed = 6;
  Generate(UserDatabasePath(f), o);
  EXPECT_EQ(Scalar(f, "select count(*) from doc_registry"), kept + 400);
  EXPECT_EQ(bigDocsWithoutFiles(), 0);
  auto db = Open(f);
  EXPECT_EQ(ChainProblems(*db), std::vector<std::string>{});
  db->Close();
}

TEST(Generator, RejectsBadOptionsWritingNothing) {
  TempFolder tmp;
  const fs::path f = test::CopyOfPristine(tmp);
  const std::function<void(GenerateOptions&)> bad[] = {
      [](GenerateOptions& o) { o.streams = 0; },
      [](GenerateOptions& o) { o.documents = -1; },
      [](GenerateOptions& o) { o.cells = 0; },
      [](GenerateOptions& o) { o.cells = 1001; },
      [](GenerateOptions& o) { o.lastYear = 2031; },
      [](GenerateOptions& o) { o.firstYear = 2026; },
      [](GenerateOptions& o) { o.firstYear = 2002; },
      [](GenerateOptions& o) { o.batch = 0; },
  };
  for (size_t i = 0; i < std::size(bad); ++i) {
    SCOPED_TRACE(i);
    GenerateOptions o = Small(1);
    bad[i](o);
    ExpectError(5, "", [&] { Generate(UserDatabasePath(f), o); });
  }
  EXPECT_EQ(Scalar(f, "select count(*) from Person"), 0);
  ExpectError(3024, "", [&] { Generate(tmp / "missing.mdb", Small(1)); });
}

}  // namespace
}  // namespace qvdb
