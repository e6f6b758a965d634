#include "security/protected_directory.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "fake_os/fake_machine.h"
#include "os/file_system.h"

namespace ostrel {
namespace {

using namespace fake;

constexpr std::u16string_view DataPath = u"C:\\ProgramData\\OstrelNativeUpdater";

std::string Ensure(std::u16string_view path) {
  std::string message;
  try {
    EnsureProtectedDirectory(path);
  } catch (const std::runtime_error& failure) {
    message = failure.what();
  }
  EXPECT_TRUE(Machine().fileSystem.descriptors.empty()) << "security descriptor not released";
  return message;
}

TEST(ProtectedDirectoryTest, CreatesAMissingDirectoryWithTheProtectedDescriptor) {
  EXPECT_EQ(Ensure(DataPath), "");
  FakeFile* created = Machine().fileSystem.Find(DataPath);
  ASSERT_NE(created, nullptr);
  EXPECT_EQ(created->attributes & os::FileAttributeDirectory, os::FileAttributeDirectory);
  EXPECT_EQ(created->security.owner->bytes, SidFromString(AdministratorsSid).bytes);
  EXPECT_TRUE(created->security.daclProtected);
  constexpr std::uint8_t inherit = os::ObjectInheritAce | os::ContainerInheritAce;
  ASSERT_TRUE(created->security.dacl);
  const std::vector<FakeAce>& dacl = *created->security.dacl;
  ASSERT_EQ(dacl.size(), 3u);
  for (const auto& [ace, sid, mask] : {std::tuple{dacl[0], LocalSystemSid, os::FileAllAccess},
                                       std::tuple{dacl[1], AdministratorsSid, os::FileAllAccess},
                                       std::tuple{dacl[2], UsersSid, std::uint32_t{0x1200A9}}}) {
    EXPECT_EQ(ace.type, os::AccessAllowedAceType);
    EXPECT_EQ(ace.flags, inherit);
    EXPECT_EQ(ace.mask, mask);
    EXPECT_EQ(ace.sid.bytes, SidFromString(sid).bytes);
  }
}

TEST(ProtectedDirectoryTest, AcceptsAnExistingProtectedDirectoryAsItIs) {
  FakeFile& existing = Machine().fileSystem.AddDirectory(DataPath);
  existing.security = FakeSecurity{SidFromString(LocalSystemSid), std::vector<FakeAce>{}};
  EXPECT_EQ(Ensure(DataPath), "");
  EXPECT_EQ(existing.security.owner->bytes, SidFromString(LocalSystemSid).bytes);
  EXPECT_TRUE(existing.security.dacl->empty());
}

TEST(ProtectedDirectoryTest, NeverResecuresAnUnprotectedDirectory) {
  FakeFile& existing = Machine().fileSystem.AddDirectory(DataPath);
  existing.security.dacl->push_back(Allowed(UsersSid, os::FileAllAccess));
  EXPECT_EQ(Ensure(DataPath), "Updater object is writable by an untrusted principal");
  EXPECT_EQ(existing.security.dacl->size(), 4u);
}

TEST(ProtectedDirectoryTest, CreatesOnlyTheLastComponent) {
  EXPECT_EQ(Ensure(u"C:\\ProgramData\\Missing\\OstrelNativeUpdater"), "Cannot create protected updater directory");
  EXPECT_EQ(Machine().fileSystem.Find(u"C:\\ProgramData\\Missing"), nullptr);
}

TEST(ProtectedDirectoryTest, RefusesAFileWhereTheDirectoryBelongs) {
  Machine().fileSystem.AddFile(DataPath, "x");
  EXPECT_EQ(Ensure(DataPath), "Updater path is not a directory");
}

TEST(ProtectedDirectoryTest, RefusesAJunction) {
  Machine().fileSystem.AddDirectory(u"C:\\Elsewhere");
  Machine().fileSystem.AddJunction(DataPath, u"C:\\Elsewhere");
  EXPECT_EQ(Ensure(DataPath), "Updater reparse point rejected");
}

TEST(ProtectedDirectoryTest, ReportsADescriptorThatCannotBeBuilt) {
  Machine().fileSystem.convertSecurityDescriptorResult = 1336;
  EXPECT_EQ(Ensure(DataPath), "Build updater ACL (1336)");
  EXPECT_EQ(Machine().fileSystem.Find(DataPath), nullptr);
}

}  // namespace
}  // namespace ostrel
