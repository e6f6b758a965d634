#include "security/trusted_principal.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string_view>

#include "fake_os/fake_machine.h"
#include "runtime_error_matcher.h"

namespace ostrel {
namespace {

using fake::Machine;
using fake::SidFromString;

struct PrincipalCase {
  std::u16string_view sid;
  bool trusted;
};

class IsTrustedPrincipalTest : public testing::TestWithParam<PrincipalCase> {};

TEST_P(IsTrustedPrincipalTest, TrustsExactlyTheThreePrincipals) {
  EXPECT_EQ(IsTrustedPrincipal(SidFromString(GetParam().sid)), GetParam().trusted);
}

INSTANTIATE_TEST_SUITE_P(
    Principals, IsTrustedPrincipalTest,
    testing::Values(PrincipalCase{fake::LocalSystemSid, true}, PrincipalCase{fake::AdministratorsSid, true},
                    PrincipalCase{fake::TrustedInstallerSid, true},
                    PrincipalCase{fake::AdministratorAccountSid, false},
                    PrincipalCase{fake::InteractiveUserSid, false}, PrincipalCase{fake::LocalServiceSid, false},
                    PrincipalCase{fake::NetworkServiceSid, false}, PrincipalCase{fake::UsersSid, false},
                    PrincipalCase{fake::AuthenticatedUsersSid, false}, PrincipalCase{fake::EveryoneSid, false},
                    PrincipalCase{fake::OtherServiceSid, false},
                    // The TrustedInstaller SID with its last sub-authority one off.
                    PrincipalCase{u"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478465", false},
                    // A domain's Domain Admins group.
                    PrincipalCase{u"S-1-5-21-1004336348-1177238915-682003330-512", false}));

TEST(IsTrustedPrincipalTest, NeedsTheServicingSidOnlyBeyondTheWellKnownPrincipals) {
  Machine().identity.convertStringSidToSidResult = 8;
  EXPECT_TRUE(IsTrustedPrincipal(SidFromString(fake::LocalSystemSid)));
  EXPECT_TRUE(IsTrustedPrincipal(SidFromString(fake::AdministratorsSid)));
  EXPECT_THAT([] { IsTrustedPrincipal(SidFromString(fake::TrustedInstallerSid)); }, FailsWith("Windows servicing SID (8)"));
}

}  // namespace
}  // namespace ostrel
