#include "core/mErrorHandling.h"

#include <gtest/gtest.h>

#include <fstream>

#include "core/QvErrors.h"
#include "core/mQvXmlToolsErr.h"
#include "support/TestSupport.h"

namespace qv {
namespace {

using testsupport::ExpectError;

TEST(ErrorHandling, LocationLineRules) {
  const struct {
    const char* what;
    Error raised;
    std::string_view module, procedure, extra;
    const char* expected;
  } cases[] = {
      {"no extra, no braces", Error(5, "bad"), "M", "P", "", "[Qv_DBProvider::M.P]\r\nbad"},
      {"leading line break kept, none added", Error(5, "\r\nbad"), "M", "P", "",
       "[Qv_DBProvider::M.P]\r\nbad"},
      {"extra text in braces", Error(5, "bad"), "M", "P", "x=1",
       "[Qv_DBProvider::M.P] {x=1}\r\nbad"},
      {"no module", Error(5, "bad"), "", "P", "", "[Qv_DBProvider::?.P]\r\nbad"},
      {"no procedure", Error(5, "bad"), "M", "", "", "[Qv_DBProvider::M]\r\nbad"},
      {"line number", Error(5, "bad", "", 120), "M", "P", "", "[Qv_DBProvider::M.P (120)]\r\nbad"},
      {"source", Error(5, "bad", "Src"), "M", "P", "", "[Qv_DBProvider::M.P]\r\n[Src]\r\nbad"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Error e = ExpectError(5, "", [&] {
      try {
        throw c.raised;
      } catch (...) {
        mErrorHandling::ProcessError(c.module, c.procedure, c.extra);
      }
    });
    EXPECT_EQ(e.Description(), c.expected);
  }
  // A foreign exception keeps its text under the automation error number.
  EXPECT_EQ(ExpectError(vberr::kAutomationError, "",
                        [] { Guard("M", "P", []() -> int { throw std::runtime_error("boom"); }); })
                .Description(),
            "[Qv_DBProvider::M.P]\r\nboom");
}

TEST(ErrorHandling, CreateObjectErrNamesTheObject) {
  ExpectError(vberr::kCannotCreateObject,
              "[Qv_DBProvider::mErrorHandling.CreateObjectErr] {Object: Qv_Nowhere.Thing}",
              [] { mErrorHandling::CreateObjectErr("Qv_Nowhere.Thing"); });
  ExpectError(vberr::kCannotCreateObject, "{Object: VBA.Collection@far-away}",
              [] { mErrorHandling::CreateObjectErr("VBA.Collection", "far-away"); });
  EXPECT_TRUE(mErrorHandling::CreateObjectErr("VBA.Collection"));
}

TEST(XmlTools, LoadsReadsAttributesAndExplainsFailures) {
  const testsupport::TempFolder temp;
  const std::string dir = temp.Path().string();
  const std::string good = dir + "/qv_good.xml", bad = dir + "/qv_bad.xml";
  std::ofstream(good)
      << "<DBOptions>\n  <Locking Enable=\" YES \" Other=\"maybe\"/>\n</DBOptions>\n";
  std::ofstream(bad) << "<DBOptions>\n  <Locking Enable=\"1\">\n</DBOptions>\n";
  std::string error;
  auto doc = mQvXmlToolsErr::XmlLoadDocumentSafe(good, error);
  ASSERT_TRUE(doc) << error;
  const pugi::xml_node node = doc->select_node("/DBOptions/Locking").node();
  EXPECT_TRUE(mQvXmlToolsErr::XmlGetBooleanAttributeDef(node, "Enable", false));
  EXPECT_TRUE(mQvXmlToolsErr::XmlGetBooleanAttributeDef(node, "Other", true));
  EXPECT_FALSE(mQvXmlToolsErr::XmlGetBooleanAttributeDef(node, "Missing", false));
  EXPECT_FALSE(mQvXmlToolsErr::XmlGetBooleanAttributeDef(pugi::xml_node(), "Enable", false));
  EXPECT_EQ(mQvXmlToolsErr::XmlGetStringAttributeDef(pugi::xml_node(), "Enable", "d"), "d");

  EXPECT_FALSE(mQvXmlToolsErr::XmlLoadDocumentSafe(bad, error));
  EXPECT_EQ(error.rfind("   Reason: ", 0), 0u);
  EXPECT_NE(error.find("\r\n   Source: </DBOptions>\r\n   Line: 3"), std::string::npos) << error;
  EXPECT_FALSE(mQvXmlToolsErr::XmlLoadDocumentSafe(dir + "/qv_missing.xml", error));
  EXPECT_NE(error.find("   Line: 0"), std::string::npos) << error;
}

}  // namespace
}  // namespace qv
