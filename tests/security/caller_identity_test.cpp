#include "security/caller_identity.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string_view>

#include "fake_os/fake_machine.h"
#include "runtime_error_matcher.h"

namespace ostrel {
namespace {

using fake::Machine;
using fake::SidFromString;
struct ProcessUserCase {
  std::u16string_view user;
  bool isLocalSystem;
};

class IsLocalSystemTest : public testing::TestWithParam<ProcessUserCase> {};

TEST_P(IsLocalSystemTest, IsTrueOnlyForTheLocalSystemAccount) {
  Machine().identity.processUser = SidFromString(GetParam().user);
  EXPECT_EQ(IsLocalSystem(), GetParam().isLocalSystem);
  EXPECT_TRUE(Machine().handles.open.empty());
}

INSTANTIATE_TEST_SUITE_P(Users, IsLocalSystemTest,
                         testing::Values(ProcessUserCase{fake::LocalSystemSid, true},
                                         ProcessUserCase{fake::LocalServiceSid, false},
                                         ProcessUserCase{fake::NetworkServiceSid, false},
                                         ProcessUserCase{fake::AdministratorAccountSid, false},
                                         ProcessUserCase{fake::InteractiveUserSid, false},
                                         ProcessUserCase{fake::AdministratorsSid, false}));

TEST(IsLocalSystemTest, IgnoresLocalSystemAmongTheGroups) {
  Machine().identity.processUser = SidFromString(fake::AdministratorAccountSid);
  Machine().identity.enabledGroups.push_back(SidFromString(fake::LocalSystemSid));
  EXPECT_FALSE(IsLocalSystem());
}

TEST(IsLocalSystemTest, RaisesTheCodeOfAnUnopenableToken) {
  Machine().identity.openProcessTokenResult = 5;
  EXPECT_THAT([] { IsLocalSystem(); }, FailsWith("Open token (5)"));
}

TEST(IsLocalSystemTest, RaisesTheCodeOfAnUnreadableTokenAndClosesIt) {
  Machine().identity.getTokenUserResult = 122;
  EXPECT_THAT([] { IsLocalSystem(); }, FailsWith("Read token (122)"));
  EXPECT_TRUE(Machine().handles.open.empty());
}

constexpr const char* DenialMessage = "Installing the updater requires elevation";

TEST(RequireAdministratorTest, ReturnsForAnElevatedAdministrator) {
  EXPECT_NO_THROW(RequireAdministrator(DenialMessage));
}

TEST(RequireAdministratorTest, DeniesWithoutCodeWhenAdministratorsIsNotEnabled) {
  // A standard user, or an administrator who has not elevated: either way the
  // token holds no enabled Administrators group.
  Machine().identity.enabledGroups = {SidFromString(fake::UsersSid), SidFromString(fake::AuthenticatedUsersSid),
                                      SidFromString(fake::EveryoneSid)};
  EXPECT_THAT([] { RequireAdministrator(DenialMessage); }, FailsWith(DenialMessage));
}

TEST(RequireAdministratorTest, IsNotSatisfiedByTheLocalSystemUserAlone) {
  Machine().identity.processUser = SidFromString(fake::LocalSystemSid);
  Machine().identity.enabledGroups = {SidFromString(fake::EveryoneSid)};
  EXPECT_THAT([] { RequireAdministrator(DenialMessage); }, FailsWith(DenialMessage));
}

TEST(RequireAdministratorTest, RaisesTheCodesOfFailedSystemCalls) {
  Machine().identity.checkTokenMembershipResult = 1008;
  EXPECT_THAT([] { RequireAdministrator(DenialMessage); }, FailsWith("Admin membership (1008)"));
  Machine().identity.createWellKnownSidResult = 87;
  EXPECT_THAT([] { RequireAdministrator(DenialMessage); }, FailsWith("Admin SID (87)"));
}

}  // namespace
}  // namespace ostrel
