#include "platform/os/RegistryStore.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "platform/automation/Error.h"
#include "support/TestSupport.h"

namespace qv::os {
namespace {

namespace fs = std::filesystem;
constexpr auto kHKLM = RegistryRoot::kLocalMachine;
constexpr auto kHKCU = RegistryRoot::kCurrentUser;

void WriteFile(const fs::path& path, std::string_view text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string ProblemsText(RegistryStore& store) {
  std::string out;
  for (const auto& p : store.Problems())
    out += std::to_string(p.line) + ": " + p.text + " (" + p.reason + ")\n";
  return out;
}

TEST(RegistryStore, ReadsKeysAndValuesIgnoringCase) {
  testsupport::TempFolder dir;
  WriteFile(dir / "r.ini",
            "\xEF\xBB\xBF; settings\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrane\\Quivane\\General]\r\n"
            "DataBasePath = \"/first/\"\r\n"
            "Count = dword:00000010\r\n"
            "DataBasePath = \"/second/\"\r\n"
            "\r\n"
            "[HKCU\\Software\\Kestrane\\Quivane\\General]\n"
            "DataBasePath = /user/\n"
            "[HKLM\\software\\kestrane\\quivane\\general]\n"
            "Extra = \"merged\"\n"
            "[HKEY_BOGUS\\X]\n"
            "Lost = \"ignored with its key\"\n"
            "[HKLM\\Ключ]\n"
            "Имя = \"значение\"\n"
            "just words\n"
            "Count2 = dword:zz\n");
  RegistryStore store(dir / "r.ini");
  const std::string general = "SOFTWARE\\Kestrane\\Quivane\\General";
  const struct {
    RegistryRoot root;
    std::string key, name;
    std::optional<RegistryValue> expected;
  } cases[] = {
      {kHKLM, general, "DataBasePath", RegistryValue::String("/second/")},  // the last one counts
      {kHKLM, "\\software\\KESTRANE\\Quivane\\general\\", "databasepath",
       RegistryValue::String("/second/")},
      {kHKLM, general, "Count", RegistryValue::Dword(16)},
      {kHKLM, general, "Extra", RegistryValue::String("merged")},  // same key written twice
      {kHKCU, general, "DataBasePath", RegistryValue::String("/user/")},
      {kHKLM, "КЛЮЧ", "ИМЯ", RegistryValue::String("значение")},
      {kHKLM, general, "Missing", std::nullopt},
      {kHKLM, "SOFTWARE\\Kestrane", "DataBasePath", std::nullopt},  // values are not inherited
      {RegistryRoot::kUsers, general, "DataBasePath", std::nullopt},
      {kHKLM, "X", "Lost", std::nullopt},
      {kHKLM, general, "Count2", std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(store.Read(c.root, c.key, c.name), c.expected) << c.key << " / " << c.name;

  EXPECT_EQ(ProblemsText(store),
            "11: [HKEY_BOGUS\\X] (unknown root key 'HKEY_BOGUS')\n"
            "15: just words (no '=' in the value line)\n"
            "16: Count2 = dword:zz (dword: needs 1 to 8 hex digits)\n");
  EXPECT_TRUE(store.KeyExists(kHKLM, "software\\kestrane"));  // above a named key
  EXPECT_TRUE(store.KeyExists(kHKLM, general));
  EXPECT_TRUE(store.KeyExists(kHKLM, ""));
  EXPECT_FALSE(store.KeyExists(kHKLM, general + "\\Sub"));
  EXPECT_FALSE(store.KeyExists(kHKCU, "Ключ"));
}

TEST(RegistryStore, MissingOrUnreadableFileIsAnEmptyRegistry) {
  testsupport::TempFolder dir;
  RegistryStore missing(dir / "none.ini");
  EXPECT_EQ(missing.Read(kHKLM, "SOFTWARE", "x"), std::nullopt);
  EXPECT_EQ(ProblemsText(missing), "");

  fs::create_directory(dir / "folder.ini");
  RegistryStore folder(dir / "folder.ini");
  EXPECT_EQ(folder.Read(kHKLM, "SOFTWARE", "x"), std::nullopt);
  ASSERT_EQ(folder.Problems().size(), 1u);
  EXPECT_EQ(folder.Problems()[0].line, 0);
}

TEST(RegistryStore, SeesChangesMadeOnDisk) {
  testsupport::TempFolder dir;
  const fs::path file = dir / "r.ini";
  RegistryStore store(file);
  EXPECT_EQ(store.Read(kHKLM, "K", "v"), std::nullopt);
  WriteFile(file, "[HKLM\\K]\nv = \"one\"\n");  // created after the first read
  EXPECT_EQ(store.Read(kHKLM, "K", "v"), RegistryValue::String("one"));
  WriteFile(file, "[HKLM\\K]\nv = \"three\"\n");  // rewritten in place, another size
  EXPECT_EQ(store.Read(kHKLM, "K", "v"), RegistryValue::String("three"));
  RegistryStore(file).SetValue(kHKLM, "K", "v", RegistryValue::String("two"));  // same size
  EXPECT_EQ(store.Read(kHKLM, "K", "v"), RegistryValue::String("two"));
  // An editor's save that keeps a backup: the file renamed away, still
  // linked, and a new one written where it was.
  fs::rename(file, dir / "r.ini~");
  WriteFile(file, "[HKLM\\K]\nv = \"six\"\n");
  EXPECT_EQ(store.Read(kHKLM, "K", "v"), RegistryValue::String("six"));
  fs::remove(file);
  EXPECT_EQ(store.Read(kHKLM, "K", "v"), std::nullopt);
}

TEST(RegistryStore, WritesInPlaceKeepingCommentsAndLayout) {
  testsupport::TempFolder dir;
  const fs::path file = dir / "sub" / "dir" / "r.ini";  // folders are created
  RegistryStore store(file);
  store.SetValue(kHKLM, "SOFTWARE\\A", "First", RegistryValue::String("1"));
  store.SetValue(kHKLM, "SOFTWARE\\B", "Other", RegistryValue::Dword(2));
  EXPECT_EQ(testsupport::ReadFileText(file),
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n"
            "First = \"1\"\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\B]\n"
            "Other = dword:00000002\n");

  WriteFile(file,
            "; hand-written\n"
            "[HKLM\\software\\a]\n"
            "first = old   ; the old value\n"
            "# keep me\n"
            "FIRST = \"dup\"\n"
            "\n"
            "[HKLM\\SOFTWARE\\B]\n"
            "Other = dword:2\n");
  store.SetValue(kHKLM, "SOFTWARE\\A", "First", RegistryValue::String("new"));
  store.SetValue(kHKLM, "Software\\A", "Second", RegistryValue::MultiString({"x", "y"}));
  store.SetValue(kHKCU, "Software\\A", "Mine", RegistryValue::Binary({1, 2}));
  EXPECT_TRUE(store.DeleteValue(kHKLM, "SOFTWARE\\B", "other"));
  EXPECT_FALSE(store.DeleteValue(kHKLM, "SOFTWARE\\B", "other"));
  EXPECT_EQ(testsupport::ReadFileText(file),
            "; hand-written\n"
            "[HKLM\\software\\a]\n"
            "First = \"new\"\n"
            "Second = multi:\"x\",\"y\"\n"
            "# keep me\n"
            "\n"
            "[HKLM\\SOFTWARE\\B]\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\A]\n"
            "Mine = hex:01,02\n");
  EXPECT_EQ(store.Read(kHKLM, "SOFTWARE\\A", "first"), RegistryValue::String("new"));
  EXPECT_EQ(store.Read(kHKCU, "SOFTWARE\\A", "mine"), RegistryValue::Binary({1, 2}));
  EXPECT_TRUE(store.KeyExists(kHKLM, "SOFTWARE\\B"));
}

TEST(RegistryStore, WritesThroughASymbolicLink) {
  testsupport::TempFolder dir;
  WriteFile(dir / "real.ini", "[HKLM\\K]\nv = a\n");
  fs::create_symlink(dir / "real.ini", dir / "link.ini");
  RegistryStore(dir / "link.ini").SetValue(kHKLM, "K", "v", RegistryValue::String("b"));
  EXPECT_TRUE(fs::is_symlink(dir / "link.ini"));
  EXPECT_EQ(testsupport::ReadFileText(dir / "real.ini"), "[HKLM\\K]\nv = \"b\"\n");
}

TEST(RegistryStore, RejectsWhatTheFileCannotHold) {
  testsupport::TempFolder dir;
  const fs::path file = dir / "r.ini";
  WriteFile(file, "[HKLM\\K]\nv = \"kept\"\n");
  RegistryStore store(file);
  RegistryStore blocked(dir / "r.ini" / "below-a-file.ini");
  const auto s = RegistryValue::String("x");
  testsupport::ExpectErrors({
      {"empty key", [&] { store.SetValue(kHKLM, "\\", "v", s); }, 5},
      {"unknown root", [&] { store.SetValue(static_cast<RegistryRoot>(1), "K", "v", s); }, 5},
      {"line break in key", [&] { store.SetValue(kHKLM, "K\nv = 1", "v", s); }, 5},
      {"line break in name", [&] { store.SetValue(kHKLM, "K", "a\nb", s); }, 5},
      {"line break in text", [&] { store.SetValue(kHKLM, "K", "v", RegistryValue::String("a\r")); },
       5},
      {"NUL in item",
       [&] { store.SetValue(kHKLM, "K", "v", RegistryValue::MultiString({std::string(1, '\0')})); },
       5},
      {"delete under empty key", [&] { store.DeleteValue(kHKLM, "", "v"); }, 5},
      {"unwritable file", [&] { blocked.SetValue(kHKLM, "K", "v", s); }, 75},
  });
  EXPECT_EQ(testsupport::ReadFileText(file), "[HKLM\\K]\nv = \"kept\"\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / ""), fs::directory_iterator()), 1);
}

TEST(RegistryStore, DefaultPathFollowsTheEnvironment) {
  const struct {
    const char *registry, *xdg, *home;
    const char* expected;
  } cases[] = {
      {"/etc/qv/reg.ini", "/xdg", "/home/u", "/etc/qv/reg.ini"},
      {"", "/xdg", "/home/u", "/xdg/qvdb/registry.ini"},
      {nullptr, "relative/xdg", "/home/u", "/home/u/.config/qvdb/registry.ini"},
      {nullptr, nullptr, "/home/u", "/home/u/.config/qvdb/registry.ini"},
  };
  for (const auto& c : cases) {
    testsupport::ScopedEnv r("QV_REGISTRY", c.registry), x("XDG_CONFIG_HOME", c.xdg),
        h("HOME", c.home);
    EXPECT_EQ(RegistryStore::DefaultPath(), fs::path(c.expected));
  }

  testsupport::TempFolder dir;
  WriteFile(dir / "a.ini", "[HKLM\\K]\nv = a\n");
  WriteFile(dir / "b.ini", "[HKLM\\K]\nv = b\n");
  testsupport::ScopedEnv a("QV_REGISTRY", (dir / "a.ini").c_str());
  EXPECT_EQ(RegistryStore::ForThread().Read(kHKLM, "K", "v"), RegistryValue::String("a"));
  testsupport::ScopedEnv b("QV_REGISTRY", (dir / "b.ini").c_str());
  EXPECT_EQ(RegistryStore::ForThread().Read(kHKLM, "K", "v"), RegistryValue::String("b"));
}

}  // namespace
}  // namespace qv::os
