#include "state/machine_policy.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "fake_os/fake_machine.h"
#include "runtime_error_matcher.h"

namespace ostrel {
namespace {

using fake::FakeRegistryValue;
using fake::Machine;
using fake::RegistryView;

void SetPolicy(const PolicyValue& value, FakeRegistryValue data, RegistryView view = RegistryView::Bit64) {
  Machine().registry.SetValue(view, MachinePolicyKey, value.name, std::move(data));
}

struct PolicyCase {
  const char* name;
  void (*arrange)();
  bool updatesEnabled;
  std::string prefix;
  std::string ignored;
};

class ReadMachinePolicyTest : public testing::TestWithParam<PolicyCase> {};

TEST_P(ReadMachinePolicyTest, FollowsOnlyATrustedWellFormedKey) {
  GetParam().arrange();
  const MachinePolicy policy = ReadMachinePolicy();
  EXPECT_EQ(policy.updatesEnabled, GetParam().updatesEnabled);
  EXPECT_EQ(policy.targetVersionPrefix, GetParam().prefix);
  EXPECT_EQ(policy.ignored, GetParam().ignored);
}

constexpr const char* Untrusted = "Machine policy ignored: Updater object is writable by an untrusted principal";

INSTANTIATE_TEST_SUITE_P(
    Keys, ReadMachinePolicyTest,
    testing::Values(
        PolicyCase{"NoKey", [] {}, true, "", ""},
        PolicyCase{"EmptyKey", [] { Machine().registry.keys[fake::FakeRegistry::Path(RegistryView::Bit64, MachinePolicyKey)]; },
                   true, "", ""},
        PolicyCase{"UpdatesOff", [] { SetPolicy(UpdatesEnabledPolicy, FakeRegistryValue::Dword(0)); }, false, "", ""},
        PolicyCase{"UpdatesOn", [] { SetPolicy(UpdatesEnabledPolicy, FakeRegistryValue::Dword(1)); }, true, "", ""},
        PolicyCase{"OnlyThe32BitView",
                   [] { SetPolicy(UpdatesEnabledPolicy, FakeRegistryValue::Dword(0), RegistryView::Bit32); }, true,
                   "", ""},
        PolicyCase{"PrefixWithDot", [] { SetPolicy(TargetVersionPrefixPolicy, FakeRegistryValue::String(u"1.4.")); },
                   true, "1.4", ""},
        PolicyCase{"PrefixOfThreeNumbers",
                   [] { SetPolicy(TargetVersionPrefixPolicy, FakeRegistryValue::String(u"2.0.13")); }, true, "2.0.13",
                   ""},
        PolicyCase{"EmptyPrefix", [] { SetPolicy(TargetVersionPrefixPolicy, FakeRegistryValue::String(u"")); }, true,
                   "", ""},
        PolicyCase{"BothValues",
                   [] {
                     SetPolicy(UpdatesEnabledPolicy, FakeRegistryValue::Dword(0));
                     SetPolicy(TargetVersionPrefixPolicy, FakeRegistryValue::String(u"1."));
                   },
                   false, "1", ""},
        PolicyCase{"SwitchAsText",
                   [] {
                     SetPolicy(UpdatesEnabledPolicy, FakeRegistryValue::String(u"0"));
                     SetPolicy(TargetVersionPrefixPolicy, FakeRegistryValue::String(u"1."));
                   },
                   true, "", "Machine policy ignored: UpdatesEnabled is not a number"},
        PolicyCase{"PrefixAsNumber", [] { SetPolicy(TargetVersionPrefixPolicy, FakeRegistryValue::Dword(1)); }, true,
                   "", "Machine policy ignored: TargetVersionPrefix is not a short text"},
        PolicyCase{"PrefixTooLong",
                   [] { SetPolicy(TargetVersionPrefixPolicy, FakeRegistryValue::String(std::u16string(64, u'1'))); },
                   true, "", "Machine policy ignored: TargetVersionPrefix is not a short text"},
        PolicyCase{"PrefixNotNumbers",
                   [] { SetPolicy(TargetVersionPrefixPolicy, FakeRegistryValue::String(u"1.x")); }, true, "",
                   "Machine policy ignored: TargetVersionPrefix is not a version prefix"},
        PolicyCase{"PrefixOfFourNumbers",
                   [] { SetPolicy(TargetVersionPrefixPolicy, FakeRegistryValue::String(u"1.2.3.4")); }, true, "",
                   "Machine policy ignored: TargetVersionPrefix is not a version prefix"},
        PolicyCase{"PrefixWithTwoDots",
                   [] { SetPolicy(TargetVersionPrefixPolicy, FakeRegistryValue::String(u"1..")); }, true, "",
                   "Machine policy ignored: TargetVersionPrefix is not a version prefix"},
        PolicyCase{"KeyWritableByUsers",
                   [] {
                     SetPolicy(UpdatesEnabledPolicy, FakeRegistryValue::Dword(0));
                     fake::FakeSecurity security = fake::TrustedKeySecurity();
                     security.dacl->push_back(fake::Allowed(fake::UsersSid, os::KeySetValue));
                     Machine().registry.security[fake::FakeRegistry::Path(RegistryView::Bit64, MachinePolicyKey)] =
                         security;
                   },
                   true, "", Untrusted},
        PolicyCase{"KeyOwnedByAUser",
                   [] {
                     SetPolicy(UpdatesEnabledPolicy, FakeRegistryValue::Dword(0));
                     fake::FakeSecurity security = fake::TrustedKeySecurity();
                     security.owner = fake::SidFromString(fake::UsersSid);
                     Machine().registry.security[fake::FakeRegistry::Path(RegistryView::Bit64, MachinePolicyKey)] =
                         security;
                   },
                   true, "", "Machine policy ignored: Updater object has an untrusted owner or ACL"}),
    [](const testing::TestParamInfo<PolicyCase>& info) { return info.param.name; });

TEST(MachinePolicyTest, UsersReadingTheKeyIsNoReasonToIgnoreIt) {
  SetPolicy(UpdatesEnabledPolicy, FakeRegistryValue::Dword(0));
  fake::FakeSecurity security = fake::TrustedKeySecurity();
  // KEY_READ holds KEY_NOTIFY, whose bit a file's rights call FILE_WRITE_EA.
  security.dacl->push_back(fake::Allowed(fake::EveryoneSid, 0x20019));
  Machine().registry.security[fake::FakeRegistry::Path(RegistryView::Bit64, MachinePolicyKey)] = security;
  EXPECT_FALSE(ReadMachinePolicy().updatesEnabled);
}

struct AdmitsCase {
  const char* prefix;
  const char* version;
  bool admitted;
};

class AdmitsTest : public testing::TestWithParam<AdmitsCase> {};

TEST_P(AdmitsTest, ComparesTheNumbersOfThePrefix) {
  const MachinePolicy policy{true, GetParam().prefix, ""};
  EXPECT_EQ(policy.Admits(GetParam().version), GetParam().admitted) << GetParam().prefix << " " << GetParam().version;
}

INSTANTIATE_TEST_SUITE_P(Versions, AdmitsTest,
                         testing::Values(AdmitsCase{"", "9.9.9", true}, AdmitsCase{"1", "1.0.0", true},
                                         AdmitsCase{"1", "10.0.0", false}, AdmitsCase{"1.4", "1.4.7-beta.1", true},
                                         AdmitsCase{"1.4", "1.40.0", false}, AdmitsCase{"1.4", "1.5.0", false},
                                         AdmitsCase{"1.4.2", "1.4.2", true}, AdmitsCase{"1.4.2", "1.4.3", false},
                                         AdmitsCase{"2", "1.9.9", false}));

TEST(MachinePolicyTest, SaysWhereItHoldsTheMachine) {
  EXPECT_EQ((MachinePolicy{true, "1.4", ""}.HeldMessage()), "Held at version 1.4 by machine policy");
}

TEST(MachinePolicyTest, AnInvalidReleaseVersionIsNotAdmittedButRefused) {
  const MachinePolicy policy{true, "1", ""};
  EXPECT_THAT([&policy] { policy.Admits("1.0"); }, FailsWith("Invalid release version"));
}

}  // namespace
}  // namespace ostrel
