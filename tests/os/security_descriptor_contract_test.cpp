#include "os/security_descriptor.h"

#include <gtest/gtest.h>

#include "os/file_system.h"
#include "os/object_security.h"
#include "os/scratch_directory.h"

namespace ostrel::os {
namespace {

constexpr std::u16string_view ProtectedSddl = u"O:BAG:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

TEST(SecurityDescriptorContractTest, CreatesADirectoryWithADescriptorAndWalksItsDacl) {
  ScratchDirectory scratch;
  SecurityDescriptor descriptor;
  ASSERT_EQ(ConvertStringSecurityDescriptorToSecurityDescriptor(ProtectedSddl, SddlRevision1, descriptor),
            std::nullopt);
  EXPECT_NE(descriptor.value(), 0u);
  ASSERT_EQ(CreateDirectory(scratch.path(), descriptor), std::nullopt);
  EXPECT_EQ(CreateDirectory(scratch.path(), descriptor), ErrorAlreadyExists);
  EXPECT_EQ(CreateDirectory(scratch.Child(u"missing\\x"), descriptor), ErrorPathNotFound);

  auto [result, owner, dacl, read] = ReadObjectSecurity(scratch.path());
  ASSERT_EQ(result, std::nullopt);
  ASSERT_TRUE(owner);
  EXPECT_FALSE(owner->bytes.empty());
  ASSERT_TRUE(dacl);
  ASSERT_GT(dacl->aceCount, 0u);
  for (std::uint32_t index = 0; index < dacl->aceCount; ++index) {
    Ace ace;
    ASSERT_EQ(GetAce(*dacl, index, ace), std::nullopt);
    ASSERT_TRUE(ace.type == AccessAllowedAceType || ace.type == AccessDeniedAceType) << int{ace.type};
    EXPECT_FALSE(ace.sid.bytes.empty());
    EXPECT_NE(ace.mask, 0u);
  }
  Ace beyond;
  EXPECT_NE(GetAce(*dacl, dacl->aceCount, beyond), std::nullopt);
}

TEST(SecurityDescriptorContractTest, ReportsAMissingObjectByItsCode) {
  ObjectSecurity missing = ReadObjectSecurity(u"C:\\ProgramData\\ostrel-missing", OwnerSecurityInformation);
  EXPECT_EQ(missing.result, ErrorFileNotFound);
  EXPECT_EQ(missing.descriptor.value(), 0u);
}

TEST(SecurityDescriptorContractTest, RefusesMalformedSddl) {
  SecurityDescriptor descriptor;
  EXPECT_NE(
      ConvertStringSecurityDescriptorToSecurityDescriptor(u"O:BAG:BAD:P(A;OICI;FA;;;SY", SddlRevision1, descriptor),
      std::nullopt);
  EXPECT_EQ(descriptor.value(), 0u);
}

}  // namespace
}  // namespace ostrel::os
