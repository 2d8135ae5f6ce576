#include "CallArgs.h"

#include <gtest/gtest.h>

#include "Output.h"
#include "platform/automation/Collection.h"
#include "platform/automation/Error.h"
#include "platform/automation/VbaDate.h"

namespace qvdb {
namespace {

using qv::Variant;

TEST(CallArgs, ReadsEachForm) {
  const struct {
    const char* text;
    Variant expected;
  } cases[] = {
      {"12", Variant(12.0)},
      {"-1.5", Variant(-1.5)},
      {"i:12", Variant(int32_t{12})},
      {"true", Variant(true)},
      {"false", Variant(false)},
      {"null", Variant::Null()},
      {"empty", Variant()},
      {"d:2007-03-05", Variant(qv::DateSerial(2007, 3, 5))},
      {"d:2007-03-05T12:00:00", Variant(qv::OleDate{qv::DateSerial(2007, 3, 5).serial + 0.5})},
      {"s:12", Variant("12")},
      {"Москва", Variant("Москва")},
      {"", Variant("")},
      {"1;2;3", Variant("1;2;3")},
      {"True", Variant("True")},  // only the lower-case words are booleans
  };
  for (const auto& c : cases) EXPECT_EQ(ParseCallArg(c.text), c.expected) << c.text;
  const Variant obj = ParseCallArg("@VBA.Collection");
  EXPECT_TRUE(obj.ObjectAs<qv::Collection>());
}

TEST(CallArgs, RejectsMalformedForms) {
  for (const char* bad : {"i:x", "d:2007-3-5", "d:2007-02-30", "d:2007-03-05T25:00:00", "@",
                          "@VBA.Collection{Count}", "@VBA.Collection{", "@No.Such"}) {
    EXPECT_THROW(ParseCallArg(bad), qv::Error) << bad;
  }
}

TEST(Output, JsonFormsOfValues) {
  auto c = std::make_shared<qv::Collection>();
  c->Add(Variant(1.5), "a");
  c->Add(Variant("x\"y"));
  const struct {
    Variant value;
    const char* json;
  } cases[] = {
      {Variant::Null(), "null"},
      {Variant(), "{\"empty\":true}"},
      {Variant(qv::DateSerial(2007, 3, 5)), "{\"date\":\"2007-03-05T00:00:00\"}"},
      {Variant(true), "true"},
      {Variant(int32_t{7}), "7"},
      {Variant(0.1), "0.1"},
      {Variant("текст\n"), "\"текст\\n\""},
      {Variant(qv::ByteArray{0, {0, 171}}), "{\"hex\":\"00ab\"}"},
      {Variant(c), "{\"items\":[1.5,\"x\\\"y\"],\"keys\":[\"a\",null]}"},
  };
  for (const auto& k : cases) EXPECT_EQ(ToJson(k.value), k.json) << k.value.Describe();
}

}  // namespace
}  // namespace qvdb
