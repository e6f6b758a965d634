// What Wine makes of file security, asserted as Wine does it: descriptors
// are synthesised from Unix mode bits, so the updater's trust decisions can
// only be proven natively against the fake machine.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "os/access_token.h"
#include "os/file_system.h"
#include "os/object_security.h"
#include "os/scratch_directory.h"
#include "os/security_descriptor.h"
#include "security/object_acl.h"
#include "security/protected_directory.h"

namespace ostrel::os {
namespace {

Sid ProcessUser() {
  Handle token;
  Sid user;
  EXPECT_EQ(OpenProcessToken(TokenQuery, token), std::nullopt);
  EXPECT_EQ(GetTokenUser(token, user), std::nullopt);
  return user;
}

TEST(WineFileSecurityTest, DropsTheDescriptorGivenAtCreation) {
  ScratchDirectory scratch;
  SecurityDescriptor descriptor;
  ASSERT_EQ(ConvertStringSecurityDescriptorToSecurityDescriptor(ProtectedDirectorySddl, SddlRevision1, descriptor),
            std::nullopt);
  ASSERT_EQ(CreateDirectory(scratch.path(), descriptor), std::nullopt);

  auto [result, owner, dacl, read] = ReadObjectSecurity(scratch.path());
  ASSERT_EQ(result, std::nullopt);
  // Windows would report Administrators and the three entries asked for;
  // Wine reports the process's user as owner, with full control for
  // LocalSystem and that user, both inherited by files and subdirectories.
  Sid user = ProcessUser();
  ASSERT_TRUE(owner);
  EXPECT_TRUE(EqualSid(*owner, user));
  ASSERT_TRUE(dacl);
  ASSERT_EQ(dacl->aceCount, 2u);
  Ace system;
  Ace owning;
  ASSERT_EQ(GetAce(*dacl, 0, system), std::nullopt);
  ASSERT_EQ(GetAce(*dacl, 1, owning), std::nullopt);
  EXPECT_TRUE(IsWellKnownSid(system.sid, WellKnownSidType::WinLocalSystemSid));
  EXPECT_TRUE(EqualSid(owning.sid, user));
  for (const Ace& ace : {system, owning}) {
    EXPECT_EQ(ace.type, AccessAllowedAceType);
    EXPECT_EQ(ace.flags, ObjectInheritAce | ContainerInheritAce);
    EXPECT_EQ(ace.mask, FileAllAccess);
  }
}

TEST(WineFileSecurityTest, LeavesEveryObjectOwnedByAnUntrustedUser) {
  ScratchDirectory scratch;
  try {
    EnsureProtectedDirectory(scratch.path());
    FAIL() << "a directory owned by an ordinary user passed";
  } catch (const std::runtime_error& failure) {
    EXPECT_STREQ(failure.what(), "Updater object has an untrusted owner or ACL");
  }
  std::uint32_t attributes = 0;
  ASSERT_EQ(GetFileAttributes(scratch.path(), attributes), std::nullopt);
  EXPECT_NE(attributes & FileAttributeDirectory, 0u);
}

}  // namespace
}  // namespace ostrel::os
