#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "core/mQvRegistryParams.h"
#include "core/mRegistryTools.h"
#include "platform/os/RegistryStore.h"
#include "support/TestSupport.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using os::RegistryRoot;
using os::RegistryValue;
constexpr auto kHKLM = RegistryRoot::kLocalMachine;
constexpr auto kHKCU = RegistryRoot::kCurrentUser;
constexpr std::string_view kGeneral = "SOFTWARE\\Kestrane\\Quivane\\General";
constexpr std::string_view kDevelopment = "SOFTWARE\\Kestrane Development\\Quivane";
constexpr auto S = &RegistryValue::String;
constexpr auto D = &RegistryValue::Dword;

// Each test reads a registry file of its own, through the environment as
// the library finds it, with the thread's caches cleared.
class RegistryModules : public ::testing::Test {
 protected:
  void SetUp() override { mQvRegistryParams::ResetRegistryCachesForThread(); }
  void TearDown() override { mQvRegistryParams::ResetRegistryCachesForThread(); }
  void Set(RegistryRoot root, std::string_view key, std::string_view name, RegistryValue v) {
    os::RegistryStore(dir_ / "registry.ini").SetValue(root, key, name, v);
  }
  void Remove(RegistryRoot root, std::string_view key, std::string_view name) {
    os::RegistryStore(dir_ / "registry.ini").DeleteValue(root, key, name);
  }
  // Stores the value under HKLM, or removes it for nullopt, and starts the
  // thread's caches anew.
  void Store(std::string_view key, std::string_view name, std::optional<RegistryValue> v) {
    v ? Set(kHKLM, key, name, *v) : Remove(kHKLM, key, name);
    mQvRegistryParams::ResetRegistryCachesForThread();
  }

  testsupport::TempFolder dir_;
  testsupport::ScopedEnv registry_{"QV_REGISTRY", dir_.File("registry.ini").c_str()};
  testsupport::ScopedEnv tmp_{"TMPDIR", "/sys-tmp"};
};

TEST_F(RegistryModules, ReadRegistryStringGivesEveryTypeAsText) {
  const struct {
    std::optional<RegistryValue> stored;
    const char* expected;
  } cases[] = {
      {RegistryValue::String("/data/"), "/data/"},
      {RegistryValue::ExpandString("$HOME/x"), "$HOME/x"},  // not expanded
      {RegistryValue::Dword(16), "16"},
      {RegistryValue::Dword(0xFFFFFFFF), "-1"},
      {RegistryValue::Qword(0x100000000ULL), "4294967296"},
      {RegistryValue::MultiString({"a", "b"}), "a\nb"},
      {RegistryValue::MultiString({}), ""},
      {RegistryValue::Binary({'A', 0xD0, 0x96}), "AЖ"},
      {RegistryValue::String(""), ""},
      {std::nullopt, "default"},
  };
  for (const auto& c : cases) {
    Store("K", "v", c.stored);
    for (int32_t flags : {0, mRegistryTools::kView64, mRegistryTools::kView32})
      EXPECT_EQ(mRegistryTools::ReadRegistryString(kHKLM, "k", "V", "default", flags), c.expected)
          << c.expected << " flags " << flags;
  }
  EXPECT_EQ(mRegistryTools::ReadRegistryString(kHKLM, "NoSuchKey", "v", "dflt"), "dflt");
  EXPECT_EQ(mRegistryTools::ReadRegistryString(static_cast<RegistryRoot>(5), "K", "v", "d"), "d");
}

TEST_F(RegistryModules, ReadRegistryBooleanWordRules) {
  const struct {
    std::optional<RegistryValue> stored;
    bool withFalse, withTrue;  // the result for the default false, then true
  } cases[] = {
      {S("true"), true, true},    {S("TRUE"), true, true}, {S("1"), true, true},
      {S("-1"), true, true},      {S("Yes"), true, true},  {S("Y"), true, true},
      {S("False"), false, false}, {S("0"), false, false},  {S(""), false, false},
      {S("NO"), false, false},    {S("n"), false, false},  {S("maybe"), false, true},
      {S(" yes"), false, true},   {S("2"), false, true},   {S("*"), false, true},
      {S("да"), false, true},     {D(1), true, true},      {D(0xFFFFFFFF), true, true},
      {D(0), false, false},       {D(2), false, true},     {std::nullopt, false, true},
  };
  for (const auto& c : cases) {
    Store("K", "Flag", c.stored);
    const std::string shown =
        c.stored ? mRegistryTools::RegistryValueToText(*c.stored) : "(absent)";
    EXPECT_EQ(mRegistryTools::ReadRegistryBoolean(kHKLM, "K", "flag", false), c.withFalse) << shown;
    EXPECT_EQ(mRegistryTools::ReadRegistryBoolean(kHKLM, "K", "flag", true), c.withTrue) << shown;
  }
}

TEST_F(RegistryModules, ProductSettingsComeFromTheChosenRoot) {
  Set(kHKLM, kGeneral, "Shared", RegistryValue::String("machine"));
  Set(kHKCU, kGeneral, "Shared", RegistryValue::String("user"));
  using mQvRegistryParams::GetProductSetting_String;
  EXPECT_EQ(GetProductSetting_String(true, "General", "Shared", "d"), "machine");
  EXPECT_EQ(GetProductSetting_String(false, "\\General", "shared", "d"), "user");
  EXPECT_EQ(GetProductSetting_String(true, "Other", "Shared", "d"), "d");
  // Joining keys drops one separator on each side (the rule is tested with the helper).
  EXPECT_EQ(mQvRegistryParams::ConcatenateRegistryKeys("SOFTWARE\\Kestrane\\", "\\General"),
            "SOFTWARE\\Kestrane\\General");
  EXPECT_EQ(mQvRegistryParams::ConcatenateRegistryKeys("", "\\General"), "\\General");
}

TEST_F(RegistryModules, DataBasePathEndsInOneSlashAndIsCachedPerThread) {
  const struct {
    std::optional<RegistryValue> value;
    const char* expected;
  } cases[] = {
      {S("/home/u/data"), "/home/u/data/"},
      {S("/home/u/data/"), "/home/u/data/"},
      {S(" /spaced "), " /spaced /"},  // the data folder is not trimmed
      {S(""), "/"},
      {std::nullopt, "/"},
  };
  for (const auto& c : cases) {
    Store(kGeneral, "DataBasePath", c.value);
    EXPECT_EQ(mQvRegistryParams::GetDataBasePath(), c.expected) << c.expected;
  }
  // Kept per thread until the thread's caches are reset.
  Store(kGeneral, "DataBasePath", S("/first"));
  EXPECT_EQ(mQvRegistryParams::GetDataBasePath(), "/first/");
  Set(kHKLM, kGeneral, "DataBasePath", RegistryValue::String("/second"));
  EXPECT_EQ(mQvRegistryParams::GetDataBasePath(), "/first/");
  std::string other;
  std::thread([&] { other = mQvRegistryParams::GetDataBasePath(); }).join();
  EXPECT_EQ(other, "/second/");
  mQvRegistryParams::ResetRegistryCachesForThread();
  EXPECT_EQ(mQvRegistryParams::GetDataBasePath(), "/second/");
}

TEST_F(RegistryModules, BigFilesTempPathTrimsAndFallsBackToSystemTemp) {
  const struct {
    std::optional<RegistryValue> value;
    bool useSystemTemp;
    const char* expected;
  } cases[] = {
      {S("  /big/tmp  "), false, "/big/tmp/"}, {S("/big/"), true, "/big/"},
      {S("   "), true, "/sys-tmp/"},           {S(""), false, ""},
      {std::nullopt, true, "/sys-tmp/"},       {std::nullopt, false, ""},
  };
  for (const auto& c : cases) {
    Store(kGeneral, "BigFilesTempPath", c.value);
    EXPECT_EQ(mQvRegistryParams::GetBigFilesTempPath(c.useSystemTemp), c.expected)
        << c.expected << " " << c.useSystemTemp;
  }
  // The empty answer is cached too; the system folder is asked on every call.
  Set(kHKLM, kGeneral, "BigFilesTempPath", RegistryValue::String("/late"));
  tmp_.Set("/other-tmp/");
  EXPECT_EQ(mQvRegistryParams::GetBigFilesTempPath(true), "/other-tmp/");
  EXPECT_EQ(mQvRegistryParams::GetBigFilesTempPath(false), "");
}

TEST_F(RegistryModules, DevelopmentModeIsReadOnEveryCall) {
  EXPECT_FALSE(mQvRegistryParams::IsDevelopmentModeByRegistry());
  const struct {
    const char* value;
    bool expected;
  } cases[] = {{"yes", true}, {"TRUE", true}, {"-1", true},  {"no", false},
               {"", false},   {"on", false},  {"True", true}};
  for (const auto& c : cases) {
    Set(kHKLM, kDevelopment, "DevelopmentMode", RegistryValue::String(c.value));
    EXPECT_EQ(mQvRegistryParams::IsDevelopmentModeByRegistry(), c.expected) << c.value;
  }
  {  // another file named (none there), then this one again
    testsupport::ScopedEnv elsewhere{"QV_REGISTRY", dir_.File("other.ini").c_str()};
    EXPECT_FALSE(mQvRegistryParams::IsDevelopmentModeByRegistry());
  }
  EXPECT_TRUE(mQvRegistryParams::IsDevelopmentModeByRegistry());
  Set(kHKCU, kDevelopment, "DevelopmentMode", RegistryValue::String("yes"));  // wrong root
  Remove(kHKLM, kDevelopment, "DevelopmentMode");
  EXPECT_FALSE(mQvRegistryParams::IsDevelopmentModeByRegistry());
}

}  // namespace
}  // namespace qv
