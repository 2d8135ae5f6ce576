#include <gtest/gtest.h>
#include <unistd.h>

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

// Each test reads a registry file of its own, through the environment as
// the library finds it, with the thread's caches cleared.
class RegistryModules : public ::testing::Test {
 protected:
  void SetUp() override {
    SaveEnv("QV_REGISTRY", savedRegistry_);
    SaveEnv("TMPDIR", savedTmp_);
    ::setenv("QV_REGISTRY", (dir_ / "registry.ini").c_str(), 1);
    ::setenv("TMPDIR", "/sys-tmp", 1);
    mQvRegistryParams::ResetRegistryCachesForThread();
  }
  void TearDown() override {
    RestoreEnv("QV_REGISTRY", savedRegistry_);
    RestoreEnv("TMPDIR", savedTmp_);
    mQvRegistryParams::ResetRegistryCachesForThread();
  }
  void Set(RegistryRoot root, std::string_view key, std::string_view name, RegistryValue v) {
    os::RegistryStore(dir_ / "registry.ini").SetValue(root, key, name, v);
  }
  void Remove(RegistryRoot root, std::string_view key, std::string_view name) {
    os::RegistryStore(dir_ / "registry.ini").DeleteValue(root, key, name);
  }

 private:
  static void SaveEnv(const char* name, std::optional<std::string>& slot) {
    if (const char* v = std::getenv(name)) slot = v;
  }
  static void RestoreEnv(const char* name, const std::optional<std::string>& slot) {
    if (slot)
      ::setenv(name, slot->c_str(), 1);
    else
      ::unsetenv(name);
  }
  testsupport::TempFolder dir_;
  std::optional<std::string> savedRegistry_, savedTmp_;
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
    if (c.stored)
      Set(kHKLM, "K", "v", *c.stored);
    else
      Remove(kHKLM, "K", "v");
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
      {RegistryValue::String("true"), true, true},
      {RegistryValue::String("TRUE"), true, true},
      {RegistryValue::String("1"), true, true},
      {RegistryValue::String("-1"), true, true},
      {RegistryValue::String("Yes"), true, true},
      {RegistryValue::String("Y"), true, true},
      {RegistryValue::String("False"), false, false},
      {RegistryValue::String("0"), false, false},
      {RegistryValue::String(""), false, false},
      {RegistryValue::String("NO"), false, false},
      {RegistryValue::String("n"), false, false},
      {RegistryValue::String("maybe"), false, true},
      {RegistryValue::String(" yes"), false, true},
      {RegistryValue::String("2"), false, true},
      {RegistryValue::String("*"), false, true},
      {RegistryValue::String("да"), false, true},
      {RegistryValue::Dword(1), true, true},
      {RegistryValue::Dword(0xFFFFFFFF), true, true},
      {RegistryValue::Dword(0), false, false},
      {RegistryValue::Dword(2), false, true},
      {std::nullopt, false, true},
  };
  for (const auto& c : cases) {
    if (c.stored)
      Set(kHKLM, "K", "Flag", *c.stored);
    else
      Remove(kHKLM, "K", "Flag");
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

TEST_F(RegistryModules, DataBasePathEndsInOneSlash) {
  const struct {
    std::optional<const char*> value;
    const char* expected;
  } cases[] = {
      {"/home/u/data", "/home/u/data/"},
      {"/home/u/data/", "/home/u/data/"},
      {" /spaced ", " /spaced /"},  // the data folder is not trimmed
      {"", "/"},
      {std::nullopt, "/"},
  };
  for (const auto& c : cases) {
    if (c.value)
      Set(kHKLM, kGeneral, "DataBasePath", RegistryValue::String(*c.value));
    else
      Remove(kHKLM, kGeneral, "DataBasePath");
    mQvRegistryParams::ResetRegistryCachesForThread();
    EXPECT_EQ(mQvRegistryParams::GetDataBasePath(), c.expected) << c.value.value_or("(absent)");
  }
}

TEST_F(RegistryModules, DataBasePathIsCachedPerThread) {
  Set(kHKLM, kGeneral, "DataBasePath", RegistryValue::String("/first"));
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
    std::optional<const char*> value;
    bool useSystemTemp;
    const char* expected;
  } cases[] = {
      {"  /big/tmp  ", false, "/big/tmp/"}, {"/big/", true, "/big/"},
      {"   ", true, "/sys-tmp/"},           {"", false, ""},
      {std::nullopt, true, "/sys-tmp/"},    {std::nullopt, false, ""},
  };
  for (const auto& c : cases) {
    if (c.value)
      Set(kHKLM, kGeneral, "BigFilesTempPath", RegistryValue::String(*c.value));
    else
      Remove(kHKLM, kGeneral, "BigFilesTempPath");
    mQvRegistryParams::ResetRegistryCachesForThread();
    EXPECT_EQ(mQvRegistryParams::GetBigFilesTempPath(c.useSystemTemp), c.expected)
        << c.value.value_or("(absent)") << " " << c.useSystemTemp;
  }
  // The empty answer is cached too; the system folder is asked on every call.
  Set(kHKLM, kGeneral, "BigFilesTempPath", RegistryValue::String("/late"));
  ::setenv("TMPDIR", "/other-tmp/", 1);
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
  Set(kHKCU, kDevelopment, "DevelopmentMode", RegistryValue::String("yes"));  // wrong root
  Remove(kHKLM, kDevelopment, "DevelopmentMode");
  EXPECT_FALSE(mQvRegistryParams::IsDevelopmentModeByRegistry());
}

}  // namespace
}  // namespace qv
