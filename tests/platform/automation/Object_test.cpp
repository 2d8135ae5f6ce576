#include "platform/automation/Object.h"

#include <gtest/gtest.h>

#include "platform/automation/Collection.h"
#include "support/TestSupport.h"

namespace qv {
namespace {

using testsupport::ExpectError;

// A class as the library declares its public classes: ProgID and dispatch
// table beside it, created by name.
class Sample : public Object {
  QV_DECLARE_CLASS(Sample)

 public:
  std::string Greet(const std::string& name, int32_t times) {
    std::string out;
    for (int32_t i = 0; i < times; ++i) out += "Привет, " + name + "! ";
    return out;
  }
  // Writes its results through by-reference parameters.
  bool Split(double value, int32_t& whole, std::string& rest) {
    whole = static_cast<int32_t>(value);
    rest = std::to_string(value - whole).substr(0, 4);
    return whole != 0;
  }
  void Touch(Variant& anything) { anything = Variant("touched"); }
  std::shared_ptr<Sample> Self() { return std::static_pointer_cast<Sample>(shared_from_this()); }
  int32_t CountOf(std::shared_ptr<Collection> items) { return items ? items->Count() : -1; }
  std::string Name() const { return name_; }
  void SetName(std::string n) { name_ = std::move(n); }

 private:
  std::string name_ = "none";
};

QV_DEFINE_CLASS(Sample, "QvTest.Sample", QV_CREATABLE(Sample),
                Method("Greet(name, times)", &Sample::Greet, {Variant(1)}),
                Method("Split(value, whole, rest)", &Sample::Split),
                Method("Touch(anything)", &Sample::Touch), Method("Self", &Sample::Self),
                Method("CountOf(items)", &Sample::CountOf),
                Property("Name", &Sample::Name, &Sample::SetName))

TEST(Object, CreatesByProgIdCallsByNameAndWritesByReferenceArgumentsBack) {
  ObjectPtr o = CreateObject("qvtest.SAMPLE");  // ProgIDs and names ignore case
  ASSERT_TRUE(o);
  EXPECT_EQ(o->Class().ProgId(), "QvTest.Sample");
  EXPECT_EQ(o->CallV("greet", "мир"), Variant("Привет, мир! "));
  EXPECT_EQ(o->CallV("Greet", "a", 2.0), Variant("Привет, a! Привет, a! "));
  // Whole numbers of the types Variant does not hold: a Long when they fit.
  EXPECT_EQ(o->CallV("Greet", "a", 2L), Variant("Привет, a! Привет, a! "));
  EXPECT_EQ(o->CallV("Greet", "a", size_t{1}), Variant("Привет, a! "));
  EXPECT_EQ(o->CallV("Greet", "a", int64_t{1}), Variant("Привет, a! "));
  ExpectError(vberr::kOverflow, "", [&] { o->CallV("Greet", "a", int64_t{1} << 40); });
  std::vector<Variant> missing{Variant("b"), Variant::Missing()};
  EXPECT_EQ(o->Call("Greet", missing), Variant("Привет, b! "));

  o->Let("Name", Variant(42));  // converted as the setter's parameter wants
  EXPECT_EQ(o->Get("name"), Variant("42"));
  EXPECT_TRUE(o->CallV("Self").ObjectAs<Sample>());

  // By-reference parameters write their values back into the arguments.
  std::vector<Variant> args{Variant(3.75), Variant(), Variant()};
  EXPECT_EQ(o->Call("Split", args), Variant(true));
  EXPECT_EQ(args[1], Variant(int32_t{3}));
  EXPECT_EQ(args[2], Variant("0.75"));
  std::vector<Variant> any{Variant(1)};
  o->Call("Touch", any);
  EXPECT_EQ(any[0], Variant("touched"));
}

TEST(Object, RejectsBadCallsWithVbErrors) {
  ObjectPtr o = CreateObject("QvTest.Sample");
  auto coll = std::make_shared<Collection>();
  coll->Add(Variant(1));
  testsupport::ExpectErrors({
      {"unknown member", [&] { o->CallV("Nope"); }, vberr::kNotSupported},
      {"missing argument", [&] { o->CallV("Greet"); }, vberr::kArgumentNotOptional},
      {"too many", [&] { o->CallV("Greet", "a", 1, 2); }, vberr::kWrongArguments},
      {"bad number", [&] { o->CallV("Greet", "a", "many"); }, vberr::kTypeMismatch},
      {"let a method", [&] { o->Let("Greet", Variant(1)); }, vberr::kWrongArguments},
      {"wrong object", [&] { o->CallV("CountOf", o); }, vberr::kTypeMismatch},
      {"not an object", [&] { o->CallV("CountOf", 5); }, vberr::kObjectRequired},
      {"unknown ProgID", [] { CreateObject("QvTest.Missing"); }, vberr::kCannotCreateObject},
  });
  EXPECT_EQ(o->CallV("CountOf", coll), Variant(int32_t{1}));
  EXPECT_EQ(o->CallV("CountOf", Variant::Nothing()), Variant(int32_t{-1}));
}

// The signature declared at registration: names from its text, types,
// ByRef and the result from the member function, Optional from its defaults.
TEST(Object, DescribesSignaturesAndNamesTheArgumentInErrors) {
  const ClassInfo& info = Sample::StaticClass();
  const struct {
    const char* member;
    const char* shown;
  } cases[] = {
      {"Greet", "Function Greet(name As String, Optional times As Long = 1) As String"},
      {"Split",
       "Function Split(value As Double, ByRef whole As Long, ByRef rest As String) As Boolean"},
      {"Touch", "Sub Touch(ByRef anything As Variant)"},
      {"Self", "Function Self() As QvTest.Sample"},
      {"CountOf", "Function CountOf(items As VBA.Collection) As Long"},
      {"Name", "Function Name() As String"},
  };
  for (const auto& c : cases) {
    const Member* m = info.Find(c.member);
    ASSERT_TRUE(m && m->signature) << c.member;
    EXPECT_EQ(FormatSignature(m->name, *m->signature), c.shown);
  }
  ObjectPtr o = CreateObject("QvTest.Sample");
  // A missing argument is named with its type; an argument that does not
  // convert carries the location line of the operation, as an error inside
  // it would, naming the argument.
  const Error missing = ExpectError(vberr::kArgumentNotOptional, "argument 1 (name As String)",
                                    [&] { o->CallV("Greet"); });
  EXPECT_EQ(missing.Description().rfind("[QvTest::Sample.Greet]\r\n", 0), 0u)
      << missing.Description();
  const Error mismatch =
      ExpectError(vberr::kTypeMismatch, "", [&] { o->CallV("Greet", "a", "many"); });
  EXPECT_EQ(
      mismatch.Description().rfind("[QvTest::Sample.Greet] {argument 2 (times As Long)}\r\n", 0),
      0u)
      << mismatch.Description();
  const Error object = ExpectError(vberr::kObjectRequired, "", [&] { o->CallV("CountOf", 5); });
  EXPECT_EQ(object.Description().rfind(
                "[QvTest::Sample.CountOf] {argument 1 (items As VBA.Collection)}\r\n", 0),
            0u)
      << object.Description();
}

ObjectPtr SampleNamed(const char* name) {
  auto s = std::make_shared<Sample>();
  s->SetName(name);
  return s;
}

TEST(Object, RegistersRuntimeClassesWithTheirOwnFactories) {
  // Two ProgIDs served by one C++ class, each factory carrying its own data.
  static const ClassInfo first("QvTest.RuntimeA", {}, [] { return SampleNamed("A"); });
  static const ClassInfo second("QvTest.RuntimeB", {}, [] { return SampleNamed("B"); });
  ProgIdRegistry::Register(first);
  ProgIdRegistry::Register(second);
  EXPECT_EQ(ProgIdRegistry::Find("qvtest.runtimeb"), &second);
  EXPECT_EQ(std::static_pointer_cast<Sample>(CreateObject("QvTest.RuntimeA"))->Name(), "A");
  EXPECT_EQ(std::static_pointer_cast<Sample>(CreateObject("QvTest.RuntimeB"))->Name(), "B");
  const auto ids = ProgIdRegistry::ProgIds();
  EXPECT_NE(std::find(ids.begin(), ids.end(), "QvTest.RuntimeA"), ids.end());
}

TEST(Collection, FollowsVbaCollectionSemantics) {
  ObjectPtr o = CreateObject("VBA.Collection");
  o->CallV("Add", "first", "Ключ");
  o->CallV("Add", "second");
  o->CallV("Add", "zero", Variant(), 1);        // before item 1
  o->CallV("Add", "last", "k2", Variant(), 3);  // after item 3
  EXPECT_EQ(o->Get("Count"), Variant(int32_t{4}));
  EXPECT_EQ(o->CallV("Item", 1), Variant("zero"));
  EXPECT_EQ(o->CallV("Item", "КЛЮЧ"), Variant("first"));  // keys ignore case
  EXPECT_EQ(o->CallV("Item", 4.0), Variant("last"));
  ExpectError(vberr::kDuplicateKey, "", [&] { o->CallV("Add", "dup", "ключ"); });
  ExpectError(vberr::kInvalidProcedureCall, "", [&] { o->CallV("Item", 5); });
  ExpectError(vberr::kInvalidProcedureCall, "", [&] { o->CallV("Item", 0); });
  ExpectError(vberr::kInvalidProcedureCall, "", [&] { o->CallV("Item", "none"); });
  o->CallV("Remove", "ключ");
  EXPECT_EQ(o->CallV("Item", 2), Variant("second"));
  EXPECT_EQ(o->CallV("Item", "k2"), Variant("last"));  // keys follow the shifted items
  ExpectError(vberr::kInvalidProcedureCall, "", [&] { o->CallV("Item", "Ключ"); });
  o->CallV("Add", "again", "ключ");  // a removed key can be used again
  EXPECT_EQ(o->Get("Count"), Variant(int32_t{4}));
}

// Enough keys to grow the index several times, folded through the Russian
// letters; a duplicate refused; most keys removed (named in either case) so
// that the rest are moved together; then every item shifted by an insertion
// at the front.
TEST(Collection, KeysFollowGrowthRemovalsAndShifts) {
  Collection c;
  auto key = [](int i) { return "Ключ-Ё" + std::to_string(i); };
  auto upper = [](int i) { return "КЛЮЧ-Ё" + std::to_string(i); };
  for (int i = 0; i < 1000; ++i) c.Add(Variant(int32_t{i}), key(i));
  EXPECT_FALSE(c.TryAdd(Variant("dup"), upper(500)));
  ExpectError(vberr::kDuplicateKey, "",
              [&] { c.AddAt(Variant("dup"), Variant("ключ-ё7"), Variant(int32_t{1}), Variant()); });
  for (int i = 0; i < 900; ++i) c.Remove(Variant(i % 2 ? key(i) : upper(i)));
  c.AddAt(Variant("front"), Variant("Ёж"), Variant(int32_t{1}), Variant());
  ASSERT_EQ(c.Count(), 101);
  EXPECT_EQ(c.FindByKey(key(0)), nullptr);
  EXPECT_EQ(c.Item(Variant("ёЖ")), Variant("front"));
  for (int i = 900; i < 1000; ++i) {
    ASSERT_NE(c.FindByKey("ключ-ё" + std::to_string(i)), nullptr) << i;
    EXPECT_EQ(*c.FindByKey(upper(i)), Variant(int32_t{i}));
    EXPECT_EQ(c.KeyAt(i - 898), key(i));
  }
}

}  // namespace
}  // namespace qv
