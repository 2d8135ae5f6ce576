// Several processes taking numbers from one data folder at once: counters,
// new row keys and delivery numbers are never handed out twice.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <sstream>

#include "CoreTestSupport.h"
#include "core/DBCommon.h"
#include "core/DBGlobalParams.h"
#include "core/mQvDaoDataBase.h"
#include "core/miDataBase.h"
#include "platform/jet/JetConnection.h"
#include "support/DaoTables.h"

namespace qv {
namespace {

constexpr int kProcesses = 4;
constexpr int kCalls = 40;

class MultiProcess : public coretest::DataFolderTest {};

// Each child calls GetNextCounter, QvAddRecord (new key) and
// GetNextDeliveryNumber kCalls times and reports "c <n>", "a <n>" and
// "d <n>" lines; every number must come back exactly once overall.
TEST_F(MultiProcess, NumbersAreNeverHandedOutTwice) {
  testsupport::MakeTable(*miDataBase::GetUserDataBase(), "Items",
                         {{"ID", jet::JetType::kLong}, {"Owner", jet::JetType::kLong}},
                         {{"Id", "ID", true, true}});
  miDataBase::ResetSessionForThread();  // no database open across the fork

  std::vector<std::unique_ptr<coretest::Child>> children;
  for (int p = 0; p < kProcesses; ++p) {
    children.push_back(std::make_unique<coretest::Child>([p] {
      DBCommon common;
      DBGlobalParams params;
      std::ostringstream out;
      for (int i = 0; i < kCalls; ++i) {
        out << "c " << common.GetNextCounter(77, 2025) << "\n";
        const Variant fields[] = {Variant("Owner"), Variant(p)};
        out << "a " << mQvDaoDataBase::QvAddRecord("Items", "Id", "ID", 0, fields) << "\n";
        out << "d " << params.GetNextDeliveryNumber() << "\n";
      }
      return out.str();
    }));
  }
  std::map<std::string, std::map<long, int>> seen;  // kind -> number -> times
  for (auto& child : children) {
    const std::string output = child->Join();
    std::istringstream in(output);
    std::string kind;
    long n;
    int lines = 0;
    while (in >> kind >> n) {
      ++seen[kind][n];
      ++lines;
    }
    const size_t bad = std::min(output.size(), output.find_first_not_of("acd 0123456789\n"));
    EXPECT_EQ(lines, 3 * kCalls) << output.substr(bad);
  }
  const int total = kProcesses * kCalls;
  for (const char* kind : {"c", "a", "d"}) {
    const auto& numbers = seen[kind];
    EXPECT_EQ(numbers.size(), static_cast<size_t>(total)) << kind;
    for (const auto& [n, times] : numbers) EXPECT_EQ(times, 1) << kind << " " << n;
    if (!numbers.empty()) {
      EXPECT_EQ(numbers.begin()->first, 1) << kind;
      EXPECT_EQ(numbers.rbegin()->first, total) << kind;
    }
  }
  EXPECT_EQ(DBCommon().GetCurrCounter(77, 2025), total);
  EXPECT_EQ(DBGlobalParams().GetCurrentDeliveryNumber(), total);
  EXPECT_EQ(mQvDaoDataBase::QvQueryValue("select count(*) from Items"), Variant(int32_t{total}));
  EXPECT_EQ(mQvDaoDataBase::QvQueryValue("select count(*) from (select distinct Owner from Items)"),
            Variant(int32_t{kProcesses}));
}

// A commit is in the file's log when the call returns: a process killed
// right after it (no destructor, no close) loses nothing.
TEST_F(MultiProcess, ACommitSurvivesTheProcessKilledRightAfterIt) {
  miDataBase::ResetSessionForThread();
  coretest::Signal committed, never;
  coretest::Child child([&] {
    const std::string failure =
        coretest::RaisedError([] { DBCommon().GetNextCounter(5, 2025); }).Description();
    committed.Send();  // also after a failure: the parent must not wait for ever
    if (failure.empty()) never.Wait();
    return failure;
  });
  committed.Wait();
  child.Kill();
  EXPECT_EQ(child.Join(), "");
  EXPECT_EQ(DBCommon().GetCurrCounter(5, 2025), 1);
  EXPECT_EQ(DBCommon().GetNextCounter(5, 2025), 2);
}

}  // namespace
}  // namespace qv
