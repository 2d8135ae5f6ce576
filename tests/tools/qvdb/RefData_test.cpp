// `qvdb refdata load`, and the reference data of `init` and `check`: a newer
// edition over a folder reports each change, a fault leaves the folder (or
// no folder) behind as it was, and check tells an outdated folder.

#include "RefData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <sstream>

#include "Check.h"
#include "QvdbTestSupport.h"

namespace qvdb {
namespace {

// A copy of the library's edition with `edits` applied to it: file name,
// text to find, text to put instead ("" as the find appends the text).
fs::path EditedEdition(const TempFolder& tmp, const std::string& edition,
                       const std::vector<std::array<std::string, 3>>& edits) {
  const fs::path dir = tmp / ("edition-" + edition);
  fs::copy(qv::schema::ShippedRefDataDirectory(), dir, fs::copy_options::recursive);
  std::ofstream(dir / "EDITION") << edition << "\n";
  for (const auto& [file, find, replace] : edits) {
    std::string text = test::ReadFileText(dir / file);
    if (find.empty()) {
      text += replace;
    } else {
      const size_t at = text.find(find);
      EXPECT_NE(at, std::string::npos) << file << ": " << find;
      text.replace(at, find.size(), replace);
    }
    std::ofstream(dir / file, std::ios::binary) << text;
  }
  return dir;
}

// The words of the first line of `text` that starts with "  " + `first`.
std::vector<std::string> LineWords(const std::string& text, const std::string& first) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (!line.starts_with("  " + first + " ")) continue;
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
  }
  return {};
}

int CheckProblems(const fs::path& folder, std::string& report) {
  std::ostringstream out;
  const int problems = CheckDataFolder(folder, out).problems;
  report = out.str();
  return problems;
}

TEST(RefDataCommand, ANewerEditionIsReportedRowByRowAndCheckedAfterwards) {
  TempFolder tmp;
  const fs::path folder = test::CopyOfPristine(tmp);
  std::string report;
  EXPECT_EQ(CheckProblems(folder, report), 0) << report;
  EXPECT_THAT(report, HasSubstr("\nThe law's reference data:\n  ok      edition "));

  const fs::path newer =
      EditedEdition(tmp, "2099-01-01",
                    {{"PfrDict_Limits.tsv", "2026\t2979000\t27093\t", "2026\t2979000\t27094\t"},
                     {"PfrDict_Limits.tsv", "", "2027\t3000000\t30000\tтест\n"}});
  std::ostringstream out;
  PrintRefDataLoad(LoadRefDataIntoFolder(folder, newer), newer, true, out);
  const std::string printed = out.str();
  // added, changed, left, rows the files do not name
  EXPECT_EQ(LineWords(printed, "PfrDict_Limits"),
            (std::vector<std::string>{"PfrDict_Limits", "1", "1", "9", "0"}))
      << printed;
  for (const char* line : {
           "  changed  PfrDict_Limits TheYear=2026: MROT 27093 -> 27094\n",
           "1 rows added, 1 changed; edition 2099-01-01 recorded\n",
       })
    EXPECT_THAT(printed, HasSubstr(line));
  EXPECT_THAT(printed, Not(HasSubstr("added    PfrDict_Limits")));  // --summary
  EXPECT_EQ(test::Rows(UserDatabasePath(folder),
                       "select TheYear, MROT from PfrDict_Limits where TheYear >= 2026"),
            "2026|27094\n2027|30000\n");

  // The folder's edition is now newer than the library's: still fine.
  EXPECT_EQ(CheckProblems(folder, report), 0) << report;
  Execute(UserDatabasePath(folder), {"delete from RefDataEditions"});
  EXPECT_EQ(CheckProblems(folder, report), 1) << report;
  EXPECT_THAT(report, HasSubstr("  OLDER   edition none, the library's is "));
}

TEST(RefDataCommand, AMalformedFileChangesNothing) {
  TempFolder tmp;
  const fs::path folder = test::CopyOfPristine(tmp);
  const std::string before = test::Rows(UserDatabasePath(folder),
                                        "select TheYear, IncomeLimit, MROT from PfrDict_Limits "
                                        "order by TheYear") +
                             test::Rows(UserDatabasePath(folder),
                                        "select count(*) from "
                                        "RefDataEditions");
  const fs::path bad = EditedEdition(
      tmp, "2099-01-01",
      {{"TndflDict_IncomesRates.tsv", "", "2000\t1\t13,5\t\t2017-01-01\t9999-12-31\tтест\n"}});
  const std::string rates = test::ReadFileText(bad / "TndflDict_IncomesRates.tsv");
  const int badLine = static_cast<int>(std::count(rates.begin(), rates.end(), '\n'));
  ExpectError(qv::schema::kRefDataFormatError,
              "TndflDict_IncomesRates.tsv:" + std::to_string(badLine) + ":8: Rate: \"13,5\"",
              [&] { LoadRefDataIntoFolder(folder, bad); });
  EXPECT_EQ(test::Rows(UserDatabasePath(folder),
                       "select TheYear, IncomeLimit, MROT from PfrDict_Limits order by TheYear") +
                test::Rows(UserDatabasePath(folder), "select count(*) from RefDataEditions"),
            before);
}

TEST(RefDataCommand, InitWithAFaultyEditionMakesNoFolder) {
  TempFolder tmp;
  const fs::path bad = EditedEdition(tmp, "2099-01-01", {{"PfrDict_Limits.tsv", "", "2027\n"}});
  qv::testsupport::ScopedEnv dir("QV_REFDATA_DIR", bad.c_str());
  ExpectError(qv::schema::kRefDataFormatError,
              "PfrDict_Limits.tsv:", [&] { InitDataFolder(tmp / "data", false); });
  EXPECT_FALSE(fs::exists(tmp / "data"));
}

}  // namespace
}  // namespace qvdb
