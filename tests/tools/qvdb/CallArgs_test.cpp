#include "CallArgs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "Call.h"
#include "Output.h"
#include "QvdbTestSupport.h"
#include "platform/ado/Recordset.h"
#include "platform/automation/Collection.h"
#include "platform/automation/Error.h"
#include "platform/automation/VbaDate.h"
#include "siblings/records/QvRecord.h"

namespace qvdb {
namespace {

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
      {"104,105", Variant("104,105")},  // VB's readings of a number stay texts
      {"&H10", Variant("&H10")},
      {"True", Variant("True")},  // only the lower-case words are booleans
      {"nothing", Variant::Nothing()},
      {"[12,s:text,null]",
       Variant(qv::VariantArray::Of({Variant(12.0), Variant("text"), Variant::Null()}))},
      {"[]", Variant(qv::VariantArray::Of({}))},
      {"[[i:1,[]],d:2007-03-05,s:]",
       Variant(qv::VariantArray::Of(
           {Variant(qv::VariantArray::Of({Variant(int32_t{1}), Variant(qv::VariantArray::Of({}))})),
            Variant(qv::DateSerial(2007, 3, 5)), Variant("")}))},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseCallArg(c.text), c.expected) << c.text;
  const Variant obj = ParseCallArg("@VBA.Collection");
  EXPECT_TRUE(obj.ObjectAs<qv::Collection>());
  const Variant inArray = ParseCallArg("[@Qv_Records.QvTaxOffice{ID=3},x]");
  ASSERT_TRUE(inArray.IsArray());
  const auto person = inArray.AsArray().At(0).ObjectAs<qv::records::QvRecord>();
  ASSERT_TRUE(person);
  EXPECT_EQ(person->Id(), 3);
  EXPECT_EQ(inArray.AsArray().At(1), Variant("x"));
}

// rs:[...]: the columns in the order they first appear, typed by their
// first value that is not Null; a value a row leaves out is Null.
TEST(CallArgs, RecordsetRows) {
  const auto rs =
      ParseCallArg(
          "rs:[{cell_key=s:A1,first_value=5},{first_value=null,cell_key=B2,first_type=i:3}]")
          .ObjectAs<qv::ado::Recordset>();
  ASSERT_TRUE(rs);
  ASSERT_EQ(rs->FieldCount(), 3u);
  const struct {
    const char* name;
    int32_t type;
    Variant row1, row2;
  } columns[] = {
      {"cell_key", qv::ado::adLongVarWChar, Variant("A1"), Variant("B2")},
      {"first_value", qv::ado::adDouble, Variant(5.0), Variant::Null()},
      {"first_type", qv::ado::adInteger, Variant::Null(), Variant(int32_t{3})},
  };
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(rs->FieldAt(i).name, columns[i].name);
    EXPECT_EQ(rs->FieldAt(i).type, columns[i].type) << columns[i].name;
    EXPECT_EQ(rs->Value(0, i), columns[i].row1) << columns[i].name;
    EXPECT_EQ(rs->Value(1, i), columns[i].row2) << columns[i].name;
  }
  for (const char* bad : {"rs:{a=1}", "rs:[a=1]", "rs:[{=1}]", "rs:[{a}]", "rs:[]"})
    ExpectError(qv::vberr::kInvalidProcedureCall, "", [&] { ParseCallArg(bad); });
}

TEST(CallArgs, RecordsWithProperties) {
  const Variant v = ParseCallArg(
      "@Qv_Records.QvTaxOffice{Code=s:7701,ShortName=ИФНС № 1,ContoraType=i:1,Address=a=b}");
  auto rec = v.ObjectAs<qv::records::QvRecord>();
  ASSERT_TRUE(rec);
  EXPECT_EQ(rec->State(), qv::records::kChanged);
  EXPECT_EQ(rec->Get("Code"), Variant("7701"));
  EXPECT_EQ(rec->Get("ShortName"), Variant("ИФНС № 1"));
  EXPECT_EQ(rec->Get("ContoraType"), Variant(int32_t{1}));
  EXPECT_EQ(rec->Get("Address"), Variant("a=b"));  // only the first "=" separates

  // ID=n calls SetID: a reference to a stored row, not read yet.
  auto ref = ParseCallArg("@Qv_Records.QvPerson{ID=12}").ObjectAs<qv::records::QvRecord>();
  ASSERT_TRUE(ref);
  EXPECT_EQ(ref->State(), qv::records::kReference);
  EXPECT_EQ(ref->Id(), 12);

  // A sub-record given as an object argument of its own.
  auto stream = ParseCallArg(
                    "@Qv_Records.QvAccStream{DisplayName=x,Person=@Qv_Records.QvPerson{"
                    "ID=3}}")
                    .ObjectAs<qv::records::QvRecord>();
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->SubRecord(stream->PropertyIndex("Person"))->Id(), 3);
  EXPECT_EQ(ToJson(Variant(stream->SubRecord(stream->PropertyIndex("Person")))),
            "{\"record\":\"Qv_Records.QvPerson\",\"RState\":1,\"props\":{\"ID\":3}}");
}

TEST(CallArgs, RejectsMalformedForms) {
  for (const char* text : {"i:x", "d:2007-3-5", "d:2007-02-30", "d:2007-03-05T25:00:00", "@",
                           "@VBA.Collection{Count}", "@VBA.Collection{", "[1,2", "[1,,2]", "[1,]",
                           "[[1]", "[i:x]", "i:1,5", "i:1.5" /* not rounded to 2 */}) {
    SCOPED_TRACE(text);
    ExpectError(5, "", [&] { ParseCallArg(text); });
  }
  ExpectError(429, "", [] { ParseCallArg("@No.Such"); });
  ExpectError(438, "", [] { ParseCallArg("@Qv_Records.QvTaxOffice{NoSuchProperty=1}"); });
  ExpectError(13, "", [] { ParseCallArg("@Qv_Records.QvTaxOffice{ContoraType=abc}"); });
  // A record class named without its library: the ProgID to write.
  ExpectError(429, "did you mean @Qv_Records.QvTaxOffice?", [] { ParseCallArg("@QvTaxOffice"); });
}

// A class whose operations change their arguments.
class CallProbe : public qv::Object {
  QV_DECLARE_CLASS(CallProbe)

 public:
  int32_t Bump(int32_t& n) { return ++n; }
  void Fill(qv::ObjectPtr c) { c->CallV("Add", "filled", "k"); }
  Variant Pair(const std::string& code, const Variant& v) { return Variant(code + "|" + CStr(v)); }
  void Floor(double& x) { x = std::floor(x); }
  int32_t Second(int32_t, int32_t second) { return second; }
};
QV_DEFINE_CLASS(CallProbe, "QvdbTest.CallProbe", QV_CREATABLE(CallProbe),
                qv::Method("Bump", &CallProbe::Bump), qv::Method("Fill", &CallProbe::Fill),
                qv::Method("Pair(aCode, aValue)", &CallProbe::Pair),
                qv::Method("Floor(rValue)", &CallProbe::Floor),
                qv::Method("Second(aFirst, aSecond)", &CallProbe::Second, {Variant(int32_t{-1})}))

using Args = std::vector<std::string>;

TEST(Call, PrintsResultAndArgumentsAfterTheCall) {
  const struct {
    const char* target;
    Args args;
    Format format;
    const char* out;
  } cases[] = {
      {"QvdbTest.CallProbe.Bump", Args{"i:4"}, Format::kJson, "{\"result\":5,\"args\":[5]}\n"},
      {"QvdbTest.CallProbe.Bump", Args{"i:4"}, Format::kTable, "5\n\narg 1:\n5\n"},
      {"QvdbTest.CallProbe.Fill", Args{"@VBA.Collection"}, Format::kJson,
       "{\"result\":{\"empty\":true},\"args\":[{\"items\":[\"filled\"],\"keys\":[\"k\"]}]}\n"},
      {"QvdbTest.CallProbe.Fill", Args{"@VBA.Collection"}, Format::kTsv, "arg 1:\nk\tfilled\n"},
      {"VBA.Collection.Count", Args{}, Format::kTable, "0\n"},
      // A ByRef argument is printed even when the call wrote back what it was given.
      {"QvdbTest.CallProbe.Floor", Args{"2"}, Format::kTable, "arg 1:\n2\n"},
      // `empty` for an Optional argument: its default (-1), not Empty's 0.
      {"QvdbTest.CallProbe.Second", Args{"1", "empty"}, Format::kJson,
       "{\"result\":-1,\"args\":[1,{\"empty\":true}]}\n"},
      // A number typed for a String is the text as typed; for a Variant, a number.
      {"QvdbTest.CallProbe.Pair", Args{"0077", "0077"}, Format::kJson,
       "{\"result\":\"0077|77\",\"args\":[\"0077\",77]}\n"},
      {"Qv_Records.RecordFactory.GetRecord", Args{"Qv_Records.QvWorker", "8"}, Format::kJson,
       "{\"result\":{\"record\":\"Qv_Records.QvWorker\",\"RState\":1,\"props\":{\"ID\":8}},"
       "\"args\":[\"Qv_Records.QvWorker\",8]}\n"},
  };
  for (const auto& c : cases) {
    std::ostringstream out;
    RunCall(c.target, c.args, c.format, out);
    EXPECT_EQ(out.str(), c.out) << c.target;
  }
}

TEST(Call, Errors) {
  const struct {
    const char* target;
    int32_t number;
    const char* says = "";  // a part of the error's text
    Args args = {};
  } cases[] = {{"NoDot", 5},
               // A search criterion read with a value meant to set it.
               {"Qv_Records.QvDocQuery.DocNum1", 450, "takes no arguments", Args{"5"}},
               {"VBA.Collection", 5, "\"VBA.Collection\" is a class: give CLASS.OPERATION"},
               {".Op", 5},
               {"VBA.Collection.", 5},
               {"NoSuch.Op", 429},
               {"VBA.Collection.NoSuchOperation", 438},
               {"QvdbTest.CallProbe.Bump", 449}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.target);
    std::ostringstream out;
    ExpectError(c.number, c.says, [&] { RunCall(c.target, c.args, Format::kJson, out); });
    EXPECT_EQ(out.str(), "") << c.target;
  }
}

}  // namespace
}  // namespace qvdb
