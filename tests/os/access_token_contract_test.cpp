#include "os/access_token.h"

#include <gtest/gtest.h>

namespace ostrel::os {
namespace {

Sid WellKnown(WellKnownSidType type) {
  Sid sid;
  EXPECT_EQ(CreateWellKnownSid(type, sid), std::nullopt);
  return sid;
}

// Wine departs from Windows here: every process runs as one ordinary user
// account who is an administrator, never as LocalSystem. The fake starts as
// that same user, so the test holds on both sides.
TEST(AccessTokenContractTest, TheProcessRunsAsAnOrdinaryUserWhoIsAnAdministrator) {
  Handle token;
  ASSERT_EQ(OpenProcessToken(TokenQuery, token), std::nullopt);
  Sid user;
  ASSERT_EQ(GetTokenUser(token, user), std::nullopt);
  EXPECT_FALSE(IsWellKnownSid(user, WellKnownSidType::WinLocalSystemSid));
  EXPECT_FALSE(IsWellKnownSid(user, WellKnownSidType::WinBuiltinAdministratorsSid));
  // An account of the machine's own domain: S-1-5-21-...
  ASSERT_GE(user.bytes.size(), 12u);
  EXPECT_EQ(user.bytes[7], 5);
  EXPECT_EQ(user.bytes[8], 21);

  bool isAdministrator = false;
  ASSERT_EQ(CheckTokenMembership(WellKnown(WellKnownSidType::WinBuiltinAdministratorsSid), isAdministrator),
            std::nullopt);
  EXPECT_TRUE(isAdministrator);
  bool isLocalSystem = true;
  ASSERT_EQ(CheckTokenMembership(WellKnown(WellKnownSidType::WinLocalSystemSid), isLocalSystem), std::nullopt);
  EXPECT_FALSE(isLocalSystem);
}

}  // namespace
}  // namespace ostrel::os
