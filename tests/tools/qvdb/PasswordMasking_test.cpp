// No password reaches qvdb's output: record properties and recordset
// columns named Password, and the texts given to password operations, print
// masked in every format.

#include <gtest/gtest.h>

#include <sstream>

#include "Call.h"
#include "DataFolder.h"
#include "Output.h"
#include "QvdbTestSupport.h"
#include "core/miDataBase.h"
#include "platform/ado/AdoConstants.h"
#include "platform/ado/Recordset.h"
#include "siblings/records/QvRecord.h"

namespace qvdb {
namespace {

constexpr const char* kSecret = "Тайна-42";

TEST(PasswordMasking, RecordsAndRecordsetsInEveryFormat) {
  auto user = qv::records::QvRecord::Create("Qv_Records.QvPermUser");
  user->Let("Login", Variant("buh"));
  user->Let("Password", Variant(kSecret));
  auto empty = qv::records::QvRecord::Create("Qv_Records.QvPermUser");
  empty->Let("Login", Variant("admin"));
  auto rs = std::make_shared<qv::ado::Recordset>();
  rs->AppendField("Login", qv::ado::adLongVarWChar, 255, qv::ado::adFldIsNullable);
  rs->AppendField("password", qv::ado::adLongVarWChar, 0, qv::ado::adFldIsNullable);
  rs->Open();
  rs->AppendRow({Variant("buh"), Variant(kSecret)});
  rs->AppendRow({Variant("admin"), Variant("")});
  for (Format format : {Format::kTable, Format::kTsv, Format::kJson}) {
    for (const Variant& v : {Variant(user), Variant(rs)}) {
      std::ostringstream out;
      PrintValue(out, v, format);
      SCOPED_TRACE(out.str());
      EXPECT_THAT(out.str(), Not(HasSubstr(kSecret)));
      EXPECT_THAT(out.str(), HasSubstr(kMasked));
      EXPECT_THAT(out.str(), HasSubstr("buh"));  // the rest is shown
    }
  }
  // An empty password shows as empty: there is nothing to hide.
  EXPECT_THAT(ToJson(Variant(empty)), HasSubstr("\"Password\":\"\""));
}

TEST(PasswordMasking, CallsOfPasswordOperations) {
  test::TempFolder tmp;
  const std::filesystem::path data = test::CopyOfPristine(tmp);
  PointLibraryAt(data);
  std::ostringstream out;
  RunCall("DBPermissions.CreateRightsSystemIfNeed", {}, Format::kJson, out);
  RunCall("DBPermissions.SavePassword", {"1", kSecret}, Format::kJson, out);
  RunCall("DBPermissions.CheckPassword", {"1", kSecret}, Format::kJson, out);
  for (Format format : {Format::kTable, Format::kTsv, Format::kJson})
    RunCall("DBPermissions.LoadUser", {"1"}, format, out);
  qv::miDataBase::ResetSessionForThread();
  EXPECT_THAT(out.str(), Not(HasSubstr(kSecret)));
  // The password was stored and checked all the same.
  EXPECT_THAT(out.str(), HasSubstr("{\"result\":true,\"args\":[1,\"********\"]}"));
}

}  // namespace
}  // namespace qvdb
