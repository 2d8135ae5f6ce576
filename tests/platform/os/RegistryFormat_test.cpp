#include "platform/os/RegistryFormat.h"

#include <gtest/gtest.h>

namespace qv::os {
namespace {

// One line's classification as text, so one comparison checks all of it; a
// value as the writer, checked on its own below, writes it.
std::string Describe(const RegistryLine& l) {
  switch (l.kind) {
    case RegistryLine::Kind::kBlank:
      return "blank";
    case RegistryLine::Kind::kComment:
      return "comment";
    case RegistryLine::Kind::kMalformed:
      return "malformed: " + l.error;
    case RegistryLine::Kind::kKey:
      return "key " + std::string(RegistryRootName(l.root)) + " <" + l.keyPath + ">";
    case RegistryLine::Kind::kValue:
      break;
  }
  return FormatRegistryValueLine(l.name, l.value);
}

// Lines of the forms RegistryStore's tests read and write are not repeated.
TEST(RegistryFormat, ClassifiesLines) {
  const struct {
    const char* line;
    const char* expected;
  } cases[] = {
      {"  \t\r", "blank"},
      {"   # note", "comment"},
      {" [hkcu\\\\Software\\X\\]\r", "key HKEY_CURRENT_USER <Software\\X>"},
      {"[HKLM]", "key HKEY_LOCAL_MACHINE <>"},
      {"[HKLM\\X", "malformed: key line without a closing ']'"},
      {"Win=\"C:\\temp\\new\"", "Win = \"C:\\\\temp\\\\new\""},
      {"Esc = \"a\\\"b\\\\c\" ; note", "Esc = \"a\\\"b\\\\c\""},
      {"\"Name = x\" = \"v\"", "\"Name = x\" = \"v\""},
      {"\"@\" = plain", "\"@\" = \"plain\""},
      {"@ = \"default\"", "@ = \"default\""},
      {"Plain = some text ; kept", "Plain = \"some text ; kept\""},
      {"Empty =", "Empty = \"\""},
      {"Count = DWORD:1F # note", "Count = dword:0000001f"},
      {"Neg = dword:ffffffff", "Neg = dword:ffffffff"},
      {"Q = qword:0000000100000000", "Q = qword:0000000100000000"},
      {"E = expand:\"$HOME/x\"", "E = expand:\"$HOME/x\""},
      {"M = multi:\"a\", \"b,c\" ,\"\"", "M = multi:\"a\",\"b,c\",\"\""},
      {"M = multi:", "M = multi:"},
      {"B = hex:01, 2,ff", "B = hex:01,02,ff"},
      {"B = hex:", "B = hex:"},
      {"Big = dword:123456789", "malformed: dword: needs 1 to 8 hex digits"},
      {"Q = qword:", "malformed: qword: needs 1 to 16 hex digits"},
      {"B = hex:1,", "malformed: hex: needs bytes of 1 or 2 hex digits separated by commas"},
      {"B = hex:100", "malformed: hex: needs bytes of 1 or 2 hex digits separated by commas"},
      {"M = multi:\"a\" \"b\"", "malformed: multi: unexpected text after the items"},
      {"M = multi:a", "malformed: multi: needs quoted texts separated by commas"},
      {"E = expand:plain", "malformed: unterminated or missing quoted text"},
      {"S = \"unterminated", "malformed: unterminated or missing quoted text"},
      {"S = \"ends in\\\"", "malformed: unterminated or missing quoted text"},
      {"S = \"a\" trailing", "malformed: text after the closing quote"},
      {" = \"x\"", "malformed: value without a name (the default value is '@')"},
      {"\"open = 1", "malformed: unterminated quoted value name"},
      {"\"name\" \"x\"", "malformed: no '=' after the value name"},
  };
  for (const auto& c : cases) EXPECT_EQ(Describe(ParseRegistryLine(c.line)), c.expected) << c.line;
}

TEST(RegistryFormat, WrittenLinesReadBackExactly) {
  const struct {
    std::string name;
    RegistryValue value;
    const char* line;
  } cases[] = {
      {"", RegistryValue::String("d"), "@ = \"d\""},
      {"@", RegistryValue::String(""), "\"@\" = \"\""},
      {"a=b", RegistryValue::String("q\"\\"), "\"a=b\" = \"q\\\"\\\\\""},
      {" lead", RegistryValue::String("C:\\"), "\" lead\" = \"C:\\\\\""},
      {"[x", RegistryValue::ExpandString("$HOME"), "\"[x\" = expand:\"$HOME\""},
      {"#x", RegistryValue::Dword(0xFFFFFFFF), "\"#x\" = dword:ffffffff"},
      {"Имя", RegistryValue::Dword(16), "Имя = dword:00000010"},
      {"q", RegistryValue::Qword(0x100000000ULL), "q = qword:0000000100000000"},
      {"m", RegistryValue::MultiString({"a", "b,\"c\"", ""}),
       "m = multi:\"a\",\"b,\\\"c\\\"\",\"\""},
      {"m0", RegistryValue::MultiString({}), "m0 = multi:"},
      {"b", RegistryValue::Binary({0, 0x7f, 0xff}), "b = hex:00,7f,ff"},
      {"b0", RegistryValue::Binary({}), "b0 = hex:"},
      {"tab\tin", RegistryValue::String("x\ty"), "\"tab\tin\" = \"x\ty\""},
  };
  for (const auto& c : cases) {
    const std::string line = FormatRegistryValueLine(c.name, c.value);
    EXPECT_EQ(line, c.line) << c.name;
    const RegistryLine back = ParseRegistryLine(line);
    ASSERT_EQ(back.kind, RegistryLine::Kind::kValue) << line << ": " << back.error;
    EXPECT_EQ(back.name, c.name) << line;
    EXPECT_EQ(back.value, c.value) << line;
  }
  EXPECT_EQ(FormatRegistryKeyLine(RegistryRoot::kCurrentUser, "\\Software\\\\X\\"),
            "[HKEY_CURRENT_USER\\Software\\X]");
  EXPECT_EQ(Describe(ParseRegistryLine(FormatRegistryKeyLine(RegistryRoot::kUsers, "S-1\\Ключ"))),
            "key HKEY_USERS <S-1\\Ключ>");
}

TEST(RegistryFormat, RootsIgnoreLetterCase) {
  const struct {
    const char* name;
    std::optional<RegistryRoot> root;
  } roots[] = {
      {"HKLM", RegistryRoot::kLocalMachine}, {"hkey_local_machine", RegistryRoot::kLocalMachine},
      {"HKCU", RegistryRoot::kCurrentUser},  {"HKEY_CURRENT_USER", RegistryRoot::kCurrentUser},
      {"HKCR", RegistryRoot::kClassesRoot},  {"HKEY_USERS", RegistryRoot::kUsers},
      {"HKEY_LOCAL", std::nullopt},          {"", std::nullopt},
  };
  for (const auto& r : roots) EXPECT_EQ(ParseRegistryRoot(r.name), r.root) << r.name;
  EXPECT_EQ(static_cast<uint32_t>(RegistryRoot::kLocalMachine), 0x80000002u);
  EXPECT_EQ(RegistryRootName(static_cast<RegistryRoot>(7)), "");
  // Key paths and value names are looked up without case (RegistryStore's tests).
}

}  // namespace
}  // namespace qv::os
