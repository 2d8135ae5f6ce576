// The reference pages under docs/reference are what `qvdb reference` writes
// from the registrations: a page that no longer matches its class fails here
// (regenerate with `qvdb reference docs/reference`). And the member list
// `classes --members` and the completion read: each name once, none empty.

#include "Reference.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "QvdbTestSupport.h"
#include "platform/automation/Object.h"
#include "platform/automation/VbaText.h"

namespace qvdb {
namespace {

TEST(Reference, CheckedInPagesMatchTheRegistrations) {
  const char* root = std::getenv("QV_SOURCE_DIR");
  ASSERT_NE(root, nullptr) << "QV_SOURCE_DIR names the source tree (ctest sets it)";
  const fs::path checkedIn = fs::path(root) / "docs" / "reference";
  test::TempFolder tmp;
  const fs::path fresh = tmp / "reference";
  const int pages = WriteReference(fresh);
  EXPECT_GT(pages, 50);
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(fresh)) names.insert(e.path().filename().string());
  for (const auto& e : fs::directory_iterator(checkedIn))
    names.insert(e.path().filename().string());
  std::vector<std::string> stale;
  for (const std::string& n : names)
    // The test programs register classes of their own (QvdbTest.*), which
    // the index and their pages name; the library's pages are compared.
    if (n.starts_with("QvdbTest") || n == "README.md")
      continue;
    else if (!fs::exists(fresh / n) || !fs::exists(checkedIn / n) ||
             qv::testsupport::ReadFileText(fresh / n) !=
                 qv::testsupport::ReadFileText(checkedIn / n))
      stale.push_back(n);
  EXPECT_TRUE(stale.empty()) << stale.size() << " stale pages, first " << stale.front()
                             << ": run `qvdb reference docs/reference`";
}

TEST(Reference, MemberLinesNameEachMemberOnceWithItsSignature) {
  std::set<std::string> progIds;
  for (const qv::ClassInfo* info : CallableClasses()) {
    EXPECT_TRUE(progIds.insert(qv::AsciiLower(info->ProgId())).second) << info->ProgId();
    std::set<std::string> seen;
    for (const std::string& line : MemberLines(*info)) {
      const std::string target = line.substr(0, line.find('\t'));
      EXPECT_NE(target.back(), '.') << line;
      EXPECT_TRUE(seen.insert(qv::AsciiLower(target)).second) << "twice: " << line;
    }
  }
  const struct {
    const char* progId;
    const char* line;
  } expected[] = {
      // A record type's own operation, declared beside it.
      {"Qv_Records.QvDocument",
       "Qv_Records.QvDocument.SaveFields\tSub SaveFields(aFields As Long, Optional aPerformNotify "
       "As Boolean = False)"},
      {"Qv_DBProvider.DBQConsStream",
       "DBQConsStream.SaveMembersList\tSub SaveMembersList(aConsStreamID As Double, aMembersIDs "
       "As String)"},
      {"Qv_DBProvider.DBQConsStream",
       "DBQConsStream.GetMembersListOfConsStream\tFunction "
       "GetMembersListOfConsStream(aConsStreamID As Double) As ADODB.Recordset"},
  };
  for (const auto& e : expected) {
    const qv::ClassInfo* info = qv::ProgIdRegistry::Find(e.progId);
    ASSERT_TRUE(info) << e.progId;
    const auto lines = MemberLines(*info);
    EXPECT_NE(std::find(lines.begin(), lines.end(), e.line), lines.end()) << e.line;
  }
}

// What help prints for the names call takes: a record's properties, a
// criterion of a search, a record's lazy group's operation.
TEST(Reference, HelpNamesWhatCallTakes) {
  const struct {
    const char* target;
    const char* shows;  // a part of the output
  } cases[] = {
      {"Qv_Records.QvPerson.inn",
       "Qv_Records.QvPerson.INN\n  Property INN As String\n  an argument sets it as "
       "@Qv_Records.QvPerson{INN=value}\n"},
      {"Qv_Records.QvPerson", "\n  Property Surname As String\n"},
      {"Qv_Records.QvDocQuery.DocNum1",
       "Qv_Records.QvDocQuery.DocNum1\n  Property DocNum1 As Double\n"},
      {"Qv_Records.QvPerson.BeginLazyLoad", "\n  Sub BeginLazyLoad()\n"},
  };
  for (const auto& c : cases) {
    std::ostringstream out;
    try {
      PrintHelp(c.target, out);
    } catch (const qv::Error& e) {
      out << e.Description();
    }
    EXPECT_THAT(out.str(), HasSubstr(c.shows)) << c.target;
  }
}

TEST(Reference, ANameThatIsNotThereGetsTheNearestOne) {
  const struct {
    const char* typed;
    const char* meant;
  } cases[] = {
      {"DictQueries.GetCountri", "DictQueries.GetCountry"},       // a letter changed
      {"dictqueri.getcountry", "DictQueries.GetCountry"},         // two left out, case ignored
      {"DictQueris", "DictQueries"},                              // a class
      {"DictQuery", "DictQueries"},                               // its ending
      {"PeriodQueries.GetCountry", "DictQueries.GetCountry"},     // the operation's own class
      {"DBDocumen.IsRecordExists", "DBDocument.IsRecordExists"},  // a slip in the class
      {"DictQueries.GetCountryOfTheWorld", ""},                   // too far from anything
      {"NoSuch.Operation", ""},
      // There (case ignored): the error was an argument's (@NoSuch.Class).
      {"dictqueries.getcountry", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(SuggestCallName(c.typed), c.meant) << c.typed;
}

}  // namespace
}  // namespace qvdb
