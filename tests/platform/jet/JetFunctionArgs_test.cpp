#include <string>
#include <vector>

#include "JetTestSupport.h"
#include "platform/jet/JetFunctionImpl.h"
#include "platform/jet/JetFunctions.h"

namespace qv::jet::testing {
namespace {

// The function bodies read their arguments through Args, from SQLite's values
// or from Variants (what the server extension gives them). The same call must
// give the same result either way: kinds the bodies look at (a whole number,
// a date, a boolean, a text) must read alike from both.
using JetFunctionArgsTest = JetTest;

// A value as the comparison writes it: Null, a text, or a number with its
// kind (a whole number, as SQLite stores booleans too, or a floating one).
std::string Shown(const Variant& v) {
  if (v.IsNull() || v.IsEmpty()) return "Null";
  if (v.IsString()) return "'" + v.AsString() + "'";
  switch (v.Type()) {
    case VarType::kBoolean:
    case VarType::kByte:
    case VarType::kInteger:
    case VarType::kLong:
      return "whole " + std::to_string(CDbl(v));
    default:
      return "floating " + std::to_string(CDbl(v));
  }
}

struct ArgsCase {
  const char* function;  // the Jet name
  std::vector<Variant> args;
};

TEST_F(JetFunctionArgsTest, BodiesGiveTheSameResultFromSqliteAndFromVariants) {
  const Variant date(OleDate{45321.75});  // 30.01.2024 18:00
  const std::vector<ArgsCase> cases = {
      {"+", {Variant(int32_t{2}), Variant(int32_t{3})}},                // whole numbers add exactly
      {"+", {Variant(std::string("ab")), Variant(std::string("cd"))}},  // two texts join
      {"+", {Variant(std::string("2")), Variant(1.5)}},
      {"+", {date, Variant(int32_t{1})}},  // a date stays a date
      {"+", {Variant(int32_t{2147483647}), Variant(int32_t{1})}},
      {"\\", {Variant(int32_t{7}), Variant(int32_t{-2})}},
      {"\\", {Variant(7.5), Variant(2.5)}},  // rounded half to even first
      {"Mod", {Variant(int32_t{-7}), Variant(int32_t{3})}},
      {"Mod", {Variant(8.5), Variant(3.0)}},
      {"Int", {Variant(-2.5)}},
      {"Int", {date}},
      {"Fix", {Variant(int32_t{-3})}},
      {"Round", {Variant(2.5)}},
      {"Round", {Variant(1.23456), Variant(int32_t{3})}},
      {"Abs", {Variant(int32_t{-4})}},
      {"&", {Variant(std::string("a")), Variant::Null(), Variant(1.5), Variant(true), date}},
      {"&", {Variant::Null(), Variant::Null()}},
      {"CStr", {Variant(true)}},
      {"CStr", {date}},
      {"Format", {date, Variant(std::string("dd.mm.yyyy hh:nn"))}},
      {"Year", {date}},
      {"DateAdd", {Variant(std::string("m")), Variant(int32_t{1}), Variant(OleDate{45322})}},
      {"DateDiff", {Variant(std::string("d")), date, Variant(OleDate{45400})}},
      {"Mid", {Variant(std::string("Ёлочка")), Variant(int32_t{2}), Variant(int32_t{3})}},
      {"Len", {Variant(std::string("Ёлка"))}},
      {"Len", {Variant(int32_t{12345})}},
      {"UCase", {Variant(std::string("ёлка tree"))}},
      {"InStr", {Variant(std::string("абвЁ")), Variant(std::string("ё"))}},
      {"Replace",
       {Variant(std::string("a-b-c")), Variant(std::string("-")), Variant(std::string("+"))}},
      {"Nz", {Variant::Null(), Variant(int32_t{5})}},
      {"Nz", {Variant::Null()}},
      {"Like", {Variant(std::string("Ёлка")), Variant(std::string("ё*"))}},
      {"Like", {Variant(int32_t{123}), Variant(std::string("1#3"))}},
      {"%StoreBoolean", {Variant(2.5)}},
      {"%StoreInteger", {Variant(2.5)}},
      {"%StoreInteger", {Variant(int32_t{7})}},
      {"%StoreCurrency", {Variant(1.23455)}},
      {"%StoreGuid", {Variant(std::string("{abc-def}"))}},
      {"IsNumeric", {Variant(std::string("1,5"))}},
      {"Val", {Variant(std::string(" 12 34abc"))}},
  };
  for (const ArgsCase& c : cases) {
    const JetFunction* f = FindJetFunction(c.function);
    ASSERT_NE(f, nullptr) << c.function;
    ASSERT_NE(f->body, nullptr) << c.function;
    std::string sql = "SELECT " + std::string(f->sqliteName) + "(";
    for (size_t i = 0; i < c.args.size(); ++i) {
      // Dates and booleans reach a function marked, as the translator marks them.
      const std::string p = "?" + std::to_string(i + 1);
      sql += i ? ", " : "";
      sql += c.args[i].IsDate()                      ? "jet_asdate(" + p + ")"
             : c.args[i].Type() == VarType::kBoolean ? "jet_asbool(" + p + ")"
                                                     : p;
    }
    sql += ")";
    SCOPED_TRACE(sql);
    Statement s = db_->PrepareNative(sql);
    for (size_t i = 0; i < c.args.size(); ++i) s.Bind(static_cast<int>(i + 1), c.args[i]);
    ASSERT_TRUE(s.Step());
    const Variant fromSqlite = s.Value(0);
    fn::Args args(static_cast<int>(c.args.size()), c.args.data());
    const Variant fromVariants = f->body(args);
    EXPECT_EQ(Shown(fromSqlite), Shown(fromVariants));
  }
}

}  // namespace
}  // namespace qv::jet::testing
