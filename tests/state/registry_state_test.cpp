#include "state/registry_state.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "fake_os/fake_machine.h"
#include "runtime_error_matcher.h"

namespace ostrel {
namespace {

using fake::FakeRegistryValue;
using fake::Machine;
using fake::RegistryView;

constexpr const char* Unavailable = "Installed Ostrel version is unavailable";
constexpr const char* InvalidVersion = "Invalid release version";

FakeRegistryValue RawString(std::u16string_view units) {
  FakeRegistryValue value{os::RegSz, std::vector<std::uint8_t>(units.size() * 2)};
  std::memcpy(value.data.data(), units.data(), value.data.size());
  return value;
}

void StoreVersion(FakeRegistryValue value, RegistryView view = RegistryView::Bit64) {
  Machine().registry.SetValue(view, UpdaterRegistryKey, u"Version", std::move(value));
}

struct VersionCase {
  const char* name;
  std::optional<FakeRegistryValue> stored;
  std::u16string version;  // empty when the read fails
  const char* failure = nullptr;
};

class ReadInstalledVersionTest : public testing::TestWithParam<VersionCase> {};

TEST_P(ReadInstalledVersionTest, ReadsAndValidatesTheStoredVersion) {
  if (GetParam().stored) StoreVersion(*GetParam().stored);
  if (GetParam().failure) {
    EXPECT_THAT([] { ReadInstalledVersion(); }, FailsWith(GetParam().failure));
  } else {
    EXPECT_EQ(ReadInstalledVersion(), GetParam().version);
  }
}

INSTANTIATE_TEST_SUITE_P(
    StoredValues, ReadInstalledVersionTest,
    testing::Values(
        VersionCase{"Plain", FakeRegistryValue::String(u"1.2.3"), u"1.2.3"},
        VersionCase{"Prerelease", FakeRegistryValue::String(u"2.0.0-beta.11"), u"2.0.0-beta.11"},
        VersionCase{"StoredWithoutZero", RawString(u"3.1.4"), u"3.1.4"},
        VersionCase{"CutAtTheFirstZero", RawString(std::u16string(u"1.2.3\0junk", 10)), u"1.2.3"},
        VersionCase{"Missing", std::nullopt, u"", Unavailable},
        VersionCase{"Number", FakeRegistryValue::Dword(123), u"", Unavailable},
        VersionCase{"Empty", FakeRegistryValue::String(u""), u"", InvalidVersion},
        VersionCase{"NotAVersion", FakeRegistryValue::String(u"1.2"), u"", InvalidVersion},
        VersionCase{"NumericPrereleaseWithLeadingZero", FakeRegistryValue::String(u"1.0.0-01"), u"",
                    "Invalid numeric prerelease identifier"},
        // 255 units and the zero fill the 512-byte buffer: the read succeeds
        // and validation refuses the text; one unit more does not fit.
        VersionCase{"FillsTheBuffer", FakeRegistryValue::String(std::u16string(255, u'7')), u"", InvalidVersion},
        VersionCase{"ExceedsTheBuffer", FakeRegistryValue::String(std::u16string(256, u'7')), u"", Unavailable}),
    [](const testing::TestParamInfo<VersionCase>& info) { return info.param.name; });

TEST(ReadInstalledVersionTest, ReadsOnlyThe64BitView) {
  StoreVersion(FakeRegistryValue::String(u"1.2.3"), RegistryView::Bit32);
  EXPECT_THAT([] { ReadInstalledVersion(); }, FailsWith(Unavailable));
}

TEST(ReadInstalledVersionTest, TreatsAFailedReadAsUnavailable) {
  StoreVersion(FakeRegistryValue::String(u"1.2.3"));
  Machine().registry.getValueResult = os::ErrorAccessDenied;
  EXPECT_THAT([] { ReadInstalledVersion(); }, FailsWith(Unavailable));
}

struct UninstallingCase {
  const char* name;
  std::optional<FakeRegistryValue> stored;
  bool uninstalling;
};

class IsUninstallingTest : public testing::TestWithParam<UninstallingCase> {};

TEST_P(IsUninstallingTest, IsTrueOnlyForANonZeroNumber) {
  if (GetParam().stored) {
    Machine().registry.SetValue(RegistryView::Bit64, UpdaterRegistryKey, u"Uninstalling", *GetParam().stored);
  }
  EXPECT_EQ(IsUninstalling(), GetParam().uninstalling);
}

INSTANTIATE_TEST_SUITE_P(StoredValues, IsUninstallingTest,
                         testing::Values(UninstallingCase{"Missing", std::nullopt, false},
                                         UninstallingCase{"Zero", FakeRegistryValue::Dword(0), false},
                                         UninstallingCase{"One", FakeRegistryValue::Dword(1), true},
                                         UninstallingCase{"Two", FakeRegistryValue::Dword(2), true},
                                         UninstallingCase{"Largest", FakeRegistryValue::Dword(0xFFFFFFFF), true},
                                         UninstallingCase{"String", FakeRegistryValue::String(u"1"), false}),
                         [](const testing::TestParamInfo<UninstallingCase>& info) { return info.param.name; });

TEST(IsUninstallingTest, IgnoresThe32BitViewAndFailedReads) {
  Machine().registry.SetValue(RegistryView::Bit32, UpdaterRegistryKey, u"Uninstalling", FakeRegistryValue::Dword(1));
  EXPECT_FALSE(IsUninstalling());
  Machine().registry.SetValue(RegistryView::Bit64, UpdaterRegistryKey, u"Uninstalling", FakeRegistryValue::Dword(1));
  Machine().registry.getValueResult = os::ErrorAccessDenied;
  EXPECT_FALSE(IsUninstalling());
}

std::optional<FakeRegistryValue> Uninstalling() {
  return Machine().registry.Stored(RegistryView::Bit64, UpdaterRegistryKey, u"Uninstalling");
}

TEST(SetUninstallingTest, StoresOneOrZeroAsANumberInThe64BitView) {
  SetUninstalling(true);
  EXPECT_EQ(Uninstalling(), FakeRegistryValue::Dword(1));
  EXPECT_TRUE(IsUninstalling());
  SetUninstalling(false);
  EXPECT_EQ(Uninstalling(), FakeRegistryValue::Dword(0));
  EXPECT_FALSE(IsUninstalling());
  EXPECT_TRUE(Machine().registry.openKeys.empty());
}

TEST(SetUninstallingTest, FailsWithoutCodeAndLeavesTheValueAsItWas) {
  SetUninstalling(true);
  Machine().registry.setValueResult = os::ErrorAccessDenied;
  EXPECT_THAT([] { SetUninstalling(false); }, FailsWith("Cannot set updater state"));
  EXPECT_EQ(Uninstalling(), FakeRegistryValue::Dword(1));
  EXPECT_TRUE(Machine().registry.openKeys.empty());

  Machine().registry.createKeyResult = os::ErrorAccessDenied;
  EXPECT_THAT([] { SetUninstalling(false); }, FailsWith("Cannot open updater registry"));
}

constexpr std::u16string_view HostRegistrationKey = u"SOFTWARE\\Chromium\\NativeMessagingHosts\\is.ostrel.updater";

TEST(WriteRegistryStringTest, StoresTheTextWithItsZeroInThe64BitView) {
  WriteRegistryString(os::RootKey::HkeyLocalMachine, UpdaterRegistryKey, u"Version", u"1.2.3");
  EXPECT_EQ(Machine().registry.Stored(RegistryView::Bit64, UpdaterRegistryKey, u"Version"),
            FakeRegistryValue::String(u"1.2.3"));
  EXPECT_EQ(Machine().registry.Value(RegistryView::Bit32, UpdaterRegistryKey, u"Version"), nullptr);
  EXPECT_EQ(ReadInstalledVersion(), u"1.2.3");
  EXPECT_TRUE(Machine().registry.openKeys.empty());
}

TEST(WriteRegistryStringTest, AnAbsentValueNameSetsTheDefaultValue) {
  WriteRegistryString(os::RootKey::HkeyLocalMachine, HostRegistrationKey, std::nullopt,
                      u"C:\\Program Files\\Ostrel\\Updater\\native-host.json");
  EXPECT_EQ(Machine().registry.Stored(RegistryView::Bit64, HostRegistrationKey, u""),
            FakeRegistryValue::String(u"C:\\Program Files\\Ostrel\\Updater\\native-host.json"));
}

TEST(WriteRegistryStringTest, AppendsTheRegistrysCodeOnlyWhenTheKeyCannotBeOpened) {
  Machine().registry.createKeyResult = os::ErrorAccessDenied;
  EXPECT_THAT([] { WriteRegistryString(os::RootKey::HkeyLocalMachine, HostRegistrationKey, std::nullopt, u"x"); },
              FailsWith("Open updater registry (5)"));

  Machine().registry.createKeyResult = std::nullopt;
  WriteRegistryString(os::RootKey::HkeyLocalMachine, UpdaterRegistryKey, u"Version", u"1.2.3");
  Machine().registry.setValueResult = 1021;
  EXPECT_THAT([] { WriteRegistryString(os::RootKey::HkeyLocalMachine, UpdaterRegistryKey, u"Version", u"2.0.0"); },
              FailsWith("Cannot write updater registry"));
  EXPECT_EQ(ReadInstalledVersion(), u"1.2.3");
  EXPECT_TRUE(Machine().registry.openKeys.empty());
}

}  // namespace
}  // namespace ostrel
